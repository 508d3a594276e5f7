// FBD and LD networks of PLCopen bodies translated into Structured Text.
//
// A network is a set of elements (blocks, variables, connectors, contacts, coils, rails)
// whose inputs name the outputs they take their value from (connection refLocalId and
// formalParameter). Each element that does something (calls a function block, writes a
// variable, keeps a value another element reads twice or in a later cycle) becomes a
// statement; the others become parts of the expressions of their single reader. Values
// that must outlive their statement sit in variables the body declares, named after the
// element: _B7_OUT (output OUT of block 7), _E5 (the value of element 5), _E5_M (the
// previous value an edge is detected on). These names are visible in the symbol
// description on purpose: a supervisor draws the value of each wire from them.
#include "compiler/plcopen_graph.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "compiler/library.h"

namespace qvc::plcopen {

namespace {

using ordered_json = nlohmann::ordered_json;

// ---- XML helpers ---------------------------------------------------------------------

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The text inside an <expression> or <variable> element.
std::string textOf(pugi::xml_node node) {
    std::string s;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) s += c.value();
    return trimmed(s);
}

// Whether a text of the XML is one ST expression that can stand inside a generated
// statement: nothing that would end the statement, open a comment or a pragma, or run
// onto another line.
bool isExpression(const std::string& s) {
    if (s.empty() || s.size() > 4000) return false;
    char quote = 0;
    int depth = 0;
    for (std::size_t k = 0; k < s.size(); ++k) {
        const char c = s[k];
        const char next = k + 1 < s.size() ? s[k + 1] : '\0';
        if (c == '\n' || c == '\r') return false;
        if (quote) {
            if (c == '$' && next) ++k;
            else if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') quote = c;
        else if (c == ';' || c == '{' || c == '}') return false;
        else if (c == ':' && next == '=') return false;
        else if ((c == '(' && next == '*') || (c == '/' && (next == '*' || next == '/'))) return false;
        else if (c == '(' || c == '[') ++depth;
        else if (c == ')' || c == ']') {
            if (--depth < 0) return false;
        }
    }
    return quote == 0 && depth == 0;
}

// ---- Expressions ---------------------------------------------------------------------

bool atomic(const std::string& e) {
    if (e.empty()) return true;
    if (std::all_of(e.begin(), e.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '#'; }))
        return true;
    if (e.front() != '(' || e.back() != ')') return false;
    int depth = 0;
    for (std::size_t k = 0; k < e.size(); ++k) {
        if (e[k] == '(') ++depth;
        if (e[k] == ')' && --depth == 0 && k + 1 < e.size()) return false;
    }
    return true;
}
std::string paren(const std::string& e) { return atomic(e) ? e : "(" + e + ")"; }
std::string notOf(const std::string& e) {
    if (e == "TRUE") return "FALSE";
    if (e == "FALSE") return "TRUE";
    return "NOT " + paren(e);
}
std::string andOf(const std::string& a, const std::string& b) {
    if (a == "TRUE") return b;
    if (b == "TRUE") return a;
    return paren(a) + " AND " + paren(b);
}

// ---- The library's blocks and functions, as far as the types of wires go -------------

const std::map<std::string, std::map<std::string, std::string>>& libraryBlocks() {
    static const std::map<std::string, std::map<std::string, std::string>> blocks = {
        {"R_TRIG", {{"CLK", "BOOL"}, {"Q", "BOOL"}}},
        {"F_TRIG", {{"CLK", "BOOL"}, {"Q", "BOOL"}}},
        {"RS", {{"S", "BOOL"}, {"R1", "BOOL"}, {"Q1", "BOOL"}}},
        {"SR", {{"S1", "BOOL"}, {"R", "BOOL"}, {"Q1", "BOOL"}}},
        {"CTU", {{"CU", "BOOL"}, {"R", "BOOL"}, {"PV", "INT"}, {"Q", "BOOL"}, {"CV", "INT"}}},
        {"CTD", {{"CD", "BOOL"}, {"LD", "BOOL"}, {"PV", "INT"}, {"Q", "BOOL"}, {"CV", "INT"}}},
        {"CTUD", {{"CU", "BOOL"}, {"CD", "BOOL"}, {"R", "BOOL"}, {"LD", "BOOL"}, {"PV", "INT"}, {"QU", "BOOL"}, {"QD", "BOOL"}, {"CV", "INT"}}},
        {"TON", {{"IN", "BOOL"}, {"PT", "TIME"}, {"Q", "BOOL"}, {"ET", "TIME"}}},
        {"TOF", {{"IN", "BOOL"}, {"PT", "TIME"}, {"Q", "BOOL"}, {"ET", "TIME"}}},
        {"TP", {{"IN", "BOOL"}, {"PT", "TIME"}, {"Q", "BOOL"}, {"ET", "TIME"}}},
    };
    return blocks;
}

// The library functions that take two inputs but are drawn with more: ADD(a, b, c) is
// ADD(ADD(a, b), c).
bool extensible(const std::string& f) {
    static const std::set<std::string> names = {"ADD", "MUL", "AND", "OR", "XOR", "MAX", "MIN", "CONCAT"};
    return names.count(f) != 0;
}

// The result type of a library function that does not depend on its inputs ("" when it does).
std::string fixedResult(const std::string& f) {
    static const std::set<std::string> compare = {"GT", "GE", "EQ", "LE", "LT", "NE"};
    static const std::set<std::string> real = {"SQRT", "LN", "LOG", "EXP", "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN"};
    static const std::set<std::string> text = {"LEFT", "RIGHT", "MID", "CONCAT", "INSERT", "DELETE", "REPLACE"};
    static const std::map<std::string, std::string> named = {
        {"TRUNC", "DINT"}, {"LEN", "DINT"}, {"FIND", "DINT"}, {"ADD_TIME", "TIME"}, {"SUB_TIME", "TIME"},
        {"MUL_TIME", "TIME"}, {"DIV_TIME", "TIME"}, {"ADD_TOD_TIME", "TOD"}, {"SUB_TOD_TIME", "TOD"},
        {"ADD_DT_TIME", "DT"}, {"SUB_DT_TIME", "DT"}, {"SUB_DT_DT", "TIME"}, {"SUB_TOD_TOD", "TIME"},
        {"SUB_DATE_DATE", "TIME"}, {"CONCAT_DATE_TOD", "DT"}};
    if (compare.count(f)) return "BOOL";
    if (real.count(f)) return "REAL";
    if (text.count(f)) return "STRING";
    if (named.count(f)) return named.at(f);
    std::size_t at = f.find("_TRUNC_");
    if (at != std::string::npos) return f.substr(at + 7);
    at = f.find("_TO_");
    if (at != std::string::npos) {
        std::string to = f.substr(at + 4);
        if (to.rfind("BCD_", 0) == 0) to = to.substr(4);
        if (to == "DATE_AND_TIME") return "DT";
        if (to == "TIME_OF_DAY") return "TOD";
        return to;
    }
    return "";
}

// The ST text of a <type> element: elementary types and derived names; "" for the types
// written out in place (arrays, structures), which no generated variable takes.
std::string typeText(pugi::xml_node type) {
    pugi::xml_node t;
    for (pugi::xml_node c = type.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) {
            t = c;
            break;
        }
    if (!t) return "";
    const std::string n = localName(t);
    if (n == "derived") {
        const std::string name = t.attribute("name").as_string();
        return isIdentifier(name) ? name : "";
    }
    if (n == "string") return "STRING";
    if (n == "array" || n == "struct" || n == "enum" || n.rfind("subrange", 0) == 0 || n == "pointer" || n == "wstring") return "";
    return isIdentifier(n) ? upper(n) : "";
}

// ---- The network ---------------------------------------------------------------------

struct Link {
    int ref = 0;
    std::string fromPin;
    int from = -1;  // the element, once resolved
    int out = -1;   // its output
    pugi::xml_node node;
};

struct Input {
    std::string pin;
    bool negated = false;
    std::string edge = "none";
    bool inOut = false;
    pugi::xml_node node;
    std::vector<Link> links;
};

struct Output {
    std::string pin;
    bool negated = false;
    bool inOut = false;
    int uses = 0;        // readers, through connectors and continuations
    std::string stored;  // the variable (or constant) holding the value, "" when computed in place
    std::string type;    // the type of the value, "" when the drawing does not tell
};

struct Element {
    pugi::xml_node node;
    std::string kind;
    int id = 0;
    int order = 0;  // executionOrderId, 0 when not given
    double x = 0, y = 0, width = 0, height = 0;
    int line = 0;
    std::string type, typeUpper, instance, text;
    std::string edge = "none", storage = "none";
    bool negated = false;
    std::vector<Input> inputs;
    std::vector<Output> outputs;
    bool block = false;        // a block that calls a function block instance
    bool function = false;     // a block that calls a function
    bool userFunction = false;
    bool statement = false;
    bool loop = false;
    std::string enable;  // the variable holding EN when the block is gated and that is read
    int rung = 0;
    int location = 0;
};

bool passThrough(const Element& e) { return e.kind == "connector" || e.kind == "continuation"; }

class Network {
public:
    Network(pugi::xml_node node, Body& body, Diagram diagram)
        : node_(node), body_(body), diagram_(diagram), lang_(diagram == Diagram::Fbd ? "FBD" : "LD") {}

