// The commands that read and write the image: status, execution control, variables,
// trace, breakpoints, watching, the symbol table, removing the image.
#include "supervisor/cli/commands.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>

#include "runtime/platform/platform.h"
#include "supervisor/core/control.h"
#include "supervisor/core/cycles.h"
#include "supervisor/cli/display.h"
#include "supervisor/core/lists.h"
#include "supervisor/core/printable.h"
#include "supervisor/web/serve.h"
#include "supervisor/core/steps.h"
#include "supervisor/core/trace_reader.h"
#include "supervisor/core/values.h"
#include "supervisor/core/why.h"
#include "supervisor/modbus/command.h"

namespace qv::ctl {

const char* const kUsage =
    "usage: qvctl [--name IMAGE] [--model MODEL] [--revision R] [--symbols FILE] COMMAND [ARGUMENTS]\n"
    "\n"
    "Drives a simulation program through its shared memory image. The image is named by\n"
    "--name, else by QV_MEMORY_NAME, else \"Shared\". The program is recognised from the\n"
    "image (or named by --model), which gives the names of its variables; another program\n"
    "names them in the description beside its executable (<program>.symbols.json), or in\n"
    "the one --symbols names. Any slot can also be named as the trace file names it: B5,\n"
    "I523, F10, C3.\n"
    "\n"
    "  status                     execution status, why it stopped, process, cycle, statistics\n"
    "  run | stop                 run cycles continuously, or stop between two cycles\n"
    "  step [N]                   run N cycles (1), or go on to the next breakpoint call\n"
    "  end                        end the program and wait until it has left\n"
    "  get VAR...                 print current values\n"
    "  set [--raw] VAR VALUE      write a value (TRUE/FALSE, integer, real, character, 2.5s)\n"
    "  force [--raw] VAR VALUE    pin a variable to a value\n"
    "                             (execstatus takes FREE, STOP, RUN, STEP, END, PAUSE or 0 to 5,\n"
    "                             simuperiod a period above 0 and below 2^32 us; --raw writes\n"
    "                             any value of the type, to test a program on purpose)\n"
    "  unforce VAR...             release it (it keeps the value until the program writes)\n"
    "  trace add|remove VAR...    choose the variables of the trace file\n"
    "  trace on|off|reset|snapshot|list\n"
    "  trace show [FILE]          the trace file with names, simulated time and cycles\n"
    "  trace export --vcd|--csv [FILE] [-o OUT]\n"
    "                             for waveform viewers (VCD) or spreadsheets (CSV)\n"
    "  plot [FILE] [-o OUT.svg] [VAR...]\n"
    "                             a timing diagram of the trace file as SVG\n"
    "  break add|remove VAR       data breakpoint: stop when the boolean changes\n"
    "  break add|remove STEP      pause when a grafcet step becomes active: Verin_GX._X_21,\n"
    "                             or Verin_GX 21; _X_21 in a program of one model\n"
    "  break add|remove LOC INST  location breakpoint: pause at location LOC of instance INST\n"
    "  break add|remove [INST@]FILE:LINE\n"
    "                             pause at a source line (of every instance, or of INST)\n"
    "  break add|remove POU@block:N, POU@rung:N\n"
    "                             pause at a block or a rung of a POU's drawing\n"
    "  break list\n"
    "  watch VAR... [--cycles N]  print a line whenever a value changes\n"
    "  vars [PATTERN] [--values]  the variables of the program (names containing PATTERN,\n"
    "                             or matching it with * and ?)\n"
    "  list                       every image on the machine\n"
    "  remove                     delete the image (the program must have ended)\n"
    "  plant [MODEL] [--travel S] [--vacuum S] [--cycles N] [--quiet]\n"
    "                             play the machine beside the program\n"
    "  demo [--program P] [--travel S] [--period MS]\n"
    "                             run one whole machine cycle with its plant and explain it\n"
    "  serve [--port N] [--listen ADDR] [--read-only] [--plant]\n"
    "                             the operator panel in a browser (http://127.0.0.1:8080/)\n"
    "  modbus serve|map|poll ...  the program's variables over Modbus TCP (qvctl help modbus)\n"
    "\n"
    "  help [COMMAND]             this list, or what one command does\n"
    "\n"
    "Options: -q (--quiet) leaves out the one-line confirmation of a write; -o FILE (a new\n"
    "file; --force overwrites one);\n"
    "--version. Cycle numbers are those of the trace file: a change carries the number of\n"
    "the cycle that made it, a state the last cycle that ran.\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed (nothing was written), 2 bad command line.\n";

// Messages and confirmations carry names from descriptions and trace files: their control
// characters are shown escaped, never sent to the terminal.
int fail(const std::string& message) {
    std::fprintf(stderr, "qvctl: %s\n", printable(message).c_str());
    return kExitFailed;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "qvctl: %s\n(qvctl help lists the commands)\n", message.c_str());
    return kExitUsage;
}

