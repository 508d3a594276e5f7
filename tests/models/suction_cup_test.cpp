// The suction cup, evolution by evolution, on an image in memory.
#include <gtest/gtest.h>

#include <vector>

#include "models/components/suction_cup.h"
#include "tests/models/model_image.h"
#include "tests/models/symbol_bindings.h"

namespace {

using qvtest::ModelImage;

class SuctionCup : public ::testing::Test {
protected:
    ModelImage image{qv::symbols::kSuctionCupSymbols};

    std::vector<int> activeSteps() const {
        std::vector<int> steps;
        for (int n : {10, 11, 12, 20, 21, 22, 23})
            if (image.on("_X_" + std::to_string(n))) steps.push_back(n);
        return steps;
    }
    std::vector<std::string> outputs() const {
        std::vector<std::string> on;
        for (const char* name : {"OrdreR", "OrdreS", "EtatR", "EtatS"})
            if (image.on(name)) on.push_back(name);
        return on;
    }
    void requests(bool dr, bool ds) {
        image.set("DR", dr);
        image.set("DS", ds);
    }
};

TEST_F(SuctionCup, StartsByReleasingAndIsReleasedAfterTwoEvolutions) {
    EXPECT_EQ(activeSteps(), std::vector<int>{10});
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{10, 22}));
    EXPECT_EQ(outputs(), std::vector<std::string>{"OrdreR"});
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 23}));
    EXPECT_EQ(outputs(), std::vector<std::string>{"EtatR"});
}

TEST_F(SuctionCup, SymbolTableMatchesTheWalk) {
    qvtest::expectSymbolsMatchBindings(image, qv::models::kSuctionCup);
    image.evolve();
    qvtest::expectSymbolsMatchBindings(image, qv::models::kSuctionCup);
}

TEST_F(SuctionCup, GripAndRelease) {
    image.evolve(2);
    requests(false, true);
    image.evolve();
    EXPECT_EQ(outputs(), std::vector<std::string>{"OrdreS"});
    image.evolve();  // gripped after one evolution, request held or not
    EXPECT_EQ(outputs(), std::vector<std::string>{"EtatS"});
    image.evolve(10);
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 21}));
    requests(true, false);
    image.evolve();
    EXPECT_EQ(outputs(), std::vector<std::string>{"OrdreR"});
    image.evolve();
    EXPECT_EQ(outputs(), std::vector<std::string>{"EtatR"});
}

TEST_F(SuctionCup, BothRequestsAtOnceChangeNothing) {
    image.evolve(2);
    requests(true, true);
    image.evolve(5);
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 23}));
    requests(false, true);
    image.evolve(2);
    requests(true, true);
    image.evolve(5);
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 21}));
    EXPECT_EQ(outputs(), std::vector<std::string>{"EtatS"});
}

TEST_F(SuctionCup, EmergencyStopDropsEveryOrderUntilAcknowledged) {
    image.evolve(2);
    requests(false, true);
    image.evolve();
    image.set("AU", true);
    image.evolve();
    EXPECT_EQ(activeSteps(), std::vector<int>{12});
    EXPECT_TRUE(outputs().empty());
    image.set("ACQ", true);
    image.evolve(3);
    EXPECT_EQ(activeSteps(), std::vector<int>{12});
    image.set("AU", false);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{10, 22}));  // released again at restart
    image.set("ACQ", false);
    image.evolve();
    EXPECT_EQ(activeSteps(), (std::vector<int>{11, 23}));
}

}  // namespace
