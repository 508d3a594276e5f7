// Cycle sequencer of the manipulator cell: at rest until a cycle start, then move to the
// start position, pick, move to the arrival position, place, and back to rest. Its
// supervision grafcet G2 forces the sequence G1 to rest while it initialises; a fault
// sends G2 to its fault step, and the acknowledgement back through initialisation.
#include "models/manipulateur/graf_mdl_manipulateur.h"

#include "models/components/leaf_scheme.h"

extern "C" {
int32_t graf_mdl_manipulateur__num = 0;
int32_t *graf_mdl_manipulateur_Pos_depart, *graf_mdl_manipulateur_Pos_arrivee;
unsigned char *graf_mdl_manipulateur_DCY, *graf_mdl_manipulateur_AU, *graf_mdl_manipulateur_acq;
unsigned char *graf_mdl_manipulateur_Def_Manip, *graf_mdl_manipulateur_OKcycle;
unsigned char *graf_mdl_manipulateur_Dprise, *graf_mdl_manipulateur_def_depl, *graf_mdl_manipulateur_OKpose;
unsigned char *graf_mdl_manipulateur_Dpose, *graf_mdl_manipulateur_def_prisepose, *graf_mdl_manipulateur_GO;
unsigned char* graf_mdl_manipulateur_OKprise;
int32_t *graf_mdl_manipulateur_Demande_pos, *graf_mdl_manipulateur_CR_pos;
unsigned char *graf_mdl_manipulateur__X_20, *graf_mdl_manipulateur__X_21, *graf_mdl_manipulateur__X_22;
unsigned char *graf_mdl_manipulateur__X_10, *graf_mdl_manipulateur__X_11, *graf_mdl_manipulateur__X_12;
unsigned char *graf_mdl_manipulateur__X_13, *graf_mdl_manipulateur__X_14;
unsigned char* graf_mdl_manipulateur__FORCING_G1;
}

