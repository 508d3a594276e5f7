// Pick-and-place sequence of a vertical axis with a suction cup: lower, grip, raise to
// pick; lower, release, raise to place. Here the supervision grafcet is G2 and the
// sequence it forces is G1.
#include "models/components/pick_place_unit.h"

#include "models/components/leaf_scheme.h"

extern "C" {
int32_t pick_place_unit__num = 0;
unsigned char *pick_place_unit_acq, *pick_place_unit_AU, *pick_place_unit_dprise, *pick_place_unit_dpose;
unsigned char *pick_place_unit_vacuostat, *pick_place_unit_CR_VZS, *pick_place_unit_CR_VZR, *pick_place_unit_def_VZ;
unsigned char *pick_place_unit_VZS, *pick_place_unit_VZR, *pick_place_unit_VTM, *pick_place_unit_VTA;
unsigned char *pick_place_unit_OKprise, *pick_place_unit_OKpose, *pick_place_unit_def_prisepose;
unsigned char *pick_place_unit__X_20, *pick_place_unit__X_21, *pick_place_unit__X_22;
unsigned char *pick_place_unit__X_10, *pick_place_unit__X_11, *pick_place_unit__X_12, *pick_place_unit__X_13;
unsigned char *pick_place_unit__X_14, *pick_place_unit__X_15, *pick_place_unit__X_16;
unsigned char* pick_place_unit__FORCING_G1;
unsigned char *pick_place_unit__X_22_PREV, *pick_place_unit__X_11_PREV, *pick_place_unit__X_13_PREV;
unsigned char *pick_place_unit__X_14_PREV, *pick_place_unit__X_15_PREV, *pick_place_unit__X_16_PREV;
int32_t *pick_place_unit_t1, *pick_place_unit_t2, *pick_place_unit_TTL;
}