namespace {

using Words = std::vector<std::string>;

bool parseInt(const std::string& text, int32_t& value) {
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, value);
    return !text.empty() && problem == std::errc() && at == end;
}

// Resolves every name before anything is written.
std::optional<std::vector<Variable>> resolveAll(const Target& target, const Words& names, std::size_t from) {
    std::vector<Variable> variables;
    for (std::size_t k = from; k < names.size(); ++k) {
        std::string error;
        std::optional<Variable> v = resolveVariable(target, names[k], error);
        if (!v) {
            fail(error);
            return std::nullopt;
        }
        variables.push_back(*v);
    }
    return variables;
}

int needProgram(const Target& target) {
    if (programRuns(target)) return kExitDone;
    return fail("no program runs on image \"" + target.name + "\"");
}

// ---- Status and execution control ------------------------------------------------------

LocationBreakpoint pausedAt(const Target& target) {
    return {ImageView::read(target.view.controlInt(kBpcurrentlocationFromExec)),
            ImageView::read(target.view.controlInt(kBpcurrentinstanceFromExec))};
}

// The one-line confirmation of a write, left out with -q.
void confirm(const Options& options, const std::string& line) {
    if (!options.quiet) std::printf("%s\n", printable(line).c_str());
}

float realAt(const Target& target, int32_t slot) { return ImageView::read(target.view.realSlot(slot)); }

int statusCommand(const Target& target) {
    const ProgramState s = readState(target);
    auto line = [](const char* label, const std::string& text) { std::printf("%-10s %s\n", label, text.c_str()); };
    line("image", target.name + " (" + std::to_string(target.view.size()) + " bytes, revision " +
                      std::to_string(target.revision) + ")");
    line("program", target.facts != nullptr   ? std::string(target.facts->program)
                    : target.table != nullptr ? std::string(target.table->program) + " (named by its symbol description)"
                                              : "unknown (" + describeContents(target) + ")");
    // A status other than FREE with nobody behind it: a program that was killed left it.
    line("status", statusText(s.status) + (s.status != kStatusFree && !s.alive ? " (stale)" : ""));
    line("process", s.pid == 0 ? "none" : std::to_string(s.pid) + (s.alive ? "" : " (gone)"));
    line("why", stopReason(target));
    line("signature", std::to_string(ImageView::read(target.view.signature())));
    line("cycle", lastCycleText(target, s) + " (the last that ran; counter " + std::to_string(s.cycle) + ")");
    auto number = [](float value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", static_cast<double>(value));
        return std::string(text);
    };
    line("period", number(realAt(target, kSimuperiodSlot)) + " us");
    // A program paced off real time says so: its QV_SPEED, as it was started with it.
    if (std::optional<std::string> speed = speedText(s)) line("speed", *speed);
    const MeasuredText measured = measuredText(target, s);
    line("measured", measured.figures);
    if (!measured.note.empty()) line("", "(" + measured.note + ")");
    line("changes", "mean " + number(realAt(target, kMeanModificationSlot)) + ", min " +
                        number(realAt(target, kMinModificationSlot)) + ", max " +
                        number(realAt(target, kMaxModificationSlot)) + " per cycle");
    if (s.status == kStatusPause)
        line("paused at", describeLocation(target, pausedAt(target)));
    line("trace", (*target.view.boolSlot(kTraceonSlot) & kBoolCurrent) ? "on" : "off");
    return kExitDone;
}

