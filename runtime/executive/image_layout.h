// The byte layout of the shared memory image: header fields, index tables, slot
// formats and the fixed slots of the control variables. The runtime, the supervisor
// toolkit and the tests all take these facts from here; nothing else spells them out.
//
// Revisions 2 and 3 share one layout. Revision 1 has a 292-byte header without index
// tables, 3-byte character slots, its integer control block at slot 210, and per-slot
// debug flags instead of forced flags (see r1 below).
#pragma once

#include <cstdint>

namespace qv {

// ---- Execution status codes -------------------------------------------------

enum ExecStatus : int32_t {
    kStatusFree = 0,
    kStatusStop = 1,
    kStatusRun = 2,
    kStatusStep = 3,
    kStatusEnd = 4,
    kStatusPause = 5,
};

// The name printed for a status; a code outside 0..5 has an empty name.
constexpr const char* statusName(int32_t status) {
    switch (status) {
        case kStatusFree: return "FREE";
        case kStatusStop: return "STOP";
        case kStatusRun: return "RUN";
        case kStatusStep: return "STEP";
        case kStatusEnd: return "END";
        case kStatusPause: return "PAUSE";
        default: return "";
    }
}

// ---- Image defaults -----------------------------------------------------------

inline constexpr const char* kDefaultImageName = "Shared";
inline constexpr uint32_t kDefaultImageSize = 6000000;
// QV_MEMORY_NAME and QV_MEMORY_SIZE are read into 30-character buffers, QV_TIMEOUT into 10.
inline constexpr int kEnvironmentValueLimit = 30;
inline constexpr int kTimeoutValueLimit = 10;

// ---- Areas and slots ------------------------------------------------------------

enum Area : int { kAreaBool = 0, kAreaInt = 1, kAreaReal = 2, kAreaChar = 3 };
inline constexpr int kAreaCount = 4;

inline constexpr int32_t kBoolSlotSize = 2;
inline constexpr int32_t kIntSlotSize = 12;
inline constexpr int32_t kRealSlotSize = 12;

// Slot formats of revisions 2 and 3 (the current value is always the first byte or word).
inline constexpr uint8_t kBoolCurrent = 0x01;   // byte 0 bit 0
inline constexpr uint8_t kBoolOld = 0x02;       // byte 0 bit 1
inline constexpr uint8_t kBoolForced = 0x08;    // byte 0 bit 3
inline constexpr int kIntOldOffset = 4;         // old value: bytes 4..7 (integers and reals)
inline constexpr int kIntFlagsOffset = 8;       // forced flag byte of integers and reals
inline constexpr uint8_t kIntForced = 0x02;     // byte 8 bit 1 (integers and reals)
inline constexpr int kCharOldOffset = 1;        // old value: byte 1
inline constexpr int kCharFlagsOffset = 2;      // forced flag byte of characters
inline constexpr uint8_t kCharForced = 0x02;    // byte 2 bit 1

// ---- Header of revisions 2 and 3 -----------------------------------------------

inline constexpr int32_t kImageSizeOffset = 0;  // uint32, rewritten by openMemory
inline constexpr int32_t kIndexTableLength = 1000;
inline constexpr int32_t kBoolTraceTableOffset = 260;
inline constexpr int32_t kIntTraceTableOffset = 4260;
inline constexpr int32_t kRealTraceTableOffset = 8260;
inline constexpr int32_t kCharTraceTableOffset = 12260;
inline constexpr int32_t kBoolBreakpointTableOffset = 16260;

// ---- Control blocks (slot indexes within each area) -------------------------------

// Booleans.
inline constexpr int32_t kTraceonSlot = 0;
inline constexpr int32_t kResettraceSlot = 1;
inline constexpr int32_t kTracesnapshopSlot = 2;  // revision 3
inline constexpr int32_t kQvDelaySlot = 2;        // revisions 1 and 2
inline constexpr int32_t kAllowpreconditionsSlot = 3;
inline constexpr int32_t kAllowpostconditionsSlot = 4;
inline constexpr int32_t kBoolControlSlots = 5;   // a model's booleans begin at minBool + 5

// Integers, counted from `execstatus` (slot 311, or 210 in revision 1).
inline constexpr int32_t kBpnolineFromExec = 1;          // count, then up to 101 locations
inline constexpr int32_t kBpnoinstanceFromExec = 103;    // unused slot, then the instances
// Revision 1's generated code gives the first slots of `bpnoline` and `bpnoinstance` the
// lists' length.
inline constexpr int32_t kRevision1BreakpointListSize = 100;
inline constexpr int32_t kBpcurrentinstanceFromExec = 205;
inline constexpr int32_t kBpcurrentlocationFromExec = 206;
inline constexpr int32_t kBpcurrentprepostcodeFromExec = 207;
inline constexpr int32_t kBpcurrenttypeerrorFromExec = 208;
inline constexpr int32_t kBpcurrentrankFromExec = 209;
inline constexpr int32_t kSignatureFromExec = 210;
inline constexpr int32_t kGenerationtimeFromExec = 211;
inline constexpr int32_t kIntControlSlots = 212;         // a model's integers begin at minInt + 212
inline constexpr int32_t kMaxLocationBreakpoints = 101;

// The three runtime slots at the end of the integer area, counted back from maxInt.
inline constexpr int32_t kPospidFromEnd = 3;
inline constexpr int32_t kSimuCounterFromEnd = 2;
inline constexpr int32_t kMicroStepCounterFromEnd = 1;

// Reals.
inline constexpr int32_t kSimuperiodSlot = 10;
inline constexpr int32_t kMinsimuperiodSlot = 11;
inline constexpr int32_t kMaxsimuperiodSlot = 12;
inline constexpr int32_t kRealsimuperiodSlot = 13;
inline constexpr int32_t kMeanModificationSlot = 14;
inline constexpr int32_t kMinModificationSlot = 15;
inline constexpr int32_t kMaxModificationSlot = 16;
inline constexpr int32_t kRealControlSlots = 7;          // a model's reals begin at minFloat + 7
inline constexpr int32_t kMinFloatFloor = 10;

// Characters: `taskname`, a STRING of capacity 50 (3 header slots and 50 characters).
inline constexpr int32_t kTasknameSlot = 0;
inline constexpr int32_t kTasknameCapacity = 50;
inline constexpr int32_t kCharControlSlots = 53;         // a model's characters begin at minChar + 53

// ---- What differs by revision ---------------------------------------------------

struct ImageLayout {
    int32_t revision;
    int32_t headerSize;      // bytes before the boolean area
    int32_t countsOffset;    // memBool, memInt, memFloat, memChar (int32 each)
    int32_t offsetsOffset;   // offsetBool, offsetInt, offsetFloat, offsetChar (int32 each)
    int32_t charSlotSize;    // 4, or 3 in revision 1
    int32_t execstatusSlot;  // first integer control slot: 311, or 210 in revision 1
    bool hasIndexTables;     // the five index tables live in the header
};

constexpr ImageLayout layoutOf(int revision) {
    if (revision == 1) return ImageLayout{1, 292, 260, 276, 3, 210, false};
    return ImageLayout{revision, 20292, 20260, 20276, 4, 311, true};
}

constexpr int32_t slotSize(const ImageLayout& layout, int area) {
    switch (area) {
        case kAreaBool: return kBoolSlotSize;
        case kAreaInt: return kIntSlotSize;
        case kAreaReal: return kRealSlotSize;
        default: return layout.charSlotSize;
    }
}

// value rounded up to the next multiple of unit (unchanged if already one).
constexpr uint32_t alignUp(uint32_t value, uint32_t unit) {
    return unit == 0 ? value : (value + unit - 1) / unit * unit;
}

// Byte offsets of the four areas for the given slot counts, each area aligned to its
// slot size (12 for integers and reals, the character slot size for characters).
struct AreaOffsets {
    uint32_t offsetBool, offsetInt, offsetFloat, offsetChar;
    uint32_t end;  // first byte after the character area: the bytes the image must hold
};

constexpr AreaOffsets computeAreaOffsets(const ImageLayout& layout, const int32_t counts[4]) {
    auto n = [](int32_t c) { return static_cast<uint32_t>(c < 0 ? 0 : c); };
    AreaOffsets o{};
    o.offsetBool = alignUp(static_cast<uint32_t>(layout.headerSize), kBoolSlotSize);
    o.offsetInt = alignUp(o.offsetBool + kBoolSlotSize * n(counts[kAreaBool]), kIntSlotSize);
    o.offsetFloat = alignUp(o.offsetInt + kIntSlotSize * n(counts[kAreaInt]), kRealSlotSize);
    o.offsetChar = alignUp(o.offsetFloat + kRealSlotSize * n(counts[kAreaReal]),
                           static_cast<uint32_t>(layout.charSlotSize));
    o.end = o.offsetChar + static_cast<uint32_t>(layout.charSlotSize) * n(counts[kAreaChar]);
    return o;
}

// ---- Revision 1 slot flags ----------------------------------------------------------

namespace r1 {
// Booleans, byte 0.
inline constexpr uint8_t kBoolRisingEdge = 0x04;
inline constexpr uint8_t kBoolFallingEdge = 0x08;
inline constexpr uint8_t kBoolTraced = 0x20;
inline constexpr uint8_t kBoolForced = 0x40;
inline constexpr uint8_t kBoolNotFrozenByModel = 0x80;
// Booleans, byte 1.
inline constexpr uint8_t kBoolDataBreakpoint = 0x01;
inline constexpr uint8_t kBoolChangedOnce = 0x02;
inline constexpr uint8_t kBoolChangeMarkMask = 0x0C;
inline constexpr uint8_t kBoolChanged = 0x04;
inline constexpr uint8_t kBoolAcknowledged = 0x08;
// Integers: byte 8 traced (any non-zero value); byte 9 flags.
inline constexpr int kIntTracedOffset = 8;
inline constexpr int kIntFlagsOffset = 9;
inline constexpr uint8_t kIntForced = 0x01;
inline constexpr uint8_t kIntChangeMarkMask = 0x06;
inline constexpr uint8_t kIntChanged = 0x02;
inline constexpr uint8_t kIntAcknowledged = 0x04;
// Reals: byte 8 flags. Characters (3-byte slots): byte 2 flags. Same bits.
inline constexpr int kRealFlagsOffset = 8;
inline constexpr int kCharFlagsOffset = 2;
inline constexpr uint8_t kTraced = 0x01;
inline constexpr uint8_t kForced = 0x02;
inline constexpr uint8_t kChangeMarkMask = 0x0C;
inline constexpr uint8_t kChanged = 0x04;
inline constexpr uint8_t kAcknowledged = 0x08;
}  // namespace r1

}  // namespace qv
