// The manipulator cell, top model: the cycle sequencer, the positioning unit and the
// pick-and-place unit. Its own slots carry the sequencer's requests and the two units'
// reports; its interface is the cell's: limit switches, vacuum switch and operator
// inputs in, solenoid valves and the cell's state out.
#include "models/manipulateur/cell.h"
#include "models/manipulateur/graf_mdl_manipulateur.h"

extern "C" {
int32_t manipulateur__num = 0;
unsigned char *manipulateur_acq, *manipulateur_au, *manipulateur_DCY;
int32_t *manipulateur_Pos_depart, *manipulateur_Pos_arrivee;
unsigned char *manipulateur_FCGXS, *manipulateur_FCGXR, *manipulateur_FCPXS, *manipulateur_FCPXR;
unsigned char *manipulateur_FCVRS, *manipulateur_FCVRR, *manipulateur_FCVZH, *manipulateur_FCVZB;
unsigned char *manipulateur_vacuostat, *manipulateur_Def_Manip, *manipulateur_OKcycle;
unsigned char *manipulateur_EVGXR, *manipulateur_EVGXS, *manipulateur_EVPXR, *manipulateur_EVPXS;
unsigned char *manipulateur_EVVRR, *manipulateur_EVVRS, *manipulateur_EVVZ, *manipulateur_EVVTA;
unsigned char* manipulateur_EVVTM;
int32_t sfp__manipulateur_offset_graf_mdl_manipulateur1[4], sfp__manipulateur_offset_deplacement1[4];
int32_t sfp__manipulateur_offset_prise_pose1[4], sfp__manipulateur_offset__end[4];
}

