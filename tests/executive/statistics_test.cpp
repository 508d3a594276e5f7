// Cycle statistics, fed with durations the test chooses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "runtime/executive/executive.h"
#include "tests/support/test_image.h"

namespace {

using namespace qv;

class Statistics : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(image_.ok());
        resetCycleStatistics();
        *cycleCounterSlot() = kRevision == 3 ? 1 : 0;
        nbStateModification = 0;
    }
    // One cycle as the scan cycle runs it: statistics, then the counter moves on.
    void cycle(uint32_t elapsed) {
        updateCycleStatistics(elapsed);
        *cycleCounterSlot() += 1;
    }
    qvtest::TestImage image_;
};

TEST_F(Statistics, FirstCycleIsNotMeasuredAndTheSecondIsTheMean) {
    *minsimuperiod = 0.0f;
    *maxsimuperiod = 0.0f;
    *realsimuperiod = 0.0f;
    if (kRevision == 1) GTEST_SKIP() << "revision 1 measures its first cycle";
    cycle(9000);
    EXPECT_EQ(*realsimuperiod, 0.0f);
    EXPECT_EQ(*minsimuperiod, 0.0f);
    EXPECT_EQ(*maxsimuperiod, 0.0f);
    cycle(4000);
    EXPECT_EQ(*realsimuperiod, 4000.0f);
    EXPECT_EQ(*minsimuperiod, 4000.0f);
    EXPECT_EQ(*maxsimuperiod, 4000.0f);
    cycle(2000);
    EXPECT_EQ(*realsimuperiod, 3000.0f);
    EXPECT_EQ(*minsimuperiod, 2000.0f);
    EXPECT_EQ(*maxsimuperiod, 4000.0f);
}

TEST_F(Statistics, RevisionOneMeasuresItsFirstCycle) {
    if (kRevision != 1) GTEST_SKIP();
    cycle(3000);
    EXPECT_EQ(*realsimuperiod, 3000.0f);
}

TEST_F(Statistics, MeanOfTheLastHundredAfterOneHundredFifty) {
    if (kRevision != 1) cycle(123456);  // unmeasured
    for (uint32_t k = 1; k <= 150; ++k) cycle(k * 10);
    // The last 100 durations are 510 .. 1500: their mean is 1005.
    EXPECT_EQ(*realsimuperiod, 1005.0f);
    EXPECT_EQ(*minsimuperiod, 10.0f);
    EXPECT_EQ(*maxsimuperiod, 1500.0f);
}

TEST_F(Statistics, AMinimumLeftByAnEarlierRunIsKept) {
    *minsimuperiod = 100.0f;
    *maxsimuperiod = 0.0f;
    if (kRevision != 1) cycle(0);
    cycle(5000);
    EXPECT_EQ(*minsimuperiod, 100.0f);
    EXPECT_EQ(*maxsimuperiod, 5000.0f);
}

TEST_F(Statistics, ModificationStatisticsStayAtTheirConstantOutcome) {
    *mxminvariablemodification = 55.0f;
    if (kRevision != 1) cycle(1000);
    cycle(1000);
    cycle(1000);
    EXPECT_EQ(*mxmeanvariablemodification, 0.0f);
    EXPECT_EQ(*mxminvariablemodification, 0.0f);
    EXPECT_EQ(*mxmaxvariablemodification, 0.0f);
}

TEST_F(Statistics, ModificationCountsFeedARunningMean) {
    if (kRevision != 1) cycle(1000);
    nbStateModification = 4;
    cycle(1000);
    nbStateModification = 2;
    cycle(1000);
    EXPECT_EQ(*mxminvariablemodification, 2.0f);
    EXPECT_EQ(*mxmaxvariablemodification, 4.0f);
    EXPECT_GT(*mxmeanvariablemodification, 0.0f);
}

TEST_F(Statistics, RevisionTwoSkipsTheCycleNumberedZero) {
    if (kRevision != 2) GTEST_SKIP();
    *realsimuperiod = 0.0f;
    cycle(7000);  // counter 0
    EXPECT_EQ(*realsimuperiod, 0.0f);
    cycle(3000);
    EXPECT_EQ(*realsimuperiod, 3000.0f);
}

TEST_F(Statistics, AnyCounterValueWrittenBySupervisorIsSafe) {
    for (int32_t c : {INT32_MIN, -1, 0, 1, INT32_MAX}) {
        *cycleCounterSlot() = c;
        updateCycleStatistics(1000);
        updateCycleStatistics(UINT32_MAX);
        EXPECT_FALSE(std::isnan(*realsimuperiod));
    }
}

TEST(OverrunWarning, PrintsDurationsAndCycleNumber) {
    resetUsablePeriod(50000);
    qvtest::TestImage image;
    ASSERT_TRUE(image.ok());
    *simuperiod = 50000.0f;
    ::testing::internal::CaptureStdout();
    waitForNextCycle(70000, 12);
    waitForNextCycle(50000, 13);  // exactly the period: neither wait nor warning
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Warning: Cycle duration (70 ms) higher than cycle (50 ms) in step 12\n");
}

TEST(CyclePeriod, ElapsedIsMeasuredFromTheScheduledStart) {
    EXPECT_EQ(elapsedSince(1000.0L, 41000.0L), 40000u);
    EXPECT_EQ(elapsedSince(41000.0L, 1000.0L), 0u);  // early: nothing elapsed
    EXPECT_EQ(elapsedSince(0.0L, 1e12L), UINT32_MAX);
}

TEST(CyclePeriod, UnusableValuesKeepTheLastUsablePeriod) {
    resetUsablePeriod(50000);
    EXPECT_EQ(usablePeriod(20000.9f), 20000u);  // truncated toward zero
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(usablePeriod(-5.0f), 20000u);
    EXPECT_EQ(usablePeriod(-5.0f), 20000u);  // said once per value
    EXPECT_EQ(usablePeriod(std::nanf("")), 20000u);
    EXPECT_EQ(usablePeriod(INFINITY), 20000u);
    EXPECT_EQ(usablePeriod(1e10f), 20000u);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Warning: cycle period -5 us is not usable, keeping 20000 us\n", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
    EXPECT_EQ(usablePeriod(0.0f), 0u);
}

}  // namespace
