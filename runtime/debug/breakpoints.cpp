// Location breakpoints (with the pause inside the behaviours step), error reports and
// data breakpoints.
#include <algorithm>

#include "runtime/debug/debug.h"
#include "runtime/debug/index_tables.h"
#include "runtime/executive/executive.h"

namespace qv {
namespace {

int32_t status() { return loadShared(execstatus); }
void setStatus(int32_t s) { storeShared(execstatus, s); }

// True when (location, instance) is one of the supervisor's pairs. The count is the
// supervisor's to write: below 1 nothing is listed, above the list's 101 places only
// those are looked at.
bool listedLocation(int location, int instance) {
    const int32_t n = std::clamp(loadShared(bpnoline), 0, kMaxLocationBreakpoints);
    for (int32_t k = 1; k <= n; ++k) {
        if (loadShared(nextIntSlot(bpnoinstance, k)) == instance &&
            loadShared(nextIntSlot(bpnoline, k)) == location)
            return true;
    }
    return false;
}

// One poll of the pause: the supervisor sees the program alive and its status answered.
void pollWhilePaused() {
    storeShared(signature, getSignature());
    if constexpr (kRevision == 1) {
        QV_freeze_int(signature);
        QV_freeze_int(bpcurrentlocation);
        QV_freeze_int(bpcurrentinstance);
        QV_freeze_int(execstatus);
    } else {
        QV_manage_exec_status(execstatus);
    }
    flushTrace();
    waitMicroSeconds(10000);
}

}  // namespace

bool locationBreakpointDue(int location, int instance) {
    const int32_t s = status();
    if (s == kStatusEnd) return false;
    return s == kStatusPause || listedLocation(location, instance);
}

#if QV_REVISION != 1
// The data breakpoints and the freeze of their table in one walk: every moved boolean is
// frozen, and the status becomes STOP once the walk found one.
void manageBreakpointsAndFreeze(unsigned char* image) {
    bool moved = false;
    const debug::ProgramArea bools = debug::programArea(kAreaBool);
    debug::forEachListed(image, kBoolBreakpointTableOffset, [&moved, bools](int32_t i) {
        unsigned char* slot = bools.slot(i);
        if (slot == nullptr || !debug::boolChanged(loadShared(slot))) return;
        moved = true;
        debug::freezeBool(slot);
    });
    if (moved) stopUnlessEnding(execstatus);
}
#endif

}  // namespace qv

extern "C" {

int breakpoint_st(int location, int instance) {
    using namespace qv;
    if (status() == kStatusEnd) return 1;
    if (listedLocation(location, instance)) setStatus(kStatusPause);
    storeShared(bpcurrentlocation, location);
    if (status() == kStatusPause) {
        storeShared(bpcurrentlocation, location);
        storeShared(bpcurrentinstance, instance);
        int32_t s = kStatusPause;
        const long double pausedAt = scheduleNow();
        while ((s = status()) == kStatusPause) pollWhilePaused();
        resumeScheduleAfterPause(pausedAt);
        // STEP goes on to the next breakpoint call, whatever its location.
        if (s == kStatusStep) replaceShared(execstatus, kStatusStep, kStatusPause);
    }
    storeShared(bpcurrentinstance, 0);
    return 1;
}

int QV_error(void) { return 0; }

int raise_debug_break(int location, int prepostcode, int typeerror, int rank) {
    using namespace qv;
    constexpr int kBreakpointType = 8;
    storeShared(bpcurrentlocation, location);
    storeShared(bpcurrentprepostcode, prepostcode);
    storeShared(bpcurrenttypeerror, typeerror);
    storeShared(bpcurrentrank, rank);
    if constexpr (kRevision == 1) storeShared(bpcurrentinstance, self_num);
    if (typeerror == kBreakpointType) return breakpoint_st(location, rank);
    if constexpr (kRevision != 1) storeShared(bpcurrentinstance, self_num);
    if constexpr (kRevision != 3) QV_error();
    return 1;
}

#if QV_REVISION != 1
// Any listed boolean whose value moved since the last freeze stops the program.
void QV_manage_breakpoints(unsigned char* image) {
    using namespace qv;
    const int32_t* table = debug::indexTable(image, kBoolBreakpointTableOffset);
    const debug::ProgramArea bools = debug::programArea(kAreaBool);
    for (int32_t i = 0; i < kIndexTableLength; ++i) {
        const int32_t index = loadShared(table + i);
        if (index == 0) return;
        const unsigned char* slot = bools.slot(index);
        if (slot != nullptr && debug::boolChanged(loadShared(slot))) {
            stopUnlessEnding(execstatus);
            return;
        }
    }
}
#endif

}  // extern "C"
