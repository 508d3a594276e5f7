// Typed values in the slot formats of each revision.
#include "supervisor/core/values.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "runtime/debug/qv_debug.h"

namespace qv::ctl {

namespace {

constexpr int64_t kTicksPerSecond = 10000;
constexpr int64_t kTicksPerDay = 24 * 3600 * kTicksPerSecond;

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    if (text.empty() || text[0] == '+') return false;
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, value);
    return problem == std::errc() && at == end;
}

bool parseReal(std::string_view text, double& value) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    if (text.empty() || text[0] == '+') return false;
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, value, std::chars_format::general);
    return problem == std::errc() && at == end && std::isfinite(value);
}

// A plain decimal amount ("12", "-0.25") of units of `unitTicks` ticks, exactly in
// integers and rounded half away from zero to a tick: a double holds a duration printed
// to the tenth of a millisecond only up to some 28 years. Nothing for other forms
// (exponents, infinities), which go through a double.
std::optional<__int128> exactTicks(std::string_view amount, int64_t unitTicks) {
    bool negative = false;
    if (!amount.empty() && (amount[0] == '-' || amount[0] == '+')) {
        negative = amount[0] == '-';
        amount.remove_prefix(1);
    }
    const std::size_t point = amount.find('.');
    const std::string_view whole = amount.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : amount.substr(point + 1);
    const auto digits = [](std::string_view d) {
        return d.size() <= 18 && std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if ((whole.empty() && fraction.empty()) || !digits(whole) || !digits(fraction)) return std::nullopt;
    const auto number = [](std::string_view d) {
        __int128 n = 0;
        for (char c : d) n = n * 10 + (c - '0');
        return n;
    };
    __int128 scale = 1;
    for (std::size_t k = 0; k < fraction.size(); ++k) scale *= 10;
    const __int128 ticks = number(whole) * unitTicks + (2 * number(fraction) * unitTicks + scale) / (2 * scale);
    return negative ? -ticks : ticks;
}

std::optional<int64_t> parseDuration(std::string_view text) {
    const std::string low = lower(text);
    std::string_view t = low;
    for (std::string_view prefix : {"time#", "t#"})
        if (t.starts_with(prefix)) t.remove_prefix(prefix.size());
    struct Unit {
        std::string_view suffix;
        int64_t ticks;
    };
    constexpr Unit units[] = {{"ms", 10}, {"s", 10000}, {"m", 600000}, {"h", 36000000}, {"d", 864000000}};
    // The days of a TIME are one 32-bit slot.
    constexpr __int128 kLimit = __int128{2147483647} * kTicksPerDay;
    for (const Unit& unit : units) {
        if (!t.ends_with(unit.suffix)) continue;
        const std::string_view amount = t.substr(0, t.size() - unit.suffix.size());
        if (const std::optional<__int128> ticks = exactTicks(amount, unit.ticks)) {
            if (*ticks >= kLimit || *ticks <= -kLimit) return std::nullopt;
            return static_cast<int64_t>(*ticks);
        }
        double value = 0.0;
        if (!parseReal(amount, value)) return std::nullopt;
        const double ticks = std::round(value * static_cast<double>(unit.ticks));
        if (std::fabs(ticks) >= static_cast<double>(kLimit)) return std::nullopt;
        return static_cast<int64_t>(ticks);
    }
    return std::nullopt;
}

unsigned char* bytesOf(const Target& target, const Variable& v, int32_t offset = 0) {
    return target.view.slot(v.area, v.slot + offset);
}

int32_t* wordOf(const Target& target, const Variable& v, int32_t offset = 0) {
    return reinterpret_cast<int32_t*>(bytesOf(target, v, offset));
}

uint8_t loadByte(const unsigned char* byte) { return __atomic_load_n(byte, __ATOMIC_RELAXED); }
void storeByte(unsigned char* byte, uint8_t value) { __atomic_store_n(byte, value, __ATOMIC_RELAXED); }
void orByte(unsigned char* byte, uint8_t bits) { __atomic_fetch_or(byte, bits, __ATOMIC_RELAXED); }
void clearByte(unsigned char* byte, uint8_t bits) { __atomic_fetch_and(byte, static_cast<uint8_t>(~bits), __ATOMIC_RELAXED); }

// Where the forced flag of a slot lives, by revision and area.
struct ForcedFlag {
    int offset;
    uint8_t bit;
};

ForcedFlag forcedFlag(int revision, int area) {
    if (revision == 1) {
        switch (area) {
            case kAreaBool: return {0, r1::kBoolForced};
            case kAreaInt: return {r1::kIntFlagsOffset, r1::kIntForced};
            case kAreaReal: return {r1::kRealFlagsOffset, r1::kForced};
            default: return {r1::kCharFlagsOffset, r1::kForced};
        }
    }
    switch (area) {
        case kAreaBool: return {0, kBoolForced};
        case kAreaInt:
        case kAreaReal: return {kIntFlagsOffset, kIntForced};
        default: return {kCharFlagsOffset, kCharForced};
    }
}

// The word of each value slot. A TIME splits its ticks toward zero, as the library does
// (days and ticks of one sign); a DATE_AND_TIME into a day number and ticks since midnight.
int32_t wordOfValue(const Variable& v, const Value& value, int32_t element) {
    switch (v.kind) {
        case Kind::Time:
            return static_cast<int32_t>(element == 0 ? value.ticks / kTicksPerDay : value.ticks % kTicksPerDay);
        case Kind::DateAndTime: {
            int64_t days = value.ticks / kTicksPerDay, rest = value.ticks % kTicksPerDay;
            if (rest < 0) {
                rest += kTicksPerDay;
                --days;
            }
            return static_cast<int32_t>(element == 0 ? days : rest);
        }
        case Kind::TimeOfDay: return static_cast<int32_t>(value.ticks);
        case Kind::Real: return std::bit_cast<int32_t>(value.real);
        default: return value.word;
    }
}

// Revision 1 forcing: the old value is the forced value; the program's freezes put it
// back into the current value while the flag is set.
void forceRevision1(unsigned char* slot, int area, int32_t word) {
    if (area == kAreaBool) {
        uint8_t seen = loadByte(slot);
        const uint8_t bits = (word & 1) ? kBoolCurrent | kBoolOld : 0;
        for (;;) {
            const uint8_t next = static_cast<uint8_t>((seen & ~(kBoolCurrent | kBoolOld)) | bits | r1::kBoolForced);
            if (__atomic_compare_exchange_n(slot, &seen, next, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) return;
        }
    }
    const ForcedFlag flag = forcedFlag(1, area);
    if (area == kAreaChar) {
        storeByte(slot + kCharOldOffset, static_cast<uint8_t>(word));
        storeByte(slot, static_cast<uint8_t>(word));
    } else {
        auto* words = reinterpret_cast<int32_t*>(slot);
        ImageView::write(words + 1, word);
        ImageView::write(words, word);
    }
    orByte(slot + flag.offset, flag.bit);
}

void forceShared(unsigned char* image, int area, int32_t slot, int32_t word) {
    switch (area) {
        case kAreaBool: QV_force_bool(image, slot, word); break;
        case kAreaInt: QV_force_int(image, slot, word); break;
        case kAreaReal: QV_force_float(image, slot, std::bit_cast<float>(word)); break;
        default: QV_force_char(image, slot, word); break;
    }
}

void releaseShared(unsigned char* image, int area, int32_t slot) {
    switch (area) {
        case kAreaBool: QV_unforce_bool(image, slot); break;
        case kAreaInt: QV_unforce_int(image, slot); break;
        case kAreaReal: QV_unforce_float(image, slot); break;
        default: QV_unforce_char(image, slot); break;
    }
}

std::string readText(const Target& target, const Variable& v) {
    std::string text;
    for (int32_t k = 0; k < kTasknameCapacity; ++k) {
        const unsigned char* c = bytesOf(target, v, 3 + k);
        if (c == nullptr || loadByte(c) == 0) break;
        text += static_cast<char>(loadByte(c));
    }
    return "\"" + text + "\"";
}

// An execution status by name (any case) or code. Only the six a program acts on are
// written, unless the tester asks for the raw value.
std::optional<Value> parseStatus(const Variable& v, std::string_view text, const std::string& quoted, bool raw,
                                 std::string& error) {
    Value value;
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (int32_t status = kStatusFree; status <= kStatusPause; ++status) {
        if (upper == statusName(status)) {
            value.word = status;
            return value;
        }
    }
    if (parseWhole(text, value.word) && (raw || (value.word >= kStatusFree && value.word <= kStatusPause)))
        return value;
    error = v.name + " takes FREE, STOP, RUN, STEP, END or PAUSE (or 0 to 5), not " + quoted;
    if (!raw) error += " (--raw writes any whole number)";
    return std::nullopt;
}

}  // namespace

namespace {

// ---- Whole numbers ------------------------------------------------------------------------

// A whole number as IEC writes it: decimal or based (16#FF, 2#1010, 8#17), with "_"
// between digits, an optional sign before a decimal number, an optional type prefix
// (INT#-5). Nothing for anything else.
std::optional<int64_t> parseIecWhole(std::string_view text) {
    const std::size_t hash = text.find('#');
    if (hash != std::string_view::npos) {
        const std::string head = lower(text.substr(0, hash));
        constexpr std::string_view kTypes[] = {"sint", "int", "dint", "byte", "word", "dword", "usint", "uint", "udint"};
        if (std::find(std::begin(kTypes), std::end(kTypes), head) != std::end(kTypes))
            return parseIecWhole(text.substr(hash + 1));
    }
    int base = 10;
    bool negative = false;
    if (hash != std::string_view::npos) {
        const std::string_view prefix = text.substr(0, hash);
        if (prefix == "16") base = 16;
        else if (prefix == "8") base = 8;
        else if (prefix == "2") base = 2;
        else return std::nullopt;
        text.remove_prefix(hash + 1);
    } else if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '_' || text.back() == '_') return std::nullopt;
    __int128 value = 0;
    char previous = 0;
    for (char c : text) {
        if (c == '_') {
            if (previous == '_') return std::nullopt;
            previous = c;
            continue;
        }
        previous = c;
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : 99;
        if (digit >= base) return std::nullopt;
        value = value * base + digit;
        if (value > (__int128{1} << 40)) return std::nullopt;  // far beyond every type: refused by range
    }
    return static_cast<int64_t>(negative ? -value : value);
}

struct WholeRange {
    int64_t low;
    int64_t high;
};

WholeRange rangeOf(Kind kind) {
    switch (kind) {
        case Kind::Sint: return {-128, 127};
        case Kind::Int16: return {-32768, 32767};
        case Kind::Byte: return {0, 255};
        case Kind::Word: return {0, 65535};
        case Kind::Dword: return {0, 4294967295};
        default: return {INT32_MIN, INT32_MAX};
    }
}

bool unsignedKind(Kind kind) { return kind == Kind::Byte || kind == Kind::Word || kind == Kind::Dword; }

// Hexadecimal digits a bit string prints with: two per byte.
int hexDigits(Kind kind) { return kind == Kind::Byte ? 2 : kind == Kind::Word ? 4 : 8; }

std::string hexText(uint32_t value, int digits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int k = digits - 1; k >= 0; --k, value >>= 4) text[static_cast<std::size_t>(k)] = kHex[value & 15];
    return "16#" + text;
}

