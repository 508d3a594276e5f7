// The PLCopen example projects (examples/plcopen/) compiled by qvc and run: the counter
// written in ST, SFC, FBD and LD, run side by side, counts in every cycle of a scripted
// pattern of pulses and resets what counting rising edges means, so the four agree; the
// bistable cylinder drawn as charts and FBD behaves as the delivered program, cycle by
// cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/compiler/compiler_twins.h"
#include "tests/programs/qvctl_driver.h"

namespace qvtest::compiler {
namespace {

std::string project(const std::string& name) { return std::string(QV_SOURCE_DIR) + "/examples/plcopen/" + name; }

Result buildExample(const std::string& file, const std::string& program, const std::string& options = "") {
    return runShell(qvc() + " build " + project(file) + " -o " + QV_BUILD_BIN_DIR + "/qvct_" + program + " " + options);
}

// The inputs cycle by cycle ('1' TRUE): single-cycle pulses, a long pulse, a reset that
// comes while the pulse is high and goes while it still is (no edge: nothing counted), an
// edge in the cycle the reset goes, a pulse rising with the reset, pulses during a reset.
const char* kPulse = "0010101100111100011110001101010111000101000110011";
const char* kReset = "0000000000000011110000111100001111111000110000000";

// The counter of one language: its output in the program Counters.
struct Way {
    const char* language;
    const char* count;
};

class Counters : public ::testing::TestWithParam<Way> {
protected:
    // ctest runs each language in a process of its own, two at a time: each builds its own
    // program, so that none runs a file another is writing.
    static std::string program() { return "plc_counters_" + std::to_string(getpid()); }
    static void SetUpTestSuite() { built_ = buildExample("counters.xml", program()); }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove(std::string(QV_BUILD_BIN_DIR) + "/qvct_" + program(), ignored);
        std::filesystem::remove(std::string(QV_BUILD_BIN_DIR) + "/qvct_" + program() + ".symbols.json", ignored);
    }
    static Result built_;
};
Result Counters::built_;

// Each counter against what counting rising edges means (none counted while Reset holds),
// cycle by cycle; in every cycle where they all count right, the program's Agree holds.
TEST_P(Counters, CountTheRisingEdgesInEveryCycle) {
    ASSERT_EQ(built_.status, 0) << built_.output;
    EXPECT_EQ(built_.output.find("warning"), std::string::npos) << built_.output;
    const nlohmann::json symbols = symbolsOf(program());
    ASSERT_FALSE(symbols.is_discarded());
    // The drawings of the three graphical counters are in the description.
    std::vector<std::string> drawn;
    for (const nlohmann::json& d : symbols["diagrams"]) drawn.push_back(d["pou"]);
    EXPECT_EQ(drawn, (std::vector<std::string>{"CounterSFC", "CounterFBD", "CounterLD"}));

    ProgramRun run("qvct_" + program(), "plcc");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=20"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    qv::ImageView& image = run.image();
    const std::string main = "Bench.Cpu.Counters.";
    ASSERT_NE(entry(symbols, main + "Pulse"), nullptr);
    ASSERT_NE(entry(symbols, main + "Reset"), nullptr);
    auto input = [&](const std::string& name) { return image.boolSlot((*entry(symbols, main + name))["slot"].get<int32_t>()); };

    bool previous = false;
    int expected = 0;
    const std::string pulse = kPulse, reset = kReset;
    ASSERT_EQ(pulse.size(), reset.size());
    for (std::size_t k = 0; k < pulse.size(); ++k) {
        const bool p = pulse[k] == '1', r = reset[k] == '1';
        const bool edge = p && !previous;
        previous = p;
        expected = r ? 0 : expected + (edge ? 1 : 0);
        debug::setBool(input("Pulse"), p);
        debug::setBool(input("Reset"), r);
        ASSERT_TRUE(debug::stepOnce(run)) << run.console();
        const std::string want = std::to_string(expected);
        std::string all;
        bool right = true;
        for (const char* c : {"CountST", "CountSFC", "CountFBD", "CountLD"}) {
            const std::string v = valueOf(image, symbols, main + c);
            all += std::string(" ") + c + " " + v;
            right = right && v == want;
        }
        ASSERT_EQ(valueOf(image, symbols, main + GetParam().count), want)
            << "cycle " << k + 1 << " (Pulse " << p << ", Reset " << r << "):" << all;
        if (right) {
            ASSERT_EQ(valueOf(image, symbols, main + "Agree"), "TRUE") << "cycle " << k + 1;
        }
    }
    EXPECT_GT(expected, 0);
    EXPECT_EQ(run.end(), 0);
}

INSTANTIATE_TEST_SUITE_P(FourWays, Counters,
                         ::testing::Values(Way{"ST", "CountST"}, Way{"SFC", "CountSFC"}, Way{"FBD", "CountFBD"},
                                           Way{"LD", "CountLD"}),
                         [](const ::testing::TestParamInfo<Way>& row) { return std::string(row.param.language); });

// The XML line a drawn element's location stands on, from the description (0 if none).
int lineOfElement(const nlohmann::json& symbols, const std::string& element) {
    for (const nlohmann::json& l : symbols["locations"])
        if (l.value("element", "") == element) return l["line"].get<int>();
    return 0;
}

// A rung of the ladder counter is a place to pause at, named by the POU and the rung: the
// program stops there on the rung's XML line with the rungs above already run and this one
// not yet, and goes on from there.
TEST(PlcopenExamples, TheLadderCounterPausesAtARung) {
    const Result built = buildExample("counters.xml", "plc_counters_break");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("plc_counters_break");
    const int line = lineOfElement(symbols, "CounterLD@rung:2");
    ASSERT_GT(line, 0);
    ProgramRun run("qvct_plc_counters_break", "plcbreak");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=20"}));
    ASSERT_TRUE(run.waitUntilStopped()) << run.console();
    qv::ImageView& image = run.image();
    auto value = [&](const std::string& name) { return valueOf(image, symbols, "Bench.Cpu.Counters." + name); };

    EXPECT_CTL(ctl(run, {"set", "Counters.Pulse", "TRUE"}), 0, "Bench.Cpu.Counters.Pulse = TRUE\n");
    EXPECT_CTL(ctl(run, {"break", "add", "CounterLD@rung:2"}), 0, "breakpoint: pause at CounterLD@rung:2\n");
    EXPECT_CTL(ctl(run, {"run"}), 0, "PAUSE in cycle 1\n");
    ASSERT_TRUE(waitUntil([&] {
        return debug::read(image.execstatus()) == qv::kStatusPause &&
               debug::read(image.controlInt(qv::kBpcurrentlocationFromExec)) == line;
    })) << run.console();
    const CtlResult status = ctl(run, {"status"});
    EXPECT_NE(status.output.find("paused at  counters.xml:" + std::to_string(line) + " in Bench.Cpu.Counters.ByLD\n"),
              std::string::npos)
        << status.output;
    // Rung 1 energised Bump on the pulse's edge; rung 2 has not added yet.
    EXPECT_EQ(value("ByLD.Bump"), "TRUE");
    EXPECT_EQ(value("ByLD.Count"), "0");
    EXPECT_EQ(value("ByST.Count"), "1");  // the ST counter ran before the ladder
    EXPECT_CTL(ctl(run, {"break", "remove", "CounterLD@rung:2"}), 0, "breakpoint removed: CounterLD@rung:2\n");
    EXPECT_CTL(ctl(run, {"stop"}), 0, "STOP after cycle 1\n");
    EXPECT_EQ(value("ByLD.Count"), "1");
    EXPECT_EQ(value("Agree"), "TRUE");
    EXPECT_EQ(run.end(), 0);
}

TEST(PlcopenExamples, TheBistableCylinderDrawnBehavesAsTheDeliveredOne) {
    const Result built = buildExample("bistable_cylinder.xml", "bistable_cylinder_xml", "--revision 3");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("bistable_cylinder_xml");
    Twins twins("bistable_cylinder", "bistable_cylinder_xml", symbols);
    // Every input, output, fault flag and step, and the two constants.
    EXPECT_EQ(twins.compared().size(), 11u + 7u + 7u + 2u);
    ASSERT_TRUE(twins.start());
    playCylinderScenario(twins);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(twins.end());
}

}  // namespace
}  // namespace qvtest::compiler
