// Arithmetic and numeric functions: the overflow policy of each width, the error codes
// and fallbacks, EXPT's caps, and REAL's NaN and negative zero.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "runtime/revision.h"
#include "stdlib/qv_stdlib.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The result and the code a call left.
struct Outcome {
    int32_t value;
    int32_t code;
    bool operator==(const Outcome&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Outcome& o) { return os << o.value << " (" << o.code << ")"; }

template <typename F>
Outcome run(F call) {
    LIBFB_ERR = -7;  // every call must set the flag
    const int32_t value = call();
    return {value, LIBFB_ERR};
}

TEST(Arithmetic, SintAndIntResultsOutsideTheirRangeGiveZeroWith1000) {
    EXPECT_EQ(run([] { return add_sint_OUT(100, 27); }), (Outcome{127, 0}));
    EXPECT_EQ(run([] { return add_sint_OUT(100, 28); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return sub_sint_OUT(-100, 28); }), (Outcome{-128, 0}));
    EXPECT_EQ(run([] { return sub_sint_OUT(-100, 29); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return mul_sint_OUT(-16, 8); }), (Outcome{-128, 0}));
    EXPECT_EQ(run([] { return mul_int_OUT(256, 128); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return mul_int_OUT(-256, 128); }), (Outcome{-32768, 0}));
    EXPECT_EQ(run([] { return add_int_OUT(32767, 1); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return sub_int_OUT(-32768, 1); }), (Outcome{0, 1000}));
    // The exact product is tested, not a wrapped one.
    EXPECT_EQ(run([] { return mul_int_OUT(65536, 65536); }), (Outcome{0, 1000}));
}

TEST(Arithmetic, DintWrapsSilently) {
    EXPECT_EQ(run([] { return add_dint_OUT(INT32_MAX, 1); }), (Outcome{INT32_MIN, 0}));
    EXPECT_EQ(run([] { return sub_dint_OUT(INT32_MIN, 1); }), (Outcome{INT32_MAX, 0}));
    EXPECT_EQ(run([] { return mul_dint_OUT(65536, 65536); }), (Outcome{0, 0}));
    EXPECT_EQ(run([] { return mul_dint_OUT(-3, 5); }), (Outcome{-15, 0}));
}

TEST(Arithmetic, DivisionTruncatesTowardZeroAndRefusesZeroWithItsCode) {
    EXPECT_EQ(run([] { return div_int_OUT(-7, 2); }), (Outcome{-3, 0}));
    EXPECT_EQ(run([] { return div_int_OUT(7, 0); }), (Outcome{0, 1009}));
    EXPECT_EQ(run([] { return div_sint_OUT(7, 0); }), (Outcome{0, 1011}));
    EXPECT_EQ(run([] { return div_dint_OUT(7, 0); }), (Outcome{0, 1008}));
    EXPECT_EQ(run([] { return div_sint_OUT(-128, -1); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return div_int_OUT(-32768, -1); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return div_dint_OUT(-7, 2); }), (Outcome{-3, 0}));
    // Not representable: wraps like every DINT overflow, and never traps.
    EXPECT_EQ(run([] { return div_dint_OUT(INT32_MIN, -1); }), (Outcome{INT32_MIN, 0}));
}

TEST(Arithmetic, ModKeepsTheSignOfIn1) {
    EXPECT_EQ(run([] { return mod_sint_OUT(-7, 2); }), (Outcome{-1, 0}));
    EXPECT_EQ(run([] { return mod_int_OUT(7, -2); }), (Outcome{1, 0}));
    EXPECT_EQ(run([] { return mod_dint_OUT(-7, -2); }), (Outcome{-1, 0}));
    EXPECT_EQ(run([] { return mod_sint_OUT(7, 0); }), (Outcome{0, 1029}));
    EXPECT_EQ(run([] { return mod_int_OUT(7, 0); }), (Outcome{0, 1028}));
    EXPECT_EQ(run([] { return mod_dint_OUT(7, 0); }), (Outcome{0, 1027}));
    EXPECT_EQ(run([] { return mod_dint_OUT(INT32_MIN, -1); }), (Outcome{0, 0}));
}

TEST(Arithmetic, RealDivisionRefusesTheDivisorsOfItsRevision) {
    LIBFB_ERR = 0;
    EXPECT_EQ(div_real_OUT(1.0f, 4.0f), 0.25f);
    EXPECT_EQ(div_real_OUT(1.0f, 0.0f), 0.0f);
    EXPECT_EQ(LIBFB_ERR, 1010);
    EXPECT_EQ(div_real_OUT(1.0f, -0.0f), 0.0f);
    EXPECT_EQ(LIBFB_ERR, 1010);
    const float tiny = div_real_OUT(1.0f, 1.0e-8f);
    const float nanDivisor = div_real_OUT(1.0f, kNaN);
    const int32_t nanCode = LIBFB_ERR;
    if constexpr (qv::kRevision == 3) {
        EXPECT_EQ(tiny, 0.0f);
        EXPECT_EQ(div_real_OUT(1.0f, -FLT_EPSILON / 2), 0.0f);
        EXPECT_EQ(LIBFB_ERR, 1010);
        EXPECT_EQ(div_real_OUT(1.0f, FLT_EPSILON), 1.0f / FLT_EPSILON);
        EXPECT_EQ(LIBFB_ERR, 0);
    } else {
        EXPECT_EQ(tiny, 1.0e8f);
    }
    if constexpr (qv::kRevision == 1) {
        EXPECT_EQ(nanDivisor, 0.0f);
        EXPECT_EQ(nanCode, 1010);
    } else {
        EXPECT_TRUE(std::isnan(nanDivisor));
        EXPECT_EQ(nanCode, 0);
    }
}

TEST(Arithmetic, RealOperationsPassInfinitiesAndNanThrough) {
    LIBFB_ERR = 5;
    EXPECT_TRUE(std::isinf(mul_real_OUT(1e30f, 1e30f)));
    EXPECT_EQ(LIBFB_ERR, 0);
    EXPECT_TRUE(std::isnan(add_real_OUT(kNaN, 1.0f)));
    EXPECT_TRUE(std::isnan(sub_real_OUT(std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity())));
    EXPECT_EQ(add_real_OUT(0.1f, 0.2f), 0.1f + 0.2f);
}

TEST(Arithmetic, ExptCapsTheExponentPerType) {
    EXPECT_EQ(run([] { return expt_sint_OUT(2, 7); }), (Outcome{0, 1000}));  // 128
    EXPECT_EQ(run([] { return expt_sint_OUT(-2, 7); }), (Outcome{-128, 0}));
    EXPECT_EQ(run([] { return expt_sint_OUT(3, -1); }), (Outcome{0, 0}));
    EXPECT_EQ(run([] { return expt_sint_OUT(-1, 9); }), (Outcome{1, 0}));  // capped at 8
    EXPECT_EQ(run([] { return expt_sint_OUT(0, 0); }), (Outcome{1, 0}));
    EXPECT_EQ(run([] { return expt_int_OUT(-1, 17); }), (Outcome{1, 0}));  // capped at 16
    EXPECT_EQ(run([] { return expt_int_OUT(2, 15); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return expt_int_OUT(-2, 15); }), (Outcome{-32768, 0}));
    EXPECT_EQ(run([] { return expt_int_OUT(1, 1000000); }), (Outcome{1, 0}));
    EXPECT_EQ(run([] { return expt_dint_OUT(1, 31); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return expt_dint_OUT(10, 10); }), (Outcome{1410065408, 0}));  // wrapped
    EXPECT_EQ(run([] { return expt_dint_OUT(-2, 30); }), (Outcome{1073741824, 0}));
    EXPECT_EQ(run([] { return expt_dint_OUT(5, -1); }), (Outcome{0, 0}));
    EXPECT_EQ(run([] { return expt_dint_OUT(7, 0); }), (Outcome{1, 0}));
    // The cap is applied to the wrapped power, so a wrapped value in range passes.
    EXPECT_EQ(run([] { return expt_sint_OUT(256, 2); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return expt_sint_OUT(65536, 2); }), (Outcome{0, 0}));
}

TEST(Arithmetic, ExptOfRealsUsesThePowerFunction) {
    LIBFB_ERR = 3;
    EXPECT_EQ(expt_real_OUT(2.0f, 0.5f), static_cast<float>(std::sqrt(2.0)));
    EXPECT_TRUE(std::isnan(expt_real_OUT(-2.0f, 0.5f)));
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST(Arithmetic, AbsAndMove) {
    EXPECT_EQ(run([] { return abs_sint_OUT(-127); }), (Outcome{127, 0}));
    EXPECT_EQ(run([] { return abs_sint_OUT(-128); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return abs_int_OUT(-32768); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return abs_int_OUT(-32767); }), (Outcome{32767, 0}));
    EXPECT_EQ(run([] { return abs_dint_OUT(INT32_MIN); }), (Outcome{0, 1000}));
    EXPECT_EQ(run([] { return abs_dint_OUT(-INT32_MAX); }), (Outcome{INT32_MAX, 0}));
    EXPECT_EQ(run([] { return move_sint_OUT(-5); }), (Outcome{-5, 0}));
    EXPECT_TRUE(std::signbit(abs_real_OUT(-0.0f)));  // −0.0 ≥ 0: unchanged
    EXPECT_EQ(abs_real_OUT(-2.5f), 2.5f);
    const float negatedNaN = abs_real_OUT(kNaN);
    EXPECT_TRUE(std::isnan(negatedNaN));
    EXPECT_TRUE(std::signbit(negatedNaN));
    EXPECT_EQ(move_real_OUT(1.5f), 1.5f);
}

TEST(Numeric, DomainChecksGiveZeroWithTheirCode) {
    struct Case {
        const char* name;
        float (*function)(float);
        float outside;
        int32_t code;
    };
    const Case cases[] = {
        {"sqrt", sqrt_OUT, -1.0f, 1074}, {"sqrt", sqrt_OUT, kNaN, 1074}, {"ln", ln_OUT, 0.0f, 1020},
        {"ln", ln_OUT, -0.0f, 1020},     {"log", log_OUT, -3.0f, 1021},  {"asin", asin_OUT, 1.0001f, 1002},
        {"asin", asin_OUT, kNaN, 1002},  {"acos", acos_OUT, -1.5f, 1001}, {"ln", ln_OUT, kNaN, 1020},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LIBFB_ERR = 0;
        const float result = c.function(c.outside);
        EXPECT_EQ(result, 0.0f);
        EXPECT_FALSE(std::signbit(result));
        EXPECT_EQ(LIBFB_ERR, c.code);
    }
}

TEST(Numeric, ResultsAreTheDoublePrecisionValuesRounded) {
    LIBFB_ERR = 9;
    EXPECT_TRUE(std::signbit(sqrt_OUT(-0.0f)));  // −0.0 ≥ 0
    EXPECT_EQ(LIBFB_ERR, 0);
    EXPECT_EQ(sqrt_OUT(2.0f), static_cast<float>(std::sqrt(2.0)));
    EXPECT_EQ(ln_OUT(10.0f), static_cast<float>(std::log(10.0)));
    EXPECT_EQ(log_OUT(1000.0f), 3.0f);
    EXPECT_EQ(asin_OUT(1.0f), static_cast<float>(std::asin(1.0)));
    EXPECT_EQ(acos_OUT(-1.0f), static_cast<float>(std::acos(-1.0)));
    EXPECT_EQ(atan_OUT(1.0f), static_cast<float>(std::atan(1.0)));
    EXPECT_EQ(sin_OUT(0.5f), static_cast<float>(std::sin(0.5)));
    EXPECT_EQ(cos_OUT(0.5f), static_cast<float>(std::cos(0.5)));
    EXPECT_EQ(tan_OUT(0.5f), static_cast<float>(std::tan(0.5)));
    EXPECT_TRUE(std::isinf(exp_OUT(100.0f)));  // overflow: infinity without an error
    EXPECT_EQ(LIBFB_ERR, 0);
}

}  // namespace
