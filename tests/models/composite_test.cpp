// The composite scheme on a small container: two bistable cylinders (one model type, two
// instances) and a suction cup, wired to the container's own slots.
#include <gtest/gtest.h>

#include <vector>

#include "models/components/bistable_cylinder.h"
#include "models/components/composite_scheme.h"
#include "models/components/suction_cup.h"
#include "tests/models/model_image.h"

namespace {

using namespace qv::models;

// The container's own booleans: 11 per cylinder, then 8 for the cup.
constexpr int32_t kCylinderA = 0, kCylinderB = 11, kCup = 22, kOwnBools = 30;

int32_t offset_Verin_A[4], offset_Verin_B[4], offset_Probe[4], offset_Cup[4], offset_end[4];
int bindings = 0;
int probeSteps = 0;

unsigned char* own(const QV_Bases& base, int32_t k) { return qv::boolSlot(base.boolBase, k); }

template <int32_t kFirst>
void wireCylinder(const QV_Bases& base) {
    ++bindings;
    unsigned char** pins[] = {&bistable_cylinder_DR,     &bistable_cylinder_DS,     &bistable_cylinder_ACQ,
                              &bistable_cylinder_AU,     &bistable_cylinder_CR,     &bistable_cylinder_CS,
                              &bistable_cylinder_OrdreR, &bistable_cylinder_OrdreS, &bistable_cylinder_EtatR,
                              &bistable_cylinder_EtatS,  &bistable_cylinder_Def_verin};
    for (int32_t k = 0; k < 11; ++k) *pins[k] = own(base, kFirst + k);
}

void wireCup(const QV_Bases& base) {
    ++bindings;
    unsigned char** pins[] = {&suction_cup_DR,     &suction_cup_DS,     &suction_cup_ACQ,   &suction_cup_AU,
                              &suction_cup_OrdreR, &suction_cup_OrdreS, &suction_cup_EtatR, &suction_cup_EtatS};
    for (int32_t k = 0; k < 8; ++k) *pins[k] = own(base, kCup + k);
}

int32_t probeNum = 0;
void wireNothing(const QV_Bases&) {}
int32_t probeInit() { return 0; }
int32_t probeStopping() {
    ++probeSteps;
    return 7;
}

constexpr SubInstance kInstances[] = {
    {"Verin_A", offset_Verin_A, &bistable_cylinder__num, wireCylinder<kCylinderA>, sfp__bistable_cylinder_init,
     sfp__bistable_cylinder},
    {"Verin_B", offset_Verin_B, &bistable_cylinder__num, wireCylinder<kCylinderB>, sfp__bistable_cylinder_init,
     sfp__bistable_cylinder},
    {"Cup", offset_Cup, &suction_cup__num, wireCup, sfp__suction_cup_init, sfp__suction_cup},
};
constexpr CompositeModel kContainer = {"container", {kOwnBools, 0, 0, 0}, kInstances, offset_end};

// The same with an instance between the cylinders that stops the program.
constexpr SubInstance kStoppingInstances[] = {
    kInstances[0],
    {"Probe", offset_Probe, &probeNum, wireNothing, probeInit, probeStopping},
    kInstances[2],
};
constexpr CompositeModel kStopping = {"stopping", {kOwnBools, 0, 0, 0}, kStoppingInstances, offset_end};

class CompositeScheme : public ::testing::Test {
protected:
    qvtest::ModelImage image{qv::symbols::kBistableCylinderSymbols};  // clock only
    // The container's own areas, larger than the program's image holds.
    std::vector<unsigned char> bools = std::vector<unsigned char>(2 * 100);
    std::vector<unsigned char> ints = std::vector<unsigned char>(12 * 100);
    QV_Bases base{};

    void SetUp() override {
        base = QV_Bases{bools.data(), ints.data(), nullptr, nullptr};
        bindings = 0;
        probeSteps = 0;
        bistable_cylinder__num = suction_cup__num = probeNum = 0;
    }
    void start(const CompositeModel& c) {
        self = base;
        initialiseComposite(c);
    }
    int32_t evolve(const CompositeModel& c) {
        self = base;
        self_num = 1;
        const int32_t result = evolveComposite(c);
        qvtest::ModelImage::nextCycle();
        return result;
    }
    bool on(int32_t k) const { return (bools[2 * k] & 1) != 0; }
    void set(int32_t k, bool v) { bools[2 * k] = static_cast<unsigned char>(v ? bools[2 * k] | 1 : bools[2 * k] & ~1); }
};

TEST_F(CompositeScheme, StartUpRecordsTheOffsetsOfEachInstanceAndTheTotal) {
    start(kContainer);
    EXPECT_EQ(std::vector<int32_t>(offset_Verin_A, offset_Verin_A + 4), (std::vector<int32_t>{30, 0, 0, 0}));
    EXPECT_EQ(std::vector<int32_t>(offset_Verin_B, offset_Verin_B + 4), (std::vector<int32_t>{54, 28, 0, 0}));
    EXPECT_EQ(std::vector<int32_t>(offset_Cup, offset_Cup + 4), (std::vector<int32_t>{78, 56, 0, 0}));
    EXPECT_EQ(std::vector<int32_t>(offset_end, offset_end + 4), (std::vector<int32_t>{90, 56, 0, 0}));
    EXPECT_EQ(self.boolBase, bools.data() + 2 * 90);
    EXPECT_EQ(self.intBase, ints.data() + 12 * 56);
    // Each instance's initial step is set in its own slots.
    EXPECT_TRUE(on(30 + 12));  // Verin_A _X_10
    EXPECT_TRUE(on(54 + 12));  // Verin_B _X_10
    EXPECT_TRUE(on(78));       // Cup _X_10
}

TEST_F(CompositeScheme, InstancesRunDepthFirstEachOnItsOwnSlotsAndWiring) {
    start(kContainer);
    set(kCylinderA + 4, true);  // Verin_A retracted
    set(kCylinderB + 5, true);  // Verin_B extended
    for (int k = 0; k < 2; ++k) EXPECT_EQ(evolve(kContainer), 0);
    EXPECT_EQ(self_num, 4);  // the container is 1, its instances 2, 3 and 4
    EXPECT_EQ(self.boolBase, bools.data() + 2 * 90);
    EXPECT_TRUE(on(kCylinderA + 8));   // EtatR of A
    EXPECT_FALSE(on(kCylinderA + 9));
    EXPECT_TRUE(on(kCylinderB + 9));   // EtatS of B
    EXPECT_FALSE(on(kCylinderB + 8));
    EXPECT_TRUE(on(kCup + 6));         // the cup released
    EXPECT_EQ(bistable_cylinder__num, 3);
    EXPECT_EQ(suction_cup__num, 4);

    // The cylinder type is rewired at both of its calls in every evolution; the cup,
    // alone of its type, keeps its wiring after the first.
    bindings = 0;
    evolve(kContainer);
    EXPECT_EQ(bindings, 2);
}

TEST_F(CompositeScheme, ANonzeroResultStopsTheEvolutionAtOnce) {
    start(kStopping);
    EXPECT_EQ(evolve(kStopping), 7);
    EXPECT_EQ(probeSteps, 1);
    EXPECT_EQ(self_num, 3);
    EXPECT_FALSE(on(kCup + 4));  // the cup never ran: no release order
    EXPECT_EQ(self.boolBase, bools.data() + 2 * offset_Probe[0]);
}

}  // namespace
