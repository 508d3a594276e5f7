// Selection: which input each function chooses (ties, swapped bounds, string order),
// and that array-shaped results are always new temporaries.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/stdlib/library_values.h"

namespace {

using qv::lib::element;
using qv::lib::stringCapacity;
using qv::test::inPool;
using qv::test::TestArray;
using qv::test::TestString;
using qv::test::textOf;

class Selection : public ::testing::Test {
protected:
    void SetUp() override { free_all_alloc(); }
    void TearDown() override { free_all_alloc(); }
};

// A new temporary holding the chosen input's characters, with that length as capacity.
void expectStringCopy(const unsigned char* result, const unsigned char* input, const char* text) {
    ASSERT_NE(result, nullptr);
    EXPECT_NE(result, input);
    EXPECT_TRUE(inPool(result));
    EXPECT_EQ(textOf(result), text);
    EXPECT_EQ(stringCapacity(result), static_cast<int>(std::string(text).size()));
    EXPECT_TRUE(qv::test::bothBytesWritten(result));
}

void expectTimeCopy(const int32_t* result, const TestArray& input) {
    ASSERT_NE(result, nullptr);
    EXPECT_NE(result, input.get());
    EXPECT_TRUE(inPool(result));
    EXPECT_EQ(element(result, 0), element(input.get(), 0));
    EXPECT_EQ(element(result, 1), element(input.get(), 1));
}

TEST_F(Selection, SelDecidesOnTheLowByteOfG) {
    EXPECT_EQ(sel_int_OUT(0, 5, 7), 5);
    EXPECT_EQ(sel_int_OUT(1, 5, 7), 7);
    EXPECT_EQ(sel_dint_OUT(256, 5, 7), 5);  // low byte zero: FALSE
    EXPECT_EQ(sel_bool_OUT(0x102, 0, 1), 1);
    EXPECT_EQ(sel_real_OUT(1, 1.5f, 2.5f), 2.5f);
    EXPECT_EQ(sel_dword_OUT(0, 0xFFFFFFFFu, 1u), 0xFFFFFFFFu);
}

TEST_F(Selection, SelOfArrayTypesCopiesEvenTheUnchangedInput) {
    const TestArray t0(1, 250), t1(2, 500);
    expectTimeCopy(sel_time_OUT(0, t0.get(), t1.get()), t0);
    expectTimeCopy(sel_dt_OUT(1, t0.get(), t1.get()), t1);
    const int32_t* date = sel_date_OUT(1, t0.get(), t1.get());
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(element(date, 0), 2);
    const int32_t* tod = sel_tod_OUT(0, t0.get(), t1.get());
    ASSERT_NE(tod, nullptr);
    EXPECT_EQ(element(tod, 0), 1);
    const TestString s0("abc", 10), s1("xy", 20);
    expectStringCopy(sel_str_OUT(0, s0.get(), s1.get()), s0.get(), "abc");
    expectStringCopy(sel_str_OUT(1, s0.get(), s1.get()), s1.get(), "xy");
    EXPECT_EQ(nb_alloc, 6);
}

TEST_F(Selection, MuxSelectsInKAndFallsBackToIn0WithItsCode) {
    EXPECT_EQ(mux_int_OUT(9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9), 9);
    EXPECT_EQ(mux_int_OUT(3, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9), 3);
    EXPECT_EQ(LIBFB_ERR, 0);
    for (int32_t k : {10, -1, INT32_MIN}) {
        EXPECT_EQ(mux_int_OUT(k, 40, 1, 2, 3, 4, 5, 6, 7, 8, 9), 40);
        EXPECT_EQ(LIBFB_ERR, 1036);
    }
    EXPECT_EQ(mux_real_OUT(2, 0.f, 1.f, 2.5f, 3.f, 4.f, 5.f, 6.f, 7.f, 8.f, 9.f), 2.5f);
}

TEST_F(Selection, EveryMuxHasItsOwnCode) {
    const TestArray a(3, 4);
    const TestString s("in0");
    const int32_t* t = a.get();
    const unsigned char* c = s.get();
    // Each call is checked right after it runs, before the next overwrites the flag.
    mux_bool_OUT(10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(LIBFB_ERR, 1030);
    mux_byte_OUT(10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(LIBFB_ERR, 1031);
    const TestArray other(8, 9);
    const int32_t* o = other.get();
    const int32_t* date = mux_date_OUT(-1, t, o, o, o, o, o, o, o, o, o);
    EXPECT_EQ(LIBFB_ERR, 1032);
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(element(date, 0), 3);
    mux_dint_OUT(10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(LIBFB_ERR, 1033);
    expectTimeCopy(mux_dt_OUT(12, t, o, o, o, o, o, o, o, o, o), a);
    EXPECT_EQ(LIBFB_ERR, 1034);
    mux_dword_OUT(10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(LIBFB_ERR, 1035);
    mux_real_OUT(10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(LIBFB_ERR, 1037);
    mux_sint_OUT(10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(LIBFB_ERR, 1038);
    const TestString z("z");
    const unsigned char* zz = z.get();
    expectStringCopy(mux_str_OUT(10, c, zz, zz, zz, zz, zz, zz, zz, zz, zz), c, "in0");
    EXPECT_EQ(LIBFB_ERR, 1039);
    expectTimeCopy(mux_time_OUT(10, t, o, o, o, o, o, o, o, o, o), a);
    EXPECT_EQ(LIBFB_ERR, 1040);
    const int32_t* tod = mux_tod_OUT(10, t, o, o, o, o, o, o, o, o, o);
    EXPECT_EQ(LIBFB_ERR, 1041);
    ASSERT_NE(tod, nullptr);
    EXPECT_EQ(element(tod, 0), 3);
    mux_word_OUT(10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(LIBFB_ERR, 1042);
}

TEST_F(Selection, MaxAndMinCompareEachTypeInItsOwnOrder) {
    EXPECT_EQ(max_byte_OUT(200, 100), 200);
    EXPECT_EQ(max_sint_OUT(-56, 100), 100);
    EXPECT_EQ(max_byte_OUT(0x100, 0x01), 0x01);  // low 8 bits: 0 against 1
    EXPECT_EQ(min_word_OUT(0x10005, 0x0003), 0x0003);
    EXPECT_EQ(max_word_OUT(0xFFFF, 0x0001), 0xFFFF);
    EXPECT_EQ(max_dword_OUT(0xFFFFFFFFu, 1u), 0xFFFFFFFFu);  // unsigned
    EXPECT_EQ(min_dint_OUT(-1, 1), -1);
    EXPECT_EQ(min_int_OUT(-32768, 32767), -32768);
    const TestArray d1(-5), d2(3);
    const int32_t* date = max_date_OUT(d1.get(), d2.get());
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(element(date, 0), 3);
    const int32_t* tod = min_tod_OUT(d1.get(), d2.get());
    ASSERT_NE(tod, nullptr);
    EXPECT_EQ(element(tod, 0), -5);
    const TestArray dayAndAHalf(1, 432000000), twoDays(0, 1728000000);
    expectTimeCopy(max_time_OUT(dayAndAHalf.get(), twoDays.get()), twoDays);
    expectTimeCopy(min_dt_OUT(dayAndAHalf.get(), twoDays.get()), dayAndAHalf);
    const TestArray minusOneSecond(0, -10000);
    expectTimeCopy(min_time_OUT(dayAndAHalf.get(), minusOneSecond.get()), minusOneSecond);
}

TEST_F(Selection, TiesReturnIn1) {
    const TestArray oneDay(1, 0), sameInTicks(0, 864000000);
    expectTimeCopy(max_time_OUT(oneDay.get(), sameInTicks.get()), oneDay);
    expectTimeCopy(min_time_OUT(oneDay.get(), sameInTicks.get()), oneDay);
    expectTimeCopy(max_dt_OUT(sameInTicks.get(), oneDay.get()), sameInTicks);
    EXPECT_TRUE(std::signbit(max_real_OUT(-0.0f, 0.0f)));
    EXPECT_FALSE(std::signbit(max_real_OUT(0.0f, -0.0f)));
    EXPECT_TRUE(std::signbit(min_real_OUT(-0.0f, 0.0f)));
    EXPECT_FALSE(std::signbit(min_real_OUT(0.0f, -0.0f)));
    // Equal in the byte's order, different above it: IN1 comes back.
    EXPECT_EQ(max_byte_OUT(0x105, 0x205), 0x105);
    EXPECT_EQ(min_byte_OUT(0x105, 0x205), 0x105);
}

TEST_F(Selection, ANanInEitherRealInputMakesMaxAndMinReturnIn2) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(max_real_OUT(nan, 1.0f), 1.0f);
    EXPECT_TRUE(std::isnan(max_real_OUT(1.0f, nan)));
    EXPECT_EQ(min_real_OUT(nan, 1.0f), 1.0f);
    EXPECT_TRUE(std::isnan(min_real_OUT(1.0f, nan)));
}

TEST_F(Selection, MaxAndMinOfStringsFollowTheOrderOfCharactersThenLengths) {
    const TestString b("b"), ab("ab"), abc("abc", 12), empty("", 4), high("\x80"), z("z");
    expectStringCopy(max_str_OUT(b.get(), ab.get()), b.get(), "b");
    expectStringCopy(min_str_OUT(b.get(), ab.get()), ab.get(), "ab");
    expectStringCopy(min_str_OUT(abc.get(), ab.get()), ab.get(), "ab");  // the shorter of a prefix
    expectStringCopy(max_str_OUT(ab.get(), abc.get()), abc.get(), "abc");
    expectStringCopy(max_str_OUT(empty.get(), z.get()), z.get(), "z");
    expectStringCopy(min_str_OUT(z.get(), empty.get()), empty.get(), "");
    expectStringCopy(max_str_OUT(z.get(), high.get()), high.get(), "\x80");  // unsigned bytes
    const TestString same("abc", 3);
    expectStringCopy(max_str_OUT(abc.get(), same.get()), abc.get(), "abc");
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(Selection, LimitPutsTheBoundsInOrderFirst) {
    EXPECT_EQ(limit_int_OUT(0, -3, 10), 0);
    EXPECT_EQ(limit_int_OUT(0, 20, 10), 10);
    EXPECT_EQ(limit_int_OUT(0, 5, 10), 5);
    EXPECT_EQ(limit_int_OUT(10, 5, 0), 5);  // MN above MX
    EXPECT_EQ(limit_int_OUT(10, 20, 0), 10);
    EXPECT_EQ(limit_int_OUT(10, -3, 0), 0);
    EXPECT_EQ(limit_sint_OUT(5, 1, 5), 5);
    EXPECT_EQ(limit_dint_OUT(INT32_MIN, INT32_MAX, -1), -1);
    EXPECT_EQ(limit_byte_OUT(10, 0x105, 20), 10);  // IN is 5 in the byte's order
    EXPECT_EQ(limit_word_OUT(0, 0x1FFFF, 0x100), 0x100);
    EXPECT_EQ(limit_dword_OUT(1u, 0x80000000u, 0xFFFFFFF0u), 0x80000000u);
    EXPECT_EQ(limit_dword_OUT(1u, 0xFFFFFFFFu, 0xFFFFFFF0u), 0xFFFFFFF0u);
    EXPECT_EQ(limit_real_OUT(1.0f, 0.5f, 2.0f), 1.0f);
    EXPECT_EQ(limit_real_OUT(2.0f, 2.5f, 1.0f), 2.0f);
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(Selection, LimitOfArrayTypesCopiesTheChosenValue) {
    const TestArray low(0, 10000), in(0, 50000), high(0, 30000);
    expectTimeCopy(limit_time_OUT(low.get(), in.get(), high.get()), high);
    expectTimeCopy(limit_dt_OUT(high.get(), in.get(), low.get()), high);  // swapped bounds
    expectTimeCopy(limit_time_OUT(low.get(), low.get(), high.get()), low);
    const TestArray d0(100), d1(50), d2(200);
    const int32_t* date = limit_date_OUT(d0.get(), d1.get(), d2.get());
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(element(date, 0), 100);
    EXPECT_EQ(element(date, 1), 0);  // two elements, the second carries nothing
    const int32_t* tod = limit_tod_OUT(d2.get(), d1.get(), d0.get());
    ASSERT_NE(tod, nullptr);
    EXPECT_EQ(element(tod, 0), 100);
}

TEST_F(Selection, LimitOfStringsGoesThroughMaxAndMin) {
    const TestString b("b"), d("d"), a("a"), c("cc"), e("e");
    expectStringCopy(limit_str_OUT(b.get(), a.get(), d.get()), b.get(), "b");
    expectStringCopy(limit_str_OUT(b.get(), e.get(), d.get()), d.get(), "d");
    expectStringCopy(limit_str_OUT(b.get(), c.get(), d.get()), c.get(), "cc");
    expectStringCopy(limit_str_OUT(d.get(), a.get(), b.get()), b.get(), "b");  // swapped bounds
    expectStringCopy(limit_str_OUT(d.get(), e.get(), b.get()), d.get(), "d");
    free_all_alloc();
    limit_str_OUT(b.get(), c.get(), d.get());
    EXPECT_EQ(nb_alloc, 2);  // the intermediate string and the result
}

}  // namespace
