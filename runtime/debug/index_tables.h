// Walking the index tables of the image header and finding the slots they list, for the
// program side of the debug services. A supervisor writes the tables at any moment, so
// every entry is checked against the program's own slot counts (`memSize`), never
// against a header word: whatever a table holds, nothing outside the image is touched.
#pragma once

#include <cstdint>

#include "runtime/debug/qv_debug.h"
#include "runtime/executive/executive.h"

namespace qv::debug {

// The table at `tableOffset` (one of the five *TableOffset constants) of an image.
inline const int32_t* indexTable(const unsigned char* image, int32_t tableOffset) {
    return reinterpret_cast<const int32_t*>(image + tableOffset);
}
inline int32_t* indexTable(unsigned char* image, int32_t tableOffset) {
    return reinterpret_cast<int32_t*>(image + tableOffset);
}

// Calls visit(index) for each entry of a packed table, stopping at the first 0 entry or
// after the last of its 1000 entries.
template <typename Visit>
inline void forEachListed(const unsigned char* image, int32_t tableOffset, Visit&& visit) {
    const int32_t* table = indexTable(image, tableOffset);
    for (int32_t i = 0; i < kIndexTableLength; ++i) {
        const int32_t index = loadShared(table + i);
        if (index == 0) return;
        visit(index);
    }
}

// One area of the program's image: its start and its number of slots (never negative),
// taken once for a whole walk.
struct ProgramArea {
    unsigned char* base;
    uint32_t count;
    int32_t width;

    // The slot of variable `index`, or null when the index lies outside the area.
    unsigned char* slot(int32_t index) const {
        if (static_cast<uint32_t>(index) >= count) return nullptr;
        return base + static_cast<intptr_t>(index) * width;
    }
};

inline ProgramArea programArea(int area) {
    const int32_t n = memSize[area];
    const uint32_t count = n < 0 ? 0u : static_cast<uint32_t>(n);
    switch (area) {
        case kAreaBool: return {mem.boolBase, count, kBoolSlotSize};
        case kAreaInt: return {mem.intBase, count, kIntSlotSize};
        case kAreaReal: return {mem.realBase, count, kRealSlotSize};
        default: return {mem.charBase, count, kCharSlotSize};
    }
}

// The slot of variable `index` of an area in the program's image, or null when the index
// lies outside the area.
inline unsigned char* programSlot(int area, int32_t index) { return programArea(area).slot(index); }

// Rewrites the byte of a boolean slot through `update` without losing a byte that the
// supervisor writes at the same moment (it forces a boolean with one byte write).
template <typename Update>
inline void updateBoolByte(unsigned char* byte, Update&& update) {
    uint8_t seen = __atomic_load_n(byte, __ATOMIC_RELAXED);
    for (;;) {
        const uint8_t next = update(seen);
        if (next == seen) return;
        if (__atomic_compare_exchange_n(byte, &seen, next, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) return;
    }
}

inline void setBoolBits(unsigned char* byte, uint8_t bits) { __atomic_fetch_or(byte, bits, __ATOMIC_RELAXED); }
inline void clearBoolBits(unsigned char* byte, uint8_t bits) {
    __atomic_fetch_and(byte, static_cast<uint8_t>(~bits), __ATOMIC_RELAXED);
}

// True when a boolean slot's current value (bit 0) differs from its old value (bit 1).
inline bool boolChanged(uint8_t byte) { return ((byte ^ (byte >> 1)) & kBoolCurrent) != 0; }

// Old value := current value, for a slot whose old value follows its current one.
inline void freezeBool(unsigned char* slot) {
    updateBoolByte(slot, [](uint8_t b) {
        return static_cast<uint8_t>((b & ~kBoolOld) | ((b & kBoolCurrent) << 1));
    });
}
inline void freezeWord(unsigned char* slot) {
    auto* words = reinterpret_cast<int32_t*>(slot);
    const int32_t current = loadShared(words);
    if (loadShared(words + 1) != current) storeShared(words + 1, current);
}
inline void freezeChar(unsigned char* slot) {
    const uint8_t current = loadShared(slot);
    if (loadShared(slot + kCharOldOffset) != current) storeShared(slot + kCharOldOffset, current);
}

}  // namespace qv::debug
