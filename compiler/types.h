// Declarations and types: the elementary types as the library represents them, the
// derived types (aliases, enumerations, subranges, arrays, structures), function-block
// instances, and the slots each takes in the four areas of the image (booleans,
// integers, reals, characters).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "compiler/ast.h"

namespace qvc {

enum Area { kBool = 0, kInt = 1, kReal = 2, kChar = 3 };

// Slots per area.
struct Counts {
    std::array<int64_t, 4> n{};
    Counts& operator+=(const Counts& o) {
        for (int a = 0; a < 4; ++a) n[a] += o.n[a];
        return *this;
    }
    Counts times(int64_t k) const {
        Counts c;
        for (int a = 0; a < 4; ++a) c.n[a] = n[a] * k;
        return c;
    }
};

enum class Kind { Bool, Sint, Int, Dint, Byte, Word, Dword, Real, Time, Date, Tod, Dt, String, Enum, Array, Struct, UserBlock, LibraryBlock };

struct Type;
struct Pou;
struct LibraryBlock;

// A variable of a POU, a member of a structure or of a block.
struct Variable {
    std::string name, raw;
    Location at;
    const Type* type = nullptr;
    Counts offset;                 // from the frame's first slots
    Section section = Section::Local;
    bool constant = false;
    bool retain = false;
    bool byReference = false;     // VAR_IN_OUT, and a function's VAR_OUTPUT: a pointer per area
    int referenceIndex = 0;
    bool global = false;          // in the global frame
    std::string address;          // AT %IX0.0
    std::string comment;
    const Initializer* init = nullptr;
    bool used = false;
};

struct Type {
    Kind kind = Kind::Dint;
    std::string name;              // the IEC name: INT, STRING, or the derived type's name
    int32_t length = 0;            // STRING capacity
    bool ranged = false;           // a subrange
    int64_t low = 0, high = 0;
    std::vector<std::pair<std::string, int32_t>> values;  // enumeration (upper-case names)
    std::vector<std::string> valueRaws;
    const Type* element = nullptr;                        // array
    std::vector<std::pair<int32_t, int32_t>> dims;
    std::vector<Variable> members;                        // structure, block
    const Pou* pou = nullptr;                             // user function block
    const LibraryBlock* block = nullptr;                  // library function block
    const Initializer* init = nullptr;                    // the TYPE declaration's initial value
    Counts size;
    int32_t instances = 0;                                // user block instances inside (itself included)

    bool isInteger() const;   // SINT INT DINT BYTE WORD DWORD (and their subranges)
    bool isSigned() const { return kind == Kind::Sint || kind == Kind::Int || kind == Kind::Dint; }
    bool isBitString() const { return kind == Kind::Bool || kind == Kind::Byte || kind == Kind::Word || kind == Kind::Dword; }
    bool isNumeric() const { return isInteger() || kind == Kind::Real; }
    bool isElementary() const;
    bool isArrayShaped() const { return kind == Kind::Time || kind == Kind::Date || kind == Kind::Tod || kind == Kind::Dt || kind == Kind::String; }
    const Variable* member(const std::string& name) const;
    int64_t elementCount() const;
};

// The library's word for a type in function names (bool, sint, ..., str, time, tod, dt).
std::string typeWord(const Type& t);
// The range of an integer kind.
void integerRange(Kind kind, int64_t& low, int64_t& high);
// What a variable of the type is named in the symbol description ("INT", "ENUM", ...).
std::string descriptionType(const Type& t);

struct Pou {
    PouDecl::Kind kind;
    std::string name, raw;
    const PouDecl* decl = nullptr;
    std::vector<Variable> vars;    // in slot order
    const Type* result = nullptr;  // function
    Type* instanceType = nullptr;  // function block
    Counts size;                   // the frame
    int references = 0;            // pointer parameters (VAR_IN_OUT, function outputs)
    bool laidOut = false;
    bool layingOut = false;
    const Variable* var(const std::string& name) const;
};

// A library function block: its IEC members and the library functions that run it.
struct LibraryBlock {
    std::string name;              // TON
    std::vector<std::pair<std::string, std::string>> members;  // name, elementary type
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};
const LibraryBlock* libraryBlock(const std::string& name);

// Everything declared in the sources, with types resolved and frames laid out.
class Declarations {
public:
    Declarations(Unit& unit, Diagnostics& diagnostics);

    const Type* elementary(Kind kind) const { return elementary_[static_cast<int>(kind)]; }
    const Type* stringType(int32_t length);
    const Type* findType(const std::string& name) const;
    Pou* findPou(const std::string& name);
    const std::vector<std::unique_ptr<Pou>>& pous() const { return pous_; }
    const std::vector<Variable>& globals() const { return globals_; }
    const Counts& globalSize() const { return globalSize_; }
    const std::vector<const Type*>& enums() const { return enums_; }
    // An enumerated value by name: unique among all enumerations, or in the one named.
    bool findEnumValue(const std::string& qualifier, const std::string& name, const Type*& type, int32_t& value) const;
    // Evaluates a constant integer expression (literals, constants, + - * / MOD, unary -).
    bool constantInteger(const Expr& e, int64_t& value, const Pou* scope = nullptr) const;

private:
    const Type* resolve(const TypeNode& node, const std::string& name);
    const Type* resolveNamed(const TypeNode& node);
    void layOut(Pou& pou);
    void addVariables(const std::vector<const VarDecl*>& decls, std::vector<Variable>& into, Counts& size, bool function,
                      int& references);
    void finish(Type& t);

    Unit& unit_;
    Diagnostics& diag_;
    std::vector<std::unique_ptr<Type>> owned_;
    std::array<const Type*, 13> elementary_{};
    std::map<std::string, const Type*> types_;
    std::map<std::string, const TypeDecl*> typeDecls_;
    std::map<std::string, bool> resolving_;
    std::vector<std::unique_ptr<Pou>> pous_;
    std::vector<Variable> globals_;
    Counts globalSize_;
    std::vector<const Type*> enums_;
};

}  // namespace qvc
