// Writing and reading symbol descriptions. The reader trusts nothing: a file that is not
// a description of this format and version, or whose entries are out of shape, is refused
// with the reason.
#include "supervisor/core/symbols/description.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace qv::symbols {

using nlohmann::json;

// ---- The set ------------------------------------------------------------------------------

SymbolSet::SymbolSet(std::string program, int revision, std::vector<Variable> variables,
                     std::vector<SceneObject> objects, SourceMap sourceMap)
    : program_(std::move(program)), revision_(revision), variables_(std::move(variables)),
      objects_(std::move(objects)), sourceMap_(std::move(sourceMap)) {
    symbols_.reserve(variables_.size());
    for (const Variable& v : variables_)
        symbols_.push_back(Symbol{v.name.c_str(), v.area, v.slot, v.type, v.direction, v.operatorInput});
    index();
    viewTable();
}

// Moving a vector or a map keeps its heap blocks, so the names, the indexes' keys and
// their pointers stay valid; only the view of the table is rebuilt.
SymbolSet::SymbolSet(SymbolSet&& other) noexcept
    : program_(std::move(other.program_)), revision_(other.revision_), variables_(std::move(other.variables_)),
      objects_(std::move(other.objects_)), sourceMap_(std::move(other.sourceMap_)),
      symbols_(std::move(other.symbols_)), byName_(std::move(other.byName_)),
      bySuffix_(std::move(other.bySuffix_)), enumsByName_(std::move(other.enumsByName_)), locationsByNumber_(std::move(other.locationsByNumber_)),
      instancesByNumber_(std::move(other.instancesByNumber_)), instancesByPath_(std::move(other.instancesByPath_)) {
    viewTable();
}

SymbolSet& SymbolSet::operator=(SymbolSet&& other) noexcept {
    program_ = std::move(other.program_);
    revision_ = other.revision_;
    variables_ = std::move(other.variables_);
    objects_ = std::move(other.objects_);
    sourceMap_ = std::move(other.sourceMap_);
    symbols_ = std::move(other.symbols_);
    byName_ = std::move(other.byName_);
    bySuffix_ = std::move(other.bySuffix_);
    enumsByName_ = std::move(other.enumsByName_);
    locationsByNumber_ = std::move(other.locationsByNumber_);
    instancesByNumber_ = std::move(other.instancesByNumber_);
    instancesByPath_ = std::move(other.instancesByPath_);
    viewTable();
    return *this;
}

