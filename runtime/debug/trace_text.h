// The numbers of trace lines as text. Each function writes exactly what printf writes for
// the format it names (the C++ library defines these conversions as printf's in the
// "C" locale) and returns the end of the text, without the terminating NUL. A test
// compares them with snprintf over edge cases and millions of random values.
#pragma once

#include <charconv>
#include <cstddef>

namespace qv::trace_text {

// Room the caller provides at `out`.
inline constexpr std::size_t kIntegerRoom = 24;   // "-9223372036854775808"
inline constexpr std::size_t kGeneralRoom = 32;   // "-1.17549e-308"
inline constexpr std::size_t kFixedRoom = 320;    // DBL_MAX has 309 digits

// "%ld" (and "%d" for an int).
inline char* integerText(char* out, long value) { return std::to_chars(out, out + kIntegerRoom, value).ptr; }

// "%g": six significant digits, fixed or exponent notation as printf chooses.
inline char* generalText(char* out, double value) {
    return std::to_chars(out, out + kGeneralRoom, value, std::chars_format::general, 6).ptr;
}

// "%.0f": rounded to an integer (ties to even), no decimal point.
inline char* fixedText(char* out, double value) {
    return std::to_chars(out, out + kFixedRoom, value, std::chars_format::fixed, 0).ptr;
}

}  // namespace qv::trace_text
