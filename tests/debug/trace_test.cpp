// The trace recorder in the test process, on an image laid out in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <regex>
#include <set>
#include <string>

#include "runtime/platform/platform.h"
#include "tests/debug/memory_image.h"
#include "tests/support/program_run.h"

namespace {

using qvtest::MemoryImage;

// The first line of a trace file: the calendar time as ctime writes it.
const std::regex kHeaderTime("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n");

class TraceRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        qv::tracename = qv::platform::temporaryDirectory() + "/qv_trace_unit_" +
                        std::to_string(qv::platform::processId()) + ".trc";
        currentMilliseconds = 600.0;
        *qv::cycleCounterSlot() = 12;
    }
    void TearDown() override {
        if (trace != nullptr) std::fclose(trace);
        trace = nullptr;
        std::remove(qv::tracename.c_str());
    }
    std::string text() {
        if (trace != nullptr) std::fflush(trace);
        return qvtest::readFile(qv::tracename);
    }
    // The file without its header time, which must be there.
    std::string afterHeaderTime() {
        const std::string all = text();
        const std::size_t end = all.find('\n');
        EXPECT_NE(end, std::string::npos);
        const std::string first = all.substr(0, end + 1);
        EXPECT_TRUE(std::regex_match(first, kHeaderTime)) << first;
        return all.substr(end + 1);
    }
    void traceOn() { *traceon |= 3; }
    MemoryImage image;
};

#if QV_REVISION == 3

TEST_F(TraceRecorder, ChangedValuesAfterTheStepAndForcedOnesToo) {
    image.setBool(9, true, false);
    image.setBool(10, true, true);
    image.setInt(523, 5, 3);
    image.setInt(524, 2, 2);
    image.setReal(16, std::numeric_limits<float>::infinity(), -0.0f);
    image.setChar(53, 65, 0);
    QV_force_int(image.base(), 530, -7);
    for (int i : {9, 10}) QV_addIndex(i, image.boolTrace());
    for (int i : {7, 523, 524, 530}) QV_addIndex(i, image.intTrace());  // 7: slot of no one, unchanged
    QV_addIndex(16, image.realTrace());
    QV_addIndex(53, image.charTrace());
    traceOn();

    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(afterHeaderTime(),
              "50\n"
              "12 600 B9 0:1\n"
              "12 600 I523 3:5\n"
              "12 600 F16 -0:inf\n"
              "12 600 C53 0:65\n");
    QV_manage_trace(image.base(), 1);
    EXPECT_EQ(afterHeaderTime(),
              "50\n"
              "12 600 B9 0:1\n12 600 I523 3:5\n12 600 F16 -0:inf\n12 600 C53 0:65\n"
              "12 600 B9 0:1\n12 600 I523 3:5\n12 600 I530 -7:-7\n12 600 F16 -0:inf\n12 600 C53 0:65\n");
}

TEST_F(TraceRecorder, RealsCompareAsReals) {
    image.setReal(11, 0.0f, -0.0f);
    image.setReal(12, NAN, NAN);
    image.setReal(13, 1e-40f, 1e-40f);
    for (int i : {11, 12, 13}) QV_addIndex(i, image.realTrace());
    traceOn();
    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(afterHeaderTime(), "50\n12 600 F12 nan:nan\n");
}

TEST_F(TraceRecorder, SwitchingOnWritesASnapshotAndSwitchingOffDoesNot) {
    image.setInt(523, 3, 3);
    image.setChar(53, 'A', 'A');
    QV_addIndex(523, image.intTrace());
    QV_addIndex(53, image.charTrace());
    *traceon = 1;
    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(*traceon & 3, 3);
    image.setInt(523, 4, 3);
    *traceon = 2;
    QV_manage_trace(image.base(), 1);
    EXPECT_EQ(*traceon & 3, 0);
    QV_manage_trace(image.base(), 0);  // off and unchanged: nothing
    EXPECT_EQ(afterHeaderTime(),
              "50\n"
              "12 600 trace 0:1\n12 600 I523 3:3\n12 600 C53 65:65\n"
              "12 600 trace 1:0\n");
}

