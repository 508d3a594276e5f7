#include "compiler/lexer.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace qvc {

namespace {

constexpr int64_t kTicksPerSecond = 10000;
constexpr int64_t kTicksPerDay = 864000000;

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Days from 1970-01-01 to a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

class Lexer {
public:
    Lexer(const std::string& text, int file, Diagnostics& d, const std::vector<int>* lines, const std::vector<int>* columns)
        : s_(text), file_(file), diag_(d), lines_(lines), columns_(columns) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        while (true) {
            skipSpaceAndComments();
            Token t;
            t.at = here();
            if (pos_ >= s_.size()) {
                t.kind = Tok::End;
                tokens.push_back(t);
                return tokens;
            }
            const std::size_t start = pos_;
            if (lex(t)) {
                t.raw = s_.substr(start, pos_ - start);
                t.endColumn = t.at.column + static_cast<int>(pos_ - start);
                tokens.push_back(std::move(t));
            }
        }
    }

private:
    char peek(std::size_t k = 0) const { return pos_ + k < s_.size() ? s_[pos_ + k] : '\0'; }
    Location here() const {
        const auto k = static_cast<std::size_t>(line_ - 1);
        int line = line_;
        int column = static_cast<int>(pos_ - lineStart_) + 1;
        if (lines_) line = k < lines_->size() ? (*lines_)[k] : 0;
        if (columns_ && k < columns_->size() && (*columns_)[k] > 0) column = (*columns_)[k];
        return {file_, line, column};
    }
    void advance() {
        if (pos_ < s_.size() && s_[pos_] == '\n') {
            ++line_;
            lineStart_ = pos_ + 1;
        }
        ++pos_;
    }

    void skipSpaceAndComments() {
        while (pos_ < s_.size()) {
            const char c = peek();
            if (std::isspace(static_cast<unsigned char>(c))) {
                advance();
            } else if (c == '(' && peek(1) == '*') {
                skipBlock('(', '*', ')');
            } else if (c == '/' && peek(1) == '*') {
                skipBlock('/', '*', '/');
            } else if (c == '/' && peek(1) == '/') {
                while (pos_ < s_.size() && peek() != '\n') advance();
            } else if (c == '{') {
                const Location at = here();
                while (pos_ < s_.size() && peek() != '}') advance();
                if (pos_ >= s_.size()) diag_.error(at, "pragma not closed with '}'");
                else advance();
            } else {
                return;
            }
        }
    }

    // A comment that may nest: (* (* *) *).
    void skipBlock(char open, char star, char close) {
        const Location at = here();
        int depth = 0;
        while (pos_ < s_.size()) {
            if (peek() == open && peek(1) == star) {
                ++depth;
                advance();
                advance();
            } else if (peek() == star && peek(1) == close) {
                advance();
                advance();
                if (--depth == 0) return;
            } else {
                advance();
            }
        }
        diag_.error(at, "comment not closed");
    }

    bool lex(Token& t) {
        const char c = peek();
        if (isIdentStart(c)) return lexWord(t);
        if (std::isdigit(static_cast<unsigned char>(c))) return lexNumber(t, "");
        if (c == '\'' || c == '"') return lexString(t);
        if (c == '%') return lexAddress(t);
        static const char* const symbols[] = {":=", "=>", "<=", ">=", "<>", "**", "..", "(", ")", "[", "]", ",",
                                              ";",  ":",  ".",  "+",  "-",  "*",  "/",  "=", "<", ">", "&", "#"};
        for (const char* sym : symbols) {
            const std::size_t n = std::char_traits<char>::length(sym);
            if (s_.compare(pos_, n, sym) == 0) {
                t.kind = Tok::Symbol;
                t.text = sym;
                for (std::size_t k = 0; k < n; ++k) advance();
                return true;
            }
        }
        diag_.error(t.at, std::string("unexpected character '") +
                              (std::isprint(static_cast<unsigned char>(c)) ? std::string(1, c) : "?") + "'");
        advance();
        return false;
    }