// The value as the library holds it in the slot's word: only the type's low bits count.
int64_t wholeOf(Kind kind, int32_t word) {
    switch (kind) {
        case Kind::Sint: return static_cast<int8_t>(word);
        case Kind::Int16: return static_cast<int16_t>(word);
        case Kind::Byte: return static_cast<uint8_t>(word);
        case Kind::Word: return static_cast<uint16_t>(word);
        case Kind::Dword: return static_cast<uint32_t>(word);
        default: return word;
    }
}

// ---- Dates ---------------------------------------------------------------------------------
// Day numbers count from 1970-01-01 (day 0), in the proleptic Gregorian calendar.

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Civil {
    int64_t year;
    unsigned month;
    unsigned day;
};

Civil civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

// Years a date is written with.
constexpr int64_t kFirstYear = 1, kLastYear = 9999;

bool digitsOnly(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "2024-01-31" as a day number.
std::optional<int64_t> parseDate(std::string_view text) {
    const std::size_t a = text.find('-'), b = text.find('-', a == std::string_view::npos ? a : a + 1);
    if (a == std::string_view::npos || b == std::string_view::npos) return std::nullopt;
    const std::string_view ys = text.substr(0, a), ms = text.substr(a + 1, b - a - 1), ds = text.substr(b + 1);
    if (!digitsOnly(ys) || ys.size() > 4 || !digitsOnly(ms) || ms.size() > 2 || !digitsOnly(ds) || ds.size() > 2)
        return std::nullopt;
    int64_t y = 0;
    unsigned m = 0, d = 0;
    std::from_chars(ys.data(), ys.data() + ys.size(), y);
    std::from_chars(ms.data(), ms.data() + ms.size(), m);
    std::from_chars(ds.data(), ds.data() + ds.size(), d);
    if (y < kFirstYear || y > kLastYear || m < 1 || m > 12 || d < 1) return std::nullopt;
    const Civil back = civilFromDays(daysFromCivil(y, m, d));
    if (back.month != m || back.day != d) return std::nullopt;  // 2023-02-29
    return daysFromCivil(y, m, d);
}

std::string two(int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); }