TEST_F(TraceRecorder, ASnapshotRequestIsAnsweredOnceWhileTracing) {
    image.setBool(9, true, false);
    QV_addIndex(9, image.boolTrace());
    *tracesnapshop = 1;
    QV_manage_trace(image.base(), 0);  // tracing off: no line, the request is dropped
    EXPECT_EQ(*tracesnapshop & 1, 0);
    traceOn();
    *tracesnapshop = 1;
    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(*tracesnapshop & 1, 0);
    EXPECT_EQ(afterHeaderTime(), "50\n12 600 trace 1:1\n12 600 B9 0:1\n");
}

TEST_F(TraceRecorder, AResetRestartsTheFile) {
    image.setInt(523, 8, 8);
    QV_addIndex(523, image.intTrace());
    traceOn();
    ASSERT_EQ(openTrace(), 1);
    const std::string firstHeader = text().substr(0, text().find('\n') + 1);
    std::fputs("earlier lines\n", trace);
    *execstatus = qv::kStatusStop;
    *resettrace = 1;
    *qv::cycleCounterSlot() = 30;
    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(*resettrace & 1, 0);
    EXPECT_EQ(text().substr(0, firstHeader.size()), firstHeader);  // the time of the first opening
    EXPECT_EQ(afterHeaderTime(),
              "50\n30 0 pause 0:1\n30 0 trace 1:0\n30 600 trace 0:1\n30 600 I523 8:8\n");

    *traceon = 0;
    *execstatus = qv::kStatusRun;
    *resettrace = 1;
    *simuperiod = 20000.0f;
    QV_manage_trace(image.base(), 1);
    EXPECT_EQ(afterHeaderTime(), "20\n30 0 pause 1:0\n30 0 trace 1:0\n");
}

TEST_F(TraceRecorder, TheEndLineComesLastAndClosesTheFile) {
    ASSERT_EQ(openTrace(), 1);
    EXPECT_EQ(closeTrace(), 1);
    EXPECT_EQ(trace, nullptr);
    EXPECT_TRUE(std::regex_match(afterHeaderTime(), std::regex("50\n12 [0-9]+ end 0:0\n")));
    EXPECT_EQ(closeTrace(), 1);  // nothing open: nothing written
}

TEST_F(TraceRecorder, ClearingEmptiesTheFileAndLeavesItClosed) {
    ASSERT_EQ(openTrace(), 1);
    EXPECT_EQ(clearTrace(), 1);
    EXPECT_EQ(trace, nullptr);
    EXPECT_EQ(text(), "");
}

TEST_F(TraceRecorder, AnUnopenableFileIsReportedAtEachAttempt) {
    qv::tracename = "/nonexistent-folder/x.trc";
    testing::internal::CaptureStderr();
    EXPECT_EQ(openTrace(), 0);
    EXPECT_EQ(clearTrace(), 0);
    traceOn();
    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(QV_manage_pause_trace(), 0);
    const std::string message = "unable to open trace file /nonexistent-folder/x.trc\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message + message + message + message);
    EXPECT_EQ(*traceon & 3, 3);
}

// Every change of status that the handler acknowledges, and whether it marks a pause.
TEST_F(TraceRecorder, StatusChangesGiveTheirPauseLines) {
    using namespace qv;
    // (before, now) pairs that write a pause line.
    const std::set<std::pair<int, int>> marked = {
        {kStatusFree, kStatusRun}, {kStatusFree, kStatusStop}, {kStatusStop, kStatusFree},
        {kStatusStop, kStatusRun}, {kStatusStop, kStatusStep}, {kStatusStop, kStatusPause},
        {kStatusStop, 9},          {kStatusRun, kStatusStop},  {kStatusStep, kStatusStop},
        {kStatusEnd, kStatusStop}, {kStatusPause, kStatusStop}, {9, kStatusStop}};
    ASSERT_EQ(openTrace(), 1);
    const std::vector<int> codes = {0, 1, 2, 3, 4, 5, 9};
    for (int before : codes) {
        for (int now : codes) {
            if (before == now) continue;
            const std::size_t length = text().size();
            execstatus[0] = now;
            execstatus[1] = before;
            testing::internal::CaptureStdout();
            EXPECT_EQ(QV_manage_exec_status(execstatus), now);
            std::fflush(stdout);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("Exec status change from ") +
                                                                  statusName(before) + " to " + statusName(now) + "\n");
            EXPECT_EQ(execstatus[1], now);
            const std::string added = text().substr(length);
            if (marked.count({before, now}) == 0) {
                EXPECT_EQ(added, "") << before << " " << now;
            } else {
                const char* expected = now == kStatusStop ? "12 [0-9]+ pause 0:1\n" : "12 [0-9]+ pause 1:0\n";
                EXPECT_TRUE(std::regex_match(added, std::regex(expected))) << before << " " << now << " " << added;
            }
        }
    }
    // An unchanged status is neither printed nor traced.
    testing::internal::CaptureStdout();
    const std::size_t length = text().size();
    EXPECT_EQ(QV_manage_exec_status(execstatus), execstatus[0]);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(text().size(), length);
}

