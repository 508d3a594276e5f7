// Malformed sources: each must give its diagnostic at its line and column, and qvc must
// exit 1 (2 for command-line mistakes), never crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

struct Bad {
    const char* name;
    const char* source;
    const char* expected;  // "LINE:COL: error: message" as printed after the file name
};

const std::vector<Bad> kBad = {
    {"missing_semicolon", "PROGRAM Main\nVAR x : INT; END_VAR\nx := 1\nx := 2;\nEND_PROGRAM\n",
     "4:1: error: expected ';' before 'x'"},
    {"narrowing", "PROGRAM Main\nVAR x : INT; y : DINT; END_VAR\nx := y;\nEND_PROGRAM\n",
     "3:6: error: cannot convert DINT to INT implicitly in an assignment: use DINT_TO_INT"},
    {"unknown_variable", "PROGRAM Main\nVAR x : INT; END_VAR\nx := z + 1;\nEND_PROGRAM\n",
     "3:6: error: unknown variable z"},
    {"subrange", "TYPE Level : INT (0..100); END_TYPE\nPROGRAM Main\nVAR l : Level; END_VAR\nl := 101;\nEND_PROGRAM\n",
     "4:6: error: 101 is outside the range of Level (0..100)"},
    {"unsupported_type", "PROGRAM Main\nVAR x : LREAL; END_VAR\nEND_PROGRAM\n",
     "2:9: error: type LREAL is not supported: use BOOL, SINT, INT, DINT, BYTE, WORD, DWORD, REAL, TIME, DATE, TIME_OF_DAY, DATE_AND_TIME or STRING"},
    {"unterminated_comment", "PROGRAM Main\n(* open\nEND_PROGRAM\n", "2:1: error: comment not closed"},
    {"deep_nesting", "PROGRAM Main\nVAR x : INT; END_VAR\nx := ((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1;\nEND_PROGRAM\n",
     "3:"},
    {"enum_assign", "PROGRAM Main\nVAR e : (A, B); x : INT; END_VAR\ne := x;\nEND_PROGRAM\n",
     "3:6: error: type mismatch in an assignment: INT and ENUM1"},
    {"no_conversion", "PROGRAM Main\nVAR t : TIME; x : DINT; END_VAR\nt := x;\nEND_PROGRAM\n",
     "3:6: error: a DINT cannot be converted to TIME in an assignment"},
    {"bound", "PROGRAM Main\nVAR a : ARRAY[1..3] OF INT; END_VAR\na[4] := 1;\nEND_PROGRAM\n",
     "3:3: error: subscript 4 is outside the bounds 1..3"},
    {"bad_call", "PROGRAM Main\nVAR x : INT; END_VAR\nx := LIMIT(1, 2);\nEND_PROGRAM\n", "3:6: error: LIMIT takes 3 arguments"},
    {"generic_type", "PROGRAM Main\nVAR b : BYTE; w : WORD; END_VAR\nb := b + w;\nEND_PROGRAM\n",
     "3:8: error: '+' is not defined for WORD: convert to an integer type first (WORD_TO_DINT)"},
    {"block_in_expression", "PROGRAM Main\nVAR t : TON; x : BOOL; END_VAR\nx := t(IN := TRUE);\nEND_PROGRAM\n",
     "3:6: error: a function-block instance is called as a statement, not in an expression"},
    {"constant_write", "PROGRAM Main\nVAR CONSTANT k : INT := 3; END_VAR\nk := 4;\nEND_PROGRAM\n", "3:1: error: k is a constant"},
    {"bool_arithmetic", "PROGRAM Main\nVAR b : BOOL; END_VAR\nb := b + 1;\nEND_PROGRAM\n", "3:8: error: '+' is not defined for BOOL"},
    {"recursion", "FUNCTION F : INT\nVAR_INPUT n : INT; END_VAR\nIF n > 0 THEN F := F(n - 1); END_IF;\nEND_FUNCTION\nPROGRAM Main\nVAR x : INT; END_VAR\nx := F(3);\nEND_PROGRAM\n",
     "3:20: error: recursive call of F: IEC functions do not recurse"},
    {"case_twice", "PROGRAM Main\nVAR x : INT; y : INT; END_VAR\nCASE x OF\n1, 2: y := 1;\n2..4: y := 2;\nEND_CASE;\nEND_PROGRAM\n",
     "5:1: error: CASE value 2 is given twice"},
    {"program_in_out", "PROGRAM Main\nVAR_IN_OUT x : INT; END_VAR\nx := 1;\nEND_PROGRAM\n",
     "2:12: error: a PROGRAM has no VAR_IN_OUT: use VAR_INPUT, VAR_OUTPUT or VAR_EXTERNAL"},
    // check also checks a source of blocks and functions without a PROGRAM.
    {"blocks_only", "FUNCTION_BLOCK Lamp\nVAR_OUTPUT lit : BOOL; END_VAR\nlit := missing;\nEND_FUNCTION_BLOCK\n",
     "3:8: error: unknown variable missing"},
    {"self_type", "TYPE R : STRUCT a : R; END_STRUCT; END_TYPE\nPROGRAM Main\nEND_PROGRAM\n", "1:21: error: type R is defined in terms of itself"},
};

