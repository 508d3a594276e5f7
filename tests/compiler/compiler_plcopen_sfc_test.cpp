// Graphical charts of PLCopen projects compiled by qvc: each chart of a table is drawn in
// XML (steps, transitions, divergences and convergences, jump steps, action blocks) and
// written again as a textual chart; both programs run side by side and must hold the same
// values in every cycle. Malformed drawings and their diagnostics at the XML's lines.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

// ---- Projects -------------------------------------------------------------------------

struct Var {
    const char* name;
    const char* type;  // an elementary type's element name
};

std::string variables(const std::vector<Var>& vars) {
    std::string s;
    for (const Var& v : vars) s += "        <variable name=\"" + std::string(v.name) + "\"><type><" + v.type + "/></type></variable>\n";
    return s;
}

// A POU with an SFC body; `extra` holds its <actions> and <transitions>.
std::string sfcPou(const char* name, const char* type, const std::vector<Var>& locals, const std::string& sfc,
                   const std::string& extra = "", const std::vector<Var>& inputs = {}, const std::vector<Var>& outputs = {}) {
    std::string s = "    <pou name=\"" + std::string(name) + "\" pouType=\"" + type + "\">\n      <interface>\n";
    if (!inputs.empty()) s += "        <inputVars>\n" + variables(inputs) + "        </inputVars>\n";
    if (!outputs.empty()) s += "        <outputVars>\n" + variables(outputs) + "        </outputVars>\n";
    if (!locals.empty()) s += "        <localVars>\n" + variables(locals) + "        </localVars>\n";
    s += "      </interface>\n      <body>\n        <SFC>\n" + sfc + "        </SFC>\n      </body>\n";
    return s + extra + "    </pou>\n";
}

std::string project(const std::string& pous) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<project xmlns=\"http://www.plcopen.org/xml/tc6_0201\" xmlns:xhtml=\"http://www.w3.org/1999/xhtml\">\n"
           "  <fileHeader companyName=\"qv\" productName=\"tests\" productVersion=\"1\" creationDateTime=\"2026-12-08T00:00:00\"/>\n"
           "  <contentHeader name=\"charts\">\n"
           "    <coordinateInfo><fbd><scaling x=\"1\" y=\"1\"/></fbd><ld><scaling x=\"1\" y=\"1\"/></ld><sfc><scaling x=\"1\" y=\"1\"/></sfc></coordinateInfo>\n"
           "  </contentHeader>\n"
           "  <types>\n  <dataTypes/>\n  <pous>\n" +
           pous + "  </pous>\n  </types>\n  <instances><configurations/></instances>\n</project>\n";
}

