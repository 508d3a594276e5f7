// Execution status: acknowledging the supervisor's changes and printing them.
#include <cstdio>

#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

extern "C" {

void QV_hook(int32_t* status) {
    const int32_t now = qv::loadShared(status);
    std::printf("Exec status change from %s to %s\n", qv::statusName(status[1]), qv::statusName(now));
}

#if QV_REVISION != 1
int QV_manage_exec_status(int32_t* status) {
    const int32_t now = qv::loadShared(status);
    const int32_t before = status[1];
    if (now == before) return now;
    QV_hook(status);
    status[1] = now;
    return now;
}
#endif

}  // extern "C"
