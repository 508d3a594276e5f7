// The debug services' own C++ interface, for the executive. The C boundary is qv_debug.h.
#pragma once

#include "runtime/debug/qv_debug.h"

namespace qv {

// Flushes the trace file if it is open: after every cycle and at every poll while idle.
// Revision 2 closes the file for good once it has grown beyond 1000000 bytes.
void flushTrace();

}  // namespace qv