    void run() {
        const int before = body_.diagnostics.errors();
        prefix_ = "_";
        for (pugi::xml_node p = node_.parent(); p; p = p.parent())
            if ((is(p, "action") || is(p, "transition")) && isIdentifier(p.attribute("name").as_string())) {
                prefix_ = std::string("_") + p.attribute("name").as_string() + "_";
                break;
            }
        readInterface();
        for (pugi::xml_node c = node_.first_child(); c; c = c.next_sibling())
            if (c.type() == pugi::node_element) read(c);
        resolve();
        if (diagram_ == Diagram::Ld) rungs();
        if (body_.diagnostics.errors() == before) {
            loops();
            countUses();
            inferTypes();
        }
        if (body_.diagnostics.errors() == before) {
            decide();
            cutChains();
        }
        if (body_.diagnostics.errors() == before) emit();
        drawing();
    }

private:
    pugi::xml_node node_;
    Body& body_;
    Diagram diagram_;
    std::string lang_;
    std::string prefix_;
    std::vector<Element> els_;
    std::map<int, int> byId_;
    std::map<std::string, std::string> vars_;  // upper-case name → type text
    std::set<std::string> generated_;
    std::vector<int> order_;
    std::map<int, int> rungLine_;
    int current_ = 0;  // the location of the statement being written
    std::map<int, std::string> computed_;  // what is computed in place, by element
    std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> readers_;  // output → the inputs it feeds
    static constexpr std::size_t kLongest = 20000;  // characters of one computed expression

    // ---- Names and messages ----

    std::string describe(const Element& e) const {
        std::string d = lang_ + " " + e.kind + " " + std::to_string(e.id);
        if (!e.type.empty()) d += " (" + e.type + ")";
        else if (!e.text.empty() && e.text.size() < 60) d += " (" + e.text + ")";
        return d;
    }
    void error(const Element& e, const std::string& message) { body_.error(e.node, describe(e) + ": " + message); }
    void error(pugi::xml_node n, const std::string& message) { body_.error(n, lang_ + " " + message); }

    std::string declare(const std::string& name, const std::string& type, const Element& e) {
        if (vars_.count(upper(name)))
            error(e, "the name " + name + " the translation needs for it is a variable of the POU; rename the variable");
        if (generated_.insert(upper(name)).second) body_.declarations.push_back({e.line, name + " : " + type + ";"});
        return name;
    }
    std::string baseName(const Element& e) const { return prefix_ + (e.kind == "block" ? "B" : "E") + std::to_string(e.id); }

    // ---- Types ----

    void readInterface() {
        const pugi::xml_node iface = child(body_.pouNode, "interface");
        for (pugi::xml_node list = iface.first_child(); list; list = list.next_sibling()) {
            if (list.type() != pugi::node_element) continue;
            if (is(list, "returnType")) {
                vars_[upper(body_.pou)] = typeText(list);
                continue;
            }
            for (pugi::xml_node v : children(list, "variable")) vars_[upper(v.attribute("name").as_string())] = typeText(child(v, "type"));
        }
        // Globals of the configurations and resources, which a POU may name.
        const pugi::xml_node project = body_.pouNode.parent().parent().parent();
        for (pugi::xml_node c : children(child(child(project, "instances"), "configurations"), "configuration")) {
            std::vector<pugi::xml_node> lists = children(c, "globalVars");
            for (pugi::xml_node r : children(c, "resource"))
                for (pugi::xml_node g : children(r, "globalVars")) lists.push_back(g);
            for (pugi::xml_node g : lists)
                for (pugi::xml_node v : children(g, "variable")) vars_.emplace(upper(v.attribute("name").as_string()), typeText(child(v, "type")));
        }
    }

    pugi::xml_node userPou(const std::string& name) const {
        const std::string n = upper(name);
        for (pugi::xml_node p : children(body_.pouNode.parent(), "pou"))
            if (upper(p.attribute("name").as_string()) == n) return p;
        return {};
    }

    // The type of a parameter of a user POU or a library block.
    std::string memberType(const std::string& pouType, const std::string& member) const {
        const auto lib = libraryBlocks().find(upper(pouType));
        if (lib != libraryBlocks().end()) {
            const auto m = lib->second.find(upper(member));
            return m == lib->second.end() ? "" : m->second;
        }
        const pugi::xml_node p = userPou(pouType);
        if (!p) return "";
        const pugi::xml_node iface = child(p, "interface");
        for (pugi::xml_node list = iface.first_child(); list; list = list.next_sibling())
            for (pugi::xml_node v : children(list, "variable"))
                if (upper(v.attribute("name").as_string()) == upper(member)) return typeText(child(v, "type"));
        return "";
    }

    std::string expressionType(const std::string& text) const {
        const std::string t = trimmed(text);
        const std::string u = upper(t);
        if (u == "TRUE" || u == "FALSE") return "BOOL";
        if (isIdentifier(t)) {
            const auto v = vars_.find(u);
            return v == vars_.end() ? "" : v->second;
        }
        const std::size_t dot = t.find('.');
        if (dot != std::string::npos && isIdentifier(t.substr(0, dot)) && isIdentifier(t.substr(dot + 1))) {
            const auto v = vars_.find(upper(t.substr(0, dot)));
            if (v != vars_.end() && !v->second.empty()) return memberType(v->second, t.substr(dot + 1));
            return "";
        }
        const std::size_t hash = t.find('#');
        if (hash != std::string::npos) {
            const std::string p = u.substr(0, hash);
            if (p == "T" || p == "TIME") return "TIME";
            if (p == "D" || p == "DATE") return "DATE";
            if (p == "TOD" || p == "TIME_OF_DAY") return "TOD";
            if (p == "DT" || p == "DATE_AND_TIME") return "DT";
            static const std::set<std::string> typed = {"BOOL", "SINT", "INT", "DINT", "BYTE", "WORD", "DWORD", "REAL"};
            if (typed.count(p)) return p;
            return "";
        }
        if (!t.empty() && (t[0] == '\'' || t[0] == '"')) return "STRING";
        if (!t.empty() && (std::isdigit(static_cast<unsigned char>(t[0])) || t[0] == '-') && t.find('.') != std::string::npos) return "REAL";
        return "";
    }

