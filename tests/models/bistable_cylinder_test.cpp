// The bistable cylinder, evolution by evolution, on an image in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "models/components/bistable_cylinder.h"
#include "runtime/debug/qv_debug.h"
#include "tests/models/model_image.h"
#include "tests/models/symbol_bindings.h"

namespace {

using qvtest::ModelImage;

constexpr int kEvolutionsIn10s = 200;  // 10 s at 50 ms
constexpr int kEvolutionsIn2s = 40;

class BistableCylinder : public ::testing::Test {
protected:
    ModelImage image{qv::symbols::kBistableCylinderSymbols};

    void sensors(bool cr, bool cs) {
        image.set("CR", cr);
        image.set("CS", cs);
    }
    void requests(bool dr, bool ds) {
        image.set("DR", dr);
        image.set("DS", ds);
    }
    // Retracted and in normal operation: the start-up forcing, then step 11.
    void startRetracted() {
        sensors(true, false);
        image.evolve(2);
        ASSERT_TRUE(image.on("_X_11"));
        ASSERT_TRUE(image.on("_X_23"));
    }
    std::vector<int> activeSteps() const {
        std::vector<int> steps;
        for (int n : {10, 11, 12, 20, 21, 22, 23})
            if (image.on("_X_" + std::to_string(n))) steps.push_back(n);
        return steps;
    }
    bool anyOrder() const { return image.on("OrdreR") || image.on("OrdreS"); }
};

TEST_F(BistableCylinder, StartUpWritesInitialStepConstantsAndGeneratedValues) {
    EXPECT_EQ(activeSteps(), std::vector<int>{10});
    EXPECT_EQ(image.integer("TTL", 1), 100000);
    EXPECT_EQ(image.integer("Tinertie", 1), 20000);
    EXPECT_EQ(*simuperiod, 50000.0f);
    EXPECT_EQ(*execstatus, qv::kStatusStop);
    EXPECT_EQ(*allowpreconditions & 3, 3);
    EXPECT_EQ(*allowpostconditions & 3, 3);
    const char name[] = "bistable_cylinder.exe";
    EXPECT_EQ(taskname[0], 0);
    EXPECT_EQ(qv::charSlot(taskname, 1)[0], 50);
    for (std::size_t k = 0; k <= std::strlen(name); ++k) EXPECT_EQ(qv::charSlot(taskname, 3 + k)[0], name[k]) << k;
    // As a STRING: capacity 50, the file name as its value.
    EXPECT_EQ(array_char_size(taskname), 50);
    EXPECT_EQ(array_char_len(taskname), static_cast<int>(std::strlen(name)));
    // behaviorsInit leaves the instance number as it found it.
    EXPECT_EQ(self_num, 1);
}

TEST_F(BistableCylinder, SymbolTableMatchesTheWalkAtStartUpAndInEveryCycle) {
    qvtest::expectSymbolsMatchBindings(image, qv::models::kBistableCylinder);
    image.evolve(3);
    qvtest::expectSymbolsMatchBindings(image, qv::models::kBistableCylinder);
    image.startUp();  // a restart on the same image binds the same slots
    qvtest::expectSymbolsMatchBindings(image, qv::models::kBistableCylinder);
}

TEST_F(BistableCylinder, StartUpTakesThePositionTheSensorsReport) {
    sensors(true, false);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{10, 23}));
    EXPECT_TRUE(image.on("_FORCING_G2"));
    EXPECT_TRUE(image.on("EtatR"));
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 23}));
    EXPECT_FALSE(image.on("_FORCING_G2"));
}

TEST_F(BistableCylinder, StartUpExtendedWhenOnlyTheExtendedSensorReports) {
    sensors(false, true);
    image.evolve(2);
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 21}));
    EXPECT_TRUE(image.on("EtatS"));
    EXPECT_FALSE(image.on("EtatR"));
}

TEST_F(BistableCylinder, WithoutAClearSensorReportItWaitsInInitialisation) {
    image.evolve(300);  // neither sensor: no forcing, no fault
    EXPECT_EQ(activeSteps(), std::vector<int>{10});
    EXPECT_FALSE(image.on("Def_verin"));
    image.set("AU", true);
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{12});
}

