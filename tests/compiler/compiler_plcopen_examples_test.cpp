// The PLCopen example projects (examples/plcopen/) compiled by qvc and run: the counter
// written in ST, SFC, FBD and LD, run side by side, counts in every cycle of a scripted
// pattern of pulses and resets what counting rising edges means, so the four agree; the
// bistable cylinder drawn as charts and FBD behaves as the delivered program, cycle by
// cycle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/compiler/compiler_twins.h"

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
    static void SetUpTestSuite() { built_ = buildExample("counters.xml", "plc_counters"); }
    static Result built_;
};
Result Counters::built_;

// Each counter against what counting rising edges means (none counted while Reset holds),
// cycle by cycle; in every cycle where they all count right, the program's Agree holds.
TEST_P(Counters, CountTheRisingEdgesInEveryCycle) {
    ASSERT_EQ(built_.status, 0) << built_.output;
    EXPECT_EQ(built_.output.find("warning"), std::string::npos) << built_.output;
    const nlohmann::json symbols = symbolsOf("plc_counters");
    ASSERT_FALSE(symbols.is_discarded());
    // The drawings of the three graphical counters are in the description.
    std::vector<std::string> drawn;
    for (const nlohmann::json& d : symbols["diagrams"]) drawn.push_back(d["pou"]);
    EXPECT_EQ(drawn, (std::vector<std::string>{"CounterSFC", "CounterFBD", "CounterLD"}));

    ProgramRun run("qvct_plc_counters", "plcc");
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
