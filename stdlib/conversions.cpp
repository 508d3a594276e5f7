// Numeric type conversions: range-tested narrowing and rounding, bit patterns that are
// copied or cut, and BCD coding.
#include <cmath>

#include "stdlib/library.h"

namespace {

using namespace qv::lib;

constexpr int32_t kRangeError = 1000;

// A value that fails its range test: 0 with the range code.
int32_t outOfRange() {
    LIBFB_ERR = kRangeError;
    return 0;
}

int32_t inRange(int32_t value) {
    LIBFB_ERR = 0;
    return value;
}

// The value if it lies within [low, high], else 0 with the range code.
int32_t checked(int64_t value, int64_t low, int64_t high) {
    return value < low || value > high ? outOfRange() : inRange(static_cast<int32_t>(value));
}

int32_t patternResult(uint32_t pattern) { return inRange(static_cast<int32_t>(pattern)); }

// ---- From REAL ---------------------------------------------------------------------

// Beyond this magnitude every REAL is an integer and outside every tested range; below
// it a rounded or truncated value fits a 64-bit integer.
constexpr double kIntegralLimit = 4611686018427387904.0;  // 2^62

// The window within which a fraction counts as an exact half (2^-23, the single-precision
// constant). Revisions 1 and 2 count only an exact half.
constexpr double kHalfWindow = 1.1920929e-7f;

bool isHalf(double offset) {
    if constexpr (qv::kRevision == 3) return std::fabs(offset) < kHalfWindow;
    return offset == 0.0;
}

bool roundable(double a) { return std::fabs(a) < kIntegralLimit; }  // NaN is not

// Rounded to the nearest integer, exact halves to the even neighbour. A float widened to
// double keeps every bit, so each step below is exact. |a| < 2^62.
int64_t roundedToEven(double a) {
    const int64_t b = static_cast<int64_t>(a);  // truncated toward zero
    if (a >= 0.0) {
        if (isHalf(a - static_cast<double>(b) - 0.5)) return b + b % 2;
        return static_cast<int64_t>(a + 0.5);
    }
    if (isHalf(a - static_cast<double>(b) + 0.5)) return b - (-b) % 2;
    return static_cast<int64_t>(a - 0.5);
}

// A REAL rounded and tested against [low, high]; NaN and huge values fail.
int32_t roundedInRange(float in, int64_t low, int64_t high) {
    const double a = in;
    if (!roundable(a)) return outOfRange();
    return checked(roundedToEven(a), low, high);
}

int32_t truncatedInRange(float in, int64_t low, int64_t high) {
    const double a = in;
    if (!roundable(a)) return outOfRange();
    return checked(static_cast<int64_t>(a), low, high);
}

// DINT results from REAL are not range-tested; a value beyond the DINT range is held at
// its limit and NaN gives 0.
int32_t heldToDint(int64_t value) {
    LIBFB_ERR = 0;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t unlimitedDint(double a, int64_t (*convert)(double)) {
    if (std::isnan(a)) return heldToDint(0);
    if (!roundable(a)) return heldToDint(a > 0.0 ? INT64_MAX : INT64_MIN);
    return heldToDint(convert(a));
}

int64_t truncated(double a) { return static_cast<int64_t>(a); }

// ---- BCD ---------------------------------------------------------------------------

// The decimal value of the low `digits` 4-bit groups, or -1 when a group is above 9.
int64_t decodedBcd(uint32_t pattern, int digits) {
    int64_t value = 0;
    for (int k = digits - 1; k >= 0; --k) {
        const uint32_t digit = (pattern >> (4 * k)) & 0xFu;
        if (digit > 9) return -1;
        value = value * 10 + digit;
    }
    return value;
}

int32_t fromBcd(uint32_t pattern, int digits) {
    const int64_t value = decodedBcd(pattern, digits);
    return value < 0 ? outOfRange() : inRange(static_cast<int32_t>(value));
}

// The value, taken as unsigned, in BCD when it does not exceed `largest`.
uint32_t toBcd(int32_t in, uint32_t largest) {
    uint32_t value = static_cast<uint32_t>(in);
    if (value > largest) return static_cast<uint32_t>(outOfRange());
    uint32_t pattern = 0;
    for (int shift = 0; value != 0; shift += 4, value /= 10) pattern |= (value % 10) << shift;
    LIBFB_ERR = 0;
    return pattern;
}

int boolResult(bool value) {
    LIBFB_ERR = 0;
    return value ? 1 : 0;
}

float realResult(float value) {
    LIBFB_ERR = 0;
    return value;
}

uint32_t low8(int64_t v) { return static_cast<uint32_t>(v) & 0xFFu; }
uint32_t low16(int64_t v) { return static_cast<uint32_t>(v) & 0xFFFFu; }
int32_t signed8(int64_t v) { return static_cast<int8_t>(low8(v)); }
int32_t signed16(int64_t v) { return static_cast<int16_t>(low16(v)); }

}  // namespace

extern "C" {

// ---- Between signed integers ----------------------------------------------------------

int32_t sint_to_int_OUT(int32_t IN) { return inRange(IN); }
int32_t sint_to_dint_OUT(int32_t IN) { return inRange(IN); }
int32_t int_to_dint_OUT(int32_t IN) { return inRange(IN); }
int32_t int_to_sint_OUT(int32_t IN) { return checked(IN, -128, 127); }
int32_t dint_to_sint_OUT(int32_t IN) { return checked(IN, -128, 127); }
int32_t dint_to_int_OUT(int32_t IN) { return checked(IN, -32768, 32767); }

// ---- To REAL ----------------------------------------------------------------------------

float sint_to_real_OUT(int32_t IN) { return realResult(static_cast<float>(IN)); }
float int_to_real_OUT(int32_t IN) { return realResult(static_cast<float>(IN)); }
float dint_to_real_OUT(int32_t IN) { return realResult(static_cast<float>(IN)); }
float byte_to_real_OUT(int32_t IN) { return realResult(static_cast<float>(low8(IN))); }
float word_to_real_OUT(int32_t IN) { return realResult(static_cast<float>(low16(IN))); }
float dword_to_real_OUT(uint32_t IN) { return realResult(static_cast<float>(IN)); }

// ---- From REAL --------------------------------------------------------------------------

int32_t real_to_sint_OUT(float IN) { return roundedInRange(IN, -128, 127); }
int32_t real_to_int_OUT(float IN) { return roundedInRange(IN, -32768, 32767); }
int32_t real_to_byte_OUT(float IN) { return roundedInRange(IN, 0, 255); }
int32_t real_to_word_OUT(float IN) { return roundedInRange(IN, 0, 65535); }
int32_t real_to_dint_OUT(float IN) { return unlimitedDint(IN, roundedToEven); }

// The argument is tested before it is rounded: anything below 0 fails, even -0.4.
uint32_t real_to_dword_OUT(float IN) {
    const double a = IN;
    if (!(a >= 0.0 && a < 4294967296.0)) return static_cast<uint32_t>(outOfRange());
    LIBFB_ERR = 0;
    return static_cast<uint32_t>(roundedToEven(a));
}

int32_t trunc_real_to_sint_OUT(float IN) { return truncatedInRange(IN, -128, 127); }
int32_t trunc_real_to_int_OUT(float IN) { return truncatedInRange(IN, -32768, 32767); }
int32_t trunc_real_to_dint_OUT(float IN) { return unlimitedDint(IN, truncated); }

// ---- Between bit strings ------------------------------------------------------------------

int32_t byte_to_word_OUT(int32_t IN) { return patternResult(low8(IN)); }
uint32_t byte_to_dword_OUT(int32_t IN) { return static_cast<uint32_t>(patternResult(low8(IN))); }
uint32_t word_to_dword_OUT(int32_t IN) { return static_cast<uint32_t>(patternResult(low16(IN))); }
int32_t word_to_byte_OUT(int32_t IN) { return patternResult(low8(IN)); }
int32_t dword_to_byte_OUT(uint32_t IN) { return patternResult(low8(IN)); }
int32_t dword_to_word_OUT(uint32_t IN) { return patternResult(low16(IN)); }

// ---- Signed integer to bit string ------------------------------------------------------------

int32_t sint_to_byte_OUT(int32_t IN) { return patternResult(low8(IN)); }
int32_t sint_to_word_OUT(int32_t IN) { return patternResult(low8(IN)); }
uint32_t sint_to_dword_OUT(int32_t IN) { return static_cast<uint32_t>(patternResult(low8(IN))); }
int32_t int_to_byte_OUT(int32_t IN) { return patternResult(low8(IN)); }
int32_t int_to_word_OUT(int32_t IN) { return patternResult(low16(IN)); }
uint32_t int_to_dword_OUT(int32_t IN) { return static_cast<uint32_t>(patternResult(low16(IN))); }
int32_t dint_to_byte_OUT(int32_t IN) { return patternResult(low8(IN)); }
int32_t dint_to_word_OUT(int32_t IN) { return patternResult(low16(IN)); }
uint32_t dint_to_dword_OUT(int32_t IN) { return static_cast<uint32_t>(inRange(IN)); }

// ---- Bit string to signed integer ------------------------------------------------------------

int32_t byte_to_sint_OUT(int32_t IN) { return inRange(signed8(IN)); }
int32_t byte_to_int_OUT(int32_t IN) { return patternResult(low8(IN)); }
int32_t byte_to_dint_OUT(int32_t IN) { return patternResult(low8(IN)); }
int32_t word_to_sint_OUT(int32_t IN) { return inRange(signed8(IN)); }
int32_t word_to_int_OUT(int32_t IN) { return inRange(signed16(IN)); }
int32_t word_to_dint_OUT(int32_t IN) { return patternResult(low16(IN)); }
int32_t dword_to_sint_OUT(uint32_t IN) { return inRange(signed8(IN)); }
int32_t dword_to_int_OUT(uint32_t IN) { return inRange(signed16(IN)); }
int32_t dword_to_dint_OUT(uint32_t IN) { return patternResult(IN); }

// ---- BOOL to number: the low byte as it is, or 1.0 / 0.0 ------------------------------------

int32_t bool_to_byte_OUT(int IN) { return patternResult(low8(IN)); }
int32_t bool_to_word_OUT(int IN) { return patternResult(low8(IN)); }
uint32_t bool_to_dword_OUT(int IN) { return static_cast<uint32_t>(patternResult(low8(IN))); }
int32_t bool_to_sint_OUT(int IN) { return patternResult(low8(IN)); }
int32_t bool_to_int_OUT(int IN) { return patternResult(low8(IN)); }
int32_t bool_to_dint_OUT(int IN) { return patternResult(low8(IN)); }
float bool_to_real_OUT(int IN) { return realResult(isTrue(IN) ? 1.0f : 0.0f); }

// ---- Number to BOOL ----------------------------------------------------------------------------

int byte_to_bool_OUT(int32_t IN) { return boolResult(low8(IN) != 0); }
int word_to_bool_OUT(int32_t IN) { return boolResult(low16(IN) != 0); }
int dword_to_bool_OUT(uint32_t IN) { return boolResult(IN != 0); }
int sint_to_bool_OUT(int32_t IN) { return boolResult(IN != 0); }
int int_to_bool_OUT(int32_t IN) { return boolResult(IN != 0); }
int dint_to_bool_OUT(int32_t IN) { return boolResult(IN != 0); }

// Revision 3 counts a magnitude below 2^-23 as zero; revisions 1 and 2 only zero itself
// (so NaN is TRUE there and FALSE in revision 3).
int real_to_bool_OUT(float IN) {
    if constexpr (qv::kRevision == 3) return boolResult(std::fabs(static_cast<double>(IN)) >= kHalfWindow);
    return boolResult(IN != 0.0f);
}

// ---- BCD ---------------------------------------------------------------------------------------

int32_t byte_BCD_to_sint_OUT(int32_t IN) { return fromBcd(static_cast<uint32_t>(IN), 2); }
int32_t word_BCD_to_int_OUT(int32_t IN) { return fromBcd(static_cast<uint32_t>(IN), 4); }
int32_t dword_BCD_to_dint_OUT(uint32_t IN) { return fromBcd(IN, 8); }
int32_t sint_to_BCD_byte_OUT(int32_t IN) { return static_cast<int32_t>(toBcd(IN, 99)); }
int32_t int_to_BCD_word_OUT(int32_t IN) { return static_cast<int32_t>(toBcd(IN, 9999)); }
uint32_t dint_to_BCD_dword_OUT(int32_t IN) { return toBcd(IN, 99999999); }

}  // extern "C"
