// Array-shaped results when the temporary pool is exhausted: every function of the
// selection and function-block families returns null, writes nothing into the pool, and
// leaves LIBFB_ERR as it would otherwise.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "tests/stdlib/library_values.h"

namespace {

using qv::lib::element;
using qv::test::SimulatedScan;
using qv::test::TestArray;
using qv::test::TestString;

std::size_t poolLeft() {
    const unsigned char* cursor = next_alloc == nullptr ? Temp_Alloc : next_alloc;
    return static_cast<std::size_t>(Temp_Alloc + QV_TEMP_POOL_SIZE - cursor);
}

class ExhaustedPool : public ::testing::Test {
protected:
    void SetUp() override {
        free_all_alloc();
        std::memset(Temp_Alloc, 0x5A, QV_TEMP_POOL_SIZE);
        ASSERT_EQ(alloc_char(QV_TEMP_POOL_SIZE), nullptr);  // the cursor stays at the end
    }
    void TearDown() override { free_all_alloc(); }

    // Runs a call and checks that it returned null, left `code` and wrote nothing.
    void expectNothingWritten(const char* name, const std::function<const void*()>& call, int32_t code = 0) {
        SCOPED_TRACE(name);
        const std::vector<unsigned char> before(Temp_Alloc, Temp_Alloc + QV_TEMP_POOL_SIZE);
        LIBFB_ERR = -1;
        EXPECT_EQ(call(), nullptr);
        EXPECT_EQ(LIBFB_ERR, code);
        EXPECT_EQ(std::memcmp(before.data(), Temp_Alloc, QV_TEMP_POOL_SIZE), 0);
        ++calls;
    }

    int calls = 0;
};

TEST_F(ExhaustedPool, EveryArrayReturningFunctionReturnsNullAndWritesNothing) {
    const TestString s1("abc"), s2("abd"), s3("zz");
    const unsigned char *a = s1.get(), *b = s2.get(), *c = s3.get();
    const TestArray t1(0, 100), t2(1, 5), t3(2, 0);
    const int32_t *x = t1.get(), *y = t2.get(), *z = t3.get();

    expectNothingWritten("sel_str", [&] { return sel_str_OUT(1, a, b); });
    expectNothingWritten("sel_time", [&] { return sel_time_OUT(0, x, y); });
    expectNothingWritten("sel_date", [&] { return sel_date_OUT(1, x, y); });
    expectNothingWritten("sel_dt", [&] { return sel_dt_OUT(0, x, y); });
    expectNothingWritten("sel_tod", [&] { return sel_tod_OUT(1, x, y); });

    expectNothingWritten("mux_str", [&] { return mux_str_OUT(3, a, b, c, a, b, c, a, b, c, a); });
    expectNothingWritten("mux_str", [&] { return mux_str_OUT(10, a, b, c, a, b, c, a, b, c, a); }, 1039);
    expectNothingWritten("mux_time", [&] { return mux_time_OUT(-1, x, y, z, x, y, z, x, y, z, x); }, 1040);
    expectNothingWritten("mux_date", [&] { return mux_date_OUT(10, x, y, z, x, y, z, x, y, z, x); }, 1032);
    expectNothingWritten("mux_dt", [&] { return mux_dt_OUT(2, x, y, z, x, y, z, x, y, z, x); });
    expectNothingWritten("mux_tod", [&] { return mux_tod_OUT(11, x, y, z, x, y, z, x, y, z, x); }, 1041);

    expectNothingWritten("max_str", [&] { return max_str_OUT(a, b); });
    expectNothingWritten("max_time", [&] { return max_time_OUT(x, y); });
    expectNothingWritten("max_date", [&] { return max_date_OUT(x, y); });
    expectNothingWritten("max_dt", [&] { return max_dt_OUT(x, y); });
    expectNothingWritten("max_tod", [&] { return max_tod_OUT(x, y); });

    expectNothingWritten("min_str", [&] { return min_str_OUT(a, b); });
    expectNothingWritten("min_time", [&] { return min_time_OUT(x, y); });
    expectNothingWritten("min_date", [&] { return min_date_OUT(x, y); });
    expectNothingWritten("min_dt", [&] { return min_dt_OUT(x, y); });
    expectNothingWritten("min_tod", [&] { return min_tod_OUT(x, y); });

    expectNothingWritten("limit_str", [&] { return limit_str_OUT(a, c, b); });
    expectNothingWritten("limit_time", [&] { return limit_time_OUT(x, z, y); });
    expectNothingWritten("limit_date", [&] { return limit_date_OUT(x, z, y); });
    expectNothingWritten("limit_dt", [&] { return limit_dt_OUT(x, z, y); });
    expectNothingWritten("limit_tod", [&] { return limit_tod_OUT(x, z, y); });

    // The TIME outputs of the timers: the block still runs.
    SimulatedScan scan(100000.0f);
    const TestArray pt(0, 5000), badPt(0, -1);
    TestArray tpEt(0, 0), tonEt(0, 0), tofEt(0, 0);
    int32_t tpMemo = 0, tonMemo = 0, tofMemo = 0;
    int16_t running = 1;
    expectNothingWritten("tp_CV", [&] { return tp_CV(1, pt.get(), tpEt.get(), &tpMemo); });
    EXPECT_EQ(element(tpEt.get(), 1), 1000);
    expectNothingWritten("ton_CV", [&] { return ton_CV(1, pt.get(), tonEt.get(), &tonMemo); });
    EXPECT_EQ(element(tonEt.get(), 1), 1000);
    expectNothingWritten("tof_CV", [&] { return tof_CV(0, pt.get(), tofEt.get(), &running, &tofMemo); });
    EXPECT_EQ(element(tofEt.get(), 1), 1000);
    expectNothingWritten("ton_CV", [&] { return ton_CV(1, badPt.get(), tonEt.get(), &tonMemo); }, 1079);

    EXPECT_EQ(calls, 30);
    EXPECT_EQ(nb_alloc, 0);
}

// LIMIT of strings needs two temporaries: with room for only one it returns null too.
TEST(PoolWithRoomForOneString, LimitOfStringsFailsOnItsSecondTemporary) {
    free_all_alloc();
    const std::size_t oneCharacterString = static_cast<std::size_t>(4 * qv::kCharSlotSize);
    while (poolLeft() >= 2 * oneCharacterString) ASSERT_NE(alloc_char(0), nullptr);
    ASSERT_GE(poolLeft(), oneCharacterString);
    const TestString low("b"), in("a"), high("d");
    const int32_t before = nb_alloc;
    EXPECT_EQ(limit_str_OUT(low.get(), in.get(), high.get()), nullptr);
    EXPECT_EQ(nb_alloc, before + 1);  // the intermediate MAX got its temporary
    free_all_alloc();
    const unsigned char* result = limit_str_OUT(low.get(), in.get(), high.get());
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(qv::test::textOf(result), "b");
    free_all_alloc();
}

}  // namespace
