// Where the counter stands in each revision, and which cycle that makes the last one.
#include "supervisor/core/cycles.h"

namespace qv::ctl {

int32_t firstCycle(int revision) { return revision == 3 ? 1 : 0; }

// Revisions 1 and 2 advance the counter at the end of a cycle, before its wait: outside a
// cycle the counter already names the next one. Revision 3 advances it after the wait:
// while it runs, the counter names the cycle just run until the next begins; once it has
// taken a STOP (or ended) the counter names the next cycle. Paused at a breakpoint, the
// program stands inside the cycle the counter names, in every revision.
std::optional<int32_t> lastCycle(const Target& target, const ProgramState& s) {
    int32_t last = s.cycle - 1;
    if (s.alive && s.status == kStatusPause) last = s.cycle;
    else if (target.revision == 3 && s.alive && s.acknowledged != kStatusStop) last = s.cycle;
    if (last < firstCycle(target.revision)) return std::nullopt;
    return last;
}

std::string cycleWhen(const Target& target, const ProgramState& s) {
    const std::optional<int32_t> last = lastCycle(target, s);
    if (!last) return "before its first cycle";
    return std::string(s.alive && s.status == kStatusPause ? "in" : "after") + " cycle " + std::to_string(*last);
}

std::string lastCycleText(const Target& target, const ProgramState& s) {
    const std::optional<int32_t> last = lastCycle(target, s);
    return last ? std::to_string(*last) : "none";
}

}  // namespace qv::ctl
