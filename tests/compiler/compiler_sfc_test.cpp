// Sequential function charts compiled by qvc: a table of charts run for a number of cycles
// with the values their steps, actions and variables must hold; malformed charts and
// their diagnostics; a step breakpoint that pauses when the step becomes active.
#include <gtest/gtest.h>

#include <vector>

#include "tests/compiler/compiler_support.h"
#include "tests/programs/qvctl_driver.h"

namespace qvtest::compiler {
namespace {

struct Chart {
    const char* name;
    int cycles;
    const char* source;
    std::vector<std::pair<const char*, const char*>> expected;
};

// Two transitions leave S0: the lower PRIORITY wins although it is written second.
const char* kPriority = R"(PROGRAM Main
VAR a, b : BOOL; END_VAR
INITIAL_STEP S0: END_STEP
STEP S1: a(N); END_STEP
STEP S2: b(N); END_STEP
TRANSITION (PRIORITY := 2) FROM S0 TO S1 := TRUE; END_TRANSITION
TRANSITION (PRIORITY := 1) FROM S0 TO S2 := TRUE; END_TRANSITION
END_PROGRAM
)";

// Simultaneous divergence and convergence; the convergence waits for both branches; a P1
// action runs with Q once and once more for its final scan.
const char* kParallel = R"(PROGRAM Main
VAR n, m : INT; END_VAR
INITIAL_STEP Start: END_STEP
STEP A1: END_STEP
STEP A2: END_STEP
STEP B1: END_STEP
STEP Join: Count(P1); END_STEP
TRANSITION FROM Start TO (A1, B1) := TRUE; END_TRANSITION
TRANSITION FROM A1 TO A2 := TRUE; END_TRANSITION
TRANSITION FROM (A2, B1) TO Join := TRUE; END_TRANSITION
TRANSITION Again FROM Join TO Start :
    Again := Join.T >= T#100ms;
END_TRANSITION
ACTION Count:
    n := n + 1;
    IF Count.Q THEN m := m + 1; END_IF;
END_ACTION
END_PROGRAM
)";

// Stored, reset, limited, delayed and P0 qualifiers, timed in simulated time (50 ms a cycle).
const char* kQualifiers = R"(PROGRAM Main
VAR held, limited, delayed, stored_late, byes : BOOL; count : INT; END_VAR
INITIAL_STEP S0: END_STEP
STEP S1: held(S); limited(L, T#100ms); delayed(D, T#100ms); stored_late(SD, T#100ms); END_STEP
STEP S2: held(R); stored_late(R); Bye(P0); END_STEP
STEP S3: END_STEP
TRANSITION FROM S0 TO S1 := TRUE; END_TRANSITION
TRANSITION FROM S1 TO S2 := S1.T >= T#200ms; END_TRANSITION
TRANSITION FROM S2 TO S3 := TRUE; END_TRANSITION
ACTION Bye:
    count := count + 1;
END_ACTION
END_PROGRAM
)";

// A chart in a function block: each instance has its own steps.
const char* kBlock = R"(FUNCTION_BLOCK Filler
VAR_INPUT start : BOOL; END_VAR
VAR_OUTPUT valve : BOOL; END_VAR
INITIAL_STEP Idle: END_STEP
STEP Fill: valve(N); END_STEP
TRANSITION FROM Idle TO Fill := start; END_TRANSITION
TRANSITION FROM Fill TO Idle := Fill.T >= T#100ms; END_TRANSITION
END_FUNCTION_BLOCK
PROGRAM Main
VAR t1, t2 : Filler; open : BOOL; END_VAR
t1(start := TRUE);
t2(start := FALSE);
open := t1.valve;
END_PROGRAM
)";

// A step that is its own successor stays active and is entered again: its time restarts,
// a P1 action does not run again.
const char* kSelfLoop = R"(PROGRAM Main
VAR k : INT; END_VAR
INITIAL_STEP S0: Tick(P1); END_STEP
TRANSITION FROM S0 TO S0 := TRUE; END_TRANSITION
ACTION Tick:
    IF Tick.Q THEN k := k + 1; END_IF;
END_ACTION
END_PROGRAM
)";

