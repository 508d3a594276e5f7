// The variables of the pick_place_unit program (the top model is one pick-and-place sequence).
#include "supervisor/core/symbols/symbols.h"

namespace qv::symbols {
namespace {

constexpr Symbol kSymbols[] = {
    // Interface
    {"acq", kAreaBool, 5, Type::Bool, Direction::Input, true},
    {"AU", kAreaBool, 6, Type::Bool, Direction::Input, true},
    {"dprise", kAreaBool, 7, Type::Bool, Direction::Input, true},
    {"dpose", kAreaBool, 8, Type::Bool, Direction::Input, true},
    {"vacuostat", kAreaBool, 9, Type::Bool, Direction::Input},
    {"CR_VZS", kAreaBool, 10, Type::Bool, Direction::Input},
    {"CR_VZR", kAreaBool, 11, Type::Bool, Direction::Input},
    {"def_VZ", kAreaBool, 12, Type::Bool, Direction::Input, true},
    {"VZS", kAreaBool, 13, Type::Bool, Direction::Output},
    {"VZR", kAreaBool, 14, Type::Bool, Direction::Output},
    {"VTM", kAreaBool, 15, Type::Bool, Direction::Output},
    {"VTA", kAreaBool, 16, Type::Bool, Direction::Output},
    {"OKprise", kAreaBool, 17, Type::Bool, Direction::Output},
    {"OKpose", kAreaBool, 18, Type::Bool, Direction::Output},
    {"def_prisepose", kAreaBool, 19, Type::Bool, Direction::Output},
    // Instance variables
    {"_X_20", kAreaBool, 20, Type::Bool, Direction::Internal},
    {"_X_21", kAreaBool, 21, Type::Bool, Direction::Internal},
    {"_X_22", kAreaBool, 22, Type::Bool, Direction::Internal},
    {"_X_10", kAreaBool, 23, Type::Bool, Direction::Internal},
    {"_X_11", kAreaBool, 24, Type::Bool, Direction::Internal},
    {"_X_12", kAreaBool, 25, Type::Bool, Direction::Internal},
    {"_X_13", kAreaBool, 26, Type::Bool, Direction::Internal},
    {"_X_14", kAreaBool, 27, Type::Bool, Direction::Internal},
    {"_X_15", kAreaBool, 28, Type::Bool, Direction::Internal},
    {"_X_16", kAreaBool, 29, Type::Bool, Direction::Internal},
    {"_FORCING_G1", kAreaBool, 30, Type::Bool, Direction::Internal},
    {"_X_22_PREV", kAreaBool, 31, Type::Bool, Direction::Internal},
    {"_X_11_PREV", kAreaBool, 32, Type::Bool, Direction::Internal},
    {"_X_13_PREV", kAreaBool, 33, Type::Bool, Direction::Internal},
    {"_X_14_PREV", kAreaBool, 34, Type::Bool, Direction::Internal},
    {"_X_15_PREV", kAreaBool, 35, Type::Bool, Direction::Internal},
    {"_X_16_PREV", kAreaBool, 36, Type::Bool, Direction::Internal},
    {"t1", kAreaInt, 523, Type::Time, Direction::Internal},
    {"t2", kAreaInt, 527, Type::Dint, Direction::Internal},
    {"TTL", kAreaInt, 528, Type::Time, Direction::Internal},
};

}  // namespace

const ProgramSymbols kPickPlaceUnitSymbols = {"pick_place_unit", kSymbols};

}  // namespace qv::symbols
