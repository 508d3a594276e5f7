// The lists a supervisor keeps in the image: traced variables, data breakpoints and
// location breakpoints. Revisions 2 and 3 keep the first two in the index tables of the
// header, revision 1 in flags of each slot; location breakpoints are the pairs of the
// `bpnoline` and `bpnoinstance` control arrays in every revision.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "supervisor/core/target.h"

namespace qv::ctl {

enum class Change { Done, Unchanged, Full };

// A slot of an area.
struct SlotRef {
    int area;
    int32_t slot;
};

// Whether the variable can be listed at all (a table cannot hold index 0, a STRING is not
// traced); the reason when it cannot.
bool listable(const Target& target, const Variable& variable, std::string& why);

// Traced variables. Revision 3 also asks the program for a snapshot when the list changes.
Change addTraced(const Target& target, const Variable& variable);
Change removeTraced(const Target& target, const Variable& variable);
std::vector<SlotRef> tracedSlots(const Target& target);

// Data breakpoints on booleans.
Change addDataBreakpoint(const Target& target, const Variable& variable);
Change removeDataBreakpoint(const Target& target, const Variable& variable);
std::vector<int32_t> dataBreakpoints(const Target& target);

// Location breakpoints: (location, instance) pairs. An empty place (0, 0) is reused.
struct LocationBreakpoint {
    int32_t location;
    int32_t instance;
};
Change addLocationBreakpoint(const Target& target, LocationBreakpoint pair);
Change removeLocationBreakpoint(const Target& target, LocationBreakpoint pair);
std::vector<LocationBreakpoint> locationBreakpoints(const Target& target);

}  // namespace qv::ctl
