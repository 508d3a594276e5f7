// The manipulator cell on an image in memory (revision 1): its tree and bindings, and its
// behaviour with a small plant closing the loop after every evolution.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "models/components/bistable_cylinder.h"
#include "models/manipulateur/cell.h"
#include "models/manipulateur/graf_mdl_manipulateur.h"
#include "models/manipulateur/mdl_deplacement.h"
#include "tests/models/model_image.h"
#include "tests/models/symbol_bindings.h"

namespace {

using namespace qv::models;
using qvtest::ModelImage;

// ---- The plant: cylinders that travel while a valve is open, a vacuum that follows -------

constexpr int kTravelCycles = 4;

struct Axis {
    const char* retractValve;  // null: a monostable cylinder, extended while extendValve is open
    const char* extendValve;
    const char* retractedSwitch;
    const char* extendedSwitch;
    int position = 0;  // 0 retracted .. kTravelCycles extended
    bool stuck = false;
};

class Plant {
public:
    explicit Plant(ModelImage& image) : image_(image) { report(); }

    // One period of the machine after an evolution: every axis moves one step toward the
    // side its valves ask for, and the vacuum switch takes the state of the valves.
    void advance() {
        for (Axis& a : axes) {
            const bool extend = image_.on(a.extendValve);
            const bool retract = a.retractValve == nullptr ? !extend : image_.on(a.retractValve);
            // A stuck cylinder leaves its retracted switch but never reaches the other.
            if (extend && !retract && a.position < kTravelCycles - (a.stuck ? 1 : 0)) ++a.position;
            if (retract && !extend && a.position > 0) --a.position;
        }
        if (image_.on("EVVTM")) vacuum = true;
        if (image_.on("EVVTA")) vacuum = false;
        report();
    }
    void report() {
        for (const Axis& a : axes) {
            image_.set(a.retractedSwitch, a.position == 0);
            image_.set(a.extendedSwitch, a.position == kTravelCycles);
        }
        image_.set("vacuostat", vacuum);
    }
    Axis& axis(const char* extendValve) {
        for (Axis& a : axes)
            if (std::string(a.extendValve) == extendValve) return a;
        throw std::invalid_argument(extendValve);
    }

    std::vector<Axis> axes = {
        {"EVGXR", "EVGXS", "FCGXR", "FCGXS"},
        {"EVPXR", "EVPXS", "FCPXR", "FCPXS"},
        {"EVVRR", "EVVRS", "FCVRR", "FCVRS"},
        {nullptr, "EVVZ", "FCVZH", "FCVZB"},
    };
    bool vacuum = false;

private:
    ModelImage& image_;
};

class Cell : public ::testing::Test {
protected:
    ModelImage image{qv::symbols::kManipulateurSymbols};
    Plant plant{image};

