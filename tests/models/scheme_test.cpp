// The leaf scheme on a small probe model built from the same tables as the component
// models, run on the memory of a program's image.
#include <gtest/gtest.h>

#include "models/components/leaf_scheme.h"
#include "tests/models/model_image.h"

namespace {

using namespace qv::models;

// ---- The probe ------------------------------------------------------------------------
// G1 (supervision): 1 -> 1 on A (a self-loop), 1 -> 2 on A (never: the self-loop comes
// first), 1 -> 2 on E, 2 -> 1 on C. Step 1 sets Out1. Step 1 forces G2 to {6} while D;
// step 2 forces G2 to the empty situation.
// G2: 5 -> 5 on A (a self-loop), 5 -> 6 on B, 6 -> 5 on C. Step 5 sets Out2, 6 sets Out3.

unsigned char *A, *B, *C, *D, *E, *Out1, *Out2, *Out3;
unsigned char *X_1, *X_2, *X_5, *X_6, *FORCING_G2, *X_1_PREV, *X_5_PREV, *X_6_PREV;

constexpr NamedVar kInterface[] = {{"A", &A},       {"B", &B},       {"C", &C},       {"D", &D},
                                   {"E", &E},       {"Out1", &Out1}, {"Out2", &Out2}, {"Out3", &Out3}};
constexpr BoolVariable kBools[] = {
    {"_X_1", &X_1, 0},
    {"_X_2", &X_2, 1},
    {"_X_5", &X_5, 2},
    {"_X_6", &X_6, 3},
    {"_FORCING_G2", &FORCING_G2, 4},
    {"_X_1_PREV", &X_1_PREV, 5, 1, true},
    {"_X_5_PREV", &X_5_PREV, 6, 1, true},
    {"_X_6_PREV", &X_6_PREV, 7, 1, true},
};
constexpr Var kInitialSteps[] = {&X_1, &X_5};

bool a() { return in(A); }
bool b() { return in(B); }
bool c() { return in(C); }
bool d() { return in(D); }
bool e() { return in(E); }

constexpr Step kG1Steps[] = {{&X_1, 1}, {&X_2, 2}};
constexpr Transition kG1[] = {{&X_1, &X_1, a}, {&X_1, &X_2, a}, {&X_1, &X_2, e}, {&X_2, &X_1, c}};
constexpr Action kG1Actions[] = {{&X_1, &X_1_PREV, {&Out1}}};
constexpr ForcingOrder kForcingOrders[] = {
    {&X_1, d, &FORCING_G2, {&X_6}},
    {&X_2, nullptr, &FORCING_G2, {}},
};
constexpr Step kG2Steps[] = {{&X_5, 5}, {&X_6, 6}};
constexpr Transition kG2[] = {{&X_5, &X_5, a}, {&X_5, &X_6, b}, {&X_6, &X_5, c}};
constexpr Action kG2Actions[] = {{&X_5, &X_5_PREV, {&Out2}}, {&X_6, &X_6_PREV, {&Out3}}};
constexpr PrevSlot kPrevSlots[] = {{&X_1, &X_1_PREV}, {&X_5, &X_5_PREV}, {&X_6, &X_6_PREV}};
constexpr Var kOutputs[] = {&Out1, &Out2, &Out3};
constexpr Grafcet kG2Grafcet = {"G2", kG2Steps, kG2, kG2Actions, &FORCING_G2};
constexpr const Grafcet* kForced[] = {&kG2Grafcet};
void noEquations() {}

constexpr LeafModel kProbe = {
    .name = "probe",
    .interface = kInterface,
    .bools = kBools,
    .ints = {},
    .slots = instanceSlots(kBools, {}, qv::kRevision),
    .initialSteps = kInitialSteps,
    .supervision = {"G1", kG1Steps, kG1, kG1Actions},
    .forcingOrders = kForcingOrders,
    .forced = kForced,
    .equations = noEquations,
    .prevSlots = kPrevSlots,
    .outputs = kOutputs,
};
static_assert(wellFormed(kProbe));

bool value(const unsigned char* slot) { return (*slot & qv::kBoolCurrent) != 0; }
void write(unsigned char* slot, bool v) { *slot = static_cast<unsigned char>(v ? *slot | 1 : *slot & ~1); }

class LeafScheme : public ::testing::Test {
protected:
    qvtest::ModelImage image{qv::symbols::kBistableCylinderSymbols};  // memory and clock

