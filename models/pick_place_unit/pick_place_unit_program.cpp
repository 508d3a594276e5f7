// The pick_place_unit program: one pick-and-place sequence as the top model.
#include "models/components/pick_place_unit.h"
#include "models/glue/program.h"

namespace qv::models {

constinit const Program kProgram = {
    .slots = {37, 536, 17, 53},
    .signature = kSignature,
    .generationTime = 1159129884,
    .taskname = "pick_place_unit.exe",
    .period = kPeriod,
    .interface = &kPickPlaceUnit.interface,
    .intInterface = &kPickPlaceUnit.intInterface,
    .topNum = &pick_place_unit__num,
    .init = sfp__pick_place_unit_init,
    .step = sfp__pick_place_unit,
};

}  // namespace qv::models
