// Time and date arithmetic: the split into days and ticks, the once-only wrap of a
// TIME_OF_DAY, the real divisions and their failures, and a randomised cross-check of the
// tick arithmetic against exact 128-bit integer arithmetic.
#include <cmath>
#include <limits>
#include <random>

#include "stdlib/library.h"
#include "tests/stdlib/part_two_support.h"

namespace qv::test {
namespace {

constexpr int32_t kDay = 864000000;
constexpr int32_t kHour = 36000000;
constexpr int32_t kSecond = 10000;

using TimeArithmetic = PoolTest;

::testing::AssertionResult isTime(const int32_t* t, int32_t days, int32_t ticks) {
    if (t == nullptr) return ::testing::AssertionFailure() << "no array";
    if (elementOf(t, 0) != days || elementOf(t, 1) != ticks)
        return ::testing::AssertionFailure() << elementOf(t, 0) << " days " << elementOf(t, 1) << " ticks, expected "
                                             << days << " days " << ticks << " ticks";
    return ::testing::AssertionSuccess();
}

TEST_F(TimeArithmetic, SumsAndDifferencesSplitWithTheSignOfTheValue) {
    EXPECT_TRUE(isTime(add_time_OUT(IntArray(0, 23 * kHour).get(), IntArray(0, 2 * kHour).get()), 1, kHour));
    EXPECT_TRUE(isTime(sub_time_OUT(IntArray(0, kSecond).get(), IntArray(0, 3 * kSecond).get()), 0, -2 * kSecond));
    EXPECT_TRUE(isTime(sub_time_OUT(IntArray(1, 0).get(), IntArray(1, kDay / 2).get()), 0, -kDay / 2));
    // -1.5 days: both elements negative.
    EXPECT_TRUE(isTime(sub_time_OUT(IntArray(0, 0).get(), IntArray(1, kDay / 2).get()), -1, -kDay / 2));
    // Unnormalised operands are normalised: 864,000,000 ticks are one day.
    EXPECT_TRUE(isTime(add_time_OUT(IntArray(0, kDay).get(), IntArray(0, 0).get()), 1, 0));
    EXPECT_TRUE(isTime(add_time_OUT(IntArray(2, -kHour).get(), IntArray(-3, 0).get()), -1, -kHour));
    EXPECT_TRUE(isTime(add_dt_t_OUT(IntArray(7000, 23 * kHour).get(), IntArray(0, 2 * kHour).get()), 7001, kHour));
    EXPECT_TRUE(isTime(sub_dt_t_OUT(IntArray(7000, kHour).get(), IntArray(0, 2 * kHour).get()), 6999, 23 * kHour));
    EXPECT_TRUE(isTime(sub_dt_dt_OUT(IntArray(7000, kHour).get(), IntArray(7001, 0).get()), 0, kHour - kDay));
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(TimeArithmetic, TimeOfDayWrapsOnceUsingOnlyTheTicksOfTheTime) {
    auto tod = [](const int32_t* t) { return t == nullptr ? -1 : elementOf(t, 0); };
    EXPECT_EQ(tod(add_tod_t_OUT(IntArray(23 * kHour).get(), IntArray(0, 2 * kHour).get())), kHour);
    EXPECT_EQ(tod(add_tod_t_OUT(IntArray(23 * kHour).get(), IntArray(1, 0).get())), 23 * kHour);
    EXPECT_EQ(tod(sub_tod_t_OUT(IntArray(kHour).get(), IntArray(0, 2 * kHour).get())), 23 * kHour);
    EXPECT_EQ(tod(sub_tod_t_OUT(IntArray(kHour).get(), IntArray(5, kHour).get())), 0);
    // The wrap is applied once and in one direction only.
    EXPECT_EQ(tod(add_tod_t_OUT(IntArray(10).get(), IntArray(0, -20).get())), -10);
    EXPECT_EQ(tod(add_tod_t_OUT(IntArray(kDay - 1).get(), IntArray(0, kDay + 5).get())), kDay + 4);
    EXPECT_EQ(tod(sub_tod_t_OUT(IntArray(kDay - 1).get(), IntArray(0, -10).get())), kDay + 9);
    EXPECT_EQ(tod(sub_tod_t_OUT(IntArray(0).get(), IntArray(0, kDay + 1).get())), -1);
    // Extreme operands neither overflow nor wrap around 32 bits.
    EXPECT_EQ(tod(add_tod_t_OUT(IntArray(INT32_MAX).get(), IntArray(0, INT32_MAX).get())), INT32_MAX);
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(TimeArithmetic, DifferencesOfDatesAndTimesOfDayAreUnsplit) {
    EXPECT_TRUE(isTime(sub_date_date_OUT(IntArray(10).get(), IntArray(12).get()), -2, 0));
    EXPECT_TRUE(isTime(sub_tod_tod_OUT(IntArray(kHour).get(), IntArray(3 * kHour).get()), 0, -2 * kHour));
    EXPECT_TRUE(isTime(sub_tod_tod_OUT(IntArray(kDay - 1).get(), IntArray(0).get()), 0, kDay - 1));
    EXPECT_TRUE(isTime(sub_date_date_OUT(IntArray(INT32_MIN).get(), IntArray(1).get()), INT32_MAX, 0));
    EXPECT_TRUE(isTime(sub_tod_tod_OUT(IntArray(INT32_MAX).get(), IntArray(-1).get()), 0, INT32_MIN));
}

TEST_F(TimeArithmetic, CombiningAndTakingApartDateAndTime) {
    EXPECT_TRUE(isTime(concat_date_tod_OUT(IntArray(9000).get(), IntArray(5 * kHour).get()), 9000, 5 * kHour));
    const IntArray dt(9000, 5 * kHour);
    const int32_t* tod = dt_to_tod_OUT(dt.get());
    const int32_t* date = dt_to_date_OUT(dt.get());
    ASSERT_NE(tod, nullptr);
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(elementOf(tod, 0), 5 * kHour);
    EXPECT_EQ(elementOf(date, 0), 9000);
}

TEST_F(TimeArithmetic, ProductsAndRealDivisions) {
    EXPECT_TRUE(isTime(mul_t_real_OUT(IntArray(1, 0).get(), 0.5f), 0, kDay / 2));
    EXPECT_TRUE(isTime(mul_t_int_OUT(IntArray(0, 12 * kHour).get(), -3), -1, -12 * kHour));
    EXPECT_TRUE(isTime(mul_t_sint_OUT(IntArray(0, kSecond).get(), 100), 0, 100 * kSecond));
    EXPECT_TRUE(isTime(mul_t_dint_OUT(IntArray(1, 1).get(), 0), 0, 0));
    EXPECT_TRUE(isTime(div_t_int_OUT(IntArray(0, kSecond).get(), 3), 0, 3333));
    EXPECT_TRUE(isTime(div_t_sint_OUT(IntArray(0, -kSecond).get(), 3), 0, -3333));
    // A real division, not an integer one: 1 day / 2 keeps the half day.
    EXPECT_TRUE(isTime(div_t_dint_OUT(IntArray(1, 0).get(), 2), 0, kDay / 2));
    EXPECT_TRUE(isTime(div_t_dint_OUT(IntArray(3, 1).get(), 2), 1, kDay / 2));
    EXPECT_TRUE(isTime(div_t_real_OUT(IntArray(0, 10).get(), 4.0f), 0, 2));
    EXPECT_TRUE(isTime(div_t_real_OUT(IntArray(0, -10).get(), 4.0f), 0, -2));
    EXPECT_TRUE(isTime(div_t_real_OUT(IntArray(0, kSecond).get(), 0.25f), 0, 4 * kSecond));
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(TimeArithmetic, DivisionByZeroOrLessFailsWithTheFunctionsCode) {
    const IntArray second(0, kSecond);
    struct Case {
        int32_t* (*divide)(const int32_t*, int32_t);
        int32_t code;
    };
    for (const Case& c : {Case{div_t_dint_OUT, 1012}, Case{div_t_int_OUT, 1013}, Case{div_t_sint_OUT, 1015}}) {
        for (int32_t divisor : {0, -1, INT32_MIN}) {
            EXPECT_TRUE(isTime(c.divide(second.get(), divisor), 0, 0));
            EXPECT_EQ(LIBFB_ERR, c.code);
        }
    }
    for (float divisor : {0.0f, -0.0f, -2.5f, -INFINITY, NAN}) {
        EXPECT_TRUE(isTime(div_t_real_OUT(second.get(), divisor), 0, 0)) << divisor;
        EXPECT_EQ(LIBFB_ERR, 1014);
    }
    // The next call that succeeds clears the code.
    EXPECT_TRUE(isTime(div_t_int_OUT(second.get(), 1), 0, kSecond));
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(TimeArithmetic, ValuesBeyondTheDayRangeStayWithinTheirElements) {
    // No defined result, but no crash and no undefined conversion either.
    for (const int32_t* t : {mul_t_dint_OUT(IntArray(INT32_MAX, 0).get(), INT32_MAX),
                             mul_t_real_OUT(IntArray(1, 0).get(), INFINITY),
                             mul_t_real_OUT(IntArray(1, 0).get(), NAN),
                             div_t_real_OUT(IntArray(1, 0).get(), 1.0e-30f)}) {
        ASSERT_NE(t, nullptr);
    }
}

// ---- Randomised cross-check against exact integer arithmetic ---------------------------

using Int128 = __int128;

// The exact split of a tick count: quotient and remainder truncated toward zero.
::testing::AssertionResult isExactSplit(const int32_t* t, Int128 ticks) {
    return isTime(t, static_cast<int32_t>(ticks / kDay), static_cast<int32_t>(ticks % kDay));
}

Int128 exactTicks(const IntArray& t) { return Int128{t.words[6]} * kDay + t.words[9]; }

// Tick counts in doubles are exact below 2^53; operands stay well inside so that sums,
// products and quotients do too.
constexpr int64_t kOperandLimit = int64_t{1} << 50;

struct Random {
    std::mt19937_64 engine{20240611};
    int64_t uniform(int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(engine); }
    // A TIME of the given magnitude, not necessarily normalised (ticks may exceed a day
    // or have the other sign than the days).
    IntArray time(int64_t limit) {
        const int64_t ticks = uniform(-limit, limit);
        const int64_t shift = uniform(-1, 1);
        const int64_t days = ticks / kDay + shift;
        return IntArray(static_cast<int32_t>(days), static_cast<int32_t>(ticks - days * kDay));
    }
};

TEST_F(TimeArithmetic, SumsAndDifferencesMatchExactArithmetic) {
    Random random;
    for (int i = 0; i < 20000; ++i) {
        const IntArray a = random.time(kOperandLimit);
        const IntArray b = random.time(i % 2 == 0 ? kOperandLimit : 3 * int64_t{kDay});
        ASSERT_TRUE(isExactSplit(add_time_OUT(a.get(), b.get()), exactTicks(a) + exactTicks(b)));
        ASSERT_TRUE(isExactSplit(sub_time_OUT(a.get(), b.get()), exactTicks(a) - exactTicks(b)));
        ASSERT_TRUE(isExactSplit(add_dt_t_OUT(a.get(), b.get()), exactTicks(a) + exactTicks(b)));
        ASSERT_TRUE(isExactSplit(sub_dt_t_OUT(a.get(), b.get()), exactTicks(a) - exactTicks(b)));
        ASSERT_TRUE(isExactSplit(sub_dt_dt_OUT(a.get(), b.get()), exactTicks(a) - exactTicks(b)));
        free_all_alloc();
    }
}

// Beyond 2^53 ticks a sum or difference is rounded to double precision before it is
// split, as the extended-precision arithmetic does: over the whole range of days.
TEST_F(TimeArithmetic, SumsOfLargeValuesAreRoundedAsBefore) {
    Random random;
    auto rounded = [](Int128 ticks) {
        const auto value = static_cast<double>(static_cast<long double>(ticks));
        int32_t t[12] = {};
        qv::lib::splitTicks(value, t);
        return std::pair{t[6], t[9]};
    };
    for (int i = 0; i < 20000; ++i) {
        const IntArray a(static_cast<int32_t>(random.uniform(INT32_MIN, INT32_MAX)),
                         static_cast<int32_t>(random.uniform(INT32_MIN, INT32_MAX)));
        const IntArray b(static_cast<int32_t>(random.uniform(INT32_MIN, INT32_MAX) >> random.uniform(0, 31)),
                         static_cast<int32_t>(random.uniform(INT32_MIN, INT32_MAX)));
        const auto [sumDays, sumTicks] = rounded(exactTicks(a) + exactTicks(b));
        ASSERT_TRUE(isTime(add_time_OUT(a.get(), b.get()), sumDays, sumTicks)) << i;
        const auto [differenceDays, differenceTicks] = rounded(exactTicks(a) - exactTicks(b));
        ASSERT_TRUE(isTime(sub_dt_dt_OUT(a.get(), b.get()), differenceDays, differenceTicks)) << i;
        free_all_alloc();
    }
}

TEST_F(TimeArithmetic, IntegerProductsAndQuotientsMatchExactArithmetic) {
    Random random;
    for (int i = 0; i < 20000; ++i) {
        const int64_t factor = random.uniform(-5000, 5000);
        const IntArray a = random.time(kOperandLimit / 8192);
        ASSERT_TRUE(isExactSplit(mul_t_dint_OUT(a.get(), static_cast<int32_t>(factor)), exactTicks(a) * factor));
        ASSERT_TRUE(isExactSplit(mul_t_int_OUT(a.get(), static_cast<int32_t>(factor)), exactTicks(a) * factor));
        const int64_t divisor = random.uniform(1, i % 2 == 0 ? 127 : 2000000000);
        const IntArray b = random.time(kOperandLimit);
        ASSERT_TRUE(isExactSplit(div_t_dint_OUT(b.get(), static_cast<int32_t>(divisor)), exactTicks(b) / divisor));
        ASSERT_TRUE(isExactSplit(div_t_sint_OUT(b.get(), static_cast<int32_t>(divisor % 128 + 1)),
                                 exactTicks(b) / (divisor % 128 + 1)));
        free_all_alloc();
    }
}

// REAL factors m × 2^e are exact; the product or quotient is then truncated once.
TEST_F(TimeArithmetic, RealProductsAndQuotientsMatchExactArithmetic) {
    Random random;
    for (int i = 0; i < 20000; ++i) {
        const int64_t mantissa = random.uniform(1, (1 << 12) - 1) * (i % 3 == 0 ? -1 : 1);
        const int exponent = static_cast<int>(random.uniform(-8, 8));
        const float factor = std::ldexp(static_cast<float>(mantissa), exponent);
        const IntArray a = random.time(kOperandLimit >> 20);
        Int128 product = exactTicks(a) * mantissa;
        product = exponent >= 0 ? product * (Int128{1} << exponent) : product / (Int128{1} << -exponent);
        ASSERT_TRUE(isExactSplit(mul_t_real_OUT(a.get(), factor), product)) << factor;
        if (mantissa > 0) {
            const IntArray b = random.time(kOperandLimit >> 12);
            const Int128 quotient = exponent >= 0 ? exactTicks(b) / (Int128{mantissa} << exponent)
                                                  : exactTicks(b) * (Int128{1} << -exponent) / mantissa;
            ASSERT_TRUE(isExactSplit(div_t_real_OUT(b.get(), factor), quotient)) << factor;
        }
        free_all_alloc();
    }
}

}  // namespace
}  // namespace qv::test
