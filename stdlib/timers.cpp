// Timers in simulated time: each instance adds the cycle period once per scan cycle, so a
// model behaves the same however long a cycle really takes. The numeric variants keep a
// REAL elapsed time in their unit; the TIME variants keep it in ET as days and ticks.
#include <algorithm>
#include <cmath>

#include "stdlib/library.h"

namespace qv::lib {
namespace {

constexpr double kMaxTicks = 9.223372036854776e18f;  // 2^63, the single-precision constant
constexpr double kZeroPresetWindow = 1.1920929e-7f;   // 2^-23
constexpr double kTicksDivisor = 100.0;               // period in microseconds to ticks
constexpr double kSecondsDivisor = 1000000.0;
constexpr double kCentisecondsDivisor = 10000.0;
constexpr double kMillisecondsDivisor = 1000.0;
constexpr int32_t kMaxPreset = 32767;  // numeric variants

int lowByte(int value) { return value & 0xFF; }

// True once per scan cycle for an instance: the memo takes the cycle's mark.
bool enterCycle(int32_t* memo) {
    const int32_t mark = cycleMark();
    if (*memo == mark) return false;
    *memo = mark;
    return true;
}

// ---- Numeric variants -------------------------------------------------------------------

// PT is tested as an unsigned value: a negative PT is out of range too.
bool numericPresetInvalid(int32_t pt) { return static_cast<uint32_t>(pt) > static_cast<uint32_t>(kMaxPreset); }

// The elapsed time after one more period, rounded to single precision.
float advanced(float elapsed, double divisor) {
    return static_cast<float>(static_cast<double>(elapsed) + cyclePeriod() / divisor);
}

int32_t wholeUnits(float elapsed) { return truncateToInt32(elapsed); }

int numericOnDelay(int in, int32_t pt, int32_t* memo, float* elapsed, int32_t* et, double divisor, int32_t code) {
    LIBFB_ERR = 0;
    if (numericPresetInvalid(pt)) {
        *et = 0;
        LIBFB_ERR = code;
        return 0;
    }
    if (isTrue(in)) {
        if (enterCycle(memo)) *elapsed = advanced(*elapsed, divisor);
        *et = std::min(pt, std::min(wholeUnits(*elapsed), kMaxPreset));
    } else {
        *et = 0;
        *elapsed = 0.0f;
    }
    // Revision 1 compares ET with PT also when PT is 0, so it is TRUE whenever PT is 0.
    if (qv::kRevision != 1 && pt == 0) return isTrue(in) ? 1 : 0;
    return *et >= pt ? 1 : 0;
}

// The pulse runs once started, is not retriggered while it runs, and re-arms when it is
// over and the input released. Q is computed from ET before this call's step (revision
// 1: after it), so it stays TRUE through the cycle in which ET reaches PT.
int numericPulse(int in, int32_t pt, int32_t* memo, float* elapsed, int32_t* et, double divisor, int32_t code) {
    LIBFB_ERR = 0;
    if (numericPresetInvalid(pt)) {
        *et = 0;
        LIBFB_ERR = code;
        return 0;
    }
    if (!isTrue(in) && *et == pt) {
        *elapsed = 0.0f;
        *et = 0;
    }
    if ((isTrue(in) || *elapsed > 0.0f) && enterCycle(memo)) *elapsed = advanced(*elapsed, divisor);
    const bool running = *elapsed > 0.0f;
    bool q = running && *et < pt;
    *et = std::min(pt, wholeUnits(*elapsed));
    if constexpr (qv::kRevision == 1) q = running && *et < pt;
    return q ? 1 : 0;
}

int numericOffDelay(int in, int32_t pt, int32_t* memo, float* elapsed, int32_t* running, double divisor,
                    int32_t code) {
    LIBFB_ERR = 0;
    if (numericPresetInvalid(pt)) {
        *running = 0;
        *elapsed = 0.0f;
        LIBFB_ERR = code;
        return 0;
    }
    if (isTrue(in)) {
        *elapsed = 0.0f;
        *running = 1;
    } else {
        if (*running == 1 && enterCycle(memo)) *elapsed = advanced(*elapsed, divisor);
        if (*elapsed > static_cast<float>(pt)) {
            *elapsed = static_cast<float>(pt);
            *running = 0;
        }
    }
    return *running == 1 && *elapsed <= static_cast<float>(pt) ? 1 : 0;
}

// ---- TIME variants ------------------------------------------------------------------------

bool timePresetInvalid(double pt) { return pt < 0.0 || pt > kMaxTicks || std::isnan(pt); }

// A preset of 0 ticks: revision 2 tests for exactly 0, the others for less than 2^-23.
bool presetIsZero(double pt) { return qv::kRevision == 2 ? pt == 0.0 : std::fabs(pt) < kZeroPresetWindow; }

void clearTime(int32_t* time) {
    element(time, 0) = 0;
    element(time, 1) = 0;
}

// A TIME's tick count, days × 864,000,000 + ticks, is a whole number below 2^62 in
// magnitude: exact in 64-bit integers, rounded once to double as from extended precision.
double ticksValue(const int32_t* time) { return static_cast<double>(wholeTicks(time)); }

// The elapsed ticks after adding `increment`, in integers, when the double arithmetic
// would be exact: the count and the sum below 2^53, the increment a whole number (a
// period that is a multiple of 100 µs). False when the double arithmetic must decide.
bool wholeSum(int64_t ticks, double increment, int64_t& sum) {
    if (!exactInDouble(ticks) || !(std::fabs(increment) < 0x1p52)) return false;
    const auto step = static_cast<int64_t>(increment);
    if (static_cast<double>(step) != increment) return false;
    sum = ticks + step;
    return exactInDouble(sum);
}

// A new temporary holding ET; null, with nothing written, when the pool is exhausted.
int32_t* newElapsedCopy(int32_t* result, const int32_t* et) {
    if (result == nullptr) return nullptr;
    element(result, 0) = element(et, 0);
    element(result, 1) = element(et, 1);
    return result;
}

}  // namespace
}  // namespace qv::lib

