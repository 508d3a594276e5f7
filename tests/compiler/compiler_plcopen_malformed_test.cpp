// Malformed PLCopen projects: each gives its diagnostic at the XML line of the element at
// fault, naming the POU and the element, and qvc exits 1, never crashes.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

// A project around one POU: the POU's first line is line 6 of the file.
std::string wrap(const std::string& pou) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<project xmlns=\"http://www.plcopen.org/xml/tc6_0201\" xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">\n"
           "<fileHeader companyName=\"t\" productName=\"t\" productVersion=\"1\" creationDateTime=\"2026-12-08T00:00:00\"/>\n"
           "<contentHeader name=\"t\"><coordinateInfo><fbd><scaling x=\"1\" y=\"1\"/></fbd><ld><scaling x=\"1\" y=\"1\"/></ld>"
           "<sfc><scaling x=\"1\" y=\"1\"/></sfc></coordinateInfo></contentHeader>\n"
           "<types><dataTypes/><pous>\n" +
           pou + "</pous></types><instances><configurations/></instances></project>\n";
}

// A program Main with BOOL variables a, b, c and INT variables x, y, z, and `body`.
std::string program(const std::string& body) {
    return wrap(
        "<pou name=\"Main\" pouType=\"program\"><interface><localVars>\n"  // line 6
        "<variable name=\"a\"><type><BOOL/></type></variable><variable name=\"b\"><type><BOOL/></type></variable>"
        "<variable name=\"c\"><type><BOOL/></type></variable>\n"  // line 7
        "<variable name=\"x\"><type><INT/></type></variable><variable name=\"y\"><type><INT/></type></variable>"
        "<variable name=\"z\"><type><INT/></type></variable>\n"  // line 8
        "</localVars></interface><body>\n" +  // line 9
        body + "</body></pou>\n");
}

// The pieces of an FBD body, one element a line.
std::string in(int id, const std::string& expression) {
    return "<inVariable localId=\"" + std::to_string(id) + "\"><position x=\"0\" y=\"0\"/><connectionPointOut/><expression>" +
           expression + "</expression></inVariable>\n";
}
std::string out(int id, const std::string& expression, int from, const std::string& formal = "") {
    return "<outVariable localId=\"" + std::to_string(id) + "\"><position x=\"0\" y=\"0\"/><connectionPointIn><connection refLocalId=\"" +
           std::to_string(from) + "\"" + (formal.empty() ? "" : " formalParameter=\"" + formal + "\"") +
           "/></connectionPointIn><expression>" + expression + "</expression></outVariable>\n";
}
// A block with inputs IN1, IN2 wired from `in1`, `in2` (0: not connected) and output OUT.
std::string block(int id, const std::string& type, int in1, int in2) {
    auto pin = [](const char* name, int from) {
        return std::string("<variable formalParameter=\"") + name + "\"><connectionPointIn>" +
               (from ? "<connection refLocalId=\"" + std::to_string(from) + "\"/>" : std::string()) + "</connectionPointIn></variable>";
    };
    return "<block localId=\"" + std::to_string(id) + "\" typeName=\"" + type + "\"><position x=\"0\" y=\"0\"/><inputVariables>" +
           pin("IN1", in1) + pin("IN2", in2) +
           "</inputVariables><inOutVariables/><outputVariables><variable formalParameter=\"OUT\"><connectionPointOut/></variable>"
           "</outputVariables></block>\n";
}

struct Bad {
    const char* name;
    std::string xml;
    int line;              // the XML line the error names
    const char* message;   // the start of its message
};

