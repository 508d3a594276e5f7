#include "compiler/codegen.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <set>

#include "compiler/library.h"

namespace qvc {

namespace {

// ---- The prelude: slot access, writes that publish, breakpoints, faults ------------------

const char* kPrelude = R"(#include <stdint.h>
#include <string.h>

/* Helpers a program may not need. */
#if defined(__GNUC__)
#define QVC_UNUSED __attribute__((unused))
#else
#define QVC_UNUSED
#endif

#include "sdk/qv_model.h"
#include "stdlib/qv_stdlib.h"

/* Slot k of an area from a base: 2 bytes a boolean, 12 an integer or a real, QVC_CS a character. */
QVC_UNUSED static inline unsigned char *qvc_b(unsigned char *base, long k) { return base + 2 * k; }
QVC_UNUSED static inline int32_t *qvc_i(unsigned char *base, long k) { return (int32_t *)(void *)(base + 12 * k); }
QVC_UNUSED static inline float *qvc_r(unsigned char *base, long k) { return (float *)(void *)(base + 12 * k); }
QVC_UNUSED static inline unsigned char *qvc_c(unsigned char *base, long k) { return base + QVC_CS * k; }

/* A write publishes the slot, so that a variable the supervisor forces keeps its value. */
#if QV_REVISION == 1
#define QVC_POST(kind, slot) do { if (withoutDelay) QV_freeze_##kind(slot); } while (0)
#define QVC_POST_ARRAY(kind, slot, n) do { if (withoutDelay) QV_freeze_##kind##_array(slot, n); } while (0)
#else
#define QVC_POST(kind, slot) QV_post_##kind(slot)
#define QVC_POST_ARRAY(kind, slot, n) QV_freeze_##kind##_array(slot, n)
#endif
QVC_UNUSED static inline int qvc_getb(const unsigned char *p) { return *p & 1; }
QVC_UNUSED static inline void qvc_setb(unsigned char *p, int v) { *p = (unsigned char)((*p & ~1u) | (v ? 1u : 0u)); QVC_POST(bool, p); }
QVC_UNUSED static inline void qvc_seti(int32_t *p, int32_t v) { *p = v; QVC_POST(int, p); }
QVC_UNUSED static inline void qvc_setr(float *p, float v) { *p = v; QVC_POST(float, p); }
/* TIME, DATE, TIME_OF_DAY, DATE_AND_TIME: n elements; a missing temporary writes nothing. */
QVC_UNUSED static inline void qvc_sett(int32_t *p, const int32_t *v, int n) {
    if (v == NULL) return;
    if (v != p) copy_int_array(p, v, n);
    QVC_POST_ARRAY(int, p, n);
}
QVC_UNUSED static inline void qvc_sets(unsigned char *p, const unsigned char *v) {
    int n = array_char_size(p);
    if (v == NULL) return;
    if (v != p) copy_char_array(p, v, n);
    QVC_POST_ARRAY(char, p, n);
}
/* Initial values: current and old value alike. */
QVC_UNUSED static inline void qvc_initb(unsigned char *p, int v) { *p = (unsigned char)((*p & ~3u) | (v ? 3u : 0u)); }
QVC_UNUSED static inline void qvc_initi(int32_t *p, int32_t v) { p[0] = v; p[1] = v; }
QVC_UNUSED static inline void qvc_initr(float *p, float v) { p[0] = v; p[1] = v; }
QVC_UNUSED static inline void qvc_initc(unsigned char *p, int v) { p[0] = (unsigned char)v; p[1] = (unsigned char)v; }
QVC_UNUSED static void qvc_inits(unsigned char *p, int capacity, const char *text, int length) {
    int k;
    qvc_initc(p, (capacity >> 8) & 0xFF);
    qvc_initc(p + QVC_CS, capacity & 0xFF);
    for (k = 0; k < capacity; ++k) qvc_initc(p + QVC_CS * (3 + k), k < length ? (unsigned char)text[k] : 0);
}
QVC_UNUSED static void qvc_initt(int32_t *p, int n, int32_t e0, int32_t e1) {
#if QV_REVISION == 1
    qvc_initi(p, n);
#endif
    qvc_initi(p + 6, e0);
    if (n > 1) qvc_initi(p + 9, e1);
}
/* Whole structures and arrays: the current values of every slot, each published. */
QVC_UNUSED static void qvc_copy(unsigned char *db, const unsigned char *sb, long nb, unsigned char *di, const unsigned char *si, long ni,
                     unsigned char *dr, const unsigned char *sr, long nr, unsigned char *dc, const unsigned char *sc, long nc) {
    long k;
    for (k = 0; k < nb; ++k) qvc_setb(db + 2 * k, sb[2 * k] & 1);
    for (k = 0; k < ni; ++k) qvc_seti((int32_t *)(void *)(di + 12 * k), *(const int32_t *)(const void *)(si + 12 * k));
    for (k = 0; k < nr; ++k) qvc_setr((float *)(void *)(dr + 12 * k), *(const float *)(const void *)(sr + 12 * k));
    for (k = 0; k < nc; ++k) { dc[QVC_CS * k] = sc[QVC_CS * k]; QVC_POST(char, dc + QVC_CS * k); }
}
/* The library's 16-bit block words read back as the INT they hold. */
QVC_UNUSED static inline void qvc_widen(int32_t *p) {
#if QV_REVISION != 1
    int16_t w;
    memcpy(&w, p, sizeof w);
    *p = w;
#else
    (void)p;
#endif
}
QVC_UNUSED static inline int qvc_word(const int32_t *p) {
    int16_t w;
    memcpy(&w, p, sizeof w);
    return w;
}

/* Breakpoints: breakpoint_st is called where it would pause. Whether any breakpoint is
   listed (or the program is paused) is read at the start of each cycle and again after
   each pause, so that with none listed a statement costs one load and a test; a
   breakpoint listed while a cycle runs counts from the next cycle. */
static int qvc_armed_now;
static int qvc_armed(void) {
    return __atomic_load_n(bpnoline, __ATOMIC_RELAXED) > 0 || __atomic_load_n(execstatus, __ATOMIC_RELAXED) == 5;
}
QVC_UNUSED static int qvc_due(int location, int instance) {
    int32_t status = __atomic_load_n(execstatus, __ATOMIC_RELAXED);
    int32_t n, k;
    if (status == 4) return 0;
    if (status == 5) return 1;
    n = __atomic_load_n(bpnoline, __ATOMIC_RELAXED);
    if (n > 101) n = 101;
    for (k = 1; k <= n; ++k)
        if (__atomic_load_n(bpnoinstance + 3 * k, __ATOMIC_RELAXED) == instance &&
            __atomic_load_n(bpnoline + 3 * k, __ATOMIC_RELAXED) == location)
            return 1;
    return 0;
}
#ifndef QVC_AT /* a benchmark may define it away to measure what it costs */
#define QVC_AT(location)                                                                      \
    do {                                                                                      \
        if (qvc_armed_now && qvc_due(location, inst)) {                                       \
            breakpoint_st(location, inst);                                                    \
            qvc_armed_now = qvc_armed();                                                      \
        }                                                                                     \
    } while (0)
#endif

/* Run-time faults: reported through raise_debug_break with the statement's location; the
   step then ends with the instance's number, which stops the program. */
static int32_t qvc_failed;
QVC_UNUSED static long qvc_index(long value, long low, long high, int location, int32_t inst) {
    if (value >= low && value <= high) return value - low;
    if (!qvc_failed) {
        self_num = inst;
        raise_debug_break(location, 0, QVC_FAULT_INDEX, (int)value);
        qvc_failed = inst > 0 ? inst : 1;
    }
    return 0;
}
QVC_UNUSED static int32_t qvc_range(int32_t value, int32_t low, int32_t high, int location, int32_t inst) {
    if (value >= low && value <= high) return value;
    if (!qvc_failed) {
        self_num = inst;
        raise_debug_break(location, 0, QVC_FAULT_RANGE, (int)value);
        qvc_failed = inst > 0 ? inst : 1;
    }
    return value < low ? low : high;
}
)";

std::string str(int64_t v) { return std::to_string(v); }

// A condition without the parentheses that wrap it whole, so that `if ((a == b))` is
// not written (compilers warn about it).
std::string bare(const std::string& code) {
    if (code.size() < 2 || code.front() != '(' || code.back() != ')') return code;
    int depth = 0;
    for (std::size_t k = 0; k < code.size(); ++k) {
        if (code[k] == '(') ++depth;
        if (code[k] == ')' && --depth == 0 && k + 1 != code.size()) return code;
    }
    return code.substr(1, code.size() - 2);
}

std::string cQuote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char ch : s) {
        if (ch == '"' || ch == '\\') { out += '\\'; out += static_cast<char>(ch); }
        else if (ch >= 32 && ch < 127 && ch != '?') out += static_cast<char>(ch);
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", ch);
            out += buf;
        }
    }
    return out + "\"";
}

std::string identifier(const std::string& name) {
    std::string out;
    for (char ch : name) out += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return out;
}

// Where an lvalue lies: a base and a slot offset per area (C expressions), the instance
// number of the block it is (if it is one).
struct Place {
    const Type* type = nullptr;
    std::string base[4];
    std::string offset[4];
    std::string instance;      // C expression: the instance number, for user blocks
    const Variable* variable = nullptr;
    bool writable = true;
    bool blockWord = false;    // a library block's 16-bit word read as BOOL (RS, SR: Q1)
};

struct Value {
    const Type* type = nullptr;
    std::string code;
    bool literal = false;      // an untyped integer or real literal
    bool constant = false;
    int64_t integer = 0;
    bool ok = true;
};

class Generator {
public:
    Generator(Declarations& d, const Options& o, Diagnostics& diag) : d_(d), o_(o), diag_(diag) {}

    Generated run();

private:
    // ---- Helpers --------------------------------------------------------------------------
    const Type* el(Kind k) const { return d_.elementary(k); }
    static const char* areaFn(int a) { static const char* f[] = {"qvc_b", "qvc_i", "qvc_r", "qvc_c"}; return f[a]; }
    static std::string pointer(const Place& p, int a) { return std::string(areaFn(a)) + "(" + p.base[a] + ", " + p.offset[a] + ")"; }
    std::string temp() { return "qvc_t" + str(++temps_); }
    int32_t locationOf(Location at) const { return at.file * 1000000 + at.line; }

    static std::string cType(const Type& t) {
        switch (t.kind) {
            case Kind::Bool: return "int";
            case Kind::Real: return "float";
            case Kind::Dword: return "uint32_t";
            case Kind::Time: case Kind::Date: case Kind::Tod: case Kind::Dt: return "const int32_t *";
            case Kind::String: return "const unsigned char *";
            default: return "int32_t";
        }
    }

    Value fail() { Value v; v.ok = false; v.type = nullptr; v.code = "0"; return v; }

    // ---- Places and values -------------------------------------------------------------------
    Place variablePlace(const Variable& v) {
        Place p;
        p.type = v.type;
        p.variable = &v;
        p.writable = !v.constant;
        for (int a = 0; a < 4; ++a) {
            if (v.byReference) {
                p.base[a] = "io[" + str(4 * v.referenceIndex + a) + "]";
                p.offset[a] = "0";
            } else if (v.global) {
                static const char* g[] = {"qvc_GB", "qvc_GI", "qvc_GR", "qvc_GC"};
                p.base[a] = g[a];
                p.offset[a] = str(v.offset.n[a]);
            } else {
                static const char* b[] = {"B", "I", "R", "C"};
                p.base[a] = b[a];
                p.offset[a] = str(v.offset.n[a]);
            }
        }
        if (v.type->instances > 0) p.instance = v.global ? str(globalInstance(v)) : "inst + " + str(instanceOffset(v));
        return p;
    }