    // The type of the value each output carries: what its producer tells (a variable's
    // declared type, a block's parameter, a library function's fixed result), then, round
    // after round until nothing more is learnt, what the wires around it tell (the type
    // of a generic function's other inputs, of what the output feeds). "" when nothing does.
    void inferTypes() {
        for (std::size_t c = 0; c < els_.size(); ++c)
            for (std::size_t i = 0; i < els_[c].inputs.size(); ++i)
                for (const Link& l : els_[c].inputs[i].links)
                    if (l.from >= 0) readers_[{l.from, l.out}].emplace_back(static_cast<int>(c), static_cast<int>(i));
        for (std::size_t e = 0; e < els_.size(); ++e) {
            Element& el = els_[e];
            for (std::size_t o = 0; o < el.outputs.size(); ++o) el.outputs[o].type = ownType(el, static_cast<int>(o));
        }
        for (std::size_t round = 0; round <= els_.size() + 1; ++round) {
            bool learnt = false;
            for (std::size_t e = 0; e < els_.size(); ++e)
                for (std::size_t o = 0; o < els_[e].outputs.size(); ++o) {
                    if (!els_[e].outputs[o].type.empty()) continue;
                    const std::string t = wiredType(static_cast<int>(e), static_cast<int>(o));
                    if (t.empty()) continue;
                    els_[e].outputs[o].type = t;
                    learnt = true;
                }
            if (!learnt) break;
        }
    }

    std::string ownType(const Element& el, int o) const {
        const Output& out = el.outputs[static_cast<std::size_t>(o)];
        if (el.kind == "inVariable") return el.edge != "none" ? "BOOL" : expressionType(el.text);
        if (el.kind == "inOutVariable") return expressionType(el.text);
        if (el.kind == "contact" || el.kind == "coil" || el.kind == "leftPowerRail") return "BOOL";
        if (upper(out.pin) == "ENO") return "BOOL";
        if (el.block) return memberType(el.type, out.pin);
        if (el.userFunction)
            return o == resultOf(el) ? typeText(child(child(userPou(el.type), "interface"), "returnType")) : memberType(el.type, out.pin);
        if (el.function) return fixedResult(el.typeUpper);
        return "";
    }

    const std::string& typeOf(const Link& l) const {
        static const std::string none;
        if (l.from < 0 || l.out < 0) return none;
        return els_[static_cast<std::size_t>(l.from)].outputs[static_cast<std::size_t>(l.out)].type;
    }
    std::string sourceType(const Input& in) const {
        for (const Link& l : in.links)
            if (!typeOf(l).empty()) return typeOf(l);
        return "";
    }

    std::string wiredType(int e, int o) const {
        const Element& el = els_[static_cast<std::size_t>(e)];
        std::string t;
        if (passThrough(el) && !el.inputs.empty()) t = sourceType(el.inputs[0]);
        else if (el.function && !el.userFunction && o == resultOf(el)) {
            t = inputsType(e, -1);
            if (el.typeUpper == "SUB" && (t == "DT" || t == "TOD" || t == "DATE") && el.inputs.size() > 1 && sourceType(el.inputs[1]) == t)
                t = "TIME";  // DT - DT is a TIME, DT - TIME a DT
        }
        if (!t.empty()) return t;
        // What it feeds.
        const auto readers = readers_.find({e, o});
        if (readers == readers_.end()) return "";
        for (const auto& [c, i] : readers->second) {
            t = passThrough(els_[static_cast<std::size_t>(c)]) ? els_[static_cast<std::size_t>(c)].outputs[0].type : inputType(c, i);
            if (!t.empty()) return t;
        }
        return "";
    }

    // The common type of a generic library function's data inputs (skipping `except`).
    std::string inputsType(int e, int except) const {
        const Element& el = els_[static_cast<std::size_t>(e)];
        const std::string& f = el.typeUpper;
        std::size_t first = 0, last = el.inputs.size();
        if (f == "SEL" || f == "MUX") first = 1;
        if (f == "SHL" || f == "SHR" || f == "ROL" || f == "ROR") last = 1;
        int data = 0;
        for (std::size_t i = 0; i < el.inputs.size(); ++i) {
            if (upper(el.inputs[i].pin) == "EN") continue;
            const std::size_t k = static_cast<std::size_t>(data++);
            if (k < first || k >= last || static_cast<int>(i) == except) continue;
            const std::string t = sourceType(el.inputs[i]);
            if (!t.empty()) return t;
        }
        return "";
    }

    // The type an input takes, as far as it is known.
    std::string inputType(int c, int i) const {
        const Element& el = els_[static_cast<std::size_t>(c)];
        const Input& in = el.inputs[static_cast<std::size_t>(i)];
        if (el.kind == "outVariable" || el.kind == "inOutVariable") return expressionType(el.text);
        if (el.kind == "contact" || el.kind == "coil" || el.kind == "rightPowerRail") return "BOOL";
        if (upper(in.pin) == "EN") return "BOOL";
        if (el.block || el.userFunction) return memberType(el.type, in.pin);
        if (!el.function) return "";
        const std::string& f = el.typeUpper;
        int k = 0;
        for (int j = 0; j < i; ++j)
            if (upper(el.inputs[static_cast<std::size_t>(j)].pin) != "EN") ++k;
        if (f == "SEL" && k == 0) return "BOOL";
        if ((f == "MUX" && k == 0) || ((f == "SHL" || f == "SHR" || f == "ROL" || f == "ROR") && k == 1)) return "";
        const std::string fixed = fixedResult(f);
        if (!fixed.empty() && fixed != "BOOL") return "";
        std::string t = inputsType(c, i);
        const int r = resultOf(el);
        if (t.empty() && fixed.empty() && r >= 0) t = el.outputs[static_cast<std::size_t>(r)].type;
        return t;
    }

    // ---- Reading the elements ----

    static double number(pugi::xml_node n, const char* attribute) { return n.attribute(attribute).as_double(0); }

    Input inputOf(pugi::xml_node point, const std::string& pin) {
        Input in;
        in.pin = pin;
        in.node = point;
        for (pugi::xml_node c : children(point, "connection")) {
            Link l;
            l.node = c;
            l.fromPin = c.attribute("formalParameter").as_string();
            const pugi::xml_attribute ref = c.attribute("refLocalId");
            if (!ref) {
                error(c, "connection without refLocalId");
                continue;
            }
            l.ref = ref.as_int(-1);
            in.links.push_back(l);
        }
        return in;
    }

