// The positioning unit: the position module and the three bistable cylinders GX, PX and
// VR. Its own slots carry the requests of the module to the cylinders and the states of
// the cylinders back to it.
#include "models/components/bistable_cylinder.h"
#include "models/manipulateur/cell.h"
#include "models/manipulateur/mdl_deplacement.h"

extern "C" {
int32_t deplacement__num = 0;
unsigned char *deplacement_acq, *deplacement_au;
unsigned char *deplacement_FCGXS, *deplacement_FCGXR, *deplacement_FCPXS, *deplacement_FCPXR;
unsigned char *deplacement_FCVRS, *deplacement_FCVRR;
unsigned char *deplacement_EVGXR, *deplacement_EVGXS, *deplacement_EVPXR, *deplacement_EVPXS;
unsigned char *deplacement_EVVRR, *deplacement_EVVRS, *deplacement_GO, *deplacement_Def_Depl;
int32_t *deplacement_Dem_Pos, *deplacement_CR_Pos;
int32_t sfp__deplacement_offset_mdl_deplacement1[4], sfp__deplacement_offset_Verin_PX[4];
int32_t sfp__deplacement_offset_Verin_VR[4], sfp__deplacement_offset_Verin_GX[4];
int32_t sfp__deplacement_offset__end[4];
}

