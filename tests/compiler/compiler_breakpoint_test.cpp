// A breakpoint on a source line of a compiled program, in one instance of a function
// block: the program pauses there with the statement not yet run, then STEP moves
// statement by statement, and the values read in between show each statement's effect.
#include <gtest/gtest.h>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

const char* kSource = R"(FUNCTION_BLOCK Tank
VAR_INPUT Inflow : INT; END_VAR
VAR_OUTPUT Level : INT; END_VAR
Level := Level + Inflow;
Level := Level * 2;
END_FUNCTION_BLOCK

PROGRAM Main
VAR
    a : INT;
    b : INT;
    Tanks : ARRAY[1..3] OF Tank;
END_VAR
a := a + 1;
b := a * 10;
Tanks[2](Inflow := 5);
a := a + 100;
END_PROGRAM
)";

int32_t* control(qv::ImageView& image, int32_t fromExec) { return image.controlInt(fromExec); }

bool pausedAt(qv::ImageView& image, int32_t location, int32_t instance) {
    return waitUntil([&] {
        return debug::read(image.execstatus()) == qv::kStatusPause &&
               debug::read(control(image, qv::kBpcurrentlocationFromExec)) == location &&
               debug::read(control(image, qv::kBpcurrentinstanceFromExec)) == instance;
    });
}

TEST(QvcBreakpoints, StopAtALineAndStepStatementByStatement) {
    const Result built = buildProgram("breakpoint", kSource);
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("breakpoint");

    // The description maps lines to locations and instance numbers to paths.
    bool line15 = false;
    for (const nlohmann::json& l : symbols["locations"]) line15 = line15 || (l["location"] == 15 && l["line"] == 15 && l["file"] == "breakpoint.st");
    EXPECT_TRUE(line15);
    std::vector<std::string> paths;
    for (const nlohmann::json& i : symbols["instances"]) paths.push_back(i["path"]);
    EXPECT_EQ(paths, (std::vector<std::string>{"Main", "Main.Tanks[1]", "Main.Tanks[2]", "Main.Tanks[3]"}));

    ProgramRun run("qvct_breakpoint", "bp");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    qv::ImageView& image = run.image();
    auto value = [&](const char* name) { return valueOf(image, symbols, name); };

    // Line 5 in instance 3 (Main.Tanks[2]): the block's second statement.
    debug::write(control(image, qv::kBpnolineFromExec + 1), 5);
    debug::write(control(image, qv::kBpnoinstanceFromExec + 1), 3);
    debug::write(control(image, qv::kBpnolineFromExec), 1);
    debug::write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(pausedAt(image, 5, 3)) << run.console();
    EXPECT_EQ(value("Main.a"), "1");
    EXPECT_EQ(value("Main.b"), "10");
    EXPECT_EQ(value("Main.Tanks[2].Level"), "5");  // line 4 ran, line 5 not yet

    // No more breakpoints: STEP goes from statement to statement.
    debug::write(control(image, qv::kBpnolineFromExec), 0);
    debug::write(image.execstatus(), qv::kStatusStep);
    ASSERT_TRUE(pausedAt(image, 17, 1)) << run.console();
    EXPECT_EQ(value("Main.Tanks[2].Level"), "10");
    EXPECT_EQ(value("Main.a"), "1");

    debug::write(image.execstatus(), qv::kStatusStep);
    ASSERT_TRUE(waitUntil([&] { return debug::read(image.execstatus()) == qv::kStatusStop; })) << run.console();
    EXPECT_EQ(value("Main.a"), "101");
    EXPECT_EQ(value("Main.Tanks[1].Level"), "0");
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
}  // namespace qvtest::compiler

