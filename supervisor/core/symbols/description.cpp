// Writing and reading symbol descriptions. The reader trusts nothing: a file that is not
// a description of this format and version, or whose entries are out of shape, is refused
// with the reason.
#include "supervisor/core/symbols/description.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace qv::symbols {

using nlohmann::json;

// ---- The set ------------------------------------------------------------------------------

SymbolSet::SymbolSet(std::string program, int revision, std::vector<Variable> variables,
                     std::vector<SceneObject> objects)
    : program_(std::move(program)), revision_(revision), variables_(std::move(variables)),
      objects_(std::move(objects)) {
    symbols_.reserve(variables_.size());
    for (const Variable& v : variables_)
        symbols_.push_back(Symbol{v.name.c_str(), v.area, v.slot, v.type, v.direction});
    viewTable();
}

SymbolSet::SymbolSet(SymbolSet&& other) noexcept
    : program_(std::move(other.program_)), revision_(other.revision_), variables_(std::move(other.variables_)),
      objects_(std::move(other.objects_)), symbols_(std::move(other.symbols_)) {
    viewTable();
}

SymbolSet& SymbolSet::operator=(SymbolSet&& other) noexcept {
    program_ = std::move(other.program_);
    revision_ = other.revision_;
    variables_ = std::move(other.variables_);
    objects_ = std::move(other.objects_);
    symbols_ = std::move(other.symbols_);
    viewTable();
    return *this;
}

// The program's name may live inside the string object itself: the view is rebuilt
// whenever the set moves.
void SymbolSet::viewTable() { table_ = ProgramSymbols{program_.c_str(), symbols_}; }

SymbolSet builtInSymbolSet(const ProgramSymbols& table, int revision) {
    std::vector<SymbolSet::Variable> variables;
    variables.reserve(table.symbols.size());
    for (const Symbol& s : table.symbols) variables.push_back({s.name, s.area, s.slot, s.type, s.direction, ""});
    return SymbolSet(table.program, revision, std::move(variables), {});
}

// ---- Names ----------------------------------------------------------------------------------

const char* typeName(Type type) {
    switch (type) {
        case Type::Bool: return "BOOL";
        case Type::Dint: return "DINT";
        case Type::Time: return "TIME";
        case Type::Real: return "REAL";
        case Type::String: return "STRING";
    }
    return "";
}

const char* areaName(Area area) {
    switch (area) {
        case kAreaBool: return "bool";
        case kAreaInt: return "int";
        case kAreaReal: return "real";
        case kAreaChar: return "char";
    }
    return "";
}

const char* directionName(Direction direction) {
    switch (direction) {
        case Direction::Input: return "input";
        case Direction::Output: return "output";
        case Direction::Internal: return "internal";
    }
    return "";
}

const char* objectKindName(ObjectKind kind) { return kind == ObjectKind::Actor ? "actor" : "product"; }

namespace {

// The area each type lives in.
Area areaOf(Type type) {
    switch (type) {
        case Type::Bool: return kAreaBool;
        case Type::Real: return kAreaReal;
        case Type::String: return kAreaChar;
        default: return kAreaInt;
    }
}

template <typename E, std::size_t N>
std::optional<E> fromName(const std::string& text, const E (&values)[N], const char* (*name)(E)) {
    for (E v : values)
        if (text == name(v)) return v;
    return std::nullopt;
}

constexpr Type kTypes[] = {Type::Bool, Type::Dint, Type::Time, Type::Real, Type::String};
constexpr Area kAreas[] = {kAreaBool, kAreaInt, kAreaReal, kAreaChar};
constexpr Direction kDirections[] = {Direction::Input, Direction::Output, Direction::Internal};
constexpr ObjectKind kObjectKinds[] = {ObjectKind::Actor, ObjectKind::Product};

// "#rrggbb"
bool isColour(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') return false;
    for (std::size_t k = 1; k < 7; ++k)
        if (!std::isxdigit(static_cast<unsigned char>(text[k]))) return false;
    return true;
}

// Reads the members of one entry; each getter throws a message on a missing or mistyped
// member, which the parser turns into its error.
struct Entry {
    const json& value;
    std::string where;

