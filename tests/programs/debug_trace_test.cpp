// The trace file of a real run, as a supervisor drives the program through its image.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/programs/debug_supervisor.h"

namespace {

using namespace std::chrono_literals;
using namespace qvtest::debug;
using qvtest::ProgramRun;

#if QV_REVISION == 3

// Adds an index to a trace table as a supervisor with its own mapping does: the table
// changes and `tracesnapshop` asks for a snapshot.
void traceVariable(qv::ImageView& image, int32_t tableOffset, int32_t index) {
    ASSERT_EQ(qv::addTraceIndex(index, image.indexTable(tableOffset), image.boolSlot(qv::kTracesnapshopSlot)), 1);
}

TEST(TraceFile, ARunWithTracingSwitchedOnAndOff) {
    ProgramRun run(kProgram, "trace");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    EXPECT_EQ(qvtest::readFile(run.traceFile()), "");  // cleared at start-up

    traceVariable(image, qv::kBoolTraceTableOffset, kBlink);
    traceVariable(image, qv::kIntTraceTableOffset, kCounter);
    traceVariable(image, qv::kCharTraceTableOffset, 40);
    setBool(image.boolSlot(kStart), true);
    setBool(image.boolSlot(qv::kTraceonSlot), true);
    ASSERT_TRUE(stepOnce(run));  // cycle 1: the switch, a snapshot, the step's changes

    setChar(image.charSlot(40), 'A');  // a change between cycles shows before the step
    ASSERT_TRUE(stepOnce(run));

    setBool(image.boolSlot(kStart), false);
    QV_force_float(image.base(), 5, 7.5f);  // a real nobody writes, forced and traced
    traceVariable(image, qv::kRealTraceTableOffset, 5);
    ASSERT_TRUE(stepOnce(run));
    ASSERT_TRUE(stepOnce(run));

    setBool(image.boolSlot(qv::kTraceonSlot), false);
    ASSERT_TRUE(stepOnce(run));
    ASSERT_TRUE(run.runCycles(2));
    ASSERT_TRUE(qvtest::waitUntil([&] { return acknowledged(image) == qv::kStatusStop; }));
    ASSERT_EQ(run.end(), 0);

    EXPECT_TRACE(qvtest::readFile(run.traceFile()),
                 "{h}50\n"
                 "1 {t} pause 1:0\n"
                 "1 {t} trace 0:1\n1 {t} B9 0:0\n1 {t} I523 0:0\n1 {t} C40 0:0\n"
                 "1 {t} B9 0:1\n1 {t} I523 0:1\n"
                 "2 {t} pause 0:1\n"
                 "2 {t} pause 1:0\n"
                 "2 {t} C40 0:65\n"
                 "2 {t} B9 1:0\n2 {t} I523 1:2\n"
                 "3 {t} pause 0:1\n"
                 "3 {t} pause 1:0\n"
                 "3 {t} trace 1:1\n3 {t} B9 0:0\n3 {t} I523 2:2\n3 {t} F5 7.5:7.5\n3 {t} C40 65:65\n"
                 "3 {t} B9 0:1\n3 {t} F5 7.5:7.5\n"
                 "4 {t} pause 0:1\n"
                 "4 {t} pause 1:0\n"
                 "4 {t} B9 1:0\n4 {t} F5 7.5:7.5\n"
                 "5 {t} pause 0:1\n"
                 "5 {t} pause 1:0\n"
                 "5 {t} trace 1:0\n"
                 "6 {t} pause 0:1\n"
                 "6 {t} pause 1:0\n"
                 "{t} {t} pause 0:1\n"
                 "{({t} {t} pause 1:0\n{)?"
                 "{t} {t} end 0:0\n");

    const std::string lines = statusLines(run.console());
    std::string expected = "Exec status change from FREE to STOP\n";
    for (int i = 0; i < 5; ++i)
        expected += "Exec status change from STOP to STEP\nExec status change from STEP to STOP\n";
    expected += "Exec status change from STOP to RUN\nExec status change from RUN to STOP\n";
    // END written while the program sleeps between polls is seen at the loop's exit, after
    // the status became FREE; written just before a poll, it is acknowledged there.
    EXPECT_TRUE(lines == expected + "Exec status change from STOP to FREE\n" ||
                lines == expected + "Exec status change from STOP to END\nExec status change from END to FREE\n")
        << lines;
}

TEST(TraceFile, AResetRestartsTheFileWithTheFirstHeaderTime) {
    ProgramRun run(kProgram, "reset");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    traceVariable(image, qv::kIntTraceTableOffset, kCounter);
    setBool(image.boolSlot(kStart), true);
    setBool(image.boolSlot(qv::kTraceonSlot), true);
    ASSERT_TRUE(stepOnce(run));
    ASSERT_TRUE(qvtest::waitUntil([&] { return qvtest::readFile(run.traceFile()).find("2 ") != std::string::npos; }));
    const std::string first = qvtest::readFile(run.traceFile());
    EXPECT_TRACE(first, "{h}50\n1 {t} pause 1:0\n1 {t} trace 0:1\n1 {t} I523 0:0\n1 {t} I523 0:1\n2 {t} pause 0:1\n");
    const std::string header = first.substr(0, first.find('\n') + 1);

    std::this_thread::sleep_for(1100ms);  // the reopening must not take a new time
    qv::ImageView::write(image.simuperiod(), 40000.0f);
    setBool(image.boolSlot(qv::kResettraceSlot), true);
    ASSERT_TRUE(stepOnce(run));
    ASSERT_EQ(run.end(), 0);

    const std::string second = qvtest::readFile(run.traceFile());
    EXPECT_EQ(second.substr(0, header.size()), header);
    EXPECT_FALSE(boolValue(image.boolSlot(qv::kResettraceSlot)));
    EXPECT_TRACE(second,
                 "{h}40\n"
                 "2 0 pause 1:0\n2 0 trace 1:0\n2 {t} trace 0:1\n2 {t} I523 1:1\n"
                 "2 {t} I523 1:2\n"
                 "3 {t} pause 0:1\n"
                 "{(3 {t} pause 1:0\n{)?"
                 "3 {t} end 0:0\n");
}

#endif  // QV_REVISION == 3

#if QV_REVISION == 2

TEST(TraceFile, RevisionTwoRecordsChangesOncePerCycle) {
    ProgramRun run(kProgram, "trace2");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    EXPECT_TRACE(qvtest::readFile(run.traceFile()), "{h}");  // opened at start-up

    ASSERT_EQ(QV_addIndex(kBlink, image.indexTable(qv::kBoolTraceTableOffset)), 1);
    ASSERT_EQ(QV_addIndex(kCounter, image.indexTable(qv::kIntTraceTableOffset)), 1);
    ASSERT_EQ(QV_addIndex(kSteps, image.indexTable(qv::kIntTraceTableOffset)), 1);
    ASSERT_EQ(QV_addIndex(40, image.indexTable(qv::kCharTraceTableOffset)), 1);
    setBool(image.boolSlot(kStart), true);
    setBool(image.boolSlot(qv::kTraceonSlot), true);
    ASSERT_TRUE(stepOnce(run));
    setChar(image.charSlot(40), 'A');
    ASSERT_TRUE(stepOnce(run));
    setChar(image.charSlot(40), 'B');
    ASSERT_TRUE(stepOnce(run));
    const std::string expected =
        "{h}50000\n"
        "1 B9 0:1\n1 I523 0:1\n1 I524 0:1\n1 C40 0:65\n"
        "2 B9 1:0\n2 I523 1:2\n2 I524 1:2\n2 C40 A:B\n";
    ASSERT_TRUE(qvtest::waitUntil([&] {
        return std::regex_match(qvtest::readFile(run.traceFile()), tracePattern(expected));
    })) << qvtest::readFile(run.traceFile());

    setBool(image.boolSlot(qv::kResettraceSlot), true);
    ASSERT_TRUE(stepOnce(run));
    ASSERT_EQ(run.end(), 0);
    EXPECT_FALSE(boolValue(image.boolSlot(qv::kResettraceSlot)));
    EXPECT_TRACE(qvtest::readFile(run.traceFile()), "{h}50000\n3 B9 0:1\n3 I523 2:3\n3 I524 2:3\n");
}

TEST(TraceFile, RevisionTwoStopsTracingBeyondAMillionBytes) {
    ProgramRun run(kProgram, "limit");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    int32_t* ints = image.indexTable(qv::kIntTraceTableOffset);
    for (int32_t i : {kCounter, kSteps, 553}) ASSERT_EQ(QV_addIndex(i, ints), 1);  // 553: the cycle counter
    ASSERT_EQ(QV_addIndex(kBlink, image.indexTable(qv::kBoolTraceTableOffset)), 1);
    qv::ImageView::write(image.simuperiod(), 100.0f);  // as fast as the program goes
    setBool(image.boolSlot(kStart), true);
    setBool(image.boolSlot(qv::kTraceonSlot), true);
    write(image.execstatus(), qv::kStatusRun);

    namespace fs = std::filesystem;
    const auto size = [&] { return fs::file_size(run.traceFile()); };
    ASSERT_TRUE(qvtest::waitUntil([&] { return size() > 1000000; }, 120s));
    const int32_t closedNear = read(image.cycleCounter());
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(image.cycleCounter()) > closedNear + 500; }));
    const auto final = size();
    EXPECT_LE(final, 1000000u + 200u);  // at most one cycle's lines past the limit
    ASSERT_TRUE(qvtest::waitUntil([&] { return read(image.cycleCounter()) > closedNear + 1000; }));
    EXPECT_EQ(size(), final);
    ASSERT_EQ(run.end(30s), 0);

    const std::string text = qvtest::readFile(run.traceFile());
    EXPECT_EQ(text.size(), final);
    EXPECT_EQ(text.substr(text.find('\n') + 1, 4), "100\n");
    EXPECT_EQ(text.back(), '\n');
    EXPECT_TRUE(std::regex_match(text.substr(text.rfind('\n', text.size() - 2) + 1),
                                 std::regex("[0-9]+ (I523|I524|I553|B9) [0-9]+:[0-9]+\n")));
}

#endif  // QV_REVISION == 2

}  // namespace
