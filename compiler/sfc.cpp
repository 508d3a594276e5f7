#include "compiler/sfc.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "compiler/tree.h"

namespace qvc {

namespace {

const char* kStepType = "QVC_STEP";
const char* kEdgeStepType = "QVC_STEP_EDGE";
const char* kActionType = "QVC_ACTION";

bool timed(const std::string& q) { return q == "L" || q == "D" || q == "SD" || q == "DS" || q == "SL"; }
bool edge(const std::string& q) { return q == "P" || q == "P1" || q == "P0"; }

// ---- Building the tree --------------------------------------------------------------

using namespace tree;

ExprPtr field(const std::string& var, const char* m, Location at) { return member(name(var, at), m); }
// The disjunction of the terms, FALSE when there are none.
ExprPtr anyOf(std::vector<ExprPtr>& terms, Location at) {
    if (terms.empty()) return boolean(false, at);
    ExprPtr e = std::move(terms[0]);
    for (std::size_t k = 1; k < terms.size(); ++k) e = binary("OR", std::move(e), std::move(terms[k]));
    terms.clear();
    return e;
}
}  // namespace

namespace {

ExprPtr clone(const Expr& e) { return cloneExpr(e); }

// The place where a step's activation stops at a breakpoint: an empty statement on the
// step's own line.
StmtPtr stepLocation(Location at) {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Empty;
    s->at = at;
    s->endColumn = at.column;
    return s;
}

TypeDecl structure(const char* typeName, const std::vector<std::pair<const char*, const char*>>& members) {
    TypeDecl d;
    d.name = d.raw = typeName;
    d.node = std::make_unique<TypeNode>();
    d.node->kind = TypeNode::Struct;
    for (const auto& [n, t] : members) {
        TypeNode::Member m;
        m.name = m.raw = n;
        m.type = std::make_unique<TypeNode>();
        m.type->kind = TypeNode::Named;
        m.type->name = t;
        d.node->members.push_back(std::move(m));
    }
    return d;
}

VarDecl variable(const std::string& n, const std::string& raw, Location at, const char* typeName) {
    VarDecl d;
    d.names.push_back(n);
    d.raws.push_back(raw);
    d.ats.push_back(at);
    d.section = Section::Local;
    d.type = std::make_unique<TypeNode>();
    d.type->kind = TypeNode::Named;
    d.type->name = typeName;
    d.type->at = at;
    return d;
}

// ---- Charts -------------------------------------------------------------------------

// The chart of each step: steps joined by a transition are one chart. Charts are numbered
// in the order of their first step.
std::vector<int> chartsOf(const Sfc& sfc, int& count) {
    std::map<std::string, std::size_t> index;
    for (std::size_t k = 0; k < sfc.steps.size(); ++k) index.emplace(sfc.steps[k].name, k);
    std::vector<std::size_t> parent(sfc.steps.size());
    for (std::size_t k = 0; k < parent.size(); ++k) parent[k] = k;
    auto root = [&parent](std::size_t k) {
        while (parent[k] != k) k = parent[k] = parent[parent[k]];
        return k;
    };
    for (const SfcTransition& t : sfc.transitions) {
        std::vector<std::size_t> ends;
        for (const std::string& s : t.from)
            if (index.count(s)) ends.push_back(index[s]);
        for (const std::string& s : t.to)
            if (index.count(s)) ends.push_back(index[s]);
        for (std::size_t k = 1; k < ends.size(); ++k) parent[root(ends[k])] = root(ends[0]);
    }
    std::vector<int> chart(sfc.steps.size(), -1);
    std::map<std::size_t, int> numbers;
    count = 0;
    for (std::size_t k = 0; k < chart.size(); ++k) {
        const std::size_t r = root(k);
        if (!numbers.count(r)) numbers[r] = count++;
        chart[k] = numbers[r];
    }
    return chart;
}

struct Lowering {
    Unit& unit;
    PouDecl& pou;
    Diagnostics& diag;
    int64_t periodTicks;
    std::map<std::string, std::size_t> steps;     // step name → index
    std::map<std::string, std::size_t> actions;   // ACTION name → index
    std::map<std::string, std::string> declared;  // variables the POU can name, as written

