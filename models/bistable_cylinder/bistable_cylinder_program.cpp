// The bistable_cylinder program: one bistable cylinder as the top model.
#include "models/components/bistable_cylinder.h"
#include "models/glue/program.h"

namespace qv::models {

constinit const Program kProgram = {
    .slots = {40, 555, 17, 53},
    .signature = kSignature,
    .generationTime = 1159131342,
    .taskname = "bistable_cylinder.exe",
    .period = kPeriod,
    .interface = &kBistableCylinder.interface,
    .intInterface = &kBistableCylinder.intInterface,
    .topNum = &bistable_cylinder__num,
    .init = sfp__bistable_cylinder_init,
    .step = sfp__bistable_cylinder,
};

}  // namespace qv::models
