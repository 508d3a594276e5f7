// The per-cycle pool of temporary arrays and the array helpers of generated code.
#include <cstdio>
#include <cstring>

#include "runtime/debug/debug.h"
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

// Takes `size` bytes from the pool, or nothing (with the type's message) when they do not
// fit. Revisions 1 and 2 start each block at a multiple of the slot size. A failed request
// leaves the cursor moved, so every request fails until the next release.
unsigned char* takeBlock(std::size_t size, std::size_t slotSize, const char* typeName) {
    std::size_t start = next_alloc == nullptr ? 0 : static_cast<std::size_t>(next_alloc - Temp_Alloc);
    if constexpr (kRevision != 3) {
        const auto address = reinterpret_cast<uintptr_t>(Temp_Alloc) + start;
        start += (slotSize - address % slotSize) % slotSize;
    }
    const std::size_t end = start + size;
    if (end > kPoolSize) {
        next_alloc = Temp_Alloc + kPoolSize;  // the pool stays exhausted until the release
        std::fprintf(stderr, "unable to allocate a temporary array of %s\n", typeName);
        return nullptr;
    }
    next_alloc = Temp_Alloc + end;
    ++nb_alloc;
    return Temp_Alloc + start;
}

}  // namespace
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

int32_t* alloc_int(int n) {
    if (n < 0) n = 0;
    unsigned char* block = qv::takeBlock(qv::wordBlockSize(n), qv::kIntSlotSize, "int");
    if (block == nullptr) return nullptr;
    auto* words = reinterpret_cast<int32_t*>(block);
    if constexpr (qv::kRevision == 1) words[0] = words[1] = n;  // the element count
    for (int k = 0; k < n; ++k) words[6 + 3 * k] = words[7 + 3 * k] = 0;
    return words;
}

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

}  // extern "C"
