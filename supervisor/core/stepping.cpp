// Statement steps on the execution status, and the place of a pause.
#include "supervisor/core/stepping.h"

#include <algorithm>

#include "runtime/platform/platform.h"
#include "supervisor/core/lists.h"
#include "supervisor/core/steps.h"

namespace qv::ctl {

namespace {

int32_t field(const Target& target, int32_t fromExec) { return ImageView::read(target.view.controlInt(fromExec)); }

bool paused(const Target& target) { return readState(target).status == kStatusPause; }

// True when the instance at `outer` holds the one at `inner` or is it: "Tanks" holds
// "Tanks.Tank[2]".
bool holds(const std::string& outer, const std::string& inner) {
    if (outer == inner) return true;
    return inner.size() > outer.size() && inner.starts_with(outer) &&
           (inner[outer.size()] == '.' || inner[outer.size()] == '[');
}

bool listed(const Target& target, LocationBreakpoint at) {
    const std::vector<LocationBreakpoint> pairs = locationBreakpoints(target);
    return std::any_of(pairs.begin(), pairs.end(),
                       [&](LocationBreakpoint p) { return p.location == at.location && p.instance == at.instance; });
}

}  // namespace

std::vector<std::string> callStack(const Target& target, int32_t instance) {
    std::vector<std::string> stack;
    if (target.symbolSet == nullptr) return stack;
    const std::string path = instancePath(target, instance);
    if (path.empty()) return stack;
    // Every prefix of the path that ends before a '.' or a '[' and names an instance.
    for (std::size_t k = 1; k < path.size(); ++k)
        if ((path[k] == '.' || path[k] == '[') && target.symbolSet->findInstance(std::string_view(path).substr(0, k)))
            stack.push_back(path.substr(0, k));
    stack.erase(std::unique(stack.begin(), stack.end()), stack.end());
    stack.push_back(path);
    return stack;
}

std::optional<PausePlace> pausePlace(const Target& target) {
    if (!paused(target)) return std::nullopt;
    PausePlace place;
    place.location = field(target, kBpcurrentlocationFromExec);
    place.instance = field(target, kBpcurrentinstanceFromExec);
    // Between two calls of a step the program may have gone on already.
    if (place.instance == 0) return std::nullopt;
    if (target.symbolSet != nullptr) {
        if (const symbols::SourceLocation* l = target.symbolSet->findLocation(place.location)) {
            place.file = l->file;
            place.line = l->line;
            place.column = l->column;
            place.endColumn = l->endColumn;
        }
    }
    place.path = instancePath(target, place.instance);
    place.stack = callStack(target, place.instance);
    place.step = stepName(target, {place.location, place.instance});
    return place;
}

StepOutcome stepStatement(const Target& target, int timeoutMs) {
    return resumeOnce(target, paused(target) ? kStatusStep : kStatusPause, timeoutMs);
}

StepOverResult stepOver(const Target& target, int timeoutMs, int budgetMs, const std::function<bool()>& cancelled) {
    StepOverResult result;
    if (!paused(target)) {
        result.outcome = resumeOnce(target, kStatusPause, timeoutMs);
        result.statements = 1;
        return result;
    }
    const std::string from = instancePath(target, field(target, kBpcurrentinstanceFromExec));
    const uint64_t deadline = platform::tickMilliseconds() + static_cast<uint64_t>(std::max(budgetMs, 0));
    for (;;) {
        result.outcome = resumeOnce(target, kStatusStep, timeoutMs);
        ++result.statements;
        if (result.outcome != StepOutcome::Paused) return result;
        const LocationBreakpoint at{field(target, kBpcurrentlocationFromExec), field(target, kBpcurrentinstanceFromExec)};
        const std::string now = instancePath(target, at.instance);
        // An instance the description does not name cannot be placed: stop there.
        if (from.empty() || now.empty() || holds(now, from) || listed(target, at)) return result;
        if ((cancelled && cancelled()) || platform::tickMilliseconds() > deadline) {
            result.inside = true;
            return result;
        }
    }
}

StepOutcome runToCycleEnd(const Target& target, int timeoutMs) {
    return resumeOnce(target, paused(target) ? kStatusStop : kStatusStep, timeoutMs);
}

}  // namespace qv::ctl
