#include "compiler/configuration.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>

#include "compiler/sfc.h"
#include "compiler/tree.h"

namespace qvc {

namespace {

// Above this many cycles the task counter starts again; release patterns repeat within it.
constexpr int64_t kMaxCycle = 1000000000;

using namespace tree;

VarDecl variable(const std::string& upper, const std::string& raw, Location at, const std::string& type) {
    VarDecl d;
    d.names.push_back(upper);
    d.raws.push_back(raw);
    d.ats.push_back(at);
    d.type = std::make_unique<TypeNode>();
    d.type->kind = TypeNode::Named;
    d.type->name = type;
    d.type->at = at;
    return d;
}

// A copy of a declared type, for the VAR_EXTERNAL through which a resource reaches the
// globals; null for an enumeration or structure written in place, which stays out of reach.
std::unique_ptr<TypeNode> cloneSpec(const TypeNode& t) {
    if (t.kind == TypeNode::Enum || t.kind == TypeNode::Struct) return nullptr;
    auto c = std::make_unique<TypeNode>();
    c->kind = t.kind;
    c->at = t.at;
    c->name = t.name;
    if (t.length) c->length = cloneExpr(*t.length);
    for (const auto& [lo, hi] : t.dims) c->dims.emplace_back(lo ? cloneExpr(*lo) : nullptr, hi ? cloneExpr(*hi) : nullptr);
    if (t.element) {
        c->element = cloneSpec(*t.element);
        if (!c->element) return nullptr;
    }
    if (t.low) c->low = cloneExpr(*t.low);
    if (t.high) c->high = cloneExpr(*t.high);
    return c;
}

void namesIn(const Expr& e, std::set<std::string>& into) {
    if (e.kind == Expr::Name) into.insert(e.text);
    for (const ExprPtr& o : e.operands)
        if (o) namesIn(*o, into);
    for (const Argument& a : e.arguments)
        if (a.value) namesIn(*a.value, into);
}

bool usesLibraryTimers(const PouDecl& p) {
    for (const VarDecl& d : p.vars)
        if (d.type && d.type->kind == TypeNode::Named && (d.type->name == "TON" || d.type->name == "TOF" || d.type->name == "TP")) return true;
    return false;
}

struct Task {
    const TaskDecl* decl = nullptr;
    int64_t ticks = 0;
    int64_t priority = 0;
};

}  // namespace

Schedule lowerConfiguration(Unit& unit, Diagnostics& diag, double periodMicroseconds) {
    Schedule schedule;
    schedule.periodMicroseconds = periodMicroseconds;
    if (unit.configurations.empty()) return schedule;
    schedule.present = true;
    if (unit.configurations.size() > 1) {
        diag.error(unit.configurations[1].at, "one CONFIGURATION at a time: " + unit.configurations[0].raw + " is already given");
        return schedule;
    }
    ConfigurationDecl& c = unit.configurations[0];
    schedule.program = c.raw;
    std::map<std::string, PouDecl*> programs;
    for (PouDecl& p : unit.pous)
        if (p.kind == PouDecl::Program) programs[p.name] = &p;

    bool ok = true;
    int64_t gcd = 0;
    std::vector<std::map<std::string, Task>> tasks(c.resources.size());
    for (std::size_t r = 0; r < c.resources.size(); ++r) {
        for (const TaskDecl& t : c.resources[r].tasks) {
            Task task{&t, 0, 0};
            if (t.name == "CYCLE") {
                diag.error(t.at, "a task cannot be named " + t.raw + ": the resource counts its cycles in " + c.resources[r].raw + ".Cycle");
                ok = false;
                continue;
            }
            if (!t.interval) {
                diag.error(t.at, "task " + t.raw + " has no INTERVAL: event tasks (SINGLE) are not supported");
                ok = false;
                continue;
            }
            if (t.interval->kind != Expr::Duration || t.interval->integer <= 0 || t.interval->integer % 10 != 0) {
                diag.error(t.interval->at, "INTERVAL takes a positive duration in whole milliseconds, such as T#20ms");
                ok = false;
                continue;
            }
            if (t.priority && t.priority->kind != Expr::Integer) {
                diag.error(t.priority->at, "PRIORITY takes an integer literal");
                ok = false;
            }
            task.ticks = t.interval->integer;
            task.priority = t.priority && t.priority->kind == Expr::Integer ? t.priority->integer : 0;
            gcd = std::gcd(gcd, task.ticks);
            if (!tasks[r].emplace(t.name, task).second) {
                diag.error(t.at, "task " + t.raw + " is declared twice");
                ok = false;
            }
        }
        for (const ProgramInstanceDecl& p : c.resources[r].programs) {
            if (!programs.count(p.type)) {
                diag.error(p.typeAt, "no PROGRAM named " + p.typeRaw);
                ok = false;
            }
            if (!p.task.empty() && !tasks[r].count(p.task) &&
                std::none_of(c.resources[r].tasks.begin(), c.resources[r].tasks.end(), [&p](const TaskDecl& t) { return t.name == p.task; })) {
                diag.error(p.taskAt, "no task named " + p.task + " in resource " + c.resources[r].raw);
                ok = false;
            }
        }
    }
    if (!ok) return schedule;
    if (gcd == 0) gcd = std::max<int64_t>(1, std::llround(periodMicroseconds / 100.0));
    schedule.periodMicroseconds = static_cast<double>(gcd) * 100.0;

    // Blocks are gathered apart and added at the end: `programs` points into unit.pous.
    std::vector<PouDecl> blocks;
    PouDecl top;
    top.kind = PouDecl::Program;
    top.name = c.name;
    top.raw = c.raw;
    top.at = top.endAt = c.at;
    for (std::size_t r = 0; r < c.resources.size(); ++r) {
        ResourceDecl& res = c.resources[r];
        PouDecl block;
        block.kind = PouDecl::FunctionBlock;
        block.name = block.raw = "QVC_RESOURCE_" + res.name;
        block.at = block.endAt = res.at;
        // The tasks in the order they run: priority (lowest value first), then as declared.
        std::vector<const TaskDecl*> order;
        int64_t cycle = 1;
        for (const TaskDecl& t : res.tasks) {
            order.push_back(&t);
            const int64_t k = tasks[r].at(t.name).ticks / gcd;
            const int64_t l = std::lcm(cycle, k);
            cycle = l > kMaxCycle ? kMaxCycle : l;
        }
        std::stable_sort(order.begin(), order.end(), [&](const TaskDecl* a, const TaskDecl* b) {
            return tasks[r].at(a->name).priority < tasks[r].at(b->name).priority;
        });
        for (const ProgramInstanceDecl& p : res.programs) {
            block.vars.push_back(variable(p.name, p.raw, p.at, p.type));
            PouDecl& type = *programs.at(p.type);
            const int64_t ticks = p.task.empty() ? gcd : tasks[r].at(p.task).ticks;
            schedule.programPeriods.emplace(p.type, static_cast<double>(ticks) * 100.0);
            if (ticks != gcd && usesLibraryTimers(type))
                diag.warning(p.at, "program " + p.raw + " runs every " + std::to_string(ticks / gcd) +
                                       " cycles: its library timers count one cycle period per call");
        }
        for (const TaskDecl& t : res.tasks) block.vars.push_back(variable(t.name, t.raw, t.at, "BOOL"));
        // The globals the program arguments name, reached as VAR_EXTERNAL.
        std::set<std::string> named;
        for (const ProgramInstanceDecl& p : res.programs)
            for (const Argument& a : p.arguments)
                if (a.value) namesIn(*a.value, named);
        for (const VarDecl& g : unit.globals) {
            if (!g.type || std::none_of(g.names.begin(), g.names.end(), [&named](const std::string& n) { return named.count(n); })) continue;
            VarDecl e;
            e.names = g.names;
            e.raws = g.raws;
            e.ats = g.ats;
            e.section = Section::External;
            e.constant = g.constant;
            e.type = cloneSpec(*g.type);
            if (e.type) block.vars.push_back(std::move(e));
        }
        block.vars.push_back(variable("CYCLE", "Cycle", res.at, "DINT"));
        // A task is released in every cycle whose simulated time reaches a multiple of its interval.
        for (const TaskDecl& t : res.tasks)
            block.body.push_back(assign(name(t.name, t.raw, t.at),
                                        binary("=", binary("MOD", name("CYCLE", "Cycle", t.at), integer(tasks[r].at(t.name).ticks / gcd, t.at)),
                                               integer(0, t.at))));
        for (const TaskDecl* t : order) {
            Block run;
            for (ProgramInstanceDecl& p : res.programs)
                if (p.task == t->name) run.push_back(call(p.name, p.raw, p.at, std::move(p.arguments)));
            block.body.push_back(when(name(t->name, t->raw, t->at), std::move(run)));
        }
        // Programs without a task run in every cycle, after the tasks.
        for (ProgramInstanceDecl& p : res.programs)
            if (p.task.empty()) block.body.push_back(call(p.name, p.raw, p.at, std::move(p.arguments)));
        block.body.push_back(assign(name("CYCLE", "Cycle", res.at), binary("+", name("CYCLE", "Cycle", res.at), integer(1, res.at))));
        {
            Block wrap;
            wrap.push_back(assign(name("CYCLE", "Cycle", res.at), integer(0, res.at)));
            block.body.push_back(when(binary(">=", name("CYCLE", "Cycle", res.at), integer(cycle, res.at)), std::move(wrap)));
        }
        top.vars.push_back(variable(res.name, res.raw, res.at, block.name));
        top.body.push_back(call(res.name, res.raw, res.at, {}));
        blocks.push_back(std::move(block));
    }
    for (const ResourceDecl& res : c.resources)
        for (const ProgramInstanceDecl& p : res.programs) programs.at(p.type)->kind = PouDecl::FunctionBlock;
    for (PouDecl& b : blocks) unit.pous.push_back(std::move(b));
    unit.pous.push_back(std::move(top));
    return schedule;
}

}  // namespace qvc