std::string dateText(int64_t days) {
    const Civil c = civilFromDays(days);
    std::string year = std::to_string(c.year);
    if (c.year >= 0 && year.size() < 4) year.insert(0, 4 - year.size(), '0');
    return year + "-" + two(c.month) + "-" + two(c.day);
}

// "12:00:00.5", "12:00" as ticks since midnight.
std::optional<int64_t> parseTimeOfDay(std::string_view text) {
    const std::size_t a = text.find(':');
    if (a == std::string_view::npos) return std::nullopt;
    const std::size_t b = text.find(':', a + 1);
    const std::string_view hs = text.substr(0, a);
    const std::string_view ms = text.substr(a + 1, b == std::string_view::npos ? std::string_view::npos : b - a - 1);
    const std::string_view ss = b == std::string_view::npos ? std::string_view("0") : text.substr(b + 1);
    if (!digitsOnly(hs) || hs.size() > 2 || !digitsOnly(ms) || ms.size() != 2) return std::nullopt;
    const std::size_t point = ss.find('.');
    const std::string_view whole = ss.substr(0, point);
    if (!digitsOnly(whole) || whole.size() > 2) return std::nullopt;
    if (point != std::string_view::npos && !digitsOnly(ss.substr(point + 1))) return std::nullopt;
    int h = 0, m = 0;
    std::from_chars(hs.data(), hs.data() + hs.size(), h);
    std::from_chars(ms.data(), ms.data() + ms.size(), m);
    const std::optional<__int128> seconds = exactTicks(ss, kTicksPerSecond);
    if (!seconds || h > 23 || m > 59 || *seconds >= 60 * kTicksPerSecond) return std::nullopt;
    const int64_t ticks = (int64_t{h} * 3600 + m * 60) * kTicksPerSecond + static_cast<int64_t>(*seconds);
    if (ticks >= kTicksPerDay) return std::nullopt;
    return ticks;
}