    // The instance number of a block variable relative to its POU's instance.
    int64_t instanceOffset(const Variable& v) const {
        int64_t n = 1;
        for (const Variable& w : scope_->vars) {
            if (&w == &v) return n;
            if (!w.byReference && w.section != Section::External) n += w.type->instances;
        }
        return n;
    }
    int64_t globalInstance(const Variable& v) const {
        // Global instances follow the program's own, depth first.
        int64_t n = 1 + programInstances_;
        for (const Variable& w : d_.globals()) {
            if (&w == &v) return n;
            n += w.type->instances;
        }
        return n;
    }

    Value read(const Place& p) {
        Value v;
        v.type = p.type;
        const Type& t = *p.type;
        if (p.blockWord) { v.type = el(Kind::Bool); v.code = "(qvc_word(" + pointer(p, kInt) + ") != 0)"; return v; }
        switch (t.kind) {
            case Kind::Bool: v.code = "qvc_getb(" + pointer(p, kBool) + ")"; break;
            case Kind::Real: v.code = "(*" + pointer(p, kReal) + ")"; break;
            case Kind::Dword: v.code = "((uint32_t)*" + pointer(p, kInt) + ")"; break;
            case Kind::Time: case Kind::Date: case Kind::Tod: case Kind::Dt: v.code = pointer(p, kInt); break;
            case Kind::String: v.code = pointer(p, kChar); break;
            case Kind::Array: case Kind::Struct: case Kind::UserBlock: case Kind::LibraryBlock: v.code = "0"; break;
            default: v.code = "(*" + pointer(p, kInt) + ")"; break;
        }
        return v;
    }

    // Writes `value` (already of the place's type) into the place.
    std::string write(const Place& p, const std::string& value) {
        switch (p.type->kind) {
            case Kind::Bool: return "qvc_setb(" + pointer(p, kBool) + ", " + value + ");";
            case Kind::Real: return "qvc_setr(" + pointer(p, kReal) + ", " + value + ");";
            case Kind::Time: case Kind::Dt: return "qvc_sett(" + pointer(p, kInt) + ", " + value + ", 2);";
            case Kind::Date: case Kind::Tod: return "qvc_sett(" + pointer(p, kInt) + ", " + value + ", 1);";
            case Kind::String: return "qvc_sets(" + pointer(p, kChar) + ", " + value + ");";
            default: return "qvc_seti(" + pointer(p, kInt) + ", (int32_t)(" + value + "));";
        }
    }

    // ---- Conversions -------------------------------------------------------------------------
    static int widenRank(Kind k) {
        switch (k) {
            case Kind::Sint: return 1; case Kind::Int: return 2; case Kind::Dint: return 3;
            case Kind::Byte: return 11; case Kind::Word: return 12; case Kind::Dword: return 13;
            default: return 0;
        }
    }
    // True when IEC widens `from` to `to` implicitly.
    static bool widens(const Type& from, const Type& to) {
        if (to.kind == Kind::Real) return from.kind == Kind::Sint || from.kind == Kind::Int;
        const int a = widenRank(from.kind), b = widenRank(to.kind);
        return a && b && (a < 10) == (b < 10) && a < b;
    }
    static bool sameType(const Type& a, const Type& b) {
        if (a.kind != b.kind) return false;
        if (a.kind == Kind::Enum || a.kind == Kind::Struct || a.kind == Kind::Array || a.kind == Kind::UserBlock ||
            a.kind == Kind::LibraryBlock)
            return &a == &b || (a.kind == Kind::Array && b.element && a.element && sameType(*a.element, *b.element) && a.elementCount() == b.elementCount());
        return true;
    }
    static std::string conversionName(const Type& from, const Type& to) {
        auto n = [](const Type& t) { return t.kind == Kind::Tod ? std::string("TOD") : t.kind == Kind::Dt ? std::string("DT") : t.isElementary() ? std::string(descriptionType(t)) : t.name; };
        return n(from) + "_TO_" + n(to);
    }

    // The value converted to `to`, or an error naming both types.
    Value convert(Value v, const Type* to, Location at, const char* what) {
        if (!v.ok || !to) return fail();
        const Type& t = *v.type;
        if (v.literal && t.kind != Kind::Real && (to->isInteger() || to->kind == Kind::Real)) {
            if (to->kind == Kind::Real) { v.code = "(float)" + v.code; v.type = to; v.literal = false; return v; }
            int64_t lo = 0, hi = 0;
            integerRange(to->kind, lo, hi);
            if (to->ranged) { lo = to->low; hi = to->high; }
            if (v.integer < lo || v.integer > hi) {
                diag_.error(at, str(v.integer) + " is outside the range of " + to->name + " (" + str(lo) + ".." + str(hi) + ")");
                return fail();
            }
            v.type = to;
            v.literal = false;
            if (to->kind == Kind::Dword) v.code = "(uint32_t)" + str(v.integer) + "u";
            return v;
        }
        if (v.literal && t.kind == Kind::Real && to->kind == Kind::Real) { v.type = to; return v; }
        if (sameType(t, *to)) {
            if (to->ranged && v.constant && (v.integer < to->low || v.integer > to->high)) {
                diag_.error(at, str(v.integer) + " is outside the range of " + to->name + " (" + str(to->low) + ".." + str(to->high) + ")");
                return fail();
            }
            if (to->ranged && !v.constant && !(t.ranged && t.low >= to->low && t.high <= to->high) && scope_) {
                v.code = "qvc_range(" + v.code + ", " + str(to->low) + ", " + str(to->high) + ", " + str(locationOf(statementAt_)) + ", inst)";
                faults_ = true;
            }
            v.type = to;
            return v;
        }
        if (widens(t, *to)) {
            if (!v.constant) diag_.warning(at, std::string("implicit conversion of ") + t.name + " to " + to->name + " in " + what);
            if (to->kind == Kind::Real) v.code = "(float)(" + v.code + ")";
            else if (to->kind == Kind::Dword) v.code = "(uint32_t)(" + v.code + ")";
            v.type = to;
            return v;
        }
        std::string problem;
        if (t.isElementary() && to->isElementary() && t.kind != to->kind &&
            !resolveLibrary(conversionName(t, *to), {&t}, d_, problem).c.empty())
            diag_.error(at, std::string("cannot convert ") + descriptionName(t) + " to " + descriptionName(*to) + " implicitly in " + what +
                                ": use " + conversionName(t, *to));
        else if (t.isElementary() && to->isElementary() && t.kind != to->kind)
            diag_.error(at, std::string("a ") + descriptionName(t) + " cannot be converted to " + descriptionName(*to) + " in " + what);
        else
            diag_.error(at, std::string("type mismatch in ") + what + ": " + descriptionName(t) + " and " + descriptionName(*to));
        return fail();
    }
    static std::string descriptionName(const Type& t) {
        if (t.kind == Kind::String) return "STRING";
        return t.name;
    }

    // ---- Expressions -------------------------------------------------------------------------
    Value expression(Expr& e, const Type* hint = nullptr);
    bool place(Expr& e, Place& out, bool forWrite);
    Value literal(Expr& e, const Type* hint);
    Value binary(Expr& e, const Type* hint);
    Value unary(Expr& e, const Type* hint);
    Value call(Expr& e, const Type* hint);
    Value userFunction(Expr& e, const Pou& f);
    Value constantArray(const Type& t, int64_t e0, int64_t e1);
    Value constantString(const std::string& text);
    std::string libraryCall(const LibraryFunction& f, std::vector<Value>& args);

    // ---- Statements --------------------------------------------------------------------------
    void block(Block& b, int indent);
    // The statements of a loop: EXIT may stand among them.
    void loopBody(Block& b, int indent) {
        ++loops_;
        block(b, indent);
        --loops_;
    }
    void statement(Stmt& s, int indent, bool sameLocation = false);
    void assign(Expr& target, Expr& value, int indent);
    void blockCall(Expr& call, int indent);
    // Remembers the temporary pool's cursor before a loop; returns the statement that gives
    // back, at the start of each iteration, what the previous iteration took (temporaries
    // never outlive the statement that takes them), so that a long loop cannot exhaust it.
    std::string poolMark(int indent) {
        const std::string m = temp(), n = temp();
        emit(indent, "unsigned char *const " + m + " = next_alloc;");
        emit(indent, "const int32_t " + n + " = nb_alloc;");
        return "next_alloc = " + m + "; nb_alloc = " + n + ";";
    }
    void emit(int indent, const std::string& line) { out_ += std::string(static_cast<std::size_t>(indent) * 4, ' ') + line + "\n"; }

    // ---- Initial values ----------------------------------------------------------------------
    void initialise(const Place& p, const Initializer* init, int indent);
    void initialiseValue(const Place& p, Expr& value, int indent);
    std::string initFunction(const Type& t);

    // ---- POUs --------------------------------------------------------------------------------
    void pouBody(Pou& p);
    void contract();
    void markUnused(const Pou& p);

    Declarations& d_;
    const Options& o_;
    Diagnostics& diag_;
    std::string out_;            // the function being generated
    std::string constants_;      // file-level constant arrays
    std::string prototypes_;
    std::string functions_;
    std::string prelude_;        // declarations a statement needs before it (pointer lists)
    int temps_ = 0;
    int constants_n_ = 0;
    Pou* scope_ = nullptr;
    Pou* program_ = nullptr;
    int64_t programInstances_ = 0;
    Location statementAt_;
    bool faults_ = false;        // the statement may raise a fault
    bool allocates_ = false;     // the statement may take temporaries
    int loops_ = 0;
    bool inFunction_ = false;
    std::vector<LocationEntry> locations_;
    std::set<int32_t> seen_;
    std::set<const Type*> initEmitted_;
    std::map<const Pou*, std::vector<std::pair<const Pou*, Location>>> calls_;  // function calls, for recursion

    // A function that calls itself, directly or through others, is refused: its frame
    // would have no bound.
    void refuseRecursion() {
        std::map<const Pou*, int> state;  // 1 being visited, 2 done
        std::function<void(const Pou*)> visit = [&](const Pou* p) {
            state[p] = 1;
            for (const auto& [callee, at] : calls_[p]) {
                if (state[callee] == 1) diag_.error(at, "recursive call of " + callee->raw + ": IEC functions do not recurse");
                else if (state[callee] == 0) visit(callee);
            }
            state[p] = 2;
        };
        for (const auto& p : d_.pous())
            if (state[p.get()] == 0) visit(p.get());
    }
};

// ---- Expressions -----------------------------------------------------------------------------

Value Generator::constantArray(const Type& t, int64_t e0, int64_t e1) {
    const std::string name = "qvc_k" + str(++constants_n_);
    const int n = t.kind == Kind::Time || t.kind == Kind::Dt ? 2 : 1;
    std::string init = "{" + str(n) + ", " + str(n) + ", 0, 0, 0, 0, " + str(static_cast<int32_t>(e0)) + ", " + str(static_cast<int32_t>(e0)) + ", 0";
    if (n > 1) init += ", " + str(static_cast<int32_t>(e1)) + ", " + str(static_cast<int32_t>(e1)) + ", 0";
    init += ", 0, 0, 0}";
    constants_ += "QVC_UNUSED static const int32_t " + name + "[" + str(6 + 3 * n + 3) + "] = " + init + ";\n";
    Value v;
    v.type = &t;
    v.code = name;
    v.constant = true;
    return v;
}

