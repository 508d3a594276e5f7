// qvctl's trace and breakpoint commands against real programs: a trace file produced
// through qvctl, a data breakpoint stopping a program, location breakpoints pairing with
// the test model's breakpoint calls.
#include <gtest/gtest.h>

#include "tests/programs/debug_supervisor.h"
#include "tests/programs/qvctl_driver.h"

namespace {

using qvtest::ctl;
using qvtest::CtlResult;
using qvtest::ProgramRun;

// The test model: Start B5, Lamp B6, Hold B7, Breaks B8, Blink B9, Counter I523.
const std::string kTestModel = "test_model_r3";

// The file's lines so far, once the program has written the pause line of its STOP.
std::string traceSoFar(const ProgramRun& run) {
    qvtest::waitUntil([&] { return qvtest::readFile(run.traceFile()).ends_with(" pause 0:1\n"); });
    return qvtest::readFile(run.traceFile());
}

TEST(QvctlTrace, ATraceFileProducedThroughQvctl) {
    ProgramRun run(kTestModel, "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    const std::string file = ", file " + run.traceFile() + "\n";
    EXPECT_CTL(ctl(run, {"trace", "add", "B5", "B6", "I523"}), 0, "traced: B5, B6, I523\n");
    EXPECT_CTL(ctl(run, {"trace", "add", "B5"}), 0, "B5 was already traced\n");
    EXPECT_CTL(ctl(run, {"trace", "on"}), 0, "tracing on" + file);
    EXPECT_CTL(ctl(run, {"trace", "list"}), 0, "B5\nB6\nI523\ntracing on" + file);
    EXPECT_CTL(ctl(run, {"set", "B5", "TRUE"}), 0, "B5 = TRUE\n");  // Start: the lamp lights, the counter counts
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 1\n");
    EXPECT_CTL(ctl(run, {"set", "B7", "TRUE"}), 0, "B7 = TRUE\n");  // Hold: the lamp goes out
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 2\n");
    EXPECT_CTL(ctl(run, {"trace", "remove", "B6"}), 0, "no longer traced: B6\n");  // a change of the list asks for a snapshot
    EXPECT_CTL(ctl(run, {"trace", "remove", "B6"}), 0, "B6 was not traced\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 3\n");
    EXPECT_CTL(ctl(run, {"trace", "snapshot"}), 0,
               "snapshot asked for: every traced value goes into the file in the next cycle\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 4\n");
    EXPECT_CTL(ctl(run, {"trace", "off"}), 0, "tracing off" + file);
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 5\n");
    EXPECT_TRACE(traceSoFar(run),
                 "{h}50\n"
                 "1 {t} pause 1:0\n"
                 "1 {t} trace 0:1\n1 {t} B5 0:1\n1 {t} B6 0:0\n1 {t} I523 0:0\n"
                 "1 {t} B6 0:1\n1 {t} I523 0:1\n"
                 "2 {t} pause 0:1\n"
                 "2 {t} pause 1:0\n"
                 "2 {t} B6 1:0\n2 {t} I523 1:2\n"
                 "3 {t} pause 0:1\n"
                 "3 {t} pause 1:0\n"
                 "3 {t} trace 1:1\n3 {t} B5 1:1\n3 {t} I523 2:2\n"
                 "3 {t} I523 2:3\n"
                 "4 {t} pause 0:1\n"
                 "4 {t} pause 1:0\n"
                 "4 {t} trace 1:1\n4 {t} B5 1:1\n4 {t} I523 3:3\n"
                 "4 {t} I523 3:4\n"
                 "5 {t} pause 0:1\n"
                 "5 {t} pause 1:0\n"
                 "5 {t} trace 1:0\n"
                 "6 {t} pause 0:1\n");

    // A reset restarts the file.
    EXPECT_CTL(ctl(run, {"trace", "reset"}), 0, "trace file restarts" + file);
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 6\n");
    ASSERT_EQ(ctl(run, {"end"}).status, 0);
    EXPECT_EQ(run.wait(), 0);
    EXPECT_TRACE(qvtest::readFile(run.traceFile()),
                 "{h}50\n"
                 "6 0 pause 1:0\n"
                 "6 0 trace 1:0\n"
                 "7 {t} pause 0:1\n"
                 "{(7 {t} pause 1:0\n{)?"  // STOP to FREE, when the last poll did not see END
                 "7 {t} end 0:0\n");
}

TEST(QvctlBreakpoints, ADataBreakpointStopsARunningProgram) {
    ProgramRun run("bistable_cylinder", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    auto plant = qv::platform::startProcess(
        {qvtest::programPath("qvctl"), "--name", run.imageName(), "plant", "--travel", "0.2", "--quiet"}, {}, "");
    ASSERT_TRUE(plant);
    ASSERT_TRUE(qvtest::waitUntil([&] { return (*run.image().boolSlot(9) & 1) != 0; }));  // CR from the plant
    EXPECT_CTL(ctl(run, {"break", "add", "EtatS"}), 0, "breakpoint: stop when EtatS changes\n");
    EXPECT_CTL(ctl(run, {"break", "add", "EtatS"}), 0, "EtatS already stops the program\n");
    EXPECT_CTL(ctl(run, {"break", "list"}), 0, "data EtatS\n");
    ASSERT_EQ(ctl(run, {"step", "2"}).status, 0);  // the cylinder finds its position
    EXPECT_CTL(ctl(run, {"set", "DS", "TRUE"}), 0, "DS = TRUE\n");
    ASSERT_EQ(ctl(run, {"run"}).status, 0);
    ASSERT_TRUE(qvtest::waitUntil([&] { return run.console().find("from RUN to STOP\n") != std::string::npos; }));
    EXPECT_CTL(ctl(run, {"get", "EtatS", "CS"}), 0, "EtatS = TRUE\nCS = TRUE\n");
    const CtlResult status = ctl(run, {"status"});
    EXPECT_NE(status.output.find("status     STOP\n"), std::string::npos) << status.output;
    EXPECT_CTL(ctl(run, {"break", "remove", "EtatS"}), 0, "breakpoint removed: EtatS\n");
    EXPECT_CTL(ctl(run, {"break", "remove", "EtatS"}), 0, "EtatS had no breakpoint\n");
    EXPECT_CTL(ctl(run, {"break", "list"}), 0, "no breakpoints\n");
    ASSERT_EQ(ctl(run, {"end"}).status, 0);
    EXPECT_EQ(qv::platform::waitProcess(*plant, 5000), 0);
}

// In every revision: the test model of each, its cycle counter starting at 1 in revision
// 3 and at 0 in the others.
TEST(QvctlBreakpoints, LocationBreakpointsPairWithTheModelsCalls) {
    for (int revision : {3, 2, 1}) {
        SCOPED_TRACE(revision);
        const int first = revision == 3 ? 1 : 0;
        auto cycle = [first](int k) { return std::to_string(first + k); };
        ProgramRun run("test_model_r" + std::to_string(revision), "qvctl");
        // The test model is no program qvctl knows: its revision numbers its cycles.
        auto ctl = [revision](const ProgramRun& r, std::vector<std::string> arguments) {
            arguments.insert(arguments.begin(), {"--revision", std::to_string(revision)});
            return qvtest::ctl(r, arguments);
        };
        ASSERT_TRUE(run.start());
        ASSERT_TRUE(run.waitUntilStopped());
        EXPECT_CTL(ctl(run, {"break", "add", "20", "1"}), 0, "breakpoint: pause at location 20, instance 1\n");
        EXPECT_CTL(ctl(run, {"set", "B8", "TRUE"}), 0, "B8 = TRUE\n");  // Breaks: the model calls (10, 1), (20, 1)
        EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle " + cycle(0) + " at location 20, instance 1\n");
        const CtlResult paused = ctl(run, {"status"});
        EXPECT_NE(paused.output.find("status     PAUSE\n"), std::string::npos) << paused.output;
        EXPECT_NE(paused.output.find("paused at  location 20, instance 1\n"), std::string::npos) << paused.output;
        EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle " + cycle(0) + "\n");

        // From one breakpoint call to the next.
        EXPECT_CTL(ctl(run, {"break", "add", "10", "1"}), 0, "breakpoint: pause at location 10, instance 1\n");
        EXPECT_CTL(ctl(run, {"break", "list"}), 0, "location 20 instance 1\nlocation 10 instance 1\n");
        EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle " + cycle(1) + " at location 10, instance 1\n");
        EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle " + cycle(1) + " at location 20, instance 1\n");
        EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle " + cycle(1) + "\n");

        // Another instance does not pause.
        EXPECT_CTL(ctl(run, {"break", "remove", "20", "1"}), 0,
                   "breakpoint removed: location 20, instance 1\n");
        EXPECT_CTL(ctl(run, {"break", "remove", "10", "1"}), 0,
                   "breakpoint removed: location 10, instance 1\n");
        EXPECT_CTL(ctl(run, {"break", "remove", "10", "1"}), 0, "location 10 instance 1 was not listed\n");
        EXPECT_CTL(ctl(run, {"break", "add", "20", "2"}), 0, "breakpoint: pause at location 20, instance 2\n");
        EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle " + cycle(2) + "\n");
        EXPECT_CTL(ctl(run, {"break", "list"}), 0, "location 20 instance 2\n");

        // END while paused: the cycle completes and the program leaves.
        EXPECT_CTL(ctl(run, {"break", "add", "10", "1"}), 0, "breakpoint: pause at location 10, instance 1\n");
        EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle " + cycle(3) + " at location 10, instance 1\n");
        EXPECT_CTL(ctl(run, {"end"}), 0,
                   "program " + std::to_string(run.pid()) + " ended after cycle " + cycle(3) + "\n");
        EXPECT_EQ(run.wait(), 0);
        // Each step was a status change the program saw.
        const std::string steps = qvtest::debug::statusLines(run.console());
        EXPECT_NE(steps.find("from STEP to STOP\nExec status change from STOP to STEP\n"), std::string::npos) << steps;
    }
}

}  // namespace
