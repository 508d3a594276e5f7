// The manipulateur program (revision 1) driven through its image as a supervisor would:
// its start-up report, its status messages, and the trace that its freezes write.
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <vector>
#include <string>

#include "supervisor/plant/plant.h"
#include "supervisor/core/symbols/symbols.h"
#include "tests/support/program_run.h"

namespace {

using qv::ImageView;
using qvtest::ProgramRun;

// Revision 1 writes the signature line unsigned.
constexpr const char* kSignatureLine = "2290974321\n";

unsigned char* slotOf(ProgramRun& run, const char* name) {
    const qv::symbols::Symbol* s = qv::symbols::findSymbol(qv::symbols::kManipulateurSymbols, name);
    if (s == nullptr) throw std::invalid_argument(name);
    return run.image().slot(s->area, s->slot);
}
void setInput(ProgramRun& run, const char* name, bool value) {
    unsigned char* s = slotOf(run, name);
    const uint8_t b = __atomic_load_n(s, __ATOMIC_RELAXED);
    __atomic_store_n(s, static_cast<uint8_t>(value ? b | qv::kBoolCurrent : b & ~qv::kBoolCurrent), __ATOMIC_RELAXED);
}
void setFlag(unsigned char* byte, uint8_t flag) { __atomic_fetch_or(byte, flag, __ATOMIC_RELAXED); }

// STEP from STOP: exactly one cycle, back in STOP.
bool step(ProgramRun& run) {
    ImageView& view = run.image();
    const int32_t before = ImageView::read(view.cycleCounter());
    ImageView::write(view.execstatus(), qv::kStatusStep);
    return qvtest::waitUntil([&] {
        return ImageView::read(view.cycleCounter()) == before + 1 && ImageView::read(view.execstatus()) == qv::kStatusStop;
    });
}

TEST(ManipulateurProgram, StartUpReportImageAndStatusMessages) {
    ProgramRun run("manipulateur", "cell");
    qvtest::writeFile(run.paramsFile(), kSignatureLine);
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_EQ(run.console(),
              "Allocated memory : 7611 bytes on 6000000 bytes\n"
              "minBool=0 min.Int=210 min.Float=10 min.Char=0 max.Bool=167 max.Int=551 max.Float=17 max.Char=53\n"
              "Exec status change from FREE to STOP\n");
    ImageView& image = run.image();
    EXPECT_EQ(image.revision(), 1);
    EXPECT_EQ(ImageView::read(image.intSlot(548)), run.pid());
    EXPECT_EQ(ImageView::read(image.controlInt(qv::kGenerationtimeFromExec)), 1205920225);
    EXPECT_EQ(ImageView::read(image.signature()), -2003992975);
    EXPECT_EQ(ImageView::read(image.simuperiod()), 50000.0f);
    std::string name;
    for (int32_t k = 3; k < 53 && image.charSlot(k)[0] != 0; ++k) name += static_cast<char>(image.charSlot(k)[0]);
    EXPECT_EQ(name, "manipulateur.exe");

    ASSERT_TRUE(step(run));
    ASSERT_TRUE(qvtest::waitUntil([&] { return run.console().find("from STEP to STOP") != std::string::npos; }));
    EXPECT_EQ(run.end(), 0);
    EXPECT_EQ(ImageView::read(image.execstatus()), qv::kStatusFree);
    EXPECT_EQ(ImageView::read(image.signature()), 0);
    EXPECT_EQ(ImageView::read(image.intSlot(548)), 0);
    // END is seen by a poll's freeze or only by the loop, depending on the moment it is
    // written; the final freeze announces FREE either way.
    const std::string console = run.console();
    const std::string after = console.substr(console.find("from FREE to STOP\n") + 18);
    const std::string steps = "Exec status change from STOP to STEP\nExec status change from STEP to STOP\n";
    EXPECT_TRUE(after == steps + "Exec status change from STOP to FREE\n" ||
                after == steps + "Exec status change from STOP to END\nExec status change from END to FREE\n")
        << after;
}

// The freezes of generated code trace the outputs in the cycle that writes them; the
// statistics count the modifications of each cycle start.
TEST(ManipulateurProgram, TracedVariablesAndModificationStatistics) {
    ProgramRun run("manipulateur", "cell");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    for (const char* sw : {"FCGXR", "FCPXR", "FCVRR", "FCVZH"}) setInput(run, sw, true);
    setFlag(slotOf(run, "OKcycle"), qv::r1::kBoolTraced);
    setFlag(slotOf(run, "CR_pos") + qv::r1::kIntTracedOffset, 1);
    setFlag(run.image().boolSlot(qv::kTraceonSlot), qv::kBoolCurrent);
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(step(run));
    EXPECT_GT(ImageView::read(run.image().realSlot(qv::kMaxModificationSlot)), 0.0f);
    EXPECT_EQ(run.end(), 0);

    const std::string trace = qvtest::readFile(run.traceFile());
    static const std::regex header("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n");
    const std::size_t firstLine = trace.find('\n') + 1;
    EXPECT_TRUE(std::regex_match(trace.substr(0, firstLine), header)) << trace;
    // Cycle 0: the sequencer's rest step sets OKcycle; the position module, which runs
    // before the cylinders, still sees no position; cycle 1: position 0.
    EXPECT_EQ(trace.substr(firstLine),
              "50000\n"
              "0 B18 0:1\n"
              "0 I425 0:99\n"
              "1 I425 99:0\n");
}

// A whole manipulation cycle against the plant simulator: the cylinders move while their
// valves are open and reach their limit switches after their travel time, the vacuum
// follows its valves. The supervisor steps the program one cycle at a time and the plant
// by one period after each.
TEST(ManipulateurProgram, AManipulationCycleAgainstThePlant) {
    ProgramRun run("manipulateur", "cell");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    std::string error;
    std::optional<qv::plant::Plant> plant =
        qv::plant::Plant::wire(run.image(), "manipulateur", {.travelSeconds = 0.2, .vacuumSeconds = 0.1}, error);
    ASSERT_TRUE(plant.has_value()) << error;
    plant->writeSensors();
    auto cycle = [&] {
        if (!step(run)) return false;
        plant->step(plant->cycleSeconds());
        return true;
    };
    auto on = [&](const char* name) { return (__atomic_load_n(slotOf(run, name), __ATOMIC_RELAXED) & 1) != 0; };
    auto integer = [&](const char* name) { return ImageView::read(reinterpret_cast<int32_t*>(slotOf(run, name))); };
    auto sequencerStep = [&] {
        for (const char* s : {"10", "11", "12", "13", "14"})
            if (on(("graf_mdl_manipulateur1._X_" + std::string(s)).c_str())) return std::stoi(s);
        return 0;
    };

    for (int k = 0; k < 4; ++k) ASSERT_TRUE(cycle());
    ASSERT_TRUE(on("OKcycle"));
    ASSERT_EQ(integer("CR_pos"), 0);
    ImageView::write(reinterpret_cast<int32_t*>(slotOf(run, "Pos_depart")), 5);
    ImageView::write(reinterpret_cast<int32_t*>(slotOf(run, "Pos_arrivee")), 2);
    setInput(run, "DCY", true);

    std::vector<int> steps{sequencerStep()};
    std::vector<int32_t> positions{integer("CR_pos")};
    bool gripped = false;
    for (int k = 0; k < 120 && !(steps.size() > 1 && steps.back() == 10); ++k) {
        ASSERT_TRUE(cycle());
        if (sequencerStep() == 11) setInput(run, "DCY", false);
        if (sequencerStep() != steps.back()) steps.push_back(sequencerStep());
        if (integer("CR_pos") != positions.back()) positions.push_back(integer("CR_pos"));
        gripped = gripped || on("vacuostat");
    }
    EXPECT_EQ(steps, (std::vector<int>{10, 11, 12, 13, 14, 10}));
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 99, 5, 99, 2}));
    EXPECT_TRUE(gripped);
    EXPECT_FALSE(on("vacuostat"));
    EXPECT_TRUE(on("OKcycle"));
    EXPECT_FALSE(on("Def_Manip"));
    // Position 2: GX retracted, PX and VR extended; the vertical axis up.
    EXPECT_TRUE(on("FCGXR") && on("FCPXS") && on("FCVRS") && on("FCVZH"));
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
