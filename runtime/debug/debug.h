// The debug services' own C++ interface, for the executive and for supervisors written
// in C++. The C boundary is qv_debug.h.
#pragma once

#include <cstdint>

#include "runtime/debug/qv_debug.h"

namespace qv {

// Flushes the trace file if it is open: after every cycle and at every poll while idle.
// Revision 2 closes the file for good once it has grown beyond 1000000 bytes.
void flushTrace();

// Revision 1, at the start of the whole-area freeze: a reset requested by `resettrace`
// reopens the file; while tracing, the period line follows the start and each reset.
void manageTraceStart();

// The five index tables as bits of a mask.
enum ListedTables : unsigned {
    kBoolTraceTable = 1u,
    kIntTraceTable = 2u,
    kRealTraceTable = 4u,
    kCharTraceTable = 8u,
    kBoolBreakpointTable = 16u,
    kTraceTables = 15u,
    kAllTables = 31u,
};

// QV_freeze_memory_for_debug for the tables of `tables` only, in the same order.
void freezeListed(unsigned char* image, unsigned tables);

// QV_manage_trace, which also freezes the variables of the trace tables of `freezeTables`
// when it walks them for changes (revision 3), so that the per-cycle calls walk each
// table once instead of twice. Returns the tables it froze.
unsigned manageTrace(unsigned char* image, int after, unsigned freezeTables);

// QV_manage_breakpoints followed by the freeze of the boolean breakpoint table, in one
// walk over the table.
void manageBreakpointsAndFreeze(unsigned char* image);

// True when a call breakpoint_st(location, instance) would pause: the program is
// paused already (a STEP from a pause goes on to the next call) or the pair is listed.
// Model code asks first, so that while no breakpoint is set its calls leave the image
// exactly as it was (breakpoint_st records every location it is called with).
bool locationBreakpointDue(int location, int instance);

// The status change message of QV_hook, for the two statuses given.
void printStatusChange(int32_t before, int32_t now);

// Revision 3: writes the pause line for `status` ("pause 0:1" for STOP, "pause 1:0"
// otherwise), opening the trace file first if it is not open. 0 when no file could be
// opened.
int writePauseLine(int32_t status);

// Revision 3: QV_addTraceIndex and QV_removeTraceIndex for a supervisor that maps the
// image by other means than openMemory: `flagSlot` is the boolean slot to set (in
// practice `tracesnapshop`) in the caller's own mapping, or null for none.
int addTraceIndex(int index, int32_t* table, unsigned char* flagSlot);
int removeTraceIndex(int index, int32_t* table, unsigned char* flagSlot);

}  // namespace qv
