// With the temporary pool exhausted, every function that returns an array returns none
// and writes nothing; the argument tests still set their codes.
#include "tests/stdlib/part_two_support.h"

namespace qv::test {
namespace {

using ExhaustedPool = PoolTest;

TEST_F(ExhaustedPool, ArrayResultsAreNone) {
    const IntArray time(1, 5);
    const IntArray single(5);
    const StringValue text("ABCDE");
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(alloc_char(QV_TEMP_POOL_SIZE), nullptr);  // leaves the pool exhausted

    for (int32_t* result : {add_time_OUT(time.get(), time.get()), sub_time_OUT(time.get(), time.get()),
                            add_dt_t_OUT(time.get(), time.get()), sub_dt_t_OUT(time.get(), time.get()),
                            sub_dt_dt_OUT(time.get(), time.get()), add_tod_t_OUT(single.get(), time.get()),
                            sub_tod_t_OUT(single.get(), time.get()), sub_tod_tod_OUT(single.get(), single.get()),
                            sub_date_date_OUT(single.get(), single.get()), mul_t_sint_OUT(time.get(), 2),
                            mul_t_int_OUT(time.get(), 2), mul_t_dint_OUT(time.get(), 2),
                            mul_t_real_OUT(time.get(), 2.0f), div_t_sint_OUT(time.get(), 2),
                            div_t_int_OUT(time.get(), 2), div_t_dint_OUT(time.get(), 2),
                            div_t_real_OUT(time.get(), 2.0f), concat_date_tod_OUT(single.get(), single.get()),
                            dt_to_tod_OUT(time.get()), dt_to_date_OUT(time.get())}) {
        EXPECT_EQ(result, nullptr);
    }
    EXPECT_EQ(div_t_int_OUT(time.get(), 0), nullptr);
    EXPECT_EQ(LIBFB_ERR, 1013);

    for (unsigned char* result :
         {byte_to_string_OUT(1), word_to_string_OUT(1), dword_to_string_OUT(1), sint_to_string_OUT(1),
          int_to_string_OUT(1), dint_to_string_OUT(1), real_to_string_OUT(1.0f), left_OUT(text.get(), 2),
          right_OUT(text.get(), 2), mid_OUT(text.get(), 2, 2), concat_OUT(text.get(), text.get()),
          insert_OUT(text.get(), text.get(), 2), delete_OUT(text.get(), 2, 2),
          replace_OUT(text.get(), text.get(), 2, 2)}) {
        EXPECT_EQ(result, nullptr);
    }
    EXPECT_EQ(mid_OUT(text.get(), 2, 5), nullptr);
    EXPECT_EQ(LIBFB_ERR, 1026);
    EXPECT_EQ(delete_OUT(text.get(), -1, 1), nullptr);
    EXPECT_EQ(LIBFB_ERR, 1004);
    EXPECT_EQ(left_OUT(text.get(), 9), nullptr);
    EXPECT_EQ(LIBFB_ERR, 1019);
    ::testing::internal::GetCapturedStderr();

    // The functions that return no array are unaffected.
    EXPECT_EQ(len_OUT(text.get()), 5);
    EXPECT_EQ(find_OUT(text.get(), StringValue("CD").get()), 3);
    EXPECT_EQ(string_to_int_OUT(StringValue("12").get()), 12);

    free_all_alloc();
    EXPECT_NE(add_time_OUT(time.get(), time.get()), nullptr);
}

}  // namespace
}  // namespace qv::test
