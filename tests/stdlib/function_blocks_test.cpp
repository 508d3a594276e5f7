// Edge detectors, bistables and counters, run over a simulated sequence of scan cycles.
#include <gtest/gtest.h>

#include "tests/stdlib/library_values.h"

namespace {

using qv::test::SimulatedScan;

TEST(EdgeDetectors, RisingEdgeOnceThenFalseWhileClkStaysTrue) {
    QV_BlockWord m = 0;
    EXPECT_EQ(r_trig_Q(1, &m), 1);
    EXPECT_EQ(r_trig_Q(1, &m), 0);
    EXPECT_EQ(r_trig_Q(0, &m), 0);
    EXPECT_EQ(r_trig_Q(256, &m), 0);  // low byte zero: FALSE
    EXPECT_EQ(r_trig_Q(0x1FF, &m), 1);
    EXPECT_EQ(m, 0xFF);  // the low byte of CLK
    m = -1;              // read as signed
    EXPECT_EQ(r_trig_Q(1, &m), 1);
}

TEST(EdgeDetectors, FallingEdgeOnce) {
    QV_BlockWord m = 0;
    EXPECT_EQ(f_trig_Q(0, &m), 0);
    EXPECT_EQ(f_trig_Q(1, &m), 0);
    EXPECT_EQ(f_trig_Q(0, &m), 1);
    EXPECT_EQ(f_trig_Q(0, &m), 0);
    EXPECT_EQ(f_trig_Q(2, &m), 0);
    EXPECT_EQ(f_trig_Q(0x100, &m), 1);
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST(Bistables, ResetDominatesInRsAndSetInSr) {
    QV_BlockWord q = 0;
    EXPECT_EQ(rs_Q1(1, 1, &q), 0);
    EXPECT_EQ(rs_Q1(1, 0, &q), 1);
    EXPECT_EQ(rs_Q1(0, 0, &q), 1);
    EXPECT_EQ(rs_Q1(0, 1, &q), 0);
    q = 0;
    EXPECT_EQ(sr_Q1(1, 1, &q), 1);
    EXPECT_EQ(sr_Q1(0, 0, &q), 1);
    EXPECT_EQ(sr_Q1(0, 1, &q), 0);
    q = 7;  // any positive value holds; the stored value is 0 or 1
    EXPECT_EQ(sr_Q1(0, 0x100, &q), 1);
    EXPECT_EQ(q, 1);
    q = -3;
    EXPECT_EQ(rs_Q1(0, 0, &q), 0);
}

TEST(Counters, InstanceVariablesAre16BitExceptInRevision1) {
    EXPECT_EQ(sizeof(QV_BlockWord), qv::kRevision == 1 ? 4u : 2u);
}

TEST(Counters, CountOncePerCycleWhileTheInputIsTrue) {
    SimulatedScan scan(50000.0f);
    QV_BlockWord cv = 0, memo = -1;
    for (int cycle = 0; cycle < 5; ++cycle, scan.nextCycle()) {
        ctu_Q(1, 0, 3, &cv, &memo);
        EXPECT_EQ(ctu_CV(1, 0, 3, &cv, &memo), cycle + 1);  // a second output in the same cycle
    }
    EXPECT_EQ(ctu_Q(0, 0, 5, &cv, &memo), 1);
    EXPECT_EQ(ctu_Q(0, 0, 6, &cv, &memo), 0);
    EXPECT_EQ(ctu_Q(0, 0, 70000, &cv, &memo), 0);  // PV compared in 32 bits
    EXPECT_EQ(ctu_Q(1, 1, 0, &cv, &memo), 1);      // R wins and Q = 0 >= 0
    EXPECT_EQ(cv, 0);
    EXPECT_EQ(ctu_CV(0x100, 0, 0, &cv, &memo), 0);
}

TEST(Counters, UpCounterSaturatesAt32767) {
    SimulatedScan scan(50000.0f);
    QV_BlockWord cv = 0, memo = -1;
    for (int cycle = 0; cycle < 40000; ++cycle, scan.nextCycle()) ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, 32767);
    EXPECT_EQ(ctu_CV(1, 0, 0, &cv, &memo), 32767);
}

TEST(Counters, DownCounterLoadsTheLow16BitsOfPvAndSaturatesAtMinus32768) {
    SimulatedScan scan(50000.0f);
    QV_BlockWord cv = 0, memo = -1;
    EXPECT_EQ(ctd_Q(0, 1, 0x12345, &cv, &memo), 0);
    EXPECT_EQ(cv, 0x2345);
    EXPECT_EQ(ctd_CV(1, 1, 0x18000, &cv, &memo), -32768);  // sign-extended
    EXPECT_EQ(ctd_Q(1, 0, 0, &cv, &memo), 1);
    EXPECT_EQ(cv, -32768);
    ctd_Q(0, 1, 2, &cv, &memo);
    EXPECT_EQ(ctd_Q(1, 0, 0, &cv, &memo), 0);
    EXPECT_EQ(ctd_CV(1, 0, 0, &cv, &memo), 1);  // counted once in this cycle
    scan.nextCycle();
    EXPECT_EQ(ctd_Q(1, 0, 0, &cv, &memo), 1);
    EXPECT_EQ(cv, 0);
}

TEST(Counters, UpDownCounterStoresItsMemoOnEveryCall) {
    SimulatedScan scan(50000.0f);
    QV_BlockWord cv = 0, memo = -1;
    EXPECT_EQ(ctud_QU(1, 0, 0, 0, 1, &cv, &memo), 1);
    EXPECT_EQ(ctud_CV(1, 0, 0, 0, 1, &cv, &memo), 1);  // no second count in the cycle
    scan.nextCycle();
    ctud_QU(0, 0, 0, 0, 1, &cv, &memo);  // a call that counts nothing still takes the cycle
    EXPECT_EQ(ctud_CV(1, 0, 0, 0, 1, &cv, &memo), 1);
    scan.nextCycle();
    EXPECT_EQ(ctud_CV(1, 1, 0, 0, 1, &cv, &memo), 1);  // both inputs: no count
    scan.nextCycle();
    EXPECT_EQ(ctud_QD(0, 1, 0, 0, 1, &cv, &memo), 1);  // counted down to 0
    scan.nextCycle();
    EXPECT_EQ(ctud_CV(0, 0, 0, 1, 0x17FFF, &cv, &memo), 32767);  // LD
    scan.nextCycle();
    EXPECT_EQ(ctud_CV(1, 0, 0, 0, 0, &cv, &memo), 32767);  // saturated
    EXPECT_EQ(ctud_CV(0, 0, 1, 1, 5, &cv, &memo), 0);      // R before LD
    ctud_QU(0, 0, 0, 1, -32768, &cv, &memo);
    scan.nextCycle();
    EXPECT_EQ(ctud_CV(0, 1, 0, 0, 0, &cv, &memo), -32768);
    EXPECT_EQ(ctud_QU(0, 0, 0, 0, -32768, &cv, &memo), 1);
}

TEST(Counters, RevisionThreeKeepsFifteenBitsOfTheCycleCounter) {
    if constexpr (qv::kRevision != 3) GTEST_SKIP() << "time-based detection";
    SimulatedScan scan(50000.0f);
    QV_BlockWord cv = 0, memo = -1;
    scan.setCounter(100);
    ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(memo, 100);
    scan.setCounter(100 + 32768);  // exactly 32,768 cycles later: the memo matches
    ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, 1);
    scan.setCounter(100 + 32769);
    ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, 2);
    // The counter wraps from the largest DINT back to 1: still a new cycle.
    scan.setCounter(INT32_MAX);
    ctu_Q(1, 0, 0, &cv, &memo);
    scan.nextCycle();
    EXPECT_EQ(scan.counter(), 1);
    ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, 4);
}