TEST_F(BistableCylinder, RequestArrivalAndReturn) {
    startRetracted();
    requests(false, true);
    image.evolve();
    // At the end of the first evolution that sees the request.
    EXPECT_FALSE(image.on("EtatR"));
    EXPECT_TRUE(image.on("OrdreS"));
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 20}));

    sensors(false, false);  // moving
    image.evolve(10);
    EXPECT_TRUE(image.on("OrdreS"));
    sensors(false, true);
    image.evolve();
    EXPECT_FALSE(image.on("OrdreS"));
    EXPECT_TRUE(image.on("EtatS"));
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 21}));

    requests(true, false);
    image.evolve();
    EXPECT_TRUE(image.on("OrdreR"));
    EXPECT_FALSE(image.on("EtatS"));
    sensors(false, false);
    image.evolve(5);
    sensors(true, false);
    image.evolve();
    EXPECT_FALSE(image.on("OrdreR"));
    EXPECT_TRUE(image.on("EtatR"));
    EXPECT_FALSE(image.on("Def_verin"));
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 23}));
}

TEST_F(BistableCylinder, EachOrderIsTrueForExactlyTheEvolutionsItsStepIsActive) {
    startRetracted();
    // Reverse the movement every 7 evolutions without ever reaching a sensor.
    sensors(false, false);
    for (int k = 0; k < 60; ++k) {
        const bool extend = (k / 7) % 2 == 0;
        requests(!extend, extend);
        image.evolve();
        EXPECT_EQ(image.on("OrdreS"), image.on("_X_20")) << k;
        EXPECT_EQ(image.on("OrdreR"), image.on("_X_22")) << k;
        EXPECT_NE(image.on("_X_20"), image.on("_X_22")) << k;
    }
}

TEST_F(BistableCylinder, FirstTransitionWinsWhenTwoLeaveTheSameStep) {
    startRetracted();
    requests(false, true);
    image.evolve();
    ASSERT_TRUE(image.on("_X_20"));
    // 20 -> 21 (CS without CR) and 20 -> 22 (DR without DS) both hold: 21 comes first.
    requests(true, false);
    sensors(false, true);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 21}));
}

TEST_F(BistableCylinder, TravelLongerThan10sLatchesElement5ThenEmptiesTheOperation) {
    startRetracted();
    requests(false, true);
    image.evolve();
    sensors(false, false);  // CR released at once, CS never comes
    image.evolve(kEvolutionsIn10s - 2);
    EXPECT_FALSE(image.on("Def_verin"));
    EXPECT_EQ(image.integer("t5", 1), (kEvolutionsIn10s - 1) * 500);
    image.evolve();  // the 200th evolution with step 20 active
    EXPECT_TRUE(image.on("defaut[5]"));
    EXPECT_TRUE(image.on("Def_verin"));
    EXPECT_TRUE(image.on("OrdreS"));
    EXPECT_TRUE(image.on("_X_11"));
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{12});
    EXPECT_FALSE(anyOrder());
    EXPECT_TRUE(image.on("_FORCING_G2"));
    for (int k : {1, 2, 3, 4, 6, 7}) EXPECT_FALSE(image.on("defaut[" + std::to_string(k) + "]")) << k;

    // The operation grafcet stays empty, requests or not, until acknowledged.
    requests(true, false);
    image.evolve(5);
    EXPECT_EQ(activeSteps(), std::vector<int>{12});
    image.set("ACQ", true);
    image.evolve();
    EXPECT_FALSE(image.on("Def_verin"));
    EXPECT_FALSE(image.on("defaut[5]"));
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{10});  // no sensor report: no forcing
}

TEST_F(BistableCylinder, RetractionLongerThan10sLatchesElement6) {
    startRetracted();
    requests(false, true);
    image.evolve();
    sensors(false, true);
    image.evolve();
    ASSERT_TRUE(image.on("_X_21"));
    requests(true, false);
    image.evolve();
    sensors(false, false);
    image.evolve(kEvolutionsIn10s - 2);
    EXPECT_FALSE(image.on("defaut[6]"));
    image.evolve();
    EXPECT_TRUE(image.on("defaut[6]"));
    EXPECT_FALSE(image.on("defaut[5]"));
}

