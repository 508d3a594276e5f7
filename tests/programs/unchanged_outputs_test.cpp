// The step breakpoints cost nothing visible while none is set: each program, driven
// through the same scenario (every variable traced, every input raised for two cycles and
// dropped again, one cycle at a time), writes the same trace file and prints the same
// console lines as it did before its models called breakpoint_st. The expected files in
// tests/programs/unchanged/ were recorded with those earlier programs; QV_RECORD_UNCHANGED=1
// records them again from the programs of this build.
#include <gtest/gtest.h>

#include <sstream>

#include "supervisor/core/symbols/symbols.h"
#include "tests/programs/qvctl_driver.h"

namespace {

using qvtest::ctl;
using qvtest::ProgramRun;

const std::string kExpected = std::string(QV_SOURCE_DIR) + "/tests/programs/unchanged/";

// Without what varies from run to run: the header's date and revision 3's time stamps.
std::string comparableTrace(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && std::isalpha(static_cast<unsigned char>(line[0]))) continue;
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.size() == 4) w.erase(w.begin() + 1);
        std::string kept;
        for (const std::string& word : w) kept += (kept.empty() ? "" : " ") + word;
        out += kept + "\n";
    }
    return out;
}

// Without the run's folder and the overrun warnings of a loaded machine.
std::string comparableConsole(const std::string& text, const std::string& folder) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Warning: Cycle duration")) continue;
        for (std::size_t at; (at = line.find(folder)) != std::string::npos;) line.replace(at, folder.size(), "FOLDER");
        out += line + "\n";
    }
    return out;
}

void playScenario(const std::string& program) {
    SCOPED_TRACE(program);
    const qv::symbols::ProgramSymbols* table = qv::symbols::findProgram(program);
    ASSERT_NE(table, nullptr);
    ProgramRun run(program, "unchanged");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    std::vector<std::string> traced = {"-q", "trace", "add"};
    std::vector<std::string> inputs;
    for (const qv::symbols::Symbol& s : table->symbols) {
        traced.push_back(s.name);
        const std::string name = s.name;
        if (s.direction == qv::symbols::Direction::Input && s.type == qv::symbols::Type::Bool &&
            name.find('.') == std::string::npos)
            inputs.push_back(name);
    }
    ASSERT_EQ(ctl(run, traced).status, 0);
    ASSERT_EQ(ctl(run, {"-q", "trace", "on"}).status, 0);
    auto step = [&](int n) {
        for (int k = 0; k < n; ++k) ASSERT_EQ(ctl(run, {"-q", "step"}).status, 0);
    };
    step(2);
    for (const std::string& input : inputs) {
        ASSERT_EQ(ctl(run, {"-q", "set", input, "TRUE"}).status, 0);
        step(2);
        ASSERT_EQ(ctl(run, {"-q", "set", input, "FALSE"}).status, 0);
        step(1);
    }
    ASSERT_EQ(run.end(), 0);
    const std::string trace = comparableTrace(qvtest::readFile(run.traceFile()));
    const std::string console = comparableConsole(run.console(), run.folder());
    if (qv::platform::environmentVariable("QV_RECORD_UNCHANGED")) {
        qvtest::writeFile(kExpected + program + ".trace", trace);
        qvtest::writeFile(kExpected + program + ".console", console);
        return;
    }
    EXPECT_EQ(trace, qvtest::readFile(kExpected + program + ".trace"));
    EXPECT_EQ(console, qvtest::readFile(kExpected + program + ".console"));
}

TEST(UnchangedWithoutBreakpoints, BistableCylinder) { playScenario("bistable_cylinder"); }
TEST(UnchangedWithoutBreakpoints, PickPlaceUnit) { playScenario("pick_place_unit"); }
TEST(UnchangedWithoutBreakpoints, SuctionCup) { playScenario("suction_cup"); }
TEST(UnchangedWithoutBreakpoints, Manipulateur) { playScenario("manipulateur"); }

}  // namespace
