// One numbering of cycles for every command. Cycle N is the cycle during which the
// program's counter `posmxsimucounter` holds N. Revision 3 numbers its first cycle 1,
// revisions 1 and 2 number it 0. A change the model made carries the number of the cycle
// that made it; a change of an input (by a supervisor or the plant, between cycles) the
// number of the cycle that first sees it; a state the number of the last cycle that has
// run (or is running, while paused in it). Revision 3's trace file numbers its lines so;
// the trace commands renumber those of revisions 1 and 2 (trace_reader.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "supervisor/core/control.h"

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