std::string timeOfDayText(int64_t ticks) {
    const int64_t seconds = ticks / kTicksPerSecond;
    std::string text = two(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
    if (const int64_t fraction = ticks % kTicksPerSecond) {
        std::string digits = std::to_string(fraction + kTicksPerSecond).substr(1);
        while (digits.back() == '0') digits.pop_back();
        text += "." + digits;
    }
    return text;
}

// Strips one of the prefixes (any case); true when one was there.
bool stripPrefix(std::string_view& text, std::initializer_list<std::string_view> prefixes) {
    for (std::string_view prefix : prefixes) {
        if (text.size() >= prefix.size() && lower(text.substr(0, prefix.size())) == prefix) {
            text.remove_prefix(prefix.size());
            return true;
        }
    }
    return false;
}

// ---- Durations -----------------------------------------------------------------------------

// "1h2m3.5s", "-5s", "1d_2h": units from the largest to the smallest, each once; only the
// last may have a fraction. Nothing for other forms.
std::optional<int64_t> parseCompoundDuration(std::string_view t) {
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    struct Unit {
        std::string_view suffix;
        int64_t ticks;
    };
    constexpr Unit units[] = {{"d", 864000000}, {"h", 36000000}, {"ms", 10}, {"m", 600000}, {"s", 10000}};
    constexpr int order[] = {0, 1, 3, 4, 2};  // d h m s ms
    __int128 total = 0;
    int lastRank = -1;
    bool fractionSeen = false;
    int parts = 0;
    while (!t.empty()) {
        if (t[0] == '_') t.remove_prefix(1);
        std::size_t n = 0;
        while (n < t.size() && ((t[n] >= '0' && t[n] <= '9') || t[n] == '.')) ++n;
        if (n == 0 || fractionSeen) return std::nullopt;
        const std::string_view amount = t.substr(0, n);
        t.remove_prefix(n);
        int which = -1;
        for (int k = 0; k < 5 && which < 0; ++k)
            if (t.starts_with(units[k].suffix)) which = k;
        if (which < 0) return std::nullopt;
        const int rank = static_cast<int>(std::find(std::begin(order), std::end(order), which) - std::begin(order));
        if (rank <= lastRank) return std::nullopt;
        lastRank = rank;
        t.remove_prefix(units[which].suffix.size());
        fractionSeen = amount.find('.') != std::string_view::npos;
        const std::optional<__int128> ticks = exactTicks(amount, units[which].ticks);
        if (!ticks) return std::nullopt;
        total += *ticks;
        ++parts;
        if (total > (__int128{1} << 62)) return std::nullopt;
    }
    if (parts == 0) return std::nullopt;
    constexpr __int128 kLimit = __int128{2147483647} * kTicksPerDay;
    if (total >= kLimit) return std::nullopt;
    return static_cast<int64_t>(negative ? -total : total);
}

// ---- Strings -------------------------------------------------------------------------------

// A STRING literal's text: 'it$'s' with $ escapes ($$, $', $L, $N, $P, $R, $T, $hh);
// text without quotes is taken as it stands. Nothing, with the reason, for a malformed one.
std::optional<std::string> parseStringText(std::string_view text, std::string& why) {
    if (text.size() < 2 || text.front() != '\'' || text.back() != '\'') {
        if (!text.empty() && text.front() == '\'') {
            why = "a quoted string ends with '";
            return std::nullopt;
        }
        return std::string(text);
    }
    text = text.substr(1, text.size() - 2);
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (c == '\'') {
            why = "a quote inside a string is written $'";
            return std::nullopt;
        }
        if (c != '$') {
            out += c;
            continue;
        }
        if (++k == text.size()) {
            why = "a $ at the end of a string is written $$";
            return std::nullopt;
        }
        const char e = static_cast<char>(std::toupper(static_cast<unsigned char>(text[k])));
        switch (e) {
            case '$': out += '$'; break;
            case '\'': out += '\''; break;
            case 'L':
            case 'N': out += '\n'; break;
            case 'P': out += '\f'; break;
            case 'R': out += '\r'; break;
            case 'T': out += '\t'; break;
            default: {
                unsigned code = 0;
                if (k + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[k])) &&
                    std::isxdigit(static_cast<unsigned char>(text[k + 1]))) {
                    std::from_chars(text.data() + k, text.data() + k + 2, code, 16);
                    out += static_cast<char>(code);
                    ++k;
                    break;
                }
                why = "$" + std::string(1, text[k]) + " is not an escape ($$, $', $L, $N, $P, $R, $T or $hh)";
                return std::nullopt;
            }
        }
    }
    return out;
}