    void read(pugi::xml_node n) {
        Element e;
        e.node = n;
        e.kind = localName(n);
        e.line = body_.lineOf(n);
        const pugi::xml_attribute id = n.attribute("localId");
        if (!id) {
            if (e.kind != "comment" && e.kind != "vendorElement" && e.kind != "addData" && e.kind != "documentation")
                error(n, e.kind + " without localId");
            return;
        }
        const std::string idText = trimmed(id.as_string());
        if (idText.empty() || idText.size() > 9 || !std::all_of(idText.begin(), idText.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            error(n, e.kind + " with localId \"" + idText.substr(0, 40) + "\": a localId is a number");
            return;
        }
        e.id = std::stoi(idText);
        e.order = n.attribute("executionOrderId").as_int(0);
        const pugi::xml_node pos = child(n, "position");
        e.x = number(pos, "x");
        e.y = number(pos, "y");
        e.width = number(n, "width");
        e.height = number(n, "height");
        e.negated = n.attribute("negated").as_bool(false);
        e.edge = n.attribute("edge").as_string("none");
        e.storage = n.attribute("storage").as_string("none");
        if (byId_.count(e.id)) {
            error(n, e.kind + " " + std::to_string(e.id) + ": localId " + std::to_string(e.id) + " is used twice");
            return;
        }

        if (e.kind == "block") {
            e.type = n.attribute("typeName").as_string();
            e.typeUpper = upper(e.type);
            e.instance = n.attribute("instanceName").as_string();
            if (!isIdentifier(e.type)) {
                error(e, "typeName \"" + e.type.substr(0, 40) + "\" is not a name");
                e.type.clear();
            }
            for (pugi::xml_node v : children(child(n, "inputVariables"), "variable")) {
                Input in = inputOf(child(v, "connectionPointIn"), v.attribute("formalParameter").as_string());
                in.negated = v.attribute("negated").as_bool(false);
                in.edge = v.attribute("edge").as_string("none");
                in.node = v;
                e.inputs.push_back(std::move(in));
            }
            for (pugi::xml_node v : children(child(n, "inOutVariables"), "variable")) {
                Input in = inputOf(child(v, "connectionPointIn"), v.attribute("formalParameter").as_string());
                in.inOut = true;
                in.node = v;
                e.inputs.push_back(std::move(in));
                Output out;
                out.pin = v.attribute("formalParameter").as_string();
                out.inOut = true;
                e.outputs.push_back(out);
            }
            for (pugi::xml_node v : children(child(n, "outputVariables"), "variable")) {
                Output out;
                out.pin = v.attribute("formalParameter").as_string();
                out.negated = v.attribute("negated").as_bool(false);
                e.outputs.push_back(out);
            }
            for (const Input& in : e.inputs)
                if (!isIdentifier(in.pin)) error(e, "an input without a formalParameter name");
            for (const Output& out : e.outputs)
                if (!isIdentifier(out.pin)) error(e, "an output without a formalParameter name");
            classify(e);
        } else if (e.kind == "inVariable" || e.kind == "outVariable" || e.kind == "inOutVariable") {
            e.text = textOf(child(n, "expression"));
            if (!isExpression(e.text)) error(e, "the expression \"" + e.text.substr(0, 60) + "\" is not one ST expression");
            if (e.kind != "inVariable") {
                Input in = inputOf(child(n, "connectionPointIn"), "");
                if (e.kind == "inOutVariable") {
                    in.negated = n.attribute("negatedIn").as_bool(false);
                    e.storage = n.attribute("storageIn").as_string("none");
                    e.edge = n.attribute("edgeIn").as_string("none");
                } else {
                    in.negated = e.negated;
                }
                e.inputs.push_back(std::move(in));
            }
            if (e.kind != "outVariable") {
                Output out;
                out.negated = e.kind == "inOutVariable" ? n.attribute("negatedOut").as_bool(false) : e.negated;
                e.outputs.push_back(out);
            }
        } else if (e.kind == "connector" || e.kind == "continuation") {
            e.text = n.attribute("name").as_string();
            if (!isIdentifier(e.text)) error(e, "a " + e.kind + " needs a name");
            e.inputs.push_back(e.kind == "connector" ? inputOf(child(n, "connectionPointIn"), "") : Input{});
            e.outputs.push_back(Output{});
        } else if (e.kind == "contact" || e.kind == "coil") {
            e.text = textOf(child(n, "variable"));
            if (!isExpression(e.text)) error(e, "the variable \"" + e.text.substr(0, 60) + "\" is not an ST variable");
            Input in = inputOf(child(n, "connectionPointIn"), "");
            e.inputs.push_back(std::move(in));
            e.outputs.push_back(Output{});
        } else if (e.kind == "leftPowerRail") {
            for (pugi::xml_node p : children(n, "connectionPointOut")) {
                Output out;
                out.pin = p.attribute("formalParameter").as_string();
                out.stored = "TRUE";
                e.outputs.push_back(out);
            }
            if (e.outputs.empty()) e.outputs.push_back(Output{"", false, false, 0, "TRUE", "BOOL"});
        } else if (e.kind == "rightPowerRail") {
            for (pugi::xml_node p : children(n, "connectionPointIn")) e.inputs.push_back(inputOf(p, ""));
        } else if (e.kind == "jump" || e.kind == "label" || e.kind == "return") {
            error(e, "jumps, labels and returns are not supported: split the network into POUs or write it in ST");
        } else if (e.kind == "comment" || e.kind == "error" || e.kind == "vendorElement" || e.kind == "actionBlock") {
            // Drawn, not run.
        } else {
            error(e, "unknown element <" + e.kind + ">");
            return;
        }
        byId_[e.id] = static_cast<int>(els_.size());
        els_.push_back(std::move(e));
    }

    // Whether a block calls a function or a function block instance.
    void classify(Element& e) {
        if (e.type.empty()) return;
        const pugi::xml_node p = userPou(e.type);
        const std::string pouType = p ? p.attribute("pouType").as_string() : "";
        const bool libraryBlock = libraryBlocks().count(e.typeUpper) != 0;
        if (pouType == "function" || (!p && !libraryBlock && (isLibraryFunction(e.typeUpper) || e.instance.empty()))) {
            e.function = true;
            e.userFunction = pouType == "function" || !isLibraryFunction(e.typeUpper);
            return;
        }
        e.block = true;
        if (!isIdentifier(e.instance)) error(e, "a function block needs an instanceName (the instance declared in the POU)");
    }

    // The output carrying a function's result: OUT, or the first that is neither ENO nor
    // a VAR_OUTPUT of the function.
    int resultOf(const Element& e) const {
        for (std::size_t k = 0; k < e.outputs.size(); ++k) {
            const std::string pin = upper(e.outputs[k].pin);
            if (pin == "ENO" || e.outputs[k].inOut) continue;
            if (e.userFunction && pin != "OUT" && !memberType(e.type, e.outputs[k].pin).empty()) continue;
            return static_cast<int>(k);
        }
        return -1;
    }

    int enOf(const Element& e) const {
        for (std::size_t k = 0; k < e.inputs.size(); ++k)
            if (upper(e.inputs[k].pin) == "EN") return static_cast<int>(k);
        return -1;
    }
    int enoOf(const Element& e) const {
        for (std::size_t k = 0; k < e.outputs.size(); ++k)
            if (upper(e.outputs[k].pin) == "ENO") return static_cast<int>(k);
        return -1;
    }

    // ---- Connections ----

    void resolve() {
        std::map<std::string, int> connectors;
        for (std::size_t k = 0; k < els_.size(); ++k)
            if (els_[k].kind == "connector" && !els_[k].text.empty()) {
                if (!connectors.emplace(upper(els_[k].text), static_cast<int>(k)).second) error(els_[k], "a second connector named " + els_[k].text);
            }
        for (Element& e : els_) {
            if (e.kind == "continuation") {
                const auto c = connectors.find(upper(e.text));
                if (c == connectors.end()) {
                    if (!e.text.empty()) error(e, "no connector named " + e.text);
                    continue;
                }
                Link l;
                l.ref = els_[static_cast<std::size_t>(c->second)].id;
                l.from = c->second;
                l.out = 0;
                l.node = e.node;
                e.inputs[0].links.push_back(l);
                continue;
            }
            for (Input& in : e.inputs)
                for (Link& l : in.links) {
                    const auto f = byId_.find(l.ref);
                    if (f == byId_.end()) {
                        error(e, std::string(in.pin.empty() ? "its input" : "input " + in.pin) + " connects to localId " + std::to_string(l.ref) + ", which is no element of the network");
                        continue;
                    }
                    const Element& from = els_[static_cast<std::size_t>(f->second)];
                    int out = -1;
                    for (std::size_t k = 0; k < from.outputs.size() && out < 0; ++k)
                        if (!l.fromPin.empty() && upper(from.outputs[k].pin) == upper(l.fromPin)) out = static_cast<int>(k);
                    if (out < 0 && (l.fromPin.empty() || from.kind == "leftPowerRail" || from.outputs.size() == 1)) {
                        for (std::size_t k = 0; k < from.outputs.size() && out < 0; ++k)
                            if (upper(from.outputs[k].pin) != "ENO") out = static_cast<int>(k);
                        if (out < 0 && !from.outputs.empty()) out = 0;
                    }
                    if (out < 0) {
                        error(e, std::string(in.pin.empty() ? "its input" : "input " + in.pin) + " connects to " +
                                     (l.fromPin.empty() ? "an output" : "output " + l.fromPin) + " of " + describe(from) + ", which has none");
                        continue;
                    }
                    l.from = f->second;
                    l.out = out;
                }
            if (diagram_ == Diagram::Fbd || e.block || e.function || e.kind == "outVariable" || e.kind == "inOutVariable")
                for (const Input& in : e.inputs)
                    if (in.links.size() > 1 && upper(in.pin) != "EN" && diagram_ == Diagram::Fbd)
                        error(e, std::string(in.pin.empty() ? "its input" : "input " + in.pin) + " has " + std::to_string(in.links.size()) +
                                     " connections: an FBD input takes one");
        }
        // Inputs that must be connected.
        for (Element& e : els_) {
            if (e.kind == "outVariable" || e.kind == "connector" || e.kind == "contact" || e.kind == "coil") {
                if (e.inputs[0].links.empty()) error(e, "input not connected");
            } else if (e.function) {
                for (const Input& in : e.inputs)
                    if (in.links.empty() && upper(in.pin) != "EN") error(e, "input " + in.pin + " not connected");
            } else if (e.block) {
                for (const Input& in : e.inputs)
                    if (in.links.empty() && in.inOut) error(e, "VAR_IN_OUT " + in.pin + " not connected");
            }
        }
    }

    // ---- Rungs ----

    void rungs() {
        std::vector<int> parent(els_.size());
        for (std::size_t k = 0; k < parent.size(); ++k) parent[k] = static_cast<int>(k);
        auto root = [&parent](int k) {
            while (parent[static_cast<std::size_t>(k)] != k) k = parent[static_cast<std::size_t>(k)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(k)])];
            return k;
        };
        auto runs = [](const Element& e) { return e.kind != "leftPowerRail" && e.kind != "rightPowerRail" && e.kind != "comment" && e.kind != "vendorElement" && e.kind != "error"; };
        for (std::size_t c = 0; c < els_.size(); ++c)
            for (const Input& in : els_[c].inputs)
                for (const Link& l : in.links)
                    if (l.from >= 0 && runs(els_[c]) && runs(els_[static_cast<std::size_t>(l.from)])) parent[static_cast<std::size_t>(root(l.from))] = root(static_cast<int>(c));
        std::map<int, std::tuple<double, int, int>> tops;  // root → top y, first id, first line
        for (std::size_t k = 0; k < els_.size(); ++k) {
            if (!runs(els_[k])) continue;
            const int r = root(static_cast<int>(k));
            const auto key = std::make_tuple(els_[k].y, els_[k].id, els_[k].line);
            auto [it, fresh] = tops.emplace(r, key);
            if (!fresh) {
                auto& [y, id, line] = it->second;
                if (std::tie(els_[k].y, els_[k].id) < std::tie(y, id)) std::tie(y, id) = std::tie(els_[k].y, els_[k].id);
                line = std::min(line, els_[k].line);
            }
        }
        std::vector<std::pair<std::tuple<double, int, int>, int>> sorted;
        for (const auto& [r, key] : tops) sorted.emplace_back(key, r);
        std::sort(sorted.begin(), sorted.end());
        std::map<int, int> number;
        for (std::size_t k = 0; k < sorted.size(); ++k) {
            number[sorted[k].second] = static_cast<int>(k) + 1;
            rungLine_[static_cast<int>(k) + 1] = std::get<2>(sorted[k].first);
        }
        for (std::size_t k = 0; k < els_.size(); ++k)
            if (runs(els_[k])) els_[k].rung = number[root(static_cast<int>(k))];
        // A rail drawn for one rung belongs to it; one shared by several rungs to none.
        for (std::size_t k = 0; k < els_.size(); ++k) {
            if (els_[k].kind != "leftPowerRail" && els_[k].kind != "rightPowerRail") continue;
            std::set<int> touched;
            for (const Input& in : els_[k].inputs)
                for (const Link& l : in.links)
                    if (l.from >= 0) touched.insert(els_[static_cast<std::size_t>(l.from)].rung);
            for (const Element& c : els_)
                for (const Input& in : c.inputs)
                    for (const Link& l : in.links)
                        if (l.from == static_cast<int>(k)) touched.insert(c.rung);
            touched.erase(0);
            if (touched.size() == 1) els_[k].rung = *touched.begin();
        }
    }

