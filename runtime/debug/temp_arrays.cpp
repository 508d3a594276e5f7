// The per-cycle pool of temporary arrays and the array helpers of generated code.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "runtime/debug/debug.h"
#include "runtime/debug/temp_pool.h"
#include "runtime/executive/executive.h"

extern "C" {
alignas(16) unsigned char Temp_Alloc[QV_TEMP_POOL_SIZE];
unsigned char* next_alloc = nullptr;
int32_t nb_alloc = 0;
}

namespace qv {
namespace {

constexpr std::size_t kPoolSize = QV_TEMP_POOL_SIZE;

// Byte size of a temporary of n elements.
std::size_t boolBlockSize(int n) { return 4 + 2 * static_cast<std::size_t>(n); }
std::size_t wordBlockSize(int n) { return 36 + 12 * static_cast<std::size_t>(n); }
std::size_t charBlockSize(int n) {
    return static_cast<std::size_t>(3 + n) * static_cast<std::size_t>(kCharSlotSize);
}

// Element k of an array: after a header of two slots (booleans, integers, reals) or of
// three (strings).
unsigned char* boolElement(unsigned char* a, int k) { return a + kBoolSlotSize * (2 + k); }
const unsigned char* boolElement(const unsigned char* a, int k) { return a + kBoolSlotSize * (2 + k); }
template <typename Word>
Word& wordElement(Word* a, int k) {
    return *reinterpret_cast<Word*>(reinterpret_cast<unsigned char*>(a) + kIntSlotSize * (2 + k));
}
template <typename Word>
Word wordElement(const Word* a, int k) {
    return *reinterpret_cast<const Word*>(reinterpret_cast<const unsigned char*>(a) + kIntSlotSize * (2 + k));
}
unsigned char* charElement(unsigned char* s, int k) { return s + kCharSlotSize * (3 + k); }
const unsigned char* charElement(const unsigned char* s, int k) { return s + kCharSlotSize * (3 + k); }

template <typename Word>
void copyWords(Word* dst, const Word* src, int n) {
    for (int k = 0; k < n; ++k) wordElement(dst, k) = wordElement(src, k);
}

template <typename Word>
int compareWords(const Word* a, const Word* b, int na, int nb) {
    if (na != nb) return 0;
    for (int k = 0; k < na; ++k)
        if (!(wordElement(a, k) == wordElement(b, k))) return 0;
    return 1;
}

// The two element slots of a TIME or DATE_AND_TIME, values and flags alike.
void copyTwoElements(int32_t* dst, const int32_t* src) {
    constexpr std::size_t kFirst = 2 * kIntSlotSize;
    std::memmove(reinterpret_cast<unsigned char*>(dst) + kFirst, reinterpret_cast<const unsigned char*>(src) + kFirst,
                 2 * static_cast<std::size_t>(kIntSlotSize));
}

}  // namespace

// A failed request leaves the pool exhausted, so every request fails until the next
// release.
unsigned char* exhaustPool(const char* typeName) {
    next_alloc = Temp_Alloc + kPoolSize;
    std::fprintf(stderr, "unable to allocate a temporary array of %s\n", typeName);
    return nullptr;
}

}  // namespace qv

