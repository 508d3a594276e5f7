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

}  // namespace

std::optional<LocationBreakpoint> stepByName(const Target& target, std::string_view name, std::string& error) {
    error.clear();
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
    for (const Instance& i : instancesOf(target)) {
        if (i.number != pair.instance) continue;
        const std::string name = prefixOf(i) + "_X_" + std::to_string(pair.location);
        if (isStep(target, name)) return name;
    }
    return "";
}

std::string describeLocation(const Target& target, LocationBreakpoint pair) {
    const std::string where =
        "location " + std::to_string(pair.location) + ", instance " + std::to_string(pair.instance);
    const std::string step = stepName(target, pair);
    return step.empty() ? where : step + " (" + where + ")";
}

}  // namespace qv::ctl