namespace qv::models {
namespace {

// The own slots, by the names the sub-models give them.
enum Own : int32_t {
    CR_VRS, CR_PXS, def_VR, def_PX, def_GX, CR_GXR, CR_GXS, VRS, GXS, PXS, CR_VRR, PXR, VRR, GXR, CR_PXR, kOwnBools
};
constexpr const char* kOwnNames[] = {"CR_VRS", "CR_PXS", "def_VR", "def_PX", "def_GX", "CR_GXR", "CR_GXS", "VRS",
                                     "GXS",    "PXS",    "CR_VRR", "PXR",    "VRR",    "GXR",    "CR_PXR"};
static_assert(std::size(kOwnNames) == kOwnBools);

void wireModule(const QV_Bases& b) {
    mdl_deplacement_Dem_Pos = deplacement_Dem_Pos;
    mdl_deplacement_GO = deplacement_GO;
    mdl_deplacement_acq = deplacement_acq;
    mdl_deplacement_AU = deplacement_au;
    mdl_deplacement_CR_Pos = deplacement_CR_Pos;
    mdl_deplacement_Def_Depl = deplacement_Def_Depl;
    mdl_deplacement_CR_VRS = ownBool(b, CR_VRS);
    mdl_deplacement_CR_PXS = ownBool(b, CR_PXS);
    mdl_deplacement_def_VR = ownBool(b, def_VR);
    mdl_deplacement_def_PX = ownBool(b, def_PX);
    mdl_deplacement_def_GX = ownBool(b, def_GX);
    mdl_deplacement_CR_GXR = ownBool(b, CR_GXR);
    mdl_deplacement_CR_GXS = ownBool(b, CR_GXS);
    mdl_deplacement_VRS = ownBool(b, VRS);
    mdl_deplacement_GXS = ownBool(b, GXS);
    mdl_deplacement_PXS = ownBool(b, PXS);
    mdl_deplacement_CR_VRR = ownBool(b, CR_VRR);
    mdl_deplacement_PXR = ownBool(b, PXR);
    mdl_deplacement_VRR = ownBool(b, VRR);
    mdl_deplacement_GXR = ownBool(b, GXR);
    mdl_deplacement_CR_PXR = ownBool(b, CR_PXR);
}

// One cylinder: its limit switches and valves from the interface, its requests, states
// and fault in the own slots.
struct CylinderWiring {
    unsigned char** retractedSwitch;
    unsigned char** extendedSwitch;
    unsigned char** retractValve;
    unsigned char** extendValve;
    Own retract, extend, retracted, extended, fault;
};

void wireCylinder(const QV_Bases& b, const CylinderWiring& w) {
    bistable_cylinder_DR = ownBool(b, w.retract);
    bistable_cylinder_DS = ownBool(b, w.extend);
    bistable_cylinder_ACQ = deplacement_acq;
    bistable_cylinder_AU = deplacement_au;
    bistable_cylinder_CR = *w.retractedSwitch;
    bistable_cylinder_CS = *w.extendedSwitch;
    bistable_cylinder_OrdreR = *w.retractValve;
    bistable_cylinder_OrdreS = *w.extendValve;
    bistable_cylinder_EtatR = ownBool(b, w.retracted);
    bistable_cylinder_EtatS = ownBool(b, w.extended);
    bistable_cylinder_Def_verin = ownBool(b, w.fault);
}

void wirePX(const QV_Bases& b) {
    wireCylinder(b, {&deplacement_FCPXR, &deplacement_FCPXS, &deplacement_EVPXR, &deplacement_EVPXS, PXR, PXS, CR_PXR,
                     CR_PXS, def_PX});
}
void wireVR(const QV_Bases& b) {
    wireCylinder(b, {&deplacement_FCVRR, &deplacement_FCVRS, &deplacement_EVVRR, &deplacement_EVVRS, VRR, VRS, CR_VRR,
                     CR_VRS, def_VR});
}
void wireGX(const QV_Bases& b) {
    wireCylinder(b, {&deplacement_FCGXR, &deplacement_FCGXS, &deplacement_EVGXR, &deplacement_EVGXS, GXR, GXS, CR_GXR,
                     CR_GXS, def_GX});
}

constexpr SubInstance kInstances[] = {
    {"mdl_deplacement1", sfp__deplacement_offset_mdl_deplacement1, &mdl_deplacement__num, wireModule,
     sfp__mdl_deplacement_init, sfp__mdl_deplacement, &kMdlDeplacement},
    {"Verin_PX", sfp__deplacement_offset_Verin_PX, &bistable_cylinder__num, wirePX, sfp__bistable_cylinder_init,
     sfp__bistable_cylinder, &kBistableCylinder},
    {"Verin_VR", sfp__deplacement_offset_Verin_VR, &bistable_cylinder__num, wireVR, sfp__bistable_cylinder_init,
     sfp__bistable_cylinder, &kBistableCylinder},
    {"Verin_GX", sfp__deplacement_offset_Verin_GX, &bistable_cylinder__num, wireGX, sfp__bistable_cylinder_init,
     sfp__bistable_cylinder, &kBistableCylinder},
};

constexpr NamedVar kInterface[] = {
    {"acq", &deplacement_acq},     {"au", &deplacement_au},       {"FCGXS", &deplacement_FCGXS},
    {"FCGXR", &deplacement_FCGXR}, {"FCPXS", &deplacement_FCPXS}, {"FCPXR", &deplacement_FCPXR},
    {"FCVRS", &deplacement_FCVRS}, {"FCVRR", &deplacement_FCVRR}, {"EVGXR", &deplacement_EVGXR},
    {"EVGXS", &deplacement_EVGXS}, {"EVPXR", &deplacement_EVPXR}, {"EVPXS", &deplacement_EVPXS},
    {"EVVRR", &deplacement_EVVRR}, {"EVVRS", &deplacement_EVVRS}, {"GO", &deplacement_GO},
    {"Def_Depl", &deplacement_Def_Depl},
};
constexpr NamedIntVar kIntInterface[] = {{"Dem_Pos", &deplacement_Dem_Pos}, {"CR_Pos", &deplacement_CR_Pos}};

}  // namespace

constexpr CompositeModel kDeplacement = {
    .name = "deplacement",
    .ownSlots = {kOwnBools, 0, 0, 0},
    .instances = kInstances,
    .offsetEnd = sfp__deplacement_offset__end,
    .interface = kInterface,
    .intInterface = kIntInterface,
    .ownBools = kOwnNames,
};

}  // namespace qv::models

extern "C" int32_t sfp__deplacement_init(void) { return qv::models::initialiseComposite(qv::models::kDeplacement); }
extern "C" int32_t sfp__deplacement(void) { return qv::models::evolveComposite(qv::models::kDeplacement); }
