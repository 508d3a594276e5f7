// The panel's writes.
#include "supervisor/web/serve_actions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>
#include <vector>

#include "supervisor/core/control.h"
#include "supervisor/core/lists.h"
#include "supervisor/core/stepping.h"
#include "supervisor/core/steps.h"
#include "supervisor/core/values.h"

namespace qv::serve {

namespace {

ActionResult done(const std::string& message) { return {200, message}; }
ActionResult bad(const std::string& message) { return {400, message}; }
ActionResult refused(const std::string& message) { return {409, message}; }

const std::string* param(const Params& params, const std::string& key) {
    auto found = params.find(key);
    return found == params.end() ? nullptr : &found->second;
}

bool parseWhole(const std::string* text, int32_t& value) {
    if (text == nullptr || text->empty()) return false;
    const char* end = text->data() + text->size();
    auto [at, problem] = std::from_chars(text->data(), end, value);
    return problem == std::errc() && at == end;
}

bool parseReal(const std::string* text, double& value) {
    if (text == nullptr || text->empty()) return false;
    const char* end = text->data() + text->size();
    auto [at, problem] = std::from_chars(text->data(), end, value);
    return problem == std::errc() && at == end && std::isfinite(value);
}

// "on" is 1 or 0.
std::optional<bool> switchOf(const Params& params) {
    const std::string* on = param(params, "on");
    if (on == nullptr || (*on != "1" && *on != "0")) return std::nullopt;
    return *on == "1";
}

// A variable of the session, else a control variable or a slot name, as qvctl names them.
std::optional<ctl::Variable> variableOf(const Session& session, const Params& params, std::string& error) {
    const std::string* name = param(params, "name");
    if (name == nullptr || name->empty()) {
        error = "name a variable";
        return std::nullopt;
    }
    if (const ctl::Variable* v = findVariable(session, *name)) return *v;
    return ctl::resolveVariable(session.target, *name, error);
}

std::string shown(const Session& session, const ctl::Variable& v) {
    return v.name + " = " + ctl::currentText(session.target, v) + (ctl::isForced(session.target, v) ? " (forced)" : "");
}

ActionResult writeValue(const Session& session, const Params& params, bool force) {
    std::string error;
    std::optional<ctl::Variable> v = variableOf(session, params, error);
    if (!v) return bad(error);
    const std::string* text = param(params, "value");
    if (text == nullptr) return bad("give a value for " + v->name);
    if (force && !ctl::forceable(*v, error)) return bad(error);
    std::optional<ctl::Value> value = ctl::parseValue(*v, *text, error);
    if (!value) return bad(error);
    if (force)
        ctl::forceValue(session.target, *v, *value);
    else
        ctl::setValue(session.target, *v, *value);
    return done(shown(session, *v));
}

ActionResult status(const Session& session, int32_t wanted, WriteState& writes) {
    if (!ctl::programRuns(session.target)) return refused("no program runs on image \"" + session.target.name + "\"");
    writes.lastWritten = wanted;
    ++writes.statusWrites;
    if (!ctl::writeStatus(session.target, wanted, writes.timeoutMs))
        return refused(std::string("the program did not take ") + statusName(wanted) + " in time");
    return done(std::string(statusName(wanted)) + " at cycle " + std::to_string(ctl::readState(session.target).cycle));
}

ActionResult step(const Session& session, const Params& params, WriteState& writes) {
    int32_t count = 1;
    if (const std::string* text = param(params, "count"); text != nullptr && (!parseWhole(text, count) || count < 1 || count > 10000))
        return bad("step takes a number of cycles from 1 to 10000");
    if (!ctl::programRuns(session.target)) return refused("no program runs on image \"" + session.target.name + "\"");
    writes.lastWritten = kStatusStep;
    const uint32_t mine = ++writes.statusWrites;
    const int timeout = writes.timeoutMs + static_cast<int>(3 * ctl::periodMs(session.target));
    for (int32_t k = 0; k < count; ++k) {
        // Another status written meanwhile (STOP, RUN, END) ends the run of steps.
        if (writes.statusWrites != mine) return done("steps ended by another command");
        switch (ctl::stepOnce(session.target, timeout)) {
            case ctl::StepOutcome::Stopped: break;
            case ctl::StepOutcome::Paused: return done("PAUSE at cycle " + std::to_string(ctl::readState(session.target).cycle));
            case ctl::StepOutcome::Ended: return refused("the program ended");
            case ctl::StepOutcome::TimedOut: return refused("the program did not finish the step in time");
        }
    }
    return done("STOP at cycle " + std::to_string(ctl::readState(session.target).cycle));
}

// How long a step over a function-block call may take before it gives the page back the
// program paused where it stands: each statement it passes costs a poll of the pause.
constexpr int kStepOverBudgetMs = 10000;

// The online view's steps: to the next statement, over a block call, to the end of the
// cycle. They end, as STEP does, when another page writes a status meanwhile.
ActionResult statementStep(const Session& session, const std::string& action, WriteState& writes) {
    if (!ctl::programRuns(session.target)) return refused("no program runs on image \"" + session.target.name + "\"");
    writes.lastWritten = kStatusStep;
    const uint32_t mine = ++writes.statusWrites;
    const int timeout = writes.timeoutMs + static_cast<int>(3 * ctl::periodMs(session.target));
    ctl::StepOutcome outcome;
    std::string note;
    if (action == "statement") {
        outcome = ctl::stepStatement(session.target, timeout);
    } else if (action == "stepover") {
        const ctl::StepOverResult r = ctl::stepOver(session.target, timeout, kStepOverBudgetMs,
                                                    [&writes, mine] { return writes.statusWrites != mine; });
        outcome = r.outcome;
        if (r.inside)
            note = writes.statusWrites != mine ? " (the step over was ended by another command)"
                                                : " (still inside the call after " + std::to_string(r.statements) +
                                                      " statements: step over again to go on)";
    } else {
        outcome = ctl::runToCycleEnd(session.target, timeout);
    }
    const int32_t cycle = ctl::readState(session.target).cycle;
    switch (outcome) {
        case ctl::StepOutcome::Paused: {
            const ctl::LocationBreakpoint at{
                ImageView::read(session.target.view.controlInt(kBpcurrentlocationFromExec)),
                ImageView::read(session.target.view.controlInt(kBpcurrentinstanceFromExec))};
            return done("PAUSE at " + ctl::describeLocation(session.target, at) + " (cycle " + std::to_string(cycle) +
                        ")" + note);
        }
        case ctl::StepOutcome::Stopped: return done("STOP at cycle " + std::to_string(cycle) + ": the cycle ran to its end" + note);
        case ctl::StepOutcome::Ended: return refused("the program ended");
        case ctl::StepOutcome::TimedOut: break;
    }
    return refused("the program did not finish the step in time");
}

ActionResult period(const Session& session, const Params& params) {
    double ms = 0.0;
    if (!parseReal(param(params, "ms"), ms)) return bad("the period is a number of milliseconds");
    const double us = ms * 1000.0;
    if (!(us > 0.0 && us < 4294967296.0)) return bad("the period takes milliseconds above 0 and below 2^32 us");
    ImageView::write(session.target.view.simuperiod(), static_cast<float>(us));
    return done("period " + std::to_string(ms) + " ms");
}

ActionResult list(const Session& session, const Params& params, bool breakpoint) {
    std::string error;
    std::optional<ctl::Variable> v = variableOf(session, params, error);
    if (!v) return bad(error);
    const std::optional<bool> on = switchOf(params);
    if (!on) return bad("on is 1 or 0");
    if (breakpoint && v->kind != ctl::Kind::Bool)
        return bad("data breakpoints watch booleans; " + v->name + " is a " + ctl::kindName(v->kind));
    if (!ctl::listable(session.target, *v, error)) return bad(error);
    const ctl::Change change = breakpoint ? (*on ? ctl::addDataBreakpoint(session.target, *v)
                                                 : ctl::removeDataBreakpoint(session.target, *v))
                                          : (*on ? ctl::addTraced(session.target, *v) : ctl::removeTraced(session.target, *v));
    if (change == ctl::Change::Full) return refused(std::string(breakpoint ? "the breakpoint" : "the trace") + " table is full");
    return done(v->name + (breakpoint ? (*on ? " stops the program" : " has no breakpoint") : (*on ? " traced" : " not traced")));
}

// A step as `qvctl break add` takes it: "Verin_GX._X_21", "_X_21", or "Verin_GX 21".
std::optional<ctl::LocationBreakpoint> namedStep(const Session& session, const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    std::optional<ctl::LocationBreakpoint> step;
    if (int32_t number = 0; words.size() == 2 && parseWhole(&words[1], number) && number > 0)
        step = ctl::stepOfInstance(session.target, words[0], number, error);
    else if (words.size() == 1)
        step = ctl::stepByName(session.target, words[0], error);
    if (!step && error.empty())
        error = "a location breakpoint is a location and an instance number, or a step (Verin_GX._X_21, Verin_GX 21, Main.Fill)";
    return step;
}

// A source line as `qvctl break add` takes it: "conveyor.st:12", "Main.Timer1@conveyor.st:12".
ActionResult sourceLocation(const Session& session, const std::string& line,
                            const std::vector<ctl::LocationBreakpoint>& pairs, bool on) {
    const std::vector<ctl::LocationBreakpoint> before = ctl::locationBreakpoints(session.target);
    for (const ctl::LocationBreakpoint& pair : pairs) {
        const ctl::Change change =
            on ? ctl::addLocationBreakpoint(session.target, pair) : ctl::removeLocationBreakpoint(session.target, pair);
        if (change != ctl::Change::Full) continue;
        for (const ctl::LocationBreakpoint& p : pairs)
            if (std::none_of(before.begin(), before.end(),
                             [&](ctl::LocationBreakpoint b) { return b.location == p.location && b.instance == p.instance; }))
                ctl::removeLocationBreakpoint(session.target, p);
        return refused("the location breakpoint list has no room for " + line);
    }
    return done(line + (on ? " listed" : " removed"));
}

ActionResult location(const Session& session, const Params& params) {
    ctl::LocationBreakpoint pair{};
    const std::string* where = param(params, "location");
    if (where != nullptr) {
        std::string error;
        if (std::optional<std::vector<ctl::LocationBreakpoint>> pairs = ctl::sourceBreakpoints(session.target, *where, error)) {
            const std::optional<bool> on = switchOf(params);
            if (!on) return bad("on is 1 or 0");
            return sourceLocation(session, *where, *pairs, *on);
        }
        if (!error.empty()) return bad(error);
    }
    if (!parseWhole(where, pair.location) && where != nullptr) {
        std::string error;
        const std::optional<ctl::LocationBreakpoint> step = namedStep(session, *where, error);
        if (!step) return bad(error);
        pair = *step;
    } else if (!parseWhole(where, pair.location) || !parseWhole(param(params, "instance"), pair.instance)) {
        return bad("a location breakpoint is two whole numbers, a location and an instance");
    }
    if (pair.instance < 1) return bad("instance numbers start at 1 (the top model)");
    const std::optional<bool> on = switchOf(params);
    if (!on) return bad("on is 1 or 0");
    const ctl::Change change =
        *on ? ctl::addLocationBreakpoint(session.target, pair) : ctl::removeLocationBreakpoint(session.target, pair);
    if (change == ctl::Change::Full)
        return refused("the location breakpoint list is full (" + std::to_string(kMaxLocationBreakpoints) + " pairs)");
    return done("location " + std::to_string(pair.location) + " instance " + std::to_string(pair.instance) +
                (*on ? " listed" : " removed"));
}

void setControlBool(const Session& session, int32_t slot, bool on) {
    unsigned char* s = session.target.view.boolSlot(slot);
    if (on)
        __atomic_fetch_or(s, kBoolCurrent, __ATOMIC_RELAXED);
    else
        __atomic_fetch_and(s, static_cast<uint8_t>(~kBoolCurrent), __ATOMIC_RELAXED);
}

}  // namespace

ActionResult act(const Session& session, const std::string& action, const Params& params, WriteState& writes) {
    if (action == "run") return status(session, kStatusRun, writes);
    if (action == "stop") return status(session, kStatusStop, writes);
    if (action == "step") return step(session, params, writes);
    if (action == "end") {
        if (!ctl::programRuns(session.target)) return refused("no program runs on image \"" + session.target.name + "\"");
        writes.lastWritten = kStatusEnd;
        ++writes.statusWrites;
        if (!ctl::endProgram(session.target, writes.timeoutMs + 2000)) return refused("the program did not end in time");
        return done("the program ended at cycle " + std::to_string(ctl::readState(session.target).cycle));
    }
    if (action == "period") return period(session, params);
    if (action == "set" || action == "force") return writeValue(session, params, action == "force");
    if (action == "unforce") {
        std::string error;
        std::optional<ctl::Variable> v = variableOf(session, params, error);
        if (!v) return bad(error);
        if (!ctl::forceable(*v, error)) return bad(error);
        ctl::releaseValue(session.target, *v);
        return done(shown(session, *v));
    }
    if (action == "trace" || action == "break") return list(session, params, action == "break");
    if (action == "traceon") {
        const std::optional<bool> on = switchOf(params);
        if (!on) return bad("on is 1 or 0");
        setControlBool(session, kTraceonSlot, *on);
        return done(*on ? "tracing on" : "tracing off");
    }
    if (action == "location") return location(session, params);
    if (action == "statement" || action == "stepover" || action == "tocycleend")
        return statementStep(session, action, writes);
    return {404, "no action " + action};
}

}  // namespace qv::serve