    bool isDeclared(const std::string& n) const { return declared.count(n) != 0; }

    void run() {
        for (const VarDecl& d : pou.vars)
            for (std::size_t k = 0; k < d.names.size(); ++k) declared.emplace(d.names[k], d.raws[k]);
        for (const VarDecl& d : unit.globals)
            for (std::size_t k = 0; k < d.names.size(); ++k) declared.emplace(d.names[k], d.raws[k]);
        if (pou.kind == PouDecl::Function) {
            diag.error(pou.at, "a FUNCTION cannot hold a chart: write it in a FUNCTION_BLOCK or a PROGRAM");
            return;
        }
        Sfc& sfc = pou.sfc;
        bool ok = true;
        for (std::size_t k = 0; k < sfc.steps.size(); ++k)
            if (!steps.emplace(sfc.steps[k].name, k).second) {
                diag.error(sfc.steps[k].at, "step " + sfc.steps[k].raw + " is declared twice");
                ok = false;
            }
        for (std::size_t k = 0; k < sfc.actions.size(); ++k)
            if (!actions.emplace(sfc.actions[k].name, k).second) {
                diag.error(sfc.actions[k].at, "action " + sfc.actions[k].raw + " is declared twice");
                ok = false;
            }
        if (sfc.steps.empty()) {
            diag.error(sfc.transitions.empty() ? sfc.actions[0].at : sfc.transitions[0].at, "a chart needs steps: no INITIAL_STEP in " + pou.raw);
            return;
        }
        for (const SfcTransition& t : sfc.transitions) {
            for (std::size_t k = 0; k < t.from.size(); ++k)
                if (!steps.count(t.from[k])) {
                    diag.error(t.fromAt[k], "transition from unknown step " + t.from[k]);
                    ok = false;
                }
            for (std::size_t k = 0; k < t.to.size(); ++k)
                if (!steps.count(t.to[k])) {
                    diag.error(t.toAt[k], "transition to unknown step " + t.to[k]);
                    ok = false;
                }
            if (t.hasBody && t.name.empty()) {
                diag.error(t.at, "a transition with a body needs a name for the body to assign");
                ok = false;
            }
            if (t.priority && t.priority->kind != Expr::Integer) {
                diag.error(t.priority->at, "PRIORITY takes an integer literal");
                ok = false;
            }
        }
        ok = checkCharts() && ok;
        ok = checkAssociations() && ok;
        if (!ok) return;
        declare();
        Block chart = evolution();
        for (StmtPtr& s : actionControl()) chart.push_back(std::move(s));
        const std::size_t at = std::min(sfc.position, pou.body.size());
        pou.body.insert(pou.body.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(chart.begin()),
                        std::make_move_iterator(chart.end()));
    }

    bool checkCharts() {
        const Sfc& sfc = pou.sfc;
        int count = 0;
        const std::vector<int> chart = chartsOf(sfc, count);
        bool ok = true;
        for (int c = 0; c < count; ++c) {
            const SfcStep* initial = nullptr;
            const SfcStep* first = nullptr;
            for (std::size_t k = 0; k < sfc.steps.size(); ++k) {
                if (chart[k] != c) continue;
                if (!first) first = &sfc.steps[k];
                if (!sfc.steps[k].initial) continue;
                if (initial) {
                    diag.error(sfc.steps[k].at, "two initial steps in one chart: " + initial->raw + " and " + sfc.steps[k].raw);
                    ok = false;
                }
                if (!initial) initial = &sfc.steps[k];
            }
            if (!initial) {
                diag.error(first->at, "the chart of step " + first->raw + " has no initial step");
                ok = false;
            }
        }
        // Reachability: a transition leads on once one of its sources is reached.
        std::set<std::string> reached;
        for (const SfcStep& s : sfc.steps)
            if (s.initial) reached.insert(s.name);
        for (bool grew = true; grew;) {
            grew = false;
            for (const SfcTransition& t : sfc.transitions) {
                const bool from = std::any_of(t.from.begin(), t.from.end(), [&](const std::string& s) { return reached.count(s); });
                if (!from) continue;
                for (const std::string& s : t.to) grew = reached.insert(s).second || grew;
            }
        }
        if (ok)
            for (const SfcStep& s : sfc.steps)
                if (!reached.count(s.name)) diag.warning(s.at, "step " + s.raw + " is not reachable from the initial step");
        return ok;
    }

