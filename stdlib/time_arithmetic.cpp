// Time and date arithmetic. Durations are worked on as tick counts and stored back split
// into days and ticks; a TIME_OF_DAY wraps at midnight once. Sums and differences are
// exact in 64-bit integers; products and quotients take extended precision.
#include "stdlib/library.h"

namespace {

using namespace qv::lib;

constexpr int32_t kTicksPerDayInt = 864000000;

// Failure codes of the TIME divisions.
constexpr int32_t kDivTDintError = 1012;
constexpr int32_t kDivTIntError = 1013;
constexpr int32_t kDivTRealError = 1014;
constexpr int32_t kDivTSintError = 1015;

// A new two-element array of the given days and ticks, or null when the pool is exhausted.
int32_t* newTime(int32_t days, int32_t ticks) {
    int32_t* result = qv::takeIntTemporary(2);
    if (result == nullptr) return nullptr;
    element(result, 0) = days;
    element(result, 1) = ticks;
    return result;
}

// A new TIME or DATE_AND_TIME holding a tick count, rounded to double precision first.
int32_t* newSplitTime(long double ticks) {
    int32_t* result = qv::takeIntTemporary(2);
    if (result != nullptr) splitTicks(static_cast<double>(ticks), result);
    return result;
}

// Beyond 2^53 ticks, out of line: the common sum then needs no stack frame.
[[gnu::noinline, gnu::cold]] void splitRoundedTicks(int64_t ticks, int32_t* result) {
    splitTicks(static_cast<double>(ticks), result);
}

// A new TIME or DATE_AND_TIME holding an exact tick count (a sum or difference of two,
// below 2^62 in magnitude), rounded to double precision like every other result. Below
// 2^53 the count is a double already and splits in integers, as splitTicks would.
int32_t* newExactTime(int64_t ticks) {
    int32_t* result = qv::takeIntTemporary(2);
    if (result == nullptr) return nullptr;
    if (exactInDouble(ticks)) [[likely]]
        splitWholeTicks(ticks, result);
    else
        splitRoundedTicks(ticks, result);
    return result;
}

// A new one-element array (DATE, TIME_OF_DAY).
int32_t* newSingle(int32_t value) {
    int32_t* result = qv::takeIntTemporary(1);
    if (result != nullptr) element(result, 0) = value;
    return result;
}

int32_t wrappingDifference(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

int32_t* multiplyTime(const int32_t* time, long double factor) {
    LIBFB_ERR = 0;
    return newSplitTime(ticksOf(time) * factor);
}

// A real division; a divisor that is not above 0 (NaN included) fails with `code`.
int32_t* divideTime(const int32_t* time, long double divisor, int32_t code) {
    LIBFB_ERR = 0;
    if (!(divisor > 0.0L)) {
        LIBFB_ERR = code;
        return newTime(0, 0);
    }
    return newSplitTime(ticksOf(time) / divisor);
}

}  // namespace

extern "C" {

int32_t* add_time_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newExactTime(wholeTicks(IN1) + wholeTicks(IN2));
}

int32_t* sub_time_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newExactTime(wholeTicks(IN1) - wholeTicks(IN2));
}

int32_t* add_dt_t_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newExactTime(wholeTicks(IN1) + wholeTicks(IN2));
}

int32_t* sub_dt_t_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newExactTime(wholeTicks(IN1) - wholeTicks(IN2));
}

int32_t* sub_dt_dt_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newExactTime(wholeTicks(IN1) - wholeTicks(IN2));
}

// Only the ticks of the TIME count, and the day wraps once: a TIME whose ticks are
// negative or above a day can leave the result outside 0..863,999,999.
int32_t* add_tod_t_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    int64_t x = static_cast<int64_t>(element(IN1, 0)) + element(IN2, 1);
    if (x >= kTicksPerDayInt) x -= kTicksPerDayInt;
    return newSingle(truncateToInt32(static_cast<long double>(x)));
}

int32_t* sub_tod_t_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    int64_t x = static_cast<int64_t>(element(IN1, 0)) - element(IN2, 1);
    if (x < 0) x += kTicksPerDayInt;
    return newSingle(truncateToInt32(static_cast<long double>(x)));
}

int32_t* sub_tod_tod_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newTime(0, wrappingDifference(element(IN1, 0), element(IN2, 0)));
}

int32_t* sub_date_date_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newTime(wrappingDifference(element(IN1, 0), element(IN2, 0)), 0);
}

int32_t* mul_t_sint_OUT(const int32_t* IN1, int32_t IN2) { return multiplyTime(IN1, IN2); }
int32_t* mul_t_int_OUT(const int32_t* IN1, int32_t IN2) { return multiplyTime(IN1, IN2); }
int32_t* mul_t_dint_OUT(const int32_t* IN1, int32_t IN2) { return multiplyTime(IN1, IN2); }
int32_t* mul_t_real_OUT(const int32_t* IN1, float IN2) { return multiplyTime(IN1, IN2); }

int32_t* div_t_sint_OUT(const int32_t* IN1, int32_t IN2) { return divideTime(IN1, IN2, kDivTSintError); }
int32_t* div_t_int_OUT(const int32_t* IN1, int32_t IN2) { return divideTime(IN1, IN2, kDivTIntError); }
int32_t* div_t_dint_OUT(const int32_t* IN1, int32_t IN2) { return divideTime(IN1, IN2, kDivTDintError); }
int32_t* div_t_real_OUT(const int32_t* IN1, float IN2) { return divideTime(IN1, IN2, kDivTRealError); }

int32_t* concat_date_tod_OUT(const int32_t* IN1, const int32_t* IN2) {
    LIBFB_ERR = 0;
    return newTime(element(IN1, 0), element(IN2, 0));
}

int32_t* dt_to_tod_OUT(const int32_t* IN) {
    LIBFB_ERR = 0;
    return newSingle(element(IN, 1));
}

int32_t* dt_to_date_OUT(const int32_t* IN) {
    LIBFB_ERR = 0;
    return newSingle(element(IN, 0));
}

}  // extern "C"
