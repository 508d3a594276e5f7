// Position module: the eight positions of the gripper are the eight combinations of the
// three cylinders GX, PX and VR. A requested code drives each cylinder to its side while
// GO holds and no fault is latched; the states the cylinders report give the code back.
#include "models/manipulateur/mdl_deplacement.h"

#include "models/components/leaf_scheme.h"

extern "C" {
int32_t mdl_deplacement__num = 0;
int32_t *mdl_deplacement_Dem_Pos, *mdl_deplacement_CR_Pos;
unsigned char *mdl_deplacement_GO, *mdl_deplacement_acq, *mdl_deplacement_AU, *mdl_deplacement_Def_Depl;
unsigned char *mdl_deplacement_def_PX, *mdl_deplacement_def_GX, *mdl_deplacement_def_VR;
unsigned char *mdl_deplacement_CR_GXR, *mdl_deplacement_CR_GXS, *mdl_deplacement_CR_PXR;
unsigned char *mdl_deplacement_CR_PXS, *mdl_deplacement_CR_VRR, *mdl_deplacement_CR_VRS;
unsigned char *mdl_deplacement_GXR, *mdl_deplacement_GXS, *mdl_deplacement_PXR;
unsigned char *mdl_deplacement_PXS, *mdl_deplacement_VRR, *mdl_deplacement_VRS;
}

namespace qv::models {
namespace {

constexpr auto& Dem_Pos = mdl_deplacement_Dem_Pos;
constexpr auto& CR_Pos = mdl_deplacement_CR_Pos;
constexpr auto& GO = mdl_deplacement_GO;
constexpr auto& acq = mdl_deplacement_acq;
constexpr auto& AU = mdl_deplacement_AU;
constexpr auto& Def_Depl = mdl_deplacement_Def_Depl;
constexpr auto& def_PX = mdl_deplacement_def_PX;
constexpr auto& def_GX = mdl_deplacement_def_GX;
constexpr auto& def_VR = mdl_deplacement_def_VR;
constexpr auto& CR_GXR = mdl_deplacement_CR_GXR;
constexpr auto& CR_GXS = mdl_deplacement_CR_GXS;
constexpr auto& CR_PXR = mdl_deplacement_CR_PXR;
constexpr auto& CR_PXS = mdl_deplacement_CR_PXS;
constexpr auto& CR_VRR = mdl_deplacement_CR_VRR;
constexpr auto& CR_VRS = mdl_deplacement_CR_VRS;
constexpr auto& GXR = mdl_deplacement_GXR;
constexpr auto& GXS = mdl_deplacement_GXS;
constexpr auto& PXR = mdl_deplacement_PXR;
constexpr auto& PXS = mdl_deplacement_PXS;
constexpr auto& VRR = mdl_deplacement_VRR;
constexpr auto& VRS = mdl_deplacement_VRS;

constexpr NamedVar kInterface[] = {
    {"GO", &GO},         {"acq", &acq},       {"AU", &AU},         {"Def_Depl", &Def_Depl}, {"CR_VRS", &CR_VRS},
    {"CR_PXS", &CR_PXS}, {"def_VR", &def_VR}, {"def_PX", &def_PX}, {"def_GX", &def_GX},     {"CR_GXR", &CR_GXR},
    {"CR_GXS", &CR_GXS}, {"VRS", &VRS},       {"GXS", &GXS},       {"PXS", &PXS},           {"CR_VRR", &CR_VRR},
    {"PXR", &PXR},       {"VRR", &VRR},       {"GXR", &GXR},       {"CR_PXR", &CR_PXR},
};
constexpr NamedIntVar kIntInterface[] = {{"Dem_Pos", &Dem_Pos}, {"CR_Pos", &CR_Pos}};

// Position codes as bits: GX extended adds 4; PX and VR give 0 (both retracted),
// 1 (VR extended), 2 (both extended) or 3 (PX extended).
constexpr bool gxExtended(int32_t code) { return code >= 4; }
constexpr bool pxExtended(int32_t code) { return (code & 3) == 2 || (code & 3) == 3; }
constexpr bool vrExtended(int32_t code) { return (code & 3) == 1 || (code & 3) == 2; }
static_assert(!pxExtended(5) && vrExtended(5) && pxExtended(6) && vrExtended(6) && pxExtended(7) && !vrExtended(7));

// The code of three cylinder states; a cylinder that reports neither (or both) of its
// states is moving.
int32_t reportedCode() {
    const bool gxR = in(CR_GXR), gxS = in(CR_GXS);
    const bool pxR = in(CR_PXR), pxS = in(CR_PXS);
    const bool vrR = in(CR_VRR), vrS = in(CR_VRS);
    if (gxR == gxS || pxR == pxS || vrR == vrS) return kMovingCode;
    const int32_t low = pxS ? (vrS ? 2 : 3) : (vrS ? 1 : 0);
    return (gxS ? 4 : 0) + low;
}

void equations() {
    const bool faulty = in(def_PX) || in(def_GX) || in(def_VR) || in(AU);
    if (faulty) {
        for (unsigned char* request : {GXR, GXS, PXR, PXS, VRR, VRS}) reset(request);
        set(Def_Depl);
    }
    if (in(acq) && !faulty) reset(Def_Depl);

    const int32_t code = int16(inInt(Dem_Pos));
    const bool known = code >= 0 && code <= 7;
    const bool go = in(GO) && !on(Def_Depl);
    assign(GXR, go && known && !gxExtended(code));
    assign(GXS, go && known && gxExtended(code));
    assign(PXR, go && known && !pxExtended(code));
    assign(PXS, go && known && pxExtended(code));
    assign(VRR, go && known && !vrExtended(code));
    assign(VRS, go && known && vrExtended(code));

    storeShared(CR_Pos, static_cast<int32_t>(int16(reportedCode())));
}

constexpr Var kOutputs[] = {&Def_Depl, &GXR, &GXS, &PXR, &PXS, &VRR, &VRS};
constexpr IntVar kIntOutputs[] = {&CR_Pos};

}  // namespace

constexpr LeafModel kMdlDeplacement = {
    .name = "mdl_deplacement",
    .interface = kInterface,
    .bools = {},
    .ints = {},
    .slots = {0, 0},
    .initialSteps = {},
    .supervision = {"", {}, {}, {}},
    .forcingOrders = {},
    .forced = {},
    .equations = equations,
    .prevSlots = {},
    .outputs = kOutputs,
    .intInterface = kIntInterface,
    .intOutputs = kIntOutputs,
};
static_assert(wellFormed(kMdlDeplacement));

}  // namespace qv::models

extern "C" int32_t sfp__mdl_deplacement_init(void) { return qv::models::initialiseLeaf(qv::models::kMdlDeplacement); }
extern "C" int32_t sfp__mdl_deplacement(void) { return qv::models::evolveLeaf(qv::models::kMdlDeplacement); }
