// Posting and freezing: the forced flag of a slot pins its value, the old value holds the
// forced value or the value at the last freeze, and the five index tables of the header
// list what the supervisor watches. The supervisor's own operations (forcing, editing the
// tables) are in supervisor_side.cpp.
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

int32_t headerWord(const unsigned char* image, int32_t offset) {
    return loadShared(reinterpret_cast<const int32_t*>(image + offset));
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
#endif

}  // extern "C"
