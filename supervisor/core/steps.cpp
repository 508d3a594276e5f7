// Steps named by their instance and number, through the table of step instances.
#include "supervisor/core/steps.h"

#include <charconv>
#include <span>

#include "supervisor/core/step_instances.h"

namespace qv::ctl {

namespace {

using Instance = StepInstance;

std::span<const Instance> instancesOf(const Target& target) {
    if (target.facts == nullptr || target.table == nullptr) return {};
    for (const ProgramStepInstances& p : kStepInstances)
        if (std::string_view(p.program) == target.facts->program) return p.instances;
    return {};
}

std::string prefixOf(const Instance& instance) {
    return instance.name[0] == '\0' ? "" : std::string(instance.name) + ".";
}

bool isStep(const Target& target, const std::string& name) {
    return target.table != nullptr && symbols::findSymbol(*target.table, name) != nullptr;
}

std::optional<int32_t> stepNumber(std::string_view text) {
    int32_t n = 0;
    const char* end = text.data() + text.size();
    auto [at, problem] = std::from_chars(text.data(), end, n);
    if (text.empty() || problem != std::errc() || at != end || n < 1) return std::nullopt;
    return n;
}

const std::vector<symbols::ChartStep>& chartStepsOf(const Target& target) {
    static const std::vector<symbols::ChartStep> none;
    return target.symbolSet == nullptr ? none : target.symbolSet->sourceMap().chartSteps;
}

// The instance at `path`, or the one instance whose path ends with "." + `path`.
const symbols::InstanceName* instanceByPath(const Target& target, std::string_view path, std::string& error) {
    if (const symbols::InstanceName* exact = target.symbolSet->findInstance(path)) return exact;
    std::vector<const symbols::InstanceName*> found;
    for (const symbols::InstanceName& i : target.symbolSet->sourceMap().instances) {
        const std::string_view p = i.path;
        if (p.size() > path.size() && p.ends_with(path) && p[p.size() - path.size() - 1] == '.') found.push_back(&i);
    }
    if (found.size() == 1) return found.front();
    if (found.size() > 1) {
        error = std::string(path) + " is ambiguous:";
        for (std::size_t k = 0; k < found.size() && k < 4; ++k) error += (k == 0 ? " " : ", ") + found[k]->path;
        if (found.size() > 4) error += " and " + std::to_string(found.size() - 4) + " more";
    }
    return nullptr;
}

// "Main.Fill" (or its full path "Cell.Res1.Main.Fill"): step Fill of the chart of the POU
// whose instance is Main, for a program whose description lists its charts.
std::optional<LocationBreakpoint> chartStepByPath(const Target& target, std::string_view name, std::string& error) {
    const std::size_t dot = name.rfind('.');
    if (chartStepsOf(target).empty() || dot == std::string_view::npos || dot == 0) return std::nullopt;
    const std::string_view step = name.substr(dot + 1);
    const symbols::InstanceName* instance = instanceByPath(target, name.substr(0, dot), error);
    if (instance == nullptr) return std::nullopt;
    for (const symbols::ChartStep& s : chartStepsOf(target))
        if (s.pou == instance->type && s.name == step) return LocationBreakpoint{s.location, instance->number};
    return std::nullopt;
}

}  // namespace

std::optional<LocationBreakpoint> stepByName(const Target& target, std::string_view name, std::string& error) {
    error.clear();
    if (std::optional<LocationBreakpoint> step = chartStepByPath(target, name, error)) return step;
    if (!error.empty()) return std::nullopt;
    const std::size_t mark = name.rfind("_X_");
    if (mark == std::string_view::npos || (mark != 0 && name[mark - 1] != '.')) return std::nullopt;
    const std::optional<int32_t> number = stepNumber(name.substr(mark + 3));
    if (!number) return std::nullopt;
    const std::string_view instance = mark == 0 ? std::string_view() : name.substr(0, mark - 1);
    for (const Instance& i : instancesOf(target)) {
        if (instance != i.name) continue;
        if (isStep(target, std::string(name))) return LocationBreakpoint{*number, i.number};
        error = std::string(name) + " is not a step of " + target.facts->program + " (qvctl vars _X_ lists them)";
        return std::nullopt;
    }
    if (target.table != nullptr && !instancesOf(target).empty())
        error = "no instance " + std::string(instance.empty() ? "(top model)" : instance) + " with steps in " +
                target.facts->program;
    return std::nullopt;
}

std::optional<LocationBreakpoint> stepOfInstance(const Target& target, std::string_view instance, int32_t number,
                                                 std::string& error) {
    for (const Instance& i : instancesOf(target)) {
        const bool top = i.name[0] == '\0' && instance == target.facts->program;
        if (!top && instance != i.name) continue;
        const std::string name = prefixOf(i) + "_X_" + std::to_string(number);
        if (isStep(target, name)) return LocationBreakpoint{number, i.number};
        error = std::string(instance) + " has no step " + std::to_string(number) + " (qvctl vars _X_ lists the steps)";
        return std::nullopt;
    }
    if (instancesOf(target).empty())
        error = "the image holds no program whose instances qvctl knows; give a location and an instance number";
    else
        error = "no instance " + std::string(instance) + " with steps in " + target.facts->program;
    return std::nullopt;
}

std::string stepName(const Target& target, LocationBreakpoint pair) {
    if (!chartStepsOf(target).empty()) {
        const symbols::InstanceName* i = target.symbolSet->findInstance(pair.instance);
        for (const symbols::ChartStep& s : chartStepsOf(target))
            if (i != nullptr && s.location == pair.location && s.pou == i->type) return i->path + "." + s.name;
    }
    for (const Instance& i : instancesOf(target)) {
        if (i.number != pair.instance) continue;
        const std::string name = prefixOf(i) + "_X_" + std::to_string(pair.location);
        if (isStep(target, name)) return name;
    }
    return "";
}

std::string sourceLine(const Target& target, int32_t location) {
    if (target.symbolSet == nullptr) return "";
    const symbols::SourceLocation* l = target.symbolSet->findLocation(location);
    return l == nullptr ? "" : l->file + ":" + std::to_string(l->line);
}

std::string instancePath(const Target& target, int32_t instance) {
    if (target.symbolSet == nullptr) return "";
    const symbols::InstanceName* i = target.symbolSet->findInstance(instance);
    return i == nullptr ? "" : i->path;
}

namespace {

// POU@block:N, POU@rung:N: a block or a rung of a POU's drawing, in every instance of the
// POU (in every instance of the program for a function, which has none of its own).
std::optional<std::vector<LocationBreakpoint>> elementBreakpoints(const symbols::SymbolSet& set, std::string_view text,
                                                                  std::string_view pou, std::string& error) {
    const std::vector<int32_t> locations = set.locationsOfElement(text);
    if (locations.empty()) {
        std::string element(text.substr(pou.size() + 1));  // "block:7" -> "block 7"
        element[element.find(':')] = ' ';
        error = "no " + element + " in the drawings of " + std::string(pou);
        return std::nullopt;
    }
    std::vector<int32_t> instances, all;
    for (const symbols::InstanceName& i : set.sourceMap().instances) {
        all.push_back(i.number);
        if (symbols::sameIgnoringCase(i.type, pou)) instances.push_back(i.number);
    }
    if (instances.empty()) instances = all;
    std::vector<LocationBreakpoint> pairs;
    for (int32_t l : locations)
        for (int32_t i : instances) pairs.push_back({l, i});
    return pairs;
}

}  // namespace

std::optional<std::vector<LocationBreakpoint>> sourceBreakpoints(const Target& target, std::string_view text,
                                                                 std::string& error) {
    error.clear();
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    int32_t line = 0;
    const std::string_view digits = text.substr(colon + 1);
    auto [at, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), line);
    if (digits.empty() || problem != std::errc() || at != digits.data() + digits.size() || line < 1)
        return std::nullopt;
    std::string_view file = text.substr(0, colon);
    std::string_view instance;
    if (const std::size_t mark = file.find('@'); mark != std::string_view::npos) {
        instance = file.substr(0, mark);
        file.remove_prefix(mark + 1);
    }
    if (file.empty()) return std::nullopt;
    const symbols::SymbolSet* set = target.symbolSet.get();
    if (set == nullptr || set->sourceMap().locations.empty()) {
        error = "the program's description maps no source lines; give a location and an instance number";
        return std::nullopt;
    }
    if (!instance.empty() && (file == "block" || file == "rung")) return elementBreakpoints(*set, text, instance, error);
    const std::vector<int32_t> locations = set->locationsAt(file, line);
    if (locations.empty()) {
        error = "no statement of the program starts on line " + std::to_string(line) + " of " + std::string(file);
        return std::nullopt;
    }
    std::vector<int32_t> instances;
    if (!instance.empty()) {
        const symbols::InstanceName* found = set->findInstance(instance);
        if (found == nullptr) {
            error = "no instance " + std::string(instance) + " in " + set->program();
            return std::nullopt;
        }
        instances.push_back(found->number);
    } else {
        for (const symbols::InstanceName& i : set->sourceMap().instances) instances.push_back(i.number);
        if (instances.empty()) {
            error = "the program's description lists no instances; give INSTANCE@" + std::string(file) + ":" +
                    std::to_string(line);
            return std::nullopt;
        }
    }
    std::vector<LocationBreakpoint> pairs;
    for (int32_t l : locations)
        for (int32_t i : instances) pairs.push_back({l, i});
    return pairs;
}

std::string describeLocation(const Target& target, LocationBreakpoint pair) {
    const std::string step = stepName(target, pair);
    if (const std::string line = sourceLine(target, pair.location); !line.empty() && step.empty()) {
        const std::string path = instancePath(target, pair.instance);
        return line + " in " + (path.empty() ? "instance " + std::to_string(pair.instance) : path);
    }
    const std::string where =
        "location " + std::to_string(pair.location) + ", instance " + std::to_string(pair.instance);
    return step.empty() ? where : step + " (" + where + ")";
}

}  // namespace qv::ctl
