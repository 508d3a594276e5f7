// What selection and comparison share: the value each type is ordered by, the order of
// strings, and the new temporaries that carry a chosen TIME, DATE, TIME_OF_DAY,
// DATE_AND_TIME or STRING out of a function.
#pragma once

#include <cstdint>

#include "stdlib/library.h"

namespace qv::lib {

// ---- Keys: what each type is compared by ---------------------------------------------

inline uint32_t byteKey(int32_t value) { return static_cast<uint32_t>(value) & 0xFFu; }  // BOOL, BYTE
inline uint32_t wordKey(int32_t value) { return static_cast<uint32_t>(value) & 0xFFFFu; }
inline long double timeKey(const int32_t* time) { return ticksOf(time); }  // TIME, DATE_AND_TIME
inline int32_t dayKey(const int32_t* value) { return element(value, 0); }  // DATE, TIME_OF_DAY

// ---- Strings ---------------------------------------------------------------------------

// The order of two strings over their current lengths, characters as unsigned bytes:
// negative when a is the smaller, 0 when equal, positive when a is the greater. The walk
// stops at the first difference or at the last character of the shorter string; an empty
// string contributes its NUL there. Equal characters leave the longer string greater.
inline int compareStrings(const unsigned char* a, const unsigned char* b) {
    const int la = stringLength(a);
    const int lb = stringLength(b);
    int i = 0;
    while (i + 1 < la && i + 1 < lb && stringChar(a, i) == stringChar(b, i)) ++i;
    const int ca = la == 0 ? 0 : stringChar(a, i);
    const int cb = lb == 0 ? 0 : stringChar(b, i);
    if (ca != cb) return ca < cb ? -1 : 1;
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

// Equal lengths and equal characters (two empty strings are equal).
inline bool equalStrings(const unsigned char* a, const unsigned char* b) {
    const int la = stringLength(a);
    if (la != stringLength(b)) return false;
    for (int i = 0; i < la; ++i)
        if (stringChar(a, i) != stringChar(b, i)) return false;
    return true;
}

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
// null, with nothing written, when the pool is exhausted.
inline unsigned char* newStringCopy(const unsigned char* source) {
    const int length = stringLength(source);
    unsigned char* result = alloc_char(length);
    if (result == nullptr) return nullptr;
    for (int k = 0; k < length; ++k) setStringChar(result, k, stringChar(source, k));
    return result;
}

}  // namespace qv::lib
