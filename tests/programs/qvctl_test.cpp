// qvctl against the real programs: status, execution control, values, watching, the
// plant, the symbol table and removing an image.
#include <gtest/gtest.h>

#include <regex>

#include "tests/programs/qvctl_driver.h"

namespace {

using qvtest::ctl;
using qvtest::CtlResult;
using qvtest::ProgramRun;

std::string pidText(const ProgramRun& run) { return std::to_string(run.pid()); }

TEST(Qvctl, StatusOfAProgramWaitingInStop) {
    ProgramRun run("bistable_cylinder", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_CTL(ctl(run, {"status"}), 0,
               "image      " + run.imageName() + " (6000000 bytes, revision 3)\n"
               "program    bistable_cylinder\n"
               "status     STOP\n"
               "process    " + pidText(run) + "\n"
               "why        in STOP since start-up (a program starts in STOP)\n"
               "signature  2147483647\n"
               "cycle      none (the last that ran; counter 1)\n"
               "period     50000 us\n"
               "measured   mean 0 us, min 0 us, max 0 us\n"
               "           (millisecond ticks: a cycle shorter than a tick reads 0 us, and a minimum of 0 counts "
               "as none yet, so the mean may be below the minimum)\n"
               "changes    mean 0, min 0, max 0 per cycle\n"
               "trace      off\n");
    const CtlResult vars = ctl(run, {"vars"});
    EXPECT_EQ(vars.status, 0);
    EXPECT_EQ(vars.output.substr(0, vars.output.find('\n', vars.output.find('\n') + 1) + 1),
              "name                         slot   type   role\n"
              "DR                           B5     BOOL   input\n");
    for (const char* row : {"TTL                          I523   TIME   internal\n",
                            "execstatus                   I311   DINT   control\n",
                            "posmxsimucounter             I553   DINT   control\n",
                            "simuperiod                   F10    REAL   control\n",
                            "tracesnapshop                B2     BOOL   control\n"})
        EXPECT_NE(vars.output.find(row), std::string::npos) << row;
    EXPECT_EQ(run.end(), 0);
}

TEST(Qvctl, StepRunStopAndEnd) {
    ProgramRun run("bistable_cylinder", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 1\n");
    EXPECT_CTL(ctl(run, {"step", "3"}), 0, "STOP after cycle 4\n");
    const CtlResult running = ctl(run, {"run"});
    EXPECT_EQ(running.status, 0);
    EXPECT_TRUE(running.output.starts_with("RUN after cycle ")) << running.output;
    EXPECT_TRUE(qvtest::waitUntil([&] { return qv::ImageView::read(run.image().cycleCounter()) > 8; }));
    const CtlResult stopped = ctl(run, {"stop"});
    EXPECT_TRUE(stopped.output.starts_with("STOP after cycle ")) << stopped.output;
    const int32_t cycle = qv::ImageView::read(run.image().cycleCounter());
    EXPECT_CTL(ctl(run, {"end"}), 0, "program " + pidText(run) + " ended after cycle " + std::to_string(cycle - 1) + "\n");
    EXPECT_EQ(run.wait(), 0);
    const CtlResult after = ctl(run, {"status"});
    EXPECT_NE(after.output.find("status     FREE\nprocess    none\n"), std::string::npos) << after.output;
    EXPECT_CTL(ctl(run, {"step"}), 1, "qvctl: no program runs on image \"" + run.imageName() + "\"\n");
    EXPECT_CTL(ctl(run, {"run"}), 1, "qvctl: no program runs on image \"" + run.imageName() + "\"\n");
}

TEST(Qvctl, GetSetForceAndUnforce) {
    ProgramRun run("bistable_cylinder", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_CTL(ctl(run, {"set", "CR", "TRUE"}), 0, "CR = TRUE\n");
    EXPECT_CTL(ctl(run, {"step", "2"}), 0, "STOP after cycle 2\n");
    EXPECT_CTL(ctl(run, {"get", "EtatR", "_X_23", "OrdreS", "taskname", "TTL", "C3"}), 0,
               "EtatR = TRUE\n_X_23 = TRUE\nOrdreS = FALSE\ntaskname = \"bistable_cylinder.exe\"\nTTL = T#10s\n"
               "C3 = 98 'b'\n");

    // A forced output keeps its value whatever the model writes, until it is released.
    EXPECT_CTL(ctl(run, {"force", "EtatR", "FALSE"}), 0, "EtatR = FALSE (forced)\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 3\n");
    EXPECT_CTL(ctl(run, {"get", "EtatR"}), 0, "EtatR = FALSE (forced)\n");
    EXPECT_CTL(ctl(run, {"unforce", "EtatR"}), 0, "EtatR = FALSE\n");
    EXPECT_CTL(ctl(run, {"step"}), 0, "STOP after cycle 4\n");
    EXPECT_CTL(ctl(run, {"get", "EtatR"}), 0, "EtatR = TRUE\n");

    // Integers, reals, characters and TIME values, by name or by slot.
    EXPECT_CTL(ctl(run, {"force", "I535", "-7"}), 0, "I535 = -7 (forced)\n");
    EXPECT_CTL(ctl(run, {"unforce", "t2"}), 0, "t2 = -7\n");
    EXPECT_CTL(ctl(run, {"set", "simuperiod", "20000"}), 0, "simuperiod = 20000\n");
    EXPECT_CTL(ctl(run, {"set", "F16", "-2.5e-3"}), 0, "F16 = -0.0025\n");
    EXPECT_CTL(ctl(run, {"set", "C52", "A"}), 0, "C52 = 65 'A'\n");
    EXPECT_CTL(ctl(run, {"force", "C51", "7"}), 0, "C51 = 7 (forced)\n");
    EXPECT_CTL(ctl(run, {"set", "Tinertie", "T#2.5s"}), 0, "Tinertie = T#2.5s\n");
    // Exact to the tick however long (a double would lose the last tenth of a millisecond).
    EXPECT_CTL(ctl(run, {"set", "Tinertie", "T#899954494425.544s"}), 0, "Tinertie = T#899954494425.544s\n");
    EXPECT_CTL(ctl(run, {"set", "Tinertie", "1d"}), 0, "Tinertie = T#86400s\n");
    EXPECT_EQ(qv::ImageView::read(run.image().intSlot(529)), 1);  // days
    EXPECT_EQ(qv::ImageView::read(run.image().intSlot(530)), 0);  // ticks
    EXPECT_EQ(qv::ImageView::read(run.image().simuperiod()), 20000.0f);
    EXPECT_EQ(run.end(), 0);
}

TEST(Qvctl, PlantAndWatchWithARunningProgram) {
    ProgramRun run("bistable_cylinder", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    const std::string out = run.folder() + "/plant.txt";
    auto plant = qv::platform::startProcess(
        {qvtest::programPath("qvctl"), "--name", run.imageName(), "plant", "--travel", "0.3"}, {}, out);
    ASSERT_TRUE(plant);
    ASSERT_TRUE(qvtest::waitUntil([&] { return qvtest::readFile(out).find("cylinder retracted") != std::string::npos; }));
    EXPECT_CTL(ctl(run, {"set", "DS", "1"}), 0, "DS = TRUE\n");
    ASSERT_EQ(ctl(run, {"run"}).status, 0);
    const CtlResult watched = ctl(run, {"watch", "OrdreS", "EtatS", "CS", "--cycles", "20"});
    EXPECT_EQ(watched.status, 0);
    EXPECT_NE(watched.output.find("EtatS = TRUE\n"), std::string::npos) << watched.output;
    EXPECT_NE(watched.output.find("OrdreS = FALSE"), std::string::npos) << watched.output;
    ASSERT_EQ(ctl(run, {"end"}).status, 0);
    EXPECT_EQ(qv::platform::waitProcess(*plant, 5000), 0);
    const std::string plantLines = qvtest::readFile(out);
    EXPECT_TRUE(plantLines.starts_with("plant of bistable_cylinder on image " + run.imageName() +
                                       ": travel 0.3 s, vacuum 0.3 s\n  cylinder retracted\n"))
        << plantLines;
    EXPECT_NE(plantLines.find(": cylinder leaves retracted\n"), std::string::npos) << plantLines;
    EXPECT_NE(plantLines.find(": cylinder extended\n"), std::string::npos) << plantLines;
    EXPECT_TRUE(plantLines.ends_with("no program runs on the image\n")) << plantLines;
    // The plant and watch number the switch's closing alike: by the cycle that first sees it.
    std::smatch byWatch, byPlant;
    ASSERT_TRUE(std::regex_search(watched.output, byWatch, std::regex(R"(cycle (\d+): [^\n]*CS = TRUE)"))) << watched.output;
    ASSERT_TRUE(std::regex_search(plantLines, byPlant, std::regex(R"(cycle (\d+): cylinder extended)"))) << plantLines;
    EXPECT_EQ(byWatch[1].str(), byPlant[1].str());
}

TEST(Qvctl, RemovesAnImageOnlyOnceItsProgramHasEnded) {
    ProgramRun run("suction_cup", "qvctl");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_CTL(ctl(run, {"remove"}), 1,
               "qvctl: program " + pidText(run) + " still runs on image \"" + run.imageName() + "\"; end it first\n");
    ASSERT_EQ(run.end(), 0);
    EXPECT_CTL(ctl(run, {"remove"}), 0, "image " + run.imageName() + " removed\n");
    EXPECT_CTL(ctl(run, {"remove"}), 1, "qvctl: no image named \"" + run.imageName() + "\"\n");
}

TEST(Qvctl, RecognisesEachProgramOfRevisionTwo) {
    for (const char* program : {"pick_place_unit", "suction_cup"}) {
        ProgramRun run(program, "qvctl");
        ASSERT_TRUE(run.start());
        ASSERT_TRUE(run.waitUntilStopped());
        const CtlResult status = ctl(run, {"--model", program, "status"});
        EXPECT_NE(status.output.find(std::string("program    ") + program + "\n"), std::string::npos) << status.output;
        EXPECT_NE(status.output.find("(6000000 bytes, revision 2)"), std::string::npos) << status.output;
        // Revision 2 keeps qv_delay where revision 3 keeps the snapshot switch.
        EXPECT_CTL(ctl(run, {"get", "qv_delay"}), 0, "qv_delay = FALSE\n");
        EXPECT_EQ(run.end(), 0);
    }
}

}  // namespace
