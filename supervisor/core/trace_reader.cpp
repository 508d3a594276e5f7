// The trace formats: a header line with the date (ctime's text), a period line (revision
// 3: milliseconds, right after the header; revisions 1 and 2: microseconds, when
// recording starts), then one line per event: cycle, [milliseconds,] what, old:new.
#include "supervisor/core/trace_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "runtime/platform/platform.h"
#include "supervisor/core/control.h"
#include "supervisor/core/symbols/recognition.h"

namespace qv::ctl {

namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

bool wholeNumber(const std::string& text, int64_t& value) {
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, value);
    return !text.empty() && problem == std::errc() && at == end;
}

bool realNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// "0:1", "3:5", "-1.5:nan", and revisions 1 and 2's characters "A:B".
bool valuePair(const std::string& text, double& before, double& after) {
    if (const std::size_t colon = text.find(':'); colon != std::string::npos) {
        if (realNumber(text.substr(0, colon), before) && realNumber(text.substr(colon + 1), after)) return true;
    }
    if (text.size() == 3 && text[1] == ':') {
        before = static_cast<unsigned char>(text[0]);
        after = static_cast<unsigned char>(text[2]);
        return true;
    }
    return false;
}

bool slotWord(const std::string& what, int& area, int32_t& slot) {
    const std::string_view letters = "BIFC";
    if (what.size() < 2) return false;
    const std::size_t a = letters.find(what[0]);
    int64_t index = 0;
    if (a == std::string_view::npos || !wholeNumber(what.substr(1), index) || index < 0 || index > INT32_MAX)
        return false;
    area = static_cast<int>(a);
    slot = static_cast<int32_t>(index);
    return true;
}

bool headerLine(const std::string& line) { return !line.empty() && std::isalpha(static_cast<unsigned char>(line[0])); }

// One event line; false when it fits no format.
bool parseEvent(const std::vector<std::string>& w, TraceFile& file) {
    if (w.size() != 3 && w.size() != 4) return false;
    TraceEvent e{TraceEventKind::Value, 0};
    if (!wholeNumber(w[0], e.cycle)) return false;
    if (w.size() == 4) {
        double ms = 0.0;
        if (!realNumber(w[1], ms)) return false;
        file.timeStamped = true;
    }
    const std::string& what = w[w.size() - 2];
    if (!valuePair(w.back(), e.before, e.after)) return false;
    if (what == "trace") e.kind = TraceEventKind::Tracing;
    else if (what == "pause") e.kind = e.after != 0.0 ? TraceEventKind::Stop : TraceEventKind::Resume;
    else if (what == "end") e.kind = TraceEventKind::End;
    else if (!slotWord(what, e.area, e.slot)) return false;
    file.events.push_back(e);
    return true;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::optional<TraceFile> readTraceFile(const std::string& path, std::string& error) {
    // A link in the trace's place is not followed: it could lead qvctl to read, and an
    // export to name, any file of the user's.
    std::error_code problem;
    const std::filesystem::file_status found = std::filesystem::symlink_status(path, problem);
    if (std::filesystem::is_symlink(found)) {
        error = "the trace file " + path + " is a symbolic link; qvctl does not follow it";
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(found)) {
        error = "no trace file " + path;
        return std::nullopt;
    }
    platform::OpenedFile opened = platform::openRegularFile(path);
    if (opened.file == nullptr) {
        error = "cannot read the trace file " + path;
        return std::nullopt;
    }
    std::string whole;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, opened.file)) > 0;) whole.append(buffer, n);
    std::fclose(opened.file);
    std::istringstream in(whole);
    TraceFile file;
    file.path = path;
    std::optional<double> period;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (headerLine(line)) {
            file.started = line;
            continue;
        }
        const std::vector<std::string> words = split(line);
        double number = 0.0;
        if (words.size() == 1 && realNumber(words[0], number)) {
            if (!period) period = number;
            continue;
        }
        if (!parseEvent(words, file)) ++file.skippedLines;
    }
    // Revision 3 writes milliseconds, the others microseconds.
    if (period && *period > 0.0) {
        const bool microseconds = file.timeStamped ? false : !file.events.empty() || *period >= 1000.0;
        file.periodMs = microseconds ? *period / 1000.0 : *period;
    }
    return file;
}