TEST_F(BistableCylinder, RetractedSensorStillOn2sAfterTheExtensionStartedLatchesElement2) {
    startRetracted();
    requests(false, true);
    image.evolve(kEvolutionsIn2s - 1);
    EXPECT_FALSE(image.on("defaut[2]"));
    image.evolve();
    EXPECT_TRUE(image.on("defaut[2]"));
    EXPECT_TRUE(image.on("Def_verin"));
}

TEST_F(BistableCylinder, SensorFaultsOfAStablePosition) {
    startRetracted();
    sensors(false, false);  // CR lost while retracted: element 1
    image.evolve();
    EXPECT_TRUE(image.on("defaut[1]"));
    EXPECT_TRUE(image.on("Def_verin"));
}

TEST_F(BistableCylinder, TimersAccumulateOnlyWhileTheirStepIsActive) {
    startRetracted();
    requests(false, true);
    sensors(false, false);
    image.evolve(3);
    EXPECT_EQ(image.integer("t1", 1), 1500);  // Tinertie on step 20
    EXPECT_EQ(image.integer("t5", 1), 1500);  // TTL on step 20
    EXPECT_EQ(image.integer("t3", 1), 0);     // step 22 not active
    sensors(false, true);
    image.evolve();
    EXPECT_EQ(image.integer("t1", 1), 0);
    EXPECT_EQ(image.integer("t5", 1), 0);
    // Extended with CR seen again: element 2 holds by its first term, and the timer on
    // step 20 still only counts while step 20 is active (it is not).
    sensors(true, true);
    image.evolve(3);
    EXPECT_TRUE(image.on("defaut[2]"));
    EXPECT_EQ(image.integer("t1", 1), 0);
}

TEST_F(BistableCylinder, AcknowledgementWhileTheFaultPersistsClearsThenLatchesAgain) {
    startRetracted();
    sensors(true, true);  // both sensors on: element 7
    image.evolve();
    EXPECT_TRUE(image.on("defaut[7]"));
    image.evolve();
    ASSERT_TRUE(image.on("_X_12"));
    image.set("ACQ", true);
    image.evolve();
    EXPECT_FALSE(image.on("defaut[7]"));
    EXPECT_FALSE(image.on("Def_verin"));
    image.evolve();
    EXPECT_TRUE(image.on("defaut[7]"));
    EXPECT_TRUE(image.on("Def_verin"));
    EXPECT_TRUE(image.on("_X_10"));  // acknowledged at entry, faulted again at once
    image.set("ACQ", false);
    image.evolve();
    EXPECT_TRUE(image.on("_X_12"));
}

TEST_F(BistableCylinder, BothSensorsAtStartUpFaultFromInitialisation) {
    sensors(true, true);
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{10});
    EXPECT_TRUE(image.on("defaut[7]"));
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{12});
}

TEST_F(BistableCylinder, ForcedOutputKeepsItsForcedValue) {
    startRetracted();
    image.force("OrdreS", false);
    requests(false, true);
    image.evolve(3);
    EXPECT_TRUE(image.on("_X_20"));
    EXPECT_FALSE(image.on("OrdreS"));
    image.release("OrdreS");
    image.evolve();
    EXPECT_TRUE(image.on("OrdreS"));
    image.force("EtatR", true);
    image.evolve();
    EXPECT_TRUE(image.on("EtatR"));
}

TEST_F(BistableCylinder, WhileIterationStepIsSetTheModelOnlyAdvancesItsBases) {
    startRetracted();
    requests(false, true);
    const std::vector<unsigned char> before(image.base(), image.base() + 27452);
    self = mem;
    memoryStartInit(&self);
    inputOutputVariablesInit();
    const QV_Bases start = self;
    lv_iteration_step = 1;
    EXPECT_EQ(sfp__bistable_cylinder(), 0);
    lv_iteration_step = 0;
    EXPECT_EQ(self.boolBase - start.boolBase, 24 * qv::kBoolSlotSize);
    EXPECT_EQ(self.intBase - start.intBase, 28 * qv::kIntSlotSize);
    EXPECT_EQ(self.realBase, start.realBase);
    EXPECT_EQ(self.charBase, start.charBase);
    EXPECT_EQ(std::vector<unsigned char>(image.base(), image.base() + 27452), before);
}

}  // namespace