    bool checkAssociations() {
        bool ok = true;
        for (const SfcStep& s : pou.sfc.steps)
            for (const SfcAssociation& a : s.associations) {
                if (!actions.count(a.action) && !isDeclared(a.action)) {
                    diag.error(a.at, "action " + a.raw + " is not declared: write ACTION " + a.raw + ": ... END_ACTION or declare a BOOL");
                    ok = false;
                }
                if (timed(a.qualifier) && !a.time) {
                    diag.error(a.qualifierAt, "qualifier " + a.qualifier + " needs a time: (" + a.qualifier + ", T#1s)");
                    ok = false;
                }
                if (!timed(a.qualifier) && a.time) {
                    diag.error(a.time->at, "qualifier " + a.qualifier + " takes no time");
                    ok = false;
                }
                if (!a.indicator.empty() && !isDeclared(a.indicator)) {
                    diag.error(a.indicatorAt, "indicator variable " + a.indicatorRaw + " is not declared");
                    ok = false;
                }
            }
        return ok;
    }

    // The name of a transition's variable: its own, or TRANSITION<k> in textual order.
    std::string transitionName(std::size_t k) const {
        const SfcTransition& t = pou.sfc.transitions[k];
        return t.name.empty() ? "TRANSITION" + std::to_string(k + 1) : t.name;
    }
    // The control variable of an action: the ACTION's name, or <variable>_ACTION.
    std::string controlName(const std::string& action) const { return actions.count(action) ? action : action + "_ACTION"; }

    bool needsEdge(const SfcStep& s) const {
        return std::any_of(s.associations.begin(), s.associations.end(), [](const SfcAssociation& a) { return edge(a.qualifier); });
    }

    // The actions in the order they run: ACTION blocks as declared, then boolean variables
    // in the order of their first association.
    std::vector<std::string> actionOrder() const {
        std::vector<std::string> order;
        std::set<std::string> used;
        for (const SfcStep& s : pou.sfc.steps)
            for (const SfcAssociation& a : s.associations) used.insert(a.action);
        for (const SfcAction& a : pou.sfc.actions)
            if (used.count(a.name)) order.push_back(a.name);
        for (const SfcStep& s : pou.sfc.steps)
            for (const SfcAssociation& a : s.associations)
                if (!actions.count(a.action) && std::find(order.begin(), order.end(), a.action) == order.end()) order.push_back(a.action);
        return order;
    }

    void declare() {
        for (const SfcStep& s : pou.sfc.steps) {
            VarDecl d = variable(s.name, s.raw, s.at, needsEdge(s) ? kEdgeStepType : kStepType);
            if (s.initial) {
                d.init.kind = Initializer::Fields;
                d.init.at = s.at;
                auto x = std::make_unique<Initializer>();
                x->kind = Initializer::Value;
                x->at = s.at;
                x->value = boolean(true, s.at);
                d.init.fields.emplace_back("X", std::move(x));
            }
            pou.vars.push_back(std::move(d));
        }
        for (std::size_t k = 0; k < pou.sfc.transitions.size(); ++k) {
            const SfcTransition& t = pou.sfc.transitions[k];
            const std::string n = transitionName(k);
            pou.vars.push_back(variable(n, t.raw.empty() ? n : t.raw, t.at, "BOOL"));
        }
        for (const std::string& a : actionOrder()) {
            const std::string n = controlName(a);
            Location at = pou.at;
            if (actions.count(a)) at = pou.sfc.actions[actions.at(a)].at;
            const std::string raw = actions.count(a) ? pou.sfc.actions[actions.at(a)].raw : declared.at(a) + "_ACTION";
            pou.vars.push_back(variable(n, raw, at, kActionType));
        }
    }

