// Timers over a simulated sequence of scan cycles: the four variants and their units, PT
// of 0 and out of range, two calls of one instance in one cycle, and the differences of
// revisions 1 and 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/stdlib/library_values.h"

namespace {

using qv::lib::element;
using qv::test::inPool;
using qv::test::SimulatedScan;
using qv::test::TestArray;

class Timers : public ::testing::Test {
protected:
    void SetUp() override { free_all_alloc(); }
    void TearDown() override { free_all_alloc(); }
};

// ---- TIME timers ---------------------------------------------------------------------------

// Days and ticks both truncated toward zero, with the sign of the value, on both sides of
// 1.8e18 ticks, where the split moves from 64-bit integers to extended precision.
TEST(SplittingTicks, DaysAndTicksCarryTheSignOfTheValue) {
    struct Case {
        double ticks;
        int32_t days;
        int32_t rest;
    };
    const Case cases[] = {
        {-10000.0, 0, -10000},
        {1296000000.0, 1, 432000000},
        {864000000.0, 1, 0},
        {-1296000000.0, -1, -432000000},
        {863999999.9, 0, 863999999},
        {-864000000.5, -1, 0},
        {1.7999999999e18, 2083333333, 188000000},
        {1.8e18, 2083333333, 288000000},  // the extended-precision path from here on
        {-1.8e18, -2083333333, -288000000},
    };
    for (const Case& c : cases) {
        TestArray time(7, 7);
        qv::lib::splitTicks(c.ticks, time.get());
        EXPECT_EQ(element(time.get(), 0), c.days) << c.ticks;
        EXPECT_EQ(element(time.get(), 1), c.rest) << c.ticks;
    }
}


TEST_F(Timers, OnDelayInTicksTurnsOnInTheCycleThatReachesPt) {
    SimulatedScan scan(100000.0f);  // 1,000 ticks a cycle
    const TestArray pt(0, 10000);
    TestArray et(0, 0);
    int32_t memo = 0;
    for (int cycle = 1; cycle <= 12; ++cycle, scan.nextCycle()) {
        EXPECT_EQ(ton_Q(1, pt.get(), et.get(), &memo), cycle >= 10 ? 1 : 0) << "cycle " << cycle;
        EXPECT_EQ(element(et.get(), 1), std::min(cycle, 10) * 1000);
    }
    EXPECT_EQ(ton_Q(0, pt.get(), et.get(), &memo), 0);  // IN falls: reset
    EXPECT_EQ(element(et.get(), 1), 0);
}

// The on-delay against the double arithmetic it has always done (whole ticks are taken
// only where that arithmetic is exact): periods whole and fractional in ticks, presets and
// elapsed times up to the largest days, a second call in some cycles, inputs that fall.
TEST_F(Timers, OnDelayInTicksMatchesTheDoubleArithmetic) {
    std::mt19937_64 engine(41);
    auto uniform = [&](int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(engine); };
    auto anyDays = [&] { return static_cast<int32_t>(uniform(0, 1) == 0 ? uniform(-3, 3) : uniform(INT32_MIN, INT32_MAX)); };
    for (int run = 0; run < 3000; ++run) {
        const auto whole = static_cast<float>(100 * uniform(1, 200000));
        SimulatedScan scan(run % 3 == 0 ? whole + 0.5f : whole);
        const TestArray pt(std::abs(std::max(anyDays(), -INT32_MAX)), static_cast<int32_t>(uniform(0, 863999999)));
        TestArray et(anyDays(), static_cast<int32_t>(uniform(-863999999, 863999999)));
        TestArray expected(element(et.get(), 0), element(et.get(), 1));
        int32_t memo = 0;
        for (int cycle = 0; cycle < 20; ++cycle, scan.nextCycle()) {
            for (int call = 0; call < (cycle % 4 == 3 ? 2 : 1); ++call) {
                const int in = cycle == 13 ? 0 : 1;
                const double preset = static_cast<double>(qv::lib::wholeTicks(pt.get()));
                double e = 0.0;
                if (in != 0) {
                    e = static_cast<double>(qv::lib::wholeTicks(expected.get()));
                    if (call == 0) e += static_cast<double>(*simuperiod) / 100.0;
                    e = std::min(std::min(e, 9.223372036854776e18), preset);
                }
                qv::lib::splitTicks(e, expected.get());
                const int q = preset == 0.0 ? in : (e >= preset ? 1 : 0);
                ASSERT_EQ(ton_Q(in, pt.get(), et.get(), &memo), q) << run << " " << cycle;
                ASSERT_EQ(element(et.get(), 0), element(expected.get(), 0)) << run << " " << cycle;
                ASSERT_EQ(element(et.get(), 1), element(expected.get(), 1)) << run << " " << cycle;
            }
        }
    }
}

TEST_F(Timers, TwoCallsOfOneInstanceInOneCycleAddThePeriodOnce) {
    SimulatedScan scan(100000.0f);
    const TestArray pt(0, 10000);
    TestArray et(0, 0);
    int32_t memo = 0;
    ton_Q(1, pt.get(), et.get(), &memo);
    const int32_t* copy = ton_CV(1, pt.get(), et.get(), &memo);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(inPool(copy));
    EXPECT_EQ(element(copy, 1), 1000);
    EXPECT_EQ(element(et.get(), 1), 1000);
    scan.nextCycle();
    ton_Q(1, pt.get(), et.get(), &memo);
    EXPECT_EQ(element(et.get(), 1), 2000);
}

TEST_F(Timers, ElapsedTimeIsStoredAsDaysAndTicks) {
    SimulatedScan scan(3.6e9f);  // one hour a cycle: 36,000,000 ticks
    const TestArray pt(2, 0);
    TestArray et(0, 0);
    int32_t memo = 0;
    for (int cycle = 0; cycle < 25; ++cycle, scan.nextCycle()) ton_Q(1, pt.get(), et.get(), &memo);
    EXPECT_EQ(element(et.get(), 0), 1);
    EXPECT_EQ(element(et.get(), 1), 36000000);
    for (int cycle = 0; cycle < 30; ++cycle, scan.nextCycle()) ton_Q(1, pt.get(), et.get(), &memo);
    EXPECT_EQ(element(et.get(), 0), 2);  // held at PT
    EXPECT_EQ(element(et.get(), 1), 0);
}

TEST_F(Timers, PresetOfZero) {
    SimulatedScan scan(100000.0f);
    const TestArray zero(0, 0);
    TestArray onEt(0, 0), pulseEt(0, 0), offEt(0, 0);
    int32_t onMemo = 0, pulseMemo = 0, offMemo = 0;
    int16_t running = 0;
    for (int cycle = 0; cycle < 4; ++cycle, scan.nextCycle()) {
        const int in = cycle < 2 ? 1 : 0;
        EXPECT_EQ(ton_Q(in, zero.get(), onEt.get(), &onMemo), in) << "cycle " << cycle;  // returns IN
        EXPECT_EQ(tp_Q(cycle == 0, zero.get(), pulseEt.get(), &pulseMemo), 0);          // never TRUE
        EXPECT_EQ(tof_Q(in, zero.get(), offEt.get(), &running, &offMemo), 0);            // never TRUE
    }
}

TEST_F(Timers, PulseInTicksRunsOutAndRearmsWhenTheInputIsReleased) {
    SimulatedScan scan(100000.0f);
    const TestArray pt(0, 3000);
    TestArray et(0, 0);
    int32_t memo = 0;
    const int expectedQ[] = {1, 1, 0, 0, 0};
    const int expectedEt[] = {1000, 2000, 3000, 0, 0};
    for (int cycle = 0; cycle < 5; ++cycle, scan.nextCycle()) {
        EXPECT_EQ(tp_Q(cycle == 0, pt.get(), et.get(), &memo), expectedQ[cycle]) << "cycle " << cycle + 1;
        EXPECT_EQ(element(et.get(), 1), expectedEt[cycle]) << "cycle " << cycle + 1;
    }
    // Held input: the pulse ends and ET stays at PT until the input falls.
    for (int cycle = 0; cycle < 6; ++cycle, scan.nextCycle()) tp_Q(1, pt.get(), et.get(), &memo);
    EXPECT_EQ(element(et.get(), 1), 3000);
    EXPECT_EQ(tp_Q(1, pt.get(), et.get(), &memo), 0);
    scan.nextCycle();
    EXPECT_EQ(tp_Q(0, pt.get(), et.get(), &memo), 0);
    EXPECT_EQ(element(et.get(), 1), 0);
    // Not retriggered while it runs.
    scan.nextCycle();
    tp_Q(1, pt.get(), et.get(), &memo);
    scan.nextCycle();
    tp_Q(0, pt.get(), et.get(), &memo);
    scan.nextCycle();
    EXPECT_EQ(tp_Q(1, pt.get(), et.get(), &memo), 0);
    EXPECT_EQ(element(et.get(), 1), 3000);
}

TEST_F(Timers, OffDelayInTicksHoldsTheOutputForPt) {
    SimulatedScan scan(100000.0f);
    const TestArray pt(0, 2000);
    TestArray et(0, 0);
    int32_t memo = 0;
    int16_t running = 0;
    EXPECT_EQ(tof_Q(0, pt.get(), et.get(), &running, &memo), 0);  // never started
    EXPECT_EQ(tof_Q(1, pt.get(), et.get(), &running, &memo), 1);
    EXPECT_EQ(running, 1);
    scan.nextCycle();
    const int expectedQ[] = {1, 1, 0, 0};
    const int expectedEt[] = {1000, 2000, 2000, 2000};
    for (int cycle = 0; cycle < 4; ++cycle, scan.nextCycle()) {
        EXPECT_EQ(tof_Q(0, pt.get(), et.get(), &running, &memo), expectedQ[cycle]) << "cycle " << cycle;
        EXPECT_EQ(element(et.get(), 1), expectedEt[cycle]);
    }
    EXPECT_EQ(running, 0);
    const int32_t* copy = tof_CV(1, pt.get(), et.get(), &running, &memo);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(element(copy, 1), 0);
    EXPECT_EQ(running, 1);
}

TEST_F(Timers, PresetOutOfRangeClearsEtAndReturnsFalseWithTheCode) {
    SimulatedScan scan(100000.0f);
    const TestArray negative(0, -1), negativeDays(-1, 5);
    TestArray et(0, 700);
    int32_t memo = 12;
    int16_t running = 1;
    EXPECT_EQ(ton_Q(1, negative.get(), et.get(), &memo), 0);
    EXPECT_EQ(LIBFB_ERR, 1079);
    EXPECT_EQ(element(et.get(), 1), 0);
    EXPECT_EQ(memo, 12);
    element(et.get(), 1) = 700;
    EXPECT_EQ(tp_Q(1, negativeDays.get(), et.get(), &memo), 0);
    EXPECT_EQ(LIBFB_ERR, 1083);
    EXPECT_EQ(element(et.get(), 1), 0);
    EXPECT_EQ(tof_Q(1, negative.get(), et.get(), &running, &memo), 0);
    EXPECT_EQ(LIBFB_ERR, 1075);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(memo, 12);
    // The TIME outputs leave the code of the block and still return a copy.
    const int32_t* copy = tp_CV(1, negative.get(), et.get(), &memo);
    EXPECT_EQ(LIBFB_ERR, 1083);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(element(copy, 0), 0);
    ton_CV(1, negative.get(), et.get(), &memo);
    EXPECT_EQ(LIBFB_ERR, 1079);
}

// ---- Numeric timers ----------------------------------------------------------------------------

TEST_F(Timers, OnDelayInSecondsTurnsOnInTheThirdCycleForPtOfThree) {
    SimulatedScan scan(1000000.0f);
    int32_t memo = 0, et = 0;
    float elapsed = 0.0f;
    const int expected[] = {0, 0, 1, 1};
    for (int cycle = 0; cycle < 4; ++cycle, scan.nextCycle()) {
        EXPECT_EQ(ton_sec_Q(1, 3, &memo, &elapsed, &et), expected[cycle]) << "cycle " << cycle + 1;
        EXPECT_EQ(ton_sec_CV(1, 3, &memo, &elapsed, &et), std::min(cycle + 1, 3));  // same cycle: no advance
    }
    EXPECT_EQ(elapsed, 4.0f);  // the accumulator runs on; ET is held at PT
    EXPECT_EQ(ton_sec_Q(0, 3, &memo, &elapsed, &et), 0);
    EXPECT_EQ(elapsed, 0.0f);
    EXPECT_EQ(et, 0);
}

TEST_F(Timers, EachVariantCountsInItsOwnUnit) {
    SimulatedScan scan(250000.0f);  // a quarter second: 25 cs, 250 ms, 0.25 s a cycle
    int32_t memoCs = 0, memoMs = 0, memoSec = 0, etCs = 0, etMs = 0, etSec = 0;
    float elapsedCs = 0.0f, elapsedMs = 0.0f, elapsedSec = 0.0f;
    for (int cycle = 1; cycle <= 8; ++cycle, scan.nextCycle()) {
        EXPECT_EQ(ton_cs_Q(1, 50, &memoCs, &elapsedCs, &etCs), cycle >= 2 ? 1 : 0) << "cycle " << cycle;
        EXPECT_EQ(ton_ms_Q(1, 1000, &memoMs, &elapsedMs, &etMs), cycle >= 4 ? 1 : 0) << "cycle " << cycle;
        EXPECT_EQ(ton_sec_Q(1, 2, &memoSec, &elapsedSec, &etSec), cycle >= 8 ? 1 : 0) << "cycle " << cycle;
        if (cycle == 1) {
            EXPECT_EQ(etCs, 25);
        }
        if (cycle == 3) {
            EXPECT_EQ(etMs, 750);
        }
        if (cycle == 7) {
            EXPECT_EQ(etSec, 1);
        }
    }
    EXPECT_EQ(etCs, 50);
    EXPECT_EQ(etMs, 1000);
    EXPECT_EQ(etSec, 2);
    EXPECT_EQ(elapsedCs, 200.0f);
    EXPECT_EQ(elapsedMs, 2000.0f);
    EXPECT_EQ(elapsedSec, 2.0f);
}

TEST_F(Timers, NumericOnDelayWithPresetZero) {
    SimulatedScan scan(50000.0f);
    int32_t memo = 0, et = 0;
    float elapsed = 0.0f;
    EXPECT_EQ(ton_sec_Q(1, 0, &memo, &elapsed, &et), 1);
    // Revision 1 compares ET with PT also here, so it is TRUE whenever PT is 0.
    EXPECT_EQ(ton_ms_Q(0, 0, &memo, &elapsed, &et), qv::kRevision == 1 ? 1 : 0);
}

TEST_F(Timers, PulseInSecondsHoldsQThroughTheCycleInWhichEtReachesPt) {
    SimulatedScan scan(1000000.0f);
    int32_t memo = 0, et = 0;
    float elapsed = 0.0f;
    // Revision 1 computes Q from the ET of this cycle: the pulse is one cycle shorter.
    const std::vector<int> expectedQ =
        qv::kRevision == 1 ? std::vector<int>{1, 1, 0, 0, 0} : std::vector<int>{1, 1, 1, 0, 0};
    const int expectedEt[] = {1, 2, 3, 0, 0};
    for (int cycle = 0; cycle < 5; ++cycle, scan.nextCycle()) {
        EXPECT_EQ(tp_sec_Q(cycle == 0, 3, &memo, &elapsed, &et), expectedQ[cycle]) << "cycle " << cycle + 1;
        EXPECT_EQ(et, expectedEt[cycle]) << "cycle " << cycle + 1;
    }
    // Held input: FALSE from the fourth cycle, ET stays 3 until the input falls.
    for (int cycle = 0; cycle < 6; ++cycle, scan.nextCycle()) {
        const int q = tp_sec_Q(1, 3, &memo, &elapsed, &et);
        if (cycle >= 3) {
            EXPECT_EQ(q, 0);
        }
    }
    EXPECT_EQ(tp_sec_CV(1, 3, &memo, &elapsed, &et), 3);
    EXPECT_EQ(tp_sec_CV(0, 3, &memo, &elapsed, &et), 0);
    // PT of 0: never TRUE.
    scan.nextCycle();
    EXPECT_EQ(tp_ms_Q(1, 0, &memo, &elapsed, &et), 0);
    scan.nextCycle();
    EXPECT_EQ(tp_cs_Q(1, 0, &memo, &elapsed, &et), 0);
}

TEST_F(Timers, OffDelayInSecondsKeepsQForTwoCyclesAfterTheFall) {
    SimulatedScan scan(1000000.0f);
    int32_t memo = 0, running = 0;
    float elapsed = 0.0f;
    EXPECT_EQ(tof_sec_Q(1, 2, &memo, &elapsed, &running), 1);
    scan.nextCycle();
    const int expectedQ[] = {1, 1, 0, 0};
    const float expectedElapsed[] = {1.0f, 2.0f, 2.0f, 2.0f};
    for (int cycle = 0; cycle < 4; ++cycle, scan.nextCycle()) {
        EXPECT_EQ(tof_sec_Q(0, 2, &memo, &elapsed, &running), expectedQ[cycle]) << "cycle " << cycle;
        EXPECT_EQ(elapsed, expectedElapsed[cycle]);
        EXPECT_EQ(tof_sec_CV(0, 2, &memo, &elapsed, &running), static_cast<int32_t>(expectedElapsed[cycle]));
    }
    EXPECT_EQ(running, 0);
    EXPECT_EQ(tof_ms_Q(1, 0, &memo, &elapsed, &running), 1);  // PT 0 returns IN
    scan.nextCycle();
    EXPECT_EQ(tof_ms_Q(0, 0, &memo, &elapsed, &running), 0);
    EXPECT_EQ(tof_cs_CV(0, 0, &memo, &elapsed, &running), 0);
}

TEST_F(Timers, NumericPresetOutOfRangeChangesOnlyWhatItNames) {
    SimulatedScan scan(50000.0f);
    struct Case {
        const char* name;
        int (*q)(int, int32_t, int32_t*, float*, int32_t*);
        int32_t code;
        bool offDelay;
    };
    const Case cases[] = {
        {"tof_cs", tof_cs_Q, 1076, true},  {"tof_ms", tof_ms_Q, 1077, true},  {"tof_sec", tof_sec_Q, 1078, true},
        {"ton_cs", ton_cs_Q, 1080, false}, {"ton_ms", ton_ms_Q, 1081, false}, {"ton_sec", ton_sec_Q, 1082, false},
        {"tp_cs", tp_cs_Q, 1084, false},   {"tp_ms", tp_ms_Q, 1085, false},   {"tp_sec", tp_sec_Q, 1086, false},
    };
    for (const Case& c : cases) {
        for (int32_t pt : {-1, 32768, 40000, INT32_MIN}) {
            SCOPED_TRACE(std::string(c.name) + " PT " + std::to_string(pt));
            int32_t memo = 5, last = 1;
            float elapsed = 2.5f;
            EXPECT_EQ(c.q(1, pt, &memo, &elapsed, &last), 0);
            EXPECT_EQ(LIBFB_ERR, c.code);
            EXPECT_EQ(last, 0);  // ET, or running
            EXPECT_EQ(memo, 5);
            EXPECT_EQ(elapsed, c.offDelay ? 0.0f : 2.5f);
        }
        int32_t memo = 0, last = 0;
        float elapsed = 0.0f;
        c.q(1, 32767, &memo, &elapsed, &last);
        EXPECT_EQ(LIBFB_ERR, 0);
    }
    int32_t memo = 0, et = 9;
    float elapsed = 0.0f;
    EXPECT_EQ(ton_sec_CV(1, -1, &memo, &elapsed, &et), 0);
    EXPECT_EQ(LIBFB_ERR, 1082);  // left by the block
}

// Revision 3 sees a new cycle in the counter, revisions 1 and 2 in the scheduled time.
TEST_F(Timers, NewCyclesAreSeenInTheCounterOrInTheTimeOfTheRevision) {
    SimulatedScan scan(100000.0f);
    const TestArray pt(0, 100000);
    TestArray et(0, 0);
    int32_t memo = 0;
    ton_Q(1, pt.get(), et.get(), &memo);
    scan.setCounter(scan.counter() + 1);
    ton_Q(1, pt.get(), et.get(), &memo);
    EXPECT_EQ(element(et.get(), 1), qv::kRevision == 3 ? 2000 : 1000);
    timeNow += 100000.0;
    ton_Q(1, pt.get(), et.get(), &memo);
    EXPECT_EQ(element(et.get(), 1), 2000);
}

}  // namespace
