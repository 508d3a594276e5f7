// The per-cycle pool of temporary arrays, inline: a function with a TIME result takes
// its temporary without a call, so that the pool costs a pointer bump, not a call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/debug/qv_debug.h"
#include "runtime/executive/image_layout.h"
#include "runtime/revision.h"

namespace qv {

// The pool cannot hold the request: it stays exhausted until the release, and the
// request fails with the type's message.
unsigned char* exhaustPool(const char* typeName);

// Takes `size` bytes from the pool, or nothing when they do not fit. Revisions 1 and 2
// start each block at an address that is a multiple of its slot size; revision 3 packs
// blocks, except that integer and real blocks start on a 4-byte boundary so that their
// 32-bit words are aligned (only a boolean block of an odd number of elements leaves such
// a gap).
inline unsigned char* takeBlock(std::size_t size, std::size_t slotSize, const char* typeName) {
    std::size_t start = next_alloc == nullptr ? 0 : static_cast<std::size_t>(next_alloc - Temp_Alloc);
    const std::size_t unit = kRevision != 3 ? slotSize : (slotSize == kIntSlotSize ? alignof(int32_t) : 1);
    const auto address = reinterpret_cast<uintptr_t>(Temp_Alloc) + start;
    start += (unit - address % unit) % unit;
    const std::size_t end = start + size;
    if (end > QV_TEMP_POOL_SIZE) [[unlikely]]
        return exhaustPool(typeName);
    next_alloc = Temp_Alloc + end;
    ++nb_alloc;
    return Temp_Alloc + start;
}

// An integer temporary of n elements (n at least 0): header of two slots, each element's
// current and previous value cleared; revision 1 writes the count in the header.
inline int32_t* takeIntTemporary(int n) {
    unsigned char* block = takeBlock(36 + 12 * static_cast<std::size_t>(n), kIntSlotSize, "int");
    if (block == nullptr) return nullptr;
    auto* words = reinterpret_cast<int32_t*>(block);
    if constexpr (kRevision == 1) words[0] = words[1] = n;  // the element count
    for (int k = 0; k < n; ++k) words[6 + 3 * k] = words[7 + 3 * k] = 0;
    return words;
}

}  // namespace qv
