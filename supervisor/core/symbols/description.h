// Symbol descriptions: a program's variables and scene objects as one JSON document
// ("<program>.symbols.json" beside the program), the same for the built-in programs and
// for models built with the SDK, so that every supervisor names them alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "supervisor/core/symbols/symbols.h"

namespace qv::symbols {

inline constexpr const char* kDescriptionFormat = "qv-symbols";
// Version 1 knows BOOL, DINT, TIME, REAL and STRING; version 2 adds the other elementary
// types, enumerations, string lengths, located addresses and the source map (files,
// locations, instances). A set that uses nothing of version 2 is written as version 1.
inline constexpr int kDescriptionVersion = 2;
inline constexpr const char* kDescriptionSuffix = ".symbols.json";

// What a description may hold, so that a file from anywhere costs bounded memory and time.
inline constexpr std::size_t kMaxDescriptionBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxDescriptionVariables = 1000000;
// The entries of the source map together (sources, locations, instances, every step,
// transition, action and association of the charts, every element, pin and wire corner of
// the diagrams).
inline constexpr std::size_t kMaxDescriptionEntries = 4000000;
// A source file the description lists is served only up to this size.
inline constexpr std::size_t kMaxSourceBytes = std::size_t{8} << 20;

// Whether two IEC names are the same name: IEC names ignore case.
bool sameIgnoringCase(std::string_view a, std::string_view b);

// An enumerated type: its value names with their values.
struct EnumType {
    struct Value {
        std::string name;
        int32_t value = 0;
    };
    std::string name;
    std::vector<Value> values;

    const Value* byValue(int32_t value) const;
    const Value* byName(std::string_view wanted) const;  // names compare without case
};

// A source file of a compiled program ("conveyor.st") and where it was read from.
struct SourceFile {
    std::string file;
    std::string path;
};

// A breakpointable location and the source text it stands for.
struct SourceLocation {
    int32_t location = 0;
    std::string file;
    int32_t line = 0;
    int32_t column = 0;
    int32_t endColumn = 0;
    std::string element;  // a drawn element it stands for: "Counter@block:7", "Counter@rung:3"
};

// An instance number as the program passes it to its breakpoint calls, and its path.
struct InstanceName {
    int32_t number = 0;
    std::string path;  // "Main.Timer1"
    std::string type;  // "TON"
};

// A step of a compiled chart: the POU that holds it, its name, and the location the
// program passes to its breakpoint call when the step becomes active.
struct ChartStep {
    std::string pou;
    std::string name;
    int32_t location = 0;
};
// A compiled chart as a supervisor draws it: its steps with their action associations,
// its transitions between lists of steps, and its ACTION blocks, each with its source line.
struct Chart {
    struct Association {
        std::string action;
        std::string qualifier;
        std::string time;       // "T#3s" for the timed qualifiers, when the description gives it
        std::string indicator;  // the indicator variable, or empty
    };
    struct Step {
        std::string name;
        bool initial = false;
        std::string file;
        int32_t line = 0;
        int32_t location = 0;
        std::vector<Association> actions;
    };
    struct Transition {
        std::string name;  // the transition's variable in the POU ("TRANSITION1" when unnamed)
        std::vector<std::string> from, to;
        int32_t line = 0;
        int32_t priority = 0;
    };
    struct Action {
        std::string name;
        std::string file;
        int32_t line = 0;
    };
    std::string pou;
    std::string name;
    std::vector<Step> steps;
    std::vector<Transition> transitions;
    std::vector<Action> actions;
};

// A graphical body (FBD, LD or SFC of a project file) as drawn in its editor: each
// element at its place, with its wires and the variables their values are read from.
struct Diagram {
    struct Input {
        std::string pin;
        int32_t from = 0;  // the element the wire comes from (0: none)
        std::string fromPin;
        bool negated = false;
        std::vector<std::pair<double, double>> points;  // the wire's corners, in drawing units
    };
    struct Output {
        std::string pin;
        bool negated = false;
        std::string value;  // the variable carried, relative to the POU instance ("" when none)
    };
    struct Element {
        int32_t id = 0;
        std::string kind;  // block, inVariable, contact, coil, step, ...
        std::string type;
        std::string instance;
        double x = 0, y = 0, width = 0, height = 0;
        int32_t line = 0;
        int32_t location = 0;  // 0 when the element compiled to no statement
        int32_t rung = 0;
        std::string variable;
        std::string name;  // a step's name, a jump's target, a transition's reference
        std::vector<Chart::Association> actions;  // an action block's
        std::vector<Input> inputs;
        std::vector<Output> outputs;
    };
    std::string pou;
    std::string language;  // "FBD", "LD", "SFC"
    std::string file;
    std::vector<Element> elements;
};

// What a compiled program's description adds to its variables.
struct SourceMap {
    std::vector<EnumType> enums;
    std::vector<SourceFile> sources;
    std::vector<SourceLocation> locations;
    std::vector<InstanceName> instances;
    std::vector<ChartStep> chartSteps;  // read from `charts`, for step breakpoints by path
    std::vector<Chart> charts;
    std::vector<Diagram> diagrams;
};

enum class ObjectKind : uint8_t { Actor, Product };

// One entry of the object table.
struct SceneObject {
    std::string name;
    ObjectKind kind = ObjectKind::Actor;
    int32_t kindId = 0;      // the entry's kind identifier
    int32_t index = 0;       // object index in the table
    int32_t matrixSlot = 0;  // absolute real slot of placement element 0 (16 reals, row-major)
    int32_t statusSlot = 0;  // absolute integer slot of the status (1 present, 2 removed)
    std::string colour;      // "#rrggbb"
};

// A program's symbol set. It owns its names; `table()` views it as a ProgramSymbols, so
// findSymbol and everything written for the built-in tables serve it too. Moving keeps
// that view valid; copying is not offered.
class SymbolSet {
public:
    struct Variable {
        std::string name;
        Area area = kAreaBool;
        int32_t slot = 0;
        Type type = Type::Bool;
        Direction direction = Direction::Internal;
        std::string comment;
        std::string enumName{};  // an ENUM's type, one of enums()
        int32_t length = 0;    // a STRING's declared length; 0 when the description gives none
        std::string address{};   // a located variable's address ("%MW0"), else empty
        bool operatorInput = false;
    };

