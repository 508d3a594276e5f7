// qvctl trace show: the trace file as a person reads it, one event a line, with names,
// the simulated time and the cycle; pauses and the end stand out.
#include <cstdio>

#include "supervisor/cli/commands.h"
#include "supervisor/core/printable.h"
#include "supervisor/core/trace_reader.h"

namespace qv::ctl {

namespace {

std::string describeEvent(const TraceEvent& e, const TraceNames& names) {
    switch (e.kind) {
        case TraceEventKind::Value: {
            const std::string now = names.name(e.area, e.slot) + " = " + names.value(e.area, e.slot, e.after);
            // A snapshot line, or a forced variable, shows the same value twice.
            if (e.before == e.after) return now;
            return now + "   (was " + names.value(e.area, e.slot, e.before) + ")";
        }
        case TraceEventKind::Tracing:
            if (e.after == 0.0) return "-- tracing off";
            return e.before != 0.0 ? "-- snapshot: every traced value follows" : "-- tracing on: every traced value follows";
        case TraceEventKind::Stop: return "== STOP: the program waits before this cycle";
        case TraceEventKind::Resume: return "== the program runs on";
        default: return "== END of the program";
    }
}

}  // namespace

int traceShowCommand(const Options& /*options*/, const Target* target, const std::optional<std::string>& file) {
    std::string error;
    std::optional<NamedTrace> loaded = loadTrace(file, target, error);
    if (!loaded) return fail(error);
    TraceFile* const trace = &loaded->trace;
    const TraceNames& names = loaded->names;

    std::printf("trace file %s\n", trace->path.c_str());
    std::string about = names.program.empty() ? "program unknown" : "program " + names.program;
    if (!trace->started.empty()) about += ", started " + trace->started;
    if (trace->periodMs > 0.0) {
        char period[40];
        std::snprintf(period, sizeof period, ", period %g ms", trace->periodMs);
        about += period;
    }
    std::printf("%s\n", about.c_str());
    std::printf("%8s %10s  %s\n", "cycle", "time", "event");
    for (const TraceEvent& e : trace->events) {
        char time[32] = "-";
        if (trace->periodMs > 0.0) std::snprintf(time, sizeof time, "%.3f s", simulatedSeconds(*trace, e.cycle));
        // Start-up's values, recorded before the first cycle.
        const std::string cycle = e.cycle < firstCycleOf(*trace) ? "start" : std::to_string(e.cycle);
        std::printf("%8s %10s  %s\n", cycle.c_str(), time, printable(describeEvent(e, names)).c_str());
    }
    if (trace->events.empty()) std::printf("(no events recorded)\n");
    if (trace->skippedLines > 0) std::printf("(%d lines fit no trace format and were left out)\n", trace->skippedLines);
    return kExitDone;
}

}  // namespace qv::ctl
