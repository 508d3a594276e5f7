// Symbol tables: the variables of each program by name, with the area and absolute slot
// where they live in the image, their type and direction. Plain data, the same for every
// runtime revision, usable by a supervisor without linking any model.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/executive/image_layout.h"

namespace qv::symbols {

enum class Type : uint8_t {
    Bool,  // one boolean slot
    Dint,  // one integer slot
    Time,  // four integer slots: two header slots, days, ticks of 100 us
    Real,    // one real slot
    String,  // character slots: two capacity slots, one unused, then the characters
};

enum class Direction : uint8_t { Input, Output, Internal };

struct Symbol {
    const char* name;  // the model's own name; an array element as "defaut[3]"
    Area area;
    int32_t slot;  // absolute slot index within the area
    Type type;
    Direction direction;
};

struct ProgramSymbols {
    const char* program;
    std::span<const Symbol> symbols;
};

// Slots of its area a variable of the type takes (a STRING is counted by its header alone).
constexpr int32_t slotCount(Type type) { return type == Type::Time ? 4 : type == Type::String ? 3 : 1; }

// The tables of the programs that have one.
std::span<const ProgramSymbols* const> programs();

// The table of `program`, or null.
const ProgramSymbols* findProgram(std::string_view program);

// The symbol `name` of a table, or null.
const Symbol* findSymbol(const ProgramSymbols& table, std::string_view name);

// The tables themselves.
extern const ProgramSymbols kBistableCylinderSymbols;
extern const ProgramSymbols kPickPlaceUnitSymbols;
extern const ProgramSymbols kSuctionCupSymbols;
extern const ProgramSymbols kManipulateurSymbols;

}  // namespace qv::symbols