int statusWriteCommand(const Options& options, const Target& target, int32_t status) {
    if (int refused = needProgram(target)) return refused;
    if (!writeStatus(target, status, options.timeoutMs))
        return fail("the program did not take " + statusText(status) + " in time");
    const ProgramState s = readState(target);
    confirm(options, statusText(s.status) + " " + cycleWhen(target, s));
    return kExitDone;
}

int stepCommand(const Options& options, const Target& target, const Words& words) {
    int32_t n = 1;
    if (words.size() > 2) return usage("step takes one number of cycles");
    if (words.size() == 2 && (!parseInt(words[1], n) || n < 1))
        return usage("step takes a number of cycles of at least 1, not \"" + words[1] + "\"");
    if (int refused = needProgram(target)) return refused;
    const int timeout = options.timeoutMs + static_cast<int>(3 * periodMs(target));
    for (int32_t k = 0; k < n; ++k) {
        switch (stepOnce(target, timeout)) {
            case StepOutcome::Stopped: break;
            case StepOutcome::Paused:
                confirm(options, "PAUSE " + cycleWhen(target, readState(target)) + " at " +
                                     describeLocation(target, pausedAt(target)));
                return kExitDone;
            case StepOutcome::Ended: return fail("the program ended");
            case StepOutcome::TimedOut: return fail("the program did not finish the step in time");
        }
        // A data breakpoint or the model may have stopped the program: that ends the run
        // of steps as it would end a run.
    }
    const ProgramState s = readState(target);
    confirm(options, statusText(s.status) + " " + cycleWhen(target, s));
    return kExitDone;
}

int endCommand(const Options& options, const Target& target) {
    if (int refused = needProgram(target)) return refused;
    const int32_t pid = readState(target).pid;
    if (!endProgram(target, options.timeoutMs + 2000)) return fail("the program did not end in time");
    confirm(options, "program " + std::to_string(pid) + " ended " + cycleWhen(target, readState(target)));
    return kExitDone;
}

// ---- Variables ------------------------------------------------------------------------------

std::string shown(const Target& target, const Variable& v) {
    return v.name + " = " + displayText(target, v) + (isForced(target, v) ? " (forced)" : "");
}

int getCommand(const Target& target, const Words& words) {
    if (words.size() < 2) return usage("get needs at least one variable");
    std::optional<std::vector<Variable>> variables = resolveAll(target, words, 1);
    if (!variables) return kExitFailed;
    for (const Variable& v : *variables) std::printf("%s\n", printable(shown(target, v)).c_str());
    return kExitDone;
}

int writeCommand(const Options& options, const Target& target, const Words& words, bool force) {
    if (words.size() != 3) return usage(words[0] + " needs a variable and a value");
    std::optional<std::vector<Variable>> variables = resolveAll(target, Words{words[0], words[1]}, 1);
    if (!variables) return kExitFailed;
    const Variable& v = variables->front();
    std::string error;
    if (force && !forceable(v, error)) return fail(error);
    std::optional<Value> value = parseValue(v, words[2], error, options.raw);
    if (!value) return fail(error);
    if (force)
        forceValue(target, v, *value);
    else
        setValue(target, v, *value);
    confirm(options, shown(target, v));
    return kExitDone;
}

int unforceCommand(const Options& options, const Target& target, const Words& words) {
    if (words.size() < 2) return usage("unforce needs at least one variable");
    std::optional<std::vector<Variable>> variables = resolveAll(target, words, 1);
    if (!variables) return kExitFailed;
    for (const Variable& v : *variables) {
        if (std::string why; !forceable(v, why)) return fail(why);
    }
    std::string line;
    for (const Variable& v : *variables) {
        releaseValue(target, v);
        line += (line.empty() ? "" : ", ") + shown(target, v);
    }
    confirm(options, line);
    return kExitDone;
}

// ---- Trace -------------------------------------------------------------------------------------

void setControlBool(const Target& target, int32_t slot, bool on) {
    unsigned char* s = target.view.boolSlot(slot);
    if (on)
        __atomic_fetch_or(s, kBoolCurrent, __ATOMIC_RELAXED);
    else
        __atomic_fetch_and(s, static_cast<uint8_t>(~kBoolCurrent), __ATOMIC_RELAXED);
}