    // One evolution and the plant's answer; false if the evolution returned nonzero.
    bool cycle() {
        const bool ok = image.evolve() == 0;
        plant.advance();
        return ok;
    }
    bool cycles(int n) {
        for (int k = 0; k < n; ++k)
            if (!cycle()) return false;
        return true;
    }
    // The active step of the sequence G1 of the sequencer, or 0.
    int sequencerStep() {
        int active = 0;
        for (int s : {10, 11, 12, 13, 14})
            if (image.on("graf_mdl_manipulateur1._X_" + std::to_string(s))) active = active == 0 ? s : -1;
        return active;
    }
    int32_t position() { return image.integer("CR_pos"); }
    // Runs until the sequence is at rest and the cell reports its position (at most n cycles).
    bool settle(int n = 20) {
        for (int k = 0; k < n; ++k) {
            if (image.on("OKcycle") && position() != kMovingCode && image.on("graf_mdl_manipulateur1._X_21"))
                return true;
            if (!cycle()) return false;
        }
        return false;
    }
};

// ---- The tree -----------------------------------------------------------------------------

TEST_F(Cell, TheTreeLiesWhereItsOffsetRecordsSay) {
    auto record = [](const int32_t* r) { return std::vector<int32_t>(r, r + 4); };
    EXPECT_EQ(record(sfp__manipulateur_offset_graf_mdl_manipulateur1), (std::vector<int32_t>{7, 2, 0, 0}));
    EXPECT_EQ(record(sfp__manipulateur_offset_deplacement1), (std::vector<int32_t>{16, 2, 0, 0}));
    EXPECT_EQ(record(sfp__deplacement_offset_mdl_deplacement1), (std::vector<int32_t>{15, 0, 0, 0}));
    EXPECT_EQ(record(sfp__deplacement_offset_Verin_PX), (std::vector<int32_t>{15, 0, 0, 0}));
    EXPECT_EQ(record(sfp__deplacement_offset_Verin_VR), (std::vector<int32_t>{35, 28, 0, 0}));
    EXPECT_EQ(record(sfp__deplacement_offset_Verin_GX), (std::vector<int32_t>{55, 56, 0, 0}));
    EXPECT_EQ(record(sfp__deplacement_offset__end), (std::vector<int32_t>{75, 84, 0, 0}));
    EXPECT_EQ(record(sfp__manipulateur_offset_prise_pose1), (std::vector<int32_t>{91, 86, 0, 0}));
    EXPECT_EQ(record(sfp__prise_pose_offset_pick_place_unit1), (std::vector<int32_t>{9, 0, 0, 0}));
    EXPECT_EQ(record(sfp__prise_pose_offset_Verin_VZ), (std::vector<int32_t>{20, 9, 0, 0}));
    EXPECT_EQ(record(sfp__prise_pose_offset_Vent_VT), (std::vector<int32_t>{40, 37, 0, 0}));
    EXPECT_EQ(record(sfp__prise_pose_offset__end), (std::vector<int32_t>{48, 37, 0, 0}));
    EXPECT_EQ(record(sfp__manipulateur_offset__end), (std::vector<int32_t>{139, 123, 0, 0}));

    // A whole evolution walks exactly the model's slots and numbers eleven instances.
    image.evolve();
    EXPECT_EQ(self.boolBase, qv::boolSlot(mem.boolBase, 167));
    EXPECT_EQ(self.intBase, qv::intSlotBytes(mem.intBase, 547));
    EXPECT_EQ(graf_mdl_manipulateur__num, 2);
    EXPECT_EQ(deplacement__num, 3);
    EXPECT_EQ(mdl_deplacement__num, 4);
    EXPECT_EQ(bistable_cylinder__num, 7);  // its last instance, Verin_GX
    EXPECT_EQ(prise_pose__num, 8);
}

// Walks a composite as its scheme does and checks, right after each instance is wired and
// bound, that every symbol of the instance names the slot its pointer leads to.
void expectCompositeSymbols(const ModelImage& image, const CompositeModel& c, const std::string& prefix) {
    const QV_Bases base = self;
    auto symbolSlot = [&image](const std::string& name) {
        const qv::symbols::Symbol* s = qv::symbols::findSymbol(image.symbols(), name);
        EXPECT_NE(s, nullptr) << name;
        return s == nullptr ? nullptr : image.slot(*s);
    };
    for (std::size_t k = 0; k < c.ownBools.size(); ++k)
        EXPECT_EQ(symbolSlot(prefix + c.ownBools[k]), ownBool(base, static_cast<int32_t>(k))) << c.ownBools[k];
    for (std::size_t k = 0; k < c.ownInts.size(); ++k)
        EXPECT_EQ(symbolSlot(prefix + c.ownInts[k]),
                  reinterpret_cast<unsigned char*>(ownInt(base, static_cast<int32_t>(k))));
    for (const SubInstance& i : c.instances) {
        self = movedBy(base, i.offset);
        i.bindInterface(base);
        const std::string name = std::string(i.name) + ".";
        if (i.leaf != nullptr) {
            i.step();  // binds the instance's own variables
            qvtest::expectSymbolsMatchBindings(image, *i.leaf, name);
            continue;
        }
        for (const NamedVar& v : i.composite->interface) EXPECT_EQ(symbolSlot(name + v.name), *v.var) << name << v.name;
        for (const NamedIntVar& v : i.composite->intInterface)
            EXPECT_EQ(symbolSlot(name + v.name), reinterpret_cast<unsigned char*>(*v.var)) << name << v.name;
        expectCompositeSymbols(image, *i.composite, name);
    }
}

TEST_F(Cell, EverySymbolNamesTheSlotItsInstanceIsBoundTo) {
    self = mem;
    memoryStartInit(&self);
    inputOutputVariablesInit();
    for (const NamedVar& v : kManipulateur.interface)
        EXPECT_EQ(image.slot(v.name), *v.var) << v.name;
    for (const NamedIntVar& v : kManipulateur.intInterface)
        EXPECT_EQ(image.slot(v.name), reinterpret_cast<unsigned char*>(*v.var)) << v.name;
    expectCompositeSymbols(image, kManipulateur, "");
    EXPECT_EQ(image.symbols().symbols.size(), 323u);
}

TEST_F(Cell, GeneratedInitialValuesOfRevisionOne) {
    auto header = [this](const char* name) { return reinterpret_cast<int32_t*>(image.slot(name)); };
    EXPECT_EQ(header("Verin_PX.TTL")[0], 2);  // TIME headers, in both values
    EXPECT_EQ(header("Verin_VZ.t7")[1], 2);
    EXPECT_EQ(header("pick_place_unit1.t1")[0], 2);
    EXPECT_EQ(image.integer("pick_place_unit1.TTL", 1), 100000);
    EXPECT_EQ(image.integer("Verin_GX.t8"), 0);  // a memo has no header
    // `defaut`'s header slot keeps bit 0 of its length 10; the first slots of the
    // breakpoint lists hold 100.
    EXPECT_EQ(*(image.slot("Verin_VR.defaut[1]") - 4) & 3, 0);
    EXPECT_EQ(*qv::intSlot(mem.intBase, 211), 100);
    EXPECT_EQ(*qv::intSlot(mem.intBase, 313), 100);
    EXPECT_EQ(*simuperiod, 50000.0f);
    EXPECT_EQ(*qv::charSlot(mem.charBase, 1), 50);
    EXPECT_EQ(qv::charSlot(mem.charBase, 3)[0], 'm');
}

// ---- One manipulation cycle -----------------------------------------------------------------

TEST_F(Cell, AManipulationCycleVisitsItsStepsAndPositionsInOrder) {
    ASSERT_TRUE(settle());
    EXPECT_EQ(position(), 0);
    image.setInteger("Pos_depart", 5);
    image.setInteger("Pos_arrivee", 2);
    image.set("DCY", true);
    std::vector<int> steps{sequencerStep()};
    std::vector<int32_t> positions{position()};
    bool vacuumSeen = false;
    for (int k = 0; k < 80 && !(steps.size() > 1 && steps.back() == 10); ++k) {
        ASSERT_TRUE(cycle());
        if (sequencerStep() == 11) image.set("DCY", false);
        if (sequencerStep() != steps.back()) steps.push_back(sequencerStep());
        if (position() != positions.back()) positions.push_back(position());
        vacuumSeen = vacuumSeen || plant.vacuum;
    }
    EXPECT_EQ(steps, (std::vector<int>{10, 11, 12, 13, 14, 10}));
    EXPECT_EQ(positions, (std::vector<int32_t>{0, kMovingCode, 5, kMovingCode, 2}));
    EXPECT_TRUE(vacuumSeen);
    EXPECT_FALSE(plant.vacuum);  // placed
    EXPECT_TRUE(image.on("OKcycle"));
    EXPECT_FALSE(image.on("Def_Manip"));
    // Position 2: GX retracted, PX and VR extended.
    EXPECT_EQ(plant.axis("EVGXS").position, 0);
    EXPECT_EQ(plant.axis("EVPXS").position, kTravelCycles);
    EXPECT_EQ(plant.axis("EVVRS").position, kTravelCycles);
}

TEST_F(Cell, AStartPositionAlreadyReachedIsTakenInTheNextEvolution) {
    ASSERT_TRUE(settle());
    image.setInteger("Pos_depart", 0);
    image.set("DCY", true);
    ASSERT_TRUE(cycle());
    EXPECT_EQ(sequencerStep(), 11);
    for (const char* valve : {"EVGXR", "EVGXS", "EVPXR", "EVPXS", "EVVRR", "EVVRS"}) EXPECT_FALSE(image.on(valve)) << valve;
    ASSERT_TRUE(cycle());
    EXPECT_EQ(sequencerStep(), 12);
    EXPECT_TRUE(image.on("EVVZ"));  // picking: the vertical axis goes down
}

TEST_F(Cell, APositionCodeOutsideTheTableMovesNothing) {
    ASSERT_TRUE(settle());
    image.setInteger("Pos_depart", 8);
    image.set("DCY", true);
    ASSERT_TRUE(cycles(30));
    EXPECT_EQ(sequencerStep(), 11);
    for (const char* valve : {"EVGXR", "EVGXS", "EVPXR", "EVPXS", "EVVRR", "EVVRS"}) EXPECT_FALSE(image.on(valve)) << valve;
    // The code is compared as an INT: 65536 + 3 is position 3.
    image.setInteger("Pos_depart", 65536 + 3);
    ASSERT_TRUE(cycle());
    EXPECT_TRUE(image.on("EVPXS"));
}

TEST_F(Cell, PositionNinetyNineMatchesOnlyWhileACylinderIsBetweenItsSwitches) {
    ASSERT_TRUE(settle());
    image.setInteger("Pos_depart", kMovingCode);
    image.set("DCY", true);
    ASSERT_TRUE(cycles(10));
    EXPECT_EQ(sequencerStep(), 11);  // at rest nothing reads 99, and 99 requests nothing
    EXPECT_EQ(position(), 0);

    // A move to 4 sets GX extending; asked for 99 meanwhile, the sequencer finds it while
    // GX is between its switches.
    image.setInteger("Pos_depart", 4);
    ASSERT_TRUE(cycle());
    ASSERT_TRUE(image.on("EVGXS"));
    image.setInteger("Pos_depart", kMovingCode);
    ASSERT_TRUE(cycle());
    EXPECT_EQ(position(), kMovingCode);
    EXPECT_EQ(sequencerStep(), 11);
    ASSERT_TRUE(cycle());
    EXPECT_EQ(sequencerStep(), 12);
}

// ---- Faults ----------------------------------------------------------------------------------

TEST_F(Cell, AStuckCylinderLatchesTheFaultsUntilAcknowledgedWithTheFaultGone) {
    ASSERT_TRUE(settle());
    plant.axis("EVPXS").stuck = true;
    image.setInteger("Pos_depart", 2);
    image.set("DCY", true);
    // Ten seconds of extension without reaching the switch (200 cycles of 50 ms).
    int cyclesToFault = 0;
    while (!image.on("Def_Manip") && cyclesToFault < 300) {
        ASSERT_TRUE(cycle());
        ++cyclesToFault;
    }
    EXPECT_GE(cyclesToFault, 200);
    EXPECT_LE(cyclesToFault, 203);
    EXPECT_TRUE(image.on("Verin_PX.defaut[5]"));
    EXPECT_TRUE(image.on("def_depl"));
    ASSERT_TRUE(cycle());
    EXPECT_TRUE(image.on("graf_mdl_manipulateur1._X_22"));
    EXPECT_TRUE(image.on("Verin_PX._X_12"));
    for (const char* valve : {"EVGXS", "EVPXS", "EVVRS", "EVPXR"}) EXPECT_FALSE(image.on(valve)) << valve;
    // The sequencer's fault step forces nothing: the sequence stays in its move, whose
    // requests the module drops.
    EXPECT_EQ(sequencerStep(), 11);
    EXPECT_TRUE(image.on("GO"));
    EXPECT_FALSE(image.on("deplacement1.PXS"));

    // The acknowledgement clears the cylinder's flags in its fault step, but the module's
    // latch stays while a flag was still seen, and drops in the next evolution.
    image.set("acq", true);
    ASSERT_TRUE(cycle());
    EXPECT_FALSE(image.on("Verin_PX.Def_verin"));
    EXPECT_TRUE(image.on("def_depl"));
    ASSERT_TRUE(cycles(2));
    EXPECT_FALSE(image.on("def_depl"));
    EXPECT_FALSE(image.on("Def_Manip"));
    image.set("acq", false);
    plant.axis("EVPXS").stuck = false;
    ASSERT_TRUE(cycles(3));
    EXPECT_TRUE(image.on("graf_mdl_manipulateur1._X_20") || image.on("graf_mdl_manipulateur1._X_21"));
}

TEST_F(Cell, TheEmergencyStopDropsEveryRequestAndLatchesEveryFault) {
    ASSERT_TRUE(settle());
    image.setInteger("Pos_depart", 6);
    image.set("DCY", true);
    ASSERT_TRUE(cycles(2));
    ASSERT_TRUE(image.on("EVGXS"));
    image.set("au", true);
    ASSERT_TRUE(cycle());
    EXPECT_TRUE(image.on("def_depl"));
    EXPECT_TRUE(image.on("Def_Manip"));
    EXPECT_TRUE(image.on("def_prisepose"));
    for (const char* r : {"deplacement1.GXS", "deplacement1.PXS", "deplacement1.VRS"}) EXPECT_FALSE(image.on(r)) << r;
    // The pick-and-place unit and the suction cup go to their fault steps: no vacuum
    // order, the vertical axis not lowered.
    ASSERT_TRUE(cycles(2));
    EXPECT_TRUE(image.on("pick_place_unit1._X_22"));
    EXPECT_TRUE(image.on("Vent_VT._X_12"));
    for (const char* valve : {"EVVTA", "EVVTM", "EVVZ"}) EXPECT_FALSE(image.on(valve)) << valve;
    // The acknowledgement is refused while the emergency stop holds.
    image.set("acq", true);
    ASSERT_TRUE(cycles(3));
    EXPECT_TRUE(image.on("Def_Manip"));
    image.set("au", false);
    ASSERT_TRUE(cycles(3));
    EXPECT_FALSE(image.on("Def_Manip"));
    EXPECT_FALSE(image.on("def_depl"));
}

// ---- Delay ---------------------------------------------------------------------------------

// Without delay each instance freezes its outputs, so a request crosses the whole tree in
// the evolution that makes it; with `qv_delay` set it crosses one instance per cycle.
TEST_F(Cell, QvDelayHoldsOutputsBackUntilTheNextFreeze) {
    ASSERT_TRUE(settle());
    image.setInteger("Pos_depart", 4);
    image.set("DCY", true);
    ASSERT_TRUE(cycle());
    EXPECT_TRUE(image.on("EVGXS"));

    ModelImage delayed(qv::symbols::kManipulateurSymbols);
    Plant delayedPlant(delayed);
    for (int k = 0; k < 6; ++k) {
        delayed.evolve();
        delayedPlant.advance();
    }
    *qv_delay |= qv::kBoolCurrent;
    delayed.setInteger("Pos_depart", 4);
    delayed.set("DCY", true);
    int evolutions = 0;
    while (!delayed.on("EVGXS") && evolutions < 10) {
        delayed.evolve();
        ++evolutions;
    }
    EXPECT_EQ(evolutions, 3);  // sequencer, position module, cylinder
    EXPECT_EQ(withoutDelay, 0);
}

}  // namespace
