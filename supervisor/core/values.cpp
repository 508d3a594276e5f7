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

// The slots of a variable that hold its value (a TIME: its days and its ticks).
int32_t firstValueSlot(const Variable& v) { return v.kind == Kind::Time ? 2 : 0; }
int32_t valueSlotCount(const Variable& v) { return v.kind == Kind::Time ? 2 : 1; }

int32_t wordOfValue(const Variable& v, const Value& value, int32_t element) {
    if (v.kind == Kind::Time)
        return static_cast<int32_t>(element == 0 ? value.ticks / kTicksPerDay : value.ticks % kTicksPerDay);
    if (v.kind == Kind::Real) return std::bit_cast<int32_t>(value.real);
    return value.word;
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

std::optional<Value> parseValue(const Variable& v, std::string_view text, std::string& error, bool raw) {
    Value value;
    // Built by appending: a literal prefixed to a temporary string trips GCC 12's
    // -Wrestrict false positive at -O3.
    std::string quoted = "\"";
    quoted.append(text).append("\"");
    const bool control = std::string_view(v.role) == "control";
    if (control && v.name == "execstatus") return parseStatus(v, text, quoted, raw, error);
    switch (v.kind) {
        case Kind::Bool: {
            const std::string t = lower(text);
            if (t == "true" || t == "1") value.word = 1;
            else if (t == "false" || t == "0") value.word = 0;
            else {
                error = v.name + " is a BOOL: give TRUE or FALSE (or 1 or 0), not " + quoted;
                return std::nullopt;
            }
            return value;
        }
        case Kind::Int: {
            if (!parseWhole(text, value.word)) {
                error = v.name + " is a DINT: give a whole number from -2147483648 to 2147483647, not " + quoted;
                return std::nullopt;
            }
            return value;
        }
        case Kind::Real: {
            double real = 0.0;
            if (!parseReal(text, real) || std::fabs(real) > std::numeric_limits<float>::max()) {
                error = v.name + " is a REAL: give a finite number within +-3.4e38, not " + quoted;
                return std::nullopt;
            }
            value.real = static_cast<float>(real);
            // The period as the program will hold it: a float, above 0 and below 2^32 us.
            if (control && v.name == "simuperiod" && !raw && !(value.real > 0.0f && value.real < 4294967296.0f)) {
                error = v.name + " takes a period in microseconds above 0 and below 4294967296, not " + quoted +
                        " (--raw writes it anyway)";
                return std::nullopt;
            }
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
            if (code < 0) {
                error = v.name + " is a CHAR: give one character or a code from 0 to 255, not " + quoted;
                return std::nullopt;
            }
            value.word = code;
            return value;
        }
        case Kind::Time: {
            std::optional<int64_t> ticks = parseDuration(text);
            if (!ticks) {
                error = v.name + " is a TIME: give a duration such as 2.5s, 250ms or T#10s, not " + quoted;
                return std::nullopt;
            }
            value.ticks = *ticks;
            return value;
        }
        default:
            error = v.name + " is a STRING; qvctl does not write strings";
            return std::nullopt;
    }
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
        default: return std::to_string(value.word);
    }
}

std::string currentText(const Target& target, const Variable& v) {
    if (v.kind == Kind::Text) return readText(target, v);
    return formatValue(v, readValue(target, v));
}

bool isForced(const Target& target, const Variable& v) {
    if (v.kind == Kind::Text) return false;
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
        default:
            for (int32_t k = 0; k < valueSlotCount(v); ++k)
                ImageView::write(wordOf(target, v, firstValueSlot(v) + k), wordOfValue(v, value, k));
            return;
    }
}

void forceValue(const Target& target, const Variable& v, const Value& value) {
    if (v.kind == Kind::Text) return;
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
    if (v.kind == Kind::Text) return;
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
