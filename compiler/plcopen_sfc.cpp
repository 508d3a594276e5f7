// SFC bodies of PLCopen projects, translated into the textual charts the ST front end
// reads: each step of the drawing becomes a STEP on the XML line of its element, each
// transition a TRANSITION whose FROM and TO lists are found by walking the connections
// (back through selection divergences and simultaneous convergences, forward through
// selection convergences, simultaneous divergences and jump steps). The chart's rules and
// its evolution are then those of the textual chart, checked and lowered by sfc.cpp.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <set>

#include "compiler/plcopen_body.h"

namespace qvc::plcopen {

namespace {

using ordered_json = nlohmann::ordered_json;
using Id = unsigned long long;

// ---- XML helpers --------------------------------------------------------------------

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A name from the XML that goes into the chart's text: letters, digits and underscores
// only, and none of the words of the chart itself, so no attribute brings text of its own.
bool isChartName(const std::string& s) {
    if (!isIdentifier(s)) return false;
    static const std::set<std::string> words = {"initial_step", "step", "end_step", "transition", "end_transition", "from",
                                                "to", "action", "end_action", "priority"};
    return words.count(lower(s)) == 0;
}

bool parseId(const char* text, Id& id) {
    if (!text || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    id = std::strtoull(text, &end, 10);
    return end && *end == '\0' && std::strlen(text) <= 19;
}

// "selectionDivergence" as a diagnostic says it: "selection divergence" (an element name
// of a hostile file, however long, only in part).
std::string words(const char* kind) {
    std::string out;
    for (const char* c = kind; *c && out.size() < 60; ++c) {
        if (std::isupper(static_cast<unsigned char>(*c)) && !out.empty()) {
            out += ' ';
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        } else {
            out += *c;
        }
    }
    return out;
}

// A coordinate as the drawing holds it: an integer where it is one.
ordered_json number(pugi::xml_attribute a) {
    const double v = a.as_double();
    if (v == static_cast<double>(static_cast<long long>(v)) && v > -1e15 && v < 1e15) return static_cast<long long>(v);
    return v;
}

bool isTimed(const std::string& q) { return q == "L" || q == "D" || q == "SD" || q == "DS" || q == "SL"; }
bool isQualifier(const std::string& q) {
    static const std::set<std::string> all = {"N", "R", "S", "P", "P0", "P1", "L", "D", "SD", "DS", "SL"};
    return all.count(q) != 0;
}

// ---- The chart ----------------------------------------------------------------------

// A named transition of the POU (<pou><transitions><transition>): an ST expression, or
// statements assigning the name (written in ST, or an FBD or LD network whose
// out-variable or coil is the name).
struct NamedTransition {
    pugi::xml_node node;
    std::string name;
    Text text;
    std::vector<Line> body;
    bool statements = false;
    bool readable = false;
    int references = 0;
    bool declared = false;
};

class Chart {
public:
    Chart(pugi::xml_node sfc, Body& body) : sfc_(sfc), body_(body) {}

    void run() {
        index();
        namedTransitions();
        for (const Element& e : elements_) check(e);
        if (failed_) return;  // a broken graph would only add noise
        // The chart in the order of the XML: steps and transitions as they come, so that
        // among transitions of one priority the first in the file is the first decided.
        for (const Element& e : elements_) {
            if (is(e.node, "step")) step(e);
            if (is(e.node, "transition")) transition(e);
        }
        body_.statements.insert(body_.statements.begin(), std::make_move_iterator(statementsBefore_.begin()),
                                std::make_move_iterator(statementsBefore_.end()));
        for (const Element& e : elements_) draw(e);
    }

private:
    struct Element {
        Id id = 0;
        pugi::xml_node node;
    };

    // ---- Index and connections --------------------------------------------------------

    void index() {
        for (pugi::xml_node n = sfc_.first_child(); n; n = n.next_sibling()) {
            if (n.type() != pugi::node_element || is(n, "addData") || is(n, "documentation")) continue;
            Id id = 0;
            if (!parseId(n.attribute("localId").as_string(nullptr), id)) {
                fail(n, "SFC " + words(localName(n)) + ": localId \"" + std::string(n.attribute("localId").as_string()).substr(0, 40) +
                            "\" is not a number");
                continue;
            }
            if (byId_.count(id)) {
                fail(n, what(n) + ": localId " + std::to_string(id) + " is used twice");
                continue;
            }
            byId_[id] = n;
            elements_.push_back({id, n});
        }
        for (const Element& e : elements_) {
            for (pugi::xml_node in : children(e.node, "connectionPointIn"))
                for (pugi::xml_node c : children(in, "connection")) {
                    Id from = 0;
                    const bool number = parseId(c.attribute("refLocalId").as_string(nullptr), from);
                    if (!number || !byId_.count(from)) {
                        fail(c, what(e.node) + ": connected to element " + std::string(c.attribute("refLocalId").as_string()).substr(0, 40) +
                                    ", which is not in the body");
                        continue;
                    }
                    inputs_[e.id].push_back(from);
                    consumers_[from].push_back(e.id);
                }
            if (is(e.node, "step")) {
                const std::string name = e.node.attribute("name").as_string();
                if (!isChartName(name)) {
                    fail(e.node, what(e.node) + ": " + (name.empty() ? "no name" : "the name \"" + name.substr(0, 40) + "\" is not an identifier"));
                    continue;
                }
                steps_.emplace(lower(name), e.id);
            }
            const std::string divergence = e.node.attribute("name").as_string();
            if (is(e.node, "simultaneousDivergence") && !divergence.empty()) divergences_.emplace(lower(divergence), e.id);
        }
    }

    // "SFC step 4 (Fill)", "SFC transition 7", "SFC jump step 9 (Fill)".
    std::string what(pugi::xml_node n) const {
        std::string s = "SFC " + words(localName(n)) + " " + std::string(n.attribute("localId").as_string()).substr(0, 20);
        const char* name = is(n, "jumpStep") ? n.attribute("targetName").as_string() : n.attribute("name").as_string();
        if (*name) s += " (" + std::string(name).substr(0, 40) + ")";
        return s;
    }

    void fail(pugi::xml_node n, const std::string& message) {
        body_.error(n, message);
        failed_ = true;
    }

    const char* kindOf(Id id) const { return localName(byId_.at(id)); }

    // ---- Checks of the drawing --------------------------------------------------------

    void check(const Element& e) {
        const pugi::xml_node n = e.node;
        static const std::set<std::string> known = {"step", "transition", "selectionDivergence", "selectionConvergence",
                                                    "simultaneousDivergence", "simultaneousConvergence", "jumpStep",
                                                    "actionBlock", "comment", "inVariable"};
        if (is(n, "macroStep")) {
            fail(n, what(n) + ": macro steps are not supported; draw the macro step's steps in the chart itself");
        } else if (!known.count(localName(n))) {
            fail(n, what(n) + ": a " + words(localName(n)) +
                        " is not read in an SFC body (steps, transitions, divergences, convergences, jump steps, action blocks, "
                        "and in-variables as conditions are)");
        } else if (is(n, "step") || is(n, "jumpStep")) {
            checkStepInputs(e);
        }
        if (is(n, "jumpStep")) {
            const std::string target = n.attribute("targetName").as_string();
            Id divergence = 0;
            if (!steps_.count(lower(target)) && !divergenceNamed(target, divergence))
                fail(n, what(n) + ": no step named " + (target.empty() ? "\"\"" : target.substr(0, 40)));
        } else if (is(n, "actionBlock")) {
            const auto in = inputs_.find(e.id);
            if (in == inputs_.end() || in->second.empty())
                fail(n, what(n) + ": not connected to a step");
            else if (in->second.size() > 1 || !is(byId_.at(in->second[0]), "step"))
                fail(n, what(n) + ": connected to " + (in->second.size() > 1 ? std::string("several elements") : "a " + words(kindOf(in->second[0]))) +
                            ", not to one step");
        } else if (is(n, "transition")) {
            std::vector<std::string> from, to;
            if (!sources(e.id, n, from) || !targets(e.id, n, to)) return;
            if (from.empty()) fail(n, what(n) + ": no step leads to it");
            if (to.empty()) fail(n, what(n) + ": it leads to no step");
        }
    }

    // A step is entered through a transition: one drawn straight from a step (or from
    // anything else) would never be.
    void checkStepInputs(const Element& e) {
        const auto in = inputs_.find(e.id);
        if (in == inputs_.end()) return;
        for (Id from : in->second) {
            const pugi::xml_node n = byId_.at(from);
            if (is(n, "transition") || is(n, "selectionConvergence") || is(n, "simultaneousDivergence")) continue;
            fail(e.node, what(e.node) + ": comes from a " + words(localName(n)) + " " + std::to_string(from) +
                             " where a transition, a selection convergence or a simultaneous divergence was expected");
            return;
        }
    }

    // A simultaneous divergence a jump step may name instead of a step.
    bool divergenceNamed(const std::string& name, Id& id) const {
        const auto found = divergences_.find(lower(name));
        if (found == divergences_.end()) return false;
        id = found->second;
        return true;
    }

    // The steps found by a walk, each once, in the order found.
    struct Steps {
        std::vector<std::string> names;
        std::set<std::string> known;
        void add(const std::string& name) {
            if (known.insert(lower(name)).second) names.push_back(name);
        }
    };

    // Every walk through the drawing counts the elements it visits against one budget for
    // the whole body, so that no drawing, however its divergences are tangled, costs more
    // than a bounded time.
    bool spend(pugi::xml_node transition) {
        if (++visits_ <= kMaxVisits) return true;
        if (visits_ == kMaxVisits + 1) fail(transition, what(transition) + ": the chart is too large to read (its walks visit over " +
                                                            std::to_string(kMaxVisits) + " elements)");
        return false;
    }

    // The steps a transition leaves: the step above it, the step above a selection
    // divergence (each of its transitions leaves that step), every step joined by a
    // simultaneous convergence. False after a diagnostic.
    bool sources(Id id, pugi::xml_node transition, std::vector<std::string>& out) {
        Steps found;
        std::set<Id> seen;
        std::vector<Id> pending{id};
        while (!pending.empty()) {
            const Id at = pending.back();
            pending.pop_back();
            const auto in = inputs_.find(at);
            if (in == inputs_.end()) continue;
            std::vector<Id> deeper;
            for (const Id from : in->second) {
                if (!seen.insert(from).second) continue;  // a loop of divergences leads nowhere new
                if (!spend(transition)) return false;
                const pugi::xml_node n = byId_.at(from);
                if (is(n, "step")) {
                    found.add(n.attribute("name").as_string());
                } else if (is(n, "selectionDivergence") || is(n, "simultaneousConvergence")) {
                    deeper.push_back(from);
                } else if (is(n, "macroStep")) {
                    return false;  // reported with the macro step
                } else {
                    fail(transition, what(transition) + ": comes from a " + words(localName(n)) + " " + std::to_string(from) +
                                         " where a step, a selection divergence or a simultaneous convergence was expected");
                    return false;
                }
            }
            // Steps in the order of the connections, an element's own before its branches'.
            pending.insert(pending.end(), deeper.rbegin(), deeper.rend());
        }
        out = std::move(found.names);
        return true;
    }

    // The steps a transition leads to: the step below it, through a selection convergence,
    // every branch of a simultaneous divergence, the target of a jump step.
    bool targets(Id id, pugi::xml_node transition, std::vector<std::string>& out) {
        Steps found;
        std::set<Id> seen;
        std::vector<Id> pending{id};
        while (!pending.empty()) {
            const Id at = pending.back();
            pending.pop_back();
            const auto next = consumers_.find(at);
            if (next == consumers_.end()) continue;
            std::vector<Id> deeper;
            for (const Id to : next->second) {
                if (!seen.insert(to).second) continue;
                if (!spend(transition)) return false;
                const pugi::xml_node n = byId_.at(to);
                if (is(n, "step")) {
                    found.add(n.attribute("name").as_string());
                } else if (is(n, "selectionConvergence") || is(n, "simultaneousDivergence")) {
                    deeper.push_back(to);
                } else if (is(n, "jumpStep")) {
                    const std::string target = n.attribute("targetName").as_string();
                    const auto step = steps_.find(lower(target));
                    Id divergence = 0;
                    if (step != steps_.end()) {
                        found.add(byId_.at(step->second).attribute("name").as_string());
                    } else if (divergenceNamed(target, divergence)) {
                        if (seen.insert(divergence).second) deeper.push_back(divergence);
                    } else {
                        return false;  // reported with the jump step
                    }
                } else if (is(n, "macroStep")) {
                    return false;
                }
                // Anything else fed by the transition (another transition) is reported where
                // it looks for its own sources.
            }
            pending.insert(pending.end(), deeper.rbegin(), deeper.rend());
        }
        out = std::move(found.names);
        return true;
    }

    // ---- Named transitions ------------------------------------------------------------

    void namedTransitions() {
        for (pugi::xml_node t : children(child(body_.pouNode, "transitions"), "transition")) {
            NamedTransition n;
            n.node = t;
            n.name = t.attribute("name").as_string();
            if (!named_.emplace(lower(n.name), n).second)
                fail(t, "SFC transition " + n.name.substr(0, 40) + ": a second transition of that name");
        }
        for (const Element& e : elements_) {
            if (!is(e.node, "transition")) continue;
            const pugi::xml_node reference = child(child(e.node, "condition"), "reference");
            if (!reference) continue;
            const auto found = named_.find(lower(reference.attribute("name").as_string()));
            if (found != named_.end()) ++found->second.references;
        }
        for (auto& [key, t] : named_)
            if (t.references > 0) readNamed(t);
    }

    // The condition of a referenced transition, or a diagnostic at its element.
    void readNamed(NamedTransition& t) {
        const std::string where = "SFC transition " + t.name.substr(0, 40);
        if (!isChartName(t.name)) {
            fail(t.node, where + ": the name is not an identifier");
            return;
        }
        const pugi::xml_node language = firstLanguage(child(t.node, "body"));
        if (language && is(language, "ST")) {
            t.text = stText(language, body_);
            t.statements = assigns(t.text.text, t.name);
            if (t.statements) append(t.text, t.body);
            t.readable = !trimmed(t.text.text).empty();
            if (!t.readable) fail(t.node, where + ": no condition");
        } else if (language && (is(language, "FBD") || is(language, "LD"))) {
            t.statements = true;
            t.readable = network(language, t.body);
            if (!t.readable) return;
            std::string text;
            for (const Line& l : t.body) text += l.text + "\n";
            if (!assigns(text, t.name))
                fail(t.node, where + ": its " + localName(language) + " network sets no value to " + t.name +
                                 " (an out-variable or a coil of that name)");
        } else {
            fail(t.node, where + ": " + (language ? "a body in " + std::string(localName(language)).substr(0, 20) + " is not read" : std::string("no body")));
        }
    }

    // An FBD or LD network inside the chart (a transition's or an action's body) through
    // the translators of those languages; false when it wrote nothing (after their
    // diagnostics).
    bool network(pugi::xml_node language, std::vector<Line>& into) {
        Body sub{body_.source, body_.file, body_.diagnostics, body_.pou, localName(language), body_.pouNode, body_.lineStarts};
        const int errors = body_.diagnostics.errors();
        if (is(language, "FBD"))
            translateFbd(language, sub);
        else
            translateLd(language, sub);
        for (Line& l : sub.declarations) body_.declarations.push_back(std::move(l));
        for (auto& e : sub.elements) body_.elements.push_back(std::move(e));
        for (Line& l : sub.statements) into.push_back(std::move(l));
        if (body_.diagnostics.errors() != errors) failed_ = true;
        return body_.diagnostics.errors() == errors && !into.empty();
    }

    static pugi::xml_node firstLanguage(pugi::xml_node body) {
        for (pugi::xml_node c = body.first_child(); c; c = c.next_sibling())
            if (c.type() == pugi::node_element && !is(c, "documentation") && !is(c, "addData")) return c;
        return {};
    }

    // Whether ST text assigns `name` (a body "T1 := a AND b;") rather than being an expression.
    static bool assigns(const std::string& text, const std::string& name) {
        const std::string t = lower(text), n = lower(name);
        for (std::size_t at = t.find(n); at != std::string::npos; at = t.find(n, at + 1)) {
            const bool startsWord = at == 0 || !(std::isalnum(static_cast<unsigned char>(t[at - 1])) || t[at - 1] == '_' || t[at - 1] == '.');
            std::size_t k = at + n.size();
            if (!startsWord || (k < t.size() && (std::isalnum(static_cast<unsigned char>(t[k])) || t[k] == '_'))) continue;
            while (k < t.size() && std::isspace(static_cast<unsigned char>(t[k]))) ++k;
            if (t.compare(k, 2, ":=") == 0) return true;
        }
        return false;
    }

    // ---- Steps --------------------------------------------------------------------------

    // The column of an attribute's value when it stands on the element's first line, so
    // that a diagnostic about a step or an action points at its name; 0 otherwise (the
    // element's line then).
    int attributeColumn(pugi::xml_node node, const char* attribute) const {
        const std::string& text = body_.source.text;
        const std::ptrdiff_t offset = node.offset_debug();
        if (offset < 0 || static_cast<std::size_t>(offset) >= text.size()) return 0;
        const std::size_t start = static_cast<std::size_t>(offset);
        const std::string tag = text.substr(start, 1000);  // a start tag ends well before
        const std::size_t end = std::min(tag.find('>'), tag.find('\n'));
        const std::string key = std::string(attribute) + "=";
        for (std::size_t at = tag.find(key); at < end; at = tag.find(key, at + 1)) {
            if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
            const std::size_t quote = at + key.size();
            if (quote >= end || (tag[quote] != '"' && tag[quote] != '\'')) continue;
            return body_.at(node).column + static_cast<int>(quote + 1);
        }
        return 0;
    }

    void step(const Element& e) {
        const pugi::xml_node n = e.node;
        const std::string name = n.attribute("name").as_string();
        const bool initial = n.attribute("initialStep").as_bool();
        std::vector<Line>& out = body_.statements;
        out.push_back({body_.lineOf(n), std::string(initial ? "INITIAL_STEP " : "STEP ") + name + ":", attributeColumn(n, "name")});
        const auto blocks = consumers_.find(e.id);
        if (blocks != consumers_.end())
            for (Id b : blocks->second)
                if (is(byId_.at(b), "actionBlock")) actionBlock(byId_.at(b), out);
        out.push_back({body_.lineOf(n), "END_STEP"});
    }

    // The associations of an action block: `Fill(L, T#5s, Shown);` on the line of the
    // action's reference; an inline body becomes an ACTION of a name no identifier of the
    // project can have (the block's localId in it).
    void actionBlock(pugi::xml_node block, std::vector<Line>& out) {
        int k = 0;
        for (pugi::xml_node a : children(block, "action")) {
            ++k;
            const std::string where = what(block) + ", action " + std::to_string(k);
            std::string qualifier = a.attribute("qualifier").as_string("N");
            if (qualifier.empty()) qualifier = "N";
            for (char& c : qualifier) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (!isQualifier(qualifier)) {
                body_.error(a, where + ": unknown qualifier " + qualifier.substr(0, 20) + " (N, R, S, P, P0, P1, L, D, SD, DS, SL)");
                continue;
            }
            std::string duration = trimmed(a.attribute("duration").as_string());
            if (isTimed(qualifier) && duration.empty()) {
                body_.error(a, where + ": qualifier " + qualifier + " needs a duration (duration=\"T#1s\")");
                continue;
            }
            if (!isTimed(qualifier) && !duration.empty()) {
                body_.error(a, where + ": qualifier " + qualifier + " takes no duration");
                continue;
            }
            if (!duration.empty() && (duration = durationText(duration)).empty()) {
                body_.error(a, where + ": the duration \"" + std::string(a.attribute("duration").as_string()).substr(0, 40) +
                                   "\" is neither a time (T#5s) nor a variable");
                continue;
            }
            const std::string indicator = trimmed(a.attribute("indicator").as_string());
            if (!indicator.empty() && !isChartName(indicator)) {
                body_.error(a, where + ": the indicator \"" + indicator.substr(0, 40) + "\" is not a variable");
                continue;
            }
            std::string name;
            pugi::xml_node at = a;
            int column = 0;
            if (const pugi::xml_node reference = child(a, "reference")) {
                name = reference.attribute("name").as_string();
                if (!isChartName(name)) {
                    body_.error(reference, where + ": the action \"" + name.substr(0, 40) + "\" is not an action or a variable");
                    continue;
                }
                at = reference;
                column = attributeColumn(reference, "name");
            } else if (const pugi::xml_node body = child(a, "inline")) {
                name = "_A" + std::string(block.attribute("localId").as_string()) + "_" + std::to_string(k);
                if (!inlineAction(body, name, a, where)) continue;
            } else {
                body_.error(a, where + ": neither a reference nor an inline body");
                continue;
            }
            std::string text = "    " + name + "(" + qualifier;
            if (!duration.empty()) text += ", " + duration;
            if (!indicator.empty()) text += ", " + indicator;
            out.push_back({body_.lineOf(at), text + ");", column});
        }
    }

    // A duration as the chart writes it: T#5s as it is, 5s as T#5s, an XML duration PT5S
    // as T#5s, or a TIME variable.
    static std::string durationText(const std::string& d) {
        if (d.size() > 40) return "";
        const std::string u = lower(d);
        if (u.size() > 3 && u.rfind("pt", 0) == 0 && u.back() == 's' &&
            std::all_of(u.begin() + 2, u.end() - 1, [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '.'; }) &&
            std::isdigit(static_cast<unsigned char>(u[2])))
            return "T#" + u.substr(2);
        if (isChartName(d)) return d;
        const bool safe = std::all_of(d.begin(), d.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '#' || c == '_' || c == '.' || c == '-';
        });
        if (!safe) return "";
        if (u.rfind("t#", 0) == 0 || u.rfind("time#", 0) == 0) return d;
        if (std::isdigit(static_cast<unsigned char>(d[0]))) return "T#" + d;
        return "";
    }

    bool inlineAction(pugi::xml_node body, const std::string& name, pugi::xml_node action, const std::string& where) {
        const pugi::xml_node language = firstLanguage(body);
        std::vector<Line> lines;
        if (language && (is(language, "FBD") || is(language, "LD"))) {
            if (!network(language, lines)) return false;
        } else if (!language || is(language, "ST")) {
            append(stText(language ? language : body, body_), lines);
        } else {
            body_.error(language, where + ": an inline action in " + std::string(localName(language)).substr(0, 20) +
                                      " is not read (write it in ST, FBD or LD)");
            return false;
        }
        body_.after.push_back({body_.lineOf(action), "ACTION " + name + ":"});
        for (Line& l : lines) body_.after.push_back(std::move(l));
        body_.after.push_back({body_.after.back().xmlLine, "END_ACTION"});
        return true;
    }

    // ---- Transitions --------------------------------------------------------------------

    void transition(const Element& e) {
        const pugi::xml_node n = e.node;
        std::vector<std::string> from, to;
        sources(e.id, n, from);
        targets(e.id, n, to);
        std::string priority;
        if (const pugi::xml_attribute p = n.attribute("priority")) {
            Id value = 0;
            if (!parseId(p.as_string(), value) || value > 32767) {
                body_.error(n, what(n) + ": priority \"" + std::string(p.as_string()).substr(0, 20) + "\" is not a number from 0 to 32767");
                return;
            }
            priority = " (PRIORITY := " + std::to_string(value) + ")";
        }
        const pugi::xml_node condition = child(n, "condition");
        const bool negated = condition.attribute("negated").as_bool();
        const int line = body_.lineOf(n);
        std::string name;
        Text text;
        bool statements = false;
        const std::vector<Line>* body = nullptr;
        if (const pugi::xml_node reference = child(condition, "reference")) {
            const std::string ref = reference.attribute("name").as_string();
            const auto found = named_.find(lower(ref));
            if (found == named_.end()) {
                body_.error(reference, what(n) + ": no transition named " + (ref.empty() ? "\"\"" : ref.substr(0, 40)) + " in the POU's transitions");
                return;
            }
            NamedTransition& t = found->second;
            if (t.references > 1 || negated) {
                // A condition shared by several transitions, or negated, is decided once
                // before the chart into a variable of its name, as a transition's own body
                // is decided at the start of the evolution.
                if (!t.declared) {
                    body_.declarations.push_back({body_.lineOf(t.node), t.name + " : BOOL;"});
                    if (t.statements) {
                        statementsBefore_.insert(statementsBefore_.end(), t.body.begin(), t.body.end());
                    } else {
                        statementsBefore_.push_back({t.text.line, t.name + " :="});
                        append(asExpression(t.text), statementsBefore_);
                        statementsBefore_.push_back({statementsBefore_.back().xmlLine, ";"});
                    }
                    t.declared = true;
                }
                text = {t.name, line, 1};
            } else {
                name = t.name;
                text = t.text;
                statements = t.statements;
                body = &t.body;
            }
        } else if (const pugi::xml_node in = child(condition, "inline")) {
            const pugi::xml_node language = firstLanguage(in);
            if (language && !is(language, "ST")) {
                body_.error(language, what(n) + ": a condition in " + std::string(localName(language)).substr(0, 20) + " is not read (write it in ST)");
                return;
            }
            text = stText(language ? language : in, body_);
        } else if (const pugi::xml_node wire = child(condition, "connectionPointIn")) {
            if (!wiredCondition(n, wire, text)) return;
        } else {
            body_.error(n, what(n) + ": no condition");
            return;
        }
        if (!statements) {
            text = asExpression(text);
            if (text.text.empty()) {
                body_.error(n, what(n) + ": an empty condition");
                return;
            }
        }
        std::vector<Line>& out = body_.statements;
        const std::string head = "TRANSITION" + (name.empty() ? "" : " " + name) + priority + " FROM " + list(from) + " TO " + list(to);
        if (statements) {
            out.push_back({line, head + " :"});
            out.insert(out.end(), body->begin(), body->end());
        } else {
            out.push_back({line, head + " :=" + (negated ? " NOT (" : "")});
            append(text, out);
            out.push_back({out.back().xmlLine, negated ? ");" : ";"});
        }
        out.push_back({out.back().xmlLine, "END_TRANSITION"});
    }

    // A condition's text without the semicolon some editors end it with.
    static Text asExpression(Text text) {
        std::string& t = text.text;
        while (!t.empty() && (std::isspace(static_cast<unsigned char>(t.back())) || t.back() == ';')) t.pop_back();
        return text;
    }

    // ST text as generated lines; a text that stands far to the right on a long line (a
    // file written on one line) starts at the left rather than after as many spaces.
    static void append(Text text, std::vector<Line>& into) {
        const int column = text.column;
        if (column > kMaxColumn) text.column = 1;
        const std::size_t first = into.size();
        appendText(text, into);
        if (column > kMaxColumn && first < into.size()) {
            into[first].verbatim = false;
            into[first].xmlColumn = column;
        }
    }

    static std::string list(const std::vector<std::string>& steps) {
        if (steps.size() == 1) return steps[0];
        std::string s;
        for (const std::string& n : steps) s += (s.empty() ? "(" : ", ") + n;
        return s + ")";
    }

    // A condition drawn as a wire from an in-variable (its expression), or written in the
    // connection point itself.
    bool wiredCondition(pugi::xml_node transition, pugi::xml_node wire, Text& text) {
        if (const pugi::xml_node expression = child(wire, "expression")) {
            text = expressionText(expression);
            return true;
        }
        const std::vector<pugi::xml_node> connections = children(wire, "connection");
        if (connections.size() != 1) {
            body_.error(wire, what(transition) + ": a condition drawn as a wire needs exactly one connection");
            return false;
        }
        Id from = 0;
        if (!parseId(connections[0].attribute("refLocalId").as_string(nullptr), from) || !byId_.count(from)) {
            body_.error(connections[0], what(transition) + ": its condition is connected to element " +
                                            std::string(connections[0].attribute("refLocalId").as_string()).substr(0, 40) +
                                            ", which is not in the body");
            return false;
        }
        const pugi::xml_node source = byId_.at(from);
        if (!is(source, "inVariable")) {
            body_.error(connections[0], what(transition) + ": a condition drawn from a " + words(localName(source)) +
                                            " is not read (write it inline in ST or as an in-variable)");
            return false;
        }
        text = expressionText(child(source, "expression"));
        if (source.attribute("negated").as_bool()) text.text = "NOT (" + text.text + ")";
        return true;
    }

    Text expressionText(pugi::xml_node expression) const {
        Text t = stText(expression, body_);
        if (t.text.empty()) t.text = expression.child_value();
        return t;
    }

    // ---- Drawing ------------------------------------------------------------------------

    void draw(const Element& e) {
        const pugi::xml_node n = e.node;
        const pugi::xml_node position = child(n, "position");
        const int line = body_.lineOf(n);
        ordered_json j = {{"id", e.id}, {"kind", localName(n)}, {"x", number(position.attribute("x"))}, {"y", number(position.attribute("y"))},
                          {"width", number(n.attribute("width"))}, {"height", number(n.attribute("height"))}, {"line", line}};
        // A step is a breakpoint location of its own: where it becomes active.
        j["location"] = is(n, "step") ? body_.file * 1000000 + line : 0;
        if (is(n, "step")) {
            j["name"] = n.attribute("name").as_string();
            j["initial"] = n.attribute("initialStep").as_bool();
        } else if (is(n, "jumpStep")) {
            j["name"] = n.attribute("targetName").as_string();
        } else if (is(n, "transition")) {
            if (n.attribute("priority")) j["priority"] = n.attribute("priority").as_llong();
            const pugi::xml_node reference = child(child(n, "condition"), "reference");
            if (reference) j["name"] = reference.attribute("name").as_string();
        } else if (is(n, "inVariable")) {
            j["variable"] = trimmed(child(n, "expression").child_value());
        } else if (is(n, "actionBlock")) {
            ordered_json actions = ordered_json::array();
            for (pugi::xml_node a : children(n, "action")) {
                const pugi::xml_node reference = child(a, "reference");
                ordered_json one = {{"action", reference ? reference.attribute("name").as_string() : ""},
                                    {"qualifier", a.attribute("qualifier").as_string("N")}};
                if (a.attribute("duration")) one["duration"] = a.attribute("duration").as_string();
                if (a.attribute("indicator")) one["indicator"] = a.attribute("indicator").as_string();
                actions.push_back(one);
            }
            j["actions"] = actions;
        }
        ordered_json inputs = ordered_json::array();
        for (pugi::xml_node in : children(n, "connectionPointIn"))
            for (pugi::xml_node c : children(in, "connection")) {
                ordered_json points = ordered_json::array();
                for (pugi::xml_node p : children(c, "position")) points.push_back({number(p.attribute("x")), number(p.attribute("y"))});
                inputs.push_back({{"pin", ""}, {"from", c.attribute("refLocalId").as_ullong()},
                                  {"fromPin", c.attribute("formalParameter").as_string()}, {"negated", false}, {"points", points}});
            }
        // Every element has both lists, empty or not, so a drawing client need not test them.
        j["inputs"] = inputs;
        j["outputs"] = ordered_json::array();
        body_.elements.push_back(std::move(j));
    }

    pugi::xml_node sfc_;
    Body& body_;
    std::vector<Element> elements_;
    std::map<Id, pugi::xml_node> byId_;
    std::map<Id, std::vector<Id>> inputs_;     // element → the elements its inputs come from
    std::map<Id, std::vector<Id>> consumers_;  // element → the elements fed by it
    std::map<std::string, Id> steps_;          // lower-case name → step
    std::map<std::string, Id> divergences_;    // lower-case name → simultaneous divergence
    static constexpr long kMaxVisits = 1000000;
    static constexpr int kMaxColumn = 200;
    long visits_ = 0;
    std::map<std::string, NamedTransition> named_;
    std::vector<Line> statementsBefore_;
    bool failed_ = false;
};

}  // namespace

void translateSfc(pugi::xml_node node, Body& body) {
    // A chart belongs to a POU: inside an action it would be a chart within a step's action,
    // which IEC 61131-3 does not have in its textual form and this compiler does not nest.
    if (is(node.parent().parent(), "action")) {
        body.error(node, "SFC body of action " + std::string(node.parent().parent().attribute("name").as_string()).substr(0, 40) +
                             ": an action cannot hold a chart; write it in ST, FBD or LD");
        return;
    }
    Chart(node, body).run();
}

}  // namespace qvc::plcopen