    // The transitions in the order they are decided: PRIORITY (lowest first), then the text.
    std::vector<std::size_t> decisionOrder() const {
        const auto& ts = pou.sfc.transitions;
        std::vector<std::size_t> order(ts.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&ts](std::size_t a, std::size_t b) {
            const int64_t pa = ts[a].priority ? ts[a].priority->integer : 0;
            const int64_t pb = ts[b].priority ? ts[b].priority->integer : 0;
            return pa < pb;
        });
        return order;
    }

    // Every firable transition is found on the situation at entry, the earlier ones of a
    // step excluding the later; then the sources of all are cleared and their targets set,
    // so that a step both left and entered stays active.
    Block evolution() {
        Sfc& sfc = pou.sfc;
        Block b;
        for (SfcTransition& t : sfc.transitions)
            if (t.hasBody)
                for (StmtPtr& s : t.body) b.push_back(std::move(s));
        std::vector<std::size_t> decided;
        for (std::size_t k : decisionOrder()) {
            SfcTransition& t = sfc.transitions[k];
            const std::string n = transitionName(k);
            ExprPtr e;
            for (const std::string& s : t.from) e = e ? binary("AND", std::move(e), field(s, "X", t.at)) : field(s, "X", t.at);
            ExprPtr receptivity = t.hasBody ? name(n, t.at) : std::move(t.condition);
            if (receptivity) {
                receptivity->parenthesised = true;
                e = binary("AND", std::move(e), std::move(receptivity));
            }
            for (std::size_t u : decided) {
                const auto& from = sfc.transitions[u].from;
                const bool shares = std::any_of(t.from.begin(), t.from.end(), [&from](const std::string& s) {
                    return std::find(from.begin(), from.end(), s) != from.end();
                });
                if (shares) e = binary("AND", std::move(e), negate(name(transitionName(u), t.at)));
            }
            b.push_back(assign(name(n, t.at), std::move(e)));
            decided.push_back(k);
        }
        for (std::size_t k = 0; k < sfc.transitions.size(); ++k) {
            const SfcTransition& t = sfc.transitions[k];
            Block clear;
            for (const std::string& s : t.from) clear.push_back(assign(field(s, "X", t.at), boolean(false, t.at)));
            b.push_back(when(name(transitionName(k), t.at), std::move(clear)));
        }
        // Step times: one period per evolution for a step that stays active; a step left keeps
        // its last time, a step entered starts again at 0.
        for (const SfcStep& s : sfc.steps) {
            Block add;
            add.push_back(assign(field(s.name, "T", s.at), binary("+", field(s.name, "T", s.at), duration(periodTicks, s.at))));
            b.push_back(when(field(s.name, "X", s.at), std::move(add)));
        }
        for (std::size_t k = 0; k < sfc.transitions.size(); ++k) {
            const SfcTransition& t = sfc.transitions[k];
            Block set;
            for (const std::string& s : t.to) {
                set.push_back(assign(field(s, "X", t.at), boolean(true, t.at)));
                set.push_back(assign(field(s, "T", t.at), duration(0, t.at)));
            }
            for (const std::string& s : t.to) set.push_back(stepLocation(sfc.steps[steps.at(s)].at));
            b.push_back(when(name(transitionName(k), t.at), std::move(set)));
        }
        return b;
    }

