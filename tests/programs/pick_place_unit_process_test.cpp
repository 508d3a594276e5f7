// The pick_place_unit program driven through its image as a supervisor would.
#include <gtest/gtest.h>

#include "tests/models/supervisor_driver.h"

namespace {

using qvtest::ModelSupervisor;
using qvtest::ProgramRun;

TEST(PickPlaceUnitProgram, StartUpReportAndImage) {
    ProgramRun run("pick_place_unit", "ppu");
    qvtest::writeFile(run.paramsFile(), qvtest::kSignatureOnly);
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_EQ(run.console(),
              "Allocated memory : 27224 bytes on 6000000 bytes\n"
              "minBool=0 min.Int=311 min.Float=10 min.Char=0 max.Bool=37 max.Int=536 max.Float=17 max.Char=53\n"
              "memBool=37 mennt=536 memFloat=17 memChar=53\n"
              "Exec status change from FREE to STOP\n");
    qv::ImageView& image = run.image();
    EXPECT_EQ(qv::ImageView::read(image.intSlot(533)), run.pid());
    EXPECT_EQ(qv::ImageView::read(image.controlInt(qv::kGenerationtimeFromExec)), 1159129884);
    EXPECT_EQ(qv::ImageView::read(image.signature()), 2147483647);
    std::string name;
    for (int32_t k = 3; image.charSlot(k)[0] != 0; ++k) name += static_cast<char>(image.charSlot(k)[0]);
    EXPECT_EQ(name, "pick_place_unit.exe");
    EXPECT_EQ(run.end(), 0);
}

// The supervisor plays the axis and the vacuum switch, one cycle at a time.
TEST(PickPlaceUnitProgram, PickWithTheSupervisorClosingTheLoop) {
    ProgramRun run("pick_place_unit", "ppu");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ModelSupervisor supervisor(run, qv::symbols::kPickPlaceUnitSymbols);
    supervisor.set("CR_VZR", true);
    ASSERT_TRUE(supervisor.step(2));
    EXPECT_TRUE(supervisor.on("_X_21"));
    EXPECT_TRUE(supervisor.on("OKpose"));

    supervisor.set("dprise", true);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("VZS"));
    EXPECT_TRUE(supervisor.on("VTM"));
    supervisor.set("dprise", false);
    supervisor.set("CR_VZR", false);
    supervisor.set("CR_VZS", true);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("_X_12"));
    supervisor.set("vacuostat", true);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("VZR"));
    // The raise order forced off: the model keeps asking, the output stays off.
    supervisor.force("VZR", false);
    ASSERT_TRUE(supervisor.step(2));
    EXPECT_FALSE(supervisor.on("VZR"));
    EXPECT_TRUE(supervisor.on("_X_13"));
    supervisor.release("VZR");
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("VZR"));
    supervisor.set("CR_VZS", false);
    supervisor.set("CR_VZR", true);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("OKprise"));
    EXPECT_FALSE(supervisor.on("VZR"));
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
