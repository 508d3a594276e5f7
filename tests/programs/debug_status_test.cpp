// The execution status and the breakpoints of a real program, driven through its image.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/programs/debug_supervisor.h"

namespace {

using namespace std::chrono_literals;
using namespace qvtest::debug;
using qvtest::ProgramRun;

int32_t* controlInt(qv::ImageView& image, int32_t fromExec) { return image.controlInt(fromExec); }

// Lists the location breakpoints: the count, then the pairs from place 1.
void listBreakpoints(qv::ImageView& image, int32_t count, std::initializer_list<std::pair<int32_t, int32_t>> pairs) {
    int k = 1;
    for (const auto& [location, instance] : pairs) {
        write(controlInt(image, qv::kBpnolineFromExec + k), location);
        write(controlInt(image, qv::kBpnoinstanceFromExec + k), instance);
        ++k;
    }
    write(controlInt(image, qv::kBpnolineFromExec), count);
}

bool pausedAt(qv::ImageView& image, int32_t location) {
    return qvtest::waitUntil([&] {
        return read(image.execstatus()) == qv::kStatusPause &&
               read(controlInt(image, qv::kBpcurrentlocationFromExec)) == location &&
               read(controlInt(image, qv::kBpcurrentinstanceFromExec)) == 1;
    });
}

class StatusRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(run.start());
        ASSERT_TRUE(run.waitUntilStopped());
    }
    qv::ImageView& image() { return run.image(); }
    ProgramRun run{kProgram, "status"};
};

TEST_F(StatusRun, EveryChangeIsPrintedAtItsAcknowledgement) {
    ASSERT_TRUE(run.runCycles(2));
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == qv::kStatusStop; }));
    ASSERT_TRUE(stepOnce(run));
    write(image().execstatus(), 9);  // an unknown code runs cycles and has no name
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == 9; }));
    write(image().execstatus(), qv::kStatusStop);
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == qv::kStatusStop; }));
    write(image().execstatus(), qv::kStatusEnd);
    ASSERT_EQ(run.wait(), 0);
    const std::string expected =
        "Exec status change from FREE to STOP\n"
        "Exec status change from STOP to RUN\n"
        "Exec status change from RUN to STOP\n"
        "Exec status change from STOP to STEP\n"
        "Exec status change from STEP to STOP\n"
        "Exec status change from STOP to \n"
        "Exec status change from  to STOP\n";
    const std::string lines = statusLines(run.console());
    EXPECT_TRUE(lines == expected + "Exec status change from STOP to FREE\n" ||
                lines == expected + "Exec status change from STOP to END\nExec status change from END to FREE\n")
        << lines;
}

TEST_F(StatusRun, ALocationBreakpointPausesAtItsPairOnly) {
    setBool(image().boolSlot(kBreaks), true);
    listBreakpoints(image(), 1, {{10, 2}});  // the model's instance is 1
    ASSERT_TRUE(run.runCycles(3));
    EXPECT_NE(read(image().execstatus()), qv::kStatusPause);

    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == qv::kStatusStop; }));
    listBreakpoints(image(), 2, {{11, 1}, {10, 1}});
    const int32_t cycle = read(image().cycleCounter());
    write(image().execstatus(), qv::kStatusRun);
    ASSERT_TRUE(pausedAt(image(), 10));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(read(image().execstatus()), qv::kStatusPause) << "the pause lasts";
    EXPECT_EQ(read(image().cycleCounter()), cycle);
    EXPECT_EQ(read(image().signature()), 123456789);

    // STEP goes on to the next breakpoint call, whatever its location.
    write(image().execstatus(), qv::kStatusStep);
    ASSERT_TRUE(pausedAt(image(), 20));
    // RUN lets the step finish; the next cycle pauses at 10 again.
    write(image().execstatus(), qv::kStatusRun);
    ASSERT_TRUE(pausedAt(image(), 10));
    EXPECT_EQ(read(image().cycleCounter()), cycle + 1);
    const int32_t steps = read(image().intSlot(kSteps));

    // END lets the step finish and the program end.
    write(image().execstatus(), qv::kStatusEnd);
    EXPECT_EQ(run.wait(), 0);
    EXPECT_EQ(read(image().intSlot(kSteps)), steps);  // the paused step had counted already
    EXPECT_EQ(read(image().execstatus()), qv::kStatusFree);
}

TEST_F(StatusRun, AStepThatEndsPausedEndsInStop) {
    setBool(image().boolSlot(kBreaks), true);
    listBreakpoints(image(), 1, {{20, 1}});
    write(image().execstatus(), qv::kStatusRun);
    ASSERT_TRUE(pausedAt(image(), 20));
    write(image().execstatus(), qv::kStatusStep);  // no breakpoint call after 20 in this step
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == qv::kStatusStop; }));
    EXPECT_EQ(read(image().execstatus()), qv::kStatusStop);
    EXPECT_EQ(run.end(), 0);
}

TEST_F(StatusRun, TheSupervisorsCountIsHeldToTheList) {
    setBool(image().boolSlot(kBreaks), true);
    listBreakpoints(image(), -3, {{10, 1}});
    ASSERT_TRUE(run.runCycles(2));
    EXPECT_NE(read(image().execstatus()), qv::kStatusPause);
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == qv::kStatusStop; }));

    listBreakpoints(image(), 5000, {{10, 1}});
    write(image().execstatus(), qv::kStatusRun);
    ASSERT_TRUE(pausedAt(image(), 10));
    EXPECT_EQ(read(controlInt(image(), qv::kBpnolineFromExec)), 5000);  // read, never written
    EXPECT_EQ(run.end(), 0);
}

TEST_F(StatusRun, AListedBooleanThatChangesStopsAfterTheCycle) {
    ASSERT_EQ(QV_addIndex(kBlink, image().indexTable(qv::kBoolBreakpointTableOffset)), 1);
    const int32_t cycle = read(image().cycleCounter());
    write(image().execstatus(), qv::kStatusRun);
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == qv::kStatusRun; }));
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image()) == qv::kStatusStop; }));
    std::this_thread::sleep_for(150ms);
    // Revision 3 checks after the step; revision 2 checks at the start of the next cycle,
    // which then runs to its end.
    EXPECT_EQ(read(image().cycleCounter()), cycle + (qv::kRevision == 3 ? 1 : 2));
    EXPECT_EQ(read(image().execstatus()), qv::kStatusStop);
    EXPECT_EQ(run.end(), 0);
    const std::string lines = statusLines(run.console());
    EXPECT_EQ(lines.rfind("Exec status change from FREE to STOP\n"
                          "Exec status change from STOP to RUN\n"
                          "Exec status change from RUN to STOP\n",
                          0),
              0u)
        << lines;
}

}  // namespace
