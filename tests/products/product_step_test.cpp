// The calling protocol of the product step, seen by product models that record every
// call: own step (otherModel 0), contacts in increasing index of the other object, end
// (otherModel 1); product pairs decided once; removals; the revision-3 contact filter.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "products/products.h"
#include "tests/products/scene.h"

namespace {

using qvtest::SceneObject;

constexpr int32_t kFloor = 10, kWall = 11, kBox = 20, kCan = 21;

struct Call {
    int32_t product, why, other;
    QV_Bases self, otherPointers;
};

std::vector<Call> calls;
std::vector<Call> filterCalls;
std::function<void(const Call&)> onCall;
std::function<bool(const Call&)> accepts;

Call current() { return Call{myself, otherModel, other, self, otherPointers}; }

int32_t recordingModel() {
    calls.push_back(current());
    if (onCall) onCall(calls.back());
    return 0;
}

int32_t recordingFilter() {
    filterCalls.push_back(current());
    return accepts ? (accepts(filterCalls.back()) ? 1 : 0) : 1;
}

// "2:step", "2:10@0" (a contact with object 0 of kind 10), "2:end".
std::string describe(const Call& c) {
    const std::string who = std::to_string(c.product) + ":";
    if (c.why == 0) return who + "step";
    if (c.why == 1) return who + "end";
    return who + std::to_string(c.why) + "@" + std::to_string(c.other);
}

std::vector<std::string> described() {
    std::vector<std::string> out;
    for (const Call& c : calls) out.push_back(describe(c));
    return out;
}

bool sameBases(const QV_Bases& a, const QV_Bases& b) {
    return a.boolBase == b.boolBase && a.intBase == b.intBase && a.realBase == b.realBase && a.charBase == b.charBase;
}

SceneObject product(int32_t kind, int32_t status = QV_PRESENT) {
    return SceneObject{kind, recordingModel, recordingFilter, status, 0};
}

class ProductStep : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        filterCalls.clear();
        onCall = nullptr;
        accepts = nullptr;
    }
    void TearDown() override {
        onCall = nullptr;
        accepts = nullptr;
        qvtest::buildEmptyScene();
    }
    // A floor (0) and a wall (1) far apart, then the given products, each placed far
    // from everything until the test places it.
    static void scene(const std::vector<SceneObject>& products) {
        qvtest::buildScene({SceneObject{kFloor, nullptr, nullptr, QV_PRESENT, 1}, SceneObject{kWall, nullptr, nullptr, QV_PRESENT, 2}},
                           products);
        qvtest::placeBox(0, 0, 0, -1, 10, 10, 1);
        qvtest::placeBox(1, 100, 0, 0, 1, 10, 10);
        for (int32_t i = NbActeurs; i < NbActeursEtProduits; ++i) qvtest::placeBox(i, -100 - 10 * i, 0, 0, 1, 1, 1);
    }
    static void step() {
        calls.clear();
        filterCalls.clear();
        productsStep();
    }
};

using Calls = std::vector<std::string>;

TEST_F(ProductStep, AProductOnAnActorIsCalledThreeTimes) {
    scene({product(kBox)});
    qvtest::placeBox(2, 1, 1, 0, 1, 1, 1);  // resting on the floor
    onCall = [](const Call& c) {
        EXPECT_TRUE(sameBases(c.self, qvtest::basesOfObject(2)));
        if (c.why == kFloor) {
            EXPECT_TRUE(sameBases(c.otherPointers, qvtest::basesOfObject(0)));
        }
        if (c.why == 1) {
            EXPECT_EQ(c.other, NbActeursEtProduits);
        }
    };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:10@0", "2:end"}));
    EXPECT_EQ(myself, NbActeursEtProduits);
    step();
    EXPECT_EQ(calls.size(), 3u);
}