Value Generator::constantString(const std::string& text) {
    const std::string name = "qvc_k" + str(++constants_n_);
    const int cs = o_.revision == 1 ? 3 : 4;
    const std::size_t n = text.size();
    std::string bytes;
    auto slot = [&](unsigned char c) {
        bytes += str(c) + ", " + str(c) + ", 0, ";
        if (cs == 4) bytes += "0, ";
    };
    slot(static_cast<unsigned char>((n >> 8) & 0xFF));
    slot(static_cast<unsigned char>(n & 0xFF));
    slot(0);
    for (unsigned char c : text) slot(c);
    slot(0);
    constants_ += "QVC_UNUSED static const unsigned char " + name + "[] = {" + bytes + "0};\n";
    Value v;
    v.type = d_.stringType(static_cast<int32_t>(n == 0 ? 1 : n));
    v.code = name;
    v.constant = true;
    return v;
}

Value Generator::literal(Expr& e, const Type* hint) {
    Value v;
    v.constant = true;
    switch (e.kind) {
        case Expr::Bool:
            v.type = el(Kind::Bool);
            v.code = e.integer ? "1" : "0";
            v.integer = e.integer;
            return v;
        case Expr::Integer: {
            v.integer = e.integer;
            if (!e.text.empty()) {
                const Type* t = d_.findType(e.text);
                if (!t || !(t->isInteger() || t->kind == Kind::Real || t->kind == Kind::Bool)) {
                    diag_.error(e.at, "a typed literal takes an integer, REAL or BOOL type, not " + e.text);
                    return fail();
                }
                Value lit;
                lit.type = el(Kind::Dint);
                lit.literal = true;
                lit.constant = true;
                lit.integer = e.integer;
                lit.code = str(e.integer);
                if (t->kind == Kind::Bool) {
                    if (e.integer != 0 && e.integer != 1) { diag_.error(e.at, "BOOL# takes 0 or 1"); return fail(); }
                    v.type = t;
                    v.code = str(e.integer);
                    return v;
                }
                return convert(lit, t, e.at, "a literal");
            }
            v.literal = true;
            v.type = hint && (hint->isInteger() || hint->kind == Kind::Real) ? hint : el(Kind::Dint);
            if (v.integer < INT32_MIN || v.integer > UINT32_MAX) { diag_.error(e.at, "integer literal too large"); return fail(); }
            v.type = el(Kind::Dint);
            if (v.integer > INT32_MAX) v.type = el(Kind::Dword);
            v.code = v.integer < 0 ? "(" + str(v.integer) + ")" : str(v.integer);
            if (v.integer == INT32_MIN) v.code = "(-2147483647 - 1)";
            return v;
        }
        case Expr::Real: {
            if (!e.text.empty() && e.text != "REAL") {
                diag_.error(e.at, e.text == "LREAL" ? "type LREAL is not supported: use REAL" : "a real literal is a REAL, not " + e.text);
                return fail();
            }
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.9gf", e.real);
            std::string code = buf;
            if (code.find_first_of(".e") == std::string::npos) code.insert(code.size() - 1, ".0");
            if (std::isinf(static_cast<float>(e.real))) { diag_.error(e.at, "real literal too large for REAL"); return fail(); }
            v.type = el(Kind::Real);
            v.code = "(" + code + ")";
            v.literal = true;
            return v;
        }
        case Expr::String:
            return constantString(e.raw);
        case Expr::Duration: {
            const int64_t days = e.integer / 864000000;
            return constantArray(*el(Kind::Time), days, e.integer - days * 864000000);
        }
        case Expr::Date: return constantArray(*el(Kind::Date), e.integer, 0);
        case Expr::TimeOfDay: return constantArray(*el(Kind::Tod), e.integer, 0);
        case Expr::DateTime: return constantArray(*el(Kind::Dt), e.integer, e.second);
        default: return fail();
    }
}

bool Generator::place(Expr& e, Place& out, bool forWrite) {
    switch (e.kind) {
        case Expr::Name: {
            const Variable* v = e.qualifier.empty() && scope_ ? scope_->var(e.text) : nullptr;
            if (v && v->section == Section::External) {
                const Variable* g = nullptr;
                for (const Variable& w : d_.globals())
                    if (w.name == v->name) g = &w;
                if (!g) {
                    diag_.error(e.at, "VAR_EXTERNAL " + v->raw + " names no VAR_GLOBAL");
                    return false;
                }
                const_cast<Variable*>(v)->used = true;
                v = g;
            }
            if (!v && e.qualifier.empty())
                for (const Variable& w : d_.globals())
                    if (w.name == e.text && scope_ && scope_->kind == PouDecl::Program) v = &w;
            if (!v) return false;
            const_cast<Variable*>(v)->used = true;
            out = variablePlace(*v);
            if (forWrite && inFunction_ && v->section == Section::Input) out.writable = true;
            return true;
        }
        case Expr::Member: {
            Place base;
            if (!place(*e.operands[0], base, forWrite)) {
                if (e.operands[0]->kind == Expr::Name && !scope_->var(e.operands[0]->text))
                    diag_.error(e.operands[0]->at, "unknown variable " + e.operands[0]->raw);
                return false;
            }
            const Type& t = *base.type;
            if (t.kind != Kind::Struct && t.kind != Kind::UserBlock && t.kind != Kind::LibraryBlock) {
                diag_.error(e.at, base.type->name + " has no members");
                return false;
            }
            const Variable* m = t.member(e.text);
            if (!m || m->byReference) {
                diag_.error(e.at, t.name + " has no member " + e.raw);
                return false;
            }
            if (t.kind == Kind::UserBlock && forWrite && m->section != Section::Input) {
                diag_.error(e.at, "only the inputs of " + t.name + " can be written from outside it");
                return false;
            }
            if (t.kind == Kind::UserBlock && !forWrite && (m->section == Section::Local || m->section == Section::Temp)) {
                diag_.error(e.at, m->raw + " is internal to " + t.name + ": only its inputs and outputs are visible");
                return false;
            }
            out = base;
            out.type = m->type;
            out.variable = m;
            for (int a = 0; a < 4; ++a) out.offset[a] = "(" + base.offset[a] + ") + " + str(m->offset.n[a]);
            if (m->type->instances > 0) {
                int64_t n = t.kind == Kind::UserBlock ? 1 : 0;
                for (const Variable& w : t.members) {
                    if (&w == m) break;
                    if (!w.byReference && w.section != Section::External) n += w.type->instances;
                }
                out.instance = "(" + base.instance + ") + " + str(n);
            }
            if (t.kind == Kind::LibraryBlock && (e.text == "Q1")) out.blockWord = true;
            if (t.kind == Kind::LibraryBlock) out.writable = false;
            return true;
        }
        case Expr::Index: {
            Place base;
            if (!place(*e.operands[0], base, forWrite)) {
                if (e.operands[0]->kind == Expr::Name) diag_.error(e.operands[0]->at, "unknown variable " + e.operands[0]->raw);
                return false;
            }
            const Type& t = *base.type;
            if (t.kind != Kind::Array) {
                diag_.error(e.at, base.type->name + " is not an array");
                return false;
            }
            if (e.operands.size() - 1 != t.dims.size()) {
                diag_.error(e.at, "array takes " + str(static_cast<int64_t>(t.dims.size())) + " subscript(s)");
                return false;
            }
            std::string linear;
            int64_t cl = 0;
            for (std::size_t k = 0; k < t.dims.size(); ++k) {
                const auto [lo, hi] = t.dims[k];
                Value ix = expression(*e.operands[k + 1], el(Kind::Dint));
                if (!ix.ok) return false;
                if (!ix.type->isInteger() && ix.type->kind != Kind::Enum) {
                    diag_.error(e.operands[k + 1]->at, "an array subscript is an integer");
                    return false;
                }
                int64_t stride = 1;
                for (std::size_t j = k + 1; j < t.dims.size(); ++j) stride *= static_cast<int64_t>(t.dims[j].second) - t.dims[j].first + 1;
                std::string term;
                if (ix.constant) {
                    if (ix.integer < lo || ix.integer > hi) {
                        diag_.error(e.operands[k + 1]->at, "subscript " + str(ix.integer) + " is outside the bounds " + str(lo) + ".." + str(hi));
                        return false;
                    }
                    cl += (ix.integer - lo) * stride;
                    continue;
                }
                faults_ = true;
                term = "qvc_index((long)(" + ix.code + "), " + str(lo) + ", " + str(hi) + ", " + str(locationOf(statementAt_)) + ", inst)";
                linear += (linear.empty() ? "" : " + ") + (stride == 1 ? term : term + " * " + str(stride));
            }
            if (!linear.empty() || cl) linear = linear.empty() ? str(cl) : (cl ? linear + " + " + str(cl) : linear);
            out = base;
            out.type = t.element;
            out.variable = nullptr;
            if (!linear.empty())
                for (int a = 0; a < 4; ++a)
                    if (t.element->size.n[a]) out.offset[a] = "(" + base.offset[a] + ") + (" + linear + ") * " + str(t.element->size.n[a]);
            if (t.element->instances > 0) out.instance = "(" + base.instance + ") + (" + (linear.empty() ? "0" : linear) + ") * " + str(t.element->instances);
            return true;
        }
        default: return false;
    }
}

Value Generator::expression(Expr& e, const Type* hint) {
    switch (e.kind) {
        case Expr::Integer: case Expr::Real: case Expr::Bool: case Expr::String: case Expr::Duration:
        case Expr::Date: case Expr::TimeOfDay: case Expr::DateTime:
            return literal(e, hint);
        case Expr::Unary: return unary(e, hint);
        case Expr::Binary: return binary(e, hint);
        case Expr::Call: return call(e, hint);
        case Expr::Bit: {
            Value base = expression(*e.operands[0]);
            if (!base.ok) return fail();
            int64_t width = 0;
            switch (base.type->kind) {
                case Kind::Byte: case Kind::Sint: width = 8; break;
                case Kind::Word: case Kind::Int: width = 16; break;
                case Kind::Dword: case Kind::Dint: width = 32; break;
                default: diag_.error(e.at, "bit access needs a BYTE, WORD, DWORD or integer"); return fail();
            }
            if (e.integer < 0 || e.integer >= width) { diag_.error(e.at, "bit " + str(e.integer) + " is outside " + base.type->name); return fail(); }
            Value v;
            v.type = el(Kind::Bool);
            v.code = "((int)(((uint32_t)" + base.code + " >> " + str(e.integer) + ") & 1u))";
            return v;
        }
        case Expr::Name: {
            Place p;
            if (place(e, p, false)) {
                if (!p.type->isElementary() && p.type->kind != Kind::Enum) {
                    Value v;
                    v.type = p.type;
                    v.code = "0";
                    return v;
                }
                Value v = read(p);
                if (p.variable && p.variable->constant && p.variable->init && p.variable->init->kind == Initializer::Value &&
                    (p.type->isInteger() || p.type->kind == Kind::Enum)) {
                    int64_t c = 0;
                    if (d_.constantInteger(e, c, scope_)) { v.constant = true; v.integer = c; }
                }
                return v;
            }
            const Type* t = nullptr;
            int32_t value = 0;
            if (d_.findEnumValue(e.qualifier, e.text, t, value)) {
                Value v;
                v.type = t;
                v.code = str(value);
                v.constant = true;
                v.integer = value;
                // A value named by several enumerations takes the one expected.
                if (hint && hint->kind == Kind::Enum && hint != t) {
                    for (const auto& [n, val] : hint->values)
                        if (n == e.text) { v.type = hint; v.code = str(val); v.integer = val; }
                }
                return v;
            }
            diag_.error(e.at, "unknown variable " + e.raw);
            return fail();
        }
        case Expr::Member: case Expr::Index: {
            Place p;
            if (!place(e, p, false)) return fail();
            if (!p.type->isElementary() && p.type->kind != Kind::Enum && !p.blockWord) {
                Value v;
                v.type = p.type;
                v.code = "0";
                return v;
            }
            return read(p);
        }
    }
    return fail();
}

