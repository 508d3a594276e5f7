// The pick-and-place unit, evolution by evolution, on an image in memory.
#include <gtest/gtest.h>

#include <vector>

#include "models/components/pick_place_unit.h"
#include "tests/models/model_image.h"
#include "tests/models/symbol_bindings.h"

namespace {

using qvtest::ModelImage;

class PickPlaceUnit : public ::testing::Test {
protected:
    ModelImage image{qv::symbols::kPickPlaceUnitSymbols};

    void SetUp() override {
        image.set("CR_VZR", true);  // axis up
        image.evolve(2);
        ASSERT_EQ(activeSteps(), (std::vector<int>{21, 10}));
    }
    std::vector<int> activeSteps() const {
        std::vector<int> steps;
        for (int n : {20, 21, 22, 10, 11, 12, 13, 14, 15, 16})
            if (image.on("_X_" + std::to_string(n))) steps.push_back(n);
        return steps;
    }
    std::vector<std::string> orders() const {
        std::vector<std::string> on;
        for (const char* name : {"VZS", "VZR", "VTM", "VTA"})
            if (image.on(name)) on.push_back(name);
        return on;
    }
    void axis(bool down) {
        image.set("CR_VZS", down);
        image.set("CR_VZR", !down);
    }
    // Down to the part, holding it, up: at rest in 10 with the part.
    void pick() {
        image.set("dprise", true);
        image.evolve();
        image.set("dprise", false);
        axis(true);
        image.evolve();
        image.set("vacuostat", true);
        image.evolve();
        axis(false);
        image.evolve();
    }
};

TEST_F(PickPlaceUnit, StartUpForcesTheSequenceToRestThenRunsNormally) {
    ModelImage fresh{qv::symbols::kPickPlaceUnitSymbols};
    EXPECT_TRUE(fresh.on("_X_20"));
    EXPECT_EQ(fresh.integer("TTL", 1), 100000);
    fresh.evolve();
    EXPECT_TRUE(fresh.on("_X_20"));
    EXPECT_TRUE(fresh.on("_X_10"));
    EXPECT_TRUE(fresh.on("_FORCING_G1"));
    EXPECT_TRUE(fresh.on("OKpose"));
    fresh.evolve();
    EXPECT_TRUE(fresh.on("_X_21"));
    EXPECT_FALSE(fresh.on("_FORCING_G1"));
}

TEST_F(PickPlaceUnit, SymbolTableMatchesTheWalk) {
    qvtest::expectSymbolsMatchBindings(image, qv::models::kPickPlaceUnit);
    image.startUp();
    qvtest::expectSymbolsMatchBindings(image, qv::models::kPickPlaceUnit);
}

TEST_F(PickPlaceUnit, PickSequence) {
    EXPECT_TRUE(image.on("OKpose"));
    image.set("dprise", true);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 11}));
    EXPECT_EQ(orders(), (std::vector<std::string>{"VZS", "VTM"}));
    EXPECT_FALSE(image.on("OKpose"));
    image.set("dprise", false);
    axis(true);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 12}));
    EXPECT_TRUE(orders().empty());
    image.set("vacuostat", true);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 13}));
    EXPECT_EQ(orders(), std::vector<std::string>{"VZR"});
    axis(false);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 10}));
    EXPECT_TRUE(orders().empty());
    EXPECT_TRUE(image.on("OKprise"));
    EXPECT_FALSE(image.on("OKpose"));
}

TEST_F(PickPlaceUnit, PlaceSequence) {
    pick();
    image.set("dpose", true);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 14}));
    EXPECT_EQ(orders(), std::vector<std::string>{"VZS"});
    image.set("dpose", false);
    axis(true);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 15}));
    EXPECT_EQ(orders(), std::vector<std::string>{"VTA"});
    image.set("vacuostat", false);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 16}));
    EXPECT_EQ(orders(), std::vector<std::string>{"VZR"});
    axis(false);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 10}));
    EXPECT_TRUE(image.on("OKpose"));
    EXPECT_FALSE(image.on("def_prisepose"));
}

TEST_F(PickPlaceUnit, BothRequestsAtOnceStartNothing) {
    image.set("dprise", true);
    image.set("dpose", true);
    image.evolve(5);
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 10}));
    image.set("vacuostat", true);
    image.evolve(5);
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 10}));
    EXPECT_TRUE(orders().empty());
}

TEST_F(PickPlaceUnit, WaitingMoreThan10sForTheVacuumFaultsAndRaisesTheAxis) {
    image.set("dprise", true);
    image.evolve();
    axis(true);
    image.evolve();  // step 12: the first evolution of the wait
    ASSERT_EQ(activeSteps(), (std::vector<int>{21, 12}));
    image.evolve(198);
    EXPECT_FALSE(image.on("def_prisepose"));
    EXPECT_EQ(image.integer("t1", 1), 199 * 500);
    image.evolve();
    EXPECT_TRUE(image.on("def_prisepose"));
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 12}));
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{22});
    EXPECT_TRUE(image.on("_FORCING_G1"));
    EXPECT_EQ(orders(), (std::vector<std::string>{"VZR", "VTA"}));
    EXPECT_EQ(image.integer("t1", 1), 0);

    // Acknowledged: the fault drops at once, then initialisation puts the sequence at rest.
    image.set("dprise", false);
    image.set("acq", true);
    image.evolve();
    EXPECT_FALSE(image.on("def_prisepose"));
    EXPECT_EQ(activeSteps(), std::vector<int>{22});
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{20, 10}));
    EXPECT_TRUE(orders().empty());
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{21, 10}));
}

TEST_F(PickPlaceUnit, TheWaitTimerRunsEvenWhenAnotherCauseAlreadyFaults) {
    image.set("dprise", true);
    image.evolve();
    axis(true);
    image.evolve(3);
    ASSERT_EQ(image.integer("t1", 1), 1500);
    image.set("AU", true);  // the fault equation holds already; step 12 is still active
    image.evolve();
    EXPECT_TRUE(image.on("def_prisepose"));
    EXPECT_EQ(image.integer("t1", 1), 2000);
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{22});
    // While the emergency stop lasts, acknowledging does not clear the fault.
    image.set("acq", true);
    image.evolve(3);
    EXPECT_TRUE(image.on("def_prisepose"));
    image.set("AU", false);
    image.evolve();
    EXPECT_FALSE(image.on("def_prisepose"));
}

TEST_F(PickPlaceUnit, AFaultOfTheAxisFaultsTheSequence) {
    pick();
    image.set("def_VZ", true);
    image.evolve();
    EXPECT_TRUE(image.on("def_prisepose"));
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{22});
    EXPECT_FALSE(image.on("OKprise"));
}

}  // namespace
