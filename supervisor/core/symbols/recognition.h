// What a supervisor knows of each program besides its variables: the runtime revision
// it is built with, its slot counts and its signature, from which it recognises the
// program that an image holds.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qv::symbols {

struct ProgramFacts {
    const char* program;
    int revision;        // runtime revision 1, 2 or 3
    int32_t counts[4];   // slots per area (memSize): booleans, integers, reals, characters
    int32_t signature;   // what the running program publishes
};

std::span<const ProgramFacts> programFacts();
const ProgramFacts* findFacts(std::string_view program);

// The program an image holds: same layout (revision 1, or the shared layout of revisions
// 2 and 3, given as `layoutRevision`), same slot counts and same signature. A signature
// of 0 (a program that has ended) is recognised by the layout and the counts alone.
// Null when nothing matches.
const ProgramFacts* recogniseProgram(int layoutRevision, const int32_t (&counts)[4], int32_t signature);

}  // namespace qv::symbols
