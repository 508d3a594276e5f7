// Arithmetic. The overflow policy differs by width: SINT and INT results are tested
// against their range (0 with code 1000 when they do not fit), DINT wraps in two's
// complement without a report, REAL follows IEEE arithmetic.
#include "stdlib/arithmetic.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "stdlib/library.h"

namespace qv::lib {
namespace {

constexpr int32_t kOutOfRange = 1000;

struct Range {
    int64_t low;
    int64_t high;
};
constexpr Range kSintRange{-128, 127};
constexpr Range kIntRange{-32768, 32767};

// The exact result when it fits the type, else 0 with code 1000.
int32_t fitted(int64_t exact, Range range) {
    if (exact < range.low || exact > range.high) {
        LIBFB_ERR = kOutOfRange;
        return 0;
    }
    LIBFB_ERR = 0;
    return static_cast<int32_t>(exact);
}

int32_t wrapped(uint32_t pattern) {
    LIBFB_ERR = 0;
    return static_cast<int32_t>(pattern);
}

uint32_t bits(int32_t value) { return static_cast<uint32_t>(value); }

// Division by zero gives 0 with the function's code. A divisor of -1 is a negation in
// 64 bits (the only 32-bit quotient that can trap); any other takes the cheaper 32-bit
// division.
int32_t fittedQuotient(int32_t in1, int32_t in2, Range range, int32_t zeroCode) {
    if (in2 == 0) {
        LIBFB_ERR = zeroCode;
        return 0;
    }
    if (in2 == -1) return fitted(-int64_t{in1}, range);
    return fitted(in1 / in2, range);
}

int32_t remainderOf(int32_t in1, int32_t in2, int32_t zeroCode) {
    if (in2 == 0) {
        LIBFB_ERR = zeroCode;
        return 0;
    }
    LIBFB_ERR = 0;
    if (in2 == -1) return 0;  // the one 32-bit remainder that can trap
    return in1 % in2;
}

// base to the power exponent by 32-bit multiplications that wrap. Squaring gives the same
// low 32 bits as multiplying exponent times.
uint32_t wrappedPower(uint32_t base, uint32_t exponent) {
    uint32_t power = 1;
    while (exponent != 0) {
        if ((exponent & 1u) != 0) power *= base;
        base *= base;
        exponent >>= 1;
    }
    return power;
}

// SINT and INT powers: the exponent is capped, a negative one gives 0 without an error,
// and the wrapped power must fit the type.
int32_t cappedPower(int32_t in1, int32_t in2, int32_t cap, Range range) {
    if (in2 < 0) {
        LIBFB_ERR = 0;
        return 0;
    }
    const int32_t power = static_cast<int32_t>(wrappedPower(bits(in1), static_cast<uint32_t>(std::min(in2, cap))));
    return fitted(power, range);
}

// Revision 3 refuses divisors below 2^-23 in magnitude; revision 2 only an exact 0;
// revision 1 an exact 0 and a NaN, which it does not tell apart from 0.
bool divisorRefused(float divisor) {
    if constexpr (kRevision == 3) return std::fabs(divisor) < FLT_EPSILON;
    if constexpr (kRevision == 2) return divisor == 0.0f;
    return divisor == 0.0f || std::isnan(divisor);
}

}  // namespace
}  // namespace qv::lib

using namespace qv::lib;