std::string stringLiteral(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "'";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '$': out += "$$"; break;
            case '\'': out += "$'"; break;
            case '\n': out += "$N"; break;
            case '\r': out += "$R"; break;
            case '\t': out += "$T"; break;
            case '\f': out += "$P"; break;
            default:
                if (u < 0x20 || u >= 0x7F) out += {'$', kHex[u >> 4], kHex[u & 15]};
                else out += c;
        }
    }
    return out + "'";
}

std::string quote(std::string_view text) {
    std::string quoted = "\"";
    quoted.append(text).append("\"");
    return quoted;
}

// "a DINT", "an INT", "an Enum": the article a type's name is said with.
std::string withArticle(std::string_view name) {
    const bool vowel = !name.empty() && std::string_view("AEIOUaeiou").find(name[0]) != std::string_view::npos;
    return std::string(vowel ? "an " : "a ").append(name);
}

std::optional<Value> refuse(std::string& error, std::string message) {
    error = std::move(message);
    return std::nullopt;
}

std::optional<Value> parseWholeValue(const Variable& v, std::string_view text, const std::string& quoted,
                                     std::string& error) {
    Value value;
    const WholeRange range = rangeOf(v.kind);
    const std::optional<int64_t> n = parseIecWhole(text);
    if (!n || *n < range.low || *n > range.high) {
        std::string message = v.name + " is " + withArticle(kindName(v.kind)) + ": give a whole number from " +
                              std::to_string(range.low) + " to " + std::to_string(range.high);
        if (unsignedKind(v.kind))
            message += " (or " + hexText(0, hexDigits(v.kind)) + " to " +
                       hexText(static_cast<uint32_t>(range.high), hexDigits(v.kind)) + ")";
        return refuse(error, message + ", not " + quoted);
    }
    value.word = static_cast<int32_t>(static_cast<uint32_t>(*n));
    return value;
}