using namespace qv::lib;

extern "C" {

// ---- TP, TON, TOF in seconds, centiseconds and milliseconds --------------------------------

int tp_sec_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    return numericPulse(IN, PT, memo, elapsed, ET, kSecondsDivisor, 1086);
}
int tp_cs_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    return numericPulse(IN, PT, memo, elapsed, ET, kCentisecondsDivisor, 1084);
}
int tp_ms_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    return numericPulse(IN, PT, memo, elapsed, ET, kMillisecondsDivisor, 1085);
}
int32_t tp_sec_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    tp_sec_Q(lowByte(IN), PT, memo, elapsed, ET);
    return *ET;
}
int32_t tp_cs_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    tp_cs_Q(lowByte(IN), PT, memo, elapsed, ET);
    return *ET;
}
int32_t tp_ms_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    tp_ms_Q(lowByte(IN), PT, memo, elapsed, ET);
    return *ET;
}

int ton_sec_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    return numericOnDelay(IN, PT, memo, elapsed, ET, kSecondsDivisor, 1082);
}
int ton_cs_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    return numericOnDelay(IN, PT, memo, elapsed, ET, kCentisecondsDivisor, 1080);
}
int ton_ms_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    return numericOnDelay(IN, PT, memo, elapsed, ET, kMillisecondsDivisor, 1081);
}
int32_t ton_sec_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    ton_sec_Q(lowByte(IN), PT, memo, elapsed, ET);
    return *ET;
}
int32_t ton_cs_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    ton_cs_Q(lowByte(IN), PT, memo, elapsed, ET);
    return *ET;
}
int32_t ton_ms_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* ET) {
    ton_ms_Q(lowByte(IN), PT, memo, elapsed, ET);
    return *ET;
}

int tof_sec_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* running) {
    return numericOffDelay(IN, PT, memo, elapsed, running, kSecondsDivisor, 1078);
}
int tof_cs_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* running) {
    return numericOffDelay(IN, PT, memo, elapsed, running, kCentisecondsDivisor, 1076);
}
int tof_ms_Q(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* running) {
    return numericOffDelay(IN, PT, memo, elapsed, running, kMillisecondsDivisor, 1077);
}
int32_t tof_sec_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* running) {
    tof_sec_Q(lowByte(IN), PT, memo, elapsed, running);
    return wholeUnits(*elapsed);
}
int32_t tof_cs_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* running) {
    tof_cs_Q(lowByte(IN), PT, memo, elapsed, running);
    return wholeUnits(*elapsed);
}
int32_t tof_ms_CV(int IN, int32_t PT, int32_t* memo, float* elapsed, int32_t* running) {
    tof_ms_Q(lowByte(IN), PT, memo, elapsed, running);
    return wholeUnits(*elapsed);
}