const std::vector<Chart> kCharts = {
    {"sfc_priority", 1, kPriority, {{"Main.S0.X", "FALSE"}, {"Main.S1.X", "FALSE"}, {"Main.S2.X", "TRUE"}, {"Main.a", "FALSE"}, {"Main.b", "TRUE"}}},
    {"sfc_parallel_2", 2, kParallel, {{"Main.A2.X", "TRUE"}, {"Main.B1.X", "TRUE"}, {"Main.Join.X", "FALSE"}, {"Main.n", "0"}}},
    {"sfc_parallel_4", 4, kParallel,
     {{"Main.A2.X", "FALSE"}, {"Main.B1.X", "FALSE"}, {"Main.Join.X", "TRUE"}, {"Main.Join.T", "0/500"}, {"Main.n", "2"}, {"Main.m", "1"}}},
    {"sfc_parallel_6", 6, kParallel, {{"Main.Start.X", "TRUE"}, {"Main.Join.X", "FALSE"}, {"Main.Join.T", "0/1000"}, {"Main.Again", "TRUE"}}},
    {"sfc_qualifiers_1", 1, kQualifiers, {{"Main.held", "TRUE"}, {"Main.limited", "TRUE"}, {"Main.delayed", "FALSE"}, {"Main.stored_late", "FALSE"}}},
    {"sfc_qualifiers_3", 3, kQualifiers, {{"Main.held", "TRUE"}, {"Main.limited", "FALSE"}, {"Main.delayed", "TRUE"}, {"Main.stored_late", "TRUE"}}},
    {"sfc_qualifiers_6", 6, kQualifiers,
     {{"Main.S2.X", "TRUE"}, {"Main.held", "FALSE"}, {"Main.delayed", "FALSE"}, {"Main.stored_late", "FALSE"}, {"Main.count", "0"}}},
    {"sfc_qualifiers_8", 8, kQualifiers, {{"Main.S3.X", "TRUE"}, {"Main.count", "2"}, {"Main.Bye.Q", "FALSE"}, {"Main.Bye.A", "TRUE"}}},
    {"sfc_block_3", 3, kBlock, {{"Main.t1.Fill.X", "TRUE"}, {"Main.t1.Fill.T", "0/1000"}, {"Main.open", "TRUE"}, {"Main.t2.Idle.X", "TRUE"}}},
    {"sfc_block_4", 4, kBlock, {{"Main.t1.Idle.X", "TRUE"}, {"Main.t1.Fill.X", "FALSE"}, {"Main.open", "FALSE"}}},
    {"sfc_self_loop", 3, kSelfLoop, {{"Main.S0.X", "TRUE"}, {"Main.S0.T", "0/0"}, {"Main.k", "1"}}},
};

class Charts : public ::testing::TestWithParam<Chart> {};