extern "C" {

// ---- ADD, SUB, MUL ------------------------------------------------------------------

int32_t add_sint_OUT(int32_t IN1, int32_t IN2) { return fitted(int64_t{IN1} + IN2, kSintRange); }
int32_t add_int_OUT(int32_t IN1, int32_t IN2) { return fitted(int64_t{IN1} + IN2, kIntRange); }
int32_t add_dint_OUT(int32_t IN1, int32_t IN2) { return wrapped(bits(IN1) + bits(IN2)); }
float add_real_OUT(float IN1, float IN2) { LIBFB_ERR = 0; return IN1 + IN2; }

int32_t sub_sint_OUT(int32_t IN1, int32_t IN2) { return fitted(int64_t{IN1} - IN2, kSintRange); }
int32_t sub_int_OUT(int32_t IN1, int32_t IN2) { return fitted(int64_t{IN1} - IN2, kIntRange); }
int32_t sub_dint_OUT(int32_t IN1, int32_t IN2) { return wrapped(bits(IN1) - bits(IN2)); }
float sub_real_OUT(float IN1, float IN2) { LIBFB_ERR = 0; return IN1 - IN2; }

int32_t mul_sint_OUT(int32_t IN1, int32_t IN2) { return fitted(int64_t{IN1} * IN2, kSintRange); }
int32_t mul_int_OUT(int32_t IN1, int32_t IN2) { return fitted(int64_t{IN1} * IN2, kIntRange); }
int32_t mul_dint_OUT(int32_t IN1, int32_t IN2) { return wrapped(bits(IN1) * bits(IN2)); }
float mul_real_OUT(float IN1, float IN2) { LIBFB_ERR = 0; return IN1 * IN2; }

// ---- DIV, MOD -------------------------------------------------------------------------

int32_t div_sint_OUT(int32_t IN1, int32_t IN2) { return fittedQuotient(IN1, IN2, kSintRange, 1011); }
int32_t div_int_OUT(int32_t IN1, int32_t IN2) { return fittedQuotient(IN1, IN2, kIntRange, 1009); }
// −2147483648 / −1 wraps to −2147483648 like every other DINT overflow.
int32_t div_dint_OUT(int32_t IN1, int32_t IN2) {
    if (IN2 == 0) {
        LIBFB_ERR = 1008;
        return 0;
    }
    if (IN2 == -1) return wrapped(0u - bits(IN1));
    return wrapped(bits(IN1 / IN2));
}
float div_real_OUT(float IN1, float IN2) {
    if (divisorRefused(IN2)) {
        LIBFB_ERR = 1010;
        return 0.0f;
    }
    LIBFB_ERR = 0;
    return IN1 / IN2;
}

int32_t mod_sint_OUT(int32_t IN1, int32_t IN2) { return remainderOf(IN1, IN2, 1029); }
int32_t mod_int_OUT(int32_t IN1, int32_t IN2) { return remainderOf(IN1, IN2, 1028); }
int32_t mod_dint_OUT(int32_t IN1, int32_t IN2) { return remainderOf(IN1, IN2, 1027); }

// ---- EXPT -------------------------------------------------------------------------------

int32_t expt_sint_OUT(int32_t IN1, int32_t IN2) { return cappedPower(IN1, IN2, 8, kSintRange); }
int32_t expt_int_OUT(int32_t IN1, int32_t IN2) { return cappedPower(IN1, IN2, 16, kIntRange); }
int32_t expt_dint_OUT(int32_t IN1, int32_t IN2) {
    if (IN2 >= 31) {
        LIBFB_ERR = kOutOfRange;
        return 0;
    }
    if (IN2 < 0) {
        LIBFB_ERR = 0;
        return 0;
    }
    return wrapped(wrappedPower(bits(IN1), static_cast<uint32_t>(IN2)));
}
// No error: a negative base with a non-integral exponent gives NaN.
float expt_real_OUT(float IN1, float IN2) {
    LIBFB_ERR = 0;
    return static_cast<float>(std::pow(static_cast<double>(IN1), static_cast<double>(IN2)));
}

// ---- MOVE, ABS ---------------------------------------------------------------------------

int32_t move_sint_OUT(int32_t IN) { LIBFB_ERR = 0; return IN; }
int32_t move_int_OUT(int32_t IN) { LIBFB_ERR = 0; return IN; }
int32_t move_dint_OUT(int32_t IN) { LIBFB_ERR = 0; return IN; }
float move_real_OUT(float IN) { LIBFB_ERR = 0; return IN; }

int32_t abs_sint_OUT(int32_t IN) { return fitted(std::abs(int64_t{IN}), kSintRange); }
int32_t abs_int_OUT(int32_t IN) { return fitted(std::abs(int64_t{IN}), kIntRange); }
int32_t abs_dint_OUT(int32_t IN) { return fitted(std::abs(int64_t{IN}), Range{INT32_MIN, INT32_MAX}); }
// IN when IN >= 0, else −IN: a NaN comes back negated, −0.0 unchanged.
float abs_real_OUT(float IN) {
    LIBFB_ERR = 0;
    return IN >= 0.0f ? IN : -IN;
}

}  // extern "C"
