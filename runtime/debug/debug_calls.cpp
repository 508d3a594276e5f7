// The per-cycle debug calls of the scan cycle. The freeze before the behaviours step saves
// the values it starts from, so that the trace and the data breakpoints after it see
// exactly the changes it made; the freeze after it saves the values for the next cycle.
#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

extern "C" {

#if QV_REVISION == 3
// While tracing, the walk that looks for changes freezes as it goes, and the data
// breakpoints freeze their table as they check it, so that most tables are walked once
// per call; whatever was not frozen is frozen after. The traced booleans of the step wait
// for the data breakpoints, which must see them unfrozen.
void QV_manage_debug_informations_pre(unsigned char* image) {
    // One time stamp per cycle: the lines before and after the step carry the same time.
    currentMilliseconds = static_cast<double>(microSecondsNow() / 1000.0L);
    const unsigned frozen = qv::manageTrace(image, 0, qv::kTraceTables);
    qv::freezeListed(image, qv::kAllTables & ~frozen);
}

void QV_manage_debug_informations_post(unsigned char* image) {
    const unsigned frozen = qv::manageTrace(image, 1, qv::kTraceTables & ~qv::kBoolTraceTable);
    qv::manageBreakpointsAndFreeze(image);
    qv::freezeListed(image, qv::kTraceTables & ~frozen);
}
#endif

#if QV_REVISION == 2
void QV_manage_debug_informations(unsigned char* image) {
    QV_manage_trace(image, 0);
    QV_manage_breakpoints(image);
    QV_freeze_memory_for_debug(image);
}
#endif

}  // extern "C"
