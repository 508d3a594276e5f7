// The bistable_cylinder program driven through its image as a supervisor would.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>

#include "runtime/debug/debug.h"
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

// The travel fault, as a scenario test would play it: retracted, asked to extend, and the
// extended sensor never comes. A data breakpoint on the fault stops the program in the
// cycle that latches it. What the run leaves: that cycle, and the trace without its time
// stamps (the header's date dropped too).
struct TravelFault {
    int32_t faultCycle = 0;
    std::string trace;
    double wallSeconds = 0;
};

TravelFault playTravelFault(const std::vector<std::string>& environment, const std::string& params) {
    TravelFault outcome;
    ProgramRun run("bistable_cylinder", "speed");
    qvtest::writeFile(run.paramsFile(), params);
    EXPECT_TRUE(run.start(environment));
    if (!run.waitUntilStopped()) return outcome;
    qv::ImageView& image = run.image();
    ModelSupervisor supervisor(run, kSymbols);
    for (int32_t slot = 11; slot <= 34; ++slot)  // outputs, fault bits, steps
        qv::addTraceIndex(slot, image.indexTable(qv::kBoolTraceTableOffset), image.boolSlot(qv::kTracesnapshopSlot));
    for (int32_t slot = 541; slot <= 544; ++slot)  // the travel timer t5
        qv::addTraceIndex(slot, image.indexTable(qv::kIntTraceTableOffset), image.boolSlot(qv::kTracesnapshopSlot));
    QV_addIndex(15, image.indexTable(qv::kBoolBreakpointTableOffset));  // Def_verin
    supervisor.set("CR", true);
    __atomic_fetch_or(image.boolSlot(qv::kTraceonSlot), qv::kBoolCurrent, __ATOMIC_RELAXED);
    EXPECT_TRUE(supervisor.step(2));
    EXPECT_TRUE(supervisor.on("_X_23"));

    supervisor.set("CR", false);
    supervisor.set("DS", true);
    const auto start = std::chrono::steady_clock::now();
    qv::ImageView::write(image.execstatus(), qv::kStatusRun);
    EXPECT_TRUE(qvtest::waitUntil(
        [&] { return image.execstatus()[1] == qv::kStatusStop && supervisor.on("Def_verin"); }, std::chrono::seconds(30)));
    outcome.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.faultCycle = qv::ImageView::read(image.cycleCounter());
    EXPECT_TRUE(supervisor.on("defaut[5]"));
    EXPECT_EQ(run.end(), 0);

    std::istringstream lines(qvtest::readFile(run.traceFile()));
    std::string line;
    std::getline(lines, line);  // the date of the run
    while (std::getline(lines, line)) {
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        outcome.trace += second == std::string::npos ? line : line.substr(0, first) + line.substr(second);
        outcome.trace += '\n';
    }
    return outcome;
}

TEST(BistableCylinderProgram, AtMaxSpeedTheSameCyclesGiveTheSameOutputs) {
    // A 1 s travel limit at a 5 ms period: 200 cycles, a second in real time.
    const std::string shortTravel = "2147483647\nF 10 5000 simuperiod\nI 526 10000 TTL\n";
    const TravelFault realTime = playTravelFault({}, shortTravel);
    const TravelFault fastest = playTravelFault({"QV_SPEED=max"}, shortTravel);
    EXPECT_GE(realTime.faultCycle, 3 + 200);
    EXPECT_EQ(fastest.faultCycle, realTime.faultCycle);
    EXPECT_EQ(fastest.trace, realTime.trace);
    EXPECT_GT(std::count(realTime.trace.begin(), realTime.trace.end(), '\n'), 200);

    // The model's own limit, 10 s at 50 ms, at max speed.
    const TravelFault full = playTravelFault({"QV_SPEED=max"}, qvtest::kSignatureOnly);
    EXPECT_GE(full.faultCycle, 3 + 200);
    std::printf("travel fault after %d cycles (%.1f s simulated) in %.3f s of wall time at QV_SPEED=max\n",
                full.faultCycle, full.faultCycle * 0.05, full.wallSeconds);
}

}  // namespace
