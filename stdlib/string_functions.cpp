// STRING functions: every string result is a new temporary of the capacity the function
// gives it, filled from its first character.
#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Strings are scanned and copied a group of slots at a time: four slots of four bytes
// or five of three, held as two 64-bit words (bytes 0-7 and the last eight bytes of the
// group; with three-byte slots the two share byte 7). On a little-endian machine a
// slot's current byte is the low byte of its place in a word.
constexpr int kGroupSlots = 16 / qv::kCharSlotSize;
constexpr int kGroupBytes = kGroupSlots * qv::kCharSlotSize;
constexpr int kHighWord = kGroupBytes - 8;  // byte offset of the second word
constexpr bool kGroupwise = std::endian::native == std::endian::little;

using Group = uint64_t __attribute__((vector_size(16)));

// A group with `pattern` (one or two bytes) placed at the current byte of every slot,
// in the word that holds that current byte.
constexpr uint64_t wordPattern(int offset, uint64_t pattern) {
    uint64_t word = 0;
    for (int k = 0; k < kGroupSlots; ++k) {
        const int at = k * qv::kCharSlotSize - offset;
        if (at >= 0 && at < 8) word |= pattern << (8 * at);
    }
    return word;
}

constexpr Group groupPattern(uint64_t pattern) { return Group{wordPattern(0, pattern), wordPattern(kHighWord, pattern)}; }

constexpr Group kCurrentBytes = groupPattern(0xFF);
constexpr Group kCurrentAndSecondBytes = groupPattern(0xFFFF);

Group loadGroup(const unsigned char* p) {
    Group group;
    if constexpr (kHighWord == 8) {
        std::memcpy(&group, p, sizeof group);
    } else {
        uint64_t words[2];
        std::memcpy(&words[0], p, 8);
        std::memcpy(&words[1], p + kHighWord, 8);
        std::memcpy(&group, words, sizeof group);
    }
    return group;
}

// The high word is stored first, so that a byte the two words share ends with the low
// word's value.
void storeGroup(unsigned char* p, Group group) {
    if constexpr (kHighWord == 8) {
        std::memcpy(p, &group, sizeof group);
    } else {
        uint64_t words[2];
        std::memcpy(words, &group, sizeof group);
        std::memcpy(p + kHighWord, &words[1], 8);
        std::memcpy(p, &words[0], 8);
    }
}

// Slots are searched a group at a time: one 16-byte load, a comparison of every byte
// and the mask of the slots' current bytes (bit k × slot size for slot k). With
// three-byte slots the load also covers the current byte of the slot after the group,
// so a group is searched only when that slot is inside the string too.
constexpr int kSearchReach = kGroupSlots + (kGroupBytes < 16 ? 1 : 0);  // slots a load touches

constexpr uint32_t currentByteMask() {
    uint32_t mask = 0;
    for (int k = 0; k < kGroupSlots; ++k) mask |= 1u << (k * qv::kCharSlotSize);
    return mask;
}

uint32_t slotsHolding(const unsigned char* group, unsigned char c) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group));
    const __m128i equal = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(c)));
    return static_cast<uint32_t>(_mm_movemask_epi8(equal)) & currentByteMask();
#else
    uint32_t mask = 0;
    for (int k = 0; k < kGroupSlots; ++k)
        if (group[k * qv::kCharSlotSize] == c) mask |= 1u << (k * qv::kCharSlotSize);
    return mask;
#endif
}

int firstSlotOf(uint32_t mask) { return std::countr_zero(mask) / qv::kCharSlotSize; }

// The length of a string, as array_char_len counts it, a group at a time; counting stops
// at `limit` (a string at least that long gives `limit`).
int lengthOf(const unsigned char* s, int64_t limit = kMaxCapacity) {
    const int end = static_cast<int>(std::min<int64_t>(stringCapacity(s), std::max<int64_t>(limit, 0)));
    int length = 0;
    for (; length + kSearchReach <= end; length += kGroupSlots) {
        const uint32_t nuls = slotsHolding(stringSlot(s, length), 0);
        if (nuls != 0) return std::min(length + firstSlotOf(nuls), end);
    }
    while (length < end && stringChar(s, length) != 0) ++length;
    return length;
}

// True when `needle` (of length n >= 1) occurs in s at `start`. Its characters are not
// NUL, so an occurrence lies wholly within the length of s; only its capacity bounds
// the reads.
bool occursAt(const unsigned char* s, int start, const unsigned char* needle, int n) {
    if (start + n > stringCapacity(s)) return false;
    int k = 1;
    while (k < n && stringChar(s, start + k) == stringChar(needle, k)) ++k;
    return k == n;
}

