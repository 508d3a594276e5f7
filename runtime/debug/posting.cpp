// Posting, forcing and freezing: the forced flag of a slot pins its value, the old value
// holds the forced value or the value at the last freeze, and the five index tables of
// the header list what the supervisor watches.
#include <algorithm>

#include "runtime/debug/debug.h"
#include "runtime/debug/index_tables.h"
#include "runtime/executive/executive.h"

namespace qv {
namespace {

// ---- Posting: a forced variable takes its old (forced) value back -------------------

[[maybe_unused]] unsigned char* postBool(unsigned char* slot) {
    debug::updateBoolByte(slot, [](uint8_t b) {
        if (!(b & kBoolForced)) return b;
        return static_cast<uint8_t>((b & ~kBoolCurrent) | ((b & kBoolOld) >> 1));
    });
    return slot;
}

template <typename Word>
[[maybe_unused]] Word* postWord(Word* slot) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(slot);
    if (loadShared(bytes + kIntFlagsOffset) & kIntForced) storeShared(slot, loadShared(slot + 1));
    return slot;
}

[[maybe_unused]] unsigned char* postChar(unsigned char* slot) {
    if (loadShared(slot + kCharFlagsOffset) & kCharForced) storeShared(slot, loadShared(slot + kCharOldOffset));
    return slot;
}

// Element k of an array variable: after a header of two slots (booleans, integers, reals)
// or three (characters).
[[maybe_unused]] unsigned char* boolElement(unsigned char* array, int k) { return array + kBoolSlotSize * (2 + k); }
template <typename Word>
[[maybe_unused]] Word* wordElement(Word* array, int k) {
    return reinterpret_cast<Word*>(reinterpret_cast<unsigned char*>(array) + kIntSlotSize * (2 + k));
}
[[maybe_unused]] unsigned char* charElement(unsigned char* array, int k) { return array + kCharSlotSize * (3 + k); }

// ---- Supervisor side: slots of a mapping of the image --------------------------------

int32_t headerWord(const unsigned char* image, int32_t offset) {
    return loadShared(reinterpret_cast<const int32_t*>(image + offset));
}

// The slot `index` of an area in the image mapped at `image`, or null when the index lies
// outside the area. In the program itself the bounds are its own counts; elsewhere the
// header is all there is, and the slot must also lie within the image size it records.
[[maybe_unused]] unsigned char* slotOf(unsigned char* image, int area, int index) {
    if (image == nullptr || index < 0) return nullptr;
    if (image == memHeader && mem.boolBase != nullptr) return debug::programSlot(area, index);
    const int32_t count = headerWord(image, kLayout.countsOffset + 4 * area);
    if (index >= count) return nullptr;
    const auto offset = static_cast<uint32_t>(headerWord(image, kLayout.offsetsOffset + 4 * area));
    const auto size = static_cast<uint32_t>(headerWord(image, kImageSizeOffset));
    const uint64_t width = static_cast<uint64_t>(slotSize(kLayout, area));
    const uint64_t end = offset + (static_cast<uint64_t>(index) + 1) * width;
    if (offset < static_cast<uint32_t>(kLayout.headerSize) || end > size) return nullptr;
    return image + offset + static_cast<uint64_t>(index) * width;
}

// Forcing sets the flag before the values, so that a post in between copies a value that
// the forcing is about to overwrite anyway.
template <typename Word>
[[maybe_unused]] void forceWord(unsigned char* slot, Word value) {
    if (slot == nullptr) return;
    __atomic_fetch_or(slot + kIntFlagsOffset, kIntForced, __ATOMIC_RELAXED);
    storeShared(reinterpret_cast<Word*>(slot), value);
    storeShared(reinterpret_cast<Word*>(slot) + 1, value);
}

[[maybe_unused]] void unforceFlag(unsigned char* slot, int flagsOffset, uint8_t flag) {
    if (slot == nullptr) return;
    __atomic_fetch_and(slot + flagsOffset, static_cast<uint8_t>(~flag), __ATOMIC_RELAXED);
}

// The boolean slot `index` of this process's own mapping of the image (the one that
// openMemory made), or null.
[[maybe_unused]] unsigned char* ownBoolSlot(int index) {
    if (shared_memory == nullptr || index < 0) return nullptr;
    if (mem.boolBase != nullptr) return debug::programSlot(kAreaBool, index);
    // A process that opened the image without laying it out finds the area in the header.
    if (imageSize < static_cast<uint32_t>(kLayout.headerSize)) return nullptr;
    const int32_t count = headerWord(shared_memory, kLayout.countsOffset);
    const auto offset = static_cast<uint32_t>(headerWord(shared_memory, kLayout.offsetsOffset));
    const uint64_t end = offset + (static_cast<uint64_t>(index) + 1) * kBoolSlotSize;
    if (index >= count || offset < static_cast<uint32_t>(kLayout.headerSize) || end > imageSize) return nullptr;
    return shared_memory + offset + static_cast<uint64_t>(index) * kBoolSlotSize;
}

// ---- Index tables --------------------------------------------------------------------

[[maybe_unused]] int addIndex(int index, int32_t* table) {
    if (table == nullptr || index == 0) return 0;
    for (int32_t p = 0; p < kIndexTableLength; ++p) {
        const int32_t entry = loadShared(table + p);
        if (entry == index) return 0;
        if (entry == 0) {
            storeShared(table + p, index);
            return 1;
        }
    }
    return 0;  // full
}

[[maybe_unused]] int removeIndex(int index, int32_t* table) {
    if (table == nullptr) return 0;
    int32_t p = 0;
    while (p < kIndexTableLength && loadShared(table + p) != index) ++p;
    if (p == kIndexTableLength) return 0;
    for (; p + 1 < kIndexTableLength; ++p) storeShared(table + p, loadShared(table + p + 1));
    storeShared(table + kIndexTableLength - 1, 0);
    return 1;
}

[[maybe_unused]] void raiseFlag(unsigned char* flagSlot) {
    if (flagSlot != nullptr) debug::setBoolBits(flagSlot, kBoolCurrent);
}

}  // namespace

