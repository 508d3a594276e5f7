// FBD and LD bodies of PLCopen projects: a table of small drawings, each compiled by qvc
// from its XML and run for a number of cycles, with the values their variables must hold
// afterwards; malformed drawings and the diagnostics that name the element at fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

// ---- Writing drawings ------------------------------------------------------------------

// "5" or "5.OUT", several separated by commas: the connections of one input.
std::string connections(const std::string& wiring) {
    std::string xml = "<connectionPointIn>";
    std::stringstream in(wiring);
    std::string one;
    while (std::getline(in, one, ',')) {
        const std::size_t dot = one.find('.');
        xml += "<connection refLocalId=\"" + one.substr(0, dot) + "\"" +
               (dot == std::string::npos ? "" : " formalParameter=\"" + one.substr(dot + 1) + "\"") + "/>";
    }
    return xml + "</connectionPointIn>";
}

std::string at(int id, int y) { return " localId=\"" + std::to_string(id) + "\" width=\"40\" height=\"20\"><position x=\"" + std::to_string(id * 10) + "\" y=\"" + std::to_string(y) + "\"/>"; }

std::string inVar(int id, const std::string& expression, const std::string& attributes = "", int y = 0) {
    return "<inVariable" + attributes + at(id, y) + "<connectionPointOut/><expression>" + expression + "</expression></inVariable>\n";
}
std::string outVar(int id, const std::string& from, const std::string& expression, const std::string& attributes = "", int y = 0) {
    return "<outVariable" + attributes + at(id, y) + connections(from) + "<expression>" + expression + "</expression></outVariable>\n";
}
// inputs: "IN1=3.OUT IN2=4" (a pin without '=' is left unconnected; !IN1 negates it).
std::string block(int id, const std::string& type, const std::string& inputs, const std::string& outputs,
                  const std::string& attributes = "", int y = 0) {
    std::string xml = "<block typeName=\"" + type + "\"" + attributes + at(id, y) + "<inputVariables>";
    std::stringstream in(inputs);
    std::string one;
    while (in >> one) {
        const bool negated = one[0] == '!';
        if (negated) one = one.substr(1);
        std::string edge;
        if (one[0] == '^') {
            edge = " edge=\"rising\"";
            one = one.substr(1);
        }
        const std::size_t eq = one.find('=');
        xml += "<variable formalParameter=\"" + one.substr(0, eq) + "\"" + (negated ? " negated=\"true\"" : "") + edge + ">" +
               (eq == std::string::npos ? "<connectionPointIn/>" : connections(one.substr(eq + 1))) + "</variable>";
    }
    xml += "</inputVariables><inOutVariables/><outputVariables>";
    std::stringstream out(outputs);
    while (out >> one) {
        const bool negated = one[0] == '!';
        if (negated) one = one.substr(1);
        xml += "<variable formalParameter=\"" + one + "\"" + (negated ? " negated=\"true\"" : "") + "><connectionPointOut/></variable>";
    }
    return xml + "</outputVariables></block>\n";
}
std::string rail(int id, int y = 0) { return "<leftPowerRail" + at(id, y) + "<connectionPointOut formalParameter=\"\"/></leftPowerRail>\n"; }
std::string rightRail(int id, const std::string& from, int y = 0) { return "<rightPowerRail" + at(id, y) + connections(from) + "</rightPowerRail>\n"; }
std::string contact(int id, const std::string& from, const std::string& variable, const std::string& attributes = "", int y = 0) {
    return "<contact" + attributes + at(id, y) + connections(from) + "<connectionPointOut/><variable>" + variable + "</variable></contact>\n";
}
std::string coil(int id, const std::string& from, const std::string& variable, const std::string& attributes = "", int y = 0) {
    return "<coil" + attributes + at(id, y) + connections(from) + "<connectionPointOut/><variable>" + variable + "</variable></coil>\n";
}