// The pieces editors write around every element.
std::string in(const std::vector<int>& from) {
    std::string s = "<connectionPointIn>";
    for (int id : from) s += "<connection refLocalId=\"" + std::to_string(id) + "\"/>";
    return s + "</connectionPointIn>";
}
std::string at(int x, int y) { return "<position x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"/>"; }
std::string st(const std::string& text) { return "<ST><xhtml:p><![CDATA[" + text + "]]></xhtml:p></ST>"; }
std::string inlineCondition(const std::string& text) { return "<condition><inline name=\"\">" + st(text) + "</inline></condition>"; }
std::string action(const std::string& name, const std::string& body) {
  return "      <actions><action name=\"" + name + "\"><body>" + st(body) + "</body></action></actions>\n";
}

std::string step(int id, const char* name, const std::vector<int>& from, bool initial = false) {
    return "          <step localId=\"" + std::to_string(id) + "\" name=\"" + name + "\"" + (initial ? " initialStep=\"true\"" : "") + ">" +
           at(40, 40 * id) + (from.empty() ? "" : in(from)) + "<connectionPointOut formalParameter=\"\"/></step>\n";
}
std::string transition(int id, int from, const std::string& condition, const char* priority = nullptr) {
    return "          <transition localId=\"" + std::to_string(id) + "\"" + (priority ? " priority=\"" + std::string(priority) + "\"" : "") +
           ">" + at(40, 40 * id) + in({from}) + "<connectionPointOut/>" + condition + "</transition>\n";
}
std::string element(const char* kind, int id, const std::vector<int>& from) {
    return "          <" + std::string(kind) + " localId=\"" + std::to_string(id) + "\">" + at(40, 40 * id) + in(from) + "</" + kind + ">\n";
}
std::string jump(int id, int from, const char* target) {
    return "          <jumpStep localId=\"" + std::to_string(id) + "\" targetName=\"" + target + "\">" + at(40, 40 * id) + in({from}) + "</jumpStep>\n";
}
// An action block: each association is {qualifier, duration, reference or "" for the
// inline body given as fourth}.
struct Association {
    const char* qualifier;
    const char* duration;
    const char* reference;
    const char* body = nullptr;
};
std::string actionBlock(int id, int stepId, const std::vector<Association>& actions) {
    std::string s = "          <actionBlock localId=\"" + std::to_string(id) + "\">" + at(120, 40 * stepId) + in({stepId}) + "\n";
    for (const Association& a : actions) {
        s += std::string("            <action localId=\"0\" qualifier=\"") + a.qualifier + "\"" +
             (*a.duration ? std::string(" duration=\"") + a.duration + "\"" : "") + "><relPosition x=\"0\" y=\"0\"/>";
        s += a.body ? "<inline>" + st(a.body) + "</inline>" : std::string("<reference name=\"") + a.reference + "\"/>";
        s += "</action>\n";
    }
    return s + "          </actionBlock>\n";
}

// ---- Charts and their textual twins -----------------------------------------------------

struct Twin {
    const char* name;
    int cycles;
    const char* text;  // the chart written as textual SFC
    std::string xml;   // the same chart drawn
    std::vector<const char*> compared;  // in every cycle
    std::vector<std::pair<const char*, const char*>> expected;  // after the last cycle
};
void PrintTo(const Twin& t, std::ostream* os) { *os << t.name; }

// Two transitions leave S0 through a selection divergence: the lower priority wins
// although it is drawn first.
const char* kPriorityText = R"(PROGRAM Main
VAR a, b : BOOL; END_VAR
INITIAL_STEP S0: END_STEP
STEP S1: a(N); END_STEP
STEP S2: b(N); END_STEP
TRANSITION (PRIORITY := 2) FROM S0 TO S1 := TRUE; END_TRANSITION
TRANSITION (PRIORITY := 1) FROM S0 TO S2 := TRUE; END_TRANSITION
END_PROGRAM
)";
std::string priorityXml() {
    return project(sfcPou("Main", "program", {{"a", "BOOL"}, {"b", "BOOL"}},
                          step(1, "S0", {}, true) + element("selectionDivergence", 2, {1}) +
                              transition(3, 2, inlineCondition("TRUE"), "2") + transition(4, 2, inlineCondition("TRUE"), "1") +
                              step(5, "S1", {3}) + actionBlock(6, 5, {{"N", "", "a"}}) + step(7, "S2", {4}) +
                              actionBlock(8, 7, {{"N", "", "b"}})));
}

// A simultaneous divergence and convergence; the convergence waits for both branches; a
// named transition's body, a jump back to the initial step, a P1 action of the POU that
// runs with Q once and once more for its final scan.
const char* kParallelText = R"(PROGRAM Main
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
std::string parallelXml() {
    const std::string extra = action("Count", "n := n + 1;\nIF Count.Q THEN m := m + 1; END_IF;") +
                              "      <transitions><transition name=\"Again\"><body>" + st("Again := Join.T >= T#100ms;") +
                              "</body></transition></transitions>\n";
    return project(sfcPou("Main", "program", {{"n", "INT"}, {"m", "INT"}},
                          step(1, "Start", {}, true) + transition(2, 1, inlineCondition("TRUE")) +
                              element("simultaneousDivergence", 3, {2}) + step(4, "A1", {3}) + step(5, "B1", {3}) +
                              transition(6, 4, inlineCondition("TRUE")) + step(7, "A2", {6}) +
                              element("simultaneousConvergence", 8, {7, 5}) + transition(9, 8, inlineCondition("TRUE")) +
                              step(10, "Join", {9}) + actionBlock(11, 10, {{"P1", "", "Count"}}) +
                              transition(12, 10, "<condition><reference name=\"Again\"/></condition>") + jump(13, 12, "Start"),
                          extra));
}

