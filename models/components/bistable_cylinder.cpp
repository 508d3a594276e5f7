// Control module of a double-acting (bistable) cylinder: two orders, one per direction,
// each given while the cylinder moves that way.
#include "models/components/bistable_cylinder.h"

#include "models/components/cylinder_grafcets.h"
#include "models/components/leaf_scheme.h"

extern "C" {
int32_t bistable_cylinder__num = 0;
unsigned char *bistable_cylinder_DR, *bistable_cylinder_DS, *bistable_cylinder_ACQ, *bistable_cylinder_AU;
unsigned char *bistable_cylinder_CR, *bistable_cylinder_CS;
unsigned char *bistable_cylinder_OrdreR, *bistable_cylinder_OrdreS;
unsigned char *bistable_cylinder_EtatR, *bistable_cylinder_EtatS, *bistable_cylinder_Def_verin;
unsigned char* bistable_cylinder_defaut;
unsigned char *bistable_cylinder__X_10, *bistable_cylinder__X_11, *bistable_cylinder__X_12;
unsigned char *bistable_cylinder__X_20, *bistable_cylinder__X_21, *bistable_cylinder__X_22, *bistable_cylinder__X_23;
unsigned char* bistable_cylinder__FORCING_G2;
unsigned char *bistable_cylinder__X_20_PREV, *bistable_cylinder__X_21_PREV, *bistable_cylinder__X_22_PREV,
    *bistable_cylinder__X_23_PREV;
int32_t *bistable_cylinder_TTL, *bistable_cylinder_Tinertie;
int32_t *bistable_cylinder_t1, *bistable_cylinder_t2, *bistable_cylinder_t3, *bistable_cylinder_t4;
int32_t *bistable_cylinder_t5, *bistable_cylinder_t6, *bistable_cylinder_t7, *bistable_cylinder_t8;
}

namespace qv::models {
namespace {

struct V {
    static constexpr auto& DR = bistable_cylinder_DR;
    static constexpr auto& DS = bistable_cylinder_DS;
    static constexpr auto& ACQ = bistable_cylinder_ACQ;
    static constexpr auto& AU = bistable_cylinder_AU;
    static constexpr auto& CR = bistable_cylinder_CR;
    static constexpr auto& CS = bistable_cylinder_CS;
    static constexpr auto& OrdreR = bistable_cylinder_OrdreR;
    static constexpr auto& OrdreS = bistable_cylinder_OrdreS;
    static constexpr auto& EtatR = bistable_cylinder_EtatR;
    static constexpr auto& EtatS = bistable_cylinder_EtatS;
    static constexpr auto& Def_verin = bistable_cylinder_Def_verin;
    static constexpr auto& defaut = bistable_cylinder_defaut;
    static constexpr auto& X_10 = bistable_cylinder__X_10;
    static constexpr auto& X_11 = bistable_cylinder__X_11;
    static constexpr auto& X_12 = bistable_cylinder__X_12;
    static constexpr auto& X_20 = bistable_cylinder__X_20;
    static constexpr auto& X_21 = bistable_cylinder__X_21;
    static constexpr auto& X_22 = bistable_cylinder__X_22;
    static constexpr auto& X_23 = bistable_cylinder__X_23;
    static constexpr auto& FORCING_G2 = bistable_cylinder__FORCING_G2;
    static constexpr auto& X_20_PREV = bistable_cylinder__X_20_PREV;
    static constexpr auto& X_21_PREV = bistable_cylinder__X_21_PREV;
    static constexpr auto& X_22_PREV = bistable_cylinder__X_22_PREV;
    static constexpr auto& X_23_PREV = bistable_cylinder__X_23_PREV;
    static constexpr auto& TTL = bistable_cylinder_TTL;
    static constexpr auto& Tinertie = bistable_cylinder_Tinertie;
    static constexpr auto& t1 = bistable_cylinder_t1;
    static constexpr auto& t2 = bistable_cylinder_t2;
    static constexpr auto& t3 = bistable_cylinder_t3;
    static constexpr auto& t4 = bistable_cylinder_t4;
    static constexpr auto& t5 = bistable_cylinder_t5;
    static constexpr auto& t6 = bistable_cylinder_t6;
    static constexpr auto& t7 = bistable_cylinder_t7;
    static constexpr auto& t8 = bistable_cylinder_t8;
};
using Cylinder = CylinderGrafcets<V>;

constexpr NamedVar kInterface[] = {
    {"DR", &V::DR},         {"DS", &V::DS},       {"ACQ", &V::ACQ},     {"AU", &V::AU},
    {"CR", &V::CR},         {"CS", &V::CS},       {"OrdreR", &V::OrdreR}, {"OrdreS", &V::OrdreS},
    {"EtatR", &V::EtatR},   {"EtatS", &V::EtatS}, {"Def_verin", &V::Def_verin},
};

// Each step's output is set while it is active and cleared when it is left.
constexpr Action kG2Actions[] = {
    {&V::X_20, &V::X_20_PREV, {&V::OrdreS}},
    {&V::X_21, &V::X_21_PREV, {&V::EtatS}},
    {&V::X_22, &V::X_22_PREV, {&V::OrdreR}},
    {&V::X_23, &V::X_23_PREV, {&V::EtatR}},
};

constexpr Var kOutputs[] = {&V::OrdreR, &V::OrdreS, &V::EtatR, &V::EtatS, &V::Def_verin};

constexpr Grafcet kG2 = {"G2", Cylinder::kG2Steps, Cylinder::kG2, kG2Actions, &V::FORCING_G2};
constexpr const Grafcet* kForced[] = {&kG2};

}  // namespace

constexpr LeafModel kBistableCylinder = {
    .name = "bistable_cylinder",
    .interface = kInterface,
    .bools = Cylinder::kBools,
    .ints = Cylinder::kInts,
    .slots = Cylinder::kSlots,
    .initialSteps = Cylinder::kInitialSteps,
    .supervision = {"G1", Cylinder::kG1Steps, Cylinder::kG1, {}},
    .forcingOrders = Cylinder::kForcingOrders,
    .forced = kForced,
    .equations = Cylinder::equations,
    .prevSlots = Cylinder::kPrevSlots,
    .outputs = kOutputs,
};
static_assert(wellFormed(kBistableCylinder));
static_assert(kBistableCylinder.slots == InstanceSlots{kRevision == 1 ? 20 : 24, 28});

}  // namespace qv::models

extern "C" int32_t sfp__bistable_cylinder_init(void) { return qv::models::initialiseLeaf(qv::models::kBistableCylinder); }
extern "C" int32_t sfp__bistable_cylinder(void) { return qv::models::evolveLeaf(qv::models::kBistableCylinder); }