namespace qv::models {
namespace {

constexpr auto& Pos_depart = graf_mdl_manipulateur_Pos_depart;
constexpr auto& Pos_arrivee = graf_mdl_manipulateur_Pos_arrivee;
constexpr auto& DCY = graf_mdl_manipulateur_DCY;
constexpr auto& AU = graf_mdl_manipulateur_AU;
constexpr auto& acq = graf_mdl_manipulateur_acq;
constexpr auto& Def_Manip = graf_mdl_manipulateur_Def_Manip;
constexpr auto& OKcycle = graf_mdl_manipulateur_OKcycle;
constexpr auto& Dprise = graf_mdl_manipulateur_Dprise;
constexpr auto& def_depl = graf_mdl_manipulateur_def_depl;
constexpr auto& OKpose = graf_mdl_manipulateur_OKpose;
constexpr auto& Dpose = graf_mdl_manipulateur_Dpose;
constexpr auto& def_prisepose = graf_mdl_manipulateur_def_prisepose;
constexpr auto& GO = graf_mdl_manipulateur_GO;
constexpr auto& OKprise = graf_mdl_manipulateur_OKprise;
constexpr auto& Demande_pos = graf_mdl_manipulateur_Demande_pos;
constexpr auto& CR_pos = graf_mdl_manipulateur_CR_pos;
constexpr auto& X_20 = graf_mdl_manipulateur__X_20;
constexpr auto& X_21 = graf_mdl_manipulateur__X_21;
constexpr auto& X_22 = graf_mdl_manipulateur__X_22;
constexpr auto& X_10 = graf_mdl_manipulateur__X_10;
constexpr auto& X_11 = graf_mdl_manipulateur__X_11;
constexpr auto& X_12 = graf_mdl_manipulateur__X_12;
constexpr auto& X_13 = graf_mdl_manipulateur__X_13;
constexpr auto& X_14 = graf_mdl_manipulateur__X_14;
constexpr auto& FORCING_G1 = graf_mdl_manipulateur__FORCING_G1;

constexpr NamedVar kInterface[] = {
    {"DCY", &DCY},         {"AU", &AU},         {"acq", &acq},       {"Def_Manip", &Def_Manip},
    {"OKcycle", &OKcycle}, {"Dprise", &Dprise}, {"def_depl", &def_depl}, {"OKpose", &OKpose},
    {"Dpose", &Dpose},     {"def_prisepose", &def_prisepose}, {"GO", &GO}, {"OKprise", &OKprise},
};
constexpr NamedIntVar kIntInterface[] = {
    {"Pos_depart", &Pos_depart},
    {"Pos_arrivee", &Pos_arrivee},
    {"Demande_pos", &Demande_pos},
    {"CR_pos", &CR_pos},
};

constexpr BoolVariable kBools[] = {
    {"_X_20", &X_20, 0}, {"_X_21", &X_21, 1}, {"_X_22", &X_22, 2}, {"_X_10", &X_10, 3}, {"_X_11", &X_11, 4},
    {"_X_12", &X_12, 5}, {"_X_13", &X_13, 6}, {"_X_14", &X_14, 7}, {"_FORCING_G1", &FORCING_G1, 8},
};

// ---- Supervision G2: 20 initialisation, 21 normal operation, 22 fault ------------------

constexpr Var kInitialSteps[] = {&X_20};
constexpr Step kG2Steps[] = {{&X_20, 20}, {&X_21, 21}, {&X_22, 22}};

bool atRest() { return on(X_10); }
bool fault() { return on(Def_Manip); }
bool noFault() { return !on(Def_Manip); }

constexpr Transition kG2[] = {
    {&X_20, &X_21, atRest},
    {&X_20, &X_22, fault},
    {&X_21, &X_22, fault},
    {&X_22, &X_20, noFault},
};

// Initialisation puts the sequence at rest; the fault step forces nothing.
constexpr ForcingOrder kForcingOrders[] = {
    {&X_20, nullptr, &FORCING_G1, {&X_10}},
};

// ---- Sequence G1: 10 rest, 11 to the start, 12 pick, 13 to the arrival, 14 place -------

constexpr Step kG1Steps[] = {{&X_10, 10}, {&X_11, 11}, {&X_12, 12}, {&X_13, 13}, {&X_14, 14}};

// Positions compare as INT values.
bool atPosition(const int32_t* wanted) { return int16(inInt(CR_pos)) == int16(inInt(wanted)); }

bool cycleStart() { return in(DCY); }
bool atStart() { return atPosition(Pos_depart); }
bool picked() { return in(OKprise); }
bool atArrival() { return atPosition(Pos_arrivee); }
bool placed() { return in(OKpose); }

constexpr Transition kG1[] = {
    {&X_10, &X_11, cycleStart}, {&X_11, &X_12, atStart}, {&X_12, &X_13, picked},
    {&X_13, &X_14, atArrival},  {&X_14, &X_10, placed},
};

constexpr Action kG1Actions[] = {
    {&X_10, nullptr, {&OKcycle}}, {&X_11, nullptr, {&GO}},    {&X_12, nullptr, {&Dprise}},
    {&X_13, nullptr, {&GO}},      {&X_14, nullptr, {&Dpose}},
};

// ---- Equations ----------------------------------------------------------------------------

void equations() {
    // While moving, the position asked for is the one of the move under way.
    if (on(X_11)) storeShared(Demande_pos, static_cast<int32_t>(int16(inInt(Pos_depart))));
    if (on(X_13)) storeShared(Demande_pos, static_cast<int32_t>(int16(inInt(Pos_arrivee))));
    const bool faulty = in(def_prisepose) || in(AU) || in(def_depl);
    latch(Def_Manip, faulty);
    if (in(acq) && !faulty) reset(Def_Manip);
}

constexpr Var kOutputs[] = {&GO, &Def_Manip, &OKcycle, &Dprise, &Dpose};
constexpr IntVar kIntOutputs[] = {&Demande_pos};

constexpr Grafcet kG1Grafcet = {"G1", kG1Steps, kG1, kG1Actions, &FORCING_G1};
constexpr const Grafcet* kForced[] = {&kG1Grafcet};

}  // namespace

constexpr LeafModel kGrafMdlManipulateur = {
    .name = "graf_mdl_manipulateur",
    .interface = kInterface,
    .bools = kBools,
    .ints = {},
    .slots = instanceSlots(kBools, {}, kRevision),
    .initialSteps = kInitialSteps,
    .supervision = {"G2", kG2Steps, kG2, {}},
    .forcingOrders = kForcingOrders,
    .forced = kForced,
    .equations = equations,
    .prevSlots = {},
    .outputs = kOutputs,
    .intInterface = kIntInterface,
    .intOutputs = kIntOutputs,
};
static_assert(wellFormed(kGrafMdlManipulateur));
static_assert(kGrafMdlManipulateur.slots == InstanceSlots{9, 0});

}  // namespace qv::models

extern "C" int32_t sfp__graf_mdl_manipulateur_init(void) {
    return qv::models::initialiseLeaf(qv::models::kGrafMdlManipulateur);
}
extern "C" int32_t sfp__graf_mdl_manipulateur(void) { return qv::models::evolveLeaf(qv::models::kGrafMdlManipulateur); }