// The trace file's path, for the confirmations; "" when the program cannot tell.
std::string traceFileNote(const Target& target) {
    std::string error;
    const std::optional<std::string> path = programTraceFile(target, error);
    return path ? ", file " + *path : "";
}

int traceListCommand(const Target& target) {
    for (const SlotRef& s : tracedSlots(target)) {
        const std::string name = nameOfSlot(target, s.area, s.slot);
        const std::string slot = slotName(s.area, s.slot);
        std::printf("%s\n", printable(name == slot ? name : name + " (" + slot + ")").c_str());
    }
    std::printf("tracing %s%s\n", (*target.view.boolSlot(kTraceonSlot) & kBoolCurrent) ? "on" : "off",
                traceFileNote(target).c_str());
    return kExitDone;
}

int traceCommand(const Options& options, const Target& target, const Words& words) {
    if (words.size() < 2) return usage("trace needs add, remove, on, off, reset, snapshot, list, show or export");
    const std::string& what = words[1];
    if (what == "add" || what == "remove") {
        if (words.size() < 3) return usage("trace " + what + " needs at least one variable");
        std::optional<std::vector<Variable>> variables = resolveAll(target, words, 2);
        if (!variables) return kExitFailed;
        for (const Variable& v : *variables) {
            std::string why;
            if (!listable(target, v, why)) return fail(why);
        }
        std::string changed;
        for (const Variable& v : *variables) {
            const Change change = what == "add" ? addTraced(target, v) : removeTraced(target, v);
            if (change == Change::Full) return fail("the trace table is full; " + v.name + " was not added");
            if (change == Change::Unchanged)
                std::printf("%s was %s traced\n", printable(v.name).c_str(), what == "add" ? "already" : "not");
            else
                changed += (changed.empty() ? "" : ", ") + v.name;
        }
        if (!changed.empty()) confirm(options, (what == "add" ? "traced: " : "no longer traced: ") + changed);
        return kExitDone;
    }
    if (words.size() != 2) return usage("trace " + what + " takes no arguments");
    if (what == "list") return traceListCommand(target);
    if (what == "on" || what == "off") {
        setControlBool(target, kTraceonSlot, what == "on");
        confirm(options, "tracing " + what + traceFileNote(target));
    } else if (what == "reset") {
        setControlBool(target, kResettraceSlot, true);
        confirm(options, "trace file restarts" + traceFileNote(target));
    } else if (what == "snapshot") {
        if (target.revision != 3)
            return fail("a program of revision " + std::to_string(target.revision) + " writes no snapshots");
        setControlBool(target, kTracesnapshopSlot, true);
        confirm(options, "snapshot asked for: every traced value goes into the file in the next cycle");
    } else {
        return usage("trace needs add, remove, on, off, reset, snapshot, list, show or export, not \"" + what + "\"");
    }
    return kExitDone;
}

// ---- Breakpoints -------------------------------------------------------------------------------

int breakListCommand(const Target& target) {
    const std::vector<int32_t> data = dataBreakpoints(target);
    const std::vector<LocationBreakpoint> pairs = locationBreakpoints(target);
    for (int32_t slot : data) std::printf("data %s\n", printable(nameOfSlot(target, kAreaBool, slot)).c_str());
    for (const LocationBreakpoint& p : pairs) {
        const std::string step = stepName(target, p);
        const std::string line = sourceLine(target, p.location);
        // A compiled chart's step has a source line too; it is listed as the step it is.
        if (!step.empty())
            std::printf("step %s (location %d instance %d)\n", printable(step).c_str(), p.location, p.instance);
        else if (!line.empty())
            std::printf("line %s (location %d instance %d)\n", describeLocation(target, p).c_str(), p.location,
                        p.instance);
        else
            std::printf("location %d instance %d\n", p.location, p.instance);
    }
    if (data.empty() && pairs.empty()) std::printf("no breakpoints\n");
    return kExitDone;
}

