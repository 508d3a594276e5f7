// What selection and comparison share: the value each type is ordered by, the order of
// strings, and the new temporaries that carry a chosen TIME, DATE, TIME_OF_DAY,
// DATE_AND_TIME or STRING out of a function.
#pragma once

#include <cstdint>
#include <cstring>

#include "stdlib/library.h"

namespace qv::lib {

// ---- Keys: what each type is compared by ---------------------------------------------

inline uint32_t byteKey(int32_t value) { return static_cast<uint32_t>(value) & 0xFFu; }  // BOOL, BYTE
inline uint32_t wordKey(int32_t value) { return static_cast<uint32_t>(value) & 0xFFFFu; }
inline long double timeKey(const int32_t* time) { return ticksOf(time); }  // TIME, DATE_AND_TIME
inline int32_t dayKey(const int32_t* value) { return element(value, 0); }  // DATE, TIME_OF_DAY

// ---- Strings ---------------------------------------------------------------------------

// Capacity and length read in place (what array_char_size and array_char_len compute),
// for the string functions that read them on every call. `known` is a number of leading
// characters the caller already found in the string.
inline int capacityOf(const unsigned char* s) {
    return s[kCharOldOffset] * 256 + s[kCharSlotSize + kCharOldOffset];
}
inline int lengthOf(const unsigned char* s, int known = 0) {
    const int capacity = capacityOf(s);
    int length = known;
    while (length < capacity && stringChar(s, length) != 0) ++length;
    return length;
}

// The order of two strings over their current lengths, characters as unsigned bytes. The
// first differing character decides; where one string ends (at its first NUL or at its
// capacity) it counts as a NUL, smaller than every character, so a proper prefix is the
// smaller and equal characters with equal lengths are equal strings. One pass over both
// strings, never beyond either capacity.
struct StringOrder {
    int order;   // negative: the first string is the smaller; 0: equal; positive: the greater
    int shared;  // leading characters the two strings have in common
};

inline StringOrder orderOfStrings(const unsigned char* a, const unsigned char* b) {
    const int capacityA = capacityOf(a);
    const int capacityB = capacityOf(b);
    const int common = capacityA < capacityB ? capacityA : capacityB;
    int i = 0;
    for (; i < common; ++i) {
        const int ca = stringChar(a, i);
        const int cb = stringChar(b, i);
        if (ca != cb) return {ca < cb ? -1 : 1, i};
        if (ca == 0) return {0, i};
    }
    // One string is full at i: the other is greater if it goes on.
    const int ca = i < capacityA ? stringChar(a, i) : 0;
    const int cb = i < capacityB ? stringChar(b, i) : 0;
    return {ca == cb ? 0 : (ca < cb ? -1 : 1), i};
}

inline int compareStrings(const unsigned char* a, const unsigned char* b) { return orderOfStrings(a, b).order; }

// Equal lengths and equal characters (two empty strings are equal).
inline bool equalStrings(const unsigned char* a, const unsigned char* b) { return compareStrings(a, b) == 0; }

// ---- Result temporaries ------------------------------------------------------------------

// A new integer temporary of `size` elements whose first `copied` elements hold the
// current values of the source's; null, with nothing written, when the pool is exhausted.
inline int32_t* newElementsCopy(const int32_t* source, int copied, int size) {
    int32_t* result = alloc_int(size);
    if (result == nullptr) return nullptr;
    for (int k = 0; k < copied; ++k) element(result, k) = element(source, k);
    return result;
}

inline int32_t* newTimeCopy(const int32_t* source) { return newElementsCopy(source, 2, 2); }  // TIME, DT
inline int32_t* newDayCopy(const int32_t* source) { return newElementsCopy(source, 1, 1); }   // DATE, TOD

// A new string whose capacity is the source's length and which holds its characters;
// null, with nothing written, when the pool is exhausted. `known` as for lengthOf.
inline unsigned char* newStringCopy(const unsigned char* source, int known = 0) {
    const int length = lengthOf(source, known);
    unsigned char* result = alloc_char(length);
    if (result == nullptr) return nullptr;
    for (int k = 0; k < length; ++k) {
        // Both bytes of the slot in one store: the character as current and second value.
        const auto both = static_cast<uint16_t>(stringChar(source, k) * 0x0101u);
        std::memcpy(stringSlot(result, k), &both, sizeof both);
    }
    return result;
}

}  // namespace qv::lib
