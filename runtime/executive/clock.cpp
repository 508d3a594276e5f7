// Time services of the executive: the millisecond clock, the waits, and the reading of
// the cycle period.
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
void QVD_init_time(void) { timeNow = static_cast<double>(microSecondsNow()); }

uint32_t QVD_get_time(void) {
    const uint32_t elapsed = qv::elapsedSince(timeNow, microSecondsNow());
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
