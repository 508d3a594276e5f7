// Stepping through a compiled program statement by statement, and where a paused program
// stands in its source. Every statement of a compiled program is a breakpoint call with
// its location and the number of the instance it runs in, so the steps are made of the
// execution status alone: STEP from a pause goes on to the next call, PAUSE from STOP runs
// a cycle to its first call, STOP from a pause runs the cycle to its end.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "supervisor/core/control.h"

namespace qv::ctl {

// Where a paused program stands: the breakpoint call it waits in, its source text where
// the description maps the location, and the instances it was called through.
struct PausePlace {
    int32_t location = 0;
    int32_t instance = 0;
    std::string file;  // "conveyor.st", or empty
    int32_t line = 0;
    int32_t column = 0;
    int32_t endColumn = 0;
    std::string path;                // "Tanks.Tank[2]", or empty
    std::vector<std::string> stack;  // "Tanks", "Tanks.Tank[2]": outermost first
    std::string step;                // the chart step that became active ("Main.Fill"), or empty
};

// Nothing unless the program is paused at a breakpoint call.
std::optional<PausePlace> pausePlace(const Target& target);

// The paths of the instance and of every instance that holds it, outermost first, as the
// description names them ("Tanks", "Tanks.Tank[2]"); empty when it names none.
std::vector<std::string> callStack(const Target& target, int32_t instance);

// To the next statement: from a pause, the next breakpoint call of the cycle; from STOP,
// the first of the next cycle.
StepOutcome stepStatement(const Target& target, int timeoutMs);

// To the next statement of the same instance or of one that holds it, so that a call of a
// function block runs whole (a listed breakpoint inside it still pauses there). From STOP,
// as stepStatement. `statements` counts the steps taken; `inside` is true when the budget
// of time ran out or `cancelled` said so while the program was still deeper.
struct StepOverResult {
    StepOutcome outcome = StepOutcome::TimedOut;
    int statements = 0;
    bool inside = false;
};
StepOverResult stepOver(const Target& target, int timeoutMs, int budgetMs, const std::function<bool()>& cancelled);

// From a pause, the rest of the cycle, pausing only at a listed breakpoint; from STOP, one
// whole cycle.
StepOutcome runToCycleEnd(const Target& target, int timeoutMs);

}  // namespace qv::ctl