TEST_P(Charts, EvolveAsTheScheme) {
    const Chart& c = GetParam();
    const Result built = buildProgram(c.name, c.source);
    ASSERT_EQ(built.status, 0) << built.output;
    EXPECT_EQ(built.output.find(".c:"), std::string::npos) << "the C compiler warned:\n" << built.output;
    const nlohmann::json symbols = symbolsOf(c.name);
    ASSERT_FALSE(symbols.is_discarded());
    ProgramRun run("qvct_" + std::string(c.name), "sfc");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    for (int k = 0; k < c.cycles; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
    for (const auto& [name, value] : c.expected) EXPECT_EQ(valueOf(run.image(), symbols, name), value) << name;
    EXPECT_EQ(run.end(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, Charts, ::testing::ValuesIn(kCharts),
                         [](const ::testing::TestParamInfo<Chart>& row) { return std::string(row.param.name); });

struct BadChart {
    const char* name;
    const char* source;
    const char* expected;  // "LINE:COL: error: message" after the file name
};

const std::vector<BadChart> kBadCharts = {
    {"no_initial", "PROGRAM Main\nSTEP A: END_STEP\nEND_PROGRAM\n", "2:6: error: the chart of step A has no initial step"},
    {"two_initial", "PROGRAM Main\nINITIAL_STEP A: END_STEP\nINITIAL_STEP B: END_STEP\nTRANSITION FROM A TO B := TRUE; END_TRANSITION\nEND_PROGRAM\n",
     "3:14: error: two initial steps in one chart: A and B"},
    {"unknown_target", "PROGRAM Main\nINITIAL_STEP A: END_STEP\nTRANSITION FROM A TO C := TRUE; END_TRANSITION\nEND_PROGRAM\n",
     "3:22: error: transition to unknown step C"},
    {"unknown_source", "PROGRAM Main\nINITIAL_STEP A: END_STEP\nTRANSITION FROM (A, Z) TO A := TRUE; END_TRANSITION\nEND_PROGRAM\n",
     "3:21: error: transition from unknown step Z"},
    {"undeclared_action", "PROGRAM Main\nINITIAL_STEP A: Fill(N); END_STEP\nEND_PROGRAM\n",
     "2:17: error: action Fill is not declared: write ACTION Fill: ... END_ACTION or declare a BOOL"},
    {"missing_time", "PROGRAM Main\nVAR x : BOOL; END_VAR\nINITIAL_STEP A: x(L); END_STEP\nEND_PROGRAM\n",
     "3:19: error: qualifier L needs a time: (L, T#1s)"},
    {"extra_time", "PROGRAM Main\nVAR x : BOOL; END_VAR\nINITIAL_STEP A: x(N, T#1s); END_STEP\nEND_PROGRAM\n",
     "3:22: error: qualifier N takes no time"},
    {"bad_qualifier", "PROGRAM Main\nVAR x : BOOL; END_VAR\nINITIAL_STEP A: x(Q); END_STEP\nEND_PROGRAM\n",
     "3:19: error: unknown action qualifier Q (N, R, S, P, P0, P1, L, D, SD, DS, SL)"},
    {"body_without_name", "PROGRAM Main\nINITIAL_STEP A: END_STEP\nTRANSITION FROM A TO A : ; END_TRANSITION\nEND_PROGRAM\n",
     "3:1: error: a transition with a body needs a name for the body to assign"},
    {"unclosed_step", "PROGRAM Main\nINITIAL_STEP A: \nEND_PROGRAM\n", "3:1: error: expected an action name before 'END_PROGRAM'"},
};

class ChartDiagnostics : public ::testing::TestWithParam<BadChart> {};

TEST_P(ChartDiagnostics, AreReportedWhereTheMistakeIs) {
    const BadChart& b = GetParam();
    const Result r = qvcOn("check", b.name, b.source);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(std::string(b.name) + ".st:" + b.expected), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Table, ChartDiagnostics, ::testing::ValuesIn(kBadCharts),
                         [](const ::testing::TestParamInfo<BadChart>& row) { return std::string(row.param.name); });

TEST(ChartDiagnostics, AnUnreachableStepIsAWarning) {
    const char* source =
        "PROGRAM Main\nINITIAL_STEP A: END_STEP\nSTEP B: END_STEP\nSTEP C: END_STEP\n"
                           "TRANSITION FROM B TO C := TRUE; END_TRANSITION\nTRANSITION FROM C TO A := TRUE; END_TRANSITION\nEND_PROGRAM\n";
    const Result r = qvcOn("check", "unreachable", source);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("unreachable.st:3:6: warning: step B is not reachable from the initial step"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("unreachable.st:4:6: warning: step C is not reachable"), std::string::npos) << r.output;
    EXPECT_EQ(qvcOn("check", "unreachable", source, "--werror").status, 1);
}

// A step becomes a breakpoint location on its own line: the program pauses when the step
// becomes active, with the step already set and its actions not yet run; the description
// lists the chart with the step's location.
TEST(ChartBreakpoints, PauseWhenTheStepBecomesActive) {
    const Result built = buildProgram("sfc_breakpoint", kBlock);
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("sfc_breakpoint");
    ASSERT_EQ(symbols["charts"].size(), 1u);
    const nlohmann::json& chart = symbols["charts"][0];
    EXPECT_EQ(chart["pou"], "Filler");
    EXPECT_EQ(chart["name"], "Idle");
    ASSERT_EQ(chart["steps"].size(), 2u);
    EXPECT_EQ(chart["steps"][1]["name"], "Fill");
    EXPECT_EQ(chart["steps"][1]["location"], 5);
    EXPECT_EQ(chart["transitions"][1]["from"][0], "Fill");
    EXPECT_EQ(chart["transitions"][1]["line"], 7);

    ProgramRun run("qvct_sfc_breakpoint", "sfcbp");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    qv::ImageView& image = run.image();
    auto value = [&](const char* name) { return valueOf(image, symbols, name); };
    auto pausedAt = [&](int32_t location, int32_t instance) {
        return waitUntil([&] {
            return debug::read(image.execstatus()) == qv::kStatusPause &&
                   debug::read(image.controlInt(qv::kBpcurrentlocationFromExec)) == location &&
                   debug::read(image.controlInt(qv::kBpcurrentinstanceFromExec)) == instance;
        });
    };
    // Step Fill (line 5) of Main.t1 (instance 2).
    debug::write(image.controlInt(qv::kBpnolineFromExec + 1), 5);
    debug::write(image.controlInt(qv::kBpnoinstanceFromExec + 1), 2);
    debug::write(image.controlInt(qv::kBpnolineFromExec), 1);
    debug::write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(pausedAt(5, 2)) << run.console();
    EXPECT_EQ(value("Main.t1.Fill.X"), "TRUE");
    EXPECT_EQ(value("Main.t1.Idle.X"), "FALSE");
    EXPECT_EQ(value("Main.t1.valve"), "FALSE");  // the action runs after the evolution
    debug::write(image.controlInt(qv::kBpnolineFromExec), 0);
    debug::write(image.execstatus(), qv::kStatusStop);
    ASSERT_TRUE(waitUntil([&] { return debug::read(image.execstatus()) == qv::kStatusStop && value("Main.open") == "TRUE"; }))
        << run.console();
    EXPECT_EQ(run.end(), 0);
}

// qvctl names the steps and variables of a compiled program by the end of their paths:
// unique short paths are accepted, ambiguous ones refused with their candidates, and a
// step breakpoint by path pauses the program when that instance's step becomes active.
TEST(ChartBreakpoints, QvctlTakesShortPaths) {
    const Result built = buildProgram("sfc_short", kBlock);
    ASSERT_EQ(built.status, 0) << built.output;
    ProgramRun run("qvct_sfc_short", "sfcshort");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    EXPECT_CTL(ctl(run, {"get", "t1.Idle.X"}), 0, "Main.t1.Idle.X = TRUE\n");
    EXPECT_CTL(ctl(run, {"get", "Idle.X"}), 1, "qvctl: Idle.X is ambiguous: Main.t1.Idle.X, Main.t2.Idle.X\n");
    EXPECT_CTL(ctl(run, {"get", "X"}), 1,
               "qvctl: X is ambiguous: Main.t1.Idle.X, Main.t1.Fill.X, Main.t2.Idle.X, Main.t2.Fill.X\n");
    EXPECT_CTL(ctl(run, {"break", "add", "Fill"}), 1, "qvctl: no variable Fill in qvct_sfc_short (qvctl vars lists them)\n");
    EXPECT_CTL(ctl(run, {"break", "add", "t1.Fill"}), 0,
               "breakpoint: pause when Main.t1.Fill (location 5, instance 2) becomes active\n");
    EXPECT_CTL(ctl(run, {"break", "list"}), 0, "step Main.t1.Fill (location 5 instance 2)\n");
    EXPECT_CTL(ctl(run, {"run"}), 0, "PAUSE in cycle 1\n");
    qv::ImageView& image = run.image();
    ASSERT_TRUE(waitUntil([&] {
        return debug::read(image.execstatus()) == qv::kStatusPause &&
               debug::read(image.controlInt(qv::kBpcurrentlocationFromExec)) == 5 &&
               debug::read(image.controlInt(qv::kBpcurrentinstanceFromExec)) == 2;
    })) << run.console();
    const CtlResult status = ctl(run, {"status"});
    EXPECT_NE(status.output.find("paused at  Main.t1.Fill (location 5, instance 2)\n"), std::string::npos) << status.output;
    EXPECT_EQ(valueOf(image, symbolsOf("sfc_short"), "Main.t1.Fill.X"), "TRUE");
    EXPECT_CTL(ctl(run, {"break", "remove", "Main.t1.Fill"}), 0, "breakpoint removed: Main.t1.Fill (location 5, instance 2)\n");
    EXPECT_CTL(ctl(run, {"stop"}), 0, "STOP after cycle 1\n");
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
}  // namespace qvtest::compiler