// The first of equal names wins, as a search in order would find it.
void SymbolSet::index() {
    byName_.reserve(variables_.size());
    for (std::size_t k = 0; k < variables_.size(); ++k) {
        const std::string_view name = variables_[k].name;
        byName_.emplace(name, static_cast<uint32_t>(k));
        for (std::size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', dot + 1))
            if (dot + 1 < name.size()) bySuffix_.emplace(name.substr(dot + 1), static_cast<uint32_t>(k));
    }
    for (const EnumType& e : sourceMap_.enums) enumsByName_.emplace(e.name, &e);
    for (const SourceLocation& l : sourceMap_.locations) locationsByNumber_.emplace(l.location, &l);
    for (const InstanceName& i : sourceMap_.instances) {
        instancesByNumber_.emplace(i.number, &i);
        instancesByPath_.emplace(i.path, &i);
    }
}

// The program's name may live inside the string object itself: the view is rebuilt
// whenever the set moves.
void SymbolSet::viewTable() { table_ = ProgramSymbols{program_.c_str(), symbols_, &byName_}; }

const SymbolSet::Variable* SymbolSet::findVariable(std::string_view name) const {
    const auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &variables_[found->second];
}

std::vector<const SymbolSet::Variable*> SymbolSet::variablesEndingWith(std::string_view suffix) const {
    std::vector<uint32_t> found;
    const auto [first, last] = bySuffix_.equal_range(suffix);
    for (auto it = first; it != last; ++it) found.push_back(it->second);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<const Variable*> list;
    list.reserve(found.size());
    for (const uint32_t k : found) list.push_back(&variables_[k]);
    return list;
}

const EnumType* SymbolSet::findEnum(std::string_view name) const {
    const auto found = enumsByName_.find(name);
    return found == enumsByName_.end() ? nullptr : found->second;
}

const SourceLocation* SymbolSet::findLocation(int32_t location) const {
    const auto found = locationsByNumber_.find(location);
    return found == locationsByNumber_.end() ? nullptr : found->second;
}

const InstanceName* SymbolSet::findInstance(int32_t number) const {
    const auto found = instancesByNumber_.find(number);
    return found == instancesByNumber_.end() ? nullptr : found->second;
}

const InstanceName* SymbolSet::findInstance(std::string_view path) const {
    const auto found = instancesByPath_.find(path);
    return found == instancesByPath_.end() ? nullptr : found->second;
}

std::vector<int32_t> SymbolSet::locationsAt(std::string_view file, int32_t line) const {
    // The file as listed ("conveyor.st") or by the path it was read from.
    std::string_view listed = file;
    for (const SourceFile& f : sourceMap_.sources)
        if (f.path == file) listed = f.file;
    std::vector<int32_t> found;
    for (const SourceLocation& l : sourceMap_.locations)
        if (l.line == line && l.file == listed &&
            std::find(found.begin(), found.end(), l.location) == found.end())
            found.push_back(l.location);
    return found;
}

std::vector<int32_t> SymbolSet::locationsOfElement(std::string_view element) const {
    std::vector<int32_t> found;
    for (const SourceLocation& l : sourceMap_.locations)
        if (!l.element.empty() && sameIgnoringCase(l.element, element) && std::find(found.begin(), found.end(), l.location) == found.end())
            found.push_back(l.location);
    return found;
}

bool SymbolSet::needsVersion2() const {
    if (!sourceMap_.enums.empty() || !sourceMap_.sources.empty() || !sourceMap_.locations.empty() ||
        !sourceMap_.instances.empty())
        return true;
    for (const Variable& v : variables_) {
        const bool firstTypes = v.type == Type::Bool || v.type == Type::Dint || v.type == Type::Time ||
                                v.type == Type::Real || v.type == Type::String;
        if (!firstTypes || v.length != 0 || !v.address.empty()) return true;
    }
    return false;
}

const EnumType::Value* EnumType::byValue(int32_t value) const {
    for (const Value& v : values)
        if (v.value == value) return &v;
    return nullptr;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

const EnumType::Value* EnumType::byName(std::string_view wanted) const {
    for (const Value& v : values)
        if (sameIgnoringCase(v.name, wanted)) return &v;
    return nullptr;
}

SymbolSet builtInSymbolSet(const ProgramSymbols& table, int revision) {
    std::vector<SymbolSet::Variable> variables;
    variables.reserve(table.symbols.size());
    for (const Symbol& s : table.symbols) {
        SymbolSet::Variable v{s.name, s.area, s.slot, s.type, s.direction, "", "", 0, "", s.operatorInput};
        variables.push_back(std::move(v));
    }
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
        case Type::Sint: return "SINT";
        case Type::Int: return "INT";
        case Type::Byte: return "BYTE";
        case Type::Word: return "WORD";
        case Type::Dword: return "DWORD";
        case Type::Date: return "DATE";
        case Type::TimeOfDay: return "TIME_OF_DAY";
        case Type::DateAndTime: return "DATE_AND_TIME";
        case Type::Enum: return "ENUM";
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

constexpr Type kTypes[] = {Type::Bool, Type::Dint, Type::Time, Type::Real, Type::String,
                           Type::Sint, Type::Int, Type::Byte, Type::Word, Type::Dword,
                           Type::Date, Type::TimeOfDay, Type::DateAndTime, Type::Enum};
// The types version 1 knows: the first five.
constexpr int kVersion1Types = 5;
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
    bool flag(const char* key) const {
        auto it = value.find(key);
        if (it == value.end()) return false;
        if (!it->is_boolean()) throw std::runtime_error(where + ": \"" + key + "\" is not true or false");
        return it->get<bool>();
    }
    // An optional list: empty when absent.
    const json& list(const char* key) const {
        static const json kEmpty = json::array();
        auto it = value.find(key);
        if (it == value.end()) return kEmpty;
        if (!it->is_array()) throw std::runtime_error(where + ": \"" + key + "\" is not a list");
        return *it;
    }
    template <typename E, std::size_t N>
    E choice(const char* key, const E (&values)[N], const char* (*name)(E)) const {
        const std::string t = text(key);
        if (std::optional<E> v = fromName(t, values, name)) return *v;
        throw std::runtime_error(where + ": \"" + key + "\" cannot be \"" + t + "\"");
    }
};

SymbolSet::Variable readVariable(const json& value, std::size_t k, int version) {
    if (!value.is_object()) throw std::runtime_error("variable " + std::to_string(k) + " is not an object");
    Entry e{value, "variable " + std::to_string(k)};
    SymbolSet::Variable v;
    v.name = e.text("name");
    if (v.name.empty()) throw std::runtime_error(e.where + " has an empty name");
    e.where = "variable " + v.name;
    if (version == 1) {
        constexpr Type firstTypes[] = {kTypes[0], kTypes[1], kTypes[2], kTypes[3], kTypes[4]};
        static_assert(std::size(firstTypes) == kVersion1Types);
        v.type = e.choice("type", firstTypes, typeName);
    } else {
        v.type = e.choice("type", kTypes, typeName);
    }
    v.area = e.choice("area", kAreas, areaName);
    if (v.area != areaOf(v.type))
        throw std::runtime_error(e.where + ": a " + typeName(v.type) + " does not live in the " + areaName(v.area) +
                                 " area");
    v.slot = e.number("slot");
    v.direction = e.choice("direction", kDirections, directionName);
    if (value.contains("comment")) v.comment = e.text("comment");
    v.operatorInput = e.flag("operator");
    if (v.operatorInput && v.direction != Direction::Input)
        throw std::runtime_error(e.where + ": only an input is an operator's");
    if (version >= 2) {
        if (v.type == Type::Enum) v.enumName = e.text("enum");
        if (v.type == Type::String && value.contains("length")) {
            v.length = e.number("length", 1);
            if (v.length > 65535) throw std::runtime_error(e.where + ": \"length\" is above 65535");
        }
        if (value.contains("address")) v.address = e.text("address");
    }
    return v;
}

EnumType readEnum(const json& value, std::size_t k) {
    if (!value.is_object()) throw std::runtime_error("enum " + std::to_string(k) + " is not an object");
    Entry e{value, "enum " + std::to_string(k)};
    EnumType t;
    t.name = e.text("name");
    e.where = "enum " + t.name;
    const json& values = e.member("values");
    if (!values.is_array() || values.empty()) throw std::runtime_error(e.where + ": \"values\" is not a list of names");
    for (const json& item : values) {
        if (!item.is_object()) throw std::runtime_error(e.where + ": a value is not an object");
        Entry one{item, e.where};
        EnumType::Value v{one.text("name"), 0};
        const json& number = one.member("value");
        if (!number.is_number_integer() || number.get<int64_t>() < INT32_MIN || number.get<int64_t>() > INT32_MAX)
            throw std::runtime_error(e.where + ": " + v.name + " has no 32-bit whole value");
        v.value = static_cast<int32_t>(number.get<int64_t>());
        if (v.name.empty() || t.byName(v.name) != nullptr)
            throw std::runtime_error(e.where + ": the value name \"" + v.name + "\" is empty or given twice");
        t.values.push_back(std::move(v));
    }
    return t;
}

// Counts the entries of the source map as they are read: past kMaxDescriptionEntries the
// description is refused, whatever list holds them.
struct EntryBudget {
    std::size_t used = 0;
    void take(std::size_t count = 1) {
        used += count;
        if (used > kMaxDescriptionEntries)
            throw std::runtime_error("more than " + std::to_string(kMaxDescriptionEntries) +
                                     " entries in sources, locations, instances, charts and diagrams");
    }
};

// The optional members of the drawings: absent is empty or 0.
std::string optionalText(const Entry& e, const char* key) { return e.value.contains(key) ? e.text(key) : std::string(); }
int32_t optionalNumber(const Entry& e, const char* key, int32_t low = 0) {
    return e.value.contains(key) ? e.number(key, low) : 0;
}
double coordinate(const Entry& e, const char* key, bool required) {
    if (!required && !e.value.contains(key)) return 0.0;
    const json& m = e.member(key);
    if (!m.is_number() || !std::isfinite(m.get<double>()) || std::fabs(m.get<double>()) > 1e9)
        throw std::runtime_error(e.where + ": \"" + key + "\" is not a coordinate");
    return m.get<double>();
}
std::vector<std::string> names(const Entry& e, const char* key, EntryBudget& budget) {
    std::vector<std::string> list;
    for (const json& item : e.list(key)) {
        if (!item.is_string()) throw std::runtime_error(e.where + ": \"" + key + "\" holds something else than names");
        budget.take();
        list.push_back(item.get<std::string>());
    }
    return list;
}
const json& object(const json& item, const std::string& what) {
    if (!item.is_object()) throw std::runtime_error(what + " is not an object");
    return item;
}

// An action with its qualifier, as a step of a chart or an action block of a drawing
// lists it; a drawing gives the time as the project file's "duration".
Chart::Association readAssociation(const json& item, const std::string& where, EntryBudget& budget) {
    Entry one{object(item, "an action of " + where), "an action of " + where};
    budget.take();
    const std::string time = optionalText(one, "time");
    return {one.text("action"), optionalText(one, "qualifier"), time.empty() ? optionalText(one, "duration") : time,
            optionalText(one, "indicator")};
}

Chart readChart(const json& item, EntryBudget& budget) {
    Entry c{object(item, "a chart"), "a chart"};
    Chart chart;
    chart.pou = c.text("pou");
    chart.name = optionalText(c, "name");
    c.where = "chart " + chart.name + " of " + chart.pou;
    for (const json& s : c.list("steps")) {
        Entry e{object(s, "a step of " + c.where), "a step of " + c.where};
        budget.take();
        Chart::Step step;
        step.name = e.text("name");
        step.location = e.number("location", 1);
        e.where = "step " + step.name + " of " + c.where;
        step.initial = e.flag("initial");
        step.file = optionalText(e, "file");
        step.line = optionalNumber(e, "line");
        for (const json& a : e.list("actions")) step.actions.push_back(readAssociation(a, e.where, budget));
        chart.steps.push_back(std::move(step));
    }
    for (const json& t : c.list("transitions")) {
        Entry e{object(t, "a transition of " + c.where), "a transition of " + c.where};
        budget.take();
        Chart::Transition transition;
        transition.name = optionalText(e, "name");
        transition.from = names(e, "from", budget);
        transition.to = names(e, "to", budget);
        transition.line = optionalNumber(e, "line");
        transition.priority = optionalNumber(e, "priority", INT32_MIN);
        chart.transitions.push_back(std::move(transition));
    }
    for (const json& a : c.list("actions")) {
        Entry e{object(a, "an action of " + c.where), "an action of " + c.where};
        budget.take();
        chart.actions.push_back({e.text("name"), optionalText(e, "file"), optionalNumber(e, "line")});
    }
    return chart;
}

Diagram readDiagram(const json& item, EntryBudget& budget) {
    Entry d{object(item, "a diagram"), "a diagram"};
    Diagram diagram;
    diagram.pou = d.text("pou");
    diagram.language = optionalText(d, "language");
    diagram.file = optionalText(d, "file");
    d.where = "the " + diagram.language + " diagram of " + diagram.pou;
    for (const json& x : d.list("elements")) {
        Entry e{object(x, "an element of " + d.where), "an element of " + d.where};
        budget.take();
        Diagram::Element element;
        element.id = e.number("id");
        element.kind = e.text("kind");
        e.where = d.where + ", element " + std::to_string(element.id);
        element.type = optionalText(e, "type");
        element.instance = optionalText(e, "instance");
        element.x = coordinate(e, "x", true);
        element.y = coordinate(e, "y", true);
        element.width = coordinate(e, "width", false);
        element.height = coordinate(e, "height", false);
        element.line = optionalNumber(e, "line");
        element.location = optionalNumber(e, "location");
        element.rung = optionalNumber(e, "rung");
        element.variable = optionalText(e, "variable");
        element.name = optionalText(e, "name");
        for (const json& a : e.list("actions")) element.actions.push_back(readAssociation(a, e.where, budget));
        for (const json& i : e.list("inputs")) {
            Entry pin{object(i, "an input of " + e.where), "an input of " + e.where};
            budget.take();
            Diagram::Input input;
            input.pin = optionalText(pin, "pin");
            input.from = optionalNumber(pin, "from");
            input.fromPin = optionalText(pin, "fromPin");
            input.negated = pin.flag("negated");
            for (const json& p : pin.list("points")) {
                if (!p.is_array() || p.size() != 2 || !p[0].is_number() || !p[1].is_number() ||
                    !std::isfinite(p[0].get<double>()) || !std::isfinite(p[1].get<double>()))
                    throw std::runtime_error(pin.where + ": a point is not [x, y]");
                budget.take();
                input.points.emplace_back(p[0].get<double>(), p[1].get<double>());
            }
            element.inputs.push_back(std::move(input));
        }
        for (const json& o : e.list("outputs")) {
            Entry pin{object(o, "an output of " + e.where), "an output of " + e.where};
            budget.take();
            element.outputs.push_back({optionalText(pin, "pin"), pin.flag("negated"), optionalText(pin, "value")});
        }
        diagram.elements.push_back(std::move(element));
    }
    return diagram;
}

SourceMap readSourceMap(const Entry& top) {
    SourceMap map;
    EntryBudget budget;
    const json& enums = top.list("enums");
    for (std::size_t k = 0; k < enums.size(); ++k) map.enums.push_back(readEnum(enums[k], k));
    for (const json& item : top.list("sources")) {
        budget.take();
        if (!item.is_object()) throw std::runtime_error("a source is not an object");
        Entry e{item, "a source"};
        map.sources.push_back({e.text("file"), item.contains("path") ? e.text("path") : ""});
    }
    for (const json& item : top.list("locations")) {
        budget.take();
        if (!item.is_object()) throw std::runtime_error("a location is not an object");
        Entry e{item, "a location"};
        SourceLocation l;
        l.location = e.number("location", 1);
        e.where = "location " + std::to_string(l.location);
        l.file = e.text("file");
        l.line = e.number("line", 1);
        if (item.contains("column")) l.column = e.number("column");
        if (item.contains("endColumn")) l.endColumn = e.number("endColumn");
        if (item.contains("element")) l.element = e.text("element");
        map.locations.push_back(std::move(l));
    }
    for (const json& item : top.list("instances")) {
        budget.take();
        if (!item.is_object()) throw std::runtime_error("an instance is not an object");
        Entry e{item, "an instance"};
        InstanceName i;
        i.number = e.number("number", 1);
        i.path = e.text("path");
        if (item.contains("type")) i.type = e.text("type");
        map.instances.push_back(std::move(i));
    }
    for (const json& item : top.list("charts")) {
        map.charts.push_back(readChart(item, budget));
        for (const Chart::Step& step : map.charts.back().steps)
            map.chartSteps.push_back({map.charts.back().pou, step.name, step.location});
    }
    for (const json& item : top.list("diagrams")) map.diagrams.push_back(readDiagram(item, budget));
    return map;
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
    auto str = [](const std::string& s) { return json(s).dump(-1, ' ', false, json::error_handler_t::replace); };
    const int version = set.needsVersion2() ? 2 : 1;
    std::ostringstream out;
    out << "{\n  \"format\": " << str(kDescriptionFormat) << ", \"version\": " << version << ",\n"
        << "  \"program\": " << str(set.program()) << ", \"revision\": " << set.revision() << ",\n"
        << "  \"variables\": [";
    const char* separator = "\n    ";
    for (const SymbolSet::Variable& v : set.variables()) {
        out << separator << "{\"name\": " << str(v.name) << ", \"type\": \"" << typeName(v.type) << "\"";
        if (v.type == Type::Enum) out << ", \"enum\": " << str(v.enumName);
        if (v.length != 0) out << ", \"length\": " << v.length;
        out << ", \"area\": \"" << areaName(v.area) << "\", \"slot\": " << v.slot << ", \"direction\": \""
            << directionName(v.direction) << "\", \"comment\": " << str(v.comment);
        if (!v.address.empty()) out << ", \"address\": " << str(v.address);
        if (v.operatorInput) out << ", \"operator\": true";
        out << "}";
        separator = ",\n    ";
    }
    out << (set.variables().empty() ? "" : "\n  ") << "],\n";
    // One list of entries, one entry per line.
    auto list = [&out](const char* key, const auto& entries, auto&& write) {
        out << "  \"" << key << "\": [";
        const char* between = "\n    ";
        for (const auto& entry : entries) {
            out << between;
            write(entry);
            between = ",\n    ";
        }
        out << (entries.empty() ? "" : "\n  ") << "],\n";
    };
    if (version == 2) {
        const SourceMap& map = set.sourceMap();
        list("enums", map.enums, [&](const EnumType& e) {
            out << "{\"name\": " << str(e.name) << ", \"values\": [";
            for (std::size_t k = 0; k < e.values.size(); ++k)
                out << (k ? ", " : "") << "{\"name\": " << str(e.values[k].name) << ", \"value\": " << e.values[k].value
                    << "}";
            out << "]}";
        });
        list("sources", map.sources,
             [&](const SourceFile& f) { out << "{\"file\": " << str(f.file) << ", \"path\": " << str(f.path) << "}"; });
        list("locations", map.locations, [&](const SourceLocation& l) {
            out << "{\"location\": " << l.location << ", \"file\": " << str(l.file) << ", \"line\": " << l.line
                << ", \"column\": " << l.column << ", \"endColumn\": " << l.endColumn
                << (l.element.empty() ? "" : ", \"element\": " + str(l.element)) << "}";
        });
        list("instances", map.instances, [&](const InstanceName& i) {
            out << "{\"number\": " << i.number << ", \"path\": " << str(i.path) << ", \"type\": " << str(i.type) << "}";
        });
    }
    out << "  \"objects\": [";
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
    if (text.size() > kMaxDescriptionBytes) {
        error = "a symbol description is at most " + std::to_string(kMaxDescriptionBytes >> 20) + " MiB";
        return std::nullopt;
    }
    try {
        // The variables are read one by one as the parser meets them and left out of the
        // document, so that a large description never stands in memory as a tree.
        std::vector<SymbolSet::Variable> vs;
        int depthOneKey = 0;  // 1 after the top-level key "variables", 2 inside its array
        const json document = json::parse(
            text,
            [&](int depth, json::parse_event_t event, json& parsed) {
                using E = json::parse_event_t;
                if (depth == 1) {
                    if (event == E::key) depthOneKey = parsed == "variables" ? 1 : 0;
                    else if (event == E::array_start && depthOneKey == 1) depthOneKey = 2;
                    else if (event == E::array_end || event == E::object_start || event == E::value) depthOneKey = 0;
                    return true;
                }
                if (depth != 2 || depthOneKey != 2) return true;
                if (event != E::object_end && event != E::array_end && event != E::value) return true;
                if (vs.size() == kMaxDescriptionVariables)
                    throw std::runtime_error("more than " + std::to_string(kMaxDescriptionVariables) +
                                             " variables; a description holds at most " +
                                             std::to_string(kMaxDescriptionVariables));
                // Read by the rules of the last version; a version 1 description is held to
                // its own below.
                vs.push_back(readVariable(parsed, vs.size(), kDescriptionVersion));
                return false;
            },
            false);
        if (document.is_discarded() || !document.is_object()) {
            error = "not a JSON object";
            return std::nullopt;
        }
        Entry top{document, "the description"};
        if (top.text("format") != kDescriptionFormat)
            throw std::runtime_error(std::string("\"format\" is not \"") + kDescriptionFormat + "\"");
        const int32_t version = top.number("version");
        if (version < 1 || version > kDescriptionVersion)
            throw std::runtime_error("version " + std::to_string(version) + " is not known (1 to " +
                                     std::to_string(kDescriptionVersion) + " are)");
        const std::string program = top.text("program");
        const int32_t revision = top.number("revision", 1);
        if (revision > 3) throw std::runtime_error("revision " + std::to_string(revision) + " is not 1, 2 or 3");
        const json& variables = top.member("variables");
        const json& objects = document.contains("objects") ? document["objects"] : json::array();
        if (!variables.is_array() || !objects.is_array())
            throw std::runtime_error("\"variables\" and \"objects\" must be arrays");
        if (version == 1) {
            for (SymbolSet::Variable& v : vs) {
                if (static_cast<int>(v.type) >= kVersion1Types)
                    throw std::runtime_error("variable " + v.name + ": \"type\" cannot be \"" + typeName(v.type) + "\"");
                v.enumName.clear();
                v.length = 0;
                v.address.clear();
            }
        }
        std::vector<SceneObject> os;
        for (std::size_t k = 0; k < objects.size(); ++k) os.push_back(readObject(objects[k], k));
        SourceMap map = version >= 2 ? readSourceMap(top) : SourceMap{};
        SymbolSet set(program, revision, std::move(vs), std::move(os), std::move(map));
        for (const SymbolSet::Variable& v : set.variables())
            if (v.type == Type::Enum && set.findEnum(v.enumName) == nullptr)
                throw std::runtime_error("variable " + v.name + ": no enum \"" + v.enumName + "\" in \"enums\"");
        return set;
    } catch (const std::exception& problem) {
        error = problem.what();
        return std::nullopt;
    }
}

namespace {

// The whole file, read only when it is a regular file within the cap. The final name is
// not followed when it is a symbolic link, and opening does not block (a FIFO without a
// writer would hang an open for reading).
// `what` names the file in the messages ("symbol description", "source").
std::optional<std::string> readBoundedFile(const std::string& path, std::string& error, std::size_t cap,
                                           const std::string& what) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        // "name the description itself", as qvctl has always said of descriptions
        const std::string named = what == "symbol description" ? "description" : what;
        error = errno == ELOOP ? path + " is a symbolic link; name the " + named + " itself"
                               : "cannot read " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    std::optional<std::string> text;
    if (::fstat(fd, &info) != 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        const char* kind = S_ISDIR(info.st_mode)    ? "a folder"
                           : S_ISFIFO(info.st_mode) ? "a FIFO"
                           : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                                                                             : "not a regular file";
        error = path + " is " + kind + ", not a " + what + " file";
    } else if (static_cast<uint64_t>(info.st_size) > cap) {
        error = path + " holds " + std::to_string(info.st_size) + " bytes; a " + what + " is at most " +
                std::to_string(cap >> 20) + " MiB";
    } else {
        std::string data(static_cast<std::size_t>(info.st_size), '\0');
        std::size_t done = 0;
        // The file may change size while it is read: no more than its size at the check.
        while (done < data.size()) {
            const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        data.resize(done);
        text = std::move(data);
    }
    ::close(fd);
    return text;
}

}  // namespace

std::optional<SymbolSet> readDescriptionFile(const std::string& path, std::string& error) {
    std::optional<std::string> text = readBoundedFile(path, error, kMaxDescriptionBytes, "symbol description");
    if (!text) return std::nullopt;
    std::optional<SymbolSet> set = parseDescription(*text, error);
    if (!set) error = path + ": " + error;
    return set;
}

std::optional<std::string> readSourceFile(const SymbolSet& set, std::size_t index, std::string& error) {
    const std::vector<SourceFile>& sources = set.sourceMap().sources;
    if (index >= sources.size()) {
        error = "the program's description lists " + std::to_string(sources.size()) + " source files; there is no number " +
                std::to_string(index);
        return std::nullopt;
    }
    // Only a path as the compiler wrote it, from the root: a relative one would be read
    // from wherever the reader happens to run.
    const std::string& path = sources[index].path;
    if (path.empty() || path.front() != '/') {
        error = "the description gives no full path for " + sources[index].file;
        return std::nullopt;
    }
    return readBoundedFile(path, error, kMaxSourceBytes, "source");
}

}  // namespace qv::symbols