// Copies n characters of `src` from index `from` into the result `dst` from index `to`,
// each into both the current and the second byte of its slot; the other bytes of the
// result's slots keep what they hold.
void copyChars(unsigned char* dst, int to, const unsigned char* src, int from, int n) {
    int k = 0;
    if constexpr (kGroupwise) {
        for (; k + kGroupSlots <= n; k += kGroupSlots) {
            const Group c = loadGroup(stringSlot(src, from + k)) & kCurrentBytes;
            unsigned char* target = stringSlot(dst, to + k);
            storeGroup(target, (loadGroup(target) & ~kCurrentAndSecondBytes) | c | (c << 8));
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

// MID, DELETE and REPLACE test their arguments in a fixed order, each failing test
// overwriting the code of the one before, so the last failing test decides. The first
// two are exclusive: L < 0, or else P < 1. Then L + P > l + 1 and the two tests against
// the length l, whose order differs between the functions.
struct ArgumentTests {
    int64_t L, P, l;
    int32_t code = 0;

    ArgumentTests(int64_t length, int64_t position, int64_t stringLength, int32_t negativeLength,
                  int32_t positionBelowOne)
        : L(length), P(position), l(stringLength) {
        if (L < 0) {
            code = negativeLength;
        } else if (P < 1) {
            code = positionBelowOne;
        }
    }
    ArgumentTests& beyondEnd(int32_t failure) { return test(L + P > l + 1, failure); }
    ArgumentTests& lengthAfterEnd(int32_t failure) { return test(L > l, failure); }
    ArgumentTests& positionAfterEnd(int32_t failure) { return test(P > l, failure); }
    ArgumentTests& test(bool failed, int32_t failure) {
        if (failed) code = failure;
        return *this;
    }
};

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
    // The tests fail only for lengths below the last character taken (or below P when
    // L is 0): counting stops there, and the code is the same as with the whole length.
    const int64_t reach = L >= 0 && P >= 1 ? std::max<int64_t>(int64_t{L} + P - 1, P) : kMaxCapacity;
    const int l = lengthOf(IN, reach);
    LIBFB_ERR = ArgumentTests(L, P, l, 1023, 1022).beyondEnd(1026).lengthAfterEnd(1025).positionAfterEnd(1024).code;
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

// Revisions 1 and 2 number the last three tests 1007, 1005, 1006, in the same order.
unsigned char* delete_OUT(const unsigned char* IN, int32_t L, int32_t P) {
    const int l = lengthOf(IN);
    constexpr bool kRev3 = qv::kRevision == 3;
    LIBFB_ERR = ArgumentTests(L, P, l, 1004, 1003)
                    .beyondEnd(kRev3 ? 1005 : 1007)
                    .positionAfterEnd(kRev3 ? 1006 : 1005)
                    .lengthAfterEnd(kRev3 ? 1007 : 1006)
                    .code;
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
    LIBFB_ERR = ArgumentTests(L, P, l1, 1044, 1043).beyondEnd(1047).positionAfterEnd(1045).lengthAfterEnd(1046).code;
    if (LIBFB_ERR != 0) return newString(1);
    unsigned char* result = newString(int64_t{l1} + l2 - L);
    if (result == nullptr) return nullptr;
    copyChars(result, 0, IN1, 0, P - 1);
    copyChars(result, P - 1, IN2, 0, l2);
    copyChars(result, P - 1 + l2, IN1, P - 1 + L, l1 - (P - 1 + L));
    return result;
}

// A plain left-to-right search: after a partial match fails, the next candidate starts
// one character further. One pass over IN1, a group at a time: the slots holding the
// first character of IN2 are the candidates, up to the end of IN1.
int32_t find_OUT(const unsigned char* IN1, const unsigned char* IN2) {
    LIBFB_ERR = 0;
    const int l2 = lengthOf(IN2);
    if (l2 == 0) return 0;
    const int capacity = stringCapacity(IN1);
    const unsigned char first = stringChar(IN2, 0);
    int k = 0;
    for (; k + kSearchReach <= capacity; k += kGroupSlots) {
        const unsigned char* group = stringSlot(IN1, k);
        const uint32_t nuls = slotsHolding(group, 0);
        uint32_t candidates = slotsHolding(group, first);
        if (nuls != 0) candidates &= (nuls & (0u - nuls)) - 1;  // before the end of IN1
        for (; candidates != 0; candidates &= candidates - 1) {
            const int at = k + firstSlotOf(candidates);
            if (occursAt(IN1, at, IN2, l2)) return at + 1;
        }
        if (nuls != 0) return 0;
    }
    for (; k < capacity && stringChar(IN1, k) != 0; ++k)
        if (stringChar(IN1, k) == first && occursAt(IN1, k, IN2, l2)) return k + 1;
    return 0;
}

}  // extern "C"