TEST_F(ProductStep, ContactsComeInIncreasingIndexOfTheOtherObject) {
    scene({product(kBox), product(kCan), product(kBox)});
    qvtest::placeBox(1, 2, 0, 0, 1, 10, 10);  // the wall next to the floor's corner
    for (int32_t i : {2, 3, 4}) qvtest::placeBox(i, 1.5, 1, -0.5, 1, 1, 1);
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:10@0", "2:11@1", "2:21@3", "2:20@4", "2:end",  //
                                  "3:step", "3:10@0", "3:11@1", "3:20@2", "3:20@4", "3:end",  //
                                  "4:step", "4:10@0", "4:11@1", "4:20@2", "4:21@3", "4:end"}));
}

TEST_F(ProductStep, TwoProductsInContactHearOfEachOther) {
    scene({product(kBox), product(kCan)});
    qvtest::placeBox(2, 50, 0, 0, 1, 1, 1);
    qvtest::placeBox(3, 50.5, 0.5, 0, 1, 1, 1);
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:21@3", "2:end", "3:step", "3:20@2", "3:end"}));
}

// The lower product decides; the higher one hears of it even when the boxes have parted
// since, and never tests the pair again.
TEST_F(ProductStep, APairIsDecidedOnceInTheLowerProductsStep) {
    scene({product(kBox), product(kCan)});
    qvtest::placeBox(2, 50, 0, 0, 1, 1, 1);
    qvtest::placeBox(3, 50.5, 0.5, 0, 1, 1, 1);
    onCall = [](const Call& c) {
        if (c.product == 2 && c.why == kCan) moveXBy(2, -20);
    };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:21@3", "2:end", "3:step", "3:20@2", "3:end"}));

    qvtest::placeBox(2, 60, 0, 0, 1, 1, 1);
    onCall = [](const Call& c) {
        if (c.product == 2 && c.why == 1) moveXTo(2, 50.2);  // onto product 3, after its test
    };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:end", "3:step", "3:end"}));
}

TEST_F(ProductStep, RemovedObjectsAreNeitherCalledNorReported) {
    scene({product(kBox, QV_REMOVED), product(kCan)});
    qvtest::placeBox(2, 1, 1, 0, 1, 1, 1);
    qvtest::placeBox(3, 1.5, 1, 0, 1, 1, 1);
    prodKill(0);
    step();
    EXPECT_EQ(described(), (Calls{"3:step", "3:end"}));
}

TEST_F(ProductStep, AProductRemovedBeforeItsTurnGetsNoCalls) {
    scene({product(kBox), product(kCan), product(kBox)});
    for (int32_t i : {2, 3, 4}) qvtest::placeBox(i, 50, 0, 0, 1, 1, 1);
    onCall = [](const Call& c) {
        if (c.product == 2 && c.why == 0) prodKill(3);
    };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:20@4", "2:end", "4:step", "4:20@2", "4:end"}));
}

// Its own status is looked at only before its own step.
TEST_F(ProductStep, AProductThatRemovesItselfFinishesItsCycle) {
    scene({product(kBox), product(kCan)});
    qvtest::placeBox(2, 1, 1, 0, 1, 1, 1);
    qvtest::placeBox(3, 1.5, 1, 0, 1, 1, 1);
    onCall = [](const Call& c) {
        if (c.product == 2 && c.why == 0) prodKill(2);
    };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:10@0", "2:21@3", "2:end", "3:step", "3:10@0", "3:end"}));
    step();
    EXPECT_EQ(described(), (Calls{"3:step", "3:10@0", "3:end"}));
}

TEST_F(ProductStep, TheStepKeepsItsOwnCountersWhateverTheModelWrites) {
    scene({product(kBox), product(kCan)});
    qvtest::placeBox(2, 1, 1, 0, 1, 1, 1);
    qvtest::placeBox(3, 1.5, 1, 0, 1, 1, 1);
    onCall = [](const Call&) {
        myself = 0;
        other = 99999;
        self = QV_Bases{};
        setMyselfFor(2);
    };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:10@0", "2:21@3", "2:end", "3:step", "3:10@0", "3:20@2", "3:end"}));
    for (const Call& c : calls) EXPECT_TRUE(sameBases(c.self, qvtest::basesOfObject(c.product)));
}