const std::vector<Bad> kBad = {
    // <project> never closed.
    {"malformed_xml", "<?xml version=\"1.0\"?>\n<project xmlns=\"http://www.plcopen.org/xml/tc6_0201\">\n<types>\n",
     3, "malformed XML: "},
    {"il_body", program("<IL><xhtml:p xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">LD a\nST b</xhtml:p></IL>\n"),
     10, "POU Main, IL body: Instruction List is not supported"},
    {"unknown_type", wrap("<pou name=\"Main\" pouType=\"program\"><interface><localVars>\n"
                          "<variable name=\"m\"><type><derived name=\"Motr\"/></type></variable>\n"
                          "</localVars></interface><body><ST><xhtml:p>m := m;</xhtml:p></ST></body></pou>\n"),
     7, "unknown type "},
    {"pointer", wrap("<pou name=\"Main\" pouType=\"program\"><interface><localVars>\n"
                     "<variable name=\"p\"><type><pointer><baseType><INT/></baseType></pointer></type></variable>\n"
                     "</localVars></interface><body><ST><xhtml:p>;</xhtml:p></ST></body></pou>\n"),
     7, "pointers are not supported"},
    // ADD's IN2 is left open.
    {"unconnected_input", program("<FBD>\n" + in(1, "x") + block(2, "ADD", 1, 0) + out(3, "y", 2, "OUT") + "</FBD>\n"),
     12, "POU Main, FBD block 2 (ADD): input IN2 not connected"},
    // y is wired from an element the body does not have.
    {"dangling_reference", program("<FBD>\n" + in(1, "x") + out(2, "y", 9) + "</FBD>\n"),
     12, "POU Main, FBD outVariable 2 (y): its input connects to localId 9"},
    // Two ADDs feed each other, with no variable on the loop; a third gives y.
    {"loop_without_variable",
     program("<FBD>\n" + in(1, "x") + block(2, "ADD", 1, 3) + block(3, "ADD", 2, 1) + block(4, "ADD", 3, 1) + out(5, "y", 4, "OUT") +
             "</FBD>\n"),
     12, "POU Main, FBD loop through block 2 (ADD), block 3 (ADD) passes through no variable"},
    {"two_initial_steps",
     program("<SFC>\n"
             "<step localId=\"1\" name=\"A\" initialStep=\"true\"><position x=\"0\" y=\"0\"/><connectionPointOut formalParameter=\"\"/></step>\n"
             "<transition localId=\"2\"><position x=\"0\" y=\"0\"/><connectionPointIn><connection refLocalId=\"1\"/></connectionPointIn>"
             "<connectionPointOut/><condition><inline name=\"\"><ST><xhtml:p>a</xhtml:p></ST></inline></condition></transition>\n"
             "<step localId=\"3\" name=\"B\" initialStep=\"true\"><position x=\"0\" y=\"0\"/><connectionPointIn><connection refLocalId=\"2\"/>"
             "</connectionPointIn><connectionPointOut formalParameter=\"\"/></step>\n"
             "</SFC>\n"),
     13, "two initial steps in one chart: A and B"},
    {"macro_step",
     program("<SFC>\n"
             "<step localId=\"1\" name=\"A\" initialStep=\"true\"><position x=\"0\" y=\"0\"/><connectionPointOut formalParameter=\"\"/></step>\n"
             "<macroStep localId=\"2\" name=\"M\"><position x=\"0\" y=\"0\"/><connectionPointIn><connection refLocalId=\"1\"/>"
             "</connectionPointIn></macroStep>\n"
             "</SFC>\n"),
     12, "POU Main, SFC macro step 2 (M): macro steps are not supported"},
};

class PlcopenMalformed : public ::testing::TestWithParam<Bad> {};

// Whether the output has the diagnostic "<name>.xml:LINE:COL: error: MESSAGE...". The
// column is left free: outside ST text it is where the generated text stands.
bool reports(const std::string& output, const Bad& b) {
    std::istringstream lines(output);
    const std::string place = std::string(b.name) + ".xml:" + std::to_string(b.line) + ":";
    for (std::string l; std::getline(lines, l);) {
        if (l.rfind(place, 0) != 0) continue;
        const std::size_t at = l.find(": error: ");
        if (at != std::string::npos && l.compare(at + 9, std::strlen(b.message), b.message) == 0) return true;
    }
    return false;
}

TEST_P(PlcopenMalformed, AreReportedAtTheElementsLine) {
    const Bad& b = GetParam();
    const Result r = qvcOn("check", b.name, b.xml, "", ".xml");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(reports(r.output, b)) << "expected " << b.name << ".xml:" << b.line << ": error: " << b.message << "\n" << r.output;
}

INSTANTIATE_TEST_SUITE_P(Table, PlcopenMalformed, ::testing::ValuesIn(kBad),
                         [](const ::testing::TestParamInfo<Bad>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace qvtest::compiler