// Revisions 1 and 2 see a new cycle in the scheduled cycle start; revision 3 in the
// counter only.
TEST(Counters, NewCyclesAreSeenInTheCounterOrInTheTimeOfTheRevision) {
    SimulatedScan scan(50000.0f);
    QV_BlockWord cv = 0, memo = -1;
    ctu_Q(1, 0, 0, &cv, &memo);
    scan.setCounter(scan.counter() + 1);  // the counter moves, the time does not
    ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, qv::kRevision == 3 ? 2 : 1);
    timeNow += 50000.0;  // the time moves, the counter does not
    ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, 2);
}

TEST(Counters, RevisionTwoKeepsTheLow16BitsOfTheTime) {
    if constexpr (qv::kRevision == 3) GTEST_SKIP() << "cycle-counter detection";
    SimulatedScan scan(65536.0f);  // one period moves the time by exactly 2^16 us
    QV_BlockWord cv = 0, memo = -1;
    ctu_Q(1, 0, 0, &cv, &memo);
    scan.nextCycle();
    ctu_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, qv::kRevision == 2 ? 1 : 2);  // revision 1 keeps all 32 bits
}

TEST(Counters, RevisionOneDownCounterKeepsTheMicrosecondsOfTheCurrentSecond) {
    if constexpr (qv::kRevision != 1) GTEST_SKIP() << "revision 1 only";
    SimulatedScan scan(1000000.0f);  // whole seconds: the microseconds never change
    QV_BlockWord cv = 10, memo = -1;
    for (int cycle = 0; cycle < 3; ++cycle, scan.nextCycle()) ctd_Q(1, 0, 0, &cv, &memo);
    EXPECT_EQ(cv, 9);
    EXPECT_EQ(memo, static_cast<int32_t>(static_cast<int64_t>(timeNow) % 1000000));
    scan.setPeriod(50000.0f);
    for (int cycle = 0; cycle < 3; ++cycle) {
        scan.nextCycle();
        ctd_Q(1, 0, 0, &cv, &memo);
    }
    EXPECT_EQ(cv, 6);
}

}  // namespace
