// Binding the map to the program's variables, and carrying values to and from words.
#include "supervisor/modbus/binding.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <limits>
#include <map>

#include "supervisor/core/symbols/description.h"

namespace qv::modbus {

namespace {

constexpr int kDefaultStringWords = 16;

// What the tables can carry of a type: the words it takes by default and at most, and
// whether its words read as a signed number. Types without an entry are not carried.
struct Carriage {
    std::string_view type;
    int defaultWords;
    int minWords;
    int maxWords;
    bool isSigned;
};

constexpr Carriage kCarried[] = {
    {"BOOL", 1, 1, 1, false},  {"SINT", 1, 1, 2, true},   {"INT", 1, 1, 2, true},
    {"DINT", 2, 1, 2, true},   {"BYTE", 1, 1, 2, false},  {"WORD", 1, 1, 2, false},
    {"DWORD", 2, 1, 2, false}, {"ENUM", 1, 1, 2, true},   {"CHAR", 1, 1, 1, false},
    {"REAL", 2, 2, 2, false},  {"TIME", 2, 2, 2, true},   {"STRING", kDefaultStringWords, 1, 123, false},
};

const Carriage* carriageOf(std::string_view type) {
    for (const Carriage& c : kCarried)
        if (c.type == type) return &c;
    return nullptr;
}

// The type a variable is declared with: its symbol's, else the one the core reads it as.
std::string declaredType(const ctl::Target& target, const ctl::Variable& v) {
    if (target.table != nullptr && std::string_view(v.role) != "control" && std::string_view(v.role) != "slot") {
        if (const symbols::Symbol* s = symbols::findSymbol(*target.table, v.name)) return symbols::typeName(s->type);
    }
    return ctl::kindName(v.kind);
}

// The located addresses of the program's variables, by name, as its description gives
// them (most variables have none; the built-in programs none at all).
std::map<std::string, std::string> locatedAddresses(const ctl::Target& target) {
    std::map<std::string, std::string> found;
    if (target.symbolSet == nullptr) return found;
    for (const symbols::SymbolSet::Variable& v : target.symbolSet->variables())
        if (!v.address.empty()) found.emplace(v.name, v.address);
    return found;
}

bool isInput(const ctl::Variable& v) { return std::string_view(v.role) == "input"; }

// Fills in an entry's type, words and order for its variable; false with `why` when they
// do not fit it.
bool completeEntry(MapEntry& e, const ctl::Variable& v, const std::string& type, WordOrder order, std::string& why) {
    const Carriage* carriage = carriageOf(type);
    if (carriage == nullptr) {
        why = e.name + " is a " + type + ", which the Modbus tables do not carry";
        return false;
    }
    if (e.type.empty()) e.type = type;
    if (e.type != type) {
        why = e.name + " is a " + type + ", not " + e.type;
        return false;
    }
    if (isBitTable(e.table)) {
        if (type != "BOOL") {
            why = e.name + " is a " + type + ": a " + tableName(e.table) + " carries BOOL only";
            return false;
        }
        e.words = 1;
    } else {
        if (e.words == 0) e.words = carriage->defaultWords;
        if (e.words < carriage->minWords || e.words > carriage->maxWords) {
            why = e.name + " is a " + type + ", which takes " + std::to_string(carriage->minWords) +
                  (carriage->maxWords != carriage->minWords ? " to " + std::to_string(carriage->maxWords) : "") +
                  " words, not " + std::to_string(e.words);
            return false;
        }
        if (e.words > 1 && !e.wordOrder) e.wordOrder = order;
    }
    if (e.writable && type == "STRING") {
        why = e.name + " is a STRING, which a client reads but does not write";
        return false;
    }
    if (static_cast<int>(e.address) + e.words > 65536) {
        why = e.name + " runs past address 65535";
        return false;
    }
    (void)v;
    return true;
}

// The default map: located variables where soft-PLC users expect them, then the others
// in the order of the symbols, after the last located address of each table.
std::vector<Binding> defaultBindings(const ctl::Target& target, WordOrder order) {
    std::vector<Binding> located, placed;
    if (target.table == nullptr) return located;
    const std::map<std::string, std::string> addresses = locatedAddresses(target);
    uint32_t next[kTableCount] = {0, 0, 0, 0};
    struct Pending {
        ctl::Variable variable;
        std::string type;
    };
    std::vector<Pending> unplaced;
    for (const symbols::Symbol& s : target.table->symbols) {
        std::string ignored;
        std::optional<ctl::Variable> v = ctl::resolveVariable(target, s.name, ignored);
        if (!v) continue;
        const std::string type = symbols::typeName(s.type);
        const Carriage* carriage = carriageOf(type);
        if (carriage == nullptr || type == "STRING") continue;
        const auto address = addresses.find(s.name);
        std::optional<LocatedPlace> place;
        if (address != addresses.end()) place = locatedPlace(address->second);
        // A located place must suit the type: a bit for a BOOL, as many words as it takes.
        if (place && (isBitTable(place->table) != (type == "BOOL") ||
                      (!isBitTable(place->table) && (place->words < carriage->minWords || place->words > carriage->maxWords))))
            place.reset();
        if (place) {
            MapEntry e{s.name, place->table, place->address, "", place->words, std::nullopt, false, 0};
            e.writable = isWritableTable(place->table) && (isInput(*v) || place->memory);
            std::string why;
            if (!completeEntry(e, *v, type, order, why)) continue;
            const int t = static_cast<int>(place->table);
            next[t] = std::max(next[t], static_cast<uint32_t>(place->address) + static_cast<uint32_t>(e.words));
            located.push_back(Binding{e, *v});
            // A located input read from a table clients cannot write gets a writable place too.
            if (isInput(*v) && !isWritableTable(place->table)) unplaced.push_back({*v, type});
            continue;
        }
        unplaced.push_back({*v, type});
    }
    for (const Pending& p : unplaced) {
        const bool input = isInput(p.variable);
        const Table table = p.type == "BOOL" ? (input ? Table::Coil : Table::DiscreteInput)
                                             : (input ? Table::HoldingRegister : Table::InputRegister);
        MapEntry e{p.variable.name, table, 0, "", 0, std::nullopt, input, 0};
        std::string why;
        if (!completeEntry(e, p.variable, p.type, order, why)) continue;
        const int t = static_cast<int>(table);
        if (next[t] + static_cast<uint32_t>(e.words) > 65536) continue;
        e.address = static_cast<uint16_t>(next[t]);
        next[t] += static_cast<uint32_t>(e.words);
        placed.push_back(Binding{e, p.variable});
    }
    located.insert(located.end(), placed.begin(), placed.end());
    return located;
}

bool overlaps(const MapEntry& a, const MapEntry& b) {
    return a.table == b.table && a.address < b.address + b.words && b.address < a.address + a.words;
}

std::string whereOf(const MapEntry& e) {
    return e.line > 0 ? "line " + std::to_string(e.line) : "the default map";
}

uint32_t joined(const Binding& b, const uint16_t* words) {
    if (b.entry.words == 1) return words[0];
    const bool big = !b.entry.wordOrder || *b.entry.wordOrder == WordOrder::Big;
    const uint32_t high = big ? words[0] : words[1];
    const uint32_t low = big ? words[1] : words[0];
    return high << 16 | low;
}

void split(const Binding& b, uint32_t value, uint16_t* words) {
    if (b.entry.words == 1) {
        words[0] = static_cast<uint16_t>(value);
        return;
    }
    const bool big = !b.entry.wordOrder || *b.entry.wordOrder == WordOrder::Big;
    words[big ? 0 : 1] = static_cast<uint16_t>(value >> 16);
    words[big ? 1 : 0] = static_cast<uint16_t>(value);
}

bool isSignedType(const std::string& type) {
    const Carriage* c = carriageOf(type);
    return c != nullptr && c->isSigned;
}

// A whole number that does not fit one word reads as the nearest value that does.
uint32_t oneWord(int64_t value, bool isSigned) {
    if (isSigned) return static_cast<uint16_t>(static_cast<int16_t>(std::clamp<int64_t>(value, -32768, 32767)));
    return static_cast<uint16_t>(std::clamp<int64_t>(value, 0, 65535));
}

}  // namespace

std::optional<BoundMap> bindMap(const ctl::Target& target, const MapFile* file, WordOrder order, std::string& error) {
    std::vector<Binding> bindings;
    if (file == nullptr || file->keepDefault) bindings = defaultBindings(target, order);
    if (file != nullptr) {
        std::vector<Binding> given;
        for (MapEntry e : file->entries) {
            std::string why;
            std::optional<ctl::Variable> v = ctl::resolveVariable(target, e.name, why);
            if (!v || !completeEntry(e, *v, declaredType(target, *v), order, why)) {
                error = "map file, " + whereOf(e) + ": " + why;
                return std::nullopt;
            }
            given.push_back(Binding{e, *v});
        }
        // A file's entry takes the place of the default entries of its variable and of
        // those it overlaps.
        std::erase_if(bindings, [&](const Binding& d) {
            return std::any_of(given.begin(), given.end(), [&](const Binding& g) {
                return g.entry.name == d.entry.name || overlaps(g.entry, d.entry);
            });
        });
        bindings.insert(bindings.end(), given.begin(), given.end());
    }
    BoundMap map;
    for (std::size_t k = 0; k < bindings.size(); ++k) {
        const MapEntry& e = bindings[k].entry;
        std::vector<int32_t>& owner = map.owner[static_cast<int>(e.table)];
        const std::size_t end = static_cast<std::size_t>(e.address) + static_cast<std::size_t>(e.words);
        if (owner.size() < end) owner.resize(end, -1);
        for (std::size_t a = e.address; a < end; ++a) {
            if (owner[a] >= 0) {
                const MapEntry& other = bindings[static_cast<std::size_t>(owner[a])].entry;
                error = "map file, " + whereOf(e) + ": " + e.name + " overlaps " + other.name + " (" + whereOf(other) +
                        ") at " + tableName(e.table) + " " + std::to_string(a);
                return std::nullopt;
            }
            owner[a] = static_cast<int32_t>(k);
        }
    }
    map.bindings = std::move(bindings);
    return map;
}

std::vector<MapEntry> entriesOf(const BoundMap& map) {
    std::vector<MapEntry> entries;
    for (const Binding& b : map.bindings) entries.push_back(b.entry);
    std::stable_sort(entries.begin(), entries.end(), [](const MapEntry& a, const MapEntry& b) {
        return a.table != b.table ? a.table < b.table : a.address < b.address;
    });
    for (MapEntry& e : entries) e.line = 0;
    return entries;
}

void encodeValue(const ctl::Target& target, const Binding& b, uint16_t* words) {
    const ctl::Variable& v = b.variable;
    const int n = b.entry.words;
    if (v.kind == ctl::Kind::Text) {
        // The characters two to a word, the first in the high byte; NUL beyond the end.
        std::string text = ctl::currentText(target, v);
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
        for (int k = 0; k < n; ++k) {
            const std::size_t at = static_cast<std::size_t>(2 * k);
            const uint16_t high = at < text.size() ? static_cast<unsigned char>(text[at]) : 0;
            const uint16_t low = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
            words[k] = static_cast<uint16_t>(high << 8 | low);
        }
        return;
    }
    const ctl::Value value = ctl::readValue(target, v);
    switch (v.kind) {
        case ctl::Kind::Real: split(b, std::bit_cast<uint32_t>(value.real), words); return;
        case ctl::Kind::Time: {
            // Ticks of 100 us in 32 bits: a duration beyond some 59 hours reads as the limit.
            const int64_t ticks = std::clamp<int64_t>(value.ticks, std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max());
            split(b, static_cast<uint32_t>(static_cast<int32_t>(ticks)), words);
            return;
        }
        case ctl::Kind::Bool: words[0] = value.word & 1; return;
        default: {
            const bool isSigned = isSignedType(b.entry.type);
            const int64_t number = isSigned ? int64_t{value.word} : int64_t{static_cast<uint32_t>(value.word)};
            split(b, n == 1 ? oneWord(number, isSigned) : static_cast<uint32_t>(value.word), words);
            return;
        }
    }
}

std::optional<ctl::Value> decodeValue(const Binding& b, const uint16_t* words, std::string& error) {
    const ctl::Variable& v = b.variable;
    const uint32_t bits = joined(b, words);
    std::string text;
    switch (v.kind) {
        case ctl::Kind::Text:
            error = v.name + " is a STRING, which a client reads but does not write";
            return std::nullopt;
        case ctl::Kind::Real: {
            char buffer[48];
            const auto [end, problem] = std::to_chars(buffer, buffer + sizeof buffer, std::bit_cast<float>(bits));
            text = problem == std::errc() ? std::string(buffer, end) : "nan";
            break;
        }
        case ctl::Kind::Time: {
            // Ticks of 100 us, written as milliseconds with one decimal.
            const int64_t ticks = static_cast<int32_t>(bits);
            const int64_t magnitude = ticks < 0 ? -ticks : ticks;
            text = (ticks < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10) + "ms";
            break;
        }
        default: {
            const bool isSigned = isSignedType(b.entry.type);
            int64_t number = 0;
            if (b.entry.words == 1) number = isSigned ? int64_t{static_cast<int16_t>(bits)} : int64_t{bits & 0xFFFF};
            else number = isSigned ? int64_t{static_cast<int32_t>(bits)} : int64_t{bits};
            text = std::to_string(number);
            break;
        }
    }
    return ctl::parseValue(v, text, error);
}

bool carriesWrites(const Binding& b) { return b.variable.kind != ctl::Kind::Text; }

}  // namespace qv::modbus