// ---- TP, TON, TOF in ticks (TIME) ------------------------------------------------------------

int tp_Q(int IN, const int32_t* PT, int32_t* ET, int32_t* memo) {
    LIBFB_ERR = 0;
    const double pt = ticksValue(PT);
    if (timePresetInvalid(pt)) {
        clearTime(ET);
        LIBFB_ERR = 1083;
        return 0;
    }
    double e = ticksValue(ET);
    if (e == pt && !isTrue(IN)) e = 0.0;  // the pulse is over and the input released
    if ((isTrue(IN) || e > 0.0) && enterCycle(memo)) e += cyclePeriod() / kTicksDivisor;
    if (e > pt) {
        splitTicks(pt, ET);
        return 0;
    }
    splitTicks(e, ET);
    return e > 0.0 && e < pt ? 1 : 0;
}

int ton_Q(int IN, const int32_t* PT, int32_t* ET, int32_t* memo) {
    LIBFB_ERR = 0;
    const double pt = ticksValue(PT);
    if (timePresetInvalid(pt)) {
        clearTime(ET);
        LIBFB_ERR = 1079;
        return 0;
    }
    double e = 0.0;
    if (isTrue(IN)) {
        const int64_t before = wholeTicks(ET);
        const double increment = enterCycle(memo) ? cyclePeriod() / kTicksDivisor : 0.0;
        // Whole ticks while every value is exact as a double: the same results, and a
        // shorter chain from one cycle's ET to the next.
        int64_t sum;
        const int64_t preset = wholeTicks(PT);
        if (exactInDouble(preset) && wholeSum(before, increment, sum)) {
            const int64_t elapsed = std::min(sum, preset);
            splitWholeTicks(elapsed, ET);
            return preset == 0 || elapsed >= preset ? 1 : 0;
        }
        e = static_cast<double>(before) + increment;
        e = std::min(e, kMaxTicks);
        e = std::min(e, pt);
    }
    splitTicks(e, ET);
    if (presetIsZero(pt)) return isTrue(IN) ? 1 : 0;
    return e >= pt ? 1 : 0;
}

int tof_Q(int IN, const int32_t* PT, int32_t* ET, int16_t* running, int32_t* memo) {
    LIBFB_ERR = 0;
    const double pt = ticksValue(PT);
    if (timePresetInvalid(pt)) {
        clearTime(ET);
        *running = 0;
        LIBFB_ERR = 1075;
        return 0;
    }
    double e = 0.0;
    if (isTrue(IN)) {
        *running = 1;
    } else {
        e = ticksValue(ET);
        if (*running == 1 && enterCycle(memo)) e += cyclePeriod() / kTicksDivisor;
        if (e > pt) {
            *running = 0;
            e = pt;
        }
    }
    splitTicks(e, ET);
    if (presetIsZero(pt)) return 0;
    return *running == 1 && e <= pt ? 1 : 0;
}

// The TIME outputs: the temporary is taken first, then the block runs (also when the pool
// is exhausted, so the instance advances as it would), then ET is copied out.
int32_t* tp_CV(int IN, const int32_t* PT, int32_t* ET, int32_t* memo) {
    int32_t* result = qv::takeIntTemporary(2);
    tp_Q(lowByte(IN), PT, ET, memo);
    return newElapsedCopy(result, ET);
}
int32_t* ton_CV(int IN, const int32_t* PT, int32_t* ET, int32_t* memo) {
    int32_t* result = qv::takeIntTemporary(2);
    ton_Q(lowByte(IN), PT, ET, memo);
    return newElapsedCopy(result, ET);
}
int32_t* tof_CV(int IN, const int32_t* PT, int32_t* ET, int16_t* running, int32_t* memo) {
    int32_t* result = qv::takeIntTemporary(2);
    tof_Q(lowByte(IN), PT, ET, running, memo);
    return newElapsedCopy(result, ET);
}

}  // extern "C"
