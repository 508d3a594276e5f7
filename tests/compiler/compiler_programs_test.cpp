// A table of small programs, each compiled by qvc and run for a number of cycles (STEP
// by STEP), with the values their variables must hold afterwards, read from the image at
// the slots their symbol descriptions give.
#include <gtest/gtest.h>

#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

struct Case {
    const char* name;
    int cycles;
    const char* source;
    std::vector<std::pair<const char*, const char*>> expected;  // IEC path, value as valueOf prints it
};

const std::vector<Case> kCases = {
    {"assign", 2, R"(
PROGRAM Main
VAR_INPUT Start : BOOL := TRUE; END_VAR
VAR_OUTPUT Count : INT; END_VAR
VAR
    Total : DINT := 10;
    Ratio : REAL := 1.5;
    Flags : WORD := 16#00F0;
END_VAR
IF Start THEN
    Count := Count + 1;
END_IF;
Total := Total + 2 * 3;
Ratio := Ratio * 2.0;
Flags.0 := TRUE;
END_PROGRAM
)",
     {{"Main.Start", "TRUE"}, {"Main.Count", "2"}, {"Main.Total", "22"}, {"Main.Ratio", "6"}, {"Main.Flags", "241"}}},

    {"precedence", 1, R"(
PROGRAM Main
VAR
    a : DINT; b : DINT; c : DINT; d : DINT; e : BOOL; f : BOOL; g : DINT; h : REAL; i : DINT;
END_VAR
a := 2 + 3 * 4;            (* * before + *)
b := (2 + 3) * 4;
c := 17 MOD 5 + 10 / 3;    (* MOD and / before + *)
d := -2 ** 2;              (* ** before unary - *)
e := 1 < 2 = TRUE;         (* comparisons before = *)
f := TRUE OR FALSE AND FALSE;  (* AND before OR *)
g := 10 - 4 - 3;           (* left to right *)
h := 2.0 ** 3.0;
i := 2 ** 3 ** 2;          (* left to right *)
END_PROGRAM
)",
     {{"Main.a", "14"}, {"Main.b", "20"}, {"Main.c", "5"}, {"Main.d", "-4"}, {"Main.e", "TRUE"}, {"Main.f", "TRUE"},
      {"Main.g", "3"}, {"Main.h", "8"}, {"Main.i", "64"}}},
};

class Programs : public ::testing::TestWithParam<Case> {};

TEST_P(Programs, ProduceTheirValues) {
    const Case& c = GetParam();
    const Result built = buildProgram(c.name, c.source);
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf(c.name);
    ASSERT_FALSE(symbols.is_discarded());
    ProgramRun run("qvct_" + std::string(c.name), c.name);
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    for (int k = 0; k < c.cycles; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
    for (const auto& [name, value] : c.expected) EXPECT_EQ(valueOf(run.image(), symbols, name), value) << name;
    EXPECT_EQ(run.end(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, Programs, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvtest::compiler
