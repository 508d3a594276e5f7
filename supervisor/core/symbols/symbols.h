// Symbol tables: the variables of each program by name, with the area and absolute slot
// where they live in the image, their type and direction. Plain data, the same for every
// runtime revision, usable by a supervisor without linking any model.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>

#include "runtime/executive/image_layout.h"

namespace qv::symbols {

// The elementary types a variable can have. The integer types and enumerations take one
// integer slot holding the value as the library represents it (SINT and INT sign-extended,
// BYTE and WORD zero-extended, DWORD as its 32 bits); the time and date types are integer
// arrays behind two header slots.
enum class Type : uint8_t {
    Bool,         // one boolean slot
    Dint,         // one integer slot
    Time,         // four integer slots: two header slots, days, ticks of 100 us
    Real,         // one real slot
    String,       // character slots: two capacity slots, one unused, then the characters
    Sint,         // one integer slot, -128..127
    Int,          // one integer slot, -32768..32767
    Byte,         // one integer slot, 0..255
    Word,         // one integer slot, 0..65535
    Dword,        // one integer slot, 0..4294967295 as 32 bits
    Date,         // three integer slots: two header slots, the day number
    TimeOfDay,    // three integer slots: two header slots, ticks since midnight
    DateAndTime,  // four integer slots: two header slots, day number, ticks since midnight
    Enum,         // one integer slot: the value of one of the enumeration's names
};

enum class Direction : uint8_t { Input, Output, Internal };

struct Symbol {
    const char* name;  // the model's own name; an array element as "defaut[3]"
    Area area;
    int32_t slot;  // absolute slot index within the area
    Type type;
    Direction direction;
    bool operatorInput = false;  // an input meant for a person at the panel, not a sensor
};

// Names to positions in a table, for tables too long to search one by one.
using NameIndex = std::unordered_map<std::string_view, uint32_t>;

struct ProgramSymbols {
    const char* program;
    std::span<const Symbol> symbols;
    const NameIndex* index = nullptr;  // null: the table is searched in order
};

// Slots of its area a variable of the type takes (a STRING is counted by its header alone).
constexpr int32_t slotCount(Type type) {
    switch (type) {
        case Type::Time:
        case Type::DateAndTime: return 4;
        case Type::String:
        case Type::Date:
        case Type::TimeOfDay: return 3;
        default: return 1;
    }
}

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