// Stored, reset, limited, delayed and P0 qualifiers timed in simulated time (50 ms a
// cycle); the P0 action is written inline in the action block; the last condition is
// wired from an in-variable.
const char* kQualifiersText = R"(PROGRAM Main
VAR held, limited, delayed, stored_late : BOOL; count : INT; END_VAR
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
std::string qualifiersXml() {
    return project(sfcPou(
        "Main", "program", {{"held", "BOOL"}, {"limited", "BOOL"}, {"delayed", "BOOL"}, {"stored_late", "BOOL"}, {"count", "INT"}},
        step(1, "S0", {}, true) + transition(2, 1, inlineCondition("TRUE")) + step(3, "S1", {2}) +
            actionBlock(4, 3, {{"S", "", "held"}, {"L", "PT0.1S", "limited"}, {"D", "100ms", "delayed"}, {"SD", "T#100ms", "stored_late"}}) +
            transition(5, 3, inlineCondition("S1.T >= T#200ms;")) + step(6, "S2", {5}) +
            actionBlock(7, 6, {{"R", "", "held"}, {"R", "", "stored_late"}, {"P0", "", "", "count := count + 1;"}}) +
            "          <inVariable localId=\"8\">" + at(0, 280) + "<connectionPointOut/><expression>TRUE</expression></inVariable>\n" +
            transition(9, 6, "<condition>" + in({8}) + "</condition>") + step(10, "S3", {9})));
}

// A chart in a function block: each instance has its own steps; the program is ST.
const char* kBlockText = R"(FUNCTION_BLOCK Filler
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
std::string blockXml() {
    const std::string filler = sfcPou("Filler", "functionBlock", {},
                                      step(1, "Idle", {4}, true) + transition(2, 1, inlineCondition("start")) + step(3, "Fill", {2}) +
                                          actionBlock(5, 3, {{"N", "", "valve"}}) +
                                          transition(4, 3, inlineCondition("Fill.T >= T#100ms")),
                                      "", {{"start", "BOOL"}}, {{"valve", "BOOL"}});
    const std::string main =
        "    <pou name=\"Main\" pouType=\"program\">\n      <interface><localVars>\n"
        "        <variable name=\"t1\"><type><derived name=\"Filler\"/></type></variable>\n"
        "        <variable name=\"t2\"><type><derived name=\"Filler\"/></type></variable>\n"
        "        <variable name=\"open\"><type><BOOL/></type></variable>\n"
        "      </localVars></interface>\n      <body>" +
        st("t1(start := TRUE);\nt2(start := FALSE);\nopen := t1.valve;") + "</body>\n    </pou>\n";
    return project(filler + main);
}

// A selection of two branches joined by a selection convergence, left by a jump to a step
// that is not the initial one; the branch of the lower priority is taken once its
// condition holds.
const char* kSelectionText = R"(PROGRAM Main
VAR n : INT; done : BOOL; END_VAR
INITIAL_STEP S0: END_STEP
STEP S1: END_STEP
STEP S2: Inc(N); END_STEP
STEP S3: done(S); END_STEP
STEP S4: END_STEP
TRANSITION FROM S0 TO S1 := TRUE; END_TRANSITION
TRANSITION (PRIORITY := 2) FROM S1 TO S2 := TRUE; END_TRANSITION
TRANSITION (PRIORITY := 1) FROM S1 TO S3 := n >= 4; END_TRANSITION
TRANSITION FROM S2 TO S4 := TRUE; END_TRANSITION
TRANSITION FROM S3 TO S4 := TRUE; END_TRANSITION
TRANSITION FROM S4 TO S1 := S4.T >= T#50ms; END_TRANSITION
ACTION Inc:
    n := n + 1;