extern "C" {

unsigned char* alloc_bool(int n) {
    if (n < 0) n = 0;
    unsigned char* block = qv::takeBlock(qv::boolBlockSize(n), qv::kBoolSlotSize, "boolean");
    if (block == nullptr) return nullptr;
    for (int k = 0; k < n; ++k) block[4 + 2 * k] &= static_cast<uint8_t>(~(qv::kBoolCurrent | qv::kBoolOld));
    return block;
}

unsigned char* alloc_char(int n) {
    if (n < 0) n = 0;
    unsigned char* block = qv::takeBlock(qv::charBlockSize(n), static_cast<std::size_t>(qv::kCharSlotSize), "char");
    if (block == nullptr) return nullptr;
    const int s = qv::kCharSlotSize;
    block[0] = block[1] = static_cast<uint8_t>((n >> 8) & 0xFF);
    block[s] = block[s + 1] = static_cast<uint8_t>(n & 0xFF);
    for (int k = 2; k <= n + 2; ++k) block[s * k] = block[s * k + 1] = 0;
    return block;
}

int32_t* alloc_int(int n) { return qv::takeIntTemporary(n < 0 ? 0 : n); }

float* alloc_float(int n) {
    if (n < 0) n = 0;
    unsigned char* block = qv::takeBlock(qv::wordBlockSize(n), qv::kRealSlotSize, "float");
    if (block == nullptr) return nullptr;
    auto* words = reinterpret_cast<float*>(block);
    if constexpr (qv::kRevision == 1) words[0] = words[1] = static_cast<float>(n);
    for (int k = 0; k < n; ++k) words[6 + 3 * k] = words[7 + 3 * k] = 0.0f;
    return words;
}

void free_all_alloc(void) {
    next_alloc = nullptr;
    nb_alloc = 0;
}

int array_char_size(const unsigned char* s) {
    const int slot = qv::kCharSlotSize;
    return s[qv::kCharOldOffset] * 256 + s[slot + qv::kCharOldOffset];
}

int array_char_len(const unsigned char* s) {
    const int capacity = array_char_size(s);
    const int slot = qv::kCharSlotSize;
    int length = 0;
    while (length < capacity && s[slot * (3 + length)] != 0) ++length;
    return length;
}

#if QV_REVISION == 1
// Revision 1's integer and real temporaries carry their element count in header slot 0.
int array_int_size(const int32_t* a) { return a[1]; }
int array_float_size(const float* a) {
    const float n = a[1];
    if (!(n > -2147483648.0f && n < 2147483648.0f)) return 0;
    return static_cast<int>(n);
}
#endif

void copy_bool_array(unsigned char* dst, const unsigned char* src, int n) {
    for (int k = 0; k < n; ++k) {
        unsigned char* d = qv::boolElement(dst, k);
        *d = static_cast<uint8_t>((*d & ~qv::kBoolCurrent) | (*qv::boolElement(src, k) & qv::kBoolCurrent));
    }
}

void copy_bool_array_negated(unsigned char* dst, const unsigned char* src, int n) {
    for (int k = 0; k < n; ++k) {
        unsigned char* d = qv::boolElement(dst, k);
        *d = static_cast<uint8_t>((*d & ~qv::kBoolCurrent) | (~*qv::boolElement(src, k) & qv::kBoolCurrent));
    }
}

void copy_int_array(int32_t* dst, const int32_t* src, int n) { qv::copyWords(dst, src, n); }
void copy_float_array(float* dst, const float* src, int n) { qv::copyWords(dst, src, n); }

// String assignment into a destination of capacity n: the source cut to n characters,
// the rest of the destination NUL. Characters move in the direction that keeps an
// overlapping source intact, so that assigning a string to itself leaves it as it was.
void copy_char_array(unsigned char* dst, const unsigned char* src, int n) {
    if (n < 0) n = 0;
    const int copied = std::min(n, array_char_len(src));
    const auto low = static_cast<uint8_t>(n & 0xFF);
    dst[qv::kCharSlotSize] = low;
    dst[qv::kCharSlotSize + qv::kCharOldOffset] = low;
    if (reinterpret_cast<uintptr_t>(dst) <= reinterpret_cast<uintptr_t>(src)) {
        for (int k = 0; k < copied; ++k) *qv::charElement(dst, k) = *qv::charElement(src, k);
    } else {
        for (int k = copied - 1; k >= 0; --k) *qv::charElement(dst, k) = *qv::charElement(src, k);
    }
    for (int k = copied; k < n; ++k) *qv::charElement(dst, k) = 0;
}

void copy_time_array(int32_t* dst, const int32_t* src) { qv::copyTwoElements(dst, src); }
void copy_dt_array(int32_t* dst, const int32_t* src) { qv::copyTwoElements(dst, src); }

int compare_bool_arrays(const unsigned char* a, const unsigned char* b, int na, int nb) {
    if (na != nb) return 0;
    for (int k = 0; k < na; ++k)
        if ((*qv::boolElement(a, k) ^ *qv::boolElement(b, k)) & qv::kBoolCurrent) return 0;
    return 1;
}

int compare_int_arrays(const int32_t* a, const int32_t* b, int na, int nb) { return qv::compareWords(a, b, na, nb); }
int compare_float_arrays(const float* a, const float* b, int na, int nb) { return qv::compareWords(a, b, na, nb); }

int compare_char_arrays(const unsigned char* a, const unsigned char* b, int sizeA, int sizeB) {
    const int la = array_char_len(a);
    const int lb = array_char_len(b);
    if (la > sizeB || lb > sizeA) return 0;
    if (la == 0 || lb == 0 || la != lb) return la == lb ? 1 : 0;
    for (int k = 0; k < la; ++k)
        if (*qv::charElement(a, k) != *qv::charElement(b, k)) return 0;
    return 1;
}

// The bit number counts modulo 32.
int affect_AnyBit(int word, int bit, int value) {
    const uint32_t mask = 1u << (static_cast<uint32_t>(bit) & 31u);
    const uint32_t w = static_cast<uint32_t>(word);
    return static_cast<int>((value & 1) ? (w | mask) : (w & ~mask));
}

}  // extern "C"