Value Generator::unary(Expr& e, const Type* hint) {
    Value v = expression(*e.operands[0], hint);
    if (!v.ok) return v;
    if (e.text == "NOT") {
        if (v.type->kind == Kind::Bool) {
            Value r;
            r.type = v.type;
            r.code = "(!" + v.code + ")";
            return r;
        }
        std::string problem;
        LibraryFunction f = resolveLibrary("NOT", {v.type}, d_, problem);
        if (f.c.empty()) { diag_.error(e.at, "NOT is not defined for " + v.type->name); return fail(); }
        std::vector<Value> args{v};
        Value r;
        r.type = f.result;
        r.code = libraryCall(f, args);
        return r;
    }
    // Negation: 0 - x in the operand's type, through the library's subtraction.
    if (v.literal) {
        v.integer = -v.integer;
        v.code = "(-" + v.code + ")";
        return v;
    }
    if (!v.type->isSigned() && v.type->kind != Kind::Real) {
        diag_.error(e.at, "unary '-' is not defined for " + v.type->name);
        return fail();
    }
    std::string problem;
    LibraryFunction f = resolveLibrary("SUB", {v.type, v.type}, d_, problem);
    Value zero;
    zero.type = v.type;
    zero.code = v.type->kind == Kind::Real ? "0.0f" : "0";
    std::vector<Value> args{zero, v};
    Value r;
    r.type = v.type;
    r.code = libraryCall(f, args);
    return r;
}

Value Generator::binary(Expr& e, const Type* hint) {
    const std::string& op = e.text;
    const bool logical = op == "AND" || op == "OR" || op == "XOR";
    const bool comparison = op == "=" || op == "<>" || op == "<" || op == "<=" || op == ">" || op == ">=";
    const Type* operandHint = comparison ? nullptr : hint;
    // The side that is not a literal decides the other's type.
    Value a, b;
    const bool leftLiteral = e.operands[0]->kind == Expr::Integer || e.operands[0]->kind == Expr::Real;
    if (leftLiteral) {
        b = expression(*e.operands[1], operandHint);
        a = expression(*e.operands[0], b.ok ? b.type : operandHint);
    } else {
        a = expression(*e.operands[0], operandHint);
        b = expression(*e.operands[1], a.ok ? a.type : operandHint);
    }
    if (!a.ok || !b.ok) return fail();
    if (logical && a.type->kind == Kind::Bool && b.type->kind == Kind::Bool) {
        Value r;
        r.type = a.type;
        r.code = op == "AND" ? "(" + a.code + " && " + b.code + ")"
               : op == "OR"  ? "(" + a.code + " || " + b.code + ")"
                             : "(" + a.code + " != " + b.code + ")";
        if (a.constant && b.constant) {
            r.constant = true;
            r.integer = op == "AND" ? (a.integer && b.integer) : op == "OR" ? (a.integer || b.integer) : (a.integer != b.integer);
        }
        return r;
    }
    if (comparison && a.type->kind == Kind::Enum) {
        if (!sameType(*a.type, *b.type)) { diag_.error(e.at, "cannot compare " + a.type->name + " with " + b.type->name); return fail(); }
        if (op != "=" && op != "<>") { diag_.error(e.at, "enumerated values compare only with = and <>"); return fail(); }
        Value r;
        r.type = el(Kind::Bool);
        r.code = "(" + a.code + (op == "=" ? " == " : " != ") + b.code + ")";
        return r;
    }
    const bool arithmetic = op == "+" || op == "-" || op == "*" || op == "/" || op == "MOD" || op == "**";
    if (arithmetic && (a.type->kind == Kind::Bool || b.type->kind == Kind::Bool)) {
        diag_.error(e.at, "'" + op + "' is not defined for BOOL");
        return fail();
    }
    // Literals take the other operand's type; the narrower operand widens.
    const Type* common = nullptr;
    const bool timeArithmetic = (op == "+" || op == "-" || op == "*" || op == "/") && a.type->isArrayShaped() && a.type->kind != Kind::String;
    if (!timeArithmetic) {
        if (a.literal && !b.literal) common = b.type;
        else if (b.literal && !a.literal) common = a.type;
        else if (a.literal && b.literal) common = (a.type->kind == Kind::Real || b.type->kind == Kind::Real) ? el(Kind::Real) : (hint && hint->isNumeric() && !comparison ? hint : el(Kind::Dint));
        else if (sameType(*a.type, *b.type)) common = a.type;
        else if (widens(*a.type, *b.type)) common = b.type;
        else if (widens(*b.type, *a.type)) common = a.type;
        else if (a.type->kind == Kind::String && b.type->kind == Kind::String) common = el(Kind::String);
        else {
            diag_.error(e.at, "operands of '" + op + "' differ in type: " + descriptionName(*a.type) + " and " + descriptionName(*b.type) +
                                  (a.type->isElementary() && b.type->isElementary() ? "; convert one with " + conversionName(*b.type, *a.type) : ""));
            return fail();
        }
        if (common->ranged) common = el(common->kind);
        a = convert(a, common, e.operands[0]->at, "an expression");
        b = convert(b, common, e.operands[1]->at, "an expression");
        if (!a.ok || !b.ok) return fail();
    }
    std::string problem;
    const std::string name = operatorFunction(op);
    if ((op == "+" || op == "-" || op == "*" || op == "/" || op == "MOD" || op == "**") && common &&
        (common->kind == Kind::Byte || common->kind == Kind::Word || common->kind == Kind::Dword || common->kind == Kind::Bool)) {
        diag_.error(e.at, "'" + op + "' is not defined for " + common->name + ": convert to an integer type first (" + common->name + "_TO_DINT)");
        return fail();
    }
    LibraryFunction f = resolveLibrary(name, {a.type, b.type}, d_, problem);
    if (f.c.empty()) {
        diag_.error(e.at, "'" + op + "' " + (problem.empty() ? "is not defined for " + a.type->name : problem.substr(problem.find(' ') + 1)));
        return fail();
    }
    std::vector<Value> args{a, b};
    Value r;
    r.type = f.result;
    r.code = libraryCall(f, args);
    if (a.constant && b.constant && a.type->isInteger() && comparison) {
        r.constant = true;
        r.integer = op == "=" ? a.integer == b.integer : op == "<>" ? a.integer != b.integer : op == "<" ? a.integer < b.integer
                  : op == "<=" ? a.integer <= b.integer : op == ">" ? a.integer > b.integer : a.integer >= b.integer;
    }
    return r;
}

std::string Generator::libraryCall(const LibraryFunction& f, std::vector<Value>& args) {
    std::string code = f.c + "(";
    for (std::size_t k = 0; k < args.size(); ++k) code += (k ? ", " : "") + args[k].code;
    if (f.mux)
        for (std::size_t k = args.size(); k < 11; ++k) code += ", " + args[1].code;
    code += ")";
    if (f.result->isArrayShaped()) allocates_ = true;
    if (f.result->kind == Kind::Bool) return "(" + code + " & 1)";
    if (f.result->kind == Kind::Sint) return "((int32_t)(int8_t)" + code + ")";
    if (f.result->kind == Kind::Int) return "((int32_t)(int16_t)" + code + ")";
    if (f.result->kind == Kind::Byte) return "(" + code + " & 0xFF)";
    if (f.result->kind == Kind::Word) return "(" + code + " & 0xFFFF)";
    return code;
}

Value Generator::call(Expr& e, const Type* hint) {
    Expr& callee = *e.operands[0];
    if (callee.kind != Expr::Name) {
        diag_.error(e.at, "a function-block instance is called as a statement, not in an expression");
        return fail();
    }
    if (Pou* f = d_.findPou(callee.text)) {
        if (f->kind != PouDecl::Function) {
            diag_.error(e.at, f->raw + " is not a function");
            return fail();
        }
        return userFunction(e, *f);
    }
    if (scope_ && scope_->var(callee.text)) {
        diag_.error(e.at, "a function-block instance is called as a statement, not in an expression");
        return fail();
    }
    if (!isLibraryFunction(callee.text)) {
        diag_.error(callee.at, "unknown function " + callee.raw);
        return fail();
    }
    // Library functions take their arguments in order; formal names are accepted in order too.
    std::vector<Value> args;
    std::vector<const Type*> types;
    for (Argument& a : e.arguments) {
        if (a.output) { diag_.error(a.at, "library functions have no outputs to connect"); return fail(); }
        args.push_back(expression(*a.value));
        if (!args.back().ok) return fail();
        types.push_back(args.back().literal ? nullptr : args.back().type);
    }
    // Literal arguments take the type of the others.
    const Type* known = nullptr;
    for (std::size_t k = 0; k < types.size(); ++k)
        if (types[k] && !(callee.text == "SEL" && k == 0) && !(callee.text == "MUX" && k == 0)) { known = types[k]; break; }
    if (!known && hint && hint->isNumeric() && callee.text != "MUX" && callee.text != "SEL") known = hint;
    if (!known && hint && hint->isNumeric() && (callee.text == "MUX" || callee.text == "SEL")) known = hint;
    for (std::size_t k = 0; k < types.size(); ++k)
        if (!types[k]) types[k] = known && (known->isNumeric()) && !(callee.text == "MUX" && k == 0) ? known : args[k].type;
    std::string problem;
    LibraryFunction f = resolveLibrary(callee.text, types, d_, problem);
    if (f.c.empty()) {
        diag_.error(e.at, problem.empty() ? callee.raw + " is not defined for these arguments" : problem);
        return fail();
    }
    for (std::size_t k = 0; k < args.size(); ++k) {
        args[k] = convert(args[k], f.parameters[k], e.arguments[k].value->at, "an argument");
        if (!args[k].ok) return fail();
    }
    Value r;
    r.type = f.result;
    r.code = libraryCall(f, args);
    return r;
}

