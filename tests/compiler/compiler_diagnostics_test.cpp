// Malformed sources: each must give its diagnostic at its line and column, and qvc must
// exit 1 (2 for command-line mistakes), never crash.
#include <gtest/gtest.h>

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
};

class Diagnostics : public ::testing::TestWithParam<Bad> {};

TEST_P(Diagnostics, AreReportedWhereTheMistakeIs) {
    const Bad& b = GetParam();
    const Result r = qvcOn("check", b.name, b.source);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(std::string(b.name) + ".st:" + b.expected), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Table, Diagnostics, ::testing::ValuesIn(kBad),
                         [](const ::testing::TestParamInfo<Bad>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace qvtest::compiler