    const json& member(const char* key) const {
        auto it = value.find(key);
        if (it == value.end()) throw std::runtime_error(where + " has no \"" + key + "\"");
        return *it;
    }
    std::string text(const char* key) const {
        const json& m = member(key);
        if (!m.is_string()) throw std::runtime_error(where + ": \"" + key + "\" is not a string");
        return m.get<std::string>();
    }
    int32_t number(const char* key, int32_t low = 0) const {
        const json& m = member(key);
        if (!m.is_number_integer() || m.get<int64_t>() < low || m.get<int64_t>() > INT32_MAX)
            throw std::runtime_error(where + ": \"" + key + "\" is not a whole number from " + std::to_string(low));
        return static_cast<int32_t>(m.get<int64_t>());
    }
    template <typename E, std::size_t N>
    E choice(const char* key, const E (&values)[N], const char* (*name)(E)) const {
        const std::string t = text(key);
        if (std::optional<E> v = fromName(t, values, name)) return *v;
        throw std::runtime_error(where + ": \"" + key + "\" cannot be \"" + t + "\"");
    }
};

SymbolSet::Variable readVariable(const json& value, std::size_t k) {
    if (!value.is_object()) throw std::runtime_error("variable " + std::to_string(k) + " is not an object");
    Entry e{value, "variable " + std::to_string(k)};
    SymbolSet::Variable v;
    v.name = e.text("name");
    if (v.name.empty()) throw std::runtime_error(e.where + " has an empty name");
    e.where = "variable " + v.name;
    v.type = e.choice("type", kTypes, typeName);
    v.area = e.choice("area", kAreas, areaName);
    if (v.area != areaOf(v.type))
        throw std::runtime_error(e.where + ": a " + typeName(v.type) + " does not live in the " + areaName(v.area) +
                                 " area");
    v.slot = e.number("slot");
    v.direction = e.choice("direction", kDirections, directionName);
    if (value.contains("comment")) v.comment = e.text("comment");
    return v;
}

SceneObject readObject(const json& value, std::size_t k) {
    if (!value.is_object()) throw std::runtime_error("object " + std::to_string(k) + " is not an object");
    Entry e{value, "object " + std::to_string(k)};
    SceneObject o;
    o.name = e.text("name");
    e.where = "object " + o.name;
    o.kind = e.choice("kind", kObjectKinds, objectKindName);
    o.kindId = e.number("kindId", 2);
    o.index = e.number("index");
    o.matrixSlot = e.number("matrixSlot");
    o.statusSlot = e.number("statusSlot");
    o.colour = e.text("colour");
    if (!isColour(o.colour)) throw std::runtime_error(e.where + ": \"colour\" is not \"#rrggbb\"");
    return o;
}

}  // namespace

// ---- Writing ------------------------------------------------------------------------------

std::string writeDescription(const SymbolSet& set) {
    auto str = [](const std::string& s) { return json(s).dump(); };
    std::ostringstream out;
    out << "{\n  \"format\": " << str(kDescriptionFormat) << ", \"version\": " << kDescriptionVersion << ",\n"
        << "  \"program\": " << str(set.program()) << ", \"revision\": " << set.revision() << ",\n"
        << "  \"variables\": [";
    const char* separator = "\n    ";
    for (const SymbolSet::Variable& v : set.variables()) {
        out << separator << "{\"name\": " << str(v.name) << ", \"type\": \"" << typeName(v.type) << "\", \"area\": \""
            << areaName(v.area) << "\", \"slot\": " << v.slot << ", \"direction\": \"" << directionName(v.direction)
            << "\", \"comment\": " << str(v.comment) << "}";
        separator = ",\n    ";
    }
    out << (set.variables().empty() ? "" : "\n  ") << "],\n  \"objects\": [";
    separator = "\n    ";
    for (const SceneObject& o : set.objects()) {
        out << separator << "{\"name\": " << str(o.name) << ", \"kind\": \"" << objectKindName(o.kind)
            << "\", \"kindId\": " << o.kindId << ", \"index\": " << o.index << ", \"matrixSlot\": " << o.matrixSlot
            << ", \"statusSlot\": " << o.statusSlot << ", \"colour\": " << str(o.colour) << "}";
        separator = ",\n    ";
    }
    out << (set.objects().empty() ? "" : "\n  ") << "]\n}\n";
    return out.str();
}

bool writeDescriptionFile(const std::string& path, const std::string& text, std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file << text;
    if (file) file.close();
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

// ---- Reading ------------------------------------------------------------------------------

std::optional<SymbolSet> parseDescription(const std::string& text, std::string& error) {
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        error = "not a JSON object";
        return std::nullopt;
    }
    try {
        Entry top{document, "the description"};
        if (top.text("format") != kDescriptionFormat)
            throw std::runtime_error(std::string("\"format\" is not \"") + kDescriptionFormat + "\"");
        if (top.number("version") != kDescriptionVersion)
            throw std::runtime_error("version " + std::to_string(top.number("version")) + " is not known (" +
                                     std::to_string(kDescriptionVersion) + " is)");
        const std::string program = top.text("program");
        const int32_t revision = top.number("revision", 1);
        if (revision > 3) throw std::runtime_error("revision " + std::to_string(revision) + " is not 1, 2 or 3");
        const json& variables = top.member("variables");
        const json& objects = document.contains("objects") ? document["objects"] : json::array();
        if (!variables.is_array() || !objects.is_array())
            throw std::runtime_error("\"variables\" and \"objects\" must be arrays");
        std::vector<SymbolSet::Variable> vs;
        for (std::size_t k = 0; k < variables.size(); ++k) vs.push_back(readVariable(variables[k], k));
        std::vector<SceneObject> os;
        for (std::size_t k = 0; k < objects.size(); ++k) os.push_back(readObject(objects[k], k));
        return SymbolSet(program, revision, std::move(vs), std::move(os));
    } catch (const std::exception& problem) {
        error = problem.what();
        return std::nullopt;
    }
}

std::optional<SymbolSet> readDescriptionFile(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    std::optional<SymbolSet> set = parseDescription(text.str(), error);
    if (!set) error = path + ": " + error;
    return set;
}

}  // namespace qv::symbols
