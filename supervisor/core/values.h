// Typed values of variables: reading, parsing and printing them, and the three writes a
// supervisor makes (set, force, release), each in the slot format of the image's revision.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "supervisor/core/target.h"

namespace qv::ctl {

// A value for one variable: `word` for booleans (0 or 1), integers, enumerations, day
// numbers and characters (0..255), `real` for reals, `ticks` (of 100 us) for TIME,
// TIME_OF_DAY and DATE_AND_TIME values (a DATE_AND_TIME as day number x ticks per day +
// ticks since midnight), `text` for a STRING.
struct Value {
    int32_t word = 0;
    float real = 0.0f;
    int64_t ticks = 0;
    std::string text;
};

// Parses a value for the variable's type, as IEC writes literals: TRUE/FALSE (or 1/0) for
// booleans; a whole number in the type's range, decimal or based (16#FF, 2#1010) for the
// integer and bit-string types; an enumeration's value name (Run, Mode#Run, or its number);
// a finite real; a character (one letter, 'c' or a code 0..255); a duration such as
// 2.5s, 250ms, T#10s or T#1h2m3.5s (a number without a unit is refused: seconds or
// milliseconds would be a guess); D#2024-01-31 (day 0 is 1970-01-01), TOD#12:00:00.5,
// DT#2024-01-31-12:00:00, each also without its prefix; a STRING as 'text' with $
// escapes, or text without quotes as it stands. Nothing, with a message naming the
// variable, its type and what it takes, when the text does not fit.
// The control words a program acts on take only what it understands, whatever name
// reaches their slot: `execstatus` a status (FREE, STOP, RUN, STEP, END, PAUSE or 0 to 5),
// `simuperiod` a period above 0 and below 2^32 microseconds; `raw` lets a tester write
// any value of the type on purpose.
std::optional<Value> parseValue(const Variable& variable, std::string_view text, std::string& error,
                                bool raw = false);

// The current value, printed as parseValue reads it back (a string in double quotes).
Value readValue(const Target& target, const Variable& variable);
std::string formatValue(const Variable& variable, const Value& value);
std::string currentText(const Target& target, const Variable& variable);

// True while the supervisor forces the variable.
bool isForced(const Target& target, const Variable& variable);

// The current value only: the program sees it at its next read (revision 1 models read
// their inputs through the old value, which the program's next freeze brings up to date).
void setValue(const Target& target, const Variable& variable, const Value& value);

// Whether the variable can be forced (a STRING cannot); the reason when it cannot.
bool forceable(const Variable& variable, std::string& why);

// Pins the variable to the value until it is released; the release leaves the value.
void forceValue(const Target& target, const Variable& variable, const Value& value);
void releaseValue(const Target& target, const Variable& variable);

}  // namespace qv::ctl
