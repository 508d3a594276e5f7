// Pick-and-place sequence of a vertical axis with a suction cup: its names at the C
// boundary and its tables for the scheme.
#pragma once

#include "models/components/grafcet.h"

extern "C" {
extern int32_t pick_place_unit__num;

// Interface, bound by the parent (in binding order).
extern unsigned char *pick_place_unit_acq, *pick_place_unit_AU, *pick_place_unit_dprise, *pick_place_unit_dpose;
extern unsigned char *pick_place_unit_vacuostat, *pick_place_unit_CR_VZS, *pick_place_unit_CR_VZR,
    *pick_place_unit_def_VZ;
extern unsigned char *pick_place_unit_VZS, *pick_place_unit_VZR, *pick_place_unit_VTM, *pick_place_unit_VTA;
extern unsigned char *pick_place_unit_OKprise, *pick_place_unit_OKpose, *pick_place_unit_def_prisepose;

// Instance variables, bound at every call.
extern unsigned char *pick_place_unit__X_20, *pick_place_unit__X_21, *pick_place_unit__X_22;
extern unsigned char *pick_place_unit__X_10, *pick_place_unit__X_11, *pick_place_unit__X_12, *pick_place_unit__X_13;
extern unsigned char *pick_place_unit__X_14, *pick_place_unit__X_15, *pick_place_unit__X_16;
extern unsigned char* pick_place_unit__FORCING_G1;
extern unsigned char *pick_place_unit__X_22_PREV, *pick_place_unit__X_11_PREV, *pick_place_unit__X_13_PREV;
extern unsigned char *pick_place_unit__X_14_PREV, *pick_place_unit__X_15_PREV, *pick_place_unit__X_16_PREV;
extern int32_t *pick_place_unit_t1, *pick_place_unit_t2, *pick_place_unit_TTL;

int32_t sfp__pick_place_unit_init(void);
int32_t sfp__pick_place_unit(void);
}

namespace qv::models {
extern const LeafModel kPickPlaceUnit;
}