int locationBreakCommand(const Options& options, const Target& target, bool adding, LocationBreakpoint pair) {
    const Change change = adding ? addLocationBreakpoint(target, pair) : removeLocationBreakpoint(target, pair);
    if (change == Change::Full)
        return fail("the location breakpoint list is full (" + std::to_string(kMaxLocationBreakpoints) + " pairs)");
    const std::string step = stepName(target, pair);
    if (change == Change::Unchanged) {
        if (step.empty())
            std::printf("location %d instance %d was %s listed\n", pair.location, pair.instance,
                        adding ? "already" : "not");
        else
            std::printf("%s had %s\n", step.c_str(), adding ? "a breakpoint already" : "no breakpoint");
        return kExitDone;
    }
    const std::string where = describeLocation(target, pair);
    if (!adding) confirm(options, "breakpoint removed: " + where);
    else if (step.empty()) confirm(options, "breakpoint: pause at " + where);
    else confirm(options, "breakpoint: pause when " + where + " becomes active");
    return kExitDone;
}

// A source line: one pair per instance, all of them or none.
int sourceBreakCommand(const Options& options, const Target& target, bool adding, const std::string& line,
                       const std::vector<LocationBreakpoint>& pairs) {
    const std::vector<LocationBreakpoint> before = locationBreakpoints(target);
    Change change = Change::Unchanged;
    for (const LocationBreakpoint& pair : pairs) {
        const Change one = adding ? addLocationBreakpoint(target, pair) : removeLocationBreakpoint(target, pair);
        if (one == Change::Full) {
            // Leave the list as it was rather than half of the line's instances.
            for (const LocationBreakpoint& p : pairs)
                if (std::none_of(before.begin(), before.end(), [&](LocationBreakpoint b) {
                        return b.location == p.location && b.instance == p.instance;
                    }))
                    removeLocationBreakpoint(target, p);
            return fail("the location breakpoint list has no room for " + line + " (" +
                        std::to_string(pairs.size()) + " instances; " + std::to_string(kMaxLocationBreakpoints) +
                        " pairs in all)");
        }
        if (one == Change::Done) change = Change::Done;
    }
    if (change == Change::Unchanged) {
        std::printf("%s was %s listed\n", line.c_str(), adding ? "already" : "not");
        return kExitDone;
    }
    confirm(options, adding ? "breakpoint: pause at " + line : "breakpoint removed: " + line);
    return kExitDone;
}

int breakCommand(const Options& options, const Target& target, const Words& words) {
    if (words.size() < 2) return usage("break needs add, remove or list");
    const std::string& what = words[1];
    if (what == "list") return words.size() == 2 ? breakListCommand(target) : usage("break list takes no arguments");
    if (what != "add" && what != "remove") return usage("break needs add, remove or list, not \"" + what + "\"");
    const bool adding = what == "add";
    if (words.size() == 4) {
        LocationBreakpoint pair{};
        std::string error;
        if (parseInt(words[2], pair.location) && parseInt(words[3], pair.instance)) {
            if (pair.instance < 1) return usage("instance numbers start at 1 (the top model)");
        } else if (int32_t step = 0; parseInt(words[3], step) && step > 0) {
            std::optional<LocationBreakpoint> found = stepOfInstance(target, words[2], step, error);
            if (!found) return fail(error);
            pair = *found;
        } else {
            return usage("a location breakpoint is a location and an instance number, or an instance and a step "
                         "number (Verin_GX 21)");
        }
        return locationBreakCommand(options, target, adding, pair);
    }
    if (words.size() != 3)
        return usage("break " + what + " needs a boolean variable, a step, or a location and an instance");
    std::string error;
    if (std::optional<LocationBreakpoint> step = stepByName(target, words[2], error))
        return locationBreakCommand(options, target, adding, *step);
    if (!error.empty()) return fail(error);
    if (std::optional<std::vector<LocationBreakpoint>> lines = sourceBreakpoints(target, words[2], error))
        return sourceBreakCommand(options, target, adding, words[2], *lines);
    if (!error.empty()) return fail(error);
    std::optional<std::vector<Variable>> variables = resolveAll(target, words, 2);
    if (!variables) return kExitFailed;
    const Variable& v = variables->front();
    if (v.kind != Kind::Bool)
        return fail("data breakpoints watch booleans; " + v.name + " is a " + kindName(v.kind));
    std::string why;
    if (!listable(target, v, why)) return fail(why);
    const Change change = adding ? addDataBreakpoint(target, v) : removeDataBreakpoint(target, v);
    if (change == Change::Full) return fail("the breakpoint table is full; " + v.name + " was not added");
    if (change == Change::Unchanged)
        std::printf("%s %s\n", printable(v.name).c_str(), adding ? "already stops the program" : "had no breakpoint");
    else
        confirm(options, adding ? "breakpoint: stop when " + v.name + " changes" : "breakpoint removed: " + v.name);
    return kExitDone;
}