#if QV_REVISION != 1
void freezeListed(unsigned char* image, unsigned tables) {
    using debug::forEachListed;
    const debug::ProgramArea bools = debug::programArea(kAreaBool);
    const debug::ProgramArea ints = debug::programArea(kAreaInt);
    const debug::ProgramArea reals = debug::programArea(kAreaReal);
    const debug::ProgramArea chars = debug::programArea(kAreaChar);
    if (tables & kBoolTraceTable) {
        forEachListed(image, kBoolTraceTableOffset, [bools](int32_t i) {
            if (unsigned char* s = bools.slot(i)) debug::freezeBool(s);
        });
    }
    if (tables & kIntTraceTable) {
        forEachListed(image, kIntTraceTableOffset, [ints](int32_t i) {
            if (unsigned char* s = ints.slot(i)) debug::freezeWord(s);
        });
    }
    if (tables & kRealTraceTable) {
        forEachListed(image, kRealTraceTableOffset, [reals](int32_t i) {
            if (unsigned char* s = reals.slot(i)) debug::freezeWord(s);
        });
    }
    if (tables & kCharTraceTable) {
        forEachListed(image, kCharTraceTableOffset, [chars](int32_t i) {
            if (unsigned char* s = chars.slot(i)) debug::freezeChar(s);
        });
    }
    if (tables & kBoolBreakpointTable) {
        forEachListed(image, kBoolBreakpointTableOffset, [bools](int32_t i) {
            if (unsigned char* s = bools.slot(i)) debug::freezeBool(s);
        });
    }
}
#endif

#if QV_REVISION == 3
int addTraceIndex(int index, int32_t* table, unsigned char* flagSlot) {
    const int changed = addIndex(index, table);
    if (changed) raiseFlag(flagSlot);
    return changed;
}

int removeTraceIndex(int index, int32_t* table, unsigned char* flagSlot) {
    const int changed = removeIndex(index, table);
    if (changed) raiseFlag(flagSlot);
    return changed;
}
#endif

}  // namespace qv

