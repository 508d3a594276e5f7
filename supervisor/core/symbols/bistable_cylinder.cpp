// The variables of the bistable_cylinder program (the top model is one bistable cylinder).
#include "supervisor/core/symbols/symbols.h"

namespace qv::symbols {
namespace {

constexpr Symbol kSymbols[] = {
    // Interface
    {"DR", kAreaBool, 5, Type::Bool, Direction::Input, true},
    {"DS", kAreaBool, 6, Type::Bool, Direction::Input, true},
    {"ACQ", kAreaBool, 7, Type::Bool, Direction::Input, true},
    {"AU", kAreaBool, 8, Type::Bool, Direction::Input, true},
    {"CR", kAreaBool, 9, Type::Bool, Direction::Input},
    {"CS", kAreaBool, 10, Type::Bool, Direction::Input},
    {"OrdreR", kAreaBool, 11, Type::Bool, Direction::Output},
    {"OrdreS", kAreaBool, 12, Type::Bool, Direction::Output},
    {"EtatR", kAreaBool, 13, Type::Bool, Direction::Output},
    {"EtatS", kAreaBool, 14, Type::Bool, Direction::Output},
    {"Def_verin", kAreaBool, 15, Type::Bool, Direction::Output},
    // Instance variables
    {"defaut[1]", kAreaBool, 18, Type::Bool, Direction::Internal},
    {"defaut[2]", kAreaBool, 19, Type::Bool, Direction::Internal},
    {"defaut[3]", kAreaBool, 20, Type::Bool, Direction::Internal},
    {"defaut[4]", kAreaBool, 21, Type::Bool, Direction::Internal},
    {"defaut[5]", kAreaBool, 22, Type::Bool, Direction::Internal},
    {"defaut[6]", kAreaBool, 23, Type::Bool, Direction::Internal},
    {"defaut[7]", kAreaBool, 24, Type::Bool, Direction::Internal},
    {"_X_10", kAreaBool, 28, Type::Bool, Direction::Internal},
    {"_X_11", kAreaBool, 29, Type::Bool, Direction::Internal},
    {"_X_12", kAreaBool, 30, Type::Bool, Direction::Internal},
    {"_X_20", kAreaBool, 31, Type::Bool, Direction::Internal},
    {"_X_21", kAreaBool, 32, Type::Bool, Direction::Internal},
    {"_X_22", kAreaBool, 33, Type::Bool, Direction::Internal},
    {"_X_23", kAreaBool, 34, Type::Bool, Direction::Internal},
    {"_FORCING_G2", kAreaBool, 35, Type::Bool, Direction::Internal},
    {"_X_20_PREV", kAreaBool, 36, Type::Bool, Direction::Internal},
    {"_X_21_PREV", kAreaBool, 37, Type::Bool, Direction::Internal},
    {"_X_22_PREV", kAreaBool, 38, Type::Bool, Direction::Internal},
    {"_X_23_PREV", kAreaBool, 39, Type::Bool, Direction::Internal},
    {"TTL", kAreaInt, 523, Type::Time, Direction::Internal},
    {"Tinertie", kAreaInt, 527, Type::Time, Direction::Internal},
    {"t1", kAreaInt, 531, Type::Time, Direction::Internal},
    {"t2", kAreaInt, 535, Type::Dint, Direction::Internal},
    {"t3", kAreaInt, 536, Type::Time, Direction::Internal},
    {"t4", kAreaInt, 540, Type::Dint, Direction::Internal},
    {"t5", kAreaInt, 541, Type::Time, Direction::Internal},
    {"t6", kAreaInt, 545, Type::Dint, Direction::Internal},
    {"t7", kAreaInt, 546, Type::Time, Direction::Internal},
    {"t8", kAreaInt, 550, Type::Dint, Direction::Internal},
};

}  // namespace

const ProgramSymbols kBistableCylinderSymbols = {"bistable_cylinder", kSymbols};

}  // namespace qv::symbols
