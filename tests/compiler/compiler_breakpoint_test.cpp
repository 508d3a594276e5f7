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

TEST(CompiledBreakpoints, StopAtALineAndStepStatementByStatement) {
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