// ---- Watch ---------------------------------------------------------------------------------------

int watchCommand(const Options& options, const Target& target, const Words& words) {
    if (words.size() < 2) return usage("watch needs at least one variable");
    std::optional<std::vector<Variable>> variables = resolveAll(target, words, 1);
    if (!variables) return kExitFailed;
    if (options.cycles && *options.cycles < 1) return fail("--cycles takes a number of at least 1");
    std::vector<std::string> last;
    const std::optional<int32_t> start = lastCycle(target, readState(target));
    std::string line = start ? "cycle " + std::to_string(*start) + ":" : "before the first cycle:";
    for (const Variable& v : *variables) {
        last.push_back(displayText(target, v));
        line += (line.back() == ':' ? " " : ", ") + v.name + " = " + last.back();
    }
    std::printf("%s\n", printable(line).c_str());
    const int32_t first = readState(target).cycle;
    for (;;) {
        // The image may have shrunk during the wait: touching it past its end would kill qvctl.
        if (std::string problem; !target.view.intact(problem)) return fail(problem);
        const ProgramState s = readState(target);
        // A change the model made carries the number of the cycle that made it (the last
        // one that ran); an input's change, the number of the cycle that will first see it.
        const int32_t made = lastCycle(target, s).value_or(firstCycle(target.revision) - 1);
        std::map<int32_t, std::string> changes;
        for (std::size_t k = 0; k < variables->size(); ++k) {
            const Variable& v = (*variables)[k];
            std::string now = displayText(target, v);
            if (now == last[k]) continue;
            std::string& text = changes[v.role == std::string_view("input") ? made + 1 : made];
            text += (text.empty() ? "" : ", ") + v.name + " = " + now;
            last[k] = std::move(now);
        }
        for (const auto& [cycle, text] : changes) std::printf("cycle %d: %s\n", cycle, printable(text).c_str());
        if (options.cycles && s.cycle - first >= *options.cycles) return kExitDone;
        if (!s.alive) {
            std::printf("no program runs on the image\n");
            return kExitDone;
        }
        platform::sleepMilliseconds(1);
    }
}

// ---- The symbol table, removing the image ----------------------------------------------------------

int removeCommand(const Options& options) {
    const std::string& name = options.target.name;
    platform::SharedMapping probe = platform::attachSharedMemory(name);
    if (probe.view == nullptr) return fail("no image named \"" + name + "\"");
    platform::closeSharedMemory(probe);
    if (std::optional<ImageView> view = ImageView::attach(name)) {
        const int32_t* pid = view->pospid();
        const int32_t p = pid == nullptr ? 0 : ImageView::read(pid);
        if (p > 0 && platform::processAlive(p))
            return fail("program " + std::to_string(p) + " still runs on image \"" + name + "\"; end it first");
    }
    if (!platform::removeSharedMemory(name)) return fail("could not remove image \"" + name + "\"");
    confirm(options, "image " + name + " removed");
    return kExitDone;
}

// The trace commands that read a file: show, export, plot. The image is needed only to
// find the running program's file and to name the slots, so a named file is read without.
int traceFileCommand(const Options& options, const std::string& command) {
    const Words& words = options.words;
    std::optional<std::string> file;
    if (command != "plot") {
        if (words.size() > 3) return usage("trace " + words[1] + " takes at most a file");
        if (words.size() == 3) file = words[2];
        if (words[1] == "show" && !options.output.empty()) return usage("trace show writes to the terminal; -o is for export and plot");
    }
    std::string error;
    std::optional<Target> target = openTarget(options.target, error);
    if (!target && !file && command != "plot") return fail(error);
    const Target* seen = target ? &*target : nullptr;
    // A file named after another program than the image's takes its names from its own.
    if (seen != nullptr && file && seen->facts != nullptr) {
        const std::string stem = std::filesystem::path(*file).stem().string();
        if (symbols::findProgram(stem) != nullptr && stem != seen->facts->program) seen = nullptr;
    }
    if (command == "plot") return plotCommand(options, seen);
    if (words[1] == "show") return traceShowCommand(options, seen, file);
    return traceExportCommand(options, seen, file);
}

}  // namespace

