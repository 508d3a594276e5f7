// The suction_cup program driven through its image as a supervisor would.
#include <gtest/gtest.h>

#include "tests/models/supervisor_driver.h"

namespace {

using qvtest::ModelSupervisor;
using qvtest::ProgramRun;

TEST(SuctionCupProgram, StartUpReportAndImage) {
    ProgramRun run("suction_cup", "sc");
    qvtest::writeFile(run.paramsFile(), qvtest::kSignatureOnly);
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_EQ(run.console(),
              "Allocated memory : 27092 bytes on 6000000 bytes\n"
              "minBool=0 min.Int=311 min.Float=10 min.Char=0 max.Bool=25 max.Int=527 max.Float=17 max.Char=53\n"
              "memBool=25 mennt=527 memFloat=17 memChar=53\n"
              "Exec status change from FREE to STOP\n");
    qv::ImageView& image = run.image();
    EXPECT_EQ(qv::ImageView::read(image.intSlot(524)), run.pid());
    EXPECT_EQ(qv::ImageView::read(image.controlInt(qv::kGenerationtimeFromExec)), 1294063852);
    std::string name;
    for (int32_t k = 3; image.charSlot(k)[0] != 0; ++k) name += static_cast<char>(image.charSlot(k)[0]);
    EXPECT_EQ(name, "suction_cup.exe");
    EXPECT_EQ(run.end(), 0);
}

TEST(SuctionCupProgram, ReleasesAtStartThenGripsOnRequest) {
    ProgramRun run("suction_cup", "sc");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ModelSupervisor supervisor(run, qv::symbols::kSuctionCupSymbols);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("OrdreR"));
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("EtatR"));
    EXPECT_FALSE(supervisor.on("OrdreR"));

    supervisor.force("OrdreS", false);
    supervisor.set("DS", true);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("_X_20"));
    EXPECT_FALSE(supervisor.on("OrdreS"));  // forced off while the model grips
    supervisor.release("OrdreS");
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("EtatS"));
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