    bool lexWord(Token& t) {
        const std::size_t start = pos_;
        while (isIdentChar(peek())) advance();
        std::string word = s_.substr(start, pos_ - start);
        t.kind = Tok::Ident;
        t.text = upper(word);
        if (peek() != '#') return true;
        // A typed literal: TYPE#value, T#..., D#..., TOD#..., DT#...
        const std::string p = t.text;
        advance();
        if (p == "T" || p == "TIME" || p == "LTIME" || p == "LT") return lexDuration(t);
        if (p == "D" || p == "DATE") return lexDate(t);
        if (p == "TOD" || p == "TIME_OF_DAY") return lexTimeOfDay(t);
        if (p == "DT" || p == "DATE_AND_TIME") return lexDateTime(t);
        if (peek() == '\'' || peek() == '"') {
            lexString(t);
            t.prefix = p;
            return true;
        }
        if (p == "BOOL" && isIdentStart(peek())) {  // BOOL#TRUE
            const std::size_t s2 = pos_;
            while (isIdentChar(peek())) advance();
            const std::string v = upper(s_.substr(s2, pos_ - s2));
            t.kind = Tok::Integer;
            t.prefix = "BOOL";
            t.integer = v == "TRUE" ? 1 : 0;
            if (v != "TRUE" && v != "FALSE") diag_.error(t.at, "BOOL# takes TRUE, FALSE, 0 or 1");
            return true;
        }
        if (isIdentStart(peek())) {  // an enumerated value: Mode#Run
            const std::size_t s2 = pos_;
            while (isIdentChar(peek())) advance();
            t.kind = Tok::Ident;
            t.prefix = p;
            t.text = upper(s_.substr(s2, pos_ - s2));
            return true;
        }
        bool negative = false;
        if (peek() == '-' || peek() == '+') {
            negative = peek() == '-';
            advance();
        }
        if (!std::isdigit(static_cast<unsigned char>(peek()))) {
            diag_.error(here(), "a number must follow '" + word + "#'");
            t.kind = Tok::Integer;
            return true;
        }
        lexNumber(t, p);
        if (negative) {
            t.integer = -t.integer;
            t.real = -t.real;
        }
        return true;
    }

    // Digits with '_' separators in a base; false when there were none.
    bool digits(int base, std::string& out) {
        auto isDigit = [base](char ch) {
            if (base == 16) return std::isxdigit(static_cast<unsigned char>(ch)) != 0;
            return ch >= '0' && ch < static_cast<char>('0' + base);
        };
        bool any = false;
        while (isDigit(peek()) || (peek() == '_' && any)) {
            if (peek() != '_') {
                out += peek();
                any = true;
            }
            advance();
        }
        return any;
    }

