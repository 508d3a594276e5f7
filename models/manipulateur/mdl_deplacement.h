// Position module of the manipulator cell: turns a position code into movement requests
// for the three bistable cylinders and reports the position they reached. A leaf without
// grafcets or slots of its own; it exists in revision 1 only.
#pragma once

#include "models/components/grafcet.h"

extern "C" {
extern int32_t mdl_deplacement__num;

// Interface, bound by the parent.
extern int32_t *mdl_deplacement_Dem_Pos, *mdl_deplacement_CR_Pos;
extern unsigned char *mdl_deplacement_GO, *mdl_deplacement_acq, *mdl_deplacement_AU, *mdl_deplacement_Def_Depl;
extern unsigned char *mdl_deplacement_def_PX, *mdl_deplacement_def_GX, *mdl_deplacement_def_VR;
extern unsigned char *mdl_deplacement_CR_GXR, *mdl_deplacement_CR_GXS, *mdl_deplacement_CR_PXR;
extern unsigned char *mdl_deplacement_CR_PXS, *mdl_deplacement_CR_VRR, *mdl_deplacement_CR_VRS;
extern unsigned char *mdl_deplacement_GXR, *mdl_deplacement_GXS, *mdl_deplacement_PXR;
extern unsigned char *mdl_deplacement_PXS, *mdl_deplacement_VRR, *mdl_deplacement_VRS;

int32_t sfp__mdl_deplacement_init(void);
int32_t sfp__mdl_deplacement(void);
}

namespace qv::models {
extern const LeafModel kMdlDeplacement;

// The position code reported while a cylinder is between its limit switches.
inline constexpr int32_t kMovingCode = 99;
}
