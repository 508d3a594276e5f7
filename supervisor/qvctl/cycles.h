// One numbering of cycles for every command. Cycle N is the cycle during which the
// program's counter `posmxsimucounter` holds N: the number that the trace file writes on
// every line of that cycle. Revision 3 numbers its first cycle 1, revisions 1 and 2
// number it 0. A change is reported with the number of the cycle that made it; a state
// with the number of the last cycle that has run (or is running, while paused in it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "supervisor/qvctl/control.h"

namespace qv::ctl {

// The number of the program's first cycle in the image's revision.
int32_t firstCycle(int revision);

// The last cycle that has run or is running; nothing before the first cycle.
std::optional<int32_t> lastCycle(const Target& target, const ProgramState& state);

// "after cycle 12", "in cycle 12" (paused inside it), "before its first cycle".
std::string cycleWhen(const Target& target, const ProgramState& state);

// "12", or "none" before the first cycle.
std::string lastCycleText(const Target& target, const ProgramState& state);

}  // namespace qv::ctl
