#include "compiler/types.h"

#include <functional>

namespace qvc {

namespace {

const char* const kElementaryNames[] = {"BOOL", "SINT", "INT",  "DINT", "BYTE", "WORD",  "DWORD",
                                        "REAL", "TIME", "DATE", "TIME_OF_DAY", "DATE_AND_TIME", "STRING"};

// IEC types this compiler does not represent, refused with one message.
const char* const kUnsupported[] = {"USINT", "UINT", "UDINT", "ULINT", "LINT", "LWORD", "LREAL", "WSTRING", "CHAR",
                                    "WCHAR", "LTIME", "LDATE", "LTOD", "LDT", "LTIME_OF_DAY", "LDATE_AND_TIME"};

constexpr int32_t kMaxString = 65535;
constexpr int64_t kMaxSlots = 1000000;  // per area, so that a declaration cannot ask for the moon

}  // namespace

bool Type::isInteger() const {
    return kind == Kind::Sint || kind == Kind::Int || kind == Kind::Dint || kind == Kind::Byte || kind == Kind::Word ||
           kind == Kind::Dword;
}

bool Type::isElementary() const { return kind <= Kind::String; }

const Variable* Type::member(const std::string& n) const {
    for (const Variable& v : members)
        if (v.name == n) return &v;
    return nullptr;
}

int64_t Type::elementCount() const {
    int64_t count = 1;
    for (auto [lo, hi] : dims) count *= static_cast<int64_t>(hi) - lo + 1;
    return count;
}

const Variable* Pou::var(const std::string& n) const {
    for (const Variable& v : vars)
        if (v.name == n) return &v;
    return nullptr;
}

std::string typeWord(const Type& t) {
    switch (t.kind) {
        case Kind::Bool: return "bool";
        case Kind::Sint: return "sint";
        case Kind::Int: return "int";
        case Kind::Dint: return "dint";
        case Kind::Byte: return "byte";
        case Kind::Word: return "word";
        case Kind::Dword: return "dword";
        case Kind::Real: return "real";
        case Kind::Time: return "time";
        case Kind::Date: return "date";
        case Kind::Tod: return "tod";
        case Kind::Dt: return "dt";
        case Kind::String: return "str";
        case Kind::Enum: return "dint";
        default: return "";
    }
}

void integerRange(Kind kind, int64_t& low, int64_t& high) {
    switch (kind) {
        case Kind::Sint: low = -128; high = 127; return;
        case Kind::Int: low = -32768; high = 32767; return;
        case Kind::Byte: low = 0; high = 255; return;
        case Kind::Word: low = 0; high = 65535; return;
        case Kind::Dword: low = 0; high = 4294967295LL; return;
        case Kind::Bool: low = 0; high = 1; return;
        default: low = INT32_MIN; high = INT32_MAX; return;
    }
}

std::string descriptionType(const Type& t) {
    if (t.kind == Kind::Enum) return "ENUM";
    return kElementaryNames[static_cast<int>(t.kind)];
}

// ---- Library blocks ------------------------------------------------------------------------

const LibraryBlock* libraryBlock(const std::string& name) {
    static const std::vector<LibraryBlock> blocks = {
        {"R_TRIG", {{"CLK", "BOOL"}, {"Q", "BOOL"}, {"M", "INT"}}, {"CLK"}, {"Q"}},
        {"F_TRIG", {{"CLK", "BOOL"}, {"Q", "BOOL"}, {"M", "INT"}}, {"CLK"}, {"Q"}},
        {"RS", {{"S", "BOOL"}, {"R1", "BOOL"}, {"Q1", "INT"}}, {"S", "R1"}, {"Q1"}},
        {"SR", {{"S1", "BOOL"}, {"R", "BOOL"}, {"Q1", "INT"}}, {"S1", "R"}, {"Q1"}},
        {"CTU", {{"CU", "BOOL"}, {"R", "BOOL"}, {"PV", "INT"}, {"Q", "BOOL"}, {"CV", "INT"}, {"memo", "INT"}},
         {"CU", "R", "PV"}, {"Q", "CV"}},
        {"CTD", {{"CD", "BOOL"}, {"LD", "BOOL"}, {"PV", "INT"}, {"Q", "BOOL"}, {"CV", "INT"}, {"memo", "INT"}},
         {"CD", "LD", "PV"}, {"Q", "CV"}},
        {"CTUD",
         {{"CU", "BOOL"}, {"CD", "BOOL"}, {"R", "BOOL"}, {"LD", "BOOL"}, {"PV", "INT"}, {"QU", "BOOL"}, {"QD", "BOOL"},
          {"CV", "INT"}, {"memo", "INT"}},
         {"CU", "CD", "R", "LD", "PV"}, {"QU", "QD", "CV"}},
        {"TON", {{"IN", "BOOL"}, {"PT", "TIME"}, {"Q", "BOOL"}, {"ET", "TIME"}, {"memo", "DINT"}}, {"IN", "PT"}, {"Q", "ET"}},
        {"TOF", {{"IN", "BOOL"}, {"PT", "TIME"}, {"Q", "BOOL"}, {"ET", "TIME"}, {"running", "INT"}, {"memo", "DINT"}},
         {"IN", "PT"}, {"Q", "ET"}},
        {"TP", {{"IN", "BOOL"}, {"PT", "TIME"}, {"Q", "BOOL"}, {"ET", "TIME"}, {"memo", "DINT"}}, {"IN", "PT"}, {"Q", "ET"}},
    };
    for (const LibraryBlock& b : blocks)
        if (b.name == name) return &b;
    return nullptr;
}

// ---- Declarations ----------------------------------------------------------------------------

Declarations::Declarations(Unit& unit, Diagnostics& diagnostics) : unit_(unit), diag_(diagnostics) {
    for (int k = 0; k <= static_cast<int>(Kind::String); ++k) {
        auto t = std::make_unique<Type>();
        t->kind = static_cast<Kind>(k);
        t->name = kElementaryNames[k];
        if (t->kind == Kind::String) t->length = 80;
        finish(*t);
        elementary_[static_cast<std::size_t>(k)] = t.get();
        types_[t->name] = t.get();
        owned_.push_back(std::move(t));
    }
    types_["TOD"] = elementary(Kind::Tod);
    types_["DT"] = elementary(Kind::Dt);

    // Library blocks as types.
    for (const char* name : {"R_TRIG", "F_TRIG", "RS", "SR", "CTU", "CTD", "CTUD", "TON", "TOF", "TP"}) {
        const LibraryBlock* b = libraryBlock(name);
        auto t = std::make_unique<Type>();
        t->kind = Kind::LibraryBlock;
        t->name = name;
        t->block = b;
        for (const auto& [member, typeName] : b->members) {
            Variable v;
            v.name = member;
            v.raw = member;
            v.type = types_.at(typeName);
            v.offset = t->size;
            v.section = Section::Local;
            t->size += v.type->size;
            t->members.push_back(v);
        }
        types_[name] = t.get();
        owned_.push_back(std::move(t));
    }

    // User types and POUs by name first, so that declarations may come in any order.
    for (const TypeDecl& d : unit_.types) {
        if (types_.count(d.name) || typeDecls_.count(d.name)) {
            diag_.error(d.at, "type " + d.raw + " is declared twice");
            continue;
        }
        typeDecls_[d.name] = &d;
    }
    for (PouDecl& d : unit_.pous) {
        if (findPou(d.name) || types_.count(d.name) || typeDecls_.count(d.name)) {
            diag_.error(d.at, d.raw + " is declared twice");
            continue;
        }
        auto p = std::make_unique<Pou>();
        p->kind = d.kind;
        p->name = d.name;
        p->raw = d.raw;
        p->decl = &d;
        if (d.kind == PouDecl::FunctionBlock) {
            auto t = std::make_unique<Type>();
            t->kind = Kind::UserBlock;
            t->name = d.raw;
            t->pou = p.get();
            p->instanceType = t.get();
            types_[d.name] = t.get();
            owned_.push_back(std::move(t));
        }
        pous_.push_back(std::move(p));
    }
    for (const TypeDecl& d : unit_.types) {
        if (!typeDecls_.count(d.name) || typeDecls_.at(d.name) != &d || types_.count(d.name)) continue;
        TypeNode named;
        named.kind = TypeNode::Named;
        named.name = d.name;
        named.at = d.at;
        resolveNamed(named);
    }
    int references = 0;
    std::vector<const VarDecl*> globals;
    for (const VarDecl& g : unit_.globals) globals.push_back(&g);
    addVariables(globals, globals_, globalSize_, false, references);
    for (Variable& g : globals_) g.global = true;
    for (auto& p : pous_) layOut(*p);
}

const Type* Declarations::findType(const std::string& name) const {
    auto it = types_.find(name);
    return it == types_.end() ? nullptr : it->second;
}

Pou* Declarations::findPou(const std::string& name) {
    for (auto& p : pous_)
        if (p->name == name) return p.get();
    return nullptr;
}

const Type* Declarations::stringType(int32_t length) {
    const std::string name = "STRING[" + std::to_string(length) + "]";
    if (const Type* t = findType(name)) return t;
    auto t = std::make_unique<Type>();
    t->kind = Kind::String;
    t->name = "STRING";
    t->length = length;
    finish(*t);
    types_[name] = t.get();
    owned_.push_back(std::move(t));
    return owned_.back().get();
}

void Declarations::finish(Type& t) {
    Counts c;
    switch (t.kind) {
        case Kind::Bool: c.n[kBool] = 1; break;
        case Kind::Real: c.n[kReal] = 1; break;
        case Kind::Time: case Kind::Dt: c.n[kInt] = 4; break;
        case Kind::Date: case Kind::Tod: c.n[kInt] = 3; break;
        case Kind::String: c.n[kChar] = 3 + t.length; break;
        case Kind::Array: c = t.element->size.times(t.elementCount()); t.instances = static_cast<int32_t>(t.element->instances * t.elementCount()); break;
        case Kind::Struct:
            for (Variable& m : t.members) {
                m.offset = c;
                c += m.type->size;
                t.instances += m.type->instances;
            }
            break;
        default: c.n[kInt] = 1; break;
    }
    t.size = c;
}

bool Declarations::findEnumValue(const std::string& qualifier, const std::string& name, const Type*& type,
                                 int32_t& value) const {
    int found = 0;
    for (const Type* e : enums_) {
        if (!qualifier.empty() && e->name != qualifier) {
            bool upperMatch = false;
            std::string up;
            for (char ch : e->name) up += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            upperMatch = up == qualifier;
            if (!upperMatch) continue;
        }
        for (const auto& [n, v] : e->values)
            if (n == name) {
                if (found++ == 0) {
                    type = e;
                    value = v;
                }
            }
    }
    return found >= 1;
}

bool Declarations::constantInteger(const Expr& e, int64_t& value, const Pou* scope) const {
    switch (e.kind) {
        case Expr::Integer: value = e.integer; return true;
        case Expr::Bool: value = e.integer; return true;
        case Expr::Unary:
            if (e.text == "-" && constantInteger(*e.operands[0], value, scope)) {
                value = -value;
                return true;
            }
            return false;
        case Expr::Binary: {
            int64_t a = 0, b = 0;
            if (!constantInteger(*e.operands[0], a, scope) || !constantInteger(*e.operands[1], b, scope)) return false;
            if (a > (INT64_C(1) << 40) || a < -(INT64_C(1) << 40) || b > (INT64_C(1) << 40) || b < -(INT64_C(1) << 40)) return false;
            if (e.text == "+") value = a + b;
            else if (e.text == "-") value = a - b;
            else if (e.text == "*") value = a * b;
            else if (e.text == "/" && b != 0) value = a / b;
            else if (e.text == "MOD" && b != 0) value = a % b;
            else return false;
            return true;
        }
        case Expr::Name: {
            const Type* t = nullptr;
            int32_t v = 0;
            if (e.qualifier.empty()) {
                const Variable* var = scope ? scope->var(e.text) : nullptr;
                if (!var)
                    for (const Variable& g : globals_)
                        if (g.name == e.text) var = &g;
                if (var && var->constant && var->init && var->init->kind == Initializer::Value)
                    return constantInteger(*var->init->value, value, scope);
            }
            if (findEnumValue(e.qualifier, e.text, t, v)) {
                value = v;
                return true;
            }
            return false;
        }
        default: return false;
    }
}

const Type* Declarations::resolveNamed(const TypeNode& node) {
    if (const Type* t = findType(node.name)) return t;
    auto decl = typeDecls_.find(node.name);
    if (decl == typeDecls_.end()) {
        for (const char* u : kUnsupported)
            if (node.name == u) {
                diag_.error(node.at, "type " + node.name +
                                         " is not supported: use BOOL, SINT, INT, DINT, BYTE, WORD, DWORD, REAL, TIME, "
                                         "DATE, TIME_OF_DAY, DATE_AND_TIME or STRING");
                return nullptr;
            }
        diag_.error(node.at, "unknown type " + node.name);
        return nullptr;
    }
    if (resolving_[node.name]) {
        diag_.error(node.at, "type " + decl->second->raw + " is defined in terms of itself");
        return nullptr;
    }
    resolving_[node.name] = true;
    const Type* t = resolve(*decl->second->node, decl->second->raw);
    resolving_[node.name] = false;
    if (!t) return nullptr;
    if (decl->second->init.kind != Initializer::None || t->kind == Kind::Enum || t->kind == Kind::Struct || t->ranged) {
        // A named type of its own: an alias with an initial value keeps its own default.
        if (t->kind != Kind::Enum && t->kind != Kind::Struct && !t->ranged) {
            auto copy = std::make_unique<Type>(*t);
            t = copy.get();
            owned_.push_back(std::move(copy));
        }
        Type* own = const_cast<Type*>(t);
        if (decl->second->init.kind != Initializer::None) own->init = &decl->second->init;
    }
    types_[node.name] = t;
    return t;
}

const Type* Declarations::resolve(const TypeNode& node, const std::string& name) {
    switch (node.kind) {
        case TypeNode::Named: {
            if (node.name == "POINTER" || node.name == "REF_TO") {
                diag_.error(node.at, "pointers and references are not supported");
                return nullptr;
            }
            const Type* t = resolveNamed(node);
            if (t && t->kind == Kind::UserBlock && t->pou && t->pou->layingOut) {
                diag_.error(node.at, "function block " + t->name + " contains an instance of itself");
                return nullptr;
            }
            if (t && t->kind == Kind::UserBlock && !t->pou->laidOut) layOut(*const_cast<Pou*>(t->pou));
            if (t && t->kind == Kind::UserBlock && !t->pou->laidOut) return nullptr;
            return t;
        }
        case TypeNode::String: {
            int64_t n = 80;
            if (node.length && (!constantInteger(*node.length, n) || n < 1 || n > kMaxString)) {
                diag_.error(node.at, "a STRING's length is a constant from 1 to 65535");
                return nullptr;
            }
            if (node.name == "WSTRING") {
                diag_.error(node.at, "type WSTRING is not supported: use BOOL, SINT, INT, DINT, BYTE, WORD, DWORD, REAL, "
                                     "TIME, DATE, TIME_OF_DAY, DATE_AND_TIME or STRING");
                return nullptr;
            }
            return stringType(static_cast<int32_t>(n));
        }
        case TypeNode::Array: {
            const Type* element = resolve(*node.element, "");
            if (!element) return nullptr;
            auto t = std::make_unique<Type>();
            t->kind = Kind::Array;
            t->name = name.empty() ? "ARRAY" : name;
            t->element = element;
            int64_t count = 1;
            for (const auto& [lo, hi] : node.dims) {
                int64_t l = 0, h = 0;
                if (!constantInteger(*lo, l) || !constantInteger(*hi, h) || l > h || l < INT32_MIN || h > INT32_MAX) {
                    diag_.error(lo->at, "an array's bounds are constant integers, the lower not above the upper");
                    return nullptr;
                }
                count *= h - l + 1;
                if (count > kMaxSlots) break;
                t->dims.emplace_back(static_cast<int32_t>(l), static_cast<int32_t>(h));
            }
            for (int a = 0; a < 4; ++a)
                if (count > kMaxSlots || element->size.n[a] * count > kMaxSlots) {
                    diag_.error(node.at, "array too large for the image");
                    return nullptr;
                }
            finish(*t);
            owned_.push_back(std::move(t));
            return owned_.back().get();
        }
        case TypeNode::Enum: {
            auto t = std::make_unique<Type>();
            t->kind = Kind::Enum;
            // An enumeration declared with its variable is named by its place among them.
            t->name = name.empty() ? "ENUM" + std::to_string(enums_.size() + 1) : name;
            int64_t next = 0;
            for (std::size_t k = 0; k < node.enumValues.size(); ++k) {
                const auto& [value, expr] = node.enumValues[k];
                if (expr && (!constantInteger(*expr, next) || next < INT32_MIN || next > INT32_MAX))
                    diag_.error(expr->at, "an enumerated value is a constant integer");
                for (const auto& [n, v] : t->values)
                    if (n == value) diag_.error(node.enumAt[k], "enumerated value " + node.enumRaw[k] + " is given twice");
                t->values.emplace_back(value, static_cast<int32_t>(next));
                t->valueRaws.push_back(node.enumRaw[k]);
                ++next;
            }
            finish(*t);
            enums_.push_back(t.get());
            owned_.push_back(std::move(t));
            return owned_.back().get();
        }
        case TypeNode::Subrange: {
            TypeNode base;
            base.name = node.name;
            base.at = node.at;
            const Type* b = resolveNamed(base);
            if (!b) return nullptr;
            if (!b->isInteger()) {
                diag_.error(node.at, "a subrange is of an integer type");
                return nullptr;
            }
            int64_t lo = 0, hi = 0, tl = 0, th = 0;
            integerRange(b->kind, tl, th);
            if (!constantInteger(*node.low, lo) || !constantInteger(*node.high, hi) || lo > hi || lo < tl || hi > th) {
                diag_.error(node.at, "a subrange's limits are constants of its type, the lower not above the upper");
                return nullptr;
            }
            auto t = std::make_unique<Type>(*b);
            t->name = name.empty() ? b->name : name;
            t->ranged = true;
            t->low = lo;
            t->high = hi;
            owned_.push_back(std::move(t));
            return owned_.back().get();
        }
        case TypeNode::Struct: {
            auto t = std::make_unique<Type>();
            t->kind = Kind::Struct;
            t->name = name.empty() ? "STRUCT" : name;
            for (const TypeNode::Member& m : node.members) {
                const Type* mt = resolve(*m.type, "");
                if (!mt) continue;
                if (t->member(m.name)) {
                    diag_.error(m.at, "member " + m.raw + " is declared twice");
                    continue;
                }
                Variable v;
                v.name = m.name;
                v.raw = m.raw;
                v.at = m.at;
                v.type = mt;
                v.init = m.init.kind == Initializer::None ? nullptr : &m.init;
                t->members.push_back(v);
            }
            finish(*t);
            owned_.push_back(std::move(t));
            return owned_.back().get();
        }
    }
    return nullptr;
}

void Declarations::addVariables(const std::vector<const VarDecl*>& decls, std::vector<Variable>& into, Counts& size,
                                bool function, int& references) {
    for (const VarDecl* declaration : decls) {
        const VarDecl& d = *declaration;
        const Type* t = resolve(*d.type, "");
        if (!t) continue;
        if (!d.address.empty()) {
            const char area = d.address.size() > 1 ? d.address[1] : '?';
            const char width = d.address.size() > 2 ? d.address[2] : '?';
            const bool sized = (width == 'X' && t->kind == Kind::Bool) ||
                               (width == 'B' && (t->kind == Kind::Byte || t->kind == Kind::Sint)) ||
                               (width == 'W' && (t->kind == Kind::Word || t->kind == Kind::Int)) ||
                               (width == 'D' && (t->kind == Kind::Dword || t->kind == Kind::Dint || t->kind == Kind::Real));
            if ((area != 'I' && area != 'Q' && area != 'M') || !sized)
                diag_.error(d.ats[0], "location " + d.address + " does not fit a " + t->name +
                                          " (%IX, %QX, %MX for BOOL; %IB for BYTE; %IW for WORD or INT; %ID for DWORD, DINT or REAL)");
        }
        for (std::size_t k = 0; k < d.names.size(); ++k) {
            bool twice = false;
            for (const Variable& v : into) twice = twice || v.name == d.names[k];
            if (twice) {
                diag_.error(d.ats[k], "variable " + d.raws[k] + " is declared twice");
                continue;
            }
            Variable v;
            v.name = d.names[k];
            v.raw = d.raws[k];
            v.at = d.ats[k];
            v.type = t;
            v.section = d.section;
            v.constant = d.constant;
            v.retain = d.retain;
            v.address = d.address;
            v.comment = d.comment;
            v.init = d.init.kind == Initializer::None ? nullptr : &d.init;
            if (d.section == Section::InOut || (function && d.section == Section::Output)) {
                v.byReference = true;
                v.referenceIndex = references++;
            } else if (d.section != Section::External) {
                v.offset = size;
                size += t->size;
            }
            if (v.constant && !v.init && t->isElementary())
                diag_.error(v.at, "constant " + v.raw + " needs an initial value");
            into.push_back(v);
        }
    }
    for (int a = 0; a < 4; ++a)
        if (size.n[a] > kMaxSlots) {
            if (!decls.empty()) diag_.error(decls.front()->ats.empty() ? Location{} : decls.front()->ats[0], "variables too large for the image");
            size.n[a] = 0;
        }
}

void Declarations::layOut(Pou& p) {
    if (p.laidOut || p.layingOut) return;
    p.layingOut = true;
    const PouDecl& d = *p.decl;
    const bool function = d.kind == PouDecl::Function;
    if (function && d.result) p.result = resolve(*d.result, "");
    // A program's inputs and outputs come first: they are its interface, bound first.
    std::vector<const VarDecl*> order;
    if (d.kind == PouDecl::Program) {
        for (const VarDecl& v : d.vars)
            if (v.section == Section::Input || v.section == Section::Output) order.push_back(&v);
        for (const VarDecl& v : d.vars)
            if (v.section != Section::Input && v.section != Section::Output) order.push_back(&v);
    } else {
        for (const VarDecl& v : d.vars) order.push_back(&v);
    }
    std::vector<const VarDecl*> own, global;
    for (const VarDecl* v : order) {
        if (v->section == Section::Global && d.kind != PouDecl::Program)
            diag_.error(v->ats.empty() ? d.at : v->ats[0], "VAR_GLOBAL belongs at the top level or in a PROGRAM");
        else if (v->section == Section::InOut && d.kind == PouDecl::Program)
            // Nothing calls the program that could pass the variables.
            diag_.error(v->ats.empty() ? d.at : v->ats[0], "a PROGRAM has no VAR_IN_OUT: use VAR_INPUT, VAR_OUTPUT or VAR_EXTERNAL");
        else
            (v->section == Section::Global ? global : own).push_back(v);
    }
    int none = 0;
    const std::size_t firstGlobal = globals_.size();
    addVariables(global, globals_, globalSize_, false, none);
    for (std::size_t k = firstGlobal; k < globals_.size(); ++k) globals_[k].global = true;
    addVariables(own, p.vars, p.size, function, p.references);
    if (function && p.result) {
        Variable r;
        r.name = p.name;
        r.raw = p.raw;
        r.at = d.at;
        r.type = p.result;
        r.offset = p.size;
        r.section = Section::Output;
        p.size += p.result->size;
        p.vars.push_back(r);
    }
    if (p.instanceType) {
        Type& t = *p.instanceType;
        t.members = p.vars;
        t.size = p.size;
        t.instances = 1;
        for (const Variable& v : p.vars)
            if (!v.byReference && v.section != Section::External) t.instances += v.type->instances;
    }
    p.layingOut = false;
    p.laidOut = true;
}

}  // namespace qvc