// The per-cycle calls: the step's changes are traced after it, a listed boolean that
// is also a data breakpoint still stops the program, and every listed variable ends
// frozen, whether tracing is on or off.
TEST_F(TraceRecorder, TheCallsAroundTheStepTraceStopAndFreeze) {
    for (int i : {9, 10}) QV_addIndex(i, image.boolTrace());
    QV_addIndex(10, image.boolBreakpoints());
    QV_addIndex(523, image.intTrace());
    QV_addIndex(12, image.realTrace());
    QV_addIndex(53, image.charTrace());
    *execstatus = qv::kStatusRun;
    for (bool tracing : {true, false}) {
        *traceon = tracing ? 3 : 0;
        ASSERT_EQ(openTrace(), 1);
        QV_manage_debug_informations_pre(image.base());
        image.setBool(9, true, false);  // the step
        image.setBool(10, true, false);
        image.setInt(523, 4, 3);
        image.setReal(12, 2.0f, 1.0f);
        image.setChar(53, 'b', 'a');
        QV_manage_debug_informations_post(image.base());
        EXPECT_EQ(*execstatus, qv::kStatusStop);
        const std::string lines = tracing ? "12 [0-9]+ B9 0:1\n12 [0-9]+ B10 0:1\n12 [0-9]+ I523 3:4\n"
                                            "12 [0-9]+ F12 1:2\n12 [0-9]+ C53 97:98\n"
                                          : "";
        EXPECT_TRUE(std::regex_match(afterHeaderTime(), std::regex("50\n" + lines))) << text();
        EXPECT_EQ(*image.boolSlot(9) & 3, 3);
        EXPECT_EQ(*image.boolSlot(10) & 3, 3);
        EXPECT_EQ(image.intSlot(523)[1], 4);
        EXPECT_EQ(image.realSlot(12)[1], 2.0f);
        EXPECT_EQ(image.charSlot(53)[1], 'b');
        image.setBool(9, false, false);
        image.setBool(10, false, false);
        *execstatus = qv::kStatusRun;
    }
}

TEST_F(TraceRecorder, APauseLineOpensTheFileFirst) {
    *execstatus = qv::kStatusStop;
    EXPECT_EQ(QV_manage_pause_trace(), 1);
    EXPECT_TRUE(std::regex_match(afterHeaderTime(), std::regex("50\n12 [0-9]+ pause 0:1\n")));
}

#endif  // QV_REVISION == 3

#if QV_REVISION == 2

// The recorder writes only while the file is open and tracing is on; a reset restarts the
// file with a new header time and asks for the period line again.
TEST_F(TraceRecorder, RecordsChangesWithoutTime) {
    image.setBool(9, true, false);
    image.setInt(523, 5, 3);
    image.setReal(16, 0.5f, -1e-30f);
    image.setChar(53, 'B', 'A');
    image.setChar(52, 32, 'A');
    QV_addIndex(9, image.boolTrace());
    QV_addIndex(523, image.intTrace());
    QV_addIndex(16, image.realTrace());
    QV_addIndex(53, image.charTrace());
    QV_addIndex(52, image.charTrace());
    QV_force_int(image.base(), 524, 1);
    QV_addIndex(524, image.intTrace());

    QV_manage_trace(image.base(), 0);  // no file: nothing
    ASSERT_EQ(openTrace(), 1);
    QV_manage_trace(image.base(), 0);  // tracing off: nothing
    EXPECT_EQ(afterHeaderTime(), "");

    *traceon = 1;
    *resettrace = 1;
    QV_manage_trace(image.base(), 1);
    EXPECT_EQ(*resettrace & 1, 0);
    EXPECT_EQ(afterHeaderTime(),
              "50000\n12 B9 0:1\n12 I523 3:5\n12 F16 -1e-30:0.5\n12 C53 A:B\n12 C52 65:32\n");
    QV_manage_debug_informations(image.base());  // records again, then freezes
    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(afterHeaderTime(),
              "50000\n12 B9 0:1\n12 I523 3:5\n12 F16 -1e-30:0.5\n12 C53 A:B\n12 C52 65:32\n"
              "12 B9 0:1\n12 I523 3:5\n12 F16 -1e-30:0.5\n12 C53 A:B\n12 C52 65:32\n");

    *resettrace = 1;
    *simuperiod = 1234.9f;
    image.setInt(523, 6, 5);
    QV_manage_trace(image.base(), 0);
    EXPECT_EQ(afterHeaderTime(), "1234\n12 I523 5:6\n");
}