Value Generator::userFunction(Expr& e, const Pou& f) {
    // Inputs by value in declaration order; outputs and VAR_IN_OUT by their places.
    std::vector<const Variable*> inputs, references;
    for (const Variable& v : f.vars) {
        if (v.section == Section::Input) inputs.push_back(&v);
        if (v.byReference) references.push_back(&v);
    }
    std::vector<std::string> values(inputs.size());
    std::vector<Place> places(references.size());
    std::vector<bool> given(inputs.size() + references.size(), false);
    std::size_t positional = 0;
    bool ok = true;
    for (Argument& a : e.arguments) {
        const Variable* target = nullptr;
        if (a.name.empty()) {
            std::vector<const Variable*> order;
            for (const Variable& v : f.vars)
                if (v.section == Section::Input || v.section == Section::InOut) order.push_back(&v);
            if (positional >= order.size()) { diag_.error(a.at, "too many arguments for " + f.raw); return fail(); }
            target = order[positional++];
        } else {
            target = f.var(a.name);
            if (!target || (target->section != Section::Input && target->section != Section::Output && target->section != Section::InOut) || target->name == f.name) {
                diag_.error(a.at, f.raw + " has no parameter " + a.name);
                return fail();
            }
            if (a.output != (target->section == Section::Output)) {
                diag_.error(a.at, a.output ? "'=>' connects an output" : "an output is connected with '=>'");
                return fail();
            }
        }
        if (target->section == Section::Input) {
            const std::size_t k = static_cast<std::size_t>(std::find(inputs.begin(), inputs.end(), target) - inputs.begin());
            Value v = convert(expression(*a.value, target->type), target->type, a.value->at, "an argument");
            if (!v.ok) { ok = false; continue; }
            values[k] = v.code;
            given[k] = true;
        } else {
            const std::size_t k = static_cast<std::size_t>(std::find(references.begin(), references.end(), target) - references.begin());
            Place p;
            if (!place(*a.value, p, true)) { diag_.error(a.value->at, "a VAR_IN_OUT or output argument is a variable"); ok = false; continue; }
            if (!sameType(*p.type, *target->type)) { diag_.error(a.value->at, "argument of type " + p.type->name + " for a parameter of type " + target->type->name); ok = false; continue; }
            places[k] = p;
            given[inputs.size() + k] = true;
        }
    }
    if (!ok) return fail();
    std::string io = "NULL";
    if (!references.empty()) {
        // Outputs left unconnected write into scratch slots of their own.
        io = temp();
        std::string list;
        for (std::size_t k = 0; k < references.size(); ++k) {
            if (!given[inputs.size() + k] && references[k]->section == Section::InOut) {
                diag_.error(e.at, "VAR_IN_OUT " + references[k]->raw + " of " + f.raw + " must be connected");
                return fail();
            }
            for (int a = 0; a < 4; ++a) {
                if (given[inputs.size() + k]) {
                    list += std::string(areaFn(a) == std::string("qvc_b") || a == 3 ? "" : "(unsigned char *)") + pointer(places[k], a) + ", ";
                } else {
                    const std::string scratch = "qvc_k" + str(++constants_n_);
                    constants_ += "static int32_t " + scratch + "[" + str(3 * references[k]->type->size.n[a] + 3) + "];\n";
                    list += "(unsigned char *)" + scratch + ", ";
                }
            }
        }
        prelude_ += "unsigned char *" + io + "[] = {" + list + "NULL};\n";
    }
    if (scope_) calls_[scope_].emplace_back(&f, e.at);
    std::string code = "qvc_fn_" + identifier(f.name) + "(";
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        std::string v = values[k];
        if (!given[k]) {
            // An input left out takes its declared initial value.
            v = inputs[k]->type->isArrayShaped() ? "NULL" : "0";
            if (inputs[k]->init && inputs[k]->init->kind == Initializer::Value) {
                Value d = convert(expression(*inputs[k]->init->value, inputs[k]->type), inputs[k]->type, inputs[k]->at, "an initial value");
                if (d.ok) v = d.code;
            }
        }
        code += v + ", ";
    }
    code += io + ", " + (inFunction_ || scope_ ? "inst" : "1") + ")";
    allocates_ = true;
    faults_ = true;  // a fault inside the function ends the caller's statement too
    Value r;
    if (!f.result) {
        r.type = el(Kind::Bool);
        r.code = "(" + code + ", 0)";
        return r;
    }
    r.type = f.result;
    r.code = code;
    return r;
}

// ---- Statements ------------------------------------------------------------------------------

void Generator::block(Block& b, int indent) {
    bool after = false;
    int32_t previous = -1;
    for (StmtPtr& s : b) {
        if (after) {
            diag_.warning(s->at, "unreachable statement");
            after = false;
        }
        // Statements that follow each other on one line (a rung of a drawing compiles to
        // several) are one place to pause at: the program stops there once, not at each.
        const int32_t location = s->hidden ? -1 : locationOf(s->at);
        statement(*s, indent, location >= 0 && location == previous);
        if (location >= 0) previous = location;
        if (s->kind == Stmt::Return || s->kind == Stmt::Exit) after = true;
    }
}

void Generator::statement(Stmt& s, int indent, bool sameLocation) {
    statementAt_ = s.at;
    const int32_t location = locationOf(s.at);
    if (!s.hidden && !seen_.count(location)) {
        seen_.insert(location);
        locations_.push_back({location, s.at.file, s.at.line, s.at.column, s.endColumn});
    }
    faults_ = false;
    allocates_ = false;
    prelude_.clear();
    if (!s.hidden && !sameLocation) emit(indent, "QVC_AT(" + str(location) + ");");
    const std::size_t body = out_.size();
    switch (s.kind) {
        case Stmt::Assign: assign(*s.target, *s.value, indent); break;
        case Stmt::Call: {
            Expr& c = *s.value;
            Expr& callee = *c.operands[0];
            Place p;
            const bool isInstance = callee.kind != Expr::Name || (scope_ && (scope_->var(callee.text) ||
                                    std::any_of(d_.globals().begin(), d_.globals().end(), [&](const Variable& g) { return g.name == callee.text; })));
            if (isInstance) {
                blockCall(c, indent);
            } else {
                Value v = expression(c);
                if (v.ok) emit(indent, "(void)" + v.code + ";");
            }
            break;
        }
        case Stmt::If: {
            for (std::size_t k = 0; k < s.conditions.size(); ++k) {
                Value c = convert(expression(*s.conditions[k], el(Kind::Bool)), el(Kind::Bool), s.conditions[k]->at, "a condition");
                emit(indent, std::string(k == 0 ? "if (" : "} else if (") + bare(c.code) + ") {");
                block(s.blocks[k], indent + 1);
            }
            if (s.hasElse) {
                emit(indent, "} else {");
                block(s.blocks.back(), indent + 1);
            }
            emit(indent, "}");
            break;
        }
        case Stmt::Case: {
            Value sel = expression(*s.conditions[0]);
            if (sel.ok && !sel.type->isInteger() && sel.type->kind != Kind::Enum) {
                diag_.error(s.conditions[0]->at, "a CASE selector is an integer or an enumerated value");
                sel.ok = false;
            }
            const std::string t = temp();
            emit(indent, "{");
            emit(indent + 1, "const int64_t " + t + " = (int64_t)(" + sel.code + ");");
            bool first = true;
            std::vector<std::pair<int64_t, int64_t>> taken;  // the labels so far, which must not overlap
            for (CaseBranch& branch : s.branches) {
                std::string cond;
                for (CaseLabel& label : branch.labels) {
                    auto value = [&](Expr& x, int64_t& out) {
                        Value v = expression(x, sel.ok ? sel.type : nullptr);
                        if (!v.ok) return false;
                        if (!v.constant) { diag_.error(x.at, "a CASE label is a constant"); return false; }
                        if (sel.ok && sel.type->kind == Kind::Enum && !sameType(*v.type, *sel.type)) {
                            diag_.error(x.at, "a CASE label of " + v.type->name + " for a selector of " + sel.type->name);
                            return false;
                        }
                        out = v.integer;
                        return true;
                    };
                    int64_t lo = 0, hi = 0;
                    if (!value(*label.low, lo)) continue;
                    hi = lo;
                    if (label.high && !value(*label.high, hi)) continue;
                    for (const auto& [a, b] : taken)
                        if (lo <= b && a <= hi) {
                            diag_.error(label.low->at, "CASE value " + str(std::max(lo, a)) + " is given twice");
                            break;
                        }
                    taken.emplace_back(lo, hi);
                    if (label.high) {
                        cond += std::string(cond.empty() ? "" : " || ") + "(" + t + " >= " + str(lo) + " && " + t + " <= " + str(hi) + ")";
                    } else {
                        cond += std::string(cond.empty() ? "" : " || ") + t + " == " + str(lo);
                    }
                }
                if (cond.empty()) cond = "0";
                emit(indent + 1, std::string(first ? "if (" : "} else if (") + cond + ") {");
                first = false;
                block(branch.body, indent + 2);
            }
            if (s.hasElse) {
                emit(indent + 1, first ? "{" : "} else {");
                block(s.elseBlock, indent + 2);
                emit(indent + 1, "}");
            } else if (!first) {
                emit(indent + 1, "}");
            }
            emit(indent, "}");
            break;
        }
        case Stmt::For: {
            Place counter;
            if (!place(*s.target, counter, true) || !counter.type->isInteger()) {
                if (s.target->kind == Expr::Name && !(scope_ && scope_->var(s.target->text))) diag_.error(s.target->at, "unknown variable " + s.target->raw);
                else diag_.error(s.target->at, "a FOR variable is an integer variable");
                break;
            }
            Value from = convert(expression(*s.from, counter.type), counter.type, s.from->at, "FOR");
            Value to = convert(expression(*s.to, counter.type), counter.type, s.to->at, "FOR");
            Value by;
            by.type = counter.type;
            by.code = "1";
            by.constant = true;
            by.integer = 1;
            if (s.by) by = convert(expression(*s.by, counter.type), counter.type, s.by->at, "FOR");
            if (by.ok && by.constant && by.integer == 0) diag_.error(s.by->at, "FOR ... BY 0 never ends");
            const std::string k = temp(), end = temp(), step = temp();
            emit(indent, "{");
            emit(indent + 1, "int64_t " + k + " = (int64_t)(" + from.code + ");");
            emit(indent + 1, "const int64_t " + end + " = (int64_t)(" + to.code + "), " + step + " = (int64_t)(" + by.code + ");");
            const std::string mark = poolMark(indent + 1);
            emit(indent + 1, "for (; (" + step + " > 0 && " + k + " <= " + end + ") || (" + step + " < 0 && " + k + " >= " + end + "); " + k + " += " + step + ") {");
            emit(indent + 2, mark);
            emit(indent + 2, write(counter, k));
            loopBody(s.blocks[0], indent + 2);
            emit(indent + 1, "}");
            emit(indent, "}");
            break;
        }
        case Stmt::While: {
            Value c = convert(expression(*s.conditions[0], el(Kind::Bool)), el(Kind::Bool), s.conditions[0]->at, "a condition");
            emit(indent, "{");
            const std::string mark = poolMark(indent + 1);
            emit(indent + 1, "while (" + bare(c.code) + ") {");
            emit(indent + 2, mark);
            loopBody(s.blocks[0], indent + 2);
            emit(indent + 1, "}");
            emit(indent, "}");
            break;
        }
        case Stmt::Repeat: {
            emit(indent, "{");
            const std::string mark = poolMark(indent + 1);
            emit(indent + 1, "do {");
            emit(indent + 2, mark);
            loopBody(s.blocks[0], indent + 2);
            statementAt_ = s.at;
            Value c = convert(expression(*s.conditions[0], el(Kind::Bool)), el(Kind::Bool), s.conditions[0]->at, "a condition");
            emit(indent + 1, "} while (!(" + c.code + "));");
            emit(indent, "}");
            break;
        }
        case Stmt::Exit:
            if (loops_ == 0) diag_.error(s.at, "EXIT outside a loop");
            emit(indent, "break;");
            break;
        case Stmt::Return:
            emit(indent, inFunction_ ? "goto qvc_return;" : "return 0;");
            break;
        case Stmt::Empty: break;
    }
    // What the statement's expressions needed before it, and its faults after it.
    if (!prelude_.empty()) {
        std::string pre;
        std::size_t at = 0;
        while (at < prelude_.size()) {
            const std::size_t end = prelude_.find('\n', at);
            pre += std::string(static_cast<std::size_t>(indent + 1) * 4, ' ') + prelude_.substr(at, end - at + 1);
            at = end + 1;
        }
        out_.insert(body, std::string(static_cast<std::size_t>(indent) * 4, ' ') + "{\n" + pre);
        emit(indent, "}");
        prelude_.clear();
    }
    if (faults_ && !inFunction_) emit(indent, "if (qvc_failed) return qvc_failed;");
    if (allocates_ && !inFunction_ && s.kind != Stmt::If && s.kind != Stmt::Case && s.kind != Stmt::While &&
        s.kind != Stmt::For && s.kind != Stmt::Repeat)
        emit(indent, "if (nb_alloc > 0) free_all_alloc();");
}