// A project whose PROGRAM Main has the local variables ("Count:INT Go:BOOL=TRUE T1:TON")
// and the body in the language, and the other POUs as written.
std::string project(const std::string& variables, const std::string& language, const std::string& body, const std::string& pous = "") {
    std::string vars;
    std::stringstream in(variables);
    std::string one;
    while (in >> one) {
        const std::size_t colon = one.find(':'), eq = one.find('=');
        const std::string name = one.substr(0, colon);
        const std::string type = one.substr(colon + 1, eq == std::string::npos ? std::string::npos : eq - colon - 1);
        const bool elementary = type == "BOOL" || type == "INT" || type == "DINT" || type == "REAL" || type == "TIME";
        vars += "<variable name=\"" + name + "\"><type>" + (elementary ? "<" + type + "/>" : "<derived name=\"" + type + "\"/>") + "</type>" +
                (eq == std::string::npos ? "" : "<initialValue><simpleValue value=\"" + one.substr(eq + 1) + "\"/></initialValue>") + "</variable>";
    }
    return R"(<?xml version="1.0" encoding="utf-8"?>
<project xmlns="http://www.plcopen.org/xml/tc6_0201" xmlns:xhtml="http://www.w3.org/1999/xhtml">
<fileHeader companyName="t" productName="t" productVersion="1" creationDateTime="2026-12-08T10:00:00"/>
<contentHeader name="t"><coordinateInfo><fbd><scaling x="1" y="1"/></fbd><ld><scaling x="1" y="1"/></ld><sfc><scaling x="1" y="1"/></sfc></coordinateInfo></contentHeader>
<types><dataTypes/><pous>
)" + pous + R"(<pou name="Main" pouType="program"><interface><localVars>)" +
           vars + "</localVars></interface>\n<body><" + language + ">\n" + body + "</" + language + "></body></pou>\n</pous></types></project>\n";
}

// Writes the project as <name>.xml and runs qvc on it.
Result qvcOnXml(const std::string& command, const std::string& name, const std::string& xml, const std::string& options = "") {
    const std::string folder = qv::platform::temporaryDirectory() + "/qvct_xml_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    writeFile(folder + "/" + name + ".xml", xml);
    return runShell("cd " + folder + " && " + qvc() + " " + command + " " + name + ".xml " + options);
}

// ---- Programs and their values ---------------------------------------------------------

struct Case {
    const char* name;
    int cycles;
    std::string xml;
    std::vector<std::pair<const char*, const char*>> expected;  // IEC path, value as valueOf prints it
};

const char* kTwice = R"(<pou name="Twice" pouType="function"><interface><returnType><INT/></returnType>
<inputVars><variable name="X"><type><INT/></type></variable></inputVars></interface>
<body><ST><xhtml:p><![CDATA[Twice := X * 2;]]></xhtml:p></ST></body></pou>
)";