    void SetUp() override {
        walk();
        initialiseLeaf(kProbe);
    }
    void walk() {
        self = mem;
        memoryStartInit(&self);
        bindInterface(kProbe.interface);
    }
    void evolve(int n = 1) {
        for (int k = 0; k < n; ++k) {
            walk();
            evolveLeaf(kProbe);
            qvtest::ModelImage::nextCycle();
        }
    }
    void inputs(bool a, bool b, bool c, bool d, bool e) {
        write(A, a);
        write(B, b);
        write(C, c);
        write(D, d);
        write(E, e);
    }
    std::vector<int> active() const {
        std::vector<int> steps;
        if (value(X_1)) steps.push_back(1);
        if (value(X_2)) steps.push_back(2);
        if (value(X_5)) steps.push_back(5);
        if (value(X_6)) steps.push_back(6);
        return steps;
    }
};

TEST_F(LeafScheme, ASelfLoopKeepsItsStepAndItsOutput) {
    inputs(true, false, false, false, false);
    for (int k = 0; k < 5; ++k) {
        evolve();
        EXPECT_EQ(active(), (std::vector<int>{1, 5})) << k;
        EXPECT_TRUE(value(Out1)) << k;
        EXPECT_TRUE(value(Out2)) << k;
    }
}

TEST_F(LeafScheme, OnlyTheFirstOfTwoFirableTransitionsFromOneStepFires) {
    inputs(true, true, false, false, true);  // 1 -> 1 before 1 -> 2, 5 -> 5 before 5 -> 6
    evolve(3);
    EXPECT_EQ(active(), (std::vector<int>{1, 5}));
    inputs(false, false, false, false, true);
    evolve();
    EXPECT_EQ(active(), (std::vector<int>{2}));  // G1 left 1; step 2 emptied G2
}

TEST_F(LeafScheme, TransitionsAreEvaluatedOnTheSituationAtEntry) {
    inputs(false, false, true, false, true);  // 1 -> 2 and 2 -> 1 both hold
    evolve();
    EXPECT_EQ(active(), (std::vector<int>{2}));  // 2 was not active at entry; it forced G2 empty
    evolve();
    EXPECT_EQ(active(), (std::vector<int>{1}));
    evolve();
    EXPECT_EQ(active(), (std::vector<int>{2}));
}

TEST_F(LeafScheme, AnEmptyForcedGrafcetStaysEmptyUntilAForcingOrderFillsIt) {
    inputs(false, false, false, false, true);
    evolve();
    EXPECT_EQ(active(), (std::vector<int>{2}));
    EXPECT_TRUE(value(FORCING_G2));
    EXPECT_FALSE(value(Out1));
    EXPECT_FALSE(value(Out2));

    inputs(true, false, true, false, false);  // back to 1; G2 no longer forced but empty
    evolve(5);
    EXPECT_EQ(active(), (std::vector<int>{1}));
    EXPECT_FALSE(value(FORCING_G2));

    inputs(false, false, true, true, false);  // step 1 forces {6}; while forced, 6 -> 5 cannot fire
    evolve(3);
    EXPECT_EQ(active(), (std::vector<int>{1, 6}));
    EXPECT_TRUE(value(FORCING_G2));
    EXPECT_TRUE(value(Out3));
    inputs(false, false, true, false, false);  // released: G2 evolves again
    evolve();
    EXPECT_EQ(active(), (std::vector<int>{1, 5}));
    EXPECT_FALSE(value(Out3));
    EXPECT_TRUE(value(Out2));
}

TEST_F(LeafScheme, AnOutputIsTrueForExactlyTheEvolutionsItsStepIsActive) {
    // A pattern of B and C pulses moving G2 between 5 and 6 while G1 stays in 1.
    const bool pattern[][2] = {{0, 0}, {1, 0}, {0, 0}, {0, 1}, {1, 0}, {0, 1}, {1, 1}, {0, 0}, {0, 1}, {1, 0}};
    for (const auto& p : pattern) {
        inputs(false, p[0], p[1], false, false);
        evolve();
        EXPECT_EQ(value(Out2), value(X_5));
        EXPECT_EQ(value(Out3), value(X_6));
        EXPECT_NE(value(X_5), value(X_6));
    }
}

TEST_F(LeafScheme, InitialisationSetsOnlyTheInitialStepsBitZero) {
    *X_1 = 0x0A;  // old value and forced flag left by an earlier run
    *X_2 = 0x01;  // another step keeps what the image held
    walk();
    initialiseLeaf(kProbe);
    EXPECT_EQ(*X_1, 0x0B);
    EXPECT_EQ(*X_2, 0x01);
}

}  // namespace