void Generator::assign(Expr& target, Expr& valueExpr, int indent) {
    if (target.kind == Expr::Bit) {
        Place p;
        if (!place(*target.operands[0], p, true)) return;
        if (!p.type->isInteger()) { diag_.error(target.at, "bit access needs a BYTE, WORD, DWORD or integer"); return; }
        Value v = convert(expression(valueExpr, el(Kind::Bool)), el(Kind::Bool), valueExpr.at, "an assignment");
        if (!v.ok) return;
        emit(indent, "qvc_seti(" + pointer(p, kInt) + ", affect_AnyBit(*" + pointer(p, kInt) + ", " + str(target.integer) + ", " + v.code + "));");
        return;
    }
    Place p;
    if (!place(target, p, true)) {
        if (target.kind == Expr::Name) {
            const Type* t = nullptr;
            int32_t value = 0;
            if (d_.findEnumValue(target.qualifier, target.text, t, value)) diag_.error(target.at, "an enumerated value cannot be assigned");
            else diag_.error(target.at, "unknown variable " + target.raw);
        } else if (target.kind != Expr::Member && target.kind != Expr::Index) {
            diag_.error(target.at, "the left side of ':=' is not a variable");
        }
        return;
    }
    if (!p.writable) {
        diag_.error(target.at, p.variable ? (p.variable->constant ? p.variable->raw + " is a constant" : p.variable->raw + " cannot be written here")
                                          : "this cannot be written");
        return;
    }
    if (p.variable && scope_ && scope_->kind != PouDecl::Function && p.variable->section == Section::Input &&
        target.kind == Expr::Name && !p.variable->global)
        diag_.warning(target.at, "assignment to input " + p.variable->raw);
    if (!p.type->isElementary() && p.type->kind != Kind::Enum) {
        Place src;
        if (!place(valueExpr, src, false) || !sameType(*src.type, *p.type)) {
            diag_.error(valueExpr.at, "a whole " + p.type->name + " is assigned only from a variable of the same type");
            return;
        }
        std::string args;
        for (int a = 0; a < 4; ++a)
            args += std::string(a ? ", " : "") + "(unsigned char *)" + pointer(p, a) + ", (const unsigned char *)" + pointer(src, a) + ", " + str(p.type->size.n[a]);
        emit(indent, "qvc_copy(" + args + ");");
        return;
    }
    Value v = convert(expression(valueExpr, p.type), p.type, valueExpr.at, "an assignment");
    if (!v.ok) return;
    emit(indent, write(p, v.code));
}

// A function-block call: inputs into the instance, the block runs, outputs out of it.
void Generator::blockCall(Expr& c, int indent) {
    Place inst;
    if (!place(*c.operands[0], inst, false)) {
        if (c.operands[0]->kind == Expr::Name) diag_.error(c.operands[0]->at, "unknown function block instance " + c.operands[0]->raw);
        return;
    }
    const Type& t = *inst.type;
    if (t.kind != Kind::UserBlock && t.kind != Kind::LibraryBlock) {
        diag_.error(c.at, inst.type->name + " is not a function block");
        return;
    }
    std::vector<std::string> inputs;
    if (t.kind == Kind::LibraryBlock) inputs = t.block->inputs;
    else
        for (const Variable& v : t.members)
            if (v.section == Section::Input || v.section == Section::InOut) inputs.push_back(v.name);
    std::size_t positional = 0;
    std::vector<std::pair<const Variable*, Argument*>> outputs;
    std::vector<Place> references(t.kind == Kind::UserBlock ? static_cast<std::size_t>(t.pou->references) : 0);
    std::vector<bool> connected(references.size(), false);
    for (Argument& a : c.arguments) {
        const Variable* m = nullptr;
        if (a.name.empty()) {
            if (positional >= inputs.size()) { diag_.error(a.at, "too many arguments for " + t.name); return; }
            m = t.member(inputs[positional++]);
        } else {
            m = t.member(a.name);
            if (!m) { diag_.error(a.at, t.name + " has no parameter " + a.name); continue; }
        }
        const bool isInput = std::find(inputs.begin(), inputs.end(), m->name) != inputs.end();
        if (a.output) {
            const bool isOutput = t.kind == Kind::LibraryBlock
                                      ? std::find(t.block->outputs.begin(), t.block->outputs.end(), m->name) != t.block->outputs.end()
                                      : m->section == Section::Output;
            if (!isOutput) { diag_.error(a.at, m->raw + " is not an output of " + t.name); continue; }
            outputs.emplace_back(m, &a);
            continue;
        }
        if (!isInput) { diag_.error(a.at, m->raw + " is not an input of " + t.name); continue; }
        if (m->byReference) {
            Place p;
            if (!place(*a.value, p, true) || !sameType(*p.type, *m->type)) {
                diag_.error(a.value->at, "VAR_IN_OUT " + m->raw + " takes a variable of type " + m->type->name);
                continue;
            }
            references[static_cast<std::size_t>(m->referenceIndex)] = p;
            connected[static_cast<std::size_t>(m->referenceIndex)] = true;
            continue;
        }
        Place target = inst;
        target.type = m->type;
        target.variable = m;
        for (int k = 0; k < 4; ++k) target.offset[k] = "(" + inst.offset[k] + ") + " + str(m->offset.n[k]);
        if (!m->type->isElementary() && m->type->kind != Kind::Enum) {
            Place src;
            if (!place(*a.value, src, false) || !sameType(*src.type, *m->type)) { diag_.error(a.value->at, "argument of another type than " + m->type->name); continue; }
            std::string args;
            for (int k = 0; k < 4; ++k)
                args += std::string(k ? ", " : "") + "(unsigned char *)" + pointer(target, k) + ", (const unsigned char *)" + pointer(src, k) + ", " + str(m->type->size.n[k]);
            emit(indent, "qvc_copy(" + args + ");");
            continue;
        }
        Value v = convert(expression(*a.value, m->type), m->type, a.value->at, "an argument");
        if (v.ok) emit(indent, write(target, v.code));
    }
    auto member = [&](const char* name) {
        const Variable* m = t.member(name);
        Place p = inst;
        p.type = m->type;
        for (int k = 0; k < 4; ++k) p.offset[k] = "(" + inst.offset[k] + ") + " + str(m->offset.n[k]);
        return p;
    };
    auto b = [&](const char* name) { return read(member(name)).code; };
    auto i = [&](const char* name) { return pointer(member(name), kInt); };
    auto w = [&](const char* name) { return "(QV_BlockWord *)(void *)" + i(name); };
    if (t.kind == Kind::LibraryBlock) {
        const std::string& n = t.name;
        const std::string q = n == "RS" || n == "SR" ? "Q1" : n == "CTUD" ? "QU" : "Q";
        std::string call;
        if (n == "TON" || n == "TP") call = (n == "TON" ? "ton_Q(" : "tp_Q(") + b("IN") + ", " + i("PT") + ", " + i("ET") + ", " + i("memo") + ")";
        else if (n == "TOF") call = "tof_Q(" + b("IN") + ", " + i("PT") + ", " + i("ET") + ", (int16_t *)(void *)" + i("running") + ", " + i("memo") + ")";
        else if (n == "R_TRIG" || n == "F_TRIG") call = (n == "R_TRIG" ? "r_trig_Q(" : "f_trig_Q(") + b("CLK") + ", " + w("M") + ")";
        else if (n == "RS") call = "rs_Q1(" + b("S") + ", " + b("R1") + ", " + w("Q1") + ")";
        else if (n == "SR") call = "sr_Q1(" + b("S1") + ", " + b("R") + ", " + w("Q1") + ")";
        else if (n == "CTU") call = "ctu_Q(" + b("CU") + ", " + b("R") + ", " + b("PV") + ", " + w("CV") + ", " + w("memo") + ")";
        else if (n == "CTD") call = "ctd_Q(" + b("CD") + ", " + b("LD") + ", " + b("PV") + ", " + w("CV") + ", " + w("memo") + ")";
        else if (n == "CTUD") call = "ctud_QU(" + b("CU") + ", " + b("CD") + ", " + b("R") + ", " + b("LD") + ", " + b("PV") + ", " + w("CV") + ", " + w("memo") + ")";
        if (q == "Q1") {
            emit(indent, "(void)" + call + ";");
            emit(indent, "QVC_POST(int, " + i("Q1") + ");");
        } else {
            emit(indent, write(member(q.c_str()), "(" + call + ") & 1"));
        }
        if (n == "CTUD")
            emit(indent, write(member("QD"), "ctud_QD(" + b("CU") + ", " + b("CD") + ", " + b("R") + ", " + b("LD") + ", " + b("PV") + ", " + w("CV") + ", " + w("memo") + ") & 1"));
        if (n == "CTU" || n == "CTD" || n == "CTUD") {
            emit(indent, "qvc_widen(" + i("CV") + "); qvc_widen(" + i("memo") + ");");
            emit(indent, "QVC_POST(int, " + i("CV") + ");");
        }
        if (n == "TON" || n == "TP" || n == "TOF") emit(indent, "QVC_POST_ARRAY(int, " + i("ET") + ", 2);");
    } else {
        std::string io = "NULL";
        if (!references.empty()) {
            io = temp();
            std::string list;
            for (std::size_t k = 0; k < references.size(); ++k) {
                if (!connected[k]) {
                    diag_.error(c.at, "every VAR_IN_OUT of " + t.name + " must be connected");
                    return;
                }
                for (int a = 0; a < 4; ++a)
                    list += std::string(a == 0 || a == 3 ? "" : "(unsigned char *)") + pointer(references[k], a) + ", ";
            }
            prelude_ += "unsigned char *" + io + "[] = {" + list + "NULL};\n";
        }
        std::string frame;
        for (int a = 0; a < 4; ++a) frame += "(unsigned char *)" + pointer(inst, a) + ", ";
        const std::string r = temp();
        emit(indent, "{");
        emit(indent + 1, "const int32_t " + r + " = qvc_body_" + identifier(t.pou->name) + "(" + frame + io + ", " + inst.instance + ");");
        emit(indent + 1, "self_num = inst;");
        emit(indent + 1, "if (" + r + " != 0) return " + r + ";");
        emit(indent, "}");
        allocates_ = true;
    }
    for (auto [m, a] : outputs) {
        Place target;
        if (!place(*a->value, target, true)) { diag_.error(a->value->at, "an output is connected to a variable"); continue; }
        Place src = member(m->name.c_str());
        if (t.kind == Kind::LibraryBlock && m->name == "Q1") src.blockWord = true;
        Value v = read(src);
        if (a->negated) {
            if (v.type->kind != Kind::Bool) { diag_.error(a->at, "NOT applies to a BOOL output"); continue; }
            v.code = "(!" + v.code + ")";
        }
        v = convert(v, target.type, a->value->at, "an output assignment");
        if (v.ok) emit(indent, write(target, v.code));
    }
}

// ---- Initial values ----------------------------------------------------------------------------