    // IEC action control: each action's Q from its associations, A (Q or its final
    // scan), then the actions themselves; a boolean variable is set while Q holds and
    // cleared once when Q falls, so another writer may keep it otherwise.
    Block actionControl() {
        Sfc& sfc = pou.sfc;
        Block b;
        for (const std::string& action : actionOrder()) {
            const std::string c = controlName(action);
            Location at = pou.at;
            std::vector<ExprPtr> n, r, s, sd, ds, sl;
            ExprPtr sdTime, slTime;
            for (const SfcStep& step : sfc.steps)
                for (const SfcAssociation& a : step.associations) {
                    if (a.action != action) continue;
                    at = a.at;
                    const std::string& q = a.qualifier;
                    auto x = [&] { return field(step.name, "X", a.at); };
                    if (q == "N") n.push_back(x());
                    else if (q == "R") r.push_back(x());
                    else if (q == "S") s.push_back(x());
                    else if (q == "L") n.push_back(binary("AND", x(), binary("<", field(step.name, "T", a.at), clone(*a.time))));
                    else if (q == "D") n.push_back(binary("AND", x(), binary(">=", field(step.name, "T", a.at), clone(*a.time))));
                    else if (q == "P" || q == "P1") n.push_back(binary("AND", x(), negate(field(step.name, "PREV", a.at))));
                    else if (q == "P0") n.push_back(binary("AND", negate(x()), field(step.name, "PREV", a.at)));
                    else if (q == "SD") {
                        sd.push_back(x());
                        if (!sdTime) sdTime = clone(*a.time);
                    } else if (q == "DS") ds.push_back(binary("AND", x(), binary(">=", field(step.name, "T", a.at), clone(*a.time))));
                    else if (q == "SL") {
                        sl.push_back(x());
                        if (!slTime) slTime = clone(*a.time);
                    }
                }
            const bool resets = !r.empty(), hasS = !s.empty(), hasDS = !ds.empty();
            ExprPtr reset = anyOf(r, at);
            auto notReset = [&] { return negate(clone(*reset)); };
            b.push_back(assign(field(c, "A", at), field(c, "Q", at)));
            if (!s.empty()) b.push_back(assign(field(c, "S", at), binary("AND", binary("OR", field(c, "S", at), anyOf(s, at)), notReset())));
            if (!ds.empty()) b.push_back(assign(field(c, "DS", at), binary("AND", binary("OR", field(c, "DS", at), anyOf(ds, at)), notReset())));
            // Stored and delayed, stored and limited: the time runs from the cycle after the store.
            auto storedTimer = [&](const char* flag, const char* time, std::vector<ExprPtr>& in, const Expr& limit) {
                Block count, restart;
                count.push_back(when(binary("<", field(c, time, at), clone(limit)),
                                     [&] { Block k; k.push_back(assign(field(c, time, at), binary("+", field(c, time, at), duration(periodTicks, at)))); return k; }()));
                restart.push_back(assign(field(c, time, at), duration(0, at)));
                b.push_back(when(binary("AND", field(c, flag, at), notReset()), std::move(count), std::move(restart)));
                b.push_back(assign(field(c, flag, at), binary("AND", binary("OR", field(c, flag, at), anyOf(in, at)), notReset())));
            };
            if (!sd.empty()) storedTimer("SD", "SD_T", sd, *sdTime);
            if (!sl.empty()) storedTimer("SL", "SL_T", sl, *slTime);
            std::vector<ExprPtr> active = std::move(n);
            if (hasS) active.push_back(field(c, "S", at));
            if (sdTime) active.push_back(binary("AND", field(c, "SD", at), binary(">=", field(c, "SD_T", at), clone(*sdTime))));
            if (hasDS) active.push_back(field(c, "DS", at));
            if (slTime) active.push_back(binary("AND", field(c, "SL", at), binary("<", field(c, "SL_T", at), clone(*slTime))));
            ExprPtr q = anyOf(active, at);
            if (resets) q = binary("AND", notReset(), std::move(q));
            b.push_back(assign(field(c, "Q", at), std::move(q)));
            b.push_back(assign(field(c, "A", at), binary("OR", field(c, "A", at), field(c, "Q", at))));
            if (actions.count(action)) {
                SfcAction& a = sfc.actions[actions.at(action)];
                b.push_back(when(field(c, "A", a.at), std::move(a.body)));
            } else {
                Block set, clear;
                set.push_back(assign(name(action, at), boolean(true, at)));
                clear.push_back(assign(name(action, at), boolean(false, at)));
                b.push_back(when(field(c, "Q", at), std::move(set), [&] {
                    Block e;
                    e.push_back(when(field(c, "A", at), std::move(clear)));
                    return e;
                }()));
            }
        }
        for (const SfcStep& s : sfc.steps)
            if (needsEdge(s)) b.push_back(assign(field(s.name, "PREV", s.at), field(s.name, "X", s.at)));
        return b;
    }
};

}  // namespace