std::vector<Case> cases() {
    return {
        // ADD's output wired back to its own input: the previous cycle's value, held in
        // the variable drawn on the wire; a TON fed by a comparison read twice.
        {"fbd_feedback", 6,
         project("Count:INT Big:BOOL Done:BOOL T1:TON", "FBD",
                 inVar(1, "1") + block(2, "ADD", "IN1=2.OUT IN2=1", "OUT") + outVar(3, "2.OUT", "Count") +
                     block(4, "GT", "IN1=2.OUT IN2=5", "OUT") + inVar(5, "3") + block(6, "TON", "IN=4.OUT PT=7", "Q ET", " instanceName=\"T1\"") +
                     inVar(7, "T#100ms") + outVar(8, "6.Q", "Done") + outVar(9, "4.OUT", "Big")),
         {{"Main.Count", "6"}, {"Main.Big", "TRUE"}, {"Main._B2_OUT", "6"}, {"Main.Done", "TRUE"}, {"Main.T1.ET", "0/1000"}}},

        // EN/ENO: a block runs only while EN is TRUE, and the variable at its output is
        // written only then (B keeps its 7); ENO follows EN; an explicit loop through a
        // variable (A read by an inVariable, written by an outVariable).
        {"fbd_en_eno", 3,
         project("A:INT B:INT=7 Go:BOOL=TRUE Stop:BOOL AEno:BOOL BEno:BOOL=TRUE", "FBD",
                 inVar(1, "A") + inVar(2, "1") + inVar(3, "Go") + block(4, "ADD", "EN=3 IN1=1 IN2=2", "ENO OUT") + outVar(5, "4.OUT", "A") +
                     outVar(6, "4.ENO", "AEno") + inVar(7, "B") + inVar(8, "Stop") + block(9, "ADD", "EN=8 IN1=7 IN2=2", "ENO OUT") +
                     outVar(10, "9.OUT", "B") + outVar(11, "9.ENO", "BEno")),
         {{"Main.A", "3"}, {"Main.B", "7"}, {"Main.AEno", "TRUE"}, {"Main.BEno", "FALSE"}}},

        // Negation on an inVariable, a block's input and output, an outVariable; a
        // connector and its continuation; a user function; three inputs of ADD.
        {"fbd_negation", 1,
         project("T:BOOL=TRUE F:BOOL N1:BOOL N2:BOOL N3:BOOL N4:BOOL Sum:INT Tw:INT", "FBD",
                 inVar(1, "T", " negated=\"true\"") + outVar(2, "1", "N1") + inVar(3, "T") + inVar(4, "F") +
                     block(5, "AND", "IN1=3 !IN2=4", "!OUT") + outVar(6, "5.OUT", "N2") + block(7, "OR", "IN1=4 IN2=4", "OUT") +
                     outVar(8, "7.OUT", "N3", " negated=\"true\"") +
                     inVar(9, "2") + inVar(10, "3") + inVar(11, "4") + block(12, "ADD", "IN1=9 IN2=10 IN3=11", "OUT") +
                     "<connector name=\"c1\"" + at(13, 0) + connections("12.OUT") + "</connector>\n" +
                     "<continuation name=\"c1\"" + at(14, 0) + "<connectionPointOut/></continuation>\n" + outVar(15, "14", "Sum") +
                     block(16, "Twice", "X=14", "OUT") + outVar(17, "16.OUT", "Tw") + outVar(18, "5.OUT", "N4"),
                 kTwice),
         {{"Main.N1", "FALSE"}, {"Main.N2", "FALSE"}, {"Main.N3", "TRUE"}, {"Main.N4", "FALSE"}, {"Main.Sum", "9"}, {"Main.Tw", "18"}}},

        // A user function block drawn with EN: its instance runs only while EN is TRUE;
        // a library function whose result nobody reads is left out.
        {"fbd_user_block", 4,
         project("Go:BOOL=TRUE Stop:BOOL Acc:Adder Acc2:Adder Total:INT Total2:INT", "FBD",
                 inVar(1, "Go") + inVar(2, "5") + block(3, "Adder", "EN=1 Step=2", "ENO Sum", " instanceName=\"Acc\"") +
                     outVar(4, "3.Sum", "Total") + inVar(5, "Stop") + block(6, "Adder", "EN=5 Step=2", "ENO Sum", " instanceName=\"Acc2\"") +
                     outVar(7, "6.Sum", "Total2") + block(8, "MUL", "IN1=2 IN2=2", "OUT"),
                 R"(<pou name="Adder" pouType="functionBlock"><interface><inputVars><variable name="Step"><type><INT/></type></variable></inputVars>
<outputVars><variable name="Sum"><type><INT/></type></variable></outputVars></interface>
<body><ST><xhtml:p><![CDATA[Sum := Sum + Step;]]></xhtml:p></ST></body></pou>
)"),
         {{"Main.Total", "20"}, {"Main.Acc.Sum", "20"}, {"Main.Total2", "0"}}},

        // An in-out variable written on the rising edge of its input and read negated; a
        // variable set (never reset) by what it reads.
        {"fbd_in_out", 2,
         project("A:BOOL=TRUE B:BOOL C:BOOL", "FBD",
                 inVar(1, "A") + "<inOutVariable negatedOut=\"true\" edgeIn=\"rising\"" + at(2, 0) + connections("1") +
                     "<connectionPointOut/><expression>B</expression></inOutVariable>\n" + outVar(3, "2", "C", " storage=\"set\"")),
         {{"Main.B", "FALSE"}, {"Main.C", "TRUE"}}},

        // executionOrderId decides: Y is written before X in every cycle, so it reads the
        // X of the previous cycle.
        {"fbd_order", 3,
         project("X:INT Y:INT", "FBD",
                 inVar(1, "X") + outVar(2, "1", "Y", " executionOrderId=\"1\"") + inVar(3, "X") + inVar(4, "1") +
                     block(5, "ADD", "IN1=3 IN2=4", "OUT", " executionOrderId=\"2\"") + outVar(6, "5.OUT", "X", " executionOrderId=\"3\"")),
         {{"Main.X", "3"}, {"Main.Y", "2"}}},

        // Rungs top to bottom: Toggle flips every cycle; rising and falling contacts see
        // its edges; set and reset coils latch; parallel branches OR, series AND; a block
        // in a rung runs on the power flow into EN and passes it on through ENO.
        {"ld_rungs", 5,
         project("Toggle:BOOL Rise:BOOL Fall:BOOL Rises:INT Latch:BOOL Added:BOOL Or1:BOOL And1:BOOL NotC:BOOL Go:BOOL=TRUE", "LD",
                 rail(1, 0) + contact(2, "1", "Toggle", " negated=\"true\"", 0) + coil(3, "2", "Toggle", "", 0) + rightRail(4, "3", 0) +
                     rail(10, 100) + contact(11, "10", "Toggle", " edge=\"rising\"", 100) + coil(12, "11", "Rise", "", 100) +
                     contact(13, "10", "Toggle", " edge=\"falling\"", 110) + coil(14, "13", "Fall", "", 110) + rightRail(15, "12,14", 100) +
                     rail(20, 200) + contact(21, "20", "Rise", "", 200) + coil(22, "21", "Latch", " storage=\"set\"", 200) +
                     contact(23, "20", "Fall", "", 210) + contact(24, "23", "Go", "", 210) + coil(25, "24", "Latch", " storage=\"reset\"", 210) +
                     rail(30, 300) + contact(31, "30", "Rise", "", 300) + inVar(32, "Rises", "", 310) + inVar(33, "1", "", 320) +
                     block(34, "ADD", "EN=31 IN1=32 IN2=33", "ENO OUT", "", 300) + outVar(35, "34.OUT", "Rises", "", 310) +
                     coil(36, "34.ENO", "Added", "", 300) +
                     rail(40, 400) + contact(41, "40", "Rise", "", 400) + contact(42, "40", "Fall", "", 410) + coil(43, "41,42", "Or1", "", 400) +
                     contact(44, "40", "Go", "", 420) + contact(45, "44", "Toggle", "", 420) + coil(46, "45", "And1", "", 420) +
                     coil(47, "45", "NotC", " negated=\"true\"", 430)),
         {{"Main.Toggle", "TRUE"}, {"Main.Rise", "TRUE"}, {"Main.Fall", "FALSE"}, {"Main.Rises", "3"}, {"Main.Latch", "TRUE"},
          {"Main.Added", "TRUE"}, {"Main.Or1", "TRUE"}, {"Main.And1", "TRUE"}, {"Main.NotC", "FALSE"}}},

        // The same after an even number of cycles: the falling edge resets the latch.
        {"ld_rungs_even", 4, "", {{"Main.Toggle", "FALSE"}, {"Main.Rise", "FALSE"}, {"Main.Fall", "TRUE"}, {"Main.Rises", "2"},
                                   {"Main.Latch", "FALSE"}, {"Main.Added", "FALSE"}, {"Main.Or1", "TRUE"}, {"Main.And1", "FALSE"}}},

        // A rising coil is TRUE for the one cycle its power rises; a falling coil for the
        // one it falls; a counter block counts the rising edges of its input.
        {"ld_edge_coils", 4,
         project("Toggle:BOOL Up:BOOL Down:BOOL C1:CTU Q:BOOL", "LD",
                 rail(1, 0) + contact(2, "1", "Toggle", " negated=\"true\"", 0) + coil(3, "2", "Toggle", "", 0) +
                     rail(10, 100) + contact(11, "10", "Toggle", "", 100) + coil(12, "11", "Up", " edge=\"rising\"", 100) +
                     coil(13, "11", "Down", " edge=\"falling\"", 110) +
                     rail(20, 200) + contact(21, "20", "Toggle", "", 200) + inVar(22, "10", "", 210) +
                     block(23, "CTU", "CU=21 R PV=22", "Q CV", " instanceName=\"C1\"", 200) + coil(24, "23.Q", "Q", "", 200)),
         {{"Main.Toggle", "FALSE"}, {"Main.Up", "FALSE"}, {"Main.Down", "TRUE"}, {"Main.C1.CV", "2"}, {"Main.Q", "FALSE"}}},
    };
}