void Generator::initialiseValue(const Place& p, Expr& e, int indent) {
    Value v = convert(expression(e, p.type), p.type, e.at, "an initial value");
    if (!v.ok) return;
    if (!v.constant) {
        diag_.error(e.at, "an initial value is a constant");
        return;
    }
    switch (p.type->kind) {
        case Kind::Bool: emit(indent, "qvc_initb(" + pointer(p, kBool) + ", " + v.code + ");"); break;
        case Kind::Real: emit(indent, "qvc_initr(" + pointer(p, kReal) + ", " + v.code + ");"); break;
        case Kind::Time: case Kind::Dt: case Kind::Date: case Kind::Tod: {
            const int n = p.type->kind == Kind::Time || p.type->kind == Kind::Dt ? 2 : 1;
            emit(indent, "qvc_initt(" + pointer(p, kInt) + ", " + str(n) + ", " + v.code + "[6], " + v.code + "[" + str(n > 1 ? 9 : 6) + "]);");
            break;
        }
        case Kind::String: {
            if (e.kind != Expr::String) { diag_.error(e.at, "a STRING's initial value is a string literal"); return; }
            if (static_cast<int64_t>(e.raw.size()) > p.type->length) diag_.warning(e.at, "initial value longer than the STRING's length: cut");
            emit(indent, "qvc_inits(" + pointer(p, kChar) + ", " + str(p.type->length) + ", " + cQuote(e.raw) + ", " +
                             str(std::min<int64_t>(static_cast<int64_t>(e.raw.size()), p.type->length)) + ");");
            break;
        }
        default: emit(indent, "qvc_initi(" + pointer(p, kInt) + ", (int32_t)(" + v.code + "));"); break;
    }
}

void Generator::initialise(const Place& p, const Initializer* init, int indent) {
    const Type& t = *p.type;
    if (!init && t.init) init = t.init;
    if (t.isElementary() || t.kind == Kind::Enum) {
        if (init && init->kind == Initializer::Value) return initialiseValue(p, *init->value, indent);
        if (init && init->kind != Initializer::None) {
            diag_.error(init->at, "a " + t.name + " takes a single initial value");
            return;
        }
        if (t.kind == Kind::Enum) {
            emit(indent, "qvc_initi(" + pointer(p, kInt) + ", " + str(t.values.empty() ? 0 : t.values[0].second) + ");");
            return;
        }
        switch (t.kind) {
            case Kind::Bool: emit(indent, "qvc_initb(" + pointer(p, kBool) + ", 0);"); break;
            case Kind::Real: emit(indent, "qvc_initr(" + pointer(p, kReal) + ", 0.0f);"); break;
            case Kind::Time: case Kind::Dt: emit(indent, "qvc_initt(" + pointer(p, kInt) + ", 2, 0, 0);"); break;
            case Kind::Date: case Kind::Tod: emit(indent, "qvc_initt(" + pointer(p, kInt) + ", 1, 0, 0);"); break;
            case Kind::String: emit(indent, "qvc_inits(" + pointer(p, kChar) + ", " + str(t.length) + ", \"\", 0);"); break;
            default: {
                const int64_t start = t.ranged && (t.low > 0 || t.high < 0) ? t.low : 0;
                emit(indent, "qvc_initi(" + pointer(p, kInt) + ", " + str(start) + ");");
            }
        }
        return;
    }
    if (t.kind == Kind::Array) {
        if (init && init->kind != Initializer::List) {
            diag_.error(init->at, "an array's initial value is a list in [ ]");
            init = nullptr;
        }
        const int64_t count = t.elementCount();
        auto elementPlace = [&](const std::string& k) {
            Place e = p;
            e.type = t.element;
            for (int a = 0; a < 4; ++a) e.offset[a] = "(" + p.offset[a] + ") + (" + k + ") * " + str(t.element->size.n[a]);
            return e;
        };
        int64_t k = 0;
        if (init) {
            for (auto& [countExpr, element] : init->list) {
                int64_t repeat = 1;
                if (countExpr && (!d_.constantInteger(*countExpr, repeat) || repeat < 0)) {
                    diag_.error(countExpr->at, "a repeat count is a constant integer");
                    return;
                }
                if (k + repeat > count) {
                    diag_.error(init->at, "more initial values than the array has elements (" + str(count) + ")");
                    return;
                }
                if (repeat == 1) {
                    initialise(elementPlace(str(k)), element.get(), indent);
                } else if (repeat > 0) {
                    const std::string v = temp();
                    emit(indent, "{ long " + v + "; for (" + v + " = " + str(k) + "; " + v + " < " + str(k + repeat) + "; ++" + v + ") {");
                    initialise(elementPlace(v), element.get(), indent + 1);
                    emit(indent, "} }");
                }
                k += repeat;
            }
        }
        if (k < count) {
            const std::string v = temp();
            emit(indent, "{ long " + v + "; for (" + v + " = " + str(k) + "; " + v + " < " + str(count) + "; ++" + v + ") {");
            initialise(elementPlace(v), nullptr, indent + 1);
            emit(indent, "} }");
        }
        return;
    }
    if (t.kind == Kind::Struct || t.kind == Kind::UserBlock || t.kind == Kind::LibraryBlock) {
        if (init && init->kind != Initializer::Fields) {
            diag_.error(init->at, "a " + t.name + "'s initial value is a list of (member := value)");
            init = nullptr;
        }
        if (init)
            for (auto& [name, value] : init->fields) {
                const Variable* m = t.member(name);
                if (!m || m->byReference) diag_.error(value->at, t.name + " has no member " + name);
            }
        if (t.kind == Kind::UserBlock && !init) {
            std::string args;
            for (int a = 0; a < 4; ++a) args += std::string(a ? ", " : "") + "(unsigned char *)" + pointer(p, a);
            emit(indent, "qvc_init_" + identifier(t.pou->name) + "(" + args + ", fresh);");
            return;
        }
        for (const Variable& m : t.members) {
            if (m.byReference || m.section == Section::External) continue;
            Place mp = p;
            mp.type = m.type;
            for (int a = 0; a < 4; ++a) mp.offset[a] = "(" + p.offset[a] + ") + " + str(m.offset.n[a]);
            const Initializer* mi = m.init;
            if (init)
                for (auto& [name, value] : init->fields)
                    if (name == m.name) mi = value.get();
            if (m.retain) emit(indent, "if (fresh) {");
            initialise(mp, mi, indent + (m.retain ? 1 : 0));
            if (m.retain) emit(indent, "}");
        }
    }
}

// ---- POUs ------------------------------------------------------------------------------------

void Generator::markUnused(const Pou& p) {
    for (const Variable& v : p.vars)
        if (!v.used && v.name != p.name && v.section != Section::Input && v.section != Section::Output &&
            v.section != Section::InOut && v.section != Section::Global && v.address.empty() && p.kind != PouDecl::Program)
            diag_.warning(v.at, "variable " + v.raw + " is never used");
}

void Generator::pouBody(Pou& p) {
    scope_ = &p;
    inFunction_ = p.kind == PouDecl::Function;
    out_.clear();
    const std::string name = identifier(p.name);
    Place frame;
    for (int a = 0; a < 4; ++a) {
        static const char* b[] = {"B", "I", "R", "C"};
        frame.base[a] = b[a];
        frame.offset[a] = "0";
    }
    if (p.kind == PouDecl::Function) {
        // Parameters: inputs by value, then the pointers of outputs and VAR_IN_OUT.
        std::string params;
        for (const Variable& v : p.vars)
            if (v.section == Section::Input) params += cType(*v.type) + " in_" + identifier(v.name) + ", ";
        const std::string result = p.result ? cType(*p.result) : "int";
        const std::string signature = "static " + result + " qvc_fn_" + name + "(" + params + "unsigned char **io, int32_t inst)";
        prototypes_ += signature + ";\n";
        out_ += signature + " {\n";
        // The function's variables live in a frame of its own on the stack, laid out as slots.
        emit(1, "int32_t fb[" + str(p.size.n[kBool] / 2 + 2) + "], fi[" + str(3 * p.size.n[kInt] + 3) + "], fr[" + str(3 * p.size.n[kReal] + 3) +
                    "], fc[" + str(p.size.n[kChar] + 1) + "];");
        emit(1, "unsigned char *B = (unsigned char *)fb, *I = (unsigned char *)fi, *R = (unsigned char *)fr, *C = (unsigned char *)fc;");
        emit(1, "const int fresh = 1;");
        emit(1, "memset(fb, 0, sizeof fb); memset(fi, 0, sizeof fi); memset(fr, 0, sizeof fr); memset(fc, 0, sizeof fc);");
        emit(1, "(void)io; (void)fresh; (void)B; (void)I; (void)R; (void)C;");
        for (const Variable& v : p.vars) {
            if (v.byReference) continue;
            initialise(variablePlace(v), v.init, 1);
            if (v.section == Section::Input) {
                if (!v.type->isElementary() && v.type->kind != Kind::Enum) {
                    diag_.error(v.at, "a FUNCTION's inputs are elementary: pass arrays and structures as VAR_IN_OUT");
                    continue;
                }
                const std::string in = "in_" + identifier(v.name);
                if (v.type->isArrayShaped()) emit(1, "if (" + in + ") " + write(variablePlace(v), in));
                else emit(1, write(variablePlace(v), in));
            }
        }
        block(const_cast<PouDecl*>(p.decl)->body, 1);
        emit(1, "goto qvc_return;");
        out_ += "qvc_return:\n";
        if (p.result) {
            Place r = variablePlace(*p.var(p.name));
            if (p.result->kind == Kind::String) {
                emit(1, "{ unsigned char *t = alloc_char(" + str(p.result->length) + "); if (t) copy_char_array(t, " + pointer(r, kChar) + ", " + str(p.result->length) + "); return t; }");
            } else if (p.result->isArrayShaped()) {
                const int n = p.result->kind == Kind::Time || p.result->kind == Kind::Dt ? 2 : 1;
                emit(1, "{ int32_t *t = alloc_int(" + str(n) + "); if (t) copy_int_array(t, " + pointer(r, kInt) + ", " + str(n) + "); return t; }");
            } else if (!p.result->isElementary() && p.result->kind != Kind::Enum) {
                diag_.error(p.decl->at, "a FUNCTION returns an elementary type");
                emit(1, "return 0;");
            } else {
                emit(1, "return " + read(r).code + ";");
            }
        } else {
            emit(1, "return 0;");
        }
        out_ += "}\n\n";
        functions_ += out_;
        markUnused(p);
        return;
    }
    // Function blocks and programs: the frame is in the image, at the bases given.
    const std::string signature = "static int32_t qvc_body_" + name +
                                  "(unsigned char *B, unsigned char *I, unsigned char *R, unsigned char *C, unsigned char **io, int32_t inst)";
    prototypes_ += signature + ";\n";
    const std::string initSignature = "static void qvc_init_" + name + "(unsigned char *B, unsigned char *I, unsigned char *R, unsigned char *C, int fresh)";
    prototypes_ += initSignature + ";\n";
    out_ += signature + " {\n";
    emit(1, "(void)B; (void)I; (void)R; (void)C; (void)io;");
    // VAR_TEMP starts again at every call.
    {
        std::string saved;
        saved.swap(out_);
        for (const Variable& v : p.vars)
            if (v.section == Section::Temp) initialise(variablePlace(v), v.init, 1);
        std::string temps;
        temps.swap(out_);
        out_.swap(saved);
        if (!temps.empty()) { out_ += "    {\n        const int fresh = 1;\n        (void)fresh;\n"; out_ += temps; out_ += "    }\n"; }
    }
    block(const_cast<PouDecl*>(p.decl)->body, 1);
    emit(1, "return 0;");
    out_ += "}\n\n";
    std::string body;
    body.swap(out_);
    out_ += initSignature + " {\n";
    emit(1, "(void)B; (void)I; (void)R; (void)C; (void)fresh;");
    for (const Variable& v : p.vars) {
        if (v.byReference || v.section == Section::External) continue;
        if (v.retain) emit(1, "if (fresh) {");
        initialise(variablePlace(v), v.init, v.retain ? 2 : 1);
        if (v.retain) emit(1, "}");
    }
    out_ += "}\n\n";
    functions_ += out_ + body;
    out_.clear();
    markUnused(p);
}

}  // namespace

