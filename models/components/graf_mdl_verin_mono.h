// Control module of a single-acting (monostable) cylinder: its names at the C boundary
// and its tables for the scheme.
#pragma once

#include "models/components/grafcet.h"

extern "C" {
extern int32_t graf_mdl_verin_mono__num;

// Interface, bound by the parent (in binding order).
extern unsigned char *graf_mdl_verin_mono_DR, *graf_mdl_verin_mono_DS, *graf_mdl_verin_mono_ACQ, *graf_mdl_verin_mono_AU;
extern unsigned char *graf_mdl_verin_mono_CR, *graf_mdl_verin_mono_CS;
extern unsigned char* graf_mdl_verin_mono_OrdreS;
extern unsigned char *graf_mdl_verin_mono_EtatR, *graf_mdl_verin_mono_EtatS, *graf_mdl_verin_mono_Def_verin;

// Instance variables, bound at every call.
extern unsigned char* graf_mdl_verin_mono_defaut;
extern unsigned char *graf_mdl_verin_mono__X_10, *graf_mdl_verin_mono__X_11, *graf_mdl_verin_mono__X_12;
extern unsigned char *graf_mdl_verin_mono__X_20, *graf_mdl_verin_mono__X_21, *graf_mdl_verin_mono__X_22,
    *graf_mdl_verin_mono__X_23;
extern unsigned char* graf_mdl_verin_mono__FORCING_G2;
extern unsigned char *graf_mdl_verin_mono__X_20_PREV, *graf_mdl_verin_mono__X_21_PREV, *graf_mdl_verin_mono__X_22_PREV,
    *graf_mdl_verin_mono__X_23_PREV;
extern int32_t *graf_mdl_verin_mono_TTL, *graf_mdl_verin_mono_Tinertie;
extern int32_t *graf_mdl_verin_mono_t1, *graf_mdl_verin_mono_t2, *graf_mdl_verin_mono_t3, *graf_mdl_verin_mono_t4;
extern int32_t *graf_mdl_verin_mono_t5, *graf_mdl_verin_mono_t6, *graf_mdl_verin_mono_t7, *graf_mdl_verin_mono_t8;

int32_t sfp__graf_mdl_verin_mono_init(void);
int32_t sfp__graf_mdl_verin_mono(void);
}

namespace qv::models {
extern const LeafModel kVerinMono;
}
