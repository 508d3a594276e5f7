// The supervisor's side of forcing and of the index tables: operations on a mapping of
// the image made by another process. They find everything from the mapping's own header
// and touch none of the program's globals, so a supervisor tool links them without a
// model.
#include "runtime/debug/debug.h"
#include "runtime/debug/index_tables.h"
#include "runtime/executive/image_check.h"

namespace qv {
namespace {

int32_t headerWord(const unsigned char* image, int32_t offset) {
    return loadShared(reinterpret_cast<const int32_t*>(image + offset));
}

// The slot `index` of an area in the image mapped at `image`, or null when the image
// fails the supervisor's check within the size its header records, or the index lies
// outside the area. The C interface knows no mapping size: the recorded size is the one
// bound there is, and qvctl checks it against the mapping before it calls these.
[[maybe_unused]] unsigned char* slotOf(unsigned char* image, int area, int index) {
    if (image == nullptr || index < 0 || area < 0 || area >= kAreaCount) return nullptr;
    const auto recorded = static_cast<uint32_t>(headerWord(image, kImageSizeOffset));
    const ImageCheck check = validateImage(image, recorded, kRevision, "");
    if (!check.ok() || index >= check.counts[area]) return nullptr;
    const auto width = static_cast<uint64_t>(slotSize(kLayout, area));
    return image + check.offsets[area] + static_cast<uint64_t>(index) * width;
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
#endif

#if QV_REVISION == 3
int QV_addBreakpointIndex(int index, int32_t* table) { return qv::addIndex(index, table); }
int QV_removeBreakpointIndex(int index, int32_t* table) { return qv::removeIndex(index, table); }
#endif

}  // extern "C"