END_ACTION
END_PROGRAM
)";
std::string selectionXml() {
    return project(sfcPou("Main", "program", {{"n", "INT"}, {"done", "BOOL"}},
                          step(1, "S0", {}, true) + transition(2, 1, inlineCondition("TRUE")) + step(3, "S1", {2}) +
                              element("selectionDivergence", 4, {3}) + transition(5, 4, inlineCondition("TRUE"), "2") +
                              transition(6, 4, inlineCondition("n >= 4"), "1") + step(7, "S2", {5}) +
                              actionBlock(8, 7, {{"N", "", "Inc"}}) + step(9, "S3", {6}) + actionBlock(10, 9, {{"S", "", "done"}}) +
                              transition(11, 7, inlineCondition("TRUE")) + transition(12, 9, inlineCondition("TRUE")) +
                              element("selectionConvergence", 13, {11, 12}) + step(14, "S4", {13}) +
                              transition(15, 14, inlineCondition("S4.T >= T#50ms")) + jump(16, 15, "S1"),
                          action("Inc", "n := n + 1;")));
}

// Networks inside a chart: a named transition drawn in LD (its coil sets the name) and a
// P1 action drawn in FBD inline in its action block; a D qualifier on a BOOL.
const char* kNetworksText = R"(PROGRAM Main
VAR a : BOOL; n : INT; END_VAR
INITIAL_STEP S0: a(D, T#100ms); END_STEP
STEP S1: Inc(P1); END_STEP
TRANSITION Ready FROM S0 TO S1 :
    Ready := a;
END_TRANSITION
TRANSITION FROM S1 TO S0 := TRUE; END_TRANSITION
ACTION Inc:
    n := n + 1;
END_ACTION
END_PROGRAM
)";
std::string readyLd(const char* coil) {
    return "      <transitions><transition name=\"Ready\"><body><LD>\n"
           "        <leftPowerRail localId=\"1\">" + at(0, 0) + "<connectionPointOut formalParameter=\"\"/></leftPowerRail>\n"
           "        <contact localId=\"2\">" + at(20, 0) + in({1}) + "<connectionPointOut/><variable>a</variable></contact>\n"
           "        <coil localId=\"3\">" + at(60, 0) + in({2}) + "<connectionPointOut/><variable>" + coil + "</variable></coil>\n"
           "        <rightPowerRail localId=\"4\">" + at(100, 0) + in({3}) + "</rightPowerRail>\n"
           "      </LD></body></transition></transitions>\n";
}
std::string networksXml() {
    const std::string incFbd =
        "<FBD><inVariable localId=\"1\">" + at(0, 0) + "<connectionPointOut/><expression>n</expression></inVariable>"
        "<inVariable localId=\"2\">" + at(0, 20) + "<connectionPointOut/><expression>1</expression></inVariable>"
        "<block localId=\"3\" typeName=\"ADD\">" + at(40, 0) +
        "<inputVariables><variable formalParameter=\"IN1\">" + in({1}) + "</variable><variable formalParameter=\"IN2\">" + in({2}) +
        "</variable></inputVariables><inOutVariables/><outputVariables><variable formalParameter=\"OUT\"><connectionPointOut/></variable>"
        "</outputVariables></block><outVariable localId=\"4\">" + at(80, 0) +
        "<connectionPointIn><connection refLocalId=\"3\" formalParameter=\"OUT\"/></connectionPointIn><expression>n</expression></outVariable></FBD>";
    return project(sfcPou("Main", "program", {{"a", "BOOL"}, {"n", "INT"}},
                          step(1, "S0", {}, true) + actionBlock(2, 1, {{"D", "T#100ms", "a"}}) +
                              transition(3, 1, "<condition><reference name=\"Ready\"/></condition>") + step(4, "S1", {3}) +
                              "          <actionBlock localId=\"5\">" + at(120, 160) + in({4}) +
                              "<action localId=\"0\" qualifier=\"P1\"><relPosition x=\"0\" y=\"0\"/><inline>" + incFbd +
                              "</inline></action></actionBlock>\n" + transition(6, 4, inlineCondition("TRUE")) + jump(7, 6, "S0"),
                          readyLd("Ready")));
}