std::optional<Value> parseEnumValue(const Variable& v, std::string_view text, const std::string& quoted,
                                    std::string& error) {
    Value value;
    const symbols::EnumType* e = v.enumType;
    std::string names;
    if (e != nullptr) {
        std::string_view name = text;
        // "Mode#Run" names the type as well.
        if (const std::size_t hash = name.find('#'); hash != std::string_view::npos) {
            if (lower(name.substr(0, hash)) == lower(e->name)) name.remove_prefix(hash + 1);
        }
        if (const symbols::EnumType::Value* found = e->byName(name)) {
            value.word = found->value;
            return value;
        }
        if (const std::optional<int64_t> n = parseIecWhole(text); n && *n >= INT32_MIN && *n <= INT32_MAX) {
            if (e->byValue(static_cast<int32_t>(*n)) != nullptr) {
                value.word = static_cast<int32_t>(*n);
                return value;
            }
        }
        for (const symbols::EnumType::Value& item : e->values) names += (names.empty() ? "" : ", ") + item.name;
    }
    return refuse(error, v.name + " is " + withArticle(e != nullptr ? e->name : std::string("ENUM")) + ": give one of " +
                             (names.empty() ? std::string("its names") : names) + ", not " + quoted);
}

}  // namespace

std::optional<Value> parseValue(const Variable& v, std::string_view text, std::string& error, bool raw) {
    Value value;
    // Built by appending: a literal prefixed to a temporary string trips GCC 12's
    // -Wrestrict false positive at -O3.
    const std::string quoted = quote(text);
    // The control words are checked by the slot they start at, whatever name reached them.
    const std::string_view control = v.control != nullptr ? v.control : "";
    if (control == "execstatus" && v.area == kAreaInt) return parseStatus(v, text, quoted, raw, error);
    switch (v.kind) {
        case Kind::Bool: {
            const std::string t = lower(text);
            if (t == "true" || t == "1") value.word = 1;
            else if (t == "false" || t == "0") value.word = 0;
            else return refuse(error, v.name + " is a BOOL: give TRUE or FALSE (or 1 or 0), not " + quoted);
            return value;
        }
        case Kind::Int:
            if (parseWhole(text, value.word)) return value;
            return parseWholeValue(v, text, quoted, error);
        case Kind::Sint:
        case Kind::Int16:
        case Kind::Byte:
        case Kind::Word:
        case Kind::Dword: return parseWholeValue(v, text, quoted, error);
        case Kind::Enum: return parseEnumValue(v, text, quoted, error);
        case Kind::Real: {
            double real = 0.0;
            if (!parseReal(text, real) || std::fabs(real) > std::numeric_limits<float>::max())
                return refuse(error, v.name + " is a REAL: give a finite number within +-3.4e38, not " + quoted);
            value.real = static_cast<float>(real);
            // The period as the program will hold it: a float, above 0 and below 2^32 us.
            if (control == "simuperiod" && v.area == kAreaReal && !raw &&
                !(value.real > 0.0f && value.real < 4294967296.0f))
                return refuse(error, v.name + " takes a period in microseconds above 0 and below 4294967296, not " +
                                         quoted + " (--raw writes it anyway)");
            return value;
        }
        case Kind::Char: {
            int32_t code = -1;
            if (text.size() == 1 && !std::isdigit(static_cast<unsigned char>(text[0])))
                code = static_cast<unsigned char>(text[0]);
            else if (text.size() == 3 && text.front() == '\'' && text.back() == '\'')
                code = static_cast<unsigned char>(text[1]);
            else if (!parseWhole(text, code) || code > 255)
                code = -1;
            if (code < 0)
                return refuse(error, v.name + " is a CHAR: give one character or a code from 0 to 255, not " + quoted);
            value.word = code;
            return value;
        }
        case Kind::Time: {
            std::optional<int64_t> ticks = parseDuration(text);
            if (!ticks) {
                std::string_view body = text;
                stripPrefix(body, {"time#", "t#"});
                ticks = parseCompoundDuration(lower(body));
            }
            if (ticks) {
                value.ticks = *ticks;
                return value;
            }
            // A number without a unit could mean seconds or milliseconds: it is refused.
            double number = 0.0;
            if (parseReal(text, number))
                return refuse(error, v.name + " is a TIME: a number needs a unit, as in T#" + std::string(text) +
                                         "s or " + std::string(text) + "s (or " + std::string(text) + "ms), not " +
                                         quoted);
            return refuse(error, v.name + " is a TIME: give a duration such as 2.5s, 250ms or T#10s, not " + quoted);
        }
        case Kind::Date: {
            std::string_view body = text;
            stripPrefix(body, {"date#", "d#"});
            if (const std::optional<int64_t> days = parseDate(body)) {
                value.word = static_cast<int32_t>(*days);
                return value;
            }
            return refuse(error, v.name + " is a DATE: give a date from D#0001-01-01 to D#9999-12-31, such as "
                                          "D#2024-01-31, not " + quoted);
        }
        case Kind::TimeOfDay: {
            std::string_view body = text;
            stripPrefix(body, {"time_of_day#", "tod#"});
            if (const std::optional<int64_t> ticks = parseTimeOfDay(body)) {
                value.ticks = *ticks;
                return value;
            }
            return refuse(error, v.name + " is a TIME_OF_DAY: give a time from TOD#00:00:00 to TOD#23:59:59.9999, "
                                          "such as TOD#12:00:00.5, not " + quoted);
        }
        case Kind::DateAndTime: {
            std::string_view body = text;
            stripPrefix(body, {"date_and_time#", "dt#"});
            // The date's two dashes, then the time of day.
            const std::size_t first = body.find('-');
            const std::size_t second = first == std::string_view::npos ? first : body.find('-', first + 1);
            const std::size_t third = second == std::string_view::npos ? second : body.find('-', second + 1);
            if (third != std::string_view::npos) {
                const std::optional<int64_t> days = parseDate(body.substr(0, third));
                const std::optional<int64_t> ticks = parseTimeOfDay(body.substr(third + 1));
                if (days && ticks) {
                    value.ticks = *days * kTicksPerDay + *ticks;
                    return value;
                }
            }
            return refuse(error, v.name + " is a DATE_AND_TIME: give a date and a time from DT#0001-01-01-00:00:00 "
                                          "to DT#9999-12-31-23:59:59.9999, such as DT#2024-01-31-12:00:00, not " +
                                          quoted);
        }
        case Kind::String: {
            std::string why;
            std::optional<std::string> t = parseStringText(text, why);
            if (t && t->find('\0') != std::string::npos) why = "a string holds no NUL character ($00)";
            if (t && why.empty() && static_cast<int64_t>(t->size()) > v.length)
                why = "give at most " + std::to_string(v.length) + " characters";
            if (!t || !why.empty())
                return refuse(error, v.name + " is a STRING[" + std::to_string(v.length) + "]: " + why + ", not " +
                                         quoted);
            value.text = std::move(*t);
            return value;
        }
        case Kind::Text: break;
    }
    return refuse(error, v.name + " is a STRING; qvctl does not write strings");
}

