// The variables of the suction_cup program (the top model is one suction cup).
#include "supervisor/core/symbols/symbols.h"

namespace qv::symbols {
namespace {

constexpr Symbol kSymbols[] = {
    // Interface
    {"DR", kAreaBool, 5, Type::Bool, Direction::Input, true},
    {"DS", kAreaBool, 6, Type::Bool, Direction::Input, true},
    {"ACQ", kAreaBool, 7, Type::Bool, Direction::Input, true},
    {"AU", kAreaBool, 8, Type::Bool, Direction::Input, true},
    {"OrdreR", kAreaBool, 9, Type::Bool, Direction::Output},
    {"OrdreS", kAreaBool, 10, Type::Bool, Direction::Output},
    {"EtatR", kAreaBool, 11, Type::Bool, Direction::Output},
    {"EtatS", kAreaBool, 12, Type::Bool, Direction::Output},
    // Instance variables
    {"_X_10", kAreaBool, 13, Type::Bool, Direction::Internal},
    {"_X_11", kAreaBool, 14, Type::Bool, Direction::Internal},
    {"_X_12", kAreaBool, 15, Type::Bool, Direction::Internal},
    {"_X_20", kAreaBool, 16, Type::Bool, Direction::Internal},
    {"_X_21", kAreaBool, 17, Type::Bool, Direction::Internal},
    {"_X_22", kAreaBool, 18, Type::Bool, Direction::Internal},
    {"_X_23", kAreaBool, 19, Type::Bool, Direction::Internal},
    {"_FORCING_G2", kAreaBool, 20, Type::Bool, Direction::Internal},
    {"_X_20_PREV", kAreaBool, 21, Type::Bool, Direction::Internal},
    {"_X_21_PREV", kAreaBool, 22, Type::Bool, Direction::Internal},
    {"_X_22_PREV", kAreaBool, 23, Type::Bool, Direction::Internal},
    {"_X_23_PREV", kAreaBool, 24, Type::Bool, Direction::Internal},
};

}  // namespace

const ProgramSymbols kSuctionCupSymbols = {"suction_cup", kSymbols};

}  // namespace qv::symbols