TEST_F(ProductStep, AnEntryWithoutAModelIsSteppedSilently) {
    scene({SceneObject{kBox, nullptr, nullptr, QV_PRESENT, 0}, product(kCan)});
    qvtest::placeBox(2, 50, 0, 0, 1, 1, 1);
    qvtest::placeBox(3, 50, 0, 0, 1, 1, 1);
    step();
    EXPECT_EQ(described(), (Calls{"3:step", "3:20@2", "3:end"}));
}

TEST_F(ProductStep, WithoutProductsOnlyTheBoxesAreRefreshed) {
    qvtest::buildScene({SceneObject{kFloor}, SceneObject{kWall, nullptr, nullptr, QV_REMOVED}}, {});
    qvtest::placeBox(1, 1, 2, 3, 1, 1, 1);
    productsStep();
    const double expected[6] = {1, 2, 3, 2, 3, 4};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(TableActeursProduits[1].box[k], expected[k]);
    EXPECT_EQ(myself, 2);
}

// Far more touching pairs than the list holds at first.
TEST_F(ProductStep, EveryProductInAHeapHearsOfEveryOther) {
    constexpr int32_t kProducts = 60;
    scene(std::vector<SceneObject>(kProducts, product(kBox)));
    for (int32_t i = 2; i < 2 + kProducts; ++i) qvtest::placeBox(i, 50 + 0.001 * i, 0, 0, 1, 1, 1);
    for (int round = 0; round < 2; ++round) {
        step();
        ASSERT_EQ(calls.size(), static_cast<std::size_t>(kProducts * (kProducts + 1)));
        std::size_t at = 0;
        for (int32_t p = 2; p < 2 + kProducts; ++p) {
            EXPECT_EQ(describe(calls[at++]), std::to_string(p) + ":step");
            for (int32_t o = 2; o < 2 + kProducts; ++o) {
                if (o != p) {
                    EXPECT_EQ(calls[at++].other, o);
                }
            }
            EXPECT_EQ(describe(calls[at++]), std::to_string(p) + ":end");
        }
    }
}