namespace qvtest::compiler {
namespace {

// An index outside an array's bounds is reported through raise_debug_break with the
// statement's location and the instance, and stops the program: nothing is written
// outside the array.
TEST(QvcFaults, AnIndexOutOfBoundsStopsTheProgramWhereItHappened) {
    const Result built = buildProgram("fault", R"(FUNCTION_BLOCK Store
VAR_INPUT k : INT; END_VAR
VAR cells : ARRAY[1..3] OF INT; END_VAR
cells[k] := 7;
END_FUNCTION_BLOCK
PROGRAM Main
VAR s : Store; i : INT; after : INT; END_VAR
i := i + 1;
s(k := i);
after := i;
END_PROGRAM
)");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("fault");
    ProgramRun run("qvct_fault", "fault");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    qv::ImageView& image = run.image();
    debug::write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(waitUntil([&] { return debug::read(image.execstatus()) == qv::kStatusStop && valueOf(image, symbols, "Main.i") == "4"; }))
        << run.console();
    EXPECT_EQ(debug::read(control(image, qv::kBpcurrenttypeerrorFromExec)), 101);
    EXPECT_EQ(debug::read(control(image, qv::kBpcurrentlocationFromExec)), 4);
    EXPECT_EQ(debug::read(control(image, qv::kBpcurrentrankFromExec)), 4);  // the subscript
    EXPECT_EQ(debug::read(control(image, qv::kBpcurrentinstanceFromExec)), 2);
    EXPECT_EQ(valueOf(image, symbols, "Main.after"), "3");  // the rest of the cycle did not run
    EXPECT_EQ(valueOf(image, symbols, "Main.s.cells[3]"), "7");
    EXPECT_EQ(run.end(), 0);
}

// A value outside a subrange, known only at run time, is a fault too (type 102, the
// value as rank); the subrange keeps a value inside it.
TEST(QvcFaults, AValueOutsideItsSubrangeStopsTheProgram) {
    const Result built = buildProgram("subrange", R"(TYPE Pct : INT (0..100); END_TYPE
PROGRAM Main
VAR p : Pct; raw : INT := 98; END_VAR
raw := raw + 1;
p := raw;
END_PROGRAM
)");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("subrange");
    ProgramRun run("qvct_subrange", "subrange");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    qv::ImageView& image = run.image();
    debug::write(image.execstatus(), qv::kStatusRun);
    ASSERT_TRUE(waitUntil([&] { return debug::read(image.execstatus()) == qv::kStatusStop && valueOf(image, symbols, "Main.raw") == "101"; }))
        << run.console();
    EXPECT_EQ(debug::read(control(image, qv::kBpcurrenttypeerrorFromExec)), 102);
    EXPECT_EQ(debug::read(control(image, qv::kBpcurrentlocationFromExec)), 5);
    EXPECT_EQ(debug::read(control(image, qv::kBpcurrentrankFromExec)), 101);
    EXPECT_EQ(valueOf(image, symbols, "Main.p"), "100");
    EXPECT_EQ(run.end(), 0);
}

// RETAIN variables keep their values when the program starts again on its image; the
// others start again from their initial values.
TEST(QvcRetain, RetainedValuesSurviveARestart) {
    const Result built = buildProgram("retain", R"(PROGRAM Main
VAR RETAIN Runs : DINT := 100; END_VAR
VAR Cycles : DINT := 100; END_VAR
Runs := Runs + 1;
Cycles := Cycles + 1;
END_PROGRAM
)");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("retain");
    ProgramRun run("qvct_retain", "retain");
    for (int start = 1; start <= 2; ++start) {
        ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
        ASSERT_TRUE(run.waitUntilStopped()) << run.console();
        ASSERT_TRUE(debug::stepOnce(run));
        ASSERT_TRUE(debug::stepOnce(run));
        EXPECT_EQ(valueOf(run.image(), symbols, "Main.Runs"), start == 1 ? "102" : "104");
        EXPECT_EQ(valueOf(run.image(), symbols, "Main.Cycles"), "102");
        EXPECT_EQ(run.end(), 0);
    }
}

}  // namespace
}  // namespace qvtest::compiler