class PlcopenDiagrams : public ::testing::TestWithParam<int> {};

TEST_P(PlcopenDiagrams, ProduceTheirValues) {
    std::vector<Case> all = cases();
    Case c = all[static_cast<std::size_t>(GetParam())];
    if (c.xml.empty()) c.xml = all[static_cast<std::size_t>(GetParam()) - 1].xml;  // the previous drawing, run longer or shorter
    const Result built = qvcOnXml("build", c.name, c.xml, "-o " + std::string(QV_BUILD_BIN_DIR) + "/qvct_" + c.name);
    ASSERT_EQ(built.status, 0) << built.output << "\n" << c.xml;
    EXPECT_EQ(built.output.find(".c:"), std::string::npos) << "the C compiler warned:\n" << built.output;
    const nlohmann::json symbols = symbolsOf(c.name);
    ASSERT_FALSE(symbols.is_discarded());
    ProgramRun run("qvct_" + std::string(c.name), c.name);
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    for (int k = 0; k < c.cycles; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
    for (const auto& [name, value] : c.expected) EXPECT_EQ(valueOf(run.image(), symbols, name), value) << name << "\n" << c.xml;
    EXPECT_EQ(run.end(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, PlcopenDiagrams, ::testing::Range(0, static_cast<int>(cases().size())),
                         [](const ::testing::TestParamInfo<int>& p) { return std::string(cases()[static_cast<std::size_t>(p.param)].name); });

// The drawing in the description: every element with its position, its wires, the
// breakpoint location of its statement, and the variable that carries each output; LD
// elements with their rung, numbered from the top.
TEST(PlcopenDiagramsDescription, KeepsTheDrawing) {
    std::vector<Case> all = cases();
    auto named = [&all](const std::string& name) {
        return *std::find_if(all.begin(), all.end(), [&name](const Case& c) { return c.name == name; });
    };
    const Case ld = named("ld_rungs");
    const Result built = qvcOnXml("emit", "ld_drawing", ld.xml, "-o ld_drawing");
    ASSERT_EQ(built.status, 0) << built.output;
    std::ifstream in(qv::platform::temporaryDirectory() + "/qvct_xml_" + std::to_string(getpid()) + "/ld_drawing/Main.symbols.json");
    const nlohmann::json symbols = nlohmann::json::parse(in, nullptr, false);
    ASSERT_FALSE(symbols.is_discarded());
    ASSERT_EQ(symbols["diagrams"].size(), 1u);
    const nlohmann::json& d = symbols["diagrams"][0];
    EXPECT_EQ(d["language"], "LD");
    std::map<int, nlohmann::json> byId;
    for (const nlohmann::json& e : d["elements"]) byId[e["id"].get<int>()] = e;
    // Each network the rails feed is a rung: the set and the reset coil are two.
    EXPECT_EQ(byId[2]["rung"], 1);
    EXPECT_EQ(byId[11]["rung"], 2);
    EXPECT_EQ(byId[13]["rung"], 3);
    EXPECT_EQ(byId[34]["rung"], 6);
    EXPECT_EQ(byId[42]["rung"], 7);
    EXPECT_EQ(byId[47]["rung"], 8);
    EXPECT_EQ(byId[1]["rung"], 1);   // a rail of one rung
    EXPECT_EQ(byId[10]["rung"], 0);  // a rail of two
    EXPECT_EQ(byId[34]["type"], "ADD");
    EXPECT_EQ(byId[34]["y"], 300);
    // A rung's statements stand on its first element's line.
    EXPECT_EQ(byId[36]["location"], byId[31]["line"]);
    EXPECT_EQ(byId[34]["location"], byId[31]["line"]);
    EXPECT_EQ(byId[43]["inputs"].size(), 2u);
    EXPECT_EQ(byId[43]["inputs"][1]["from"], 42);
    EXPECT_EQ(byId[34]["outputs"][0]["value"], "_B34_ENO");
    EXPECT_EQ(byId[11]["outputs"][0]["value"], "_E11");

    const Case fbd = named("fbd_feedback");
    const Result fbdBuilt = qvcOnXml("emit", "fbd_drawing", fbd.xml, "-o fbd_drawing");
    ASSERT_EQ(fbdBuilt.status, 0) << fbdBuilt.output;
    std::ifstream fin(qv::platform::temporaryDirectory() + "/qvct_xml_" + std::to_string(getpid()) + "/fbd_drawing/Main.symbols.json");
    const nlohmann::json f = nlohmann::json::parse(fin, nullptr, false);
    std::map<int, nlohmann::json> fbyId;
    for (const nlohmann::json& e : f["diagrams"][0]["elements"]) fbyId[e["id"].get<int>()] = e;
    EXPECT_EQ(fbyId[6]["instance"], "T1");
    EXPECT_EQ(fbyId[6]["outputs"][0]["value"], "T1.Q");
    EXPECT_EQ(fbyId[6]["location"], fbyId[6]["line"]);  // its own statement, on its own line
    EXPECT_EQ(fbyId[2]["inputs"][0]["from"], 2);
    EXPECT_EQ(fbyId[2]["inputs"][0]["fromPin"], "OUT");
}

// ---- Malformed drawings ----------------------------------------------------------------

TEST(PlcopenDiagramsDiagnostics, NameTheElement) {
    const struct {
        const char* name;
        std::string xml;
        const char* message;
    } bad[] = {
        {"unconnected", project("X:INT", "FBD", inVar(1, "X") + block(7, "ADD", "IN1=1 IN2", "OUT") + outVar(3, "7.OUT", "X")),
         "error: POU Main, FBD block 7 (ADD): input IN2 not connected"},
        {"dangling", project("X:INT", "FBD", inVar(1, "X") + outVar(3, "99", "X")),
         "error: POU Main, FBD outVariable 3 (X): its input connects to localId 99, which is no element of the network"},
        {"loop", project("X:INT", "FBD",
                         inVar(1, "1") + block(2, "ADD", "IN1=3.OUT IN2=1", "OUT") + block(3, "MUL", "IN1=2.OUT IN2=1", "OUT")),
         "error: POU Main, FBD loop through block 2 (ADD), block 3 (MUL) passes through no variable"},
        {"no_instance", project("X:BOOL", "FBD", inVar(1, "X") + block(2, "TON", "IN=1", "Q")),
         "error: POU Main, FBD block 2 (TON): a function block needs an instanceName"},
        {"contact_alone", project("X:BOOL", "LD", contact(2, "", "X") + coil(3, "2", "X")),
         "error: POU Main, LD contact 2 (X): input not connected"},
        {"statement_in_expression", project("X:BOOL", "FBD", inVar(1, "X; X := TRUE") + outVar(2, "1", "X")),
         "is not one ST expression"},
        {"duplicate_id", project("X:BOOL", "FBD", inVar(1, "X") + outVar(1, "1", "X")), "localId 1 is used twice"},
    };
    for (const auto& b : bad) {
        const Result r = qvcOnXml("check", b.name, b.xml);
        EXPECT_EQ(r.status, 1) << b.name << "\n" << r.output;
        EXPECT_NE(r.output.find(b.message), std::string::npos) << b.name << "\n" << r.output;
        EXPECT_NE(r.output.find(std::string(b.name) + ".xml:"), std::string::npos) << b.name << "\n" << r.output;
    }
}

}  // namespace
}  // namespace qvtest::compiler
