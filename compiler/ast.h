// The syntax tree of Structured Text sources, as the parser builds it and the type
// checker annotates it (the fields under "checked").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compiler/diagnostics.h"

namespace qvc {

struct Type;
struct Variable;
struct Pou;
struct LibraryFunction;

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

// One argument of a call: positional (name empty), IN := x, or OUT => x.
struct Argument {
    std::string name;
    bool output = false;  // =>
    bool negated = false; // NOT OUT => x
    ExprPtr value;
    Location at;
};

struct Expr {
    enum Kind { Integer, Real, Bool, String, Duration, Date, TimeOfDay, DateTime, Name, Member, Index, Bit, Unary, Binary, Call };
    Kind kind;
    Location at;
    std::string text;    // Name, Member: the upper-case name; operators: the operator; literal prefix
    std::string raw;     // the name as written; String: the characters
    std::string qualifier; // Mode#Run: MODE
    int64_t integer = 0; // literals
    int64_t second = 0;
    double real = 0;
    std::vector<ExprPtr> operands;  // Member, Index, Bit: operands[0] is the base; Index: then subscripts
    std::vector<Argument> arguments; // Call
    bool parenthesised = false;

    // Checked:
    const Type* type = nullptr;
    const Variable* variable = nullptr;  // Name resolved to a variable
    int32_t enumValue = 0;               // Name resolved to an enumerated value
    bool isEnumValue = false;
    const Pou* function = nullptr;        // Call of a user function
    const LibraryFunction* library = nullptr;  // Call of a library function
    const Type* operandType = nullptr;    // Binary, Unary, Call: the type the operation works in
    std::string convertTo;                // implicit widening applied to this expression's value, as a type name
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct CaseLabel {
    ExprPtr low, high;  // high null: a single value
};
struct CaseBranch {
    std::vector<CaseLabel> labels;
    Block body;
};

struct Stmt {
    enum Kind { Assign, Call, If, Case, For, While, Repeat, Exit, Return, Empty };
    Kind kind;
    Location at;
    int endColumn = 0;
    ExprPtr target, value;               // Assign; Call: value is the call; For: target is the counter
    std::vector<ExprPtr> conditions;     // If: one per branch; While/Repeat: [0]; Case: [0] selector
    std::vector<Block> blocks;           // If: per condition, then ELSE; While/Repeat/For: [0]
    std::vector<CaseBranch> branches;    // Case
    Block elseBlock;                     // Case
    bool hasElse = false;
    ExprPtr from, to, by;                // For
    bool hidden = false;                 // written by the compiler: no breakpoint location of its own
};

// A type as written in a declaration.
struct TypeNode {
    enum Kind { Named, String, Array, Enum, Subrange, Struct };
    Kind kind = Named;
    Location at;
    std::string name;                    // Named, Subrange: the base; String: STRING
    ExprPtr length;                      // STRING[n]
    std::vector<std::pair<ExprPtr, ExprPtr>> dims;  // Array
    std::unique_ptr<TypeNode> element;   // Array
    std::vector<std::pair<std::string, ExprPtr>> enumValues;  // Enum: names (upper) and optional values
    std::vector<std::string> enumRaw;
    std::vector<Location> enumAt;
    ExprPtr low, high;                   // Subrange
    struct Member;
    std::vector<Member> members;         // Struct
};

// An initial value: an expression, an array list [3(0), 1] or a structure (a := 1, ...).
struct Initializer {
    enum Kind { None, Value, List, Fields };
    Kind kind = None;
    Location at;
    ExprPtr value;
    std::vector<std::pair<ExprPtr, std::unique_ptr<Initializer>>> list;  // repeat count (or null), element
    std::vector<std::pair<std::string, std::unique_ptr<Initializer>>> fields;
};

struct TypeNode::Member {
    std::string name, raw;
    Location at;
    std::unique_ptr<TypeNode> type;
    Initializer init;
};

enum class Section { Input, Output, InOut, Local, Temp, Global, External };

struct VarDecl {
    std::vector<std::string> names, raws;
    std::vector<Location> ats;
    Section section = Section::Local;
    bool constant = false;
    bool retain = false;
    std::string address;  // AT %IX0.0
    std::unique_ptr<TypeNode> type;
    Initializer init;
    std::string comment;
};

// Sequential function charts, as written in a PROGRAM or FUNCTION_BLOCK body.
struct SfcAssociation {
    std::string action, raw;      // the ACTION's or the boolean variable's name
    std::string qualifier;        // N R S P P0 P1 L D SD DS SL
    ExprPtr time;                 // L D SD DS SL
    std::string indicator, indicatorRaw;
    Location at, qualifierAt, indicatorAt;
};
struct SfcStep {
    std::string name, raw;
    Location at;
    bool initial = false;
    std::vector<SfcAssociation> associations;
};
struct SfcTransition {
    std::string name, raw;        // empty: unnamed
    Location at;
    ExprPtr priority;
    std::vector<std::string> from, to;
    std::vector<Location> fromAt, toAt;
    ExprPtr condition;            // := expression;
    Block body;                   // : statements (assigning the transition's name)
    bool hasBody = false;
};
struct SfcAction {
    std::string name, raw;
    Location at;
    Block body;
};
struct Sfc {
    std::vector<SfcStep> steps;
    std::vector<SfcTransition> transitions;
    std::vector<SfcAction> actions;
    std::size_t position = 0;     // the body's statements before the chart's evolution
    bool present() const { return !steps.empty() || !transitions.empty() || !actions.empty(); }
};

struct PouDecl {
    enum Kind { Function, FunctionBlock, Program };
    Kind kind;
    std::string name, raw;
    Location at;
    std::unique_ptr<TypeNode> result;  // Function
    std::vector<VarDecl> vars;
    Block body;
    Location endAt;
    Sfc sfc;
};

struct TypeDecl {
    std::string name, raw;
    Location at;
    std::unique_ptr<TypeNode> node;
    Initializer init;
};

// CONFIGURATION / RESOURCE / TASK / PROGRAM ... WITH ...; their VAR_GLOBAL go to the
// unit's globals.
struct TaskDecl {
    std::string name, raw;
    Location at;
    ExprPtr interval, priority, single;
};
struct ProgramInstanceDecl {
    std::string name, raw, task, type, typeRaw;
    Location at, taskAt, typeAt;
    std::vector<Argument> arguments;
};
struct ResourceDecl {
    std::string name, raw;
    Location at;
    std::vector<TaskDecl> tasks;
    std::vector<ProgramInstanceDecl> programs;
};
struct ConfigurationDecl {
    std::string name, raw;
    Location at;
    std::vector<ResourceDecl> resources;
};

struct Unit {
    std::vector<TypeDecl> types;
    std::vector<PouDecl> pous;
    std::vector<VarDecl> globals;  // VAR_GLOBAL outside any POU
    std::vector<ConfigurationDecl> configurations;
};

}  // namespace qvc
