// The bistable_cylinder program driven through its image as a supervisor would.
#include <gtest/gtest.h>

#include "tests/models/supervisor_driver.h"

namespace {

using qvtest::ModelSupervisor;
using qvtest::ProgramRun;

const qv::symbols::ProgramSymbols& kSymbols = qv::symbols::kBistableCylinderSymbols;

TEST(BistableCylinderProgram, StartUpReportAndImage) {
    ProgramRun run("bistable_cylinder", "bc");
    qvtest::writeFile(run.paramsFile(), qvtest::kSignatureOnly);
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    EXPECT_EQ(run.console(),
              "Allocated memory : 27452 bytes on 6000000 bytes\n"
              "minBool=0 min.Int=311 min.Float=10 min.Char=0 max.Bool=40 max.Int=555 max.Float=17 max.Char=53\n"
              "memBool=40 memInt=555 memFloat=17 memChar=53\n"
              "Exec status change from FREE to STOP\n");
    qv::ImageView& image = run.image();
    EXPECT_EQ(image.areaOffset(qv::kAreaInt), 20376u);
    EXPECT_EQ(image.areaOffset(qv::kAreaReal), 27036u);
    EXPECT_EQ(image.areaOffset(qv::kAreaChar), 27240u);
    EXPECT_EQ(qv::ImageView::read(image.intSlot(552)), run.pid());
    EXPECT_EQ(qv::ImageView::read(image.intSlot(553)), 1);
    EXPECT_EQ(qv::ImageView::read(image.controlInt(qv::kGenerationtimeFromExec)), 1159131342);
    EXPECT_EQ(qv::ImageView::read(image.signature()), 2147483647);
    EXPECT_EQ(qv::ImageView::read(image.simuperiod()), 50000.0f);
    std::string name;
    for (int32_t k = 3; image.charSlot(k)[0] != 0; ++k) name += static_cast<char>(image.charSlot(k)[0]);
    EXPECT_EQ(name, "bistable_cylinder.exe");
    EXPECT_EQ(image.charSlot(1)[0], 50);
    EXPECT_EQ(run.end(), 0);
}

TEST(BistableCylinderProgram, TypicalEvent) {
    ProgramRun run("bistable_cylinder", "bc");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ModelSupervisor supervisor(run, kSymbols);
    supervisor.set("CR", true);
    ASSERT_TRUE(supervisor.step(2));
    EXPECT_TRUE(supervisor.on("EtatR"));
    EXPECT_TRUE(supervisor.on("_X_11"));

    // A request to extend and RUN: the extending step gives the order.
    supervisor.set("DS", true);
    qv::ImageView::write(run.image().execstatus(), qv::kStatusRun);
    EXPECT_TRUE(qvtest::waitUntil([&] { return supervisor.on("OrdreS"); }));
    qv::ImageView::write(run.image().execstatus(), qv::kStatusStop);
    EXPECT_TRUE(qvtest::waitUntil([&] { return run.console().find("from RUN to STOP\n") != std::string::npos; }));
    EXPECT_FALSE(supervisor.on("EtatR"));
    EXPECT_NE(run.console().find("Exec status change from STOP to RUN\n"), std::string::npos);

    // The cylinder moves; the cycle that sees CS without CR ends the movement.
    supervisor.set("CR", false);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("OrdreS"));
    supervisor.set("CS", true);
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("EtatS"));
    EXPECT_FALSE(supervisor.on("OrdreS"));
    EXPECT_FALSE(supervisor.on("Def_verin"));
    EXPECT_EQ(run.end(), 0);
}

TEST(BistableCylinderProgram, AForcedOutputKeepsItsValue) {
    ProgramRun run("bistable_cylinder", "bc");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ModelSupervisor supervisor(run, kSymbols);
    supervisor.set("CR", true);
    ASSERT_TRUE(supervisor.step(2));
    supervisor.force("EtatR", false);
    supervisor.force("OrdreS", true);
    ASSERT_TRUE(supervisor.step(3));
    EXPECT_FALSE(supervisor.on("EtatR"));
    EXPECT_TRUE(supervisor.on("OrdreS"));
    EXPECT_TRUE(supervisor.on("_X_23"));  // the model's own state is unaffected
    supervisor.release("EtatR");
    supervisor.release("OrdreS");
    ASSERT_TRUE(supervisor.step());
    EXPECT_TRUE(supervisor.on("EtatR"));
    EXPECT_TRUE(supervisor.on("OrdreS"));  // released, it keeps the forced value until the model writes it
    supervisor.set("DS", true);
    supervisor.set("CR", false);
    ASSERT_TRUE(supervisor.step());
    supervisor.set("CS", true);
    ASSERT_TRUE(supervisor.step());
    EXPECT_FALSE(supervisor.on("OrdreS"));
    EXPECT_EQ(run.end(), 0);
}

TEST(BistableCylinderProgram, ParametersFileSetsThePeriodAndAnInput) {
    ProgramRun run("bistable_cylinder", "bc");
    qvtest::writeFile(run.paramsFile(), "2147483647\nF 10 20000 simuperiod\nB 9 1 CR\n");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    ModelSupervisor supervisor(run, kSymbols);
    EXPECT_EQ(qv::ImageView::read(run.image().simuperiod()), 20000.0f);
    EXPECT_EQ(supervisor.byte("CR") & (qv::kBoolCurrent | qv::kBoolOld), qv::kBoolCurrent | qv::kBoolOld);
    ASSERT_TRUE(supervisor.step(2));
    EXPECT_TRUE(supervisor.on("EtatR"));
    EXPECT_TRUE(supervisor.on("_X_11"));
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
