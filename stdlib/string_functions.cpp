// STRING functions: every string result is a new temporary of the capacity the function
// gives it, filled from its first character.
#include <algorithm>
#include <bit>
#include <cstring>

#include "stdlib/library.h"

namespace {

using namespace qv::lib;

// No STRING holds more characters than its two header bytes can count.
constexpr int64_t kMaxCapacity = 65535;

// A new empty string. A capacity that no header can hold is asked for as the largest
// one, which the pool refuses in the same way.
unsigned char* newString(int64_t capacity) {
    return alloc_char(static_cast<int>(std::clamp<int64_t>(capacity, 0, kMaxCapacity)));
}

// Where character slots are four bytes wide, four of them make one 16-byte vector, and
// the loops below treat four characters at a time: the current byte of each slot is the
// low byte of its lane on a little-endian machine.
constexpr bool kSlotsInLanes = qv::kCharSlotSize == 4 && std::endian::native == std::endian::little;
using Lanes = uint32_t __attribute__((vector_size(16)));
constexpr int kLaneCount = 4;

Lanes loadLanes(const unsigned char* p) {
    Lanes lanes;
    std::memcpy(&lanes, p, sizeof lanes);
    return lanes;
}

void storeLanes(unsigned char* p, Lanes lanes) { std::memcpy(p, &lanes, sizeof lanes); }

// True when the current byte of one of the eight slots from `slots` is NUL.
bool holdsNul(const unsigned char* slots) {
    const Lanes nul = ((loadLanes(slots) & 0xFFu) == 0u) | ((loadLanes(slots + sizeof(Lanes)) & 0xFFu) == 0u);
    uint64_t halves[2];
    std::memcpy(halves, &nul, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// The length of a string, as array_char_len counts it, eight characters per step where
// the slots allow it.
int lengthOf(const unsigned char* s) {
    const int capacity = stringCapacity(s);
    int length = 0;
    if constexpr (kSlotsInLanes) {
        while (length + 2 * kLaneCount <= capacity && !holdsNul(stringSlot(s, length))) length += 2 * kLaneCount;
    }
    while (length < capacity && stringChar(s, length) != 0) ++length;
    return length;
}

// Copies n characters of `src` from index `from` into the result `dst` from index `to`,
// each into both the current and the second byte of its slot; the other bytes of the
// result's slots keep what they hold.
void copyChars(unsigned char* dst, int to, const unsigned char* src, int from, int n) {
    int k = 0;
    if constexpr (kSlotsInLanes) {
        for (; k + kLaneCount <= n; k += kLaneCount) {
            const Lanes c = loadLanes(stringSlot(src, from + k)) & 0xFFu;
            unsigned char* target = stringSlot(dst, to + k);
            storeLanes(target, (loadLanes(target) & 0xFFFF0000u) | c | (c << 8));
        }
    }
    for (; k < n; ++k) setStringChar(dst, to + k, stringChar(src, from + k));
}

// A new string holding `n` characters of `src` from index `from`.
unsigned char* newSubstring(const unsigned char* src, int from, int n) {
    unsigned char* result = newString(n);
    if (result != nullptr) copyChars(result, 0, src, from, n);
    return result;
}

// The argument tests shared by MID, DELETE and REPLACE, in their order; each failing test
// overwrites the code of the one before. Codes in the order L < 0, P < 1, L + P > l + 1,
// P > l, L > l; 0 when every test passes.
struct RangeCodes {
    int32_t negativeLength, positionBelowOne, beyondEnd, positionAfterEnd, lengthAfterEnd;
};

int32_t failedRangeTest(int64_t L, int64_t P, int64_t l, const RangeCodes& codes) {
    int32_t code = 0;
    if (L < 0) {
        code = codes.negativeLength;
    } else if (P < 1) {
        code = codes.positionBelowOne;
    }
    if (L + P > l + 1) code = codes.beyondEnd;
    if (P > l) code = codes.positionAfterEnd;
    if (L > l) code = codes.lengthAfterEnd;
    return code;
}

}  // namespace

extern "C" {

int32_t len_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    return lengthOf(IN);
}

unsigned char* left_OUT(const unsigned char* IN, int32_t L) {
    LIBFB_ERR = 0;
    const int l = lengthOf(IN);
    if (L < 0) {
        LIBFB_ERR = 1018;
        L = 0;
    }
    if (L > l) {
        LIBFB_ERR = 1019;
        L = l;
    }
    return newSubstring(IN, 0, L);
}

unsigned char* right_OUT(const unsigned char* IN, int32_t L) {
    LIBFB_ERR = 0;
    const int l = lengthOf(IN);
    if (L < 0) {
        LIBFB_ERR = 1048;
        L = 0;
    }
    if (L > l) {
        LIBFB_ERR = 1049;
        L = l;
    }
    return newSubstring(IN, l - L, L);
}

// A failed MID gives an empty string of capacity L, or of capacity 1 when L < 0.
unsigned char* mid_OUT(const unsigned char* IN, int32_t L, int32_t P) {
    const int l = lengthOf(IN);
    LIBFB_ERR = failedRangeTest(L, P, l, {1023, 1022, 1026, 1024, 1025});
    if (LIBFB_ERR != 0) return newString(L < 0 ? 1 : L);
    return newSubstring(IN, P - 1, L);
}

unsigned char* concat_OUT(const unsigned char* IN1, const unsigned char* IN2) {
    LIBFB_ERR = 0;
    const int l1 = lengthOf(IN1);
    const int l2 = lengthOf(IN2);
    unsigned char* result = newString(int64_t{l1} + l2);
    if (result == nullptr) return nullptr;
    copyChars(result, 0, IN1, 0, l1);
    copyChars(result, l1, IN2, 0, l2);
    return result;
}

unsigned char* insert_OUT(const unsigned char* IN1, const unsigned char* IN2, int32_t P) {
    LIBFB_ERR = 0;
    const int l1 = lengthOf(IN1);
    const int l2 = lengthOf(IN2);
    if (P < 0) {
        LIBFB_ERR = 1016;
        P = 0;
    }
    if (P > l1) {
        LIBFB_ERR = 1017;
        P = l1;
    }
    unsigned char* result = newString(int64_t{l1} + l2);
    if (result == nullptr) return nullptr;
    copyChars(result, 0, IN1, 0, P);
    copyChars(result, P, IN2, 0, l2);
    copyChars(result, P + l2, IN1, P, l1 - P);
    return result;
}

// Revisions 1 and 2 number the last three tests 1007, 1005, 1006; the same test wins.
unsigned char* delete_OUT(const unsigned char* IN, int32_t L, int32_t P) {
    const int l = lengthOf(IN);
    const RangeCodes codes = qv::kRevision == 3 ? RangeCodes{1004, 1003, 1005, 1006, 1007}
                                                : RangeCodes{1004, 1003, 1007, 1005, 1006};
    LIBFB_ERR = failedRangeTest(L, P, l, codes);
    if (LIBFB_ERR != 0) return newString(1);
    unsigned char* result = newString(l - L);
    if (result == nullptr) return nullptr;
    copyChars(result, 0, IN, 0, P - 1);
    copyChars(result, P - 1, IN, P - 1 + L, l - (P - 1 + L));
    return result;
}

unsigned char* replace_OUT(const unsigned char* IN1, const unsigned char* IN2, int32_t L, int32_t P) {
    const int l1 = lengthOf(IN1);
    const int l2 = lengthOf(IN2);
    LIBFB_ERR = failedRangeTest(L, P, l1, {1044, 1043, 1047, 1045, 1046});
    if (LIBFB_ERR != 0) return newString(1);
    unsigned char* result = newString(int64_t{l1} + l2 - L);
    if (result == nullptr) return nullptr;
    copyChars(result, 0, IN1, 0, P - 1);
    copyChars(result, P - 1, IN2, 0, l2);
    copyChars(result, P - 1 + l2, IN1, P - 1 + L, l1 - (P - 1 + L));
    return result;
}

// A plain left-to-right search: after a partial match fails, the next candidate starts
// one character further.
int32_t find_OUT(const unsigned char* IN1, const unsigned char* IN2) {
    LIBFB_ERR = 0;
    const int l1 = lengthOf(IN1);
    const int l2 = lengthOf(IN2);
    if (l1 == 0 || l2 == 0) return 0;
    const unsigned char first = stringChar(IN2, 0);
    for (int start = 0; start + l2 <= l1; ++start) {
        if (stringChar(IN1, start) != first) continue;
        int k = 1;
        while (k < l2 && stringChar(IN1, start + k) == stringChar(IN2, k)) ++k;
        if (k == l2) return start + 1;
    }
    return 0;
}

}  // extern "C"