void lowerCharts(Unit& unit, Diagnostics& diagnostics, double periodMicroseconds, const std::map<std::string, double>& periods) {
    const bool any = std::any_of(unit.pous.begin(), unit.pous.end(), [](const PouDecl& p) { return p.sfc.present(); });
    if (!any) return;
    unit.types.push_back(structure(kStepType, {{"X", "BOOL"}, {"T", "TIME"}}));
    unit.types.push_back(structure(kEdgeStepType, {{"X", "BOOL"}, {"T", "TIME"}, {"PREV", "BOOL"}}));
    unit.types.push_back(structure(kActionType, {{"Q", "BOOL"}, {"A", "BOOL"}, {"S", "BOOL"}, {"SD", "BOOL"}, {"SD_T", "TIME"},
                                                 {"DS", "BOOL"}, {"SL", "BOOL"}, {"SL_T", "TIME"}}));
    auto ticks = [](double microseconds) {
        const double t = std::round(microseconds / 100.0);
        return t >= 0.0 && t <= 2.0e9 ? static_cast<int64_t>(t) : int64_t{0};
    };
    for (PouDecl& p : unit.pous) {
        if (!p.sfc.present()) continue;
        const auto own = periods.find(p.name);
        Lowering{unit, p, diagnostics, ticks(own == periods.end() ? periodMicroseconds : own->second), {}, {}, {}}.run();
    }
}

nlohmann::ordered_json describeCharts(const PouDecl& pou, const std::vector<Source>& sources) {
    using nlohmann::ordered_json;
    ordered_json charts = ordered_json::array();
    const Sfc& sfc = pou.sfc;
    if (sfc.steps.empty()) return charts;
    auto fileOf = [&sources](Location at) {
        if (at.file < 0 || at.file >= static_cast<int>(sources.size())) return std::string();
        const std::string& n = sources[static_cast<std::size_t>(at.file)].name;
        return n.substr(n.find_last_of('/') + 1);
    };
    auto rawOf = [&sfc](const std::string& n) {
        for (const SfcStep& s : sfc.steps)
            if (s.name == n) return s.raw;
        return n;
    };
    int count = 0;
    const std::vector<int> chart = chartsOf(sfc, count);
    for (int c = 0; c < count; ++c) {
        ordered_json steps = ordered_json::array(), transitions = ordered_json::array(), actions = ordered_json::array();
        std::set<std::string> names, used;
        std::string title;
        for (std::size_t k = 0; k < sfc.steps.size(); ++k) {
            if (chart[k] != c) continue;
            const SfcStep& s = sfc.steps[k];
            if (title.empty() || s.initial) title = s.raw;
            names.insert(s.name);
            ordered_json assoc = ordered_json::array();
            for (const SfcAssociation& a : s.associations) {
                ordered_json j = {{"action", a.raw}, {"qualifier", a.qualifier}};
                if (!a.indicator.empty()) j["indicator"] = a.indicatorRaw;
                assoc.push_back(j);
                used.insert(a.action);
            }
            steps.push_back({{"name", s.raw}, {"initial", s.initial}, {"file", fileOf(s.at)}, {"line", s.at.line},
                             {"location", s.at.file * 1000000 + s.at.line}, {"actions", assoc}});
        }
        for (std::size_t k = 0; k < sfc.transitions.size(); ++k) {
            const SfcTransition& t = sfc.transitions[k];
            if (t.from.empty() || !names.count(t.from[0])) continue;
            ordered_json from = ordered_json::array(), to = ordered_json::array();
            for (const std::string& n : t.from) from.push_back(rawOf(n));
            for (const std::string& n : t.to) to.push_back(rawOf(n));
            ordered_json j = {{"name", t.raw.empty() ? "TRANSITION" + std::to_string(k + 1) : t.raw}, {"from", from}, {"to", to},
                              {"line", t.at.line}};
            j["priority"] = t.priority ? t.priority->integer : 0;
            transitions.push_back(j);
        }
        for (const SfcAction& a : sfc.actions)
            if (used.count(a.name)) actions.push_back({{"name", a.raw}, {"file", fileOf(a.at)}, {"line", a.at.line}});
        charts.push_back({{"pou", pou.raw}, {"name", title}, {"steps", steps}, {"transitions", transitions}, {"actions", actions}});
    }
    return charts;
}

}  // namespace qvc
