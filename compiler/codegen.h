// The checked syntax tree into C on the model contract: the slot counts, the walk from
// `self`, the initial values, the body of every POU with a breakpoint check before each
// statement, posting of every written slot, and the calls into the library. Type rules
// (implicit widening, refused narrowing, generic library functions resolved by type)
// are applied here, where each expression is translated, and reported as diagnostics.
#pragma once

#include <string>
#include <vector>

#include "compiler/types.h"

namespace qvc {

struct LocationEntry {
    int32_t location = 0;
    int file = 0;
    int line = 0;
    int column = 0;
    int endColumn = 0;
};

struct Options {
    int revision = 3;
    std::string program;        // the PROGRAM to run; empty: the only one
    double periodMicroseconds = 50000.0;
    std::string taskname;       // the executable's file name
    bool checkOnly = false;     // check every POU, with or without a PROGRAM to run
};

struct Generated {
    std::string c;                          // the C source
    const Pou* program = nullptr;
    std::vector<LocationEntry> locations;
    Counts programSize;                      // the program's frame, the globals and the marker
};

// The first model slot of each area after the control blocks, for a revision.
Counts firstModelSlots(int revision);

// Translates the unit; errors go to `diagnostics` (the C is then incomplete).
Generated generate(Declarations& declarations, const Options& options, Diagnostics& diagnostics);

}  // namespace qvc