// A jump to a named simultaneous divergence enters all its branches again.
const char* kJumpToSplitText = R"(PROGRAM Main
INITIAL_STEP S0: END_STEP
STEP A: END_STEP
STEP B: END_STEP
STEP C: END_STEP
TRANSITION FROM S0 TO (A, B) := TRUE; END_TRANSITION
TRANSITION FROM (A, B) TO C := TRUE; END_TRANSITION
TRANSITION FROM C TO (A, B) := C.T >= T#50ms; END_TRANSITION
END_PROGRAM
)";
std::string jumpToSplitXml() {
    return project(sfcPou("Main", "program", {},
                          step(1, "S0", {}, true) + transition(2, 1, inlineCondition("TRUE")) +
                              "          <simultaneousDivergence localId=\"3\" name=\"Split\">" + at(40, 120) + in({2}) +
                              "</simultaneousDivergence>\n" + step(4, "A", {3}) + step(5, "B", {3}) +
                              element("simultaneousConvergence", 6, {4, 5}) + transition(7, 6, inlineCondition("TRUE")) +
                              step(8, "C", {7}) + transition(9, 8, inlineCondition("C.T >= T#50ms")) + jump(10, 9, "Split")));
}

std::vector<Twin> twins() {
    return {
        {"gsfc_priority", 2, kPriorityText, priorityXml(), {"Main.S0.X", "Main.S1.X", "Main.S2.X", "Main.a", "Main.b"},
         {{"Main.S2.X", "TRUE"}, {"Main.b", "TRUE"}, {"Main.a", "FALSE"}}},
        {"gsfc_parallel", 8, kParallelText, parallelXml(),
         {"Main.Start.X", "Main.A1.X", "Main.A2.X", "Main.B1.X", "Main.Join.X", "Main.Join.T", "Main.Again", "Main.n", "Main.m",
          "Main.Count.Q", "Main.Count.A"},
         {{"Main.Start.X", "FALSE"}, {"Main.A2.X", "TRUE"}, {"Main.B1.X", "TRUE"}, {"Main.n", "2"}, {"Main.m", "1"}}},
        {"gsfc_qualifiers", 9, kQualifiersText, qualifiersXml(),
         {"Main.S0.X", "Main.S1.X", "Main.S2.X", "Main.S3.X", "Main.S1.T", "Main.held", "Main.limited", "Main.delayed",
          "Main.stored_late", "Main.count"},
         {{"Main.S3.X", "TRUE"}, {"Main.count", "2"}, {"Main.held", "FALSE"}}},
        {"gsfc_block", 6, kBlockText, blockXml(),
         {"Main.t1.Idle.X", "Main.t1.Fill.X", "Main.t1.Fill.T", "Main.t2.Idle.X", "Main.t2.Fill.X", "Main.open"},
         {{"Main.t1.Fill.X", "TRUE"}, {"Main.t2.Idle.X", "TRUE"}}},
        {"gsfc_selection", 16, kSelectionText, selectionXml(),
         {"Main.S0.X", "Main.S1.X", "Main.S2.X", "Main.S3.X", "Main.S4.X", "Main.S4.T", "Main.n", "Main.done", "Main.Inc.Q"},
         {{"Main.done", "TRUE"}, {"Main.n", "4"}}},
        {"gsfc_jump_to_split", 8, kJumpToSplitText, jumpToSplitXml(), {"Main.S0.X", "Main.A.X", "Main.B.X", "Main.C.X", "Main.C.T"},
         {{"Main.C.X", "TRUE"}}},
        {"gsfc_networks", 12, kNetworksText, networksXml(), {"Main.S0.X", "Main.S1.X", "Main.S0.T", "Main.a", "Main.n", "Main.Ready"},
         {{"Main.n", "6"}}},
    };
}

