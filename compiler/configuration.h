// Configurations, resources and tasks: checked and written as what the rest of the
// compiler knows. Each PROGRAM a resource runs becomes a function block, each resource a
// block that releases its tasks by simulated time (highest priority first, programs of one
// task in declaration order), and the configuration the PROGRAM that runs its resources,
// so that every variable is named by its full path (`Cell.Res1.Main.Fill.X`).
#pragma once

#include <map>
#include <string>

#include "compiler/ast.h"

namespace qvc {

struct Schedule {
    bool present = false;
    std::string program;                          // the configuration's PROGRAM
    double periodMicroseconds = 50000.0;          // the greatest common divisor of the intervals
    std::map<std::string, double> programPeriods; // PROGRAM type → its task's interval
};

// Without a configuration, the schedule is one PROGRAM at `periodMicroseconds`.
Schedule lowerConfiguration(Unit& unit, Diagnostics& diagnostics, double periodMicroseconds);

}  // namespace qvc