TEST_F(TraceRecorder, StopsForGoodBeyondAMillionBytes) {
    ASSERT_EQ(openTrace(), 1);
    *traceon = 1;
    *resettrace = 1;
    for (int i = 1; i < 1000; ++i) QV_addIndex(i, image.intTrace());  // 554 real slots
    long written = 0;
    int cycles = 0;
    while (trace != nullptr) {
        for (int i = 1; i < 555; ++i) image.intSlot(i)[0] += 1;
        QV_manage_debug_informations(image.base());
        qv::flushTrace();
        ++cycles;
        ASSERT_LT(cycles, 1000);
        if (trace != nullptr) written = std::ftell(trace);
    }
    const std::size_t size = text().size();
    EXPECT_LE(written, 1000000);
    EXPECT_GT(size, 1000000u);
    EXPECT_EQ(text().back(), '\n');
    for (int i = 1; i < 555; ++i) image.intSlot(i)[0] += 1;
    *resettrace = 1;
    QV_manage_debug_informations(image.base());
    qv::flushTrace();
    EXPECT_EQ(text().size(), size);
    EXPECT_EQ(*resettrace & 1, 1);  // nothing runs any more, not even a reset
}

TEST_F(TraceRecorder, StatusChangesAreOnlyPrinted) {
    ASSERT_EQ(openTrace(), 1);
    execstatus[0] = qv::kStatusRun;
    execstatus[1] = qv::kStatusStop;
    testing::internal::CaptureStdout();
    EXPECT_EQ(QV_manage_exec_status(execstatus), qv::kStatusRun);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Exec status change from STOP to RUN\n");
    EXPECT_EQ(afterHeaderTime(), "");
    EXPECT_EQ(closeTrace(), 1);
    EXPECT_EQ(afterHeaderTime(), "");  // no end line
}

#endif  // QV_REVISION == 2

// Whatever the supervisor writes into the tables, the recorder and the freeze touch only
// slots of the image (AddressSanitizer watches the bytes around it) and write a line for
// listed indexes that name a slot.
TEST_F(TraceRecorder, RandomTablesStayInsideTheImage) {
    std::mt19937 random(23);
    ASSERT_EQ(openTrace(), 1);
    traceOn();
    for (int round = 0; round < 50; ++round) {
        for (int32_t offset : {qv::kBoolTraceTableOffset, qv::kIntTraceTableOffset, qv::kRealTraceTableOffset,
                               qv::kCharTraceTableOffset, qv::kBoolBreakpointTableOffset}) {
            int32_t* t = image.table(offset);
            for (int p = 0; p < 1000; ++p) {
                const uint32_t r = random();
                t[p] = (r & 3) == 0 ? static_cast<int32_t>(random()) : static_cast<int32_t>(r % 700) - 50;
            }
        }
        for (int i = 0; i < 555; ++i) image.intSlot(i)[0] = static_cast<int32_t>(random());
#if QV_REVISION == 3
        *tracesnapshop = static_cast<unsigned char>(random() & 1);
#endif
        *resettrace = static_cast<unsigned char>((random() % 8) == 0);
        *execstatus = qv::kStatusRun;
        if constexpr (qv::kRevision == 3) {
            QV_manage_debug_informations_pre(image.base());
            QV_manage_debug_informations_post(image.base());
        } else {
            QV_manage_debug_informations(image.base());
        }
        qv::flushTrace();
    }
    SUCCEED();
}

}  // namespace
