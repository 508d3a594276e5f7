// Control module of a single-acting (monostable) cylinder: one extend order, held while
// the cylinder is extended; without it the cylinder retracts by itself.
#include "models/components/graf_mdl_verin_mono.h"

#include "models/components/cylinder_grafcets.h"
#include "models/components/leaf_scheme.h"

extern "C" {
int32_t graf_mdl_verin_mono__num = 0;
unsigned char *graf_mdl_verin_mono_DR, *graf_mdl_verin_mono_DS, *graf_mdl_verin_mono_ACQ, *graf_mdl_verin_mono_AU;
unsigned char *graf_mdl_verin_mono_CR, *graf_mdl_verin_mono_CS;
unsigned char* graf_mdl_verin_mono_OrdreS;
unsigned char *graf_mdl_verin_mono_EtatR, *graf_mdl_verin_mono_EtatS, *graf_mdl_verin_mono_Def_verin;
unsigned char* graf_mdl_verin_mono_defaut;
unsigned char *graf_mdl_verin_mono__X_10, *graf_mdl_verin_mono__X_11, *graf_mdl_verin_mono__X_12;
unsigned char *graf_mdl_verin_mono__X_20, *graf_mdl_verin_mono__X_21, *graf_mdl_verin_mono__X_22, *graf_mdl_verin_mono__X_23;
unsigned char* graf_mdl_verin_mono__FORCING_G2;
unsigned char *graf_mdl_verin_mono__X_20_PREV, *graf_mdl_verin_mono__X_21_PREV, *graf_mdl_verin_mono__X_22_PREV,
    *graf_mdl_verin_mono__X_23_PREV;
int32_t *graf_mdl_verin_mono_TTL, *graf_mdl_verin_mono_Tinertie;
int32_t *graf_mdl_verin_mono_t1, *graf_mdl_verin_mono_t2, *graf_mdl_verin_mono_t3, *graf_mdl_verin_mono_t4;
int32_t *graf_mdl_verin_mono_t5, *graf_mdl_verin_mono_t6, *graf_mdl_verin_mono_t7, *graf_mdl_verin_mono_t8;
}

namespace qv::models {
namespace {

struct V {
    static constexpr auto& DR = graf_mdl_verin_mono_DR;
    static constexpr auto& DS = graf_mdl_verin_mono_DS;
    static constexpr auto& ACQ = graf_mdl_verin_mono_ACQ;
    static constexpr auto& AU = graf_mdl_verin_mono_AU;
    static constexpr auto& CR = graf_mdl_verin_mono_CR;
    static constexpr auto& CS = graf_mdl_verin_mono_CS;
    static constexpr auto& OrdreS = graf_mdl_verin_mono_OrdreS;
    static constexpr auto& EtatR = graf_mdl_verin_mono_EtatR;
    static constexpr auto& EtatS = graf_mdl_verin_mono_EtatS;
    static constexpr auto& Def_verin = graf_mdl_verin_mono_Def_verin;
    static constexpr auto& defaut = graf_mdl_verin_mono_defaut;
    static constexpr auto& X_10 = graf_mdl_verin_mono__X_10;
    static constexpr auto& X_11 = graf_mdl_verin_mono__X_11;
    static constexpr auto& X_12 = graf_mdl_verin_mono__X_12;
    static constexpr auto& X_20 = graf_mdl_verin_mono__X_20;
    static constexpr auto& X_21 = graf_mdl_verin_mono__X_21;
    static constexpr auto& X_22 = graf_mdl_verin_mono__X_22;
    static constexpr auto& X_23 = graf_mdl_verin_mono__X_23;
    static constexpr auto& FORCING_G2 = graf_mdl_verin_mono__FORCING_G2;
    static constexpr auto& X_20_PREV = graf_mdl_verin_mono__X_20_PREV;
    static constexpr auto& X_21_PREV = graf_mdl_verin_mono__X_21_PREV;
    static constexpr auto& X_22_PREV = graf_mdl_verin_mono__X_22_PREV;
    static constexpr auto& X_23_PREV = graf_mdl_verin_mono__X_23_PREV;
    static constexpr auto& TTL = graf_mdl_verin_mono_TTL;
    static constexpr auto& Tinertie = graf_mdl_verin_mono_Tinertie;
    static constexpr auto& t1 = graf_mdl_verin_mono_t1;
    static constexpr auto& t2 = graf_mdl_verin_mono_t2;
    static constexpr auto& t3 = graf_mdl_verin_mono_t3;
    static constexpr auto& t4 = graf_mdl_verin_mono_t4;
    static constexpr auto& t5 = graf_mdl_verin_mono_t5;
    static constexpr auto& t6 = graf_mdl_verin_mono_t6;
    static constexpr auto& t7 = graf_mdl_verin_mono_t7;
    static constexpr auto& t8 = graf_mdl_verin_mono_t8;
};
using Cylinder = CylinderGrafcets<V>;

constexpr NamedVar kInterface[] = {
    {"DR", &V::DR},       {"DS", &V::DS},       {"ACQ", &V::ACQ},
    {"AU", &V::AU},       {"CR", &V::CR},       {"CS", &V::CS},
    {"OrdreS", &V::OrdreS}, {"EtatR", &V::EtatR}, {"EtatS", &V::EtatS},
    {"Def_verin", &V::Def_verin},
};

// Each step's outputs are set while it is active and cleared when it is left. Retracting
// (22) needs no order.
constexpr Action kG2Actions[] = {
    {&V::X_20, &V::X_20_PREV, {&V::OrdreS}},
    {&V::X_21, &V::X_21_PREV, {&V::EtatS, &V::OrdreS}},
    {&V::X_23, &V::X_23_PREV, {&V::EtatR}},
};

constexpr Var kOutputs[] = {&V::OrdreS, &V::Def_verin, &V::EtatR, &V::EtatS};

constexpr Grafcet kG2 = {"G2", Cylinder::kG2Steps, Cylinder::kG2, kG2Actions, &V::FORCING_G2};
constexpr const Grafcet* kForced[] = {&kG2};

}  // namespace

constexpr LeafModel kVerinMono = {
    .name = "graf_mdl_verin_mono",
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
static_assert(wellFormed(kVerinMono));
static_assert(kVerinMono.slots == InstanceSlots{kRevision == 1 ? 20 : 24, 28});

}  // namespace qv::models

extern "C" int32_t sfp__graf_mdl_verin_mono_init(void) { return qv::models::initialiseLeaf(qv::models::kVerinMono); }
extern "C" int32_t sfp__graf_mdl_verin_mono(void) { return qv::models::evolveLeaf(qv::models::kVerinMono); }