// When the code was generated, in seconds since 1970 (SOURCE_DATE_EPOCH for reproducible builds).
static int64_t generationTime() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        const long long v = std::strtoll(epoch, &end, 10);
        if (end != epoch && *end == '\0' && v >= 0 && v <= INT32_MAX) return v;
    }
    const std::time_t now = std::time(nullptr);
    return now > 0 && now <= INT32_MAX ? static_cast<int64_t>(now) : 0;
}

Counts firstModelSlots(int revision) {
    Counts c;
    c.n[kBool] = 5;
    c.n[kInt] = (revision == 1 ? 210 : 311) + 212;
    c.n[kReal] = 17;
    c.n[kChar] = 53;
    return c;
}

Generated Generator::run() {
    Generated g;
    // The program to run.
    std::vector<Pou*> programs;
    for (const auto& p : d_.pous())
        if (p->kind == PouDecl::Program) programs.push_back(p.get());
    if (o_.checkOnly && o_.program.empty() && programs.size() != 1) {
        // Checking a library of blocks and functions, or several programs: every body.
        for (const auto& p : d_.pous()) {
            program_ = p->kind == PouDecl::Program ? p.get() : nullptr;
            programInstances_ = 1;
            if (program_)
                for (const Variable& v : program_->vars)
                    if (!v.byReference && v.section != Section::External) programInstances_ += v.type->instances;
            pouBody(*p);
        }
        refuseRecursion();
        return g;
    }
    if (programs.empty()) {
        diag_.error({-1, 0, 0}, "no PROGRAM in the sources");
        return g;
    }
    if (!o_.program.empty()) {
        std::string want;
        for (char ch : o_.program) want += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        for (Pou* p : programs)
            if (p->name == want) program_ = p;
        if (!program_) {
            diag_.error({-1, 0, 0}, "no PROGRAM named " + o_.program);
            return g;
        }
    } else if (programs.size() > 1) {
        diag_.error({-1, 0, 0}, "several PROGRAMs: choose one with --program NAME");
        return g;
    } else {
        program_ = programs[0];
    }
    programInstances_ = 1;
    for (const Variable& v : program_->vars)
        if (!v.byReference && v.section != Section::External) programInstances_ += v.type->instances;
    for (const auto& p : d_.pous())
        if (p->kind != PouDecl::Program || p.get() == program_) pouBody(*p);
    refuseRecursion();
    g.program = program_;
    g.locations = locations_;
    Counts size = program_->size;
    size += d_.globalSize();
    size.n[kInt] += 1;  // the marker of a laid-out image, for RETAIN
    g.programSize = size;
    const std::string name = identifier(program_->name);

    // The contract.
    const Counts first = firstModelSlots(o_.revision);
    Counts interface;
    for (const Variable& v : program_->vars)
        if (v.section == Section::Input || v.section == Section::Output) interface += v.type->size;
    uint32_t hash = 2166136261u;
    auto mix = [&hash](int64_t v) { hash = (hash ^ static_cast<uint32_t>(v)) * 16777619u; };
    for (int a = 0; a < 4; ++a) mix(size.n[a]);
    for (const Variable& v : program_->vars) for (char ch : v.name) mix(ch);
    const int32_t marker = static_cast<int32_t>(hash & 0x7FFFFFFF) | 1;

    // Globals' initial values, before the constants are written out: a TIME or STRING
    // initial value adds a constant of its own.
    std::string globalsInit;
    {
        out_.clear();
        scope_ = program_;
        inFunction_ = false;
        for (const Variable& v : d_.globals()) {
            if (v.retain) emit(1, "if (fresh) {");
            initialise(variablePlace(v), v.init, v.retain ? 2 : 1);
            if (v.retain) emit(1, "}");
        }
        globalsInit.swap(out_);
    }
    std::string c;
    c += "/* Generated by qvc: the model of PROGRAM " + program_->raw + ", runtime revision " + str(o_.revision) + ". */\n";
    c += "#ifndef QV_REVISION\n#define QV_REVISION " + str(o_.revision) + "\n#endif\n";
    c += "#if QV_REVISION != " + str(o_.revision) + "\n#error \"generated for runtime revision " + str(o_.revision) + "\"\n#endif\n";
    c += "#ifndef QVC_TASKNAME\n#define QVC_TASKNAME " + cQuote(o_.taskname.empty() ? program_->raw : o_.taskname) + "\n#endif\n";
    c += std::string("#define QVC_CS ") + (o_.revision == 1 ? "3" : "4") + "\n";
    c += "#define QVC_FAULT_INDEX 101 /* an array subscript outside its bounds; the rank is the subscript */\n";
    c += "#define QVC_FAULT_RANGE 102 /* a value outside its subrange; the rank is the value */\n";
    c += kPrelude;
    c += "\n/* The model's variables: the program's frame, the globals, the marker. */\n";
    c += "static unsigned char *qvc_GB, *qvc_GI, *qvc_GR, *qvc_GC;\n";
    c += "static QV_Bases qvc_frame;\n";
    c += "int32_t " + name + "__num;\n";
    c += "QV_Bases self;\nint32_t self_num;\nint32_t lv_iteration_step;\n";
    c += "ActorProductEntry TableActeursProduits[1];\nint32_t NbActeurs;\nint32_t NbProduits;\nint32_t NbActeursEtProduits;\n\n";
    c += constants_ + "\n" + prototypes_ + "\n" + functions_;
    c += "void memorySizeInit(int32_t *minimum, int32_t *maximum, int32_t *size) {\n";
    for (int a = 0; a < 4; ++a) {
        const int64_t n = first.n[a] + size.n[a] + (a == kInt ? 4 : 0);
        c += "    minimum[" + str(a) + "] = 0; maximum[" + str(a) + "] = " + str(n) + "; size[" + str(a) + "] = " + str(n) + ";\n";
    }
    c += "}\n";
    c += "void memoryStartInit(QV_Bases *bases) { QV_model_skip_control_blocks(bases); }\n";
    c += "void inputOutputVariablesInit(void) {\n    qvc_frame = self;\n";
    c += "    self.boolBase += 2 * " + str(interface.n[kBool]) + ";\n    self.intBase += 12 * " + str(interface.n[kInt]) + ";\n";
    c += "    self.realBase += 12 * " + str(interface.n[kReal]) + ";\n    self.charBase += QVC_CS * " + str(interface.n[kChar]) + ";\n}\n";
    c += "static void qvc_walk(void) {\n";
    c += "    qvc_GB = qvc_frame.boolBase + 2 * " + str(program_->size.n[kBool]) + ";\n";
    c += "    qvc_GI = qvc_frame.intBase + 12 * " + str(program_->size.n[kInt]) + ";\n";
    c += "    qvc_GR = qvc_frame.realBase + 12 * " + str(program_->size.n[kReal]) + ";\n";
    c += "    qvc_GC = qvc_frame.charBase + QVC_CS * " + str(program_->size.n[kChar]) + ";\n";
    c += "    self.boolBase = qvc_frame.boolBase + 2 * " + str(size.n[kBool]) + ";\n";
    c += "    self.intBase = qvc_frame.intBase + 12 * " + str(size.n[kInt]) + ";\n";
    c += "    self.realBase = qvc_frame.realBase + 12 * " + str(size.n[kReal]) + ";\n";
    c += "    self.charBase = qvc_frame.charBase + QVC_CS * " + str(size.n[kChar]) + ";\n}\n";
    c += "int32_t sfp__" + name + "_init(void) {\n";
    c += "    int32_t *marker;\n    int fresh;\n    qvc_walk();\n";
    c += "    marker = qvc_i(qvc_GI, " + str(d_.globalSize().n[kInt]) + ");\n";
    c += "    /* RETAIN variables keep what an image laid out by this program holds. */\n";
    c += "    fresh = marker[0] != " + str(marker) + ";\n";
    c += "    qvc_init_" + name + "(qvc_frame.boolBase, qvc_frame.intBase, qvc_frame.realBase, qvc_frame.charBase, fresh);\n";
    c += globalsInit;
    c += "    qvc_initi(marker, " + str(marker) + ");\n    return 0;\n}\n";
    c += "int32_t sfp__" + name + "(void) {\n    int32_t result = 0;\n    qvc_walk();\n";
    c += "    if (lv_iteration_step == 0) {\n        qvc_failed = 0;\n        qvc_armed_now = qvc_armed();\n";
    c += "        result = qvc_body_" + name + "(qvc_frame.boolBase, qvc_frame.intBase, qvc_frame.realBase, qvc_frame.charBase, NULL, self_num);\n";
    c += "        if (nb_alloc > 0) free_all_alloc();\n    }\n    qvc_walk();\n    return result;\n}\n";
    c += "int32_t behaviorsInit(void) {\n    const int32_t saved = self_num;\n    " + name + "__num = self_num;\n";
    c += "    inputOutputVariablesInit();\n    sfp__" + name + "_init();\n    self_num = saved;\n    return 0;\n}\n";
    c += "int32_t behaviorsStep(void) {\n    const int32_t saved = self_num;\n    int32_t result;\n    lv_iteration_step = 0;\n";
    c += "    inputOutputVariablesInit();\n    " + name + "__num = self_num;\n    result = sfp__" + name + "();\n";
    c += "    if (result != 0) return result;\n    self_num = saved;\n    return 0;\n}\n";
    c += "void globalesInit(void) {}\n";
    char period[64];
    std::snprintf(period, sizeof period, "%.9gf", o_.periodMicroseconds);
    std::string periodCode = period;
    if (periodCode.find_first_of(".e") == std::string::npos) periodCode.insert(periodCode.size() - 1, ".0");
    c += "void variablesInitialization(void) { QV_model_init_control_values(" + periodCode + ", QVC_TASKNAME); }\n";
    c += "void controlVariablesAccessInitialization(void) { QV_model_bind_control_variables(); }\n";
    c += "void timeCycleInitialization(float *period) { *period = " + periodCode + "; }\n";
    c += "void initStartingMode(int32_t *status) { QV_model_starting_mode(status); }\n";
    c += "void initExecutionMode(unsigned char *delay) { QV_model_execution_mode(delay); }\n";
    c += "int32_t getSignature(void) { return 2147483647; }\n";
    c += "int32_t getGenerationTime(void) { return " + str(generationTime()) + "; }\n";
    c += "void QV_Bool_Init(unsigned char *image, int32_t index, int32_t value) { QV_model_init_bool(image, index, value); }\n";
    c += "void QV_Int_Init(unsigned char *image, int32_t index, int32_t value) { QV_model_init_int(image, index, value); }\n";
    c += "void QV_Float_Init(unsigned char *image, int32_t index, float value) { QV_model_init_float(image, index, value); }\n";
    c += "void QV_Char_Init(unsigned char *image, int32_t index, int32_t value) { QV_model_init_char(image, index, value); }\n";
    g.c = c;
    return g;
}

Generated generate(Declarations& declarations, const Options& options, Diagnostics& diagnostics) {
    return Generator(declarations, options, diagnostics).run();
}

}  // namespace qvc
