// The pick-and-place unit of the cell: the pick-and-place sequence, the vertical
// (monostable) cylinder and the suction cup. Its own slots carry the sequence's orders to
// the cylinder and the cup and the cylinder's states back.
#include "models/components/graf_mdl_verin_mono.h"
#include "models/components/pick_place_unit.h"
#include "models/components/suction_cup.h"
#include "models/manipulateur/cell.h"

extern "C" {
int32_t prise_pose__num = 0;
unsigned char *prise_pose_acq, *prise_pose_au, *prise_pose_vacuostat, *prise_pose_FCVZB, *prise_pose_FCVZH;
unsigned char *prise_pose_EVVZ, *prise_pose_EVVTM, *prise_pose_EVVTA, *prise_pose_dprise, *prise_pose_dpose;
unsigned char *prise_pose_OKprise, *prise_pose_OKpose, *prise_pose_def_prisepose;
int32_t sfp__prise_pose_offset_pick_place_unit1[4], sfp__prise_pose_offset_Verin_VZ[4];
int32_t sfp__prise_pose_offset_Vent_VT[4], sfp__prise_pose_offset__end[4];
}

namespace qv::models {
namespace {

// The own slots: the cup's two states (read by nobody), then the vertical axis.
enum Own : int32_t { CupGripping, CupReleased, CR_VZS, VZS, VTA, VZR, def_VZ, VTM, CR_VZR, kOwnBools };
constexpr const char* kOwnNames[] = {"EtatS", "EtatR", "CR_VZS", "VZS", "VTA", "VZR", "def_VZ", "VTM", "CR_VZR"};
static_assert(std::size(kOwnNames) == kOwnBools);

void wireSequence(const QV_Bases& b) {
    pick_place_unit_acq = prise_pose_acq;
    pick_place_unit_AU = prise_pose_au;
    pick_place_unit_dprise = prise_pose_dprise;
    pick_place_unit_dpose = prise_pose_dpose;
    pick_place_unit_vacuostat = prise_pose_vacuostat;
    pick_place_unit_CR_VZS = ownBool(b, CR_VZS);
    pick_place_unit_CR_VZR = ownBool(b, CR_VZR);
    pick_place_unit_def_VZ = ownBool(b, def_VZ);
    pick_place_unit_VZS = ownBool(b, VZS);
    pick_place_unit_VZR = ownBool(b, VZR);
    pick_place_unit_VTM = ownBool(b, VTM);
    pick_place_unit_VTA = ownBool(b, VTA);
    pick_place_unit_OKprise = prise_pose_OKprise;
    pick_place_unit_OKpose = prise_pose_OKpose;
    pick_place_unit_def_prisepose = prise_pose_def_prisepose;
}

// The vertical cylinder is retracted when high and extended when low.
void wireVerticalCylinder(const QV_Bases& b) {
    graf_mdl_verin_mono_DR = ownBool(b, VZR);
    graf_mdl_verin_mono_DS = ownBool(b, VZS);
    graf_mdl_verin_mono_ACQ = prise_pose_acq;
    graf_mdl_verin_mono_AU = prise_pose_au;
    graf_mdl_verin_mono_CR = prise_pose_FCVZH;
    graf_mdl_verin_mono_CS = prise_pose_FCVZB;
    graf_mdl_verin_mono_OrdreS = prise_pose_EVVZ;
    graf_mdl_verin_mono_EtatR = ownBool(b, CR_VZR);
    graf_mdl_verin_mono_EtatS = ownBool(b, CR_VZS);
    graf_mdl_verin_mono_Def_verin = ownBool(b, def_VZ);
}

void wireCup(const QV_Bases& b) {
    suction_cup_DR = ownBool(b, VTA);
    suction_cup_DS = ownBool(b, VTM);
    suction_cup_ACQ = prise_pose_acq;
    suction_cup_AU = prise_pose_au;
    suction_cup_OrdreR = prise_pose_EVVTA;
    suction_cup_OrdreS = prise_pose_EVVTM;
    suction_cup_EtatR = ownBool(b, CupReleased);
    suction_cup_EtatS = ownBool(b, CupGripping);
}

constexpr SubInstance kInstances[] = {
    {"pick_place_unit1", sfp__prise_pose_offset_pick_place_unit1, &pick_place_unit__num, wireSequence,
     sfp__pick_place_unit_init, sfp__pick_place_unit, &kPickPlaceUnit},
    {"Verin_VZ", sfp__prise_pose_offset_Verin_VZ, &graf_mdl_verin_mono__num, wireVerticalCylinder,
     sfp__graf_mdl_verin_mono_init, sfp__graf_mdl_verin_mono, &kVerinMono},
    {"Vent_VT", sfp__prise_pose_offset_Vent_VT, &suction_cup__num, wireCup, sfp__suction_cup_init, sfp__suction_cup,
     &kSuctionCup},
};

constexpr NamedVar kInterface[] = {
    {"acq", &prise_pose_acq},         {"au", &prise_pose_au},         {"vacuostat", &prise_pose_vacuostat},
    {"FCVZB", &prise_pose_FCVZB},     {"FCVZH", &prise_pose_FCVZH},   {"EVVZ", &prise_pose_EVVZ},
    {"EVVTM", &prise_pose_EVVTM},     {"EVVTA", &prise_pose_EVVTA},   {"dprise", &prise_pose_dprise},
    {"dpose", &prise_pose_dpose},     {"OKprise", &prise_pose_OKprise}, {"OKpose", &prise_pose_OKpose},
    {"def_prisepose", &prise_pose_def_prisepose},
};

}  // namespace

constexpr CompositeModel kPrisePose = {
    .name = "prise_pose",
    .ownSlots = {kOwnBools, 0, 0, 0},
    .instances = kInstances,
    .offsetEnd = sfp__prise_pose_offset__end,
    .interface = kInterface,
    .ownBools = kOwnNames,
};

}  // namespace qv::models

extern "C" int32_t sfp__prise_pose_init(void) { return qv::models::initialiseComposite(qv::models::kPrisePose); }
extern "C" int32_t sfp__prise_pose(void) { return qv::models::evolveComposite(qv::models::kPrisePose); }
