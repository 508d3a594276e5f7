// Symbol descriptions: a program's variables and scene objects as one JSON document
// ("<program>.symbols.json" beside the program), the same for the built-in programs and
// for models built with the SDK, so that every supervisor names them alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "supervisor/core/symbols/symbols.h"

namespace qv::symbols {

inline constexpr const char* kDescriptionFormat = "qv-symbols";
inline constexpr int kDescriptionVersion = 1;
inline constexpr const char* kDescriptionSuffix = ".symbols.json";

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
    };

    SymbolSet(std::string program, int revision, std::vector<Variable> variables, std::vector<SceneObject> objects);
    SymbolSet(SymbolSet&& other) noexcept;
    SymbolSet& operator=(SymbolSet&& other) noexcept;
    SymbolSet(const SymbolSet&) = delete;
    SymbolSet& operator=(const SymbolSet&) = delete;

    const std::string& program() const { return program_; }
    int revision() const { return revision_; }
    const std::vector<Variable>& variables() const { return variables_; }
    const std::vector<SceneObject>& objects() const { return objects_; }
    const ProgramSymbols& table() const { return table_; }

private:
    void viewTable();

    std::string program_;
    int revision_;
    std::vector<Variable> variables_;
    std::vector<SceneObject> objects_;
    std::vector<Symbol> symbols_;  // names point into variables_
    ProgramSymbols table_;
};

// The built-in table of `facts.program` as a symbol set (no objects, empty comments).
SymbolSet builtInSymbolSet(const ProgramSymbols& table, int revision);

// The JSON text of a description (two-space indent, one variable or object per line).
std::string writeDescription(const SymbolSet& set);

// Reads a description; nothing, with `error` saying why, when the text is not one.
std::optional<SymbolSet> parseDescription(const std::string& text, std::string& error);
std::optional<SymbolSet> readDescriptionFile(const std::string& path, std::string& error);

// Writes the text to `path`; false, with `error`, when it cannot.
bool writeDescriptionFile(const std::string& path, const std::string& text, std::string& error);

// The names used in the description for types, areas, directions and object kinds.
const char* typeName(Type type);
const char* areaName(Area area);
const char* directionName(Direction direction);
const char* objectKindName(ObjectKind kind);

}  // namespace qv::symbols