    bool lexNumber(Token& t, const std::string& prefix) {
        t.prefix = prefix;
        std::string whole;
        digits(10, whole);
        if (peek() == '#') {  // a based integer: 16#FF, 2#1010, 8#17
            advance();
            const int base = std::atoi(whole.c_str());
            std::string v;
            if ((base != 2 && base != 8 && base != 16) || !digits(base, v)) {
                diag_.error(t.at, "a based number takes base 2, 8 or 16 and digits of that base");
                t.kind = Tok::Integer;
                return true;
            }
            t.kind = Tok::Integer;
            t.integer = parseInteger(v, base, t.at);
            return true;
        }
        if (peek() == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))) {
            advance();
            std::string frac;
            digits(10, frac);
            std::string text = whole + "." + frac;
            if (peek() == 'e' || peek() == 'E') text += exponent();
            t.kind = Tok::Real;
            t.real = std::strtod(text.c_str(), nullptr);
            return true;
        }
        if (peek() == 'e' || peek() == 'E') {
            const std::string e = exponent();
            t.kind = Tok::Real;
            t.real = std::strtod((whole + e).c_str(), nullptr);
            return true;
        }
        t.kind = Tok::Integer;
        t.integer = parseInteger(whole, 10, t.at);
        return true;
    }

    std::string exponent() {
        std::string e = "e";
        advance();
        if (peek() == '+' || peek() == '-') {
            e += peek();
            advance();
        }
        std::string d;
        if (!digits(10, d)) diag_.error(here(), "an exponent needs digits");
        return e + (d.empty() ? "0" : d);
    }

    int64_t parseInteger(const std::string& v, int base, Location at) {
        uint64_t value = 0;
        for (char ch : v) {
            const int d = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0' : std::toupper(ch) - 'A' + 10;
            if (value > (UINT64_C(1) << 40)) {
                diag_.error(at, "integer literal too large");
                return 0;
            }
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        }
        return static_cast<int64_t>(value);
    }

    // T#1h2m3s4.5ms, T#-5s, T#1d_2h: days, hours, minutes, seconds, ms, us, ns.
    bool lexDuration(Token& t) {
        t.kind = Tok::Duration;
        bool negative = false;
        if (peek() == '-' || peek() == '+') {
            negative = peek() == '-';
            advance();
        }
        long double ticks = 0;
        bool any = false;
        while (std::isdigit(static_cast<unsigned char>(peek()))) {
            std::string n;
            digits(10, n);
            if (peek() == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))) {
                advance();
                std::string f;
                digits(10, f);
                n += "." + f;
            }
            const long double value = std::strtold(n.c_str(), nullptr);
            std::string unit;
            while (std::isalpha(static_cast<unsigned char>(peek()))) {
                unit += static_cast<char>(std::tolower(static_cast<unsigned char>(peek())));
                advance();
            }
            long double scale = 0;
            if (unit == "d") scale = kTicksPerDay;
            else if (unit == "h") scale = 3600.0L * kTicksPerSecond;
            else if (unit == "m") scale = 60.0L * kTicksPerSecond;
            else if (unit == "s") scale = kTicksPerSecond;
            else if (unit == "ms") scale = 10;
            else if (unit == "us") scale = 0.01L;
            else if (unit == "ns") scale = 0.00001L;
            else {
                diag_.error(t.at, "a duration's units are d, h, m, s, ms, us and ns");
                return true;
            }
            ticks += value * scale;
            any = true;
            if (peek() == '_') advance();
        }
        if (!any) diag_.error(t.at, "a duration needs a value and a unit, as in T#1s500ms");
        if (ticks > 9.2e18L) {
            diag_.error(t.at, "duration too long");
            ticks = 0;
        }
        t.integer = static_cast<int64_t>(std::llround(negative ? -ticks : ticks));
        return true;
    }

    // YYYY-MM-DD
    bool readDate(int64_t& days, Location at) {
        std::string y, m, d;
        const bool ok = digits(10, y) && peek() == '-' && (advance(), digits(10, m)) && peek() == '-' &&
                        (advance(), digits(10, d));
        if (!ok || y.size() > 4 || m.size() > 2 || d.size() > 2) {
            diag_.error(at, "a date is written YYYY-MM-DD");
            return false;
        }
        const int64_t yy = std::atoll(y.c_str()), mm = std::atoll(m.c_str()), dd = std::atoll(d.c_str());
        if (mm < 1 || mm > 12 || dd < 1 || dd > 31) {
            diag_.error(at, "no such date");
            return false;
        }
        days = daysFromCivil(yy, mm, dd);
        return true;
    }

    // HH:MM:SS[.fff]
    bool readTimeOfDay(int64_t& ticks, Location at) {
        std::string h, m, s, f;
        const bool ok = digits(10, h) && peek() == ':' && (advance(), digits(10, m)) && peek() == ':' &&
                        (advance(), digits(10, s));
        if (ok && peek() == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))) {
            advance();
            digits(10, f);
        }
        if (!ok || h.size() > 2 || m.size() > 2 || s.size() > 2) {
            diag_.error(at, "a time of day is written HH:MM:SS[.fff]");
            return false;
        }
        const int64_t hh = std::atoll(h.c_str()), mm = std::atoll(m.c_str()), ss = std::atoll(s.c_str());
        if (hh > 23 || mm > 59 || ss > 59) {
            diag_.error(at, "no such time of day");
            return false;
        }
        f = (f + "0000").substr(0, 4);  // ticks of 100 us
        ticks = ((hh * 60 + mm) * 60 + ss) * kTicksPerSecond + std::atoll(f.c_str());
        return true;
    }

    bool lexDate(Token& t) {
        t.kind = Tok::Date;
        readDate(t.integer, t.at);
        return true;
    }
    bool lexTimeOfDay(Token& t) {
        t.kind = Tok::TimeOfDay;
        readTimeOfDay(t.integer, t.at);
        return true;
    }
    bool lexDateTime(Token& t) {
        t.kind = Tok::DateTime;
        if (!readDate(t.integer, t.at)) return true;
        if (peek() != '-') {
            diag_.error(t.at, "a date and time is written YYYY-MM-DD-HH:MM:SS");
            return true;
        }
        advance();
        readTimeOfDay(t.second, t.at);
        return true;
    }

    bool lexString(Token& t) {
        const char quote = peek();
        advance();
        t.kind = Tok::String;
        while (pos_ < s_.size() && peek() != quote && peek() != '\n') {
            if (peek() != '$') {
                t.text += peek();
                advance();
                continue;
            }
            advance();
            const char e = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
            if (e == 'N' || e == 'L') t.text += '\n';
            else if (e == 'R') t.text += '\r';
            else if (e == 'T') t.text += '\t';
            else if (e == 'P') t.text += '\f';
            else if (e == '$' || e == '\'' || e == '"') t.text += e;
            else if (std::isxdigit(static_cast<unsigned char>(e)) && std::isxdigit(static_cast<unsigned char>(peek(1)))) {
                t.text += static_cast<char>(std::strtol(s_.substr(pos_, 2).c_str(), nullptr, 16));
                advance();
            } else {
                diag_.error(here(), "unknown escape in a string: use $N, $L, $R, $T, $P, $$, $' or $hh");
            }
            if (pos_ < s_.size()) advance();
        }
        if (peek() != quote) {
            diag_.error(t.at, "string not closed on its line");
            return true;
        }
        advance();
        return true;
    }

    bool lexAddress(Token& t) {
        advance();
        std::string a = "%";
        while (isIdentChar(peek()) || (peek() == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
            a += peek();
            advance();
        }
        t.kind = Tok::Address;
        t.text = upper(a);
        return true;
    }

    const std::string& s_;
    int file_;
    Diagnostics& diag_;
    std::size_t pos_ = 0;
    std::size_t lineStart_ = 0;
    int line_ = 1;
    const std::vector<int>* lines_;
    const std::vector<int>* columns_;
};

}  // namespace

std::vector<Token> tokenize(const std::string& text, int file, Diagnostics& diagnostics, const std::vector<int>* lines,
                           const std::vector<int>* columns) {
    return Lexer(text, file, diagnostics, lines, columns).run();
}

std::string lineComment(const std::string& text, int line) {
    std::size_t start = 0;
    for (int k = 1; k < line; ++k) {
        start = text.find('\n', start);
        if (start == std::string::npos) return "";
        ++start;
    }
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string l = text.substr(start, end - start);
    const std::size_t open = l.find("(*");
    if (open == std::string::npos) return "";
    const std::size_t close = l.find("*)", open + 2);
    if (close == std::string::npos) return "";
    std::string c = l.substr(open + 2, close - open - 2);
    while (!c.empty() && std::isspace(static_cast<unsigned char>(c.front()))) c.erase(c.begin());
    while (!c.empty() && std::isspace(static_cast<unsigned char>(c.back()))) c.pop_back();
    return c;
}

}  // namespace qvc
