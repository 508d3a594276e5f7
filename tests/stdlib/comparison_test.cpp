// Comparison: the order of each type (width, sign, NaN, ticks, strings with prefixes and
// empty strings).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tests/stdlib/library_values.h"

namespace {

using qv::test::TestArray;
using qv::test::TestString;

TEST(Comparison, IntegersCompareSignedAndBitStringsUnsignedOnTheirWidth) {
    EXPECT_EQ(gt_sint_OUT(-1, 1), 0);
    EXPECT_EQ(lt_int_OUT(-32768, 32767), 1);
    EXPECT_EQ(le_dint_OUT(INT32_MIN, INT32_MIN), 1);
    EXPECT_EQ(gt_byte_OUT(200, 100), 1);
    EXPECT_EQ(eq_byte_OUT(0x101, 0x01), 1);
    EXPECT_EQ(eq_bool_OUT(256, 0), 1);  // low byte zero: FALSE
    EXPECT_EQ(gt_bool_OUT(1, 0), 1);
    EXPECT_EQ(ne_bool_OUT(1, 0x101), 0);
    EXPECT_EQ(gt_word_OUT(0x1FFFF, 1), 1);  // 0xFFFF
    EXPECT_EQ(eq_word_OUT(0x10000, 0), 1);
    EXPECT_EQ(gt_dword_OUT(0x80000000u, 1u), 1);
    EXPECT_EQ(ge_dword_OUT(0u, 0xFFFFFFFFu), 0);
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST(Comparison, RealsCompareExactlyAndANanOnlySatisfiesNe) {
    EXPECT_EQ(eq_real_OUT(0.1f, 0.1f), 1);
    EXPECT_EQ(eq_real_OUT(0.1f, std::nextafter(0.1f, 1.0f)), 0);  // no tolerance
    EXPECT_EQ(eq_real_OUT(0.0f, -0.0f), 1);
    EXPECT_EQ(gt_real_OUT(-0.0f, 0.0f), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(eq_real_OUT(nan, nan), 0);
    EXPECT_EQ(ne_real_OUT(nan, 1.0f), 1);
    EXPECT_EQ(ne_real_OUT(1.0f, nan), 1);
    EXPECT_EQ(gt_real_OUT(nan, 1.0f) + ge_real_OUT(nan, 1.0f) + lt_real_OUT(1.0f, nan) + le_real_OUT(nan, nan), 0);
    EXPECT_EQ(lt_real_OUT(-std::numeric_limits<float>::infinity(), -1e38f), 1);
}

TEST(Comparison, TimesCompareByTheirValueInTicks) {
    const TestArray oneDay(1, 0), sameInTicks(0, 864000000), justBelow(0, 863999999), minus(0, -1);
    EXPECT_EQ(eq_time_OUT(oneDay.get(), sameInTicks.get()), 1);
    EXPECT_EQ(ne_dt_OUT(oneDay.get(), sameInTicks.get()), 0);
    EXPECT_EQ(gt_time_OUT(oneDay.get(), justBelow.get()), 1);
    EXPECT_EQ(le_dt_OUT(oneDay.get(), justBelow.get()), 0);
    EXPECT_EQ(lt_time_OUT(minus.get(), TestArray(0, 0).get()), 1);
    const TestArray minusOneDay(-1, 0), minusHalfDay(0, -432000000);
    EXPECT_EQ(lt_time_OUT(minusOneDay.get(), minusHalfDay.get()), 1);
    // DATE and TIME_OF_DAY: element 0, signed.
    const TestArray before(-1), after(0);
    EXPECT_EQ(lt_date_OUT(before.get(), after.get()), 1);
    EXPECT_EQ(ge_tod_OUT(before.get(), after.get()), 0);
    EXPECT_EQ(eq_tod_OUT(after.get(), TestArray(0, 77).get()), 1);  // element 1 is not a TIME_OF_DAY's
}

TEST(Comparison, StringsCompareOverTheirCurrentLengths) {
    const TestString b("b"), ab("ab"), abc("abc"), empty("", 8), empty2("", 0);
    EXPECT_EQ(gt_str_OUT(b.get(), ab.get()), 1);
    EXPECT_EQ(lt_str_OUT(ab.get(), abc.get()), 1);
    EXPECT_EQ(eq_str_OUT(empty.get(), empty2.get()), 1);
    EXPECT_EQ(lt_str_OUT(empty.get(), b.get()), 1);
    EXPECT_EQ(gt_str_OUT(empty.get(), empty2.get()), 0);
    EXPECT_EQ(ge_str_OUT(empty.get(), empty2.get()), 1);
    EXPECT_EQ(eq_str_OUT(ab.get(), abc.get()), 0);
    // Characters after the NUL are not part of the string; a full string has no NUL.
    const TestString abThenNoise(std::string_view("ab\0zz", 5), 5), abInTen("ab", 10);
    EXPECT_EQ(eq_str_OUT(abThenNoise.get(), abInTen.get()), 1);
    EXPECT_EQ(le_str_OUT(abThenNoise.get(), ab.get()), 1);
    const TestString full("abcde", 5), longer("abcdef");
    EXPECT_EQ(lt_str_OUT(full.get(), longer.get()), 1);
    EXPECT_EQ(ne_str_OUT(full.get(), longer.get()), 1);
    EXPECT_EQ(LIBFB_ERR, 0);
}

// Every order function against the standard string order (characters as unsigned bytes,
// a proper prefix first), over prefixes, empty strings and bytes above 127.
TEST(Comparison, StringOrderAgreesWithLexicographicOrderOfUnsignedBytes) {
    const std::string texts[] = {"", "a", "ab", "abc", "abd", "b", "ba", "\x80", "a\x80", "a\x7f", "zz", "ZZ"};
    for (const std::string& x : texts) {
        for (const std::string& y : texts) {
            SCOPED_TRACE("'" + x + "' against '" + y + "'");
            const TestString sx(x, static_cast<int>(x.size()) + 2), sy(y);
            const int order = x.compare(y);
            EXPECT_EQ(eq_str_OUT(sx.get(), sy.get()), order == 0 ? 1 : 0);
            EXPECT_EQ(ne_str_OUT(sx.get(), sy.get()), order != 0 ? 1 : 0);
            EXPECT_EQ(gt_str_OUT(sx.get(), sy.get()), order > 0 ? 1 : 0);
            EXPECT_EQ(ge_str_OUT(sx.get(), sy.get()), order >= 0 ? 1 : 0);
            EXPECT_EQ(lt_str_OUT(sx.get(), sy.get()), order < 0 ? 1 : 0);
            EXPECT_EQ(le_str_OUT(sx.get(), sy.get()), order <= 0 ? 1 : 0);
        }
    }
}

}  // namespace