// Writes the project as <name>.xml in a temporary folder and runs `qvc <command>` on it.
Result qvcOnXml(const std::string& command, const std::string& name, const std::string& xml, const std::string& options = "") {
    const std::string folder = qv::platform::temporaryDirectory() + "/qvct_xml_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    writeFile(folder + "/" + name + ".xml", xml);
    return runShell("cd " + folder + " && " + qvc() + " " + command + " " + name + ".xml " + options);
}

Result buildXml(const std::string& name, const std::string& xml) {
    return qvcOnXml("build", name, xml, "-o " + std::string(QV_BUILD_BIN_DIR) + "/qvct_" + name);
}

class GraphicalCharts : public ::testing::TestWithParam<Twin> {};

TEST_P(GraphicalCharts, EvolveAsTheirTextualTwins) {
    const Twin& t = GetParam();
    const std::string drawn = std::string(t.name) + "_xml", written = std::string(t.name) + "_st";
    const Result builtXml = buildXml(drawn, t.xml);
    ASSERT_EQ(builtXml.status, 0) << builtXml.output << "\n" << t.xml;
    EXPECT_EQ(builtXml.output.find(".c:"), std::string::npos) << "the C compiler warned:\n" << builtXml.output;
    const Result builtSt = buildProgram(written, t.text);
    ASSERT_EQ(builtSt.status, 0) << builtSt.output;
    const nlohmann::json symbolsXml = symbolsOf(drawn), symbolsSt = symbolsOf(written);
    ASSERT_FALSE(symbolsXml.is_discarded());
    ASSERT_FALSE(symbolsSt.is_discarded());

    ProgramRun xml("qvct_" + drawn, "gsfcx"), text("qvct_" + written, "gsfct");
    ASSERT_TRUE(xml.start({"QV_TIMEOUT=20"}));
    ASSERT_TRUE(text.start({"QV_TIMEOUT=20"}));
    ASSERT_TRUE(xml.waitUntilStopped()) << xml.console();
    ASSERT_TRUE(text.waitUntilStopped()) << text.console();
    for (int cycle = 1; cycle <= t.cycles; ++cycle) {
        ASSERT_TRUE(debug::stepOnce(xml)) << xml.console();
        ASSERT_TRUE(debug::stepOnce(text)) << text.console();
        for (const char* name : t.compared)
            ASSERT_EQ(valueOf(xml.image(), symbolsXml, name), valueOf(text.image(), symbolsSt, name)) << name << " in cycle " << cycle;
    }
    for (const auto& [name, value] : t.expected) EXPECT_EQ(valueOf(xml.image(), symbolsXml, name), value) << name;
    EXPECT_EQ(xml.end(), 0);
    EXPECT_EQ(text.end(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, GraphicalCharts, ::testing::ValuesIn(twins()),
                         [](const ::testing::TestParamInfo<Twin>& row) { return std::string(row.param.name); });

// The description draws the chart: each element with its position and connections, each
// step with the breakpoint location of its XML line, which is also the line the chart
// list gives it.
TEST(GraphicalChartDescription, KeepsTheDrawingAndTheXmlLines) {
    const std::string xml = parallelXml();
    const Result built = buildXml("gsfc_drawing", xml);
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("gsfc_drawing");
    ASSERT_TRUE(symbols.contains("diagrams")) << symbols.dump(1);
    const nlohmann::json& diagram = symbols["diagrams"][0];
    EXPECT_EQ(diagram["pou"], "Main");
    EXPECT_EQ(diagram["language"], "SFC");
    auto lineOf = [&xml](const std::string& text) {
        const std::size_t at = xml.find(text);
        return at == std::string::npos ? -1 : static_cast<int>(std::count(xml.begin(), xml.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1;
    };
    const int joinLine = lineOf("name=\"Join\"");
    const nlohmann::json* join = nullptr;
    const nlohmann::json* convergence = nullptr;
    for (const nlohmann::json& e : diagram["elements"]) {
        EXPECT_TRUE(e["inputs"].is_array() && e["outputs"].is_array()) << e.dump();  // a drawing client walks both
        if (e.value("name", "") == "Join") join = &e;
        if (e["kind"] == "simultaneousConvergence") convergence = &e;
    }
    ASSERT_NE(join, nullptr);
    EXPECT_EQ((*join)["kind"], "step");
    EXPECT_EQ((*join)["line"], joinLine);
    EXPECT_EQ((*join)["location"], joinLine);
    EXPECT_EQ((*join)["y"], 400);
    ASSERT_NE(convergence, nullptr);
    ASSERT_EQ((*convergence)["inputs"].size(), 2u);
    EXPECT_EQ((*convergence)["inputs"][0]["from"], 7);
    EXPECT_EQ((*convergence)["inputs"][1]["from"], 5);

    ASSERT_EQ(symbols["charts"].size(), 1u);
    const nlohmann::json& chart = symbols["charts"][0];
    EXPECT_EQ(chart["name"], "Start");
    bool listed = false;
    for (const nlohmann::json& s : chart["steps"])
        if (s["name"] == "Join") {
            listed = true;
            EXPECT_EQ(s["line"], joinLine);
            EXPECT_EQ(s["location"], joinLine);
        }
    EXPECT_TRUE(listed) << chart.dump(1);
    bool again = false;
    for (const nlohmann::json& tr : chart["transitions"])
        if (tr["name"] == "Again") {
            again = true;
            EXPECT_EQ(tr["from"][0], "Join");
            EXPECT_EQ(tr["to"][0], "Start");  // through the jump step
        }
    EXPECT_TRUE(again) << chart.dump(1);
}

// ---- Malformed drawings -----------------------------------------------------------------

struct BadDrawing {
    const char* name;
    std::string xml;
    const char* marker;  // text on the XML line the diagnostic names
    const char* expected;
};
void PrintTo(const BadDrawing& b, std::ostream* os) { *os << b.name; }

std::string twoSteps(const std::string& between, const char* secondInitial = "", const std::string& extra = "") {
    return project(sfcPou("Main", "program", {{"x", "BOOL"}, {"a", "BOOL"}},
                          step(1, "A", {}, true) + between + "          <step localId=\"3\" name=\"B\"" + secondInitial + ">" + at(0, 0) +
                              in({2}) + "</step>\n",
                          extra));
}

std::vector<BadDrawing> badDrawings() {
    const std::string toB = transition(2, 1, inlineCondition("x"));
    return {
        {"macro_step", project(sfcPou("Main", "program", {}, step(1, "A", {}, true) + "          <macroStep localId=\"2\" name=\"M\">" + at(0, 0) + in({1}) + "</macroStep>\n")),
         "<macroStep", "error: POU Main, SFC macro step 2 (M): macro steps are not supported"},
        {"two_initial", twoSteps(toB, " initialStep=\"true\""), "name=\"B\"",
         // sfc.cpp's check, its caret under the step's name in the XML
         "error: two initial steps in one chart: A and B"},
        {"dangling", twoSteps(transition(2, 9, inlineCondition("x"))), "refLocalId=\"9\"",
         "error: POU Main, SFC transition 2: connected to element 9, which is not in the body"},
        {"no_target", project(sfcPou("Main", "program", {{"x", "BOOL"}}, step(1, "A", {}, true) + transition(2, 1, inlineCondition("x")))),
         "<transition", "error: POU Main, SFC transition 2: it leads to no step"},
        {"no_source", twoSteps("          <transition localId=\"2\">" + at(0, 0) + inlineCondition("x") + "</transition>\n"),
         "<transition", "error: POU Main, SFC transition 2: no step leads to it"},
        {"step_to_step", twoSteps(toB + step(4, "C", {3})), "name=\"C\"",
         "error: POU Main, SFC step 4 (C): comes from a step 3 where a transition, a selection convergence or a simultaneous divergence was expected"},
        {"transition_to_transition", twoSteps(toB + transition(4, 2, inlineCondition("x"))), "localId=\"4\"",
         "error: POU Main, SFC transition 4: comes from a transition 2 where a step, a selection divergence or a simultaneous convergence was expected"},
        {"unknown_jump", twoSteps(toB + jump(4, 2, "Nowhere")), "<jumpStep", "error: POU Main, SFC jump step 4 (Nowhere): no step named Nowhere"},
        {"unknown_reference", twoSteps(transition(2, 1, "<condition><reference name=\"Ready\"/></condition>")), "<reference",
         "error: POU Main, SFC transition 2: no transition named Ready in the POU's transitions"},
        {"unknown_qualifier", twoSteps(toB + actionBlock(4, 3, {{"DL", "T#1s", "x"}})), "qualifier=\"DL\"",
         "error: POU Main, SFC action block 4, action 1: unknown qualifier DL"},
        {"missing_duration", twoSteps(toB + actionBlock(4, 3, {{"L", "", "x"}})), "qualifier=\"L\"",
         "error: POU Main, SFC action block 4, action 1: qualifier L needs a duration"},
        {"loose_action_block", twoSteps(toB + "          <actionBlock localId=\"4\">" + at(0, 0) + "</actionBlock>\n"), "<actionBlock",
         "error: POU Main, SFC action block 4: not connected to a step"},
        {"undeclared_action", twoSteps(toB + actionBlock(4, 3, {{"N", "", "Fill"}})), "<reference name=\"Fill\"",
         "error: action Fill is not declared"},
        {"bad_step_name", twoSteps(toB + step(4, "1st", {})), "name=\"1st\"",
         "error: POU Main, SFC step 4 (1st): the name \"1st\" is not an identifier"},
        {"network_without_name", twoSteps(transition(2, 1, "<condition><reference name=\"Ready\"/></condition>"), "", readyLd("x")),
         "<transition name=\"Ready\"", "error: POU Main, SFC transition Ready: its LD network sets no value to Ready"},
        {"chart_in_action",
         twoSteps(transition(2, 1, inlineCondition("x")), "",
                  "      <actions><action name=\"Sub\"><body><SFC>" + step(1, "X1", {}, true) + "</SFC></body></action></actions>\n"),
         "<action name=\"Sub\"", "error: POU Main, SFC body of action Sub: an action cannot hold a chart"},
        {"bad_condition", twoSteps(transition(2, 1, inlineCondition("x AND AND x"))), "x AND AND x", "error: "},
    };
}

class DrawingDiagnostics : public ::testing::TestWithParam<BadDrawing> {};

TEST_P(DrawingDiagnostics, NameTheElementAtItsXmlLine) {
    const BadDrawing& b = GetParam();
    const std::size_t at = b.xml.find(b.marker);
    ASSERT_NE(at, std::string::npos) << b.marker;
    const int line = static_cast<int>(std::count(b.xml.begin(), b.xml.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1;
    const Result r = qvcOnXml("check", b.name, b.xml);
    EXPECT_EQ(r.status, 1) << r.output;
    const std::string where = std::string(b.name) + ".xml:" + std::to_string(line) + ":";
    const std::size_t found = r.output.find(where);
    ASSERT_NE(found, std::string::npos) << where << "\n" << r.output;
    EXPECT_NE(r.output.find(b.expected, found), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Table, DrawingDiagnostics, ::testing::ValuesIn(badDrawings()),
                         [](const ::testing::TestParamInfo<BadDrawing>& row) { return std::string(row.param.name); });

// The caret of a chart check stands under the step's name in the XML line.
TEST(DrawingCarets, PointAtTheStepsName) {
    const std::string xml = twoSteps(transition(2, 1, inlineCondition("x")), " initialStep=\"true\"");
    const Result r = qvcOnXml("check", "caret", xml);
    const std::size_t at = xml.find("name=\"B\"");
    const std::size_t lineStart = xml.rfind('\n', at) + 1;
    const int column = static_cast<int>(at - lineStart) + 7;
    const int line = static_cast<int>(std::count(xml.begin(), xml.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1;
    EXPECT_NE(r.output.find("caret.xml:" + std::to_string(line) + ":" + std::to_string(column) + ": error: two initial steps"),
              std::string::npos)
        << r.output;
}

}  // namespace
}  // namespace qvtest::compiler