    // ---- Loops ----

    // Strongly connected components of the wires (iteratively: a drawing may be large).
    // A loop must pass through a variable that keeps its value to the next cycle: a
    // function block instance, an in-out variable, a coil, or a wire drawn to an output
    // variable. Its elements become statements whose values are kept.
    void loops() {
        const std::size_t n = els_.size();
        std::vector<std::vector<int>> next(n);
        for (std::size_t c = 0; c < n; ++c)
            for (const Input& in : els_[c].inputs)
                for (const Link& l : in.links)
                    if (l.from >= 0) next[static_cast<std::size_t>(l.from)].push_back(static_cast<int>(c));
        std::vector<int> index(n, -1), low(n, 0);
        std::vector<bool> onStack(n, false);
        std::vector<int> stack;
        int counter = 0;
        for (std::size_t s = 0; s < n; ++s) {
            if (index[s] >= 0) continue;
            std::vector<std::pair<int, std::size_t>> work{{static_cast<int>(s), 0}};
            while (!work.empty()) {
                auto& [v, k] = work.back();
                const std::size_t vi = static_cast<std::size_t>(v);
                if (k == 0 && index[vi] < 0) {
                    index[vi] = low[vi] = counter++;
                    stack.push_back(v);
                    onStack[vi] = true;
                }
                if (k < next[vi].size()) {
                    const int w = next[vi][k++];
                    const std::size_t wi = static_cast<std::size_t>(w);
                    if (index[wi] < 0) work.emplace_back(w, 0);
                    else if (onStack[wi]) low[vi] = std::min(low[vi], index[wi]);
                    continue;
                }
                if (low[vi] == index[vi]) {
                    std::vector<int> component;
                    int w = -1;
                    do {
                        w = stack.back();
                        stack.pop_back();
                        onStack[static_cast<std::size_t>(w)] = false;
                        component.push_back(w);
                    } while (w != v);
                    const bool self = std::find(next[vi].begin(), next[vi].end(), v) != next[vi].end();
                    if (component.size() > 1 || self) loop(component);
                }
                const int done = v;
                work.pop_back();
                if (!work.empty()) {
                    const std::size_t p = static_cast<std::size_t>(work.back().first);
                    low[p] = std::min(low[p], low[static_cast<std::size_t>(done)]);
                }
            }
        }
    }

    void loop(std::vector<int> component) {
        std::sort(component.begin(), component.end(), [this](int a, int b) { return els_[static_cast<std::size_t>(a)].id < els_[static_cast<std::size_t>(b)].id; });
        bool held = false;
        for (int m : component) {
            const Element& e = els_[static_cast<std::size_t>(m)];
            if (e.block || e.kind == "inOutVariable" || e.kind == "coil") held = true;
            for (const Element& c : els_)
                if (c.kind == "outVariable")
                    for (const Link& l : c.inputs[0].links)
                        if (l.from == m) held = true;
        }
        if (!held) {
            std::string names;
            for (std::size_t k = 0; k < component.size() && k < 8; ++k) {
                const Element& e = els_[static_cast<std::size_t>(component[k])];
                names += (k ? ", " : "") + e.kind + " " + std::to_string(e.id) + (e.type.empty() ? "" : " (" + e.type + ")");
            }
            if (component.size() > 8) names += ", ...";
            error(els_[static_cast<std::size_t>(component[0])].node,
                  "loop through " + names + " passes through no variable: connect one of its wires to a variable, which holds the value to the next cycle");
            return;
        }
        for (int m : component) els_[static_cast<std::size_t>(m)].loop = true;
    }

    // ---- Which elements are statements ----

