// Execution status: acknowledging the supervisor's changes, printing them, and marking
// pauses and resumptions in the trace.
#include <cstdio>

#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

namespace qv {
namespace {

// Whether a change from `before` to `now` marks a pause or a resumption in the trace.
[[maybe_unused]] constexpr bool marksPause(int32_t before, int32_t now) {
    if (before == kStatusFree) return now == kStatusRun || now == kStatusStop;
    if (before == kStatusStop) return now != kStatusEnd;
    return now == kStatusStop;
}

}  // namespace

void printStatusChange(int32_t before, int32_t now) {
    std::printf("Exec status change from %s to %s\n", statusName(before), statusName(now));
}

}  // namespace qv

extern "C" {

void QV_hook(int32_t* status) {
    if (status == nullptr) return;
    qv::printStatusChange(qv::loadShared(status + 1), qv::loadShared(status));
}

#if QV_REVISION != 1
// Word 1 of the slot holds the status last acknowledged; only the program writes it.
int QV_manage_exec_status(int32_t* status) {
    if (status == nullptr) return qv::kStatusFree;
    const int32_t now = qv::loadShared(status);
    const int32_t before = qv::loadShared(status + 1);
    if (now == before) return now;
    qv::printStatusChange(before, now);
    if constexpr (qv::kRevision == 3) {
        if (qv::marksPause(before, now)) qv::writePauseLine(now);
    }
    qv::storeShared(status + 1, now);
    return now;
}
#endif

}  // extern "C"
