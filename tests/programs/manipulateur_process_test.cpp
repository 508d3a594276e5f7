// The manipulateur program (revision 1) driven through its image as a supervisor would:
// its start-up report, its status messages, and the trace that its freezes write.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "supervisor/symbols/symbols.h"
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

}  // namespace