    // The element and output whose value a wire carries, through connectors and
    // continuations; {-1, -1} when it ends unconnected.
    std::pair<int, int> producer(int from, int out) const {
        for (std::size_t steps = 0; from >= 0 && steps <= els_.size(); ++steps) {
            const Element& e = els_[static_cast<std::size_t>(from)];
            if (!passThrough(e)) return {from, out};
            if (e.inputs.empty() || e.inputs[0].links.empty()) return {-1, -1};
            out = e.inputs[0].links[0].out;
            from = e.inputs[0].links[0].from;
        }
        return {-1, -1};
    }

    void countUses() {
        for (const Element& c : els_) {
            if (passThrough(c) || c.kind == "rightPowerRail") continue;  // the right rail reads nothing
            for (const Input& in : c.inputs)
                for (const Link& l : in.links) {
                    const auto [f, o] = producer(l.from, l.out);
                    if (f >= 0 && o >= 0) ++els_[static_cast<std::size_t>(f)].outputs[static_cast<std::size_t>(o)].uses;
                }
        }
    }

    // A long chain of elements computed in place would nest as deep in one expression as
    // it is long: every kNesting-th element of it keeps its value in a variable instead,
    // where its type is known.
    static constexpr int kNesting = 16;
    bool inPlace(const Element& e) const { return !e.statement && (e.function || e.kind == "contact"); }

    void cutChains() {
        std::vector<int> depth(els_.size(), -1);
        for (std::size_t s = 0; s < els_.size(); ++s) {
            if (!inPlace(els_[s]) || depth[s] >= 0) continue;
            std::vector<std::pair<int, bool>> work{{static_cast<int>(s), false}};
            while (!work.empty()) {
                const auto [k, expanded] = work.back();
                work.pop_back();
                const std::size_t ki = static_cast<std::size_t>(k);
                if (depth[ki] >= 0) continue;
                Element& e = els_[ki];
                std::vector<int> producers;
                for (const Input& in : e.inputs)
                    for (const Link& l : in.links) {
                        const int f = producer(l.from, l.out).first;
                        if (f >= 0 && f != k && inPlace(els_[static_cast<std::size_t>(f)])) producers.push_back(f);
                    }
                if (!expanded) {
                    work.emplace_back(k, true);
                    for (int f : producers)
                        if (depth[static_cast<std::size_t>(f)] < 0) work.emplace_back(f, false);
                    continue;
                }
                int d = 1;
                for (int f : producers) d = std::max(d, depth[static_cast<std::size_t>(f)] + 1);
                depth[ki] = d;
                if (d < kNesting) continue;
                const int o = e.kind == "contact" ? 0 : resultOf(e);
                if (o < 0 || e.outputs[static_cast<std::size_t>(o)].type.empty()) continue;
                Output& out = e.outputs[static_cast<std::size_t>(o)];
                e.statement = true;
                out.stored = declare(baseName(e) + (e.kind == "contact" ? "" : "_" + out.pin), out.type, e);
                depth[ki] = 0;
            }
        }
    }

    void decide() {
        for (std::size_t k = 0; k < els_.size(); ++k) {
            Element& e = els_[k];
            const std::string base = baseName(e);
            if (e.kind == "inVariable") {
                if (e.edge == "rising" || e.edge == "falling") {
                    e.statement = true;
                    e.outputs[0].stored = declare(base, "BOOL", e);
                    declare(base + "_M", "BOOL", e);
                } else {
                    e.outputs[0].stored = paren(e.text);
                }
            } else if (e.kind == "outVariable" || e.kind == "inOutVariable") {
                e.statement = !e.inputs[0].links.empty();
                if (e.kind == "inOutVariable") e.outputs[0].stored = paren(e.text);
                if (e.statement && (e.edge == "rising" || e.edge == "falling")) declare(base + "_M", "BOOL", e);
            } else if (e.kind == "contact") {
                const bool edge = e.edge == "rising" || e.edge == "falling";
                e.statement = edge || e.loop || e.outputs[0].uses > 1;
                if (e.statement) e.outputs[0].stored = declare(base, "BOOL", e);
                if (edge) declare(base + "_M", "BOOL", e);
            } else if (e.kind == "coil") {
                e.statement = true;
                if (e.outputs[0].uses > 0 || e.loop) e.outputs[0].stored = declare(base, "BOOL", e);
                if (e.edge == "rising" || e.edge == "falling") declare(base + "_M", "BOOL", e);
            } else if (e.block) {
                e.statement = true;
                for (std::size_t o = 0; o < e.outputs.size(); ++o) {
                    Output& out = e.outputs[o];
                    if (upper(out.pin) == "ENO") continue;
                    if (out.inOut) {
                        for (const Input& in : e.inputs)
                            if (in.inOut && upper(in.pin) == upper(out.pin) && !in.links.empty()) out.stored = inputValueless(in);
                        continue;
                    }
                    out.stored = e.instance + "." + out.pin;
                }
                decideEn(e, base);
                decideEdges(e, base);
            } else if (e.function) {
                decideFunction(static_cast<int>(k), base);
            }
        }
    }

    // An in-out parameter's variable: the variable drawn at its input.
    std::string inputValueless(const Input& in) const {
        const auto [f, o] = producer(in.links[0].from, in.links[0].out);
        if (f < 0) return "";
        const Element& e = els_[static_cast<std::size_t>(f)];
        if (e.kind == "inVariable" || e.kind == "inOutVariable") return e.text;
        return "";
    }

    // A block whose EN is connected runs only while EN is TRUE, and the variables drawn at
    // its outputs are written only then: EN is kept in _B<n>_ENO when ENO or such a
    // variable reads it.
    void decideEn(Element& e, const std::string& base) {
        const int en = enOf(e), eno = enoOf(e);
        const bool gated = en >= 0 && !e.inputs[static_cast<std::size_t>(en)].links.empty();
        if (!gated) {
            if (eno >= 0) e.outputs[static_cast<std::size_t>(eno)].stored = "TRUE";
            return;
        }
        const int self = static_cast<int>(&e - els_.data());
        bool written = eno >= 0 && e.outputs[static_cast<std::size_t>(eno)].uses > 0;
        for (const Element& c : els_)
            written = written || gatedBy(c) == self;
        if (!written) return;
        e.enable = declare(base + "_ENO", "BOOL", e);
        if (eno >= 0) e.outputs[static_cast<std::size_t>(eno)].stored = e.enable;
    }

    // The block whose output (not ENO) a variable drawn at it writes, -1 when none.
    int gatedBy(const Element& c) const {
        if ((c.kind != "outVariable" && c.kind != "inOutVariable") || c.inputs.empty() || c.inputs[0].links.size() != 1) return -1;
        const auto [f, o] = producer(c.inputs[0].links[0].from, c.inputs[0].links[0].out);
        if (f < 0 || o < 0) return -1;
        const Element& b = els_[static_cast<std::size_t>(f)];
        if (!(b.block || b.function) || upper(b.outputs[static_cast<std::size_t>(o)].pin) == "ENO") return -1;
        return f;
    }

    void decideEdges(Element& e, const std::string& base) {
        for (const Input& in : e.inputs)
            if (in.edge == "rising" || in.edge == "falling") declare(base + "_" + in.pin + "_M", "BOOL", e);
    }