Value readValue(const Target& target, const Variable& v) {
    Value value;
    switch (v.kind) {
        case Kind::Bool: value.word = loadByte(bytesOf(target, v)) & kBoolCurrent; break;
        case Kind::Char: value.word = loadByte(bytesOf(target, v)); break;
        case Kind::Real: value.real = ImageView::read(reinterpret_cast<float*>(bytesOf(target, v))); break;
        case Kind::Time:
            value.ticks = static_cast<int64_t>(ImageView::read(wordOf(target, v, 2))) * kTicksPerDay +
                          ImageView::read(wordOf(target, v, 3));
            break;
        case Kind::DateAndTime:
            value.ticks = static_cast<int64_t>(ImageView::read(wordOf(target, v, 2))) * kTicksPerDay +
                          ImageView::read(wordOf(target, v, 3));
            break;
        case Kind::Date: value.word = ImageView::read(wordOf(target, v, 2)); break;
        case Kind::TimeOfDay: value.ticks = ImageView::read(wordOf(target, v, 2)); break;
        case Kind::String:
            for (int32_t k = 0; k < v.length; ++k) {
                const unsigned char* c = bytesOf(target, v, 3 + k);
                if (c == nullptr || loadByte(c) == 0) break;
                value.text += static_cast<char>(loadByte(c));
            }
            break;
        default: value.word = ImageView::read(wordOf(target, v)); break;
    }
    return value;
}

