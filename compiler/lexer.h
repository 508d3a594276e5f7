// Structured Text into tokens: keywords and identifiers (case-insensitive, kept in upper
// case), typed and based literals, durations and dates as their tick and day counts,
// strings with their $ escapes resolved, located addresses. Comments and pragmas vanish.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/diagnostics.h"

namespace qvc {

enum class Tok {
    End,
    Ident,     // text: upper case; raw: as written
    Integer,   // integer; prefix: the type before '#', or ""
    Real,      // real; prefix
    String,    // text: the characters
    Duration,  // integer: ticks of 100 us
    Date,      // integer: days since 1970-01-01
    TimeOfDay, // integer: ticks since midnight
    DateTime,  // integer: days, second: ticks since midnight
    Address,   // text: "%IX0.0" in upper case
    Symbol,    // text: the operator or punctuation
};

struct Token {
    Tok kind = Tok::End;
    std::string text;
    std::string raw;
    std::string prefix;
    int64_t integer = 0;
    int64_t second = 0;
    double real = 0;
    Location at;
    int endColumn = 0;  // the column just past the token on its first line
};

// The tokens of one source, ending with an End token. Bad characters and malformed
// literals are reported and skipped. With `lines`, the text was translated from another
// file and line k+1 of it is reported as line lines[k] of that file, at column columns[k]
// where that is not 0.
std::vector<Token> tokenize(const std::string& text, int file, Diagnostics& diagnostics,
                           const std::vector<int>* lines = nullptr, const std::vector<int>* columns = nullptr);

// The (* ... *) comment that ends the source line `line`, trimmed, or "".
std::string lineComment(const std::string& text, int line);

}  // namespace qvc
