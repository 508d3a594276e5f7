// qvctl trace export: the trace as a Value Change Dump (for waveform viewers) or as CSV
// (one row per cycle that changed something, one column per variable). Both carry the
// value of each variable at the end of each cycle, on the simulated time axis.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "supervisor/cli/commands.h"
#include "supervisor/core/output_file.h"
#include "supervisor/core/printable.h"
#include "supervisor/core/trace_reader.h"

namespace qv::ctl {

namespace {

// A VCD identifier: printable characters from '!' to '~'.
std::string vcdCode(std::size_t index) {
    std::string code;
    do {
        code += static_cast<char>('!' + index % 94);
        index /= 94;
    } while (index > 0);
    return code;
}

// VCD names are identifiers: letters, digits and underscores.
std::string vcdName(const std::string& name) {
    std::string out;
    for (char c : name) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() || std::isdigit(static_cast<unsigned char>(out[0])) ? "v_" + out : out;
}

std::string vcdValue(const Signal& s, double value, const std::string& code) {
    if (s.area == kAreaBool) return std::string(value != 0.0 ? "1" : "0") + code;
    if (s.area == kAreaReal) {
        char text[48];
        std::snprintf(text, sizeof text, "r%.9g ", value);
        return text + code;
    }
    auto bits = static_cast<uint32_t>(static_cast<int32_t>(std::isfinite(value) ? value : 0.0));
    std::string binary;
    do {
        binary.insert(binary.begin(), (bits & 1u) ? '1' : '0');
        bits >>= 1;
    } while (bits != 0);
    return "b" + binary + " " + code;
}

// Simulated time in the dump's unit (milliseconds; cycles when the file names no period).
int64_t dumpTime(const TraceFile& file, int64_t cycle) {
    const double period = file.periodMs > 0.0 ? file.periodMs : 1.0;
    return std::llround(static_cast<double>(std::max<int64_t>(cycle - firstCycleOf(file), 0)) * period);
}

void writeVcd(std::ostream& out, const TraceFile& file, const TraceNames& names) {
    const std::vector<Signal> signals = signalsOf(file);
    out << "$date\n  " << (file.started.empty() ? "unknown" : file.started) << "\n$end\n";
    out << "$version\n  qvctl trace export\n$end\n";
    out << "$comment\n  " << file.path << "; time is simulated time, "
        << (file.periodMs > 0.0 ? "one period per cycle" : "one unit per cycle (the file names no period)")
        << "\n$end\n";
    out << "$timescale 1 ms $end\n";
    out << "$scope module " << vcdName(names.program.empty() ? "program" : names.program) << " $end\n";
    out << "$var integer 32 " << vcdCode(0) << " cycle $end\n";
    // Instance variables ("Verin_GX._X_21") go into a scope of their instance.
    std::map<std::string, std::vector<std::size_t>> scopes;
    for (std::size_t k = 0; k < signals.size(); ++k) {
        const std::string name = names.name(signals[k].area, signals[k].slot);
        const std::size_t dot = name.rfind('.');
        scopes[dot == std::string::npos ? "" : name.substr(0, dot)].push_back(k);
    }
    auto declare = [&](std::size_t k) {
        const Signal& s = signals[k];
        std::string name = names.name(s.area, s.slot);
        if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
        const char* type = s.area == kAreaBool ? "wire 1" : s.area == kAreaReal ? "real 64" : "integer 32";
        out << "$var " << type << " " << vcdCode(k + 1) << " " << vcdName(name) << " $end\n";
    };
    for (std::size_t k : scopes[""]) declare(k);
    for (const auto& [scope, members] : scopes) {
        if (scope.empty()) continue;
        out << "$scope module " << vcdName(scope) << " $end\n";
        for (std::size_t k : members) declare(k);
        out << "$upscope $end\n";
    }
    out << "$upscope $end\n$enddefinitions $end\n";

    const int64_t first = cycleRange(file).first;
    out << "#" << dumpTime(file, first) << "\n$dumpvars\n" << vcdValue(Signal{kAreaInt, 0, 0, {}}, static_cast<double>(first), vcdCode(0)) << "\n";
    for (std::size_t k = 0; k < signals.size(); ++k) out << vcdValue(signals[k], signals[k].initial, vcdCode(k + 1)) << "\n";
    out << "$end\n";
    // Changes by cycle.
    std::map<int64_t, std::vector<std::string>> byCycle;
    for (std::size_t k = 0; k < signals.size(); ++k)
        for (const auto& [cycle, value] : signals[k].changes) byCycle[cycle].push_back(vcdValue(signals[k], value, vcdCode(k + 1)));
    for (const TraceEvent& e : file.events) byCycle[e.cycle];
    int64_t shown = dumpTime(file, first);
    bool firstDone = false;
    for (const auto& [cycle, changes] : byCycle) {
        const int64_t t = dumpTime(file, cycle);
        if (firstDone || t != shown) out << "#" << t << "\n";
        firstDone = true;
        shown = t;
        out << vcdValue(Signal{kAreaInt, 0, 0, {}}, static_cast<double>(cycle), vcdCode(0)) << "\n";
        for (const std::string& change : changes) out << change << "\n";
    }
}

void writeCsv(std::ostream& out, const TraceFile& file, const TraceNames& names) {
    const std::vector<Signal> signals = signalsOf(file);
    out << "cycle,time_s,event";
    for (const Signal& s : signals) out << "," << csvField(names.name(s.area, s.slot));
    out << "\n";
    std::map<int64_t, std::string> marks;
    for (const TraceEvent& e : file.events) {
        const char* mark = e.kind == TraceEventKind::Stop     ? "STOP"
                           : e.kind == TraceEventKind::Resume ? "RUN"
                           : e.kind == TraceEventKind::End    ? "END"
                                                              : nullptr;
        std::string& m = marks[e.cycle];
        if (mark != nullptr) m += (m.empty() ? "" : " ") + std::string(mark);
    }
    std::vector<double> now;
    for (const Signal& s : signals) now.push_back(s.initial);
    std::vector<std::size_t> next(signals.size(), 0);
    for (const auto& [cycle, mark] : marks) {
        for (std::size_t k = 0; k < signals.size(); ++k)
            while (next[k] < signals[k].changes.size() && signals[k].changes[next[k]].first <= cycle)
                now[k] = signals[k].changes[next[k]++].second;
        char time[32] = "";
        if (file.periodMs > 0.0) std::snprintf(time, sizeof time, "%.3f", simulatedSeconds(file, cycle));
        out << cycle << "," << time << "," << mark;
        for (std::size_t k = 0; k < signals.size(); ++k) {
            const Signal& s = signals[k];
            out << "," << (s.area == kAreaBool ? (now[k] != 0.0 ? "1" : "0") : csvField(names.value(s.area, s.slot, now[k])));
        }
        out << "\n";
    }
}

}  // namespace

int traceExportCommand(const Options& options, const Target* target, const std::optional<std::string>& file) {
    if (options.exportFormat.empty()) return usage("trace export needs --vcd or --csv");
    std::string error;
    std::optional<NamedTrace> loaded = loadTrace(file, target, error);
    if (!loaded) return fail(error);
    TraceFile* const trace = &loaded->trace;
    const TraceNames& names = loaded->names;
    std::ostringstream text;
    if (options.exportFormat == "vcd")
        writeVcd(text, *trace, names);
    else
        writeCsv(text, *trace, names);
    if (options.output.empty() || options.output == "-") {
        std::fputs(text.str().c_str(), stdout);
        return kExitDone;
    }
    if (!writeOutputFile(options.output, text.str(), options.force, trace->path, error)) return fail(error);
    if (!options.quiet)
        std::printf("wrote %s from %s\n", options.output.c_str(), trace->path.c_str());
    return kExitDone;
}

}  // namespace qv::ctl