namespace qv::models {
namespace {

constexpr auto& acq = pick_place_unit_acq;
constexpr auto& AU = pick_place_unit_AU;
constexpr auto& dprise = pick_place_unit_dprise;
constexpr auto& dpose = pick_place_unit_dpose;
constexpr auto& vacuostat = pick_place_unit_vacuostat;
constexpr auto& CR_VZS = pick_place_unit_CR_VZS;
constexpr auto& CR_VZR = pick_place_unit_CR_VZR;
constexpr auto& def_VZ = pick_place_unit_def_VZ;
constexpr auto& VZS = pick_place_unit_VZS;
constexpr auto& VZR = pick_place_unit_VZR;
constexpr auto& VTM = pick_place_unit_VTM;
constexpr auto& VTA = pick_place_unit_VTA;
constexpr auto& OKprise = pick_place_unit_OKprise;
constexpr auto& OKpose = pick_place_unit_OKpose;
constexpr auto& def_prisepose = pick_place_unit_def_prisepose;
constexpr auto& X_20 = pick_place_unit__X_20;
constexpr auto& X_21 = pick_place_unit__X_21;
constexpr auto& X_22 = pick_place_unit__X_22;
constexpr auto& X_10 = pick_place_unit__X_10;
constexpr auto& X_11 = pick_place_unit__X_11;
constexpr auto& X_12 = pick_place_unit__X_12;
constexpr auto& X_13 = pick_place_unit__X_13;
constexpr auto& X_14 = pick_place_unit__X_14;
constexpr auto& X_15 = pick_place_unit__X_15;
constexpr auto& X_16 = pick_place_unit__X_16;
constexpr auto& FORCING_G1 = pick_place_unit__FORCING_G1;
constexpr auto& X_22_PREV = pick_place_unit__X_22_PREV;
constexpr auto& X_11_PREV = pick_place_unit__X_11_PREV;
constexpr auto& X_13_PREV = pick_place_unit__X_13_PREV;
constexpr auto& X_14_PREV = pick_place_unit__X_14_PREV;
constexpr auto& X_15_PREV = pick_place_unit__X_15_PREV;
constexpr auto& X_16_PREV = pick_place_unit__X_16_PREV;
constexpr auto& t1 = pick_place_unit_t1;
constexpr auto& t2 = pick_place_unit_t2;
constexpr auto& TTL = pick_place_unit_TTL;

constexpr NamedVar kInterface[] = {
    {"acq", &acq},         {"AU", &AU},         {"dprise", &dprise},   {"dpose", &dpose},
    {"vacuostat", &vacuostat}, {"CR_VZS", &CR_VZS}, {"CR_VZR", &CR_VZR}, {"def_VZ", &def_VZ},
    {"VZS", &VZS},         {"VZR", &VZR},       {"VTM", &VTM},         {"VTA", &VTA},
    {"OKprise", &OKprise}, {"OKpose", &OKpose}, {"def_prisepose", &def_prisepose},
};

constexpr BoolVariable kBools[] = {
    {"_X_20", &X_20, 0},
    {"_X_21", &X_21, 1},
    {"_X_22", &X_22, 2},
    {"_X_10", &X_10, 3},
    {"_X_11", &X_11, 4},
    {"_X_12", &X_12, 5},
    {"_X_13", &X_13, 6},
    {"_X_14", &X_14, 7},
    {"_X_15", &X_15, 8},
    {"_X_16", &X_16, 9},
    {"_FORCING_G1", &FORCING_G1, 10},
    {"_X_22_PREV", &X_22_PREV, 11, 1, true},
    {"_X_11_PREV", &X_11_PREV, 12, 1, true},
    {"_X_13_PREV", &X_13_PREV, 13, 1, true},
    {"_X_14_PREV", &X_14_PREV, 14, 1, true},
    {"_X_15_PREV", &X_15_PREV, 15, 1, true},
    {"_X_16_PREV", &X_16_PREV, 16, 1, true},
};

constexpr int32_t kLongestWait = 100000;  // TTL, 10 s in ticks of 100 us

constexpr IntVariable kInts[] = {
    {"t1", &t1, 0, IntKind::TimerElapsed},
    {"t2", &t2, 4, IntKind::TimerMemo},
    {"TTL", &TTL, 5, IntKind::TimeConstant, kLongestWait},
};

// ---- Supervision G2: 20 initialisation, 21 normal operation, 22 fault -------------------

constexpr Var kInitialSteps[] = {&X_20};
constexpr Step kG2Steps[] = {{&X_20, 20}, {&X_21, 21}, {&X_22, 22}};

bool atRest() { return on(X_10); }
bool fault() { return on(def_prisepose); }
bool noFault() { return !on(def_prisepose); }

constexpr Transition kG2[] = {
    {&X_20, &X_21, atRest},
    {&X_20, &X_22, fault},
    {&X_21, &X_22, fault},
    {&X_22, &X_20, noFault},
};

// In the fault step the axis is raised and the vacuum cut.
constexpr Action kG2Actions[] = {
    {&X_22, &X_22_PREV, {&VZR, &VTA}},
};

// Initialisation puts the sequence at rest; the fault step empties it.
constexpr ForcingOrder kForcingOrders[] = {
    {&X_20, nullptr, &FORCING_G1, {&X_10}},
    {&X_22, nullptr, &FORCING_G1, {}},
};

// ---- Sequence G1: 10 rest; 11..13 pick (lower, grip, raise); 14..16 place --------------

constexpr Step kG1Steps[] = {{&X_10, 10}, {&X_11, 11}, {&X_12, 12}, {&X_13, 13},
                             {&X_14, 14}, {&X_15, 15}, {&X_16, 16}};

bool pickRequested() { return in(dprise) && !in(dpose) && !in(vacuostat); }
bool placeRequested() { return in(dpose) && !in(dprise) && in(vacuostat); }
bool axisDown() { return in(CR_VZS); }
bool axisUp() { return in(CR_VZR); }
bool partHeld() { return in(vacuostat); }
bool partReleased() { return !in(vacuostat); }

constexpr Transition kG1[] = {
    {&X_10, &X_11, pickRequested},
    {&X_10, &X_14, placeRequested},
    {&X_11, &X_12, axisDown},
    {&X_12, &X_13, partHeld},
    {&X_13, &X_10, axisUp},
    {&X_14, &X_15, axisDown},
    {&X_15, &X_16, partReleased},
    {&X_16, &X_10, axisUp},
};

constexpr Action kG1Actions[] = {
    {&X_11, &X_11_PREV, {&VZS, &VTM}},
    {&X_13, &X_13_PREV, {&VZR}},
    {&X_14, &X_14_PREV, {&VZS}},
    {&X_15, &X_15_PREV, {&VTA}},
    {&X_16, &X_16_PREV, {&VZR}},
};

// ---- Equations ----------------------------------------------------------------------------

void equations() {
    const bool waitedTooLongForVacuum = ton(X_12, TTL, t1, t2);
    latch(def_prisepose, waitedTooLongForVacuum || in(AU) || in(def_VZ));
    if (in(acq) && !in(def_VZ) && !in(AU)) reset(def_prisepose);
    assign(OKprise, on(X_10) && in(vacuostat));
    assign(OKpose, on(X_10) && !in(vacuostat));
}

constexpr PrevSlot kPrevSlots[] = {
    {&X_16, &X_16_PREV}, {&X_15, &X_15_PREV}, {&X_14, &X_14_PREV},
    {&X_13, &X_13_PREV}, {&X_22, &X_22_PREV}, {&X_11, &X_11_PREV},
};

constexpr Var kOutputs[] = {&VZS, &VZR, &VTM, &VTA, &OKprise, &OKpose, &def_prisepose};

constexpr Grafcet kG1Grafcet = {"G1", kG1Steps, kG1, kG1Actions, &FORCING_G1};
constexpr const Grafcet* kForced[] = {&kG1Grafcet};

}  // namespace

constexpr LeafModel kPickPlaceUnit = {
    .name = "pick_place_unit",
    .interface = kInterface,
    .bools = kBools,
    .ints = kInts,
    .slots = instanceSlots(kBools, kInts, kRevision),
    .initialSteps = kInitialSteps,
    .supervision = {"G2", kG2Steps, kG2, kG2Actions},
    .forcingOrders = kForcingOrders,
    .forced = kForced,
    .equations = equations,
    .prevSlots = kPrevSlots,
    .outputs = kOutputs,
};
static_assert(wellFormed(kPickPlaceUnit));
static_assert(kPickPlaceUnit.slots == InstanceSlots{kRevision == 1 ? 11 : 17, 9});

}  // namespace qv::models

extern "C" int32_t sfp__pick_place_unit_init(void) { return qv::models::initialiseLeaf(qv::models::kPickPlaceUnit); }
extern "C" int32_t sfp__pick_place_unit(void) { return qv::models::evolveLeaf(qv::models::kPickPlaceUnit); }
