// Time services of the executive: the millisecond clock, the waits, the pacing of the
// cycles against the wall clock, and the reading of the cycle period.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"

extern "C" {
double timeNow = 0.0;
}

namespace qv {

namespace {
uint32_t lastUsablePeriod = 50000;
uint32_t lastRefusedBits = 0;
bool refusedOnce = false;

Pacing pacing;
bool fineClock = false;     // the schedule runs on the microsecond clock
uint64_t fineClockBase = 0;  // its zero, in monotonic nanoseconds

// A waiting program looks at its control words this often: STOP and END are seen within
// a slice (with room to spare under 10 ms for a late wake-up), and nothing runs in
// between. About as many wake-ups as the 10 ms poll of a stopped program.
constexpr uint64_t kListenSliceNanoseconds = 8000000;
// Above every ordinary process, below the kernel's own real-time threads.
constexpr int kRealtimePriority = 20;

// The wall-clock instant (monotonic nanoseconds) at which the schedule reaches `t`.
uint64_t wallInstantOf(long double t) {
    const long double ns = static_cast<long double>(fineClockBase) + t * 1000.0L / pacing.speed;
    if (!(ns > 0.0L)) return 0;
    if (ns >= 9.2e18L) return UINT64_MAX;
    return static_cast<uint64_t>(ns);
}

// What is left of a period on the tick clock, as revision 1 waits it (microseconds) and
// revisions 2 and 3 (whole milliseconds, the remainder dropped).
uint64_t tickWaitNanoseconds(uint32_t elapsed, uint32_t period) {
    if (elapsed >= period) return 0;
    const uint64_t us = period - elapsed;
    return (kRevision == 1 ? us : us / 1000 * 1000) * 1000;
}

// The supervisor has spoken: END; STOP in a running program; or, after a cycle that
// stopped itself (a single step, a breakpoint), any new status. A program that stopped
// itself still sleeps out its period, as it always has, until told otherwise.
bool waitIsOver(int32_t statusAtStart) {
    const int32_t status = loadShared(execstatus);
    if (status == kStatusEnd) return true;
    return status != statusAtStart && (status == kStatusStop || statusAtStart == kStatusStop);
}
}  // namespace

uint32_t elapsedSince(long double scheduled, long double now) {
    if (!(now > scheduled)) return 0;
    const long double elapsed = now - scheduled;
    if (elapsed >= 4294967295.0L) return UINT32_MAX;
    return static_cast<uint32_t>(elapsed);
}

bool periodUsable(float simuperiodValue) {
    return std::isfinite(simuperiodValue) && simuperiodValue >= 0.0f && simuperiodValue < 4294967296.0f;
}

uint32_t usablePeriod(float simuperiodValue) {
    if (periodUsable(simuperiodValue)) {
        lastUsablePeriod = static_cast<uint32_t>(simuperiodValue);
        refusedOnce = false;
        return lastUsablePeriod;
    }
    // A negative, NaN or infinite period has no meaning: keep the last one, and say so
    // once for each new value written.
    uint32_t bits = 0;
    std::memcpy(&bits, &simuperiodValue, sizeof bits);
    if (!refusedOnce || bits != lastRefusedBits) {
        std::printf("Warning: cycle period %g us is not usable, keeping %u us\n",
                    static_cast<double>(simuperiodValue), lastUsablePeriod);
        lastRefusedBits = bits;
        refusedOnce = true;
    }
    return lastUsablePeriod;
}

void resetUsablePeriod(uint32_t period) {
    lastUsablePeriod = period;
    refusedOnce = false;
}

void startPacing(const Pacing& chosen) {
    pacing = chosen;
    fineClock = !pacing.unpaced && (pacing.realtime || pacing.speed != 1.0);
    fineClockBase = platform::monotonicNanoseconds();
}

void enterRealtimeWhenAsked() {
    if (!pacing.realtime) return;
    const std::string refused = platform::enterRealtime(kRealtimePriority);
    if (!refused.empty())
        std::fprintf(stderr, "QV_REALTIME: %s not permitted, carrying on without\n", refused.c_str());
}

long double scheduleNow() {
    if (pacing.unpaced) return timeNow;
    if (!fineClock) return microSecondsNow();
    const uint64_t ns = platform::monotonicNanoseconds() - fineClockBase;
    return static_cast<long double>(ns) / 1000.0L * pacing.speed;
}

void waitOutPeriod(uint32_t elapsed, uint32_t period) {
    if (pacing.unpaced) return;
    // On the microsecond clock the wait ends where the schedule says the next cycle
    // starts; on the tick clock it lasts what is left of the period, as it always has.
    const uint64_t start = platform::monotonicNanoseconds();
    auto deadlineFor = [&] {
        return fineClock ? wallInstantOf(timeNow) : start + tickWaitNanoseconds(elapsed, period);
    };
    uint64_t deadline = deadlineFor();
    const int32_t statusAtStart = loadShared(execstatus);
    for (;;) {
        if (waitIsOver(statusAtStart)) return;
        const float written = loadShared(simuperiod);
        const bool moved = periodUsable(written) && static_cast<uint32_t>(written) != period;
        if (moved) {
            // A new period counts from this cycle's start: the schedule moves with it.
            const auto next = static_cast<uint32_t>(written);
            timeNow += static_cast<double>(next) - static_cast<double>(period);
            period = next;
            deadline = deadlineFor();
        }
        const uint64_t now = platform::monotonicNanoseconds();
        if (now >= deadline) {
            // A period shortened below what has already passed: the next cycle is due
            // now, not late.
            if (moved) timeNow = std::max(timeNow, static_cast<double>(scheduleNow()));
            return;
        }
        platform::sleepUntilNanoseconds(std::min(deadline, now + kListenSliceNanoseconds));
    }
}

}  // namespace qv

extern "C" {

long double microSecondsNow(void) {
    static const uint64_t base = qv::platform::tickMilliseconds();
    return static_cast<long double>(qv::platform::tickMilliseconds() - base) * 1000.0L;
}

long double milliSecondsNow(void) {
    static const uint64_t base = qv::platform::tickMilliseconds();
    return static_cast<long double>(qv::platform::tickMilliseconds() - base);
}

void waitMicroSeconds(uint32_t us) {
    if constexpr (qv::kRevision == 1)
        qv::platform::waitMicroseconds(us);
    else
        qv::platform::sleepMilliseconds(us / 1000);
}

#if QV_REVISION != 3
void QVD_init_time(void) { timeNow = static_cast<double>(qv::scheduleNow()); }

uint32_t QVD_get_time(void) {
    const uint32_t elapsed = qv::elapsedSince(timeNow, qv::scheduleNow());
    // The schedule advances by the period as a real; an unusable period advances it by
    // the last usable one.
    const float period = qv::loadShared(simuperiod);
    timeNow += qv::periodUsable(period) ? static_cast<double>(period)
                                        : static_cast<double>(qv::usablePeriod(period));
    return elapsed;
}

void QVD_wait(uint32_t us) { waitMicroSeconds(us); }
#endif

}  // extern "C"
