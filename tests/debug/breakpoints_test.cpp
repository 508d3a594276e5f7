// Location breakpoints with their pause, error reports and data breakpoints.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/debug/memory_image.h"
#include "tests/support/program_run.h"

namespace {

using qvtest::MemoryImage;

int32_t status() { return qv::loadShared(execstatus); }

int32_t* locationAt(int k) { return qv::nextIntSlot(bpnoline, k); }
int32_t* instanceAt(int k) { return qv::nextIntSlot(bpnoinstance, k); }

// A supervisor on another thread: waits until the program pauses (or the time is up),
// notes where, then writes `answer`.
class PausedSupervisor {
public:
    // The pause loop publishes the signature at each poll, after it stored the place where
    // it stands: a cleared signature that comes back marks the pause as begun.
    explicit PausedSupervisor(int32_t answer, std::chrono::milliseconds patience = std::chrono::seconds(5))
        : thread_((qv::storeShared(signature, 0), [this, answer, patience] {
              paused_ = qvtest::waitUntil(
                  [] { return status() == qv::kStatusPause && qv::loadShared(signature) != 0; }, patience);
              location_ = qv::loadShared(bpcurrentlocation);
              instance_ = qv::loadShared(bpcurrentinstance);
              qv::storeShared(execstatus, answer);
          })) {}
    ~PausedSupervisor() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool paused() { join(); return paused_; }
    int32_t location() { join(); return location_; }
    int32_t instance() { join(); return instance_; }

private:
    bool paused_ = false;
    int32_t location_ = 0;
    int32_t instance_ = 0;
    std::thread thread_;
};

class Breakpoints : public ::testing::Test {
protected:
    void SetUp() override {
        *execstatus = qv::kStatusRun;
        execstatus[1] = qv::kStatusRun;
        self_num = 3;
    }
    void listPair(int k, int location, int instance) {
        *locationAt(k) = location;
        *instanceAt(k) = instance;
    }
    MemoryImage image;
};

TEST_F(Breakpoints, AListedPairPausesUntilTheSupervisorAnswers) {
    *bpnoline = 2;
    listPair(1, 10, 1);
    listPair(2, 20, 1);
    testing::internal::CaptureStdout();
    PausedSupervisor supervisor(qv::kStatusRun);
    EXPECT_EQ(breakpoint_st(20, 1), 1);
    std::fflush(stdout);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(supervisor.paused());
    EXPECT_EQ(supervisor.location(), 20);
    EXPECT_EQ(supervisor.instance(), 1);
    EXPECT_EQ(status(), qv::kStatusRun);
    EXPECT_EQ(*bpcurrentinstance, 0);
    EXPECT_EQ(*signature, getSignature());
    EXPECT_EQ(console.rfind("Exec status change from RUN to PAUSE\n", 0), 0u) << console;
}

TEST_F(Breakpoints, StepGoesOnToTheNextBreakpointCallWhateverItsLocation) {
    *bpnoline = 1;
    listPair(1, 10, 1);
    {
        PausedSupervisor supervisor(qv::kStatusStep);
        breakpoint_st(10, 1);
        EXPECT_TRUE(supervisor.paused());
    }
    EXPECT_EQ(status(), qv::kStatusPause);
    PausedSupervisor supervisor(qv::kStatusRun);
    breakpoint_st(77, 4);
    EXPECT_EQ(supervisor.location(), 77);
    EXPECT_EQ(supervisor.instance(), 4);
    EXPECT_EQ(status(), qv::kStatusRun);
}

// The count is the supervisor's: the list has 101 places, and the slots after it belong
// to other control variables that must never be read as pairs.
TEST_F(Breakpoints, TheCountIsHeldToTheList) {
    listPair(101, 30, 1);
    // Place 102 would be `bpnoinstance` itself and `bpcurrentinstance`.
    *locationAt(102) = 40;
    *instanceAt(102) = 0;
    *bpcurrentinstance = 0;
    // A wrong pause would last until the watching supervisor answers it.
    const auto patience = std::chrono::milliseconds(200);
    for (int32_t count : {102, 500, INT32_MAX}) {
        *bpnoline = count;
        PausedSupervisor watch(qv::kStatusRun, patience);
        breakpoint_st(40, 0);
        EXPECT_FALSE(watch.paused()) << count;
    }
    for (int32_t count : {0, -1, INT32_MIN}) {
        *bpnoline = count;
        listPair(1, 30, 1);
        PausedSupervisor watch(qv::kStatusRun, patience);
        breakpoint_st(30, 1);
        EXPECT_FALSE(watch.paused()) << count;
    }
    *bpnoline = 101;
    listPair(1, 0, 0);
    PausedSupervisor supervisor(qv::kStatusRun);
    breakpoint_st(30, 1);
    EXPECT_TRUE(supervisor.paused());
}

TEST_F(Breakpoints, APauseLeftByTheSupervisorPausesAnyCall) {
    *bpnoline = 0;
    *execstatus = qv::kStatusPause;
    PausedSupervisor supervisor(qv::kStatusStop);
    breakpoint_st(5, 6);
    EXPECT_EQ(supervisor.location(), 5);
    EXPECT_EQ(status(), qv::kStatusStop);
}

TEST_F(Breakpoints, ErrorReportsStoreTheirFieldsAndTypeEightBreaks) {
    *bpnoline = 1;
    listPair(1, 50, 9);
    EXPECT_EQ(raise_debug_break(51, 2, 3, 9), 1);
    EXPECT_EQ(*bpcurrentlocation, 51);
    EXPECT_EQ(*bpcurrentprepostcode, 2);
    EXPECT_EQ(*bpcurrenttypeerror, 3);
    EXPECT_EQ(*bpcurrentrank, 9);
    EXPECT_EQ(*bpcurrentinstance, 3);  // self_num
    EXPECT_EQ(status(), qv::kStatusRun);

    PausedSupervisor supervisor(qv::kStatusRun);
    EXPECT_EQ(raise_debug_break(50, 4, 8, 9), 1);  // the rank is the instance
    EXPECT_EQ(supervisor.location(), 50);
    EXPECT_EQ(supervisor.instance(), 9);
    EXPECT_EQ(*bpcurrenttypeerror, 8);
    EXPECT_EQ(*bpcurrentinstance, 0);
    EXPECT_EQ(QV_error(), 0);
}

TEST_F(Breakpoints, AListedBooleanThatMovedStops) {
    QV_manage_breakpoints(image.base());  // empty table
    EXPECT_EQ(status(), qv::kStatusRun);
    image.setBool(9, true, true);
    image.setBool(10, false, true);
    image.setBool(11, true, false);  // not listed
    image.boolBreakpoints()[0] = 40;  // outside the area: ignored
    image.boolBreakpoints()[1] = -2;
    image.boolBreakpoints()[2] = 9;
    QV_manage_breakpoints(image.base());
    EXPECT_EQ(status(), qv::kStatusRun);
    image.boolBreakpoints()[3] = 10;
    QV_manage_breakpoints(image.base());
    EXPECT_EQ(status(), qv::kStatusStop);
    // After the freeze the change is seen.
    *execstatus = qv::kStatusRun;
    QV_freeze_memory_for_debug(image.base());
    QV_manage_breakpoints(image.base());
    EXPECT_EQ(status(), qv::kStatusRun);
}

TEST(StatusMessages, NamesAndTheEmptyNameOfUnknownCodes) {
    int32_t slot[3] = {qv::kStatusRun, qv::kStatusStop, 0};
    testing::internal::CaptureStdout();
    QV_hook(slot);
    slot[0] = 77;
    slot[1] = qv::kStatusPause;
    QV_hook(slot);
    slot[0] = qv::kStatusFree;
    slot[1] = qv::kStatusEnd;
    QV_hook(slot);
    slot[0] = qv::kStatusStep;
    slot[1] = -1;
    QV_hook(slot);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Exec status change from STOP to RUN\n"
              "Exec status change from PAUSE to \n"
              "Exec status change from END to FREE\n"
              "Exec status change from  to STEP\n");
}

}  // namespace
