// The program writes the breakpoint report fields in every cycle: it clears location,
// instance, pre/post code and type at the start, stores the location and instance of a
// breakpoint call that pauses, and stores the behaviours step's result in the instance
// field at the end. A STOP leaves them as the last cycle left them.
#include "supervisor/core/why.h"

#include <algorithm>

#include "supervisor/core/cycles.h"
#include "supervisor/core/lists.h"
#include "supervisor/core/steps.h"

namespace qv::ctl {

namespace {

int32_t field(const Target& target, int32_t fromExec) { return ImageView::read(target.view.controlInt(fromExec)); }

bool listedPair(const Target& target, LocationBreakpoint pair) {
    const std::vector<LocationBreakpoint> pairs = locationBreakpoints(target);
    return std::any_of(pairs.begin(), pairs.end(),
                       [&](LocationBreakpoint p) { return p.location == pair.location && p.instance == pair.instance; });
}

std::string dataBreakpointNames(const Target& target) {
    std::string names;
    for (int32_t slot : dataBreakpoints(target)) names += (names.empty() ? "" : ", ") + nameOfSlot(target, kAreaBool, slot);
    return names;
}

std::string errorReport(const Target& target) {
    const int32_t type = field(target, kBpcurrenttypeerrorFromExec);
    if (type == 0) return "";
    const int32_t location = field(target, kBpcurrentlocationFromExec);
    const std::string line = sourceLine(target, location);
    return " (error report: type " + std::to_string(type) + ", location " + std::to_string(location) +
           (line.empty() ? "" : " at " + line) + ", pre/post code " +
           std::to_string(field(target, kBpcurrentprepostcodeFromExec)) + ", rank " +
           std::to_string(field(target, kBpcurrentrankFromExec)) + ")";
}

std::string paused(const Target& target) {
    const LocationBreakpoint at{field(target, kBpcurrentlocationFromExec), field(target, kBpcurrentinstanceFromExec)};
    const std::string where = describeLocation(target, at);
    const std::string step = stepName(target, at);
    const std::string what = step.empty() ? "at " + where : "when " + where + " became active";
    if (listedPair(target, at)) return "paused by a location breakpoint " + what;
    return "paused " + what + ": a STEP from a breakpoint goes on to the next breakpoint call";
}

std::string stopped(const Target& target, const ProgramState& s) {
    const std::optional<int32_t> last = lastCycle(target, s);
    if (!last) return "in STOP since start-up (a program starts in STOP)";
    const std::string cycle = "cycle " + std::to_string(*last);
    // The instance field holds the step's result once the cycle is over.
    const int32_t result = field(target, kBpcurrentinstanceFromExec);
    if (result != 0)
        return "stopped by the model: its step returned " + std::to_string(result) + " in " + cycle +
               errorReport(target);
    const int32_t location = field(target, kBpcurrentlocationFromExec);
    if (const std::string line = sourceLine(target, location); location != 0 && !line.empty())
        return "stopped after " + cycle + ", which passed a breakpoint call at " + line +
               " (a pause let go on with STEP or STOP ends in STOP)";
    if (location != 0) {
        // The grafcet models call breakpoint_st only where it pauses.
        if (target.facts != nullptr && target.table != nullptr)
            return "stopped at the end of " + cycle + ", in which it had paused at location " +
                   std::to_string(location) + " (let go on with STEP or STOP)";
        return "stopped after " + cycle + ", which passed a breakpoint call at location " + std::to_string(location) +
               " (a pause let go on with STEP or STOP ends in STOP)";
    }
    const std::string data = dataBreakpointNames(target);
    if (!data.empty())
        return "stopped after " + cycle + ": by a data breakpoint (on " + data +
               ") or by a supervisor's STOP or STEP; the image does not record which";
    return "stopped after " + cycle + " by a supervisor (STOP, or the end of a STEP)";
}

}  // namespace

std::string stopReason(const Target& target) {
    const ProgramState s = readState(target);
    if (s.pid == 0 || !s.alive)
        return s.pid == 0 ? "no program runs: the last one ended (END from a supervisor, or the idle limit of "
                            "QV_TIMEOUT; the image does not record which)"
                          : "the program's process is gone without ending (killed or crashed)";
    switch (s.status) {
        case kStatusPause: return paused(target);
        case kStatusStop: return stopped(target, s);
        case kStatusEnd: return "ending (END written, the program finishes its cycle)";
        case kStatusStep: return "running one cycle (STEP)";
        default: return "running";
    }
}

}  // namespace qv::ctl
