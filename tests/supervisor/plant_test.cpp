// The plant simulators: actuator motion, wiring by symbol names, and the plant closing the
// loop with real programs.
#include <gtest/gtest.h>

#include <thread>

#include "supervisor/plant/plant.h"
#include "supervisor/core/symbols/symbols.h"
#include "tests/supervisor/laid_out_image.h"

namespace {

using qv::ImageView;
using namespace qv::plant;

constexpr int32_t kBistableCounts[4] = {40, 555, 17, 53};

TEST(Cylinder, DoubleActingMovesWhileExactlyOneOrderIsGiven) {
    Cylinder c{1.0, false, 0.0};
    EXPECT_TRUE(cylinderRetracted(c));
    stepCylinder(c, true, false, 0.25);
    EXPECT_DOUBLE_EQ(c.position, 0.25);
    EXPECT_FALSE(cylinderRetracted(c));  // released as soon as it leaves
    EXPECT_FALSE(cylinderExtended(c));
    stepCylinder(c, false, false, 0.5);  // order dropped: it stops
    stepCylinder(c, true, true, 0.5);    // both orders: it stays
    EXPECT_DOUBLE_EQ(c.position, 0.25);
    stepCylinder(c, true, false, 0.5);
    EXPECT_FALSE(cylinderExtended(c));
    stepCylinder(c, true, false, 0.5);
    EXPECT_TRUE(cylinderExtended(c));
    EXPECT_DOUBLE_EQ(c.position, 1.0);
    stepCylinder(c, false, true, 0.05);
    EXPECT_FALSE(cylinderExtended(c));
    stepCylinder(c, false, true, 2.0);
    EXPECT_TRUE(cylinderRetracted(c));

    Cylinder instant{0.0, false, 0.0};
    stepCylinder(instant, true, false, 0.05);
    EXPECT_TRUE(cylinderExtended(instant));
}

TEST(Cylinder, SpringReturnExtendsWhileOrderedAndReturnsByItself) {
    Cylinder c{0.2, true, 0.0};
    for (int k = 0; k < 3; ++k) stepCylinder(c, true, false, 0.05);
    EXPECT_FALSE(cylinderExtended(c));
    stepCylinder(c, true, false, 0.05);
    EXPECT_TRUE(cylinderExtended(c));
    stepCylinder(c, false, false, 0.05);
    EXPECT_FALSE(cylinderExtended(c));
    EXPECT_DOUBLE_EQ(c.position, 0.75);
    for (int k = 0; k < 3; ++k) stepCylinder(c, false, false, 0.05);
    EXPECT_TRUE(cylinderRetracted(c));
}

TEST(Vacuum, ValvePulsesSwitchTheGeneratorAndTheSwitchFollowsAfterTheDelay) {
    Vacuum v{0.2, false, 0.0, false};
    stepVacuum(v, true, false, 0.05);  // one pulse starts it
    EXPECT_TRUE(v.generating);
    for (int k = 0; k < 2; ++k) stepVacuum(v, false, false, 0.05);
    EXPECT_FALSE(v.switchOn);
    stepVacuum(v, false, false, 0.05);
    EXPECT_TRUE(v.switchOn);
    stepVacuum(v, true, true, 0.05);  // both valves change nothing
    EXPECT_TRUE(v.generating);
    stepVacuum(v, false, true, 0.05);
    EXPECT_FALSE(v.generating);
    EXPECT_TRUE(v.switchOn);  // the switch opens only when no vacuum is left
    for (int k = 0; k < 2; ++k) stepVacuum(v, false, false, 0.05);
    EXPECT_TRUE(v.switchOn);
    stepVacuum(v, false, false, 0.05);
    EXPECT_FALSE(v.switchOn);
}

// The counts of each program, to lay out an image that the wiring can resolve against.
struct ProgramImage {
    const char* program;
    int revision;
    int32_t counts[4];
};
constexpr ProgramImage kProgramImages[] = {
    {"bistable_cylinder", 3, {40, 555, 17, 53}},
    {"pick_place_unit", 2, {37, 536, 17, 53}},
    {"suction_cup", 2, {25, 527, 17, 53}},
    {"manipulateur", 1, {167, 551, 17, 53}},
};

TEST(PlantWiring, EveryProgramWithATableResolvesItsNames) {
    for (const ProgramImage& p : kProgramImages) {
        SCOPED_TRACE(p.program);
        qvtest::LaidOutImage image(p.revision, p.counts, "plant");
        std::string error;
        std::optional<Plant> plant = Plant::wire(image.view(), p.program, PlantOptions{}, error);
        ASSERT_TRUE(plant.has_value()) << error;
        EXPECT_EQ(plant->cylinders().size(), findWiring(p.program)->cylinders.size());
        EXPECT_EQ(plant->vacuums().size(), findWiring(p.program)->vacuums.size());
    }
}

TEST(PlantWiring, RefusesWhatItCannotWire) {
    qvtest::LaidOutImage image(3, kBistableCounts, "plant");
    std::string error;
    EXPECT_FALSE(Plant::wire(image.view(), "sorting_line", PlantOptions{}, error));
    EXPECT_EQ(error, "no plant simulator for sorting_line");
    // An image that does not hold the program, whatever it is called: another program's
    // variables would take the plant's switches.
    const int32_t small[4] = {10, 555, 17, 53};
    qvtest::LaidOutImage smallImage(3, small, "plant");
    EXPECT_FALSE(Plant::wire(smallImage.view(), "bistable_cylinder", PlantOptions{}, error));
    EXPECT_EQ(error, "image \"" + smallImage.name() +
                         "\" does not hold bistable_cylinder (slot counts 10 555 17 53, signature 0): the plant "
                         "plays only a program it recognises");
}

bool on(ImageView& view, int32_t slot) { return (*view.boolSlot(slot) & qv::kBoolCurrent) != 0; }

TEST(Plant, ReadsOrdersWritesSwitchesAndLeavesForcedSwitchesAlone) {
    qvtest::LaidOutImage image(3, kBistableCounts, "plant");
    ImageView& view = image.view();
    std::string error;
    std::optional<Plant> plant = Plant::wire(view, "bistable_cylinder", PlantOptions{0.5, 0.3}, error);
    ASSERT_TRUE(plant) << error;
    constexpr int32_t kCR = 9, kCS = 10, kOrdreR = 11, kOrdreS = 12;
    *view.boolSlot(kCS) = qv::kBoolCurrent | qv::kBoolOld | 0x10;  // a stale switch; other bits stay
    plant->writeSensors();
    EXPECT_TRUE(on(view, kCR));
    EXPECT_EQ(*view.boolSlot(kCS), qv::kBoolOld | 0x10);

    *view.boolSlot(kOrdreS) = qv::kBoolCurrent;
    plant->step(0.25);
    EXPECT_FALSE(on(view, kCR));
    EXPECT_FALSE(on(view, kCS));
    plant->step(0.25);
    EXPECT_TRUE(on(view, kCS));

    // A forced switch keeps its forced value while the plant moves.
    *view.boolSlot(kOrdreS) = 0;
    *view.boolSlot(kOrdreR) = qv::kBoolCurrent;
    *view.boolSlot(kCS) = qv::kBoolCurrent | qv::kBoolOld | qv::kBoolForced;
    plant->step(0.5);
    EXPECT_TRUE(on(view, kCR));
    EXPECT_TRUE(on(view, kCS));
}

TEST(Plant, PollStepsOnceTheProgramHasFinishedACycle) {
    qvtest::LaidOutImage image(3, kBistableCounts, "plant");
    ImageView& view = image.view();
    ImageView::write(view.simuperiod(), 50000.0f);
    ImageView::write(view.cycleCounter(), 7);
    std::string error;
    std::optional<Plant> plant = Plant::wire(view, "bistable_cylinder", PlantOptions{1.0, 0.3}, error);
    ASSERT_TRUE(plant) << error;
    *view.boolSlot(12) = qv::kBoolCurrent;  // OrdreS
    EXPECT_EQ(plant->poll(), 0);
    ImageView::write(view.cycleCounter(), 8);
    EXPECT_EQ(plant->poll(), 0);  // the outputs settle first
    std::this_thread::sleep_for(std::chrono::milliseconds(12));
    EXPECT_EQ(plant->poll(), 1);
    EXPECT_DOUBLE_EQ(plant->cylinders()[0].cylinder.position, 0.05);
    ImageView::write(view.cycleCounter(), 11);  // three cycles at once
    ASSERT_TRUE(qvtest::waitUntil([&] { return plant->poll() != 0; }));
    EXPECT_NEAR(plant->cylinders()[0].cylinder.position, 0.2, 1e-9);
    ImageView::write(view.simuperiod(), -1.0f);  // nothing usable: 50 ms
    EXPECT_DOUBLE_EQ(plant->cycleSeconds(), 0.05);
}

// ---- With the programs -------------------------------------------------------------------

using qvtest::ProgramRun;

bool boolOf(ImageView& view, const char* program, const char* name) {
    const qv::symbols::Symbol* s = qv::symbols::findSymbol(*qv::symbols::findProgram(program), name);
    return (*view.boolSlot(s->slot) & qv::kBoolCurrent) != 0;
}
void setBool(ImageView& view, const char* program, const char* name, bool value) {
    const qv::symbols::Symbol* s = qv::symbols::findSymbol(*qv::symbols::findProgram(program), name);
    unsigned char* slot = view.boolSlot(s->slot);
    if (value)
        __atomic_fetch_or(slot, qv::kBoolCurrent, __ATOMIC_RELAXED);
    else
        __atomic_fetch_and(slot, static_cast<unsigned char>(~qv::kBoolCurrent), __ATOMIC_RELAXED);
}

// Runs the program with the plant beside it until `done` holds; the cycles it took.
std::optional<int32_t> runUntil(ProgramRun& run, Plant& plant, const std::function<bool()>& done) {
    ImageView& view = run.image();
    const int32_t first = ImageView::read(view.cycleCounter());
    ImageView::write(view.execstatus(), qv::kStatusRun);
    const bool reached = qvtest::waitUntil([&] {
        plant.poll();
        return done();
    }, std::chrono::seconds(20));
    ImageView::write(view.execstatus(), qv::kStatusStop);
    if (!reached) return std::nullopt;
    return ImageView::read(view.cycleCounter()) - first;
}

TEST(PlantWithProgram, BistableCylinderExtendsAndRetracts) {
    ProgramRun run("bistable_cylinder", "plant");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=30"}));
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& view = run.image();
    std::string error;
    std::optional<Plant> plant = Plant::wire(view, "bistable_cylinder", PlantOptions{0.5, 0.3}, error);
    ASSERT_TRUE(plant) << error;
    plant->writeSensors();
    const char* p = "bistable_cylinder";
    ASSERT_TRUE(runUntil(run, *plant, [&] { return boolOf(view, p, "EtatR"); }));

    setBool(view, p, "DS", true);
    std::optional<int32_t> cycles = runUntil(run, *plant, [&] { return boolOf(view, p, "EtatS"); });
    ASSERT_TRUE(cycles);
    // 0.5 s of travel at 50 ms a cycle, and a few cycles to give the order and see the switch.
    EXPECT_GE(*cycles, 10);
    EXPECT_LE(*cycles, 16);
    EXPECT_FALSE(boolOf(view, p, "OrdreS"));
    setBool(view, p, "DS", false);
    setBool(view, p, "DR", true);
    ASSERT_TRUE(runUntil(run, *plant, [&] { return boolOf(view, p, "EtatR"); }));
    EXPECT_FALSE(boolOf(view, p, "Def_verin"));
    EXPECT_EQ(run.end(), 0);
}

TEST(PlantWithProgram, PickPlaceUnitPicksAndPlaces) {
    ProgramRun run("pick_place_unit", "plant");
    ASSERT_TRUE(run.start({"QV_TIMEOUT=30"}));
    ASSERT_TRUE(run.waitUntilStopped());
    ImageView& view = run.image();
    std::string error;
    std::optional<Plant> plant = Plant::wire(view, "pick_place_unit", PlantOptions{0.2, 0.1}, error);
    ASSERT_TRUE(plant) << error;
    plant->writeSensors();
    const char* p = "pick_place_unit";
    ASSERT_TRUE(runUntil(run, *plant, [&] { return boolOf(view, p, "OKpose"); }));

    setBool(view, p, "dprise", true);
    ASSERT_TRUE(runUntil(run, *plant, [&] { return boolOf(view, p, "OKprise"); }));
    EXPECT_TRUE(plant->vacuums()[0].vacuum.switchOn);
    EXPECT_TRUE(cylinderRetracted(plant->cylinders()[0].cylinder));
    setBool(view, p, "dprise", false);
    setBool(view, p, "dpose", true);
    ASSERT_TRUE(runUntil(run, *plant, [&] { return boolOf(view, p, "OKpose"); }));
    EXPECT_FALSE(plant->vacuums()[0].vacuum.switchOn);
    EXPECT_FALSE(boolOf(view, p, "def_prisepose"));
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
