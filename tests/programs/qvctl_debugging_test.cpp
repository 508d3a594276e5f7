// qvctl as a person debugs with it: step breakpoints named by their grafcet step in every
// program, the trace file read back as text, as a Value Change Dump and as a timing
// diagram, and the commands that list images and variables.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <sstream>

#include "tests/programs/qvctl_driver.h"

namespace {

using qvtest::ctl;
using qvtest::CtlResult;
using qvtest::ProgramRun;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The three programs of one model: the step that becomes active in their first cycles
// and the input that lets it.
TEST(StepBreakpoints, OneModelProgramsPauseWhenTheStepBecomesActive) {
    struct Case {
        std::string program;
        std::string step;      // the step, by name
        std::string input;     // set TRUE before the first cycle ("" none)
        std::string cycle;     // the first cycle's number
    };
    const Case cases[] = {
        {"bistable_cylinder", "_X_23", "CR", "1"},  // forced to "retracted" by the sensors
        {"pick_place_unit", "_X_10", "", "0"},      // forced to rest by the supervision
        {"suction_cup", "_X_22", "", "0"},          // releases at start
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        ProgramRun run(c.program, "qvctl");
        ASSERT_TRUE(run.start());
        ASSERT_TRUE(run.waitUntilStopped());
        const std::string where = c.step + " (location " + c.step.substr(3) + ", instance 1)";
        EXPECT_CTL(ctl(run, {"break", "add", c.step}), 0, "breakpoint: pause when " + where + " becomes active\n");
        EXPECT_CTL(ctl(run, {"break", "list"}), 0,
                   "step " + c.step + " (location " + c.step.substr(3) + " instance 1)\n");
        if (!c.input.empty()) {
            ASSERT_EQ(ctl(run, {"-q", "set", c.input, "TRUE"}).status, 0);
        }
        EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle " + c.cycle + " at " + where + "\n");
        const CtlResult status = ctl(run, {"status"});
        EXPECT_TRUE(contains(status.output, "why        paused by a location breakpoint when " + where + " became active\n"))
            << status.output;
        EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle " + c.cycle + "\n");
        EXPECT_TRUE(contains(ctl(run, {"status"}).output, "why        stopped at the end of cycle " + c.cycle));
        // By instance and number, as the same pair.
        EXPECT_CTL(ctl(run, {"break", "remove", c.program, c.step.substr(3)}), 0, "breakpoint removed: " + where + "\n");
        EXPECT_CTL(ctl(run, {"break", "list"}), 0, "no breakpoints\n");
        EXPECT_EQ(run.end(), 0);
    }
}

// The cell: a pause in one cylinder, then STEP from activation to activation through the
// instances in their visiting order, then the end of the cycle.
TEST(StepBreakpoints, TheCellPausesInTheInstanceNamed) {
    ProgramRun run("manipulateur", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    for (const char* sensor : {"FCGXR", "FCPXR", "FCVRR", "FCVZH"}) {
        ASSERT_EQ(ctl(run, {"-q", "set", sensor, "1"}).status, 0);
    }
    EXPECT_CTL(ctl(run, {"break", "add", "Verin_PX._X_23"}), 0,
               "breakpoint: pause when Verin_PX._X_23 (location 23, instance 5) becomes active\n");
    EXPECT_CTL(ctl(run, {"break", "add", "Verin_GX", "23"}), 0,
               "breakpoint: pause when Verin_GX._X_23 (location 23, instance 7) becomes active\n");
    EXPECT_CTL(ctl(run, {"break", "add", "Verin_GX", "23"}), 0, "Verin_GX._X_23 had a breakpoint already\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle 0 at Verin_PX._X_23 (location 23, instance 5)\n");
    EXPECT_CTL(ctl(run, {"get", "Verin_PX._X_23", "Verin_GX._X_23", "execstatus"}), 0,
               "Verin_PX._X_23 = TRUE\nVerin_GX._X_23 = FALSE\nexecstatus = PAUSE\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle 0 at Verin_VR._X_23 (location 23, instance 6)\n");
    EXPECT_TRUE(contains(ctl(run, {"status"}).output,
                         "why        paused when Verin_VR._X_23 (location 23, instance 6) became active: a STEP from a "
                         "breakpoint goes on to the next breakpoint call\n"));
    EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle 0 at Verin_GX._X_23 (location 23, instance 7)\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle 0 at pick_place_unit1._X_10 (location 10, instance 9)\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle 0 at Verin_VZ._X_23 (location 23, instance 10)\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "PAUSE in cycle 0 at Vent_VT._X_22 (location 22, instance 11)\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 0\n");
    // The next cycle activates no listed step: it runs through.
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 1\n");
    EXPECT_EQ(run.end(), 0);
}

// ---- Trace files ------------------------------------------------------------------------

// A Value Change Dump read by the grammar of the format: declarations, then time stamps
// that never decrease and value changes of declared identifiers. Empty when it conforms,
// else what is wrong.
std::string vcdProblems(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> t;
    for (std::string w; in >> w;) t.push_back(w);
    std::size_t k = 0;
    std::map<std::string, std::pair<std::string, int>> vars;  // code: type, size
    int depth = 0;
    auto skipToEnd = [&] {
        while (k < t.size() && t[k] != "$end") ++k;
        if (k == t.size()) return false;
        ++k;
        return true;
    };
    bool definitions = false;
    while (k < t.size() && !definitions) {
        const std::string word = t[k++];
        if (word == "$date" || word == "$version" || word == "$comment") {
            if (!skipToEnd()) return "unterminated " + word;
        } else if (word == "$timescale") {
            if (k + 1 >= t.size() || !std::set<std::string>{"1", "10", "100"}.contains(t[k]) ||
                !std::set<std::string>{"s", "ms", "us", "ns", "ps", "fs"}.contains(t[k + 1]) || t[k + 2] != "$end")
                return "bad $timescale";
            k += 3;
        } else if (word == "$scope") {
            if (k + 2 >= t.size() || t[k + 2] != "$end") return "bad $scope";
            k += 3;
            ++depth;
        } else if (word == "$upscope") {
            if (t[k++] != "$end" || --depth < 0) return "bad $upscope";
        } else if (word == "$var") {
            if (k + 4 >= t.size() || t[k + 4] != "$end") return "bad $var at " + std::to_string(k);
            const std::string type = t[k];
            if (!std::set<std::string>{"wire", "reg", "integer", "real"}.contains(type)) return "bad var type " + type;
            const int size = std::stoi(t[k + 1]);
            const std::string& code = t[k + 2];
            for (char c : code)
                if (c < '!' || c > '~') return "bad identifier code";
            if (vars.contains(code)) return "identifier declared twice";
            for (char c : t[k + 3])
                if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return "bad reference " + t[k + 3];
            vars[code] = {type, size};
            k += 5;
        } else if (word == "$enddefinitions") {
            if (t[k++] != "$end" || depth != 0) return "bad $enddefinitions";
            definitions = true;
        } else {
            return "unexpected " + word + " among the declarations";
        }
    }
    if (!definitions) return "no $enddefinitions";
    long long now = -1;
    bool inDump = false;
    while (k < t.size()) {
        const std::string word = t[k++];
        if (word[0] == '#') {
            const long long time = std::stoll(word.substr(1));
            if (time < now) return "time goes back at " + word;
            now = time;
        } else if (word == "$dumpvars") {
            inDump = true;
        } else if (word == "$end") {
            if (!inDump) return "stray $end";
            inDump = false;
        } else if (word[0] == 'b' || word[0] == 'r') {
            if (k >= t.size() || !vars.contains(t[k])) return "value of an undeclared identifier";
            const std::string& value = word.substr(1);
            if (word[0] == 'b' && value.find_first_not_of("01xzXZ") != std::string::npos) return "bad vector " + word;
            if (word[0] == 'b' && static_cast<int>(value.size()) > vars[t[k]].second) return "vector too wide";
            if (word[0] == 'r' && vars[t[k]].first != "real") return "real value of a non-real";
            ++k;
        } else if (std::string("01xzXZ").find(word[0]) != std::string::npos) {
            const std::string code = word.substr(1);
            if (!vars.contains(code) || vars[code].second != 1) return "scalar value of " + word;
        } else {
            return "unexpected " + word;
        }
        if (now < 0) return "a value before the first time stamp";
    }
    return "";
}

TEST(QvctlTraceFile, ShownExportedAndPlotted) {
    ProgramRun run("bistable_cylinder", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ASSERT_EQ(ctl(run, {"-q", "trace", "add", "DS", "CR", "CS", "OrdreS", "EtatS", "_X_20", "execstatus"}).status, 0);
    EXPECT_CTL(ctl(run, {"trace", "on"}), 0, "tracing on, file " + run.traceFile() + "\n");
    auto step = [&](int n) { ASSERT_EQ(ctl(run, {"step", std::to_string(n)}).status, 0); };
    ASSERT_EQ(ctl(run, {"-q", "set", "CR", "TRUE"}).status, 0);
    step(2);
    ASSERT_EQ(ctl(run, {"-q", "set", "DS", "TRUE"}).status, 0);
    step(1);  // cycle 3 extends
    ASSERT_EQ(ctl(run, {"-q", "set", "CR", "FALSE"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "set", "CS", "TRUE"}).status, 0);
    step(2);  // cycle 4 sees the extended position

    const CtlResult shown = ctl(run, {"trace", "show"});
    EXPECT_EQ(shown.status, 0);
    for (const char* line : {"trace file ", "program bistable_cylinder, started ", ", period 50 ms\n",
                             "       3    0.100 s  OrdreS = TRUE   (was FALSE)\n",
                             "       3    0.100 s  _X_20 = TRUE   (was FALSE)\n",
                             "       4    0.150 s  EtatS = TRUE   (was FALSE)\n",
                             "       1    0.000 s  -- tracing on: every traced value follows\n",
                             "       1    0.000 s  execstatus = STEP\n",
                             "       4    0.150 s  == STOP: the program waits before this cycle\n"})
        EXPECT_TRUE(contains(shown.output, line)) << line << "\n" << shown.output;

    const std::string vcd = run.folder() + "/trace.vcd";
    EXPECT_CTL(ctl(run, {"trace", "export", "--vcd", "-o", vcd}), 0, "wrote " + vcd + " from " + run.traceFile() + "\n");
    const std::string dump = qvtest::readFile(vcd);
    EXPECT_EQ(vcdProblems(dump), "") << dump;
    EXPECT_TRUE(contains(dump, "$var wire 1 % OrdreS $end")) << dump;
    EXPECT_TRUE(contains(dump, "#100\nb11 !\n1\"\n1%\n1'\n")) << dump;  // cycle 3: DS seen, OrdreS and _X_20 rise

    const CtlResult csv = ctl(run, {"trace", "export", "--csv"});
    EXPECT_TRUE(csv.output.starts_with("cycle,time_s,event,DS,CR,CS,OrdreS,EtatS,_X_20,execstatus\n")) << csv.output;
    EXPECT_TRUE(contains(csv.output, "\n3,0.100,STOP RUN,1,1,0,1,0,1,STEP\n")) << csv.output;

    const std::string svg = run.folder() + "/trace.svg";
    EXPECT_CTL(ctl(run, {"plot", "-o", svg, "OrdreS", "EtatS"}), 0,
               "wrote " + svg + ": 2 variables from " + run.traceFile() + "\n");
    const std::string drawing = qvtest::readFile(svg);
    EXPECT_TRUE(drawing.starts_with("<svg xmlns=\"http://www.w3.org/2000/svg\"")) << drawing;
    EXPECT_TRUE(contains(drawing, ">OrdreS</text>") && contains(drawing, ">EtatS</text>") && !contains(drawing, ">DS</text>"));
    EXPECT_CTL(ctl(run, {"plot", "Nothing"}), 1, "qvctl: Nothing is not in the trace file " + run.traceFile() + "\n");
    EXPECT_CTL(ctl(run, {"trace", "export"}), 2, "qvctl: trace export needs --vcd or --csv\n(qvctl help lists the commands)\n");

    // Once the program has ended, the file is named; its names come from the program's.
    EXPECT_EQ(run.end(), 0);
    const CtlResult after = qvtest::runQvctl({"--name", "qvt_none", "trace", "show", run.traceFile()});
    EXPECT_EQ(after.status, 0) << after.output;
    EXPECT_TRUE(after.output.ends_with("== END of the program\n")) << after.output;
    EXPECT_TRUE(contains(after.output, "OrdreS = TRUE")) << after.output;
    EXPECT_CTL(ctl(run, {"trace", "show"}), 1,
               "qvctl: no program runs on image \"" + run.imageName() + "\": name the trace file\n");
}

// Revision 2 records at the start of a cycle what changed since the last: trace show
// numbers the model's changes by the cycle that made them, as step does.
TEST(QvctlTraceFile, RevisionTwoChangesCarryTheCycleThatMadeThem) {
    ProgramRun run("suction_cup", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ASSERT_EQ(ctl(run, {"-q", "trace", "add", "DS", "OrdreS", "OrdreR"}).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "trace", "on"}).status, 0);
    EXPECT_CTL(ctl(run, {"step", "3"}), 0, "STOP after cycle 2\n");  // released at start
    ASSERT_EQ(ctl(run, {"-q", "set", "DS", "TRUE"}).status, 0);
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 3\n");  // grips
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 4\n");  // records what cycle 3 changed
    const CtlResult shown = ctl(run, {"trace", "show"});
    for (const char* line : {"       0    0.000 s  OrdreR = TRUE   (was FALSE)\n",
                             "       3    0.150 s  DS = TRUE   (was FALSE)\n",
                             "       3    0.150 s  OrdreS = TRUE   (was FALSE)\n"})
        EXPECT_TRUE(contains(shown.output, line)) << line << shown.output;
    EXPECT_EQ(run.end(), 0);
}

// ---- Listing images and variables, help -----------------------------------------------------

TEST(QvctlListing, ImagesVariablesHelpAndVersion) {
    ProgramRun run("suction_cup", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    // A foreign object beside the images is listed as such.
    const std::string foreign = qvtest::uniqueImageName("foreign");
    qvtest::writeFile("/dev/shm/" + foreign, "not an image");
    const CtlResult list = qvtest::runQvctl({"list"});
    std::remove(("/dev/shm/" + foreign).c_str());
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.output.starts_with("name                       size rev program")) << list.output;
    char row[200];
    std::snprintf(row, sizeof row, "%-20s %10s %3s %-19s %8d %5s %-6s %s\n", run.imageName().c_str(), "6000000", "2",
                  "suction_cup", run.pid(), "yes", "STOP", "none");
    EXPECT_TRUE(contains(list.output, row)) << row << list.output;
    EXPECT_TRUE(contains(list.output, foreign + " ")) << list.output;
    EXPECT_TRUE(contains(list.output, "(not an image)")) << list.output;

    EXPECT_CTL(ctl(run, {"vars", "Etat*", "--values"}), 0,
               "name                         slot   type   role      value\n"
               "EtatR                        B11    BOOL   output    FALSE\n"
               "EtatS                        B12    BOOL   output    FALSE\n");
    EXPECT_CTL(ctl(run, {"vars", "execstatus", "--values"}), 0,
               "name                         slot   type   role      value\n"
               "execstatus                   I311   DINT   control   STOP\n");
    EXPECT_CTL(ctl(run, {"vars", "nothing"}), 1,
               "name                         slot   type   role\nqvctl: no variable matches nothing\n");
    EXPECT_CTL(ctl(run, {"get", "execstatus"}), 0, "execstatus = STOP\n");
    EXPECT_CTL(ctl(run, {"-q", "set", "DS", "TRUE"}), 0, "");

    const CtlResult help = qvtest::runQvctl({"help", "break"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.output.starts_with("qvctl break add|remove VAR")) << help.output;
    EXPECT_EQ(qvtest::runQvctl({"--help", "plot"}).output, qvtest::runQvctl({"help", "plot"}).output);
    const CtlResult version = qvtest::runQvctl({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.output.starts_with("qvctl ")) << version.output;
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
