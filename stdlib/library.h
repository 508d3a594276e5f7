// What the library's families share behind the boundary: the error codes' home, the
// reading of BOOL arguments, TIME values as tick counts, and scan-cycle detection.
#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/debug/qv_debug.h"
#include "runtime/debug/temp_pool.h"
#include "runtime/executive/executive.h"
#include "stdlib/qv_stdlib.h"

namespace qv::lib {

// A BOOL argument decides on its low byte.
inline bool isTrue(int value) { return (value & 0xFF) != 0; }

// Elements of integer arrays (TIME, DATE, TIME_OF_DAY, DATE_AND_TIME): element k is the
// current value of the k-th slot after the two header slots.
inline int32_t& element(int32_t* array, int k) { return array[6 + 3 * k]; }
inline int32_t element(const int32_t* array, int k) { return array[6 + 3 * k]; }

inline constexpr long double kTicksPerDay = 864000000.0L;

// The value of a TIME or DATE_AND_TIME in ticks: days × 24 × 3600 × 10000 + ticks.
inline long double ticksOf(const int32_t* time) {
    return static_cast<long double>(element(time, 0)) * 24.0f * 3600.0f * 10000.0f +
           static_cast<long double>(element(time, 1));
}

// Conversion to a 32-bit integer by truncation, held at the limits instead of overflowing.
inline int32_t truncateToInt32(long double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0L) return INT32_MAX;
    if (value <= -2147483648.0L) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// A TIME's or DATE_AND_TIME's tick count in 64-bit integers, exact: below 2^61 in
// magnitude. Doubles hold it exactly while it stays below 2^53.
inline int64_t wholeTicks(const int32_t* time) { return int64_t{element(time, 0)} * 864000000 + element(time, 1); }
inline constexpr int64_t kExactInDouble = int64_t{1} << 53;
inline bool exactInDouble(int64_t ticks) { return ticks > -kExactInDouble && ticks < kExactInDouble; }

// Stores a whole tick count whose days fit in 32 bits: days truncated toward zero, then
// the remaining ticks, both with the sign of the value.
inline void splitWholeTicks(int64_t ticks, int32_t* time) {
    const int64_t days = ticks / 864000000;
    element(time, 0) = static_cast<int32_t>(days);
    element(time, 1) = static_cast<int32_t>(ticks - days * 864000000);
}

// Stores a tick count into a TIME or DATE_AND_TIME: days truncated toward zero, then the
// remaining ticks truncated toward zero, both with the sign of the value.
inline void splitTicks(double ticks, int32_t* time) {
    // Below 1.8e18 ticks the days fit in 32 bits and the split is exact in 64-bit
    // integers: the same result as the extended-precision division, at a fraction of
    // its cost (a timer splits its elapsed time on every call).
    if (std::fabs(ticks) < 1.8e18) {
        splitWholeTicks(static_cast<int64_t>(ticks), time);
        return;
    }
    const long double days = std::trunc(static_cast<long double>(ticks) / kTicksPerDay);
    const int32_t d = truncateToInt32(days);
    element(time, 0) = d;
    element(time, 1) = truncateToInt32(static_cast<long double>(ticks) -
                                       static_cast<long double>(d) * 24.0f * 3600.0f * 10000.0f);
}

// The value a counter or timer memo compares against to see a new scan cycle: the
// cycle counter (revision 3) or the scheduled cycle start in microseconds (1 and 2).
inline int32_t cycleMark() {
    if constexpr (kRevision == 3) return loadShared(cycleCounterSlot());
    const long double t = timeNow;
    if (!(t >= -9.2e18L && t <= 9.2e18L)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(t))));
}

// ---- Strings ----------------------------------------------------------------------
// A STRING is a character array: three header slots (capacity high byte, low byte, an
// unused slot), then one character per slot. Character slots are kCharSlotSize bytes.

inline unsigned char* stringSlot(unsigned char* s, int k) { return s + kCharSlotSize * (3 + k); }
inline const unsigned char* stringSlot(const unsigned char* s, int k) { return s + kCharSlotSize * (3 + k); }
inline unsigned char stringChar(const unsigned char* s, int k) { return stringSlot(s, k)[0]; }
// What array_char_size reads, in place: the old bytes of the two capacity slots.
inline int stringCapacity(const unsigned char* s) { return s[kCharOldOffset] * 256 + s[kCharSlotSize + kCharOldOffset]; }
inline int stringLength(const unsigned char* s) { return array_char_len(s); }

// Writes character k of a result string into both its current and its second byte.
inline void setStringChar(unsigned char* s, int k, unsigned char c) {
    unsigned char* slot = stringSlot(s, k);
    slot[0] = c;
    slot[1] = c;
}

// The configured cycle period in microseconds.
inline double cyclePeriod() { return static_cast<double>(loadShared(simuperiod)); }

}  // namespace qv::lib
