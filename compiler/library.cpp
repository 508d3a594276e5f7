#include "compiler/library.h"

#include <set>

#include "stdlib/function_names.h"

namespace qvc {

namespace {

const std::set<std::string>& cNames() {
    static const std::set<std::string> names = {
#define QVC_NAME_(n) #n,
        QV_LIBRARY_FUNCTIONS(QVC_NAME_)
#undef QVC_NAME_
    };
    return names;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// IEC type names in conversion function names, and the library's words for them.
const Type* typeByIecName(const std::string& n, Declarations& d) {
    if (n == "STRING") return d.elementary(Kind::String);
    if (n == "TOD") return d.elementary(Kind::Tod);
    if (n == "DT") return d.elementary(Kind::Dt);
    const Type* t = d.findType(n);
    return t && t->isElementary() ? t : nullptr;
}
std::string conversionWord(const Type& t) { return t.kind == Kind::String ? "string" : typeWord(t); }

// The common type of the arguments, with literals and the widening IEC allows.
const Type* commonType(const std::vector<const Type*>& args, std::size_t from, std::size_t to) {
    const Type* best = nullptr;
    for (std::size_t k = from; k < to && k < args.size(); ++k) {
        const Type* t = args[k];
        if (!t) continue;
        if (!best) { best = t; continue; }
        if (best->kind == t->kind) continue;
        // Widen to the larger of two compatible types.
        auto rank = [](Kind kind) {
            switch (kind) {
                case Kind::Sint: return 1; case Kind::Int: return 2; case Kind::Dint: return 3;
                case Kind::Real: return 4; case Kind::Byte: return 11; case Kind::Word: return 12; case Kind::Dword: return 13;
                default: return 0;
            }
        };
        const int a = rank(best->kind), b = rank(t->kind);
        if (a && b && ((a < 10) == (b < 10)) && b > a) best = t;
    }
    return best;
}

const std::set<std::string> kFixedReal = {"SQRT", "LN", "LOG", "EXP", "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN"};

}  // namespace

std::string operatorFunction(const std::string& op) {
    if (op == "+") return "ADD";
    if (op == "-") return "SUB";
    if (op == "*") return "MUL";
    if (op == "/") return "DIV";
    if (op == "MOD") return "MOD";
    if (op == "**") return "EXPT";
    if (op == "=") return "EQ";
    if (op == "<>") return "NE";
    if (op == "<") return "LT";
    if (op == "<=") return "LE";
    if (op == ">") return "GT";
    if (op == ">=") return "GE";
    return op;  // AND OR XOR
}

bool isLibraryFunction(const std::string& name) {
    static const std::set<std::string> generic = {
        "ADD", "SUB", "MUL", "DIV", "MOD", "EXPT", "MOVE", "ABS", "MAX", "MIN", "LIMIT", "SEL", "MUX", "AND", "OR",
        "XOR", "NOT", "SHL", "SHR", "ROL", "ROR", "GT", "GE", "EQ", "LE", "LT", "NE", "LEN", "LEFT", "RIGHT", "MID",
        "CONCAT", "INSERT", "DELETE", "REPLACE", "FIND", "TRUNC", "ADD_TIME", "SUB_TIME", "ADD_TOD_TIME",
        "SUB_TOD_TIME", "SUB_TOD_TOD", "ADD_DT_TIME", "SUB_DT_TIME", "SUB_DT_DT", "SUB_DATE_DATE", "MUL_TIME",
        "DIV_TIME", "CONCAT_DATE_TOD", "DT_TO_TOD", "DT_TO_DATE", "DATE_AND_TIME_TO_TIME_OF_DAY",
        "DATE_AND_TIME_TO_DATE"};
    if (generic.count(name) || kFixedReal.count(name)) return true;
    if (name.find("_TO_") != std::string::npos || name.find("_TRUNC_") != std::string::npos) return true;
    return false;
}

LibraryFunction resolveLibrary(const std::string& name, const std::vector<const Type*>& args, Declarations& d,
                               std::string& problem) {
    LibraryFunction f;
    const Type* real = d.elementary(Kind::Real);
    const Type* dint = d.elementary(Kind::Dint);
    const Type* time = d.elementary(Kind::Time);
    const Type* str = d.elementary(Kind::String);
    const Type* boolean = d.elementary(Kind::Bool);
    auto need = [&](std::size_t n) {
        if (args.size() == n) return true;
        problem = name + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s");
        return false;
    };
    auto exists = [&](const std::string& c) {
        if (cNames().count(c)) return true;
        problem = "";
        return false;
    };
    auto typed = [&](const std::string& op, const Type* t, std::size_t n, const Type* result) {
        if (!need(n)) return f;
        if (!t || !(t->isElementary() || t->kind == Kind::Enum)) {
            problem = name + " is not defined for these arguments";
            return f;
        }
        const std::string c = op + "_" + typeWord(*t) + "_OUT";
        if (!exists(c)) {
            problem = name + " is not defined for " + t->name;
            return f;
        }
        f.c = c;
        f.parameters.assign(n, t->kind == Kind::String ? str : t);
        f.result = result ? result : t;
        return f;
    };

    // Arithmetic on times and dates, by operand types.
    if (name == "ADD" || name == "SUB") {
        if (args.size() == 2 && args[0] && args[1] && args[0]->isArrayShaped() && args[0]->kind != Kind::String) {
            const Kind a = args[0]->kind, b = args[1]->kind;
            std::string c;
            const Type* result = time;
            if (a == Kind::Time && b == Kind::Time) c = name == "ADD" ? "add_time_OUT" : "sub_time_OUT";
            else if (a == Kind::Tod && b == Kind::Time) { c = name == "ADD" ? "add_tod_t_OUT" : "sub_tod_t_OUT"; result = args[0]; }
            else if (a == Kind::Dt && b == Kind::Time) { c = name == "ADD" ? "add_dt_t_OUT" : "sub_dt_t_OUT"; result = args[0]; }
            else if (name == "SUB" && a == Kind::Dt && b == Kind::Dt) c = "sub_dt_dt_OUT";
            else if (name == "SUB" && a == Kind::Tod && b == Kind::Tod) c = "sub_tod_tod_OUT";
            else if (name == "SUB" && a == Kind::Date && b == Kind::Date) c = "sub_date_date_OUT";
            if (c.empty()) {
                problem = name + " is not defined for " + args[0]->name + " and " + args[1]->name;
                return f;
            }
            f.c = c;
            f.parameters = {args[0], args[1]};
            f.result = result;
            return f;
        }
    }
    if ((name == "MUL" || name == "DIV") && args.size() == 2 && args[0] && args[0]->kind == Kind::Time) {
        const Type* n = args[1];
        if (!n || !n->isNumeric() || n->kind == Kind::Byte || n->kind == Kind::Word || n->kind == Kind::Dword) {
            problem = name + " of a TIME takes a SINT, INT, DINT or REAL";
            return f;
        }
        f.c = lower(name) + "_t_" + typeWord(*n) + "_OUT";
        f.parameters = {time, n};
        f.result = time;
        return f;
    }
    if (name == "ADD_TIME" || name == "SUB_TIME") return resolveLibrary(name.substr(0, 3), {time, time}, d, problem);
    if (name == "ADD_TOD_TIME" || name == "SUB_TOD_TIME") return resolveLibrary(name.substr(0, 3), {d.elementary(Kind::Tod), time}, d, problem);
    if (name == "ADD_DT_TIME" || name == "SUB_DT_TIME") return resolveLibrary(name.substr(0, 3), {d.elementary(Kind::Dt), time}, d, problem);
    if (name == "SUB_DT_DT") return resolveLibrary("SUB", {d.elementary(Kind::Dt), d.elementary(Kind::Dt)}, d, problem);
    if (name == "SUB_TOD_TOD") return resolveLibrary("SUB", {d.elementary(Kind::Tod), d.elementary(Kind::Tod)}, d, problem);
    if (name == "SUB_DATE_DATE") return resolveLibrary("SUB", {d.elementary(Kind::Date), d.elementary(Kind::Date)}, d, problem);
    if (name == "MUL_TIME" || name == "DIV_TIME")
        return resolveLibrary(name.substr(0, 3), {time, args.size() > 1 ? args[1] : nullptr}, d, problem);
    if (name == "CONCAT_DATE_TOD") {
        if (!need(2)) return f;
        f.c = "concat_date_tod_OUT";
        f.parameters = {d.elementary(Kind::Date), d.elementary(Kind::Tod)};
        f.result = d.elementary(Kind::Dt);
        return f;
    }
    if (name == "DT_TO_TOD" || name == "DATE_AND_TIME_TO_TIME_OF_DAY" || name == "DT_TO_DATE" || name == "DATE_AND_TIME_TO_DATE") {
        if (!need(1)) return f;
        const bool tod = name == "DT_TO_TOD" || name == "DATE_AND_TIME_TO_TIME_OF_DAY";
        f.c = tod ? "dt_to_tod_OUT" : "dt_to_date_OUT";
        f.parameters = {d.elementary(Kind::Dt)};
        f.result = d.elementary(tod ? Kind::Tod : Kind::Date);
        return f;
    }

    if (name == "ADD" || name == "SUB" || name == "MUL" || name == "DIV" || name == "MOD" || name == "EXPT") {
        const Type* t = commonType(args, 0, args.size());
        if (name == "EXPT" && args.size() == 2 && args[0] && args[0]->kind == Kind::Real) t = real;
        return typed(lower(name), t, 2, nullptr);
    }
    if (name == "AND" || name == "OR" || name == "XOR") return typed(lower(name), commonType(args, 0, args.size()), 2, nullptr);
    if (name == "NOT" || name == "MOVE" || name == "ABS") return typed(lower(name), args.empty() ? nullptr : args[0], 1, nullptr);
    if (name == "GT" || name == "GE" || name == "EQ" || name == "LE" || name == "LT" || name == "NE")
        return typed(lower(name), commonType(args, 0, args.size()), 2, boolean);
    if (name == "MAX" || name == "MIN") return typed(lower(name), commonType(args, 0, args.size()), 2, nullptr);
    if (name == "LIMIT") return typed("limit", commonType(args, 0, 3), 3, nullptr);
    if (name == "SEL") {
        if (!need(3)) return f;
        LibraryFunction g = typed("sel", commonType(args, 1, 3), 3, nullptr);
        if (g.c.empty()) return g;
        g.parameters[0] = boolean;
        return g;
    }
    if (name == "MUX") {
        if (args.size() < 3 || args.size() > 11) {
            problem = "MUX takes K and 2 to 10 inputs";
            return f;
        }
        const Type* t = commonType(args, 1, args.size());
        f = typed("mux", t, args.size(), nullptr);
        if (f.c.empty()) {
            if (problem.find("takes") != std::string::npos) problem = "MUX is not defined for these arguments";
            return f;
        }
        f.parameters[0] = dint;
        f.mux = true;
        return f;
    }
    if (name == "SHL" || name == "SHR" || name == "ROL" || name == "ROR") {
        LibraryFunction g = typed(lower(name), args.empty() ? nullptr : args[0], 2, nullptr);
        if (!g.c.empty()) g.parameters[1] = dint;
        return g;
    }
    if (kFixedReal.count(name)) {
        if (!need(1)) return f;
        f.c = lower(name) + "_OUT";
        f.parameters = {real};
        f.result = real;
        return f;
    }
    if (name == "LEN") { if (!need(1)) return f; f.c = "len_OUT"; f.parameters = {str}; f.result = dint; return f; }
    if (name == "LEFT" || name == "RIGHT") { if (!need(2)) return f; f.c = lower(name) + "_OUT"; f.parameters = {str, dint}; f.result = str; return f; }
    if (name == "MID") { if (!need(3)) return f; f.c = "mid_OUT"; f.parameters = {str, dint, dint}; f.result = str; return f; }
    if (name == "CONCAT") { if (!need(2)) return f; f.c = "concat_OUT"; f.parameters = {str, str}; f.result = str; return f; }
    if (name == "INSERT") { if (!need(3)) return f; f.c = "insert_OUT"; f.parameters = {str, str, dint}; f.result = str; return f; }
    if (name == "DELETE") { if (!need(3)) return f; f.c = "delete_OUT"; f.parameters = {str, dint, dint}; f.result = str; return f; }
    if (name == "REPLACE") { if (!need(4)) return f; f.c = "replace_OUT"; f.parameters = {str, str, dint, dint}; f.result = str; return f; }
    if (name == "FIND") { if (!need(2)) return f; f.c = "find_OUT"; f.parameters = {str, str}; f.result = dint; return f; }
    if (name == "TRUNC") {
        if (!need(1)) return f;
        f.c = "trunc_real_to_dint_OUT";
        f.parameters = {real};
        f.result = dint;
        return f;
    }
    // REAL_TRUNC_INT, and conversions FROM_TO_TO (BCD forms included).
    const std::size_t trunc = name.find("_TRUNC_");
    if (trunc != std::string::npos) {
        const Type* to = typeByIecName(name.substr(trunc + 7), d);
        if (!need(1)) return f;
        if (name.substr(0, trunc) != "REAL" || !to || !exists("trunc_real_to_" + typeWord(*to) + "_OUT")) {
            problem = "no library function " + name;
            return f;
        }
        f.c = "trunc_real_to_" + typeWord(*to) + "_OUT";
        f.parameters = {real};
        f.result = to;
        return f;
    }
    const std::size_t at = name.find("_TO_");
    if (at != std::string::npos) {
        if (!need(1)) return f;
        std::string from = name.substr(0, at), to = name.substr(at + 4);
        bool fromBcd = false, toBcd = false;
        if (from.size() > 4 && from.substr(from.size() - 4) == "_BCD") { fromBcd = true; from.resize(from.size() - 4); }
        if (to.rfind("BCD_", 0) == 0) { toBcd = true; to = to.substr(4); }
        const Type* a = typeByIecName(from, d);
        const Type* b = typeByIecName(to, d);
        if (!a || !b) {
            problem = "no library function " + name;
            return f;
        }
        const std::string c = conversionWord(*a) + (fromBcd ? "_BCD" : "") + "_to_" + (toBcd ? "BCD_" : "") + conversionWord(*b) + "_OUT";
        if (!exists(c)) {
            problem = "the library has no conversion " + name;
            return f;
        }
        f.c = c;
        f.parameters = {a};
        f.result = b;
        return f;
    }
    problem = "unknown function " + name;
    return f;
}

}  // namespace qvc
