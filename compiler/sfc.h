// Sequential function charts: the checks of a chart (one initial step, known steps and
// actions, qualifiers with their times) and its translation into the statements and
// variables the rest of the compiler already knows. A step is a variable of a step
// structure (`Fill.X`, `Fill.T`, and `Fill.PREV` where an edge of the step is needed), a
// transition a BOOL that says whether it fired, an action a variable of an action
// structure (`Q`, `A` and the stored flags of its qualifiers).
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compiler/ast.h"

namespace qvc {

// Checks every chart of the unit and writes it into its POU as declarations and
// statements: the evolution at the place of the chart among the body's statements, then
// the action control and the actions. `periodMicroseconds` is what one call of the POU
// adds to the step times and the timed qualifiers.
// A POU named in `periods` (a PROGRAM run by a task) counts its task's interval instead.
void lowerCharts(Unit& unit, Diagnostics& diagnostics, double periodMicroseconds,
                 const std::map<std::string, double>& periods = {});

// The charts of a POU for the symbol description: each chart's steps, transitions and
// actions with their source lines and the breakpoint location of each step.
nlohmann::ordered_json describeCharts(const PouDecl& pou, const std::vector<Source>& sources);

}  // namespace qvc
