// What qvctl works on: a mapped image, the runtime revision of the program in it, and the
// program's facts and symbol table when it is recognised.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "supervisor/core/image_view.h"
#include "supervisor/core/symbols/recognition.h"
#include "supervisor/core/symbols/lookup.h"
#include "supervisor/core/symbols/symbols.h"

namespace qv::ctl {

struct Target {
    std::string name;                              // the image's name
    ImageView view;
    int revision;                                  // 1, 2 or 3
    const symbols::ProgramFacts* facts = nullptr;  // null: not a known program
    const symbols::ProgramSymbols* table = nullptr;
    // The program's symbol set (variables and scene objects) when one was found: the
    // built-in table's, or the description's, which `table` then views.
    std::shared_ptr<const symbols::SymbolSet> symbolSet;
};

// How a command asks for its image.
struct TargetRequest {
    std::string name;      // image name
    std::string model;     // "" to recognise the program
    int revision = 0;      // 0: from the program, else from the layout (2 and 3 read as 3)
    bool readOnly = false; // mapped for reading only (qvctl serve --read-only)
};

// Maps the image and recognises its program. On failure nothing is mapped and `error`
// says why: no such image, an image without a layout, an unknown model, or an image that
// holds another model than the one asked for.
// A program without a built-in table is named by the description beside its executable,
// else by `symbolsFile` (--symbols) when it is not empty.
std::optional<Target> openTarget(const TargetRequest& request, std::string& error,
                                 const std::string& symbolsFile = {});

// The image's slot counts and signature, as recognition reads them.
std::string describeContents(const Target& target);

// ---- Variables ----------------------------------------------------------------------------

enum class Kind : uint8_t {
    Bool,
    Int,  // DINT
    Real,
    Char,
    Time,  // four integer slots: two header slots, days, ticks of 100 us
    Text,  // a STRING in character slots: two capacity slots, one unused, then the characters
    Sint,
    Int16,  // INT
    Byte,
    Word,
    Dword,
    Date,         // three integer slots: two header slots, the day number
    TimeOfDay,    // three integer slots: two header slots, ticks since midnight
    DateAndTime,  // four integer slots: two header slots, day number, ticks since midnight
    Enum,
    String,  // a STRING of declared length, read and written as an IEC literal
};

struct Variable {
    std::string name;
    Area area;
    int32_t slot;  // absolute slot index in the area
    Kind kind;
    const char* role;  // "input", "output", "internal", "control" or "slot"
    int32_t length = 0;                          // a String's declared length
    const symbols::EnumType* enumType = nullptr;  // an Enum's names (owned by the target's set)
    // The control variable whose first slot this is, whatever name reached it (I311 is
    // `execstatus` in revisions 2 and 3), so that its values are checked alike; else null.
    const char* control = nullptr;
    bool operatorInput = false;
};

// The slots of its area a variable spans, and those that hold its value (a TIME: days and
// ticks after the two header slots).
int32_t slotSpan(const Variable& variable);
int32_t firstValueSlot(const Variable& variable);
int32_t valueSlotCount(const Variable& variable);

// A control variable, a variable of the program's symbol table, or a slot written as the
// trace file writes it (B5, I523, F10, C3). On failure nothing, and `error` says why.
std::optional<Variable> resolveVariable(const Target& target, std::string_view name, std::string& error);

// The one variable of a compiled program's description whose full path ends with
// "." + `name` (a short path). Null when none does, or when several do: `error` then
// lists them ("Fill.X is ambiguous: Cell.Res1.Main.Fill.X, Cell.Res2.Main.Fill.X").
const symbols::Symbol* findShortPath(const Target& target, std::string_view name, std::string& error);

// Every control variable of the image's revision.
std::vector<Variable> controlVariables(const Target& target);

// The name of the control variable whose first slot is (area, slot), or null.
const char* controlAt(const Target& target, int area, int32_t slot);

// "B5", "I523", "F10", "C3".
std::string slotName(int area, int32_t slot);

// The name under which a listed slot is best known: its symbol or control variable, else
// its slot name.
std::string nameOfSlot(const Target& target, int area, int32_t slot);

// The type's name as a description gives it ("DINT", "TIME_OF_DAY"); "CHAR" for a
// character slot.
const char* kindName(Kind kind);

// The variable a symbol of the target's table stands for, with what its description adds.
Variable variableOf(const Target& target, const symbols::Symbol& symbol);

}  // namespace qv::ctl