int runCommand(const Options& options) {
    const Words& words = options.words;
    if (options.version) {
        std::printf("qvctl %s\n", QV_VERSION);
        return kExitDone;
    }
    if (options.help || (!words.empty() && words[0] == "help")) {
        Options help = options;
        help.words = {"help"};
        const std::size_t from = !words.empty() && words[0] == "help" ? 1 : 0;
        help.words.insert(help.words.end(), words.begin() + static_cast<std::ptrdiff_t>(std::min(from, words.size())),
                          words.end());
        return helpCommand(help);
    }
    if (words.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& command = words[0];
    if (command == "demo") return demoCommand(options);
    if (command == "modbus") return modbus::modbusCommand(words, options.target, options.symbolsFile);
    if (command == "serve") {
        if (options.words.size() != 1) return usage("serve takes options only");
        serve::ServeOptions serve{options.target,  options.symbolsFile, options.listen,
                                  options.port,    options.readOnly,    options.servePlant,
                                  options.travelSeconds, options.vacuumSeconds, options.timeoutMs};
        return serve::serveCommand(serve);
    }
    if (command == "remove") return words.size() == 1 ? removeCommand(options) : usage("remove takes no arguments");
    if (command == "list") return words.size() == 1 ? listCommand() : usage("list takes no arguments");
    if (command == "plot") return traceFileCommand(options, command);
    if (command == "trace" && words.size() >= 2 && (words[1] == "show" || words[1] == "export"))
        return traceFileCommand(options, command);
    if (!options.exportFormat.empty()) return usage("--vcd and --csv belong to trace export");
    if (!options.output.empty()) return usage("-o belongs to trace export and plot");
    if (options.force) return usage("--force belongs to trace export and plot");
    if (options.values && command != "vars") return usage("--values belongs to vars");

    static const std::map<std::string, int> known = {
        {"status", 0}, {"run", 0}, {"stop", 0}, {"step", 0}, {"end", 0}, {"get", 0}, {"set", 0}, {"force", 0},
        {"unforce", 0}, {"trace", 0}, {"break", 0}, {"watch", 0}, {"vars", 0}, {"plant", 0}};
    if (!known.contains(command)) return usage("unknown command \"" + command + "\"");

    TargetRequest request = options.target;
    if (command == "plant" && words.size() == 2) {
        if (!request.model.empty() && request.model != words[1])
            return usage("plant names its model once (" + words[1] + " or --model " + request.model + ")");
        request.model = words[1];
    }
    std::string error;
    std::optional<Target> target = openTarget(request, error, options.symbolsFile);
    if (!target) return fail(error);

    if (command == "status") return words.size() == 1 ? statusCommand(*target) : usage("status takes no arguments");
    if (command == "run" || command == "stop") {
        if (words.size() != 1) return usage(command + " takes no arguments");
        return statusWriteCommand(options, *target, command == "run" ? kStatusRun : kStatusStop);
    }
    if (command == "step") return stepCommand(options, *target, words);
    if (command == "end") return words.size() == 1 ? endCommand(options, *target) : usage("end takes no arguments");
    if (command == "get") return getCommand(*target, words);
    if (command == "set") return writeCommand(options, *target, words, false);
    if (command == "force") return writeCommand(options, *target, words, true);
    if (command == "unforce") return unforceCommand(options, *target, words);
    if (command == "trace") return traceCommand(options, *target, words);
    if (command == "break") return breakCommand(options, *target, words);
    if (command == "watch") return watchCommand(options, *target, words);
    if (command == "vars") return varsCommand(options, *target);
    if (words.size() > 2) return usage("plant takes at most a model");
    return plantCommand(options, *target);
}

}  // namespace qv::ctl
