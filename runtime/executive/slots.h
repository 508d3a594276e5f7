// Addressing slots of the image from area bases, and the relaxed single-word reads and
// writes through which the runtime shares words with a supervisor that writes at any
// moment (every such field is a byte or an aligned 32-bit word).
#pragma once

#include <bit>
#include <cstdint>

#include "runtime/executive/qv_executive.h"
#include "runtime/revision.h"

namespace qv {

inline unsigned char* boolSlot(unsigned char* areaStart, int32_t index) {
    return areaStart + static_cast<intptr_t>(index) * kBoolSlotSize;
}
inline unsigned char* intSlotBytes(unsigned char* areaStart, int32_t index) {
    return areaStart + static_cast<intptr_t>(index) * kIntSlotSize;
}
inline int32_t* intSlot(unsigned char* areaStart, int32_t index) {
    return reinterpret_cast<int32_t*>(intSlotBytes(areaStart, index));
}
inline unsigned char* realSlotBytes(unsigned char* areaStart, int32_t index) {
    return areaStart + static_cast<intptr_t>(index) * kRealSlotSize;
}
inline float* realSlot(unsigned char* areaStart, int32_t index) {
    return reinterpret_cast<float*>(realSlotBytes(areaStart, index));
}
inline unsigned char* charSlot(unsigned char* areaStart, int32_t index) {
    return areaStart + static_cast<intptr_t>(index) * kCharSlotSize;
}

// Slot k after an integer slot pointer (the control arrays `bpnoline`, `bpnoinstance`).
inline int32_t* nextIntSlot(int32_t* slot, int32_t k) {
    return reinterpret_cast<int32_t*>(reinterpret_cast<unsigned char*>(slot) +
                                      static_cast<intptr_t>(k) * kIntSlotSize);
}

inline int32_t loadShared(const int32_t* word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }
inline void storeShared(int32_t* word, int32_t value) { __atomic_store_n(word, value, __ATOMIC_RELAXED); }
inline uint8_t loadShared(const unsigned char* byte) { return __atomic_load_n(byte, __ATOMIC_RELAXED); }
inline void storeShared(unsigned char* byte, uint8_t value) { __atomic_store_n(byte, value, __ATOMIC_RELAXED); }
inline float loadShared(const float* word) {
    return std::bit_cast<float>(__atomic_load_n(reinterpret_cast<const int32_t*>(word), __ATOMIC_RELAXED));
}
inline void storeShared(float* word, float value) {
    __atomic_store_n(reinterpret_cast<int32_t*>(word), std::bit_cast<int32_t>(value), __ATOMIC_RELAXED);
}

// Writes `desired` only if the word still holds `expected`; true when it did.
inline bool replaceShared(int32_t* word, int32_t expected, int32_t desired) {
    return __atomic_compare_exchange_n(word, &expected, desired, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED);
}

// The program stops itself (a breakpoint, a model's error): the status becomes STOP,
// unless the supervisor has just asked for END, which is never undone.
inline void stopUnlessEnding(int32_t* status) {
    int32_t now = loadShared(status);
    while (now != kStatusEnd && now != kStatusStop && !replaceShared(status, now, kStatusStop))
        now = loadShared(status);
}

// Areas and slots as the image's own header describes them, for start-up code that runs
// before the area bases are set. The header is the program's own, already checked.
inline int32_t imageHeaderWord(const unsigned char* image, int32_t offset) {
    return *reinterpret_cast<const int32_t*>(image + offset);
}
inline unsigned char* imageAreaStart(unsigned char* image, int area) {
    return image + static_cast<uint32_t>(imageHeaderWord(image, kLayout.offsetsOffset + 4 * area));
}
// The slot `index` of an area, or null when the index lies outside the area.
inline unsigned char* imageSlot(unsigned char* image, int area, int32_t index) {
    if (image == nullptr || index < 0 || index >= imageHeaderWord(image, kLayout.countsOffset + 4 * area)) return nullptr;
    return imageAreaStart(image, area) + static_cast<intptr_t>(index) * slotSize(kLayout, area);
}

// The cycle counter and process slots at the end of the integer area.
inline int32_t* cycleCounterSlot() { return intSlot(mem.intBase, posmxsimucounter); }
inline int32_t* pospidSlot() { return intSlot(mem.intBase, pospid); }

}  // namespace qv
