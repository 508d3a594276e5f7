// Cycle sequencer of the manipulator cell: its names at the C boundary and its tables
// for the scheme. It exists in revision 1 only.
#pragma once

#include "models/components/grafcet.h"

extern "C" {
extern int32_t graf_mdl_manipulateur__num;

// Interface, bound by the parent.
extern int32_t *graf_mdl_manipulateur_Pos_depart, *graf_mdl_manipulateur_Pos_arrivee;
extern unsigned char *graf_mdl_manipulateur_DCY, *graf_mdl_manipulateur_AU, *graf_mdl_manipulateur_acq;
extern unsigned char *graf_mdl_manipulateur_Def_Manip, *graf_mdl_manipulateur_OKcycle;
extern unsigned char *graf_mdl_manipulateur_Dprise, *graf_mdl_manipulateur_def_depl, *graf_mdl_manipulateur_OKpose;
extern unsigned char *graf_mdl_manipulateur_Dpose, *graf_mdl_manipulateur_def_prisepose, *graf_mdl_manipulateur_GO;
extern unsigned char* graf_mdl_manipulateur_OKprise;
extern int32_t *graf_mdl_manipulateur_Demande_pos, *graf_mdl_manipulateur_CR_pos;

// Instance variables, bound at every call.
extern unsigned char *graf_mdl_manipulateur__X_20, *graf_mdl_manipulateur__X_21, *graf_mdl_manipulateur__X_22;
extern unsigned char *graf_mdl_manipulateur__X_10, *graf_mdl_manipulateur__X_11, *graf_mdl_manipulateur__X_12;
extern unsigned char *graf_mdl_manipulateur__X_13, *graf_mdl_manipulateur__X_14;
extern unsigned char* graf_mdl_manipulateur__FORCING_G1;

int32_t sfp__graf_mdl_manipulateur_init(void);
int32_t sfp__graf_mdl_manipulateur(void);
}

namespace qv::models {
extern const LeafModel kGrafMdlManipulateur;
}
