// The manipulator cell: the three composite models of its instance tree (the cell
// itself, the positioning unit and the pick-and-place unit), their names at the C
// boundary and their tables for the composite scheme. Revision 1 only.
//
//   1 manipulateur                    (composite)
//   2   graf_mdl_manipulateur1        cycle sequencer
//   3   deplacement1                  (composite)
//   4     mdl_deplacement1            position module
//   5     Verin_PX                    bistable cylinder
//   6     Verin_VR                    bistable cylinder
//   7     Verin_GX                    bistable cylinder
//   8   prise_pose1                   (composite)
//   9     pick_place_unit1            pick-and-place sequence
//  10     Verin_VZ                    monostable cylinder (vertical)
//  11     Vent_VT                     suction cup
#pragma once

#include "models/components/composite_scheme.h"

extern "C" {

// ---- manipulateur: the top model ---------------------------------------------------------

extern int32_t manipulateur__num;
extern unsigned char *manipulateur_acq, *manipulateur_au, *manipulateur_DCY;
extern int32_t *manipulateur_Pos_depart, *manipulateur_Pos_arrivee;
extern unsigned char *manipulateur_FCGXS, *manipulateur_FCGXR, *manipulateur_FCPXS, *manipulateur_FCPXR;
extern unsigned char *manipulateur_FCVRS, *manipulateur_FCVRR, *manipulateur_FCVZH, *manipulateur_FCVZB;
extern unsigned char *manipulateur_vacuostat, *manipulateur_Def_Manip, *manipulateur_OKcycle;
extern unsigned char *manipulateur_EVGXR, *manipulateur_EVGXS, *manipulateur_EVPXR, *manipulateur_EVPXS;
extern unsigned char *manipulateur_EVVRR, *manipulateur_EVVRS, *manipulateur_EVVZ, *manipulateur_EVVTA;
extern unsigned char* manipulateur_EVVTM;
extern int32_t sfp__manipulateur_offset_graf_mdl_manipulateur1[4], sfp__manipulateur_offset_deplacement1[4];
extern int32_t sfp__manipulateur_offset_prise_pose1[4], sfp__manipulateur_offset__end[4];
int32_t sfp__manipulateur_init(void);
int32_t sfp__manipulateur(void);

// ---- deplacement: the position module and the three bistable cylinders ----------------------

extern int32_t deplacement__num;
extern unsigned char *deplacement_acq, *deplacement_au;
extern unsigned char *deplacement_FCGXS, *deplacement_FCGXR, *deplacement_FCPXS, *deplacement_FCPXR;
extern unsigned char *deplacement_FCVRS, *deplacement_FCVRR;
extern unsigned char *deplacement_EVGXR, *deplacement_EVGXS, *deplacement_EVPXR, *deplacement_EVPXS;
extern unsigned char *deplacement_EVVRR, *deplacement_EVVRS, *deplacement_GO, *deplacement_Def_Depl;
extern int32_t *deplacement_Dem_Pos, *deplacement_CR_Pos;
extern int32_t sfp__deplacement_offset_mdl_deplacement1[4], sfp__deplacement_offset_Verin_PX[4];
extern int32_t sfp__deplacement_offset_Verin_VR[4], sfp__deplacement_offset_Verin_GX[4];
extern int32_t sfp__deplacement_offset__end[4];
int32_t sfp__deplacement_init(void);
int32_t sfp__deplacement(void);

// ---- prise_pose: the pick-and-place sequence, the vertical cylinder and the suction cup -----

extern int32_t prise_pose__num;
extern unsigned char *prise_pose_acq, *prise_pose_au, *prise_pose_vacuostat, *prise_pose_FCVZB, *prise_pose_FCVZH;
extern unsigned char *prise_pose_EVVZ, *prise_pose_EVVTM, *prise_pose_EVVTA, *prise_pose_dprise, *prise_pose_dpose;
extern unsigned char *prise_pose_OKprise, *prise_pose_OKpose, *prise_pose_def_prisepose;
extern int32_t sfp__prise_pose_offset_pick_place_unit1[4], sfp__prise_pose_offset_Verin_VZ[4];
extern int32_t sfp__prise_pose_offset_Vent_VT[4], sfp__prise_pose_offset__end[4];
int32_t sfp__prise_pose_init(void);
int32_t sfp__prise_pose(void);
}

namespace qv::models {

extern const CompositeModel kManipulateur;
extern const CompositeModel kDeplacement;
extern const CompositeModel kPrisePose;

// A composite's own slots, from its base.
inline unsigned char* ownBool(const QV_Bases& base, int32_t k) { return boolSlot(base.boolBase, k); }
inline int32_t* ownInt(const QV_Bases& base, int32_t k) { return intSlot(base.intBase, k); }

}  // namespace qv::models
