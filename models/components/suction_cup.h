// Suction cup: its names at the C boundary and its tables for the scheme.
#pragma once

#include "models/components/grafcet.h"

extern "C" {
extern int32_t suction_cup__num;

// Interface, bound by the parent (in binding order).
extern unsigned char *suction_cup_DR, *suction_cup_DS, *suction_cup_ACQ, *suction_cup_AU;
extern unsigned char *suction_cup_OrdreR, *suction_cup_OrdreS, *suction_cup_EtatR, *suction_cup_EtatS;

// Instance variables, bound at every call.
extern unsigned char *suction_cup__X_10, *suction_cup__X_11, *suction_cup__X_12;
extern unsigned char *suction_cup__X_20, *suction_cup__X_21, *suction_cup__X_22, *suction_cup__X_23;
extern unsigned char* suction_cup__FORCING_G2;
extern unsigned char *suction_cup__X_20_PREV, *suction_cup__X_21_PREV, *suction_cup__X_22_PREV,
    *suction_cup__X_23_PREV;

int32_t sfp__suction_cup_init(void);
int32_t sfp__suction_cup(void);
}

namespace qv::models {
extern const LeafModel kSuctionCup;
}