    void decideFunction(int k, const std::string& base) {
        Element& e = els_[static_cast<std::size_t>(k)];
        const int result = resultOf(e);
        const int en = enOf(e);
        const bool enabled = en >= 0 && !e.inputs[static_cast<std::size_t>(en)].links.empty();
        bool edges = false;
        for (const Input& in : e.inputs) edges = edges || in.edge == "rising" || in.edge == "falling";
        bool extra = false;
        for (std::size_t o = 0; o < e.outputs.size(); ++o)
            if (static_cast<int>(o) != result && upper(e.outputs[o].pin) != "ENO" && e.outputs[o].uses > 0) extra = true;
        const int uses = result >= 0 ? e.outputs[static_cast<std::size_t>(result)].uses : 0;
        e.statement = e.loop || enabled || edges || extra || uses > 1 || (uses == 0 && e.userFunction);
        if (!e.statement) return;
        if (result >= 0 && uses > 0) {
            const std::string type = e.outputs[static_cast<std::size_t>(result)].type;
            if (type.empty()) {
                if (!e.loop && !enabled && !edges && !extra) {
                    // Read twice, of a type nothing tells: computed at each reader instead.
                    e.statement = false;
                    return;
                }
                error(e, "the type of its output " + e.outputs[static_cast<std::size_t>(result)].pin +
                             " is not known: connect an input or the output to a declared variable");
                return;
            }
            e.outputs[static_cast<std::size_t>(result)].stored = declare(base + "_" + e.outputs[static_cast<std::size_t>(result)].pin, type, e);
        }
        for (std::size_t o = 0; o < e.outputs.size(); ++o) {
            Output& out = e.outputs[o];
            if (static_cast<int>(o) == result || upper(out.pin) == "ENO" || out.uses == 0) continue;
            const std::string type = out.type;
            if (type.empty()) {
                error(e, "the type of its output " + out.pin + " is not known");
                continue;
            }
            out.stored = declare(base + "_" + out.pin, type, e);
        }
        decideEn(e, base);
        decideEdges(e, base);
    }

    // ---- Values ----

    std::string read(int from, int out, int depth) {
        const auto [f, o] = producer(from, out);
        if (f < 0 || o < 0) return "FALSE";
        Element& e = els_[static_cast<std::size_t>(f)];
        const Output& p = e.outputs[static_cast<std::size_t>(o)];
        std::string v = p.stored;
        if (v.empty()) {
            if (depth > 400) {
                error(e, "the network is too deep to compute in one expression");
                return "FALSE";
            }
            if (e.location == 0) e.location = current_;
            auto& done = computed_[f];
            if (done.empty()) {
                done = compute(f, depth + 1);
                if (done.size() > kLongest) {
                    error(e, "its value is too large an expression to compute where it is read: connect its output to a variable");
                    done = "FALSE";
                }
            }
            v = done;
        }
        return p.negated ? notOf(v) : v;
    }

    // An input's value: its wire's, the OR of its wires' in LD, negated where drawn.
    std::string input(const Input& in, int depth) {
        if (in.links.empty()) return "";
        std::string v;
        if (in.links.size() == 1) {
            v = read(in.links[0].from, in.links[0].out, depth);
        } else {
            bool always = false;
            for (const Link& l : in.links) {
                const std::string term = read(l.from, l.out, depth);
                always = always || term == "TRUE";
                v += (v.empty() ? "" : " OR ") + paren(term);
            }
            if (always) v = "TRUE";
        }
        return in.negated ? notOf(v) : v;
    }

    // An element computed where it is read: a function, or a contact.
    std::string compute(int k, int depth) {
        Element& e = els_[static_cast<std::size_t>(k)];
        if (e.kind == "contact") {
            const std::string power = input(e.inputs[0], depth);
            return andOf(power, e.negated ? notOf(e.text) : paren(e.text));
        }
        if (e.kind == "coil") return input(e.inputs[0], depth);
        if (e.function) return call(k, depth);
        return "FALSE";
    }

    // The value of a block's input with its edge: TRUE in the cycle it rises (or falls).
    std::string edged(const Element& e, const Input& in, const std::string& v) {
        if (in.edge != "rising" && in.edge != "falling") return v;
        const std::string memory = baseName(e) + "_" + in.pin + "_M";
        return in.edge == "rising" ? andOf(v, notOf(memory)) : andOf(notOf(v), memory);
    }

    std::string call(int k, int depth) {
        Element& e = els_[static_cast<std::size_t>(k)];
        std::vector<std::pair<std::string, std::string>> args;
        for (const Input& in : e.inputs) {
            if (upper(in.pin) == "EN") continue;
            args.emplace_back(in.pin, edged(e, in, input(in, depth)));
        }
        const int result = resultOf(e);
        if (!e.userFunction) {
            // The operators are the same library functions, and their operands take the
            // type of each other (a literal beside an INT is an INT), as a call's do not
            // when calls are nested; AND, OR, XOR, NOT and MOD are only operators in ST.
            static const std::map<std::string, std::string> operators = {
                {"ADD", "+"}, {"SUB", "-"}, {"MUL", "*"}, {"DIV", "/"}, {"MOD", "MOD"}, {"EXPT", "**"},
                {"AND", "AND"}, {"OR", "OR"}, {"XOR", "XOR"}};
            const auto op = operators.find(e.typeUpper);
            if (op != operators.end() && args.size() >= 2 && (args.size() == 2 || extensible(e.typeUpper))) {
                std::string acc = paren(args[0].second);
                for (std::size_t a = 1; a < args.size(); ++a) acc += " " + op->second + " " + paren(args[a].second);
                return acc;
            }
            if (e.typeUpper == "NOT" && args.size() == 1) return notOf(args[0].second);
            if (extensible(e.typeUpper) && args.size() > 2) {
                std::string acc = e.type + "(" + args[0].second + ", " + args[1].second + ")";
                for (std::size_t a = 2; a < args.size(); ++a) acc = e.type + "(" + acc + ", " + args[a].second + ")";
                return acc;
            }
            std::string text = e.type + "(";
            for (std::size_t a = 0; a < args.size(); ++a) text += (a ? ", " : "") + args[a].second;
            return text + ")";
        }
        std::string text = e.type + "(";
        bool first = true;
        for (const auto& [pin, value] : args) {
            text += (first ? "" : ", ") + pin + " := " + value;
            first = false;
        }
        for (std::size_t o = 0; o < e.outputs.size(); ++o) {
            const Output& out = e.outputs[o];
            if (static_cast<int>(o) == result || upper(out.pin) == "ENO" || out.inOut || out.stored.empty()) continue;
            text += (first ? "" : ", ") + out.pin + " => " + out.stored;
            first = false;
        }
        return text + ")";
    }

    // ---- Order ----

    // The statements an element's statement reads from, through what is computed in place.
    std::vector<int> dependencies(int k) const {
        std::set<int> out;
        std::vector<int> work{k};
        std::set<int> seen{k};
        while (!work.empty()) {
            const int v = work.back();
            work.pop_back();
            for (const Input& in : els_[static_cast<std::size_t>(v)].inputs)
                for (const Link& l : in.links) {
                    const int f = producer(l.from, l.out).first;
                    if (f < 0 || !seen.insert(f).second) continue;
                    if (els_[static_cast<std::size_t>(f)].statement) out.insert(f);
                    else work.push_back(f);
                }
        }
        return {out.begin(), out.end()};
    }

    void order() {
        std::vector<int> statements;
        for (std::size_t k = 0; k < els_.size(); ++k)
            if (els_[k].statement) statements.push_back(static_cast<int>(k));
        auto key = [this](int k) {
            const Element& e = els_[static_cast<std::size_t>(k)];
            if (diagram_ == Diagram::Ld) return std::make_tuple(e.rung, 0.0, e.y, e.x, e.id);
            return std::make_tuple(0, e.order > 0 ? static_cast<double>(e.order) : 1e18, 0.0, 0.0, e.id);
        };
        auto before = [&key](int a, int b) { return key(a) < key(b); };
        const bool explicitOrder = diagram_ == Diagram::Fbd && !statements.empty() &&
                                   std::all_of(statements.begin(), statements.end(), [this](int k) { return els_[static_cast<std::size_t>(k)].order > 0; });
        if (explicitOrder) {
            std::sort(statements.begin(), statements.end(), before);
            order_ = statements;
            return;
        }
        // Dependency order, the smallest key first among those ready; in a loop the
        // smallest key goes first and reads the others' values of the previous cycle.
        std::map<int, std::vector<int>> readers;
        std::map<int, int> waiting;
        for (int s : statements) {
            waiting[s] = 0;
            for (int d : dependencies(s))
                if (d != s) {
                    readers[d].push_back(s);
                    ++waiting[s];
                }
        }
        std::set<int, decltype(before)> ready(before), left(before);
        for (int s : statements) (waiting[s] == 0 ? ready : left).insert(s);
        while (!ready.empty() || !left.empty()) {
            int s = 0;
            if (!ready.empty()) {
                s = *ready.begin();
                ready.erase(ready.begin());
            } else {
                s = *left.begin();
                left.erase(left.begin());
            }
            waiting[s] = -1;
            order_.push_back(s);
            for (int r : readers[s])
                if (waiting[r] > 0 && --waiting[r] == 0) {
                    left.erase(r);
                    ready.insert(r);
                }
        }
    }