// The broad phase against every pair tested, on random scenes of turned boxes (some
// touching, some points, some removed, now and then one that is not a number) whose
// models move, remove and create products during the step: the same calls, and the same
// filter questions, in the same order.
TEST_F(ProductStep, TheBroadPhaseMakesTheCallsOfEveryPairTested) {
    auto filterDescribed = [] {
        std::vector<std::string> out;
        for (const Call& c : filterCalls) out.push_back(describe(c));
        return out;
    };
    int contacts = 0;
    for (int sceneNumber = 0; sceneNumber < 300; ++sceneNumber) {
        std::vector<std::string> seen[2], asked[2];
        for (const bool broad : {true, false}) {
            qv::useBroadPhase(broad);
            std::mt19937_64 rng(static_cast<uint64_t>(sceneNumber));
            std::uniform_real_distribution<double> unit(0, 1), angle(-3.2, 3.2), size(0.1, 2.0), spot(-4, 4);
            std::vector<SceneObject> products;
            for (int k = 0; k < 40; ++k) products.push_back(product(k % 3 == 0 ? kCan : kBox, unit(rng) < 0.1 ? QV_REMOVED : QV_PRESENT));
            qvtest::buildScene({SceneObject{kFloor}, SceneObject{kWall}, SceneObject{kWall}}, products);
            qvtest::placeBox(0, -5, -5, -1, 10, 10, 1);
            qvtest::placeBox(1, 4, -5, 0, 0.5, 10, 3);
            for (int32_t i = 2; i < NbActeursEtProduits; ++i) {
                const QV_Vector one{1, 1, 1};
                QV_Matrix m = mulMatrix_with_(mulMatrix_with_(mRotationZ(angle(rng)), one, mRotationX(angle(rng)), one), one,
                                              mScale(size(rng), size(rng), size(rng)), one);
                m.e[3] = spot(rng);
                m.e[7] = spot(rng);
                m.e[11] = spot(rng);
                const double kind = unit(rng);
                if (kind < 0.05) m = QV_Matrix{};
                if (kind > 0.995) m.e[5] = NAN;
                qvtest::storeMatrix(i, m);
            }
            std::mt19937_64 actions(static_cast<uint64_t>(sceneNumber) + 1000);
            accepts = [](const Call& c) { return (c.product + c.other) % 7 != 0; };
            onCall = [&](const Call& c) {
                const double roll = std::uniform_real_distribution<double>(0, 1)(actions);
                if (roll < 0.05) {
                    const QV_Matrix m = qvtest::storedMatrix(c.product);
                    qvtest::storeMatrix(c.product, mulMatrix_with_(mTranslation(0.3, -0.2, 0.1), QV_Vector{1, 1, 1}, m,
                                                                   QV_Vector{1, 1, 1}));
                } else if (roll < 0.07) {
                    prodKill(NbActeurs + static_cast<int32_t>(roll * 1000) % NbProduits);
                } else if (roll < 0.09) {
                    prodNew(roll < 0.08 ? kBox : kCan, roll * 10, 0, 0, 1, 1, 1);
                }
            };
            calls.clear();
            filterCalls.clear();
            for (int s = 0; s < 3; ++s) productsStep();
            seen[broad ? 0 : 1] = described();
            asked[broad ? 0 : 1] = filterDescribed();
        }
        ASSERT_EQ(seen[0], seen[1]) << "scene " << sceneNumber;
        ASSERT_EQ(asked[0], asked[1]) << "scene " << sceneNumber;
        for (const std::string& call : seen[0]) contacts += call.find('@') != std::string::npos ? 1 : 0;
    }
    qv::useBroadPhase(true);
    EXPECT_GT(contacts, 300 * 30);
}

#if QV_REVISION == 3
TEST_F(ProductStep, TheFilterIsAskedWithTheContextOfAContactCall) {
    scene({product(kBox), product(kCan)});
    qvtest::placeBox(2, 1, 1, 0, 1, 1, 1);
    qvtest::placeBox(3, 1.5, 1, 0, 1, 1, 1);
    step();
    ASSERT_EQ(filterCalls.size(), 6u);  // product 2: floor, wall, 3; product 3: floor, wall, 2
    const Call& floorAsked = filterCalls[0];
    EXPECT_EQ(floorAsked.product, 2);
    EXPECT_EQ(floorAsked.why, kFloor);
    EXPECT_EQ(floorAsked.other, 0);
    EXPECT_TRUE(sameBases(floorAsked.self, qvtest::basesOfObject(2)));
    // The wall is asked about after the floor's contact call: otherPointers still hold the floor.
    EXPECT_EQ(filterCalls[1].why, kWall);
    EXPECT_TRUE(sameBases(filterCalls[1].otherPointers, qvtest::basesOfObject(0)));
    EXPECT_EQ(filterCalls[2].why, kCan);
}

// A product whose filter turns the other down hides the pair from both sides.
TEST_F(ProductStep, AFilterThatRejectsOneSideHidesThePairFromBoth) {
    scene({product(kBox), product(kCan)});
    qvtest::placeBox(2, 1, 1, 0, 1, 1, 1);
    qvtest::placeBox(3, 1.5, 1, 0, 1, 1, 1);
    accepts = [](const Call& c) { return !(c.product == 2 && c.why == kCan); };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:10@0", "2:end", "3:step", "3:10@0", "3:end"}));

    accepts = [](const Call& c) { return !(c.product == 2 && c.why == kFloor); };
    step();
    EXPECT_EQ(described(), (Calls{"2:step", "2:21@3", "2:end", "3:step", "3:10@0", "3:20@2", "3:end"}));
}
#endif

}  // namespace
