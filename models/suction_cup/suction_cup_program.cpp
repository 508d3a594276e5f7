// The suction_cup program: one suction cup as the top model.
#include "models/components/suction_cup.h"
#include "models/glue/program.h"

namespace qv::models {

constinit const Program kProgram = {
    .slots = {25, 527, 17, 53},
    .signature = kSignature,
    .generationTime = 1294063852,
    .taskname = "suction_cup.exe",
    .period = kPeriod,
    .interface = &kSuctionCup.interface,
    .intInterface = &kSuctionCup.intInterface,
    .topNum = &suction_cup__num,
    .init = sfp__suction_cup_init,
    .step = sfp__suction_cup,
};

}  // namespace qv::models
