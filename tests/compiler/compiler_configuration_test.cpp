// Configurations compiled by qvc: tasks released by simulated time at the greatest common
// divisor of their intervals, higher priority first, programs wired to globals and named
// by their full paths; malformed configurations and their diagnostics.
#include <gtest/gtest.h>

#include <vector>

#include "tests/compiler/compiler_support.h"
#include "tests/programs/qvctl_driver.h"

namespace qvtest::compiler {
namespace {

// `%s` is replaced by the two tasks' priorities.
std::string cell(const char* fastPriority, const char* slowPriority) {
    std::string s = R"(PROGRAM Filling
VAR_INPUT Start : BOOL; END_VAR
VAR_OUTPUT Valve : BOOL; END_VAR
VAR_EXTERNAL Bottles : INT; END_VAR
VAR Seen : INT; END_VAR
Seen := Bottles;
INITIAL_STEP Idle: END_STEP
STEP Fill: Valve(N); END_STEP
TRANSITION FROM Idle TO Fill := Start; END_TRANSITION
TRANSITION FROM Fill TO Idle := Fill.T >= T#300ms; END_TRANSITION
END_PROGRAM
PROGRAM Counter
VAR_EXTERNAL Bottles : INT; END_VAR
Bottles := Bottles + 1;
END_PROGRAM
CONFIGURATION Cell
VAR_GLOBAL
    Bottles : INT;
    Go AT %IX0.0 : BOOL := TRUE;
    Open AT %QX0.0 : BOOL;
END_VAR
RESOURCE Res1 ON PLC
    TASK Fast (INTERVAL := T#20ms, PRIORITY := FAST);
    TASK Slow (INTERVAL := T#100ms, PRIORITY := SLOW);
    PROGRAM Main WITH Slow : Filling (Start := Go, Valve => Open);
    PROGRAM Count WITH Fast : Counter;
END_RESOURCE
END_CONFIGURATION
)";
    s.replace(s.find("FAST);"), 4, fastPriority);
    s.replace(s.find("SLOW);"), 4, slowPriority);
    return s;
}

struct Scenario {
    const char* name;
    std::string source;
    int cycles;
    std::vector<std::pair<const char*, const char*>> expected;
};

TEST(Configurations, ReleaseTasksBySimulatedTimeAndPriority) {
    const std::vector<Scenario> runs = {
        // The fast task first: the slow program sees this cycle's count.
        {"config_fast_first", cell("1", "2"), 1,
         {{"Cell.Bottles", "1"}, {"Cell.Res1.Main.Seen", "1"}, {"Cell.Res1.Main.Fill.X", "TRUE"}, {"Cell.Open", "TRUE"},
          {"Cell.Res1.Fast", "TRUE"}, {"Cell.Res1.Slow", "TRUE"}}},
        {"config_slow_first", cell("2", "1"), 1, {{"Cell.Bottles", "1"}, {"Cell.Res1.Main.Seen", "0"}}},
        // Six cycles of 20 ms: the slow task ran in the first and the sixth; its step counts 100 ms a call.
        {"config_six", cell("1", "2"), 6,
         {{"Cell.Bottles", "6"}, {"Cell.Res1.Main.Seen", "6"}, {"Cell.Res1.Main.Fill.T", "0/1000"}, {"Cell.Res1.Slow", "TRUE"},
          {"Cell.Res1.Cycle", "1"}}},
        {"config_five", cell("1", "2"), 5, {{"Cell.Res1.Main.Seen", "1"}, {"Cell.Res1.Slow", "FALSE"}, {"Cell.Res1.Fast", "TRUE"}}},
        // The step leaves once it has been active 300 ms: at the fifth release of the slow task.
        {"config_sixteen", cell("1", "2"), 16, {{"Cell.Res1.Main.Fill.X", "TRUE"}, {"Cell.Res1.Main.Fill.T", "0/3000"}, {"Cell.Open", "TRUE"}}},
        {"config_21", cell("1", "2"), 21, {{"Cell.Res1.Main.Idle.X", "TRUE"}, {"Cell.Open", "FALSE"}, {"Cell.Bottles", "21"}}},
    };
    for (const Scenario& r : runs) {
        const Result built = buildProgram(r.name, r.source);
        ASSERT_EQ(built.status, 0) << built.output;
        const nlohmann::json symbols = symbolsOf(r.name);
        EXPECT_EQ((*entry(symbols, "Cell.Go"))["address"], "%IX0.0");
        EXPECT_EQ((*entry(symbols, "Cell.Open"))["direction"], "output");
        ProgramRun run("qvct_" + std::string(r.name), "cfg");
        ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
        ASSERT_TRUE(run.waitUntilStopped()) << run.console();
        EXPECT_EQ(qv::ImageView::read(run.image().simuperiod()), 20000.0f);  // the intervals' divisor
        for (int k = 0; k < r.cycles; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
        for (const auto& [name, value] : r.expected) EXPECT_EQ(valueOf(run.image(), symbols, name), value) << r.name << " " << name;
        EXPECT_EQ(run.end(), 0);
    }
}

// qvctl takes the end of a full path where it names one variable or step, and a step
// breakpoint by full path pauses the program as the step becomes active.
TEST(Configurations, QvctlTakesShortAndFullPaths) {
    const Result built = buildProgram("config_paths", cell("1", "2"));
    ASSERT_EQ(built.status, 0) << built.output;
    ProgramRun run("qvct_config_paths", "cfgpaths");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    EXPECT_CTL(ctl(run, {"get", "Main.Idle.X"}), 0, "Cell.Res1.Main.Idle.X = TRUE\n");
    EXPECT_CTL(ctl(run, {"get", "X"}), 1, "qvctl: X is ambiguous: Cell.Res1.Main.Idle.X, Cell.Res1.Main.Fill.X\n");
    EXPECT_CTL(ctl(run, {"break", "add", "Cell.Res1.Main.Fill"}), 0,
               "breakpoint: pause when Cell.Res1.Main.Fill (location 8, instance 3) becomes active\n");
    EXPECT_CTL(ctl(run, {"run"}), 0, "PAUSE in cycle 1\n");
    EXPECT_CTL(ctl(run, {"get", "Fill.X"}), 0, "Cell.Res1.Main.Fill.X = TRUE\n");
    EXPECT_CTL(ctl(run, {"break", "remove", "Main.Fill"}), 0,
               "breakpoint removed: Cell.Res1.Main.Fill (location 8, instance 3)\n");
    EXPECT_CTL(ctl(run, {"stop"}), 0, "STOP after cycle 1\n");
    EXPECT_EQ(run.end(), 0);
}

TEST(Configurations, MistakesAreDiagnosed) {
    const char* base = R"(PROGRAM P
VAR x : INT; END_VAR
x := x + 1;
END_PROGRAM
CONFIGURATION C
RESOURCE R ON PLC
%s
END_RESOURCE
END_CONFIGURATION
)";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"    TASK E (SINGLE := TRUE, PRIORITY := 1);\n    PROGRAM I WITH E : P;", "7:10: error: task E has no INTERVAL: event tasks (SINGLE) are not supported"},
        {"    TASK T (INTERVAL := T#20ms);\n    PROGRAM I WITH T : Q;", "8:24: error: no PROGRAM named Q"},
        {"    TASK T (INTERVAL := T#20ms);\n    PROGRAM I WITH U : P;", "8:20: error: no task named U in resource R"},
        {"    TASK T (INTERVAL := 20);\n    PROGRAM I WITH T : P;", "7:25: error: INTERVAL takes a positive duration in whole milliseconds, such as T#20ms"},
        {"    TASK T (INTERVAL := T#20ms, COLOUR := 1);", "7:33: error: a task has INTERVAL, PRIORITY or SINGLE, not COLOUR"},
        {"    TASK Cycle (INTERVAL := T#20ms);\n    PROGRAM I WITH Cycle : P;", "7:10: error: a task cannot be named Cycle: the resource counts its cycles in R.Cycle"},
    };
    int k = 0;
    for (const auto& [body, expected] : cases) {
        std::string source = base;
        source.replace(source.find("%s"), 2, body);
        const std::string name = "config_bad" + std::to_string(++k);
        const Result r = qvcOn("check", name, source);
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find(name + ".st:" + expected), std::string::npos) << r.output;
    }
}

}  // namespace
}  // namespace qvtest::compiler
