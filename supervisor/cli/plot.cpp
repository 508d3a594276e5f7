// qvctl plot: a timing diagram of a trace file as SVG. One lane per variable, names on
// the left: booleans as high and low lines, numbers as steps with their values; the time
// axis counts cycles and simulated seconds; a pause between two cycles is a shaded gap.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "supervisor/cli/commands.h"
#include "supervisor/core/output_file.h"
#include "supervisor/core/trace_reader.h"

namespace qv::ctl {

namespace {

constexpr double kTop = 48.0;
constexpr double kBoolLane = 22.0;
constexpr double kNumberLane = 38.0;
constexpr double kLaneGap = 6.0;
constexpr double kPauseGap = 8.0;
constexpr double kPlotWidth = 1400.0;
constexpr double kCharWidth = 7.2;  // of the 12 px monospace font

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Where cycles lie on the x axis: linear, with a gap before each pause.
struct Axis {
    double left;
    double perCycle;
    int64_t first;
    std::vector<int64_t> pauses;
    double gap = kPauseGap;  // narrower when there are many pauses

    double x(int64_t cycle) const {
        const auto before = std::upper_bound(pauses.begin(), pauses.end(), cycle) - pauses.begin();
        return left + static_cast<double>(cycle - first) * perCycle + static_cast<double>(before) * gap;
    }
};

// A tick step of 1, 2 or 5 times a power of ten that leaves `spacing` pixels at least.
int64_t tickStep(double perCycle, double spacing) {
    for (int64_t power = 1;; power *= 10)
        for (int64_t m : {1, 2, 5})
            if (static_cast<double>(m * power) * perCycle >= spacing || m * power >= 1000000000) return m * power;
}

void boolLane(std::ostream& svg, const Signal& s, const Axis& axis, double top, int64_t end) {
    const double high = top + 3.0, low = top + kBoolLane - 3.0;
    std::ostringstream path;
    double value = s.initial;
    int64_t from = axis.first;
    auto segment = [&](int64_t to) {
        const double x0 = axis.x(from), x1 = axis.x(to);
        if (value != 0.0)
            svg << "<rect x=\"" << number(x0) << "\" y=\"" << number(high) << "\" width=\"" << number(x1 - x0)
                << "\" height=\"" << number(low - high) << "\" fill=\"#2e86c1\" fill-opacity=\"0.25\"/>\n";
        path << (path.tellp() == 0 ? "M" : " L") << number(x0) << " " << number(value != 0.0 ? high : low) << " L"
             << number(x1) << " " << number(value != 0.0 ? high : low);
    };
    for (const auto& [cycle, next] : s.changes) {
        if (cycle > from) segment(cycle);
        from = std::max(from, cycle);
        value = next;
    }
    segment(end);
    svg << "<path d=\"" << path.str() << "\" fill=\"none\" stroke=\"#1b4f72\" stroke-width=\"1.5\"/>\n";
}

void numberLane(std::ostream& svg, const Signal& s, const Axis& axis, double top, int64_t end, const TraceNames& names) {
    double low = s.initial, high = s.initial;
    for (const auto& [cycle, v] : s.changes) {
        if (!std::isfinite(v)) continue;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    const double y0 = top + kNumberLane - 4.0, y1 = top + 14.0;
    auto y = [&](double v) {
        if (!std::isfinite(v) || high == low) return (y0 + y1) / 2.0;
        return y0 - (v - low) / (high - low) * (y0 - y1);
    };
    std::ostringstream path;
    double value = s.initial;
    int64_t from = axis.first;
    auto segment = [&](int64_t to, bool last) {
        const double x0 = axis.x(from), x1 = axis.x(to);
        path << (path.tellp() == 0 ? "M" : " L") << number(x0) << " " << number(y(value)) << " L" << number(x1) << " "
             << number(y(value));
        const std::string label = names.value(s.area, s.slot, value);
        // A value is written where it has room.
        if (x1 - x0 >= kCharWidth * static_cast<double>(label.size()) + 4.0 || (last && from == axis.first))
            svg << "<text x=\"" << number(x0 + 2.0) << "\" y=\"" << number(top + 10.0)
                << "\" class=\"value\">" << escape(label) << "</text>\n";
    };
    for (const auto& [cycle, next] : s.changes) {
        if (cycle > from) segment(cycle, false);
        from = std::max(from, cycle);
        value = next;
    }
    segment(end, true);
    svg << "<path d=\"" << path.str() << "\" fill=\"none\" stroke=\"#7d3c98\" stroke-width=\"1.5\"/>\n";
}

std::string renderSvg(const TraceFile& file, const TraceNames& names, const std::vector<Signal>& signals) {
    const auto [first, last] = cycleRange(file);
    const int64_t end = last + 1;
    std::size_t longest = 8;
    for (const Signal& s : signals) longest = std::max(longest, names.name(s.area, s.slot).size());
    Axis axis{16.0 + kCharWidth * static_cast<double>(longest) + 12.0, 1.0, first, pausesOf(file)};
    if (!axis.pauses.empty()) axis.gap = std::clamp(400.0 / static_cast<double>(axis.pauses.size()), 1.0, kPauseGap);
    // The whole trace fits the width; a short one gets wide cycles.
    axis.perCycle = std::min(kPlotWidth / static_cast<double>(std::max<int64_t>(end - first, 1)), 24.0);
    const double right = axis.x(end);
    double height = kTop;
    for (const Signal& s : signals) height += (s.area == kAreaBool ? kBoolLane : kNumberLane) + kLaneGap;
    const double axisTop = height;
    height += 44.0;
    const double width = std::max(right + 24.0, 480.0);

    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << number(width) << "\" height=\"" << number(height)
        << "\" viewBox=\"0 0 " << number(width) << " " << number(height) << "\">\n";
    svg << "<style>text{font-family:monospace;font-size:12px;fill:#222}"
           ".value{font-size:10px;fill:#4a235a}.axis{font-size:10px;fill:#555}</style>\n";
    svg << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    std::string title = (names.program.empty() ? std::string("trace") : names.program) + "  " +
                        std::filesystem::path(file.path).filename().string();
    if (file.periodMs > 0.0) title += "  (period " + number(file.periodMs) + " ms)";
    svg << "<text x=\"8\" y=\"18\">" << escape(title) << "</text>\n";
    if (!axis.pauses.empty())
        svg << "<text x=\"8\" y=\"36\" class=\"axis\">shaded: the program stood in STOP between two cycles</text>\n";

    // Ticks and grid.
    const int64_t step = tickStep(axis.perCycle, 70.0);
    for (int64_t c = (first + step - 1) / step * step; c <= end; c += step) {
        const double x = axis.x(c);
        svg << "<line x1=\"" << number(x) << "\" y1=\"" << number(kTop - 4.0) << "\" x2=\"" << number(x) << "\" y2=\""
            << number(axisTop + 4.0) << "\" stroke=\"#e5e5e5\"/>\n";
        svg << "<text x=\"" << number(x) << "\" y=\"" << number(axisTop + 16.0) << "\" class=\"axis\" text-anchor=\"middle\">"
            << c << "</text>\n";
        if (file.periodMs > 0.0) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.2f s", simulatedSeconds(file, c));
            svg << "<text x=\"" << number(x) << "\" y=\"" << number(axisTop + 30.0)
                << "\" class=\"axis\" text-anchor=\"middle\">" << seconds << "</text>\n";
        }
    }
    svg << "<text x=\"" << number(axis.left - 30.0) << "\" y=\"" << number(axisTop + 16.0)
        << "\" class=\"axis\" text-anchor=\"end\">cycle</text>\n";
    if (file.periodMs > 0.0)
        svg << "<text x=\"" << number(axis.left - 30.0) << "\" y=\"" << number(axisTop + 30.0)
            << "\" class=\"axis\" text-anchor=\"end\">time</text>\n";
    for (int64_t p : axis.pauses) {
        const double x = axis.x(p);
        svg << "<rect x=\"" << number(x - axis.gap) << "\" y=\"" << number(kTop - 4.0) << "\" width=\"" << number(axis.gap)
            << "\" height=\"" << number(axisTop - kTop + 8.0) << "\" fill=\"#aab7b8\" fill-opacity=\"0.55\"/>\n";
    }

    double top = kTop;
    for (const Signal& s : signals) {
        const double lane = s.area == kAreaBool ? kBoolLane : kNumberLane;
        svg << "<text x=\"" << number(axis.left - 8.0) << "\" y=\"" << number(top + lane / 2.0 + 4.0)
            << "\" text-anchor=\"end\">" << escape(names.name(s.area, s.slot)) << "</text>\n";
        svg << "<line x1=\"" << number(axis.left) << "\" y1=\"" << number(top + lane + kLaneGap / 2.0) << "\" x2=\""
            << number(right) << "\" y2=\"" << number(top + lane + kLaneGap / 2.0) << "\" stroke=\"#f0f0f0\"/>\n";
        if (s.area == kAreaBool)
            boolLane(svg, s, axis, top, end);
        else
            numberLane(svg, s, axis, top, end, names);
        top += lane + kLaneGap;
    }
    if (signals.empty())
        svg << "<text x=\"" << number(axis.left) << "\" y=\"" << number(kTop + 14.0) << "\">(no traced values)</text>\n";
    svg << "</svg>\n";
    return svg.str();
}

}  // namespace

int plotCommand(const Options& options, const Target* target) {
    std::vector<std::string> rest(options.words.begin() + 1, options.words.end());
    std::optional<std::string> file;
    // The first argument is the file when it is one (or looks like a trace file).
    if (!rest.empty()) {
        std::error_code ignored;
        if (rest[0].ends_with(".trc") || std::filesystem::is_regular_file(rest[0], ignored)) {
            file = rest[0];
            rest.erase(rest.begin());
        }
    }
    std::string error;
    std::optional<NamedTrace> loaded = loadTrace(file, target, error);
    if (!loaded) return fail(error);
    TraceFile* const trace = &loaded->trace;
    const TraceNames& names = loaded->names;
    std::vector<Signal> all = signalsOf(*trace), chosen;
    if (rest.empty()) {
        chosen = all;
    } else {
        for (const std::string& wanted : rest) {
            bool found = false;
            for (const Signal& s : all) {
                if (names.name(s.area, s.slot) != wanted && slotName(s.area, s.slot) != wanted) continue;
                chosen.push_back(s);
                found = true;
            }
            if (!found) return fail(wanted + " is not in the trace file " + trace->path);
        }
    }
    const std::string svg = renderSvg(*trace, names, chosen);
    if (options.output.empty() || options.output == "-") {
        std::fputs(svg.c_str(), stdout);
        return kExitDone;
    }
    std::string problem;
    if (!writeOutputFile(options.output, svg, options.force, trace->path, problem)) return fail(problem);
    if (!options.quiet) std::printf("wrote %s: %zu variables from %s\n", options.output.c_str(), chosen.size(), trace->path.c_str());
    return kExitDone;
}

}  // namespace qv::ctl