namespace {

// Who writes a slot: an input of the program is written by the supervisor or the plant;
// a slot that some instance has as an output is written by that model.
enum class Writer { Supervisor, ModelOutput, Model };

Writer writerOf(const symbols::ProgramSymbols* table, int area, int32_t slot) {
    if (table == nullptr) return Writer::Model;
    bool input = false;
    for (const symbols::Symbol& s : table->symbols) {
        if (s.area != area || slot < s.slot || slot >= s.slot + symbols::slotCount(s.type)) continue;
        if (s.direction == symbols::Direction::Output) return Writer::ModelOutput;
        input = input || s.direction == symbols::Direction::Input;
    }
    return input ? Writer::Supervisor : Writer::Model;
}

}  // namespace

void numberByCycles(TraceFile& file, const std::string& program) {
    if (file.timeStamped) return;
    const symbols::ProgramSymbols* table = symbols::findProgram(program);
    const symbols::ProgramFacts* facts = symbols::findFacts(program);
    const bool revision1 = facts != nullptr && facts->revision == 1;
    for (TraceEvent& e : file.events) {
        if (e.kind != TraceEventKind::Value) continue;
        const Writer writer = writerOf(table, e.area, e.slot);
        if (writer == Writer::Supervisor || (revision1 && writer == Writer::ModelOutput)) continue;
        --e.cycle;
    }
    std::stable_sort(file.events.begin(), file.events.end(),
                     [](const TraceEvent& a, const TraceEvent& b) { return a.cycle < b.cycle; });
}

int64_t firstCycleOf(const TraceFile& file) { return file.timeStamped ? 1 : 0; }

double simulatedSeconds(const TraceFile& file, int64_t cycle) {
    // What start-up wrote before the first cycle counts from time 0.
    return static_cast<double>(std::max<int64_t>(cycle - firstCycleOf(file), 0)) * file.periodMs / 1000.0;
}

std::vector<Signal> signalsOf(const TraceFile& file) {
    std::vector<Signal> signals;
    for (const TraceEvent& e : file.events) {
        if (e.kind != TraceEventKind::Value) continue;
        Signal* s = nullptr;
        for (Signal& known : signals)
            if (known.area == e.area && known.slot == e.slot) s = &known;
        if (s == nullptr) s = &signals.emplace_back(Signal{e.area, e.slot, e.before, {}});
        // Two lines of one cycle (before and after the step): the cycle ends on the last.
        if (!s->changes.empty() && s->changes.back().first == e.cycle)
            s->changes.back().second = e.after;
        else
            s->changes.emplace_back(e.cycle, e.after);
    }
    // In slot order: a program's interface first, as its symbol table lists it.
    std::stable_sort(signals.begin(), signals.end(),
                     [](const Signal& a, const Signal& b) { return std::pair(a.area, a.slot) < std::pair(b.area, b.slot); });
    return signals;
}

std::vector<int64_t> pausesOf(const TraceFile& file) {
    std::vector<int64_t> pauses;
    bool stopped = false;
    int64_t stoppedAt = 0;
    for (const TraceEvent& e : file.events) {
        if (e.kind == TraceEventKind::Stop) {
            stopped = true;
            stoppedAt = e.cycle;
        } else if (e.kind == TraceEventKind::Resume || (e.kind == TraceEventKind::End && stopped)) {
            // The program left a STOP (revision 3 starts in STOP before its first line).
            if (pauses.empty() || pauses.back() != e.cycle) pauses.push_back(e.cycle);
            stopped = false;
        }
    }
    if (stopped && (pauses.empty() || pauses.back() != stoppedAt)) pauses.push_back(stoppedAt);
    return pauses;
}

std::pair<int64_t, int64_t> cycleRange(const TraceFile& file) {
    if (file.events.empty()) return {firstCycleOf(file), firstCycleOf(file)};
    int64_t low = file.events.front().cycle, high = low;
    for (const TraceEvent& e : file.events) {
        low = std::min(low, e.cycle);
        high = std::max(high, e.cycle);
    }
    return {low, high};
}