extern "C" {

#if QV_REVISION != 1
unsigned char* QV_post_bool(unsigned char* slot) { return qv::postBool(slot); }
int32_t* QV_post_int(int32_t* slot) { return qv::postWord(slot); }
float* QV_post_float(float* slot) { return qv::postWord(slot); }
unsigned char* QV_post_char(unsigned char* slot) { return qv::postChar(slot); }
unsigned char* QV_freeze_bool(unsigned char* slot) { return qv::postBool(slot); }
int32_t* QV_freeze_int(int32_t* slot) { return qv::postWord(slot); }
float* QV_freeze_float(float* slot) { return qv::postWord(slot); }
unsigned char* QV_freeze_char(unsigned char* slot) { return qv::postChar(slot); }

void QV_freeze_bool_array(unsigned char* array, int n) {
    for (int k = 0; k < n; ++k) qv::postBool(qv::boolElement(array, k));
}
void QV_freeze_int_array(int32_t* array, int n) {
    for (int k = 0; k < n; ++k) qv::postWord(qv::wordElement(array, k));
}
void QV_freeze_float_array(float* array, int n) {
    for (int k = 0; k < n; ++k) qv::postWord(qv::wordElement(array, k));
}
void QV_freeze_char_array(unsigned char* array, int n) {
    for (int k = 0; k < n; ++k) qv::postChar(qv::charElement(array, k));
}

// A forced boolean is one byte write, so the program never sees the flag without the value.
void QV_force_bool(unsigned char* image, int index, int value) {
    unsigned char* slot = qv::slotOf(image, qv::kAreaBool, index);
    if (slot == nullptr) return;
    const uint8_t bits = (value & 1) ? qv::kBoolCurrent | qv::kBoolOld : 0;
    qv::debug::updateBoolByte(slot, [bits](uint8_t b) {
        return static_cast<uint8_t>((b & ~(qv::kBoolCurrent | qv::kBoolOld)) | bits | qv::kBoolForced);
    });
}
void QV_force_int(unsigned char* image, int index, int value) {
    qv::forceWord<int32_t>(qv::slotOf(image, qv::kAreaInt, index), value);
}
void QV_force_float(unsigned char* image, int index, float value) {
    qv::forceWord<float>(qv::slotOf(image, qv::kAreaReal, index), value);
}
void QV_force_char(unsigned char* image, int index, int value) {
    unsigned char* slot = qv::slotOf(image, qv::kAreaChar, index);
    if (slot == nullptr) return;
    __atomic_fetch_or(slot + qv::kCharFlagsOffset, qv::kCharForced, __ATOMIC_RELAXED);
    qv::storeShared(slot, static_cast<uint8_t>(value & 0xFF));
    qv::storeShared(slot + qv::kCharOldOffset, static_cast<uint8_t>(value & 0xFF));
}

void QV_unforce_bool(unsigned char* image, int index) {
    unsigned char* slot = qv::slotOf(image, qv::kAreaBool, index);
    if (slot != nullptr) qv::debug::clearBoolBits(slot, qv::kBoolForced);
}
void QV_unforce_int(unsigned char* image, int index) {
    qv::unforceFlag(qv::slotOf(image, qv::kAreaInt, index), qv::kIntFlagsOffset, qv::kIntForced);
}
void QV_unforce_float(unsigned char* image, int index) {
    qv::unforceFlag(qv::slotOf(image, qv::kAreaReal, index), qv::kIntFlagsOffset, qv::kIntForced);
}
void QV_unforce_char(unsigned char* image, int index) {
    qv::unforceFlag(qv::slotOf(image, qv::kAreaChar, index), qv::kCharFlagsOffset, qv::kCharForced);
}

int QV_addIndex(int index, int32_t* table) { return qv::addIndex(index, table); }
int QV_removeIndex(int index, int32_t* table) { return qv::removeIndex(index, table); }

// Old value := current value for every listed variable, forced or not.
void QV_freeze_memory_for_debug(unsigned char* image) { qv::freezeListed(image, qv::kAllTables); }
#endif

#if QV_REVISION == 3
int QV_addTraceIndex(int index, int32_t* table, int flagIndex) {
    return qv::addTraceIndex(index, table, qv::ownBoolSlot(flagIndex));
}
int QV_removeTraceIndex(int index, int32_t* table, int flagIndex) {
    return qv::removeTraceIndex(index, table, qv::ownBoolSlot(flagIndex));
}
int QV_addBreakpointIndex(int index, int32_t* table) { return qv::addIndex(index, table); }
int QV_removeBreakpointIndex(int index, int32_t* table) { return qv::removeIndex(index, table); }
#endif

}  // extern "C"