    SymbolSet(std::string program, int revision, std::vector<Variable> variables, std::vector<SceneObject> objects,
              SourceMap sourceMap = {});
    SymbolSet(SymbolSet&& other) noexcept;
    SymbolSet& operator=(SymbolSet&& other) noexcept;
    SymbolSet(const SymbolSet&) = delete;
    SymbolSet& operator=(const SymbolSet&) = delete;

    const std::string& program() const { return program_; }
    int revision() const { return revision_; }
    const std::vector<Variable>& variables() const { return variables_; }
    const std::vector<SceneObject>& objects() const { return objects_; }
    const ProgramSymbols& table() const { return table_; }
    const SourceMap& sourceMap() const { return sourceMap_; }

    // The variable `name` (null when there is none), found through an index.
    const Variable* findVariable(std::string_view name) const;
    // The variables a short path names: those whose name ends with "." + `suffix`
    // ("Main.Fill.X" for "Cell.Res1.Main.Fill.X"), in the set's order.
    std::vector<const Variable*> variablesEndingWith(std::string_view suffix) const;
    const EnumType* findEnum(std::string_view name) const;
    // The source text of a location and the path of an instance number, or null.
    const SourceLocation* findLocation(int32_t location) const;
    const InstanceName* findInstance(int32_t number) const;
    const InstanceName* findInstance(std::string_view path) const;
    // The locations on line `line` of `file` (its name as listed, or its path).
    std::vector<int32_t> locationsAt(std::string_view file, int32_t line) const;
    // The locations of a drawn element ("Counter@block:7"; the POU's name in any case).
    std::vector<int32_t> locationsOfElement(std::string_view element) const;

    // True when the set needs version 2 to be written.
    bool needsVersion2() const;

private:
    void index();
    void viewTable();

    std::string program_;
    int revision_;
    std::vector<Variable> variables_;
    std::vector<SceneObject> objects_;
    SourceMap sourceMap_;
    std::vector<Symbol> symbols_;  // names point into variables_
    // Keys point into the strings of the vectors above, whose heap blocks moving keeps.
    NameIndex byName_;
    // Every dotted name under each of its proper suffixes that starts after a '.': as many
    // keys as the names have dots, so building stays linear in the names' length.
    std::unordered_multimap<std::string_view, uint32_t> bySuffix_;
    std::unordered_map<std::string_view, const EnumType*> enumsByName_;
    std::unordered_map<int32_t, const SourceLocation*> locationsByNumber_;
    std::unordered_map<int32_t, const InstanceName*> instancesByNumber_;
    std::unordered_map<std::string_view, const InstanceName*> instancesByPath_;
    ProgramSymbols table_;
};

// The built-in table of `facts.program` as a symbol set (no objects, empty comments).
SymbolSet builtInSymbolSet(const ProgramSymbols& table, int revision);

// The JSON text of a description (two-space indent, one variable or object per line).
std::string writeDescription(const SymbolSet& set);

// Reads a description; nothing, with `error` saying why, when the text is not one.
std::optional<SymbolSet> parseDescription(const std::string& text, std::string& error);
// A description file is read only when it is a regular file of at most
// kMaxDescriptionBytes, opened without following a final symbolic link and without
// blocking (a FIFO, a device or a folder is refused with a message).
std::optional<SymbolSet> readDescriptionFile(const std::string& path, std::string& error);

// The text of the description's source file number `index` (its position in `sources`),
// read from the path the description gives for it, by the same rules as a description
// file and within kMaxSourceBytes; nothing, with `error`, when it cannot be read.
std::optional<std::string> readSourceFile(const SymbolSet& set, std::size_t index, std::string& error);

// Writes the text to `path`; false, with `error`, when it cannot.
bool writeDescriptionFile(const std::string& path, const std::string& text, std::string& error);

// The names used in the description for types, areas, directions and object kinds.
const char* typeName(Type type);
const char* areaName(Area area);
const char* directionName(Direction direction);
const char* objectKindName(ObjectKind kind);

}  // namespace qv::symbols