    // ---- Statements ----

    void emit() {
        order();
        for (int k : order_) {
            Element& e = els_[static_cast<std::size_t>(k)];
            const int line = diagram_ == Diagram::Ld && e.rung > 0 ? rungLine_[e.rung] : e.line;
            current_ = body_.file * 1000000 + line;
            e.location = current_;
            for (const std::string& s : statement(k)) body_.statements.push_back({line, s});
        }
    }

    std::vector<std::string> statement(int k) {
        Element& e = els_[static_cast<std::size_t>(k)];
        std::vector<std::string> out;
        const std::string base = baseName(e);
        if (e.kind == "inVariable") {
            const std::string v = paren(e.text);
            out.push_back(base + " := " + (e.edge == "rising" ? andOf(v, notOf(base + "_M")) : andOf(notOf(v), base + "_M")) + ";");
            out.push_back(base + "_M := " + v + ";");
            return out;
        }
        if (e.kind == "contact") {
            std::string v = e.negated ? notOf(e.text) : paren(e.text);
            if (e.edge == "rising" || e.edge == "falling") {
                const std::string m = base + "_M";
                const std::string now = paren(e.text);
                v = e.edge == "rising" ? andOf(now, notOf(m)) : andOf(notOf(now), m);
                out.push_back(base + " := " + andOf(input(e.inputs[0], 0), v) + ";");
                out.push_back(m + " := " + now + ";");
                return out;
            }
            out.push_back(base + " := " + andOf(input(e.inputs[0], 0), v) + ";");
            return out;
        }
        if (e.kind == "outVariable" || e.kind == "inOutVariable" || e.kind == "coil") {
            std::string v = input(e.inputs[0], 0);
            if (e.kind == "coil" && !e.outputs[0].stored.empty()) {
                out.push_back(e.outputs[0].stored + " := " + v + ";");
                v = e.outputs[0].stored;
            }
            if (e.kind == "coil" && e.negated) v = notOf(v);
            if (e.edge == "rising" || e.edge == "falling") {
                if (!atomic(v)) {
                    // The value is read twice: kept in the memory's neighbour first.
                    const std::string now = declare(base, "BOOL", e);
                    out.push_back(now + " := " + v + ";");
                    v = now;
                }
                const std::string m = base + "_M";
                out.push_back(e.text + " := " + (e.edge == "rising" ? andOf(v, notOf(m)) : andOf(notOf(v), m)) + ";");
                out.push_back(m + " := " + v + ";");
                return out;
            }
            if (e.storage == "set") out.push_back("IF " + v + " THEN " + e.text + " := TRUE; END_IF;");
            else if (e.storage == "reset") out.push_back("IF " + v + " THEN " + e.text + " := FALSE; END_IF;");
            else out.push_back(e.text + " := " + v + ";");
            const int gate = gatedBy(e);
            if (gate >= 0 && !els_[static_cast<std::size_t>(gate)].enable.empty())
                out.back() = "IF " + els_[static_cast<std::size_t>(gate)].enable + " THEN " + out.back() + " END_IF;";
            return out;
        }
        // Blocks.
        const int en = enOf(e);
        std::string condition;
        if (en >= 0 && !e.inputs[static_cast<std::size_t>(en)].links.empty()) {
            condition = input(e.inputs[static_cast<std::size_t>(en)], 0);
            if (!e.enable.empty()) {
                out.push_back(e.enable + " := " + condition + ";");
                condition = e.enable;
            }
        }
        std::string run;
        if (e.block) {
            run = e.instance + "(";
            bool first = true;
            for (const Input& in : e.inputs) {
                if (upper(in.pin) == "EN" || in.links.empty()) continue;
                const std::string v = in.inOut ? inputValueless(in) : edged(e, in, input(in, 0));
                if (in.inOut && v.empty()) {
                    error(e, "VAR_IN_OUT " + in.pin + " takes a variable: connect it to an in or in-out variable");
                    continue;
                }
                run += (first ? "" : ", ") + in.pin + " := " + v;
                first = false;
            }
            run += ");";
        } else {
            // A library function whose result nobody reads has nothing to do.
            const int result = resultOf(e);
            if (result >= 0 && !e.outputs[static_cast<std::size_t>(result)].stored.empty())
                run = e.outputs[static_cast<std::size_t>(result)].stored + " := " + call(k, 0) + ";";
            else if (e.userFunction)
                run = call(k, 0) + ";";
        }
        if (!run.empty()) out.push_back(condition.empty() ? run : "IF " + condition + " THEN " + run + " END_IF;");
        // The edge memories take the inputs' values of this cycle.
        for (const Input& in : e.inputs)
            if (in.edge == "rising" || in.edge == "falling") out.push_back(base + "_" + in.pin + "_M := " + input(in, 0) + ";");
        return out;
    }

    // ---- The drawing ----

    void drawing() {
        for (Element& e : els_) {
            ordered_json j;
            j["id"] = e.id;
            j["kind"] = e.kind;
            if (!e.type.empty()) j["type"] = e.type;
            if (!e.instance.empty()) j["instance"] = e.instance;
            j["x"] = e.x;
            j["y"] = e.y;
            j["width"] = e.width;
            j["height"] = e.height;
            j["line"] = e.line;
            j["location"] = e.location;
            j["rung"] = e.rung;
            if (e.kind == "inVariable" || e.kind == "outVariable" || e.kind == "inOutVariable" || e.kind == "contact" || e.kind == "coil" ||
                passThrough(e))
                j["variable"] = e.text;
            ordered_json inputs = ordered_json::array();
            for (const Input& in : e.inputs) {
                if (e.kind == "continuation") continue;
                for (const Link& l : in.links) {
                    ordered_json pin;
                    pin["pin"] = in.pin;
                    pin["from"] = l.ref;
                    pin["fromPin"] = l.fromPin;
                    pin["negated"] = in.negated;
                    ordered_json points = ordered_json::array();
                    for (pugi::xml_node p : children(l.node, "position")) points.push_back({number(p, "x"), number(p, "y")});
                    pin["points"] = std::move(points);
                    inputs.push_back(std::move(pin));
                }
                if (in.links.empty()) inputs.push_back({{"pin", in.pin}, {"negated", in.negated}});
            }
            j["inputs"] = std::move(inputs);
            ordered_json outputs = ordered_json::array();
            for (const Output& out : e.outputs) {
                std::string value = out.stored;
                if (value.empty() || !(std::isalpha(static_cast<unsigned char>(value[0])) || value[0] == '_') || value == "TRUE" || value == "FALSE" || !std::all_of(value.begin(), value.end(), [](char c) {
                        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '[' || c == ']' || c == ',';
                    }))
                    value.clear();
                outputs.push_back({{"pin", out.pin}, {"negated", out.negated}, {"value", value}});
            }
            j["outputs"] = std::move(outputs);
            body_.elements.push_back(std::move(j));
        }
    }
};

}  // namespace

void translateNetwork(pugi::xml_node node, Body& body, Diagram diagram) { Network(node, body, diagram).run(); }

}  // namespace qvc::plcopen
