// Control module of a double-acting (bistable) cylinder: its names at the C boundary
// and its tables for the scheme.
#pragma once

#include "models/components/grafcet.h"

extern "C" {
extern int32_t bistable_cylinder__num;

// Interface, bound by the parent (in binding order).
extern unsigned char *bistable_cylinder_DR, *bistable_cylinder_DS, *bistable_cylinder_ACQ, *bistable_cylinder_AU;
extern unsigned char *bistable_cylinder_CR, *bistable_cylinder_CS;
extern unsigned char *bistable_cylinder_OrdreR, *bistable_cylinder_OrdreS;
extern unsigned char *bistable_cylinder_EtatR, *bistable_cylinder_EtatS, *bistable_cylinder_Def_verin;

// Instance variables, bound at every call.
extern unsigned char* bistable_cylinder_defaut;
extern unsigned char *bistable_cylinder__X_10, *bistable_cylinder__X_11, *bistable_cylinder__X_12;
extern unsigned char *bistable_cylinder__X_20, *bistable_cylinder__X_21, *bistable_cylinder__X_22,
    *bistable_cylinder__X_23;
extern unsigned char* bistable_cylinder__FORCING_G2;
extern unsigned char *bistable_cylinder__X_20_PREV, *bistable_cylinder__X_21_PREV, *bistable_cylinder__X_22_PREV,
    *bistable_cylinder__X_23_PREV;
extern int32_t *bistable_cylinder_TTL, *bistable_cylinder_Tinertie;
extern int32_t *bistable_cylinder_t1, *bistable_cylinder_t2, *bistable_cylinder_t3, *bistable_cylinder_t4;
extern int32_t *bistable_cylinder_t5, *bistable_cylinder_t6, *bistable_cylinder_t7, *bistable_cylinder_t8;

int32_t sfp__bistable_cylinder_init(void);
int32_t sfp__bistable_cylinder(void);
}

namespace qv::models {
extern const LeafModel kBistableCylinder;
}