std::string formatValue(const Variable& v, const Value& value) {
    switch (v.kind) {
        case Kind::Bool: return value.word ? "TRUE" : "FALSE";
        case Kind::Real: {
            char text[32];
            auto [end, problem] = std::to_chars(text, text + sizeof text, value.real);
            return problem == std::errc() ? std::string(text, end) : "?";
        }
        case Kind::Char: {
            std::string text = std::to_string(value.word);
            if (value.word > 32 && value.word < 127) text += std::string(" '") + static_cast<char>(value.word) + "'";
            return text;
        }
        case Kind::Time: {
            const int64_t magnitude = value.ticks < 0 ? -value.ticks : value.ticks;
            std::string text = std::string("T#") + (value.ticks < 0 ? "-" : "") + std::to_string(magnitude / kTicksPerSecond);
            if (int64_t fraction = magnitude % kTicksPerSecond) {
                std::string digits = std::to_string(fraction + kTicksPerSecond).substr(1);
                while (digits.back() == '0') digits.pop_back();
                text += "." + digits;
            }
            return text + "s";
        }
        case Kind::Sint:
        case Kind::Int16: return std::to_string(wholeOf(v.kind, value.word));
        case Kind::Byte:
        case Kind::Word:
        case Kind::Dword: return hexText(static_cast<uint32_t>(wholeOf(v.kind, value.word)), hexDigits(v.kind));
        case Kind::Enum: {
            if (v.enumType != nullptr)
                if (const symbols::EnumType::Value* found = v.enumType->byValue(value.word)) return found->name;
            // A value the enumeration does not name is shown as the number it is.
            return std::to_string(value.word);
        }
        case Kind::Date: return "D#" + dateText(value.word);
        case Kind::TimeOfDay:
            if (value.ticks < 0 || value.ticks >= kTicksPerDay) return "TOD#? (" + std::to_string(value.ticks) + " ticks)";
            return "TOD#" + timeOfDayText(value.ticks);
        case Kind::DateAndTime: {
            int64_t days = value.ticks / kTicksPerDay, rest = value.ticks % kTicksPerDay;
            if (rest < 0) {
                rest += kTicksPerDay;
                --days;
            }
            return "DT#" + dateText(days) + "-" + timeOfDayText(rest);
        }
        case Kind::String: return stringLiteral(value.text);
        default: return std::to_string(value.word);
    }
}

std::string currentText(const Target& target, const Variable& v) {
    if (v.kind == Kind::Text) return readText(target, v);
    return formatValue(v, readValue(target, v));
}

bool isForced(const Target& target, const Variable& v) {
    if (v.kind == Kind::Text || v.kind == Kind::String) return false;
    const ForcedFlag flag = forcedFlag(target.revision, v.area);
    const unsigned char* slot = bytesOf(target, v, firstValueSlot(v));
    return (loadByte(slot + flag.offset) & flag.bit) != 0;
}

void setValue(const Target& target, const Variable& v, const Value& value) {
    switch (v.kind) {
        case Kind::Bool:
            if (value.word & 1)
                orByte(bytesOf(target, v), kBoolCurrent);
            else
                clearByte(bytesOf(target, v), kBoolCurrent);
            return;
        case Kind::Char: storeByte(bytesOf(target, v), static_cast<uint8_t>(value.word)); return;
        case Kind::Text: return;
        case Kind::String:
            // The characters, then NULs to the declared length, as a string assignment leaves it.
            for (int32_t k = 0; k < v.length; ++k) {
                const std::size_t at = static_cast<std::size_t>(k);
                storeByte(bytesOf(target, v, 3 + k), at < value.text.size() ? static_cast<uint8_t>(value.text[at]) : 0);
            }
            return;
        default:
            for (int32_t k = 0; k < valueSlotCount(v); ++k)
                ImageView::write(wordOf(target, v, firstValueSlot(v) + k), wordOfValue(v, value, k));
            return;
    }
}

bool forceable(const Variable& v, std::string& why) {
    if (v.kind != Kind::Text && v.kind != Kind::String) return true;
    why = v.name + " is a STRING; strings are not forced";
    return false;
}

void forceValue(const Target& target, const Variable& v, const Value& value) {
    if (v.kind == Kind::Text || v.kind == Kind::String) return;
    for (int32_t k = 0; k < valueSlotCount(v); ++k) {
        const int32_t slot = v.slot + firstValueSlot(v) + k;
        const int32_t word = wordOfValue(v, value, k);
        if (target.revision == 1)
            forceRevision1(target.view.slot(v.area, slot), v.area, word);
        else
            forceShared(target.view.base(), v.area, slot, word);
    }
}

void releaseValue(const Target& target, const Variable& v) {
    if (v.kind == Kind::Text || v.kind == Kind::String) return;
    for (int32_t k = 0; k < valueSlotCount(v); ++k) {
        const int32_t slot = v.slot + firstValueSlot(v) + k;
        if (target.revision == 1) {
            const ForcedFlag flag = forcedFlag(1, v.area);
            clearByte(target.view.slot(v.area, slot) + flag.offset, flag.bit);
        } else {
            releaseShared(target.view.base(), v.area, slot);
        }
    }
}

}  // namespace qv::ctl
