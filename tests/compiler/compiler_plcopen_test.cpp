// A PLCopen project with ST bodies, derived types, a function, documentation and a
// configuration runs as its Structured Text would; its locations and its diagnostics name
// lines of the XML file.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

const char* kProject = R"(<?xml version="1.0" encoding="utf-8"?>
<project xmlns="http://www.plcopen.org/xml/tc6_0201" xmlns:xhtml="http://www.w3.org/1999/xhtml">
  <fileHeader companyName="t" productName="t" productVersion="1" creationDateTime="2026-12-08T10:00:00"/>
  <contentHeader name="p"><coordinateInfo><fbd><scaling x="1" y="1"/></fbd><ld><scaling x="1" y="1"/></ld><sfc><scaling x="1" y="1"/></sfc></coordinateInfo></contentHeader>
  <types>
    <dataTypes>
      <dataType name="Mode"><baseType><enum><values><value name="Idle"/><value name="Busy"/></values></enum></baseType><initialValue><simpleValue value="Idle"/></initialValue></dataType>
      <dataType name="Pair"><baseType><struct>
        <variable name="a"><type><INT/></type><initialValue><simpleValue value="3"/></initialValue></variable>
        <variable name="b"><type><array><dimension lower="0" upper="2"/><baseType><INT/></baseType></array></type><initialValue><arrayValue><value repetitionValue="2"><simpleValue value="7"/></value><value><simpleValue value="9"/></value></arrayValue></initialValue></variable>
      </struct></baseType></dataType>
    </dataTypes>
    <pous>
      <pou name="Inc" pouType="function">
        <interface><returnType><INT/></returnType>
          <inputVars><variable name="X"><type><INT/></type></variable></inputVars>
        </interface>
        <body><ST><xhtml:p><![CDATA[Inc := X + 1;]]></xhtml:p></ST></body>
      </pou>
      <pou name="Main" pouType="program">
        <interface>
          <inputVars><variable name="Go"><type><BOOL/></type><initialValue><simpleValue value="TRUE"/></initialValue><documentation><xhtml:p>starts
            counting</xhtml:p></documentation></variable></inputVars>
          <outputVars><variable name="Count" address="%QW2"><type><INT/></type></variable></outputVars>
          <localVars><variable name="P"><type><derived name="Pair"/></type></variable><variable name="M"><type><derived name="Mode"/></type></variable></localVars>
        </interface>
        <body>
          <ST>
            <xhtml:p><![CDATA[IF Go THEN
  Count := Inc(Count);
  P.a := P.a + P.b[1];
END_IF;
M := Busy;]]></xhtml:p>
          </ST>
        </body>
      </pou>
    </pous>
  </types>
  <instances><configurations><configuration name="Cell"><resource name="Res"><task name="Fast" interval="PT0.02S" priority="1"><pouInstance name="Main1" typeName="Main"/></task></resource></configuration></configurations></instances>
</project>
)";

TEST(PlcopenProjects, RunAsTheirStructuredTextAndNameTheirXmlLines) {
    const Result built = buildProject("plcopen", kProject);
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("plcopen");
    EXPECT_EQ((*entry(symbols, "Cell.Res.Main1.Go"))["comment"], "starts counting");
    EXPECT_EQ((*entry(symbols, "Cell.Res.Main1.Count"))["address"], "%QW2");
    bool bodyLine = false;  // the second line of the ST body is line 30 of the file, column 3
    for (const auto& l : symbols["locations"])
        bodyLine = bodyLine || (l["file"] == "plcopen.xml" && l["line"] == 30 && l["column"] == 3);
    EXPECT_TRUE(bodyLine) << symbols["locations"].dump();

    ProgramRun run("qvct_plcopen", "plcopen");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=10"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(debug::stepOnce(run)) << run.console();
    EXPECT_EQ(valueOf(run.image(), symbols, "Cell.Res.Main1.Count"), "3");
    EXPECT_EQ(valueOf(run.image(), symbols, "Cell.Res.Main1.P.a"), "24");  // 3 + 3 * 7
    EXPECT_EQ(valueOf(run.image(), symbols, "Cell.Res.Main1.P.b[2]"), "9");
    EXPECT_EQ(valueOf(run.image(), symbols, "Cell.Res.Main1.M"), "Busy");
    EXPECT_EQ(run.end(), 0);
}

struct BadProject {
    const char* name;
    const char* from;  // replaced in kProject by `to`
    const char* to;
    const char* expected;  // in what qvc prints
};

const BadProject kBad[] = {
    {"UnknownType", "<derived name=\"Pair\"/>", "<derived name=\"Pear\"/>", "bad.xml:25:"},
    {"UnknownElement", "<type><BOOL/></type>", "<type><BOOLEAN/></type>", "bad.xml:22:49: error: unknown type <BOOLEAN>"},
    {"MistakeInTheBody", "P.b[1]", "P.c[1]", "bad.xml:31:"},
    {"MalformedXml", "</pous>", "</pou>", "bad.xml:37:7: error: malformed XML"},
    {"ConfigVars", "<resource name=\"Res\">",
     "<configVars><variable name=\"X\"><type><INT/></type></variable></configVars><resource name=\"Res\">",
     "configVars (VAR_CONFIG) are not supported"},
    {"NameThatIsNoIdentifier", "name=\"Main1\"", "name=\"Main 1\"", "a program instance has a name that is not an identifier"},
};

class PlcopenDiagnostics : public ::testing::TestWithParam<BadProject> {};

TEST_P(PlcopenDiagnostics, NameTheXmlLine) {
    std::string xml = kProject;
    const BadProject& bad = GetParam();
    xml.replace(xml.find(bad.from), std::strlen(bad.from), bad.to);
    const Result checked = qvcOn("check", "bad", xml, "", ".xml");
    EXPECT_EQ(checked.status, 1);
    EXPECT_NE(checked.output.find(bad.expected), std::string::npos) << checked.output;
}

INSTANTIATE_TEST_SUITE_P(Table, PlcopenDiagnostics, ::testing::ValuesIn(kBad),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace qvtest::compiler