class QvcDiagnostics : public ::testing::TestWithParam<Bad> {};

TEST_P(QvcDiagnostics, AreReportedWhereTheMistakeIs) {
    const Bad& b = GetParam();
    const Result r = qvcOn("check", b.name, b.source);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(std::string(b.name) + ".st:" + b.expected), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Table, QvcDiagnostics, ::testing::ValuesIn(kBad),
                         [](const ::testing::TestParamInfo<Bad>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace qvtest::compiler

namespace qvtest::compiler {
namespace {

// One run reports every mistake it can find, each at its place, and goes on after each.
TEST(QvcDiagnosticsRun, ARunRecoversAndReportsEveryMistake) {
    const Result r = qvcOn("check", "many", R"(PROGRAM Main
VAR
    x : INT;
    y : DINT
    z : BOOL;
END_VAR
x := 1 +;
y := x;
IF x THEN z := TRUE; END_IF;
z := undefinedThing;
x := 'text';
EXIT;
END_PROGRAM
)");
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> places;
    std::size_t at = 0;
    while ((at = r.output.find("many.st:", at)) != std::string::npos) {
        const std::size_t end = r.output.find(": ", at + 8);
        places.push_back(r.output.substr(at + 8, end - at - 8));
        at = end;
    }
    EXPECT_EQ(places, (std::vector<std::string>{"5:5", "7:9", "8:6", "9:4", "10:6", "11:6", "12:1"})) << r.output;
    // The source line and a caret under the column.
    EXPECT_NE(r.output.find("x := 1 +;\n        ^\n"), std::string::npos) << r.output;
}

TEST(QvcDiagnosticsRun, WarningsPassUnlessWerrorAndCommandLineMistakesExitTwo) {
    const char* source = "PROGRAM Main\nVAR i : INT; d : DINT; END_VAR\nd := i;\nEND_PROGRAM\n";
    const Result plain = qvcOn("check", "warn", source);
    EXPECT_EQ(plain.status, 0) << plain.output;
    EXPECT_NE(plain.output.find("warn.st:3:6: warning: implicit conversion of INT to DINT in an assignment"), std::string::npos);
    EXPECT_EQ(qvcOn("check", "warn", source, "--werror").status, 1);
    EXPECT_EQ(runShell(qvc() + " check").status, 2);
    EXPECT_EQ(runShell(qvc() + " build x.st --revision 4").status, 2);
    EXPECT_EQ(runShell(qvc() + " emit x.st").status, 2);
    EXPECT_EQ(runShell(qvc() + " frobnicate x.st").status, 2);
}

// emit writes the C source and the symbol description; the C compiles warning-free.
TEST(QvcEmit, WritesTheSourcesAndTheDescription) {
    const std::string out = qv::platform::temporaryDirectory() + "/qvct_emit_" + std::to_string(getpid());
    const Result r = qvcOn("emit", "emitted", "PROGRAM Conveyor\nVAR n : INT; END_VAR\nn := n + 1;\nEND_PROGRAM\n", "-o " + out);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::filesystem::exists(out + "/Conveyor.c"));
    const nlohmann::json symbols = nlohmann::json::parse(readFile(out + "/Conveyor.symbols.json"), nullptr, false);
    EXPECT_EQ(symbols["format"], "qv-symbols");
    EXPECT_EQ(symbols["version"], 2);
    const Result cc = runShell("cc -std=c11 -Wall -Wextra -Werror -DQV_REVISION=3 -I" + std::string(QV_SOURCE_DIR) + " -c " + out +
                               "/Conveyor.c -o " + out + "/Conveyor.o");
    EXPECT_EQ(cc.status, 0) << cc.output;
    std::filesystem::remove_all(out);
}

}  // namespace
}  // namespace qvtest::compiler