namespace qv::models {
namespace {

// The own slots; two names for one slot are the two sub-models' names for it.
enum Own : int32_t { Dprise, def_depl, OKpose, Dpose, def_prisepose, GO, OKprise, kOwnBools };
enum OwnInt : int32_t { Demande_pos, CR_pos, kOwnInts };
constexpr const char* kOwnNames[] = {"Dprise", "def_depl", "OKpose", "Dpose", "def_prisepose", "GO", "OKprise"};
constexpr const char* kOwnIntNames[] = {"Demande_pos", "CR_pos"};
static_assert(std::size(kOwnNames) == kOwnBools && std::size(kOwnIntNames) == kOwnInts);

void wireSequencer(const QV_Bases& b) {
    graf_mdl_manipulateur_Pos_depart = manipulateur_Pos_depart;
    graf_mdl_manipulateur_Pos_arrivee = manipulateur_Pos_arrivee;
    graf_mdl_manipulateur_DCY = manipulateur_DCY;
    graf_mdl_manipulateur_AU = manipulateur_au;
    graf_mdl_manipulateur_acq = manipulateur_acq;
    graf_mdl_manipulateur_Def_Manip = manipulateur_Def_Manip;
    graf_mdl_manipulateur_OKcycle = manipulateur_OKcycle;
    graf_mdl_manipulateur_Dprise = ownBool(b, Dprise);
    graf_mdl_manipulateur_def_depl = ownBool(b, def_depl);
    graf_mdl_manipulateur_OKpose = ownBool(b, OKpose);
    graf_mdl_manipulateur_Dpose = ownBool(b, Dpose);
    graf_mdl_manipulateur_def_prisepose = ownBool(b, def_prisepose);
    graf_mdl_manipulateur_GO = ownBool(b, GO);
    graf_mdl_manipulateur_OKprise = ownBool(b, OKprise);
    graf_mdl_manipulateur_Demande_pos = ownInt(b, Demande_pos);
    graf_mdl_manipulateur_CR_pos = ownInt(b, CR_pos);
}

void wirePositioning(const QV_Bases& b) {
    deplacement_acq = manipulateur_acq;
    deplacement_au = manipulateur_au;
    deplacement_FCGXS = manipulateur_FCGXS;
    deplacement_FCGXR = manipulateur_FCGXR;
    deplacement_FCPXS = manipulateur_FCPXS;
    deplacement_FCPXR = manipulateur_FCPXR;
    deplacement_FCVRS = manipulateur_FCVRS;
    deplacement_FCVRR = manipulateur_FCVRR;
    deplacement_EVGXR = manipulateur_EVGXR;
    deplacement_EVGXS = manipulateur_EVGXS;
    deplacement_EVPXR = manipulateur_EVPXR;
    deplacement_EVPXS = manipulateur_EVPXS;
    deplacement_EVVRR = manipulateur_EVVRR;
    deplacement_EVVRS = manipulateur_EVVRS;
    deplacement_Dem_Pos = ownInt(b, Demande_pos);
    deplacement_GO = ownBool(b, GO);
    deplacement_CR_Pos = ownInt(b, CR_pos);
    deplacement_Def_Depl = ownBool(b, def_depl);
}

void wirePickAndPlace(const QV_Bases& b) {
    prise_pose_acq = manipulateur_acq;
    prise_pose_au = manipulateur_au;
    prise_pose_vacuostat = manipulateur_vacuostat;
    prise_pose_FCVZB = manipulateur_FCVZB;
    prise_pose_FCVZH = manipulateur_FCVZH;
    prise_pose_EVVZ = manipulateur_EVVZ;
    prise_pose_EVVTM = manipulateur_EVVTM;
    prise_pose_EVVTA = manipulateur_EVVTA;
    prise_pose_dprise = ownBool(b, Dprise);
    prise_pose_dpose = ownBool(b, Dpose);
    prise_pose_OKprise = ownBool(b, OKprise);
    prise_pose_OKpose = ownBool(b, OKpose);
    prise_pose_def_prisepose = ownBool(b, def_prisepose);
}

constexpr SubInstance kInstances[] = {
    {"graf_mdl_manipulateur1", sfp__manipulateur_offset_graf_mdl_manipulateur1, &graf_mdl_manipulateur__num,
     wireSequencer, sfp__graf_mdl_manipulateur_init, sfp__graf_mdl_manipulateur, &kGrafMdlManipulateur},
    {"deplacement1", sfp__manipulateur_offset_deplacement1, &deplacement__num, wirePositioning, sfp__deplacement_init,
     sfp__deplacement, nullptr, &kDeplacement},
    {"prise_pose1", sfp__manipulateur_offset_prise_pose1, &prise_pose__num, wirePickAndPlace, sfp__prise_pose_init,
     sfp__prise_pose, nullptr, &kPrisePose},
};

// Binding order of the top interface (booleans; the two integers take integer slots 0 and 1).
constexpr NamedVar kInterface[] = {
    {"acq", &manipulateur_acq},         {"au", &manipulateur_au},           {"DCY", &manipulateur_DCY},
    {"FCGXS", &manipulateur_FCGXS},     {"FCGXR", &manipulateur_FCGXR},     {"FCPXS", &manipulateur_FCPXS},
    {"FCPXR", &manipulateur_FCPXR},     {"FCVRS", &manipulateur_FCVRS},     {"FCVRR", &manipulateur_FCVRR},
    {"FCVZH", &manipulateur_FCVZH},     {"FCVZB", &manipulateur_FCVZB},     {"vacuostat", &manipulateur_vacuostat},
    {"Def_Manip", &manipulateur_Def_Manip}, {"OKcycle", &manipulateur_OKcycle}, {"EVGXR", &manipulateur_EVGXR},
    {"EVGXS", &manipulateur_EVGXS},     {"EVPXR", &manipulateur_EVPXR},     {"EVPXS", &manipulateur_EVPXS},
    {"EVVRR", &manipulateur_EVVRR},     {"EVVRS", &manipulateur_EVVRS},     {"EVVZ", &manipulateur_EVVZ},
    {"EVVTA", &manipulateur_EVVTA},     {"EVVTM", &manipulateur_EVVTM},
};
constexpr NamedIntVar kIntInterface[] = {{"Pos_depart", &manipulateur_Pos_depart},
                                         {"Pos_arrivee", &manipulateur_Pos_arrivee}};

}  // namespace

constexpr CompositeModel kManipulateur = {
    .name = "manipulateur",
    .ownSlots = {kOwnBools, kOwnInts, 0, 0},
    .instances = kInstances,
    .offsetEnd = sfp__manipulateur_offset__end,
    .interface = kInterface,
    .intInterface = kIntInterface,
    .ownBools = kOwnNames,
    .ownInts = kOwnIntNames,
};

}  // namespace qv::models

extern "C" int32_t sfp__manipulateur_init(void) { return qv::models::initialiseComposite(qv::models::kManipulateur); }
extern "C" int32_t sfp__manipulateur(void) { return qv::models::evolveComposite(qv::models::kManipulateur); }
