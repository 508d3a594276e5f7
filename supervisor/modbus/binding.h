// The map in force for one program on one image: every entry bound to its variable, and
// the values carried between the variables and the 16-bit words or bits of the tables.
// Values are read and written through the core (readValue, parseValue with its range
// checks, isForced, setValue), exactly as qvctl get and set do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "supervisor/core/target.h"
#include "supervisor/core/values.h"
#include "supervisor/modbus/map.h"

namespace qv::modbus {

struct Binding {
    MapEntry entry;         // type, words and word order filled in
    ctl::Variable variable;
};

struct BoundMap {
    std::vector<Binding> bindings;
    // Per table, per address: the index of the binding there, or -1.
    std::vector<int32_t> owner[kTableCount];

    int32_t ownerOf(Table table, uint32_t address) const {
        const std::vector<int32_t>& o = owner[static_cast<int>(table)];
        return address < o.size() ? o[address] : -1;
    }
    std::size_t tableSize(Table table) const { return owner[static_cast<int>(table)].size(); }
};

// The default map of the program on `target` (its symbols; located variables at their
// soft-PLC addresses), with `file`'s entries replacing or extending it. Nothing, with
// `error` naming the map file's line, when an entry names no variable, a type the
// variable does not have, a number of words its type cannot take, or overlaps another.
std::optional<BoundMap> bindMap(const ctl::Target& target, const MapFile* file, WordOrder order, std::string& error);

// The entries of the map, as `modbus map` prints them.
std::vector<MapEntry> entriesOf(const BoundMap& map);

// The binding's current value as the words (or the one bit, 0 or 1) of its table:
// `words` receives entry.words values.
void encodeValue(const ctl::Target& target, const Binding& binding, uint16_t* words);

// The value that the words (or the bit) say, checked as qvctl set checks a value. Nothing,
// with `error`, when the variable's type cannot take it.
std::optional<ctl::Value> decodeValue(const Binding& binding, const uint16_t* words, std::string& error);

// True when a client's write may reach the variable (it is not a STRING).
bool carriesWrites(const Binding& binding);

}  // namespace qv::modbus
