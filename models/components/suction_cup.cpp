// Suction cup: grips on request, releases on request, and releases at start.
#include "models/components/suction_cup.h"

#include "models/components/leaf_scheme.h"

extern "C" {
int32_t suction_cup__num = 0;
unsigned char *suction_cup_DR, *suction_cup_DS, *suction_cup_ACQ, *suction_cup_AU;
unsigned char *suction_cup_OrdreR, *suction_cup_OrdreS, *suction_cup_EtatR, *suction_cup_EtatS;
unsigned char *suction_cup__X_10, *suction_cup__X_11, *suction_cup__X_12;
unsigned char *suction_cup__X_20, *suction_cup__X_21, *suction_cup__X_22, *suction_cup__X_23;
unsigned char* suction_cup__FORCING_G2;
unsigned char *suction_cup__X_20_PREV, *suction_cup__X_21_PREV, *suction_cup__X_22_PREV, *suction_cup__X_23_PREV;
}

namespace qv::models {
namespace {

constexpr auto& DR = suction_cup_DR;
constexpr auto& DS = suction_cup_DS;
constexpr auto& ACQ = suction_cup_ACQ;
constexpr auto& AU = suction_cup_AU;
constexpr auto& OrdreR = suction_cup_OrdreR;
constexpr auto& OrdreS = suction_cup_OrdreS;
constexpr auto& EtatR = suction_cup_EtatR;
constexpr auto& EtatS = suction_cup_EtatS;
constexpr auto& X_10 = suction_cup__X_10;
constexpr auto& X_11 = suction_cup__X_11;
constexpr auto& X_12 = suction_cup__X_12;
constexpr auto& X_20 = suction_cup__X_20;
constexpr auto& X_21 = suction_cup__X_21;
constexpr auto& X_22 = suction_cup__X_22;
constexpr auto& X_23 = suction_cup__X_23;
constexpr auto& FORCING_G2 = suction_cup__FORCING_G2;
constexpr auto& X_20_PREV = suction_cup__X_20_PREV;
constexpr auto& X_21_PREV = suction_cup__X_21_PREV;
constexpr auto& X_22_PREV = suction_cup__X_22_PREV;
constexpr auto& X_23_PREV = suction_cup__X_23_PREV;

constexpr NamedVar kInterface[] = {
    {"DR", &DR},         {"DS", &DS},         {"ACQ", &ACQ},     {"AU", &AU},
    {"OrdreR", &OrdreR}, {"OrdreS", &OrdreS}, {"EtatR", &EtatR}, {"EtatS", &EtatS},
};

constexpr BoolVariable kBools[] = {
    {"_X_10", &X_10, 0},
    {"_X_11", &X_11, 1},
    {"_X_12", &X_12, 2},
    {"_X_20", &X_20, 3},
    {"_X_21", &X_21, 4},
    {"_X_22", &X_22, 5},
    {"_X_23", &X_23, 6},
    {"_FORCING_G2", &FORCING_G2, 7},
    {"_X_20_PREV", &X_20_PREV, 8, 1, true},
    {"_X_21_PREV", &X_21_PREV, 9, 1, true},
    {"_X_22_PREV", &X_22_PREV, 10, 1, true},
    {"_X_23_PREV", &X_23_PREV, 11, 1, true},
};

// ---- Supervision G1: 10 initialisation, 11 normal operation, 12 emergency stop ----------

constexpr Var kInitialSteps[] = {&X_10};
constexpr Step kG1Steps[] = {{&X_10, 10}, {&X_11, 11}, {&X_12, 12}};

bool released() { return on(X_22); }
bool emergencyStop() { return in(AU); }
bool acknowledged() { return in(ACQ) && !in(AU); }

constexpr Transition kG1[] = {
    {&X_10, &X_11, released},
    {&X_10, &X_12, emergencyStop},
    {&X_11, &X_12, emergencyStop},
    {&X_12, &X_10, acknowledged},
};

// At start the cup releases; on an emergency stop it gives no order at all.
constexpr ForcingOrder kForcingOrders[] = {
    {&X_10, nullptr, &FORCING_G2, {&X_22}},
    {&X_12, nullptr, &FORCING_G2, {}},
};

// ---- Operation G2: 20 gripping, 21 gripped, 22 releasing, 23 released -------------------

constexpr Step kG2Steps[] = {{&X_20, 20}, {&X_21, 21}, {&X_22, 22}, {&X_23, 23}};

bool always() { return true; }
bool releaseRequested() { return in(DR) && !in(DS); }
bool gripRequested() { return in(DS) && !in(DR); }

constexpr Transition kG2[] = {
    {&X_20, &X_21, always},
    {&X_21, &X_22, releaseRequested},
    {&X_22, &X_23, always},
    {&X_23, &X_20, gripRequested},
};

constexpr Action kG2Actions[] = {
    {&X_20, &X_20_PREV, {&OrdreS}},
    {&X_21, &X_21_PREV, {&EtatS}},
    {&X_22, &X_22_PREV, {&OrdreR}},
    {&X_23, &X_23_PREV, {&EtatR}},
};

void noEquations() {}

constexpr PrevSlot kPrevSlots[] = {
    {&X_20, &X_20_PREV},
    {&X_21, &X_21_PREV},
    {&X_22, &X_22_PREV},
    {&X_23, &X_23_PREV},
};

constexpr Var kOutputs[] = {&OrdreR, &OrdreS, &EtatR, &EtatS};

constexpr Grafcet kG2Grafcet = {"G2", kG2Steps, kG2, kG2Actions, &FORCING_G2};
constexpr const Grafcet* kForced[] = {&kG2Grafcet};

}  // namespace

constexpr LeafModel kSuctionCup = {
    .name = "suction_cup",
    .interface = kInterface,
    .bools = kBools,
    .ints = {},
    .slots = instanceSlots(kBools, {}, kRevision),
    .initialSteps = kInitialSteps,
    .supervision = {"G1", kG1Steps, kG1, {}},
    .forcingOrders = kForcingOrders,
    .forced = kForced,
    .equations = noEquations,
    .prevSlots = kPrevSlots,
    .outputs = kOutputs,
};
static_assert(wellFormed(kSuctionCup));
static_assert(kSuctionCup.slots == InstanceSlots{kRevision == 1 ? 8 : 12, 0});

}  // namespace qv::models

extern "C" int32_t sfp__suction_cup_init(void) { return qv::models::initialiseLeaf(qv::models::kSuctionCup); }
extern "C" int32_t sfp__suction_cup(void) { return qv::models::evolveLeaf(qv::models::kSuctionCup); }