TraceNames traceNames(const Target* target, const std::string& path) {
    TraceNames names;
    const symbols::ProgramSymbols* table = nullptr;
    if (target != nullptr && target->table != nullptr) {
        table = target->table;
    } else {
        table = symbols::findProgram(std::filesystem::path(path).stem().string());
    }
    if (table != nullptr) names.program = table->program;
    int32_t execstatusSlot = -1;
    if (target != nullptr) execstatusSlot = target->view.layout().execstatusSlot;

    auto symbolAt = [table](int area, int32_t slot) -> const symbols::Symbol* {
        if (table == nullptr) return nullptr;
        for (const symbols::Symbol& s : table->symbols)
            if (s.area == area && s.slot <= slot && slot < s.slot + symbols::slotCount(s.type)) return &s;
        return nullptr;
    };
    names.name = [target, symbolAt](int area, int32_t slot) -> std::string {
        if (const symbols::Symbol* s = symbolAt(area, slot)) {
            // A TIME is traced by its days and its ticks.
            if (s->type != symbols::Type::Time) return s->name;
            const int32_t part = slot - s->slot;
            return std::string(s->name) + (part == 2 ? ".days" : part == 3 ? ".ticks" : ".header");
        }
        if (target != nullptr) return nameOfSlot(*target, area, slot);
        return slotName(area, slot);
    };
    names.value = [execstatusSlot](int area, int32_t slot, double value) -> std::string {
        if (area == kAreaBool) return value != 0.0 ? "TRUE" : "FALSE";
        if (area == kAreaInt && slot == execstatusSlot) return statusText(static_cast<int32_t>(value));
        char text[40];
        if (area == kAreaReal || !std::isfinite(value))
            std::snprintf(text, sizeof text, "%g", value);
        else
            std::snprintf(text, sizeof text, "%.0f", value);
        return text;
    };
    return names;
}

namespace {

// The NUL-separated strings of a /proc file.
std::vector<std::string> procStrings(const std::string& path) {
    std::vector<std::string> strings;
    const std::string text = readText(path);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        strings.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

// The program's rule: if the fourth character from the end is a dot, the three after it
// become "trc"; otherwise ".trc" is appended.
std::string traceNameOf(std::string program) {
    if (program.size() >= 4 && program[program.size() - 4] == '.') return program.substr(0, program.size() - 3) + "trc";
    return program + ".trc";
}

}  // namespace

std::optional<std::string> programTraceFile(const Target& target, std::string& error) {
    const int32_t* pidSlot = target.view.pospid();
    const int32_t pid = pidSlot == nullptr ? 0 : ImageView::read(pidSlot);
    if (pid <= 0 || !platform::processAlive(pid)) {
        error = "no program runs on image \"" + target.name + "\": name the trace file";
        return std::nullopt;
    }
    const std::string proc = "/proc/" + std::to_string(pid);
    std::error_code problem;
    const std::filesystem::path cwd = std::filesystem::read_symlink(proc + "/cwd", problem);
    if (problem) {
        error = "cannot see the working folder of program " + std::to_string(pid) + ": name the trace file";
        return std::nullopt;
    }
    std::string name;
    for (const std::string& entry : procStrings(proc + "/environ"))
        if (entry.starts_with("QV_TRACE_FILE=") && entry.size() > 14) name = entry.substr(14);
    if (name.empty()) {
        const std::vector<std::string> argv = procStrings(proc + "/cmdline");
        if (argv.empty() || argv[0].empty()) {
            error = "cannot see how program " + std::to_string(pid) + " was started: name the trace file";
            return std::nullopt;
        }
        name = traceNameOf(argv[0]);
    }
    const std::filesystem::path file(name);
    return (file.is_absolute() ? file : cwd / file).lexically_normal().string();
}

std::optional<NamedTrace> loadTrace(const std::optional<std::string>& file, const Target* target,
                                    std::string& error) {
    const std::optional<std::string> path = traceFilePath(file, target, error);
    if (!path) return std::nullopt;
    std::optional<TraceFile> trace = readTraceFile(*path, error);
    if (!trace) return std::nullopt;
    NamedTrace named{std::move(*trace), traceNames(target, *path)};
    numberByCycles(named.trace, named.names.program);
    return named;
}

std::optional<std::string> traceFilePath(const std::optional<std::string>& file, const Target* target,
                                         std::string& error) {
    if (file) return *file;
    if (target == nullptr) {
        error = "no image to find the trace file through: name the trace file";
        return std::nullopt;
    }
    return programTraceFile(*target, error);
}

}  // namespace qv::ctl
