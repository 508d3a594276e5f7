// Revision 1's freezes. Each slot carries its own debug flags (traced, forced, data
// breakpoint, change mark), set by the supervisor, and a freeze does the whole work of
// the debug services on it: it detects a change, marks it, traces it, counts it, stops on
// a data breakpoint, announces a status change, and then either saves the value as the
// old one or, for a forced variable, puts the forced value back.
//
// Generated code freezes the variables it wrote (its outputs, when it runs without
// delay); the executive freezes every slot of the program's ranges once per cycle and at
// every poll while stopped. Bit 7 of a boolean tells the whole-area freeze whether
// generated code froze the boolean since the last whole-area freeze.
#include <bit>
#include <cstdio>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/debug/debug.h"
#include "runtime/debug/index_tables.h"
#include "runtime/executive/executive.h"

#if QV_REVISION == 1

namespace qv {
namespace {

// ---- What every freeze shares ------------------------------------------------------------

long cycleNumber() { return mem.intBase == nullptr ? 0 : loadShared(cycleCounterSlot()); }

// A trace line is written while the file is open and tracing is on.
bool tracing() { return trace != nullptr && traceon != nullptr && (loadShared(traceon) & kBoolCurrent) != 0; }

// The slot's index in its area (for the trace line).
long indexIn(const unsigned char* areaStart, const void* slot, int32_t width) {
    if (areaStart == nullptr) return 0;
    return static_cast<long>((static_cast<const unsigned char*>(slot) - areaStart) / width);
}

// The two-bit change mark: a change writes *changed* (clearing the other bit); no change
// clears the mark only when the supervisor left it *acknowledged*.
void markChange(unsigned char* flags, uint8_t mask, uint8_t changed, bool differs) {
    const uint8_t seen = loadShared(flags);
    if (differs) {
        if ((seen & mask) != changed)
            debug::updateBoolByte(flags, [mask, changed](uint8_t b) { return static_cast<uint8_t>((b & ~mask) | changed); });
    } else if ((seen & mask) == (mask & ~changed)) {
        debug::clearBoolBits(flags, mask);
    }
}

// The trace texts of the two kinds of freeze: the whole-area freeze prints its index as
// a long, the per-variable freezes as an int; the text is the same.
void traceBool(long index, int before, int now) { std::fprintf(trace, "%ld B%ld %d:%d\n", cycleNumber(), index, before, now); }
void traceInt(long index, int32_t before, int32_t now) {
    std::fprintf(trace, "%ld I%ld %ld:%ld\n", cycleNumber(), index, static_cast<long>(before), static_cast<long>(now));
}
void traceReal(long index, float before, float now) {
    std::fprintf(trace, "%ld F%ld %g:%g\n", cycleNumber(), index, static_cast<double>(before), static_cast<double>(now));
}
void traceChar(long index, uint8_t before, uint8_t now) {
    if (before > 32 && now > 32)
        std::fprintf(trace, "%ld C%ld %c:%c\n", cycleNumber(), index, before, now);
    else
        std::fprintf(trace, "%ld C%ld %d:%d\n", cycleNumber(), index, before, now);
}

// ---- Booleans ------------------------------------------------------------------------------

// Steps 1 to 3: the change, its mark, its trace line, its count, a data breakpoint.
void detectBoolChange(unsigned char* slot, bool traceLine) {
    const uint8_t b = loadShared(slot);
    const bool differs = debug::boolChanged(b);
    unsigned char* flags = slot + 1;
    markChange(flags, r1::kBoolChangeMarkMask, r1::kBoolChanged, differs);
    if (!differs) return;
    if (traceLine && (b & r1::kBoolTraced) && tracing())
        traceBool(indexIn(mem.boolBase, slot, kBoolSlotSize), (b & kBoolOld) ? 1 : 0, (b & kBoolCurrent) ? 1 : 0);
    ++nbStateModification;
    const uint8_t f = loadShared(flags);
    if (f & r1::kBoolDataBreakpoint) stopUnlessEnding(execstatus);
    if (!(f & r1::kBoolChangedOnce)) debug::setBoolBits(flags, r1::kBoolChangedOnce);
}

// Step 4: edges and old value, or the forced value back; bit 7 as `frozenByModel` says.
void updateBool(unsigned char* slot, bool frozenByModel) {
    debug::updateBoolByte(slot, [frozenByModel](uint8_t b) {
        const uint8_t current = b & kBoolCurrent;
        const uint8_t old = (b & kBoolOld) >> 1;
        uint8_t next = b & static_cast<uint8_t>(~(r1::kBoolRisingEdge | r1::kBoolFallingEdge | r1::kBoolNotFrozenByModel));
        if (b & r1::kBoolForced) {
            next = static_cast<uint8_t>((next & ~kBoolCurrent) | old);
        } else {
            if (current && !old) next |= r1::kBoolRisingEdge;
            if (!current && old) next |= r1::kBoolFallingEdge;
            next = static_cast<uint8_t>((next & ~kBoolOld) | (current << 1));
        }
        if (!frozenByModel) next |= r1::kBoolNotFrozenByModel;
        return next;
    });
}

// True when a boolean's freeze has nothing to do: unchanged, no edge left, bit 7 as
// wanted, and no acknowledged change mark to clear.
bool boolSettled(const unsigned char* slot, uint8_t bit7) {
    const uint8_t b = loadShared(slot);
    const uint8_t f = loadShared(slot + 1);
    return !debug::boolChanged(b) &&
           (b & (r1::kBoolRisingEdge | r1::kBoolFallingEdge | r1::kBoolNotFrozenByModel)) == bit7 &&
           (f & r1::kBoolChangeMarkMask) != r1::kBoolAcknowledged;
}

// True when the eight boolean slots from `slot` on are all settled for the whole-area
// freeze (bit 7 set), tested together; see fourIntsSettled.
#if defined(__SSE2__)
bool eightBoolsSettled(const unsigned char* slot) {
    // Each 16-bit lane is one slot: byte 0 (value, edges, bit 7) and byte 1 (marks).
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot));
    const __m128i changed = _mm_and_si128(_mm_xor_si128(w, _mm_srli_epi16(w, 1)), _mm_set1_epi16(kBoolCurrent));
    constexpr uint8_t kEdgesAndBit7 = r1::kBoolRisingEdge | r1::kBoolFallingEdge | r1::kBoolNotFrozenByModel;
    const __m128i edges = _mm_xor_si128(_mm_and_si128(w, _mm_set1_epi16(kEdgesAndBit7)),
                                        _mm_set1_epi16(r1::kBoolNotFrozenByModel));
    const __m128i quiet = _mm_cmpeq_epi16(_mm_or_si128(changed, edges), _mm_setzero_si128());
    const __m128i mark = _mm_and_si128(w, _mm_set1_epi16(static_cast<int16_t>(r1::kBoolChangeMarkMask << 8)));
    const __m128i acknowledged = _mm_cmpeq_epi16(mark, _mm_set1_epi16(static_cast<int16_t>(r1::kBoolAcknowledged << 8)));
    return _mm_movemask_epi8(_mm_andnot_si128(acknowledged, quiet)) == 0xFFFF;
}
#else
bool eightBoolsSettled(const unsigned char* slot) {
    for (int k = 0; k < 8; ++k)
        if (!boolSettled(slot + k * kBoolSlotSize, r1::kBoolNotFrozenByModel)) return false;
    return true;
}
#endif

unsigned char* freezeBool(unsigned char* slot) {
    if (boolSettled(slot, 0)) return slot;
    detectBoolChange(slot, true);
    updateBool(slot, true);
    return slot;
}

// The whole-area freeze of one boolean: one that generated code froze since the last
// whole-area freeze is only marked as seen; the others are frozen, their value and edges
// only at a cycle start (flag 1).
void freezeBoolOfArea(unsigned char* slot, int flag) {
    if (boolSettled(slot, r1::kBoolNotFrozenByModel)) return;
    const uint8_t b = loadShared(slot);
    if (!(b & r1::kBoolNotFrozenByModel)) {
        debug::setBoolBits(slot, r1::kBoolNotFrozenByModel);
        return;
    }
    detectBoolChange(slot, flag == 1);
    if (flag != 1) return;
    // Nothing to write when the value stands and no edge is left over.
    if (!debug::boolChanged(b) && !(b & (r1::kBoolRisingEdge | r1::kBoolFallingEdge))) return;
    updateBool(slot, false);
}

// ---- Integers, reals, characters -------------------------------------------------------

// True when a freeze has nothing to do on the slot: its value stands and no acknowledged
// change mark is left to clear. Checked inline, so that the whole-area freeze calls out
// only for the few slots that changed.
[[gnu::always_inline]] inline bool intSettled(const unsigned char* slot) {
    const auto* words = reinterpret_cast<const int32_t*>(slot);
    return loadShared(words) == loadShared(words + 1) &&
           (loadShared(slot + r1::kIntFlagsOffset) & r1::kIntChangeMarkMask) != r1::kIntAcknowledged;
}
[[gnu::always_inline]] inline bool realSettled(const unsigned char* slot) {
    const auto* words = reinterpret_cast<const float*>(slot);
    return loadShared(words) == loadShared(words + 1) &&
           (loadShared(slot + r1::kRealFlagsOffset) & r1::kChangeMarkMask) != r1::kAcknowledged;
}
[[gnu::always_inline]] inline bool charSettled(const unsigned char* slot) {
    return loadShared(slot) == loadShared(slot + kCharOldOffset) &&
           (loadShared(slot + r1::kCharFlagsOffset) & r1::kChangeMarkMask) != r1::kAcknowledged;
}

// True when the four integer slots from `slot` on are settled, tested together: the
// whole-area freeze walks every slot of the program in every cycle, and nearly all of
// them stand. Each 16-byte load covers one slot and the first word of the next, so the
// caller makes sure a fifth slot follows. A slot a supervisor writes meanwhile is caught
// by the exact test of the slot, or at the next cycle, as with a slot-by-slot walk.
#if defined(__SSE2__)
bool fourIntsSettled(const unsigned char* slot) {
    const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot));
    const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot + kIntSlotSize));
    const __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot + 2 * kIntSlotSize));
    const __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot + 3 * kIntSlotSize));
    const __m128i lo01 = _mm_unpacklo_epi32(x0, x1), lo23 = _mm_unpacklo_epi32(x2, x3);
    const __m128i hi01 = _mm_unpackhi_epi32(x0, x1), hi23 = _mm_unpackhi_epi32(x2, x3);
    const __m128i now = _mm_unpacklo_epi64(lo01, lo23);
    const __m128i before = _mm_unpackhi_epi64(lo01, lo23);
    const __m128i flagWords = _mm_unpacklo_epi64(hi01, hi23);  // bytes 8 to 11 of each slot
    constexpr int kShift = 8 * (r1::kIntFlagsOffset - r1::kIntTracedOffset);
    const __m128i mark = _mm_and_si128(flagWords, _mm_set1_epi32(r1::kIntChangeMarkMask << kShift));
    const __m128i acknowledged = _mm_cmpeq_epi32(mark, _mm_set1_epi32(r1::kIntAcknowledged << kShift));
    const __m128i settled = _mm_andnot_si128(acknowledged, _mm_cmpeq_epi32(now, before));
    return _mm_movemask_epi8(settled) == 0xFFFF;
}
#else
bool fourIntsSettled(const unsigned char* slot) {
    return intSettled(slot) && intSettled(slot + kIntSlotSize) && intSettled(slot + 2 * kIntSlotSize) &&
           intSettled(slot + 3 * kIntSlotSize);
}
#endif

unsigned char* freezeIntBytes(unsigned char* slot) {
    auto* words = reinterpret_cast<int32_t*>(slot);
    const int32_t now = loadShared(words);
    const int32_t before = loadShared(words + 1);
    const bool differs = now != before;
    unsigned char* flags = slot + r1::kIntFlagsOffset;
    if (!differs && (loadShared(flags) & r1::kIntChangeMarkMask) != r1::kIntAcknowledged) return slot;
    markChange(flags, r1::kIntChangeMarkMask, r1::kIntChanged, differs);
    if (!differs) return slot;
    if (loadShared(slot + r1::kIntTracedOffset) != 0 && tracing())
        traceInt(indexIn(mem.intBase, slot, kIntSlotSize), before, now);
    ++nbStateModification;
    if (words == execstatus) QV_hook(words);
    if (loadShared(flags) & r1::kIntForced)
        storeShared(words, before);
    else
        storeShared(words + 1, now);
    return slot;
}

unsigned char* freezeRealBytes(unsigned char* slot) {
    auto* words = reinterpret_cast<int32_t*>(slot);
    const int32_t nowBits = loadShared(words);
    const int32_t beforeBits = loadShared(words + 1);
    const auto now = std::bit_cast<float>(nowBits);
    const auto before = std::bit_cast<float>(beforeBits);
    const bool differs = !(now == before);  // a NaN always differs
    unsigned char* flags = slot + r1::kRealFlagsOffset;
    if (!differs && (loadShared(flags) & r1::kChangeMarkMask) != r1::kAcknowledged) return slot;
    markChange(flags, r1::kChangeMarkMask, r1::kChanged, differs);
    if (!differs) return slot;
    if ((loadShared(flags) & r1::kTraced) && tracing()) traceReal(indexIn(mem.realBase, slot, kRealSlotSize), before, now);
    ++nbStateModification;
    if (loadShared(flags) & r1::kForced)
        storeShared(words, beforeBits);
    else
        storeShared(words + 1, nowBits);
    return slot;
}

// True when the five character slots from `slot` on are all settled, tested together;
// the 16-byte load reaches one byte into a sixth slot, which the caller makes sure
// follows. See fourIntsSettled.
#if defined(__SSE2__)
bool fiveCharsSettled(const unsigned char* slot) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot));
    // Byte 3k of each vector below belongs to slot k.
    const __m128i standing = _mm_cmpeq_epi8(v, _mm_srli_si128(v, kCharOldOffset));
    const __m128i mark = _mm_and_si128(_mm_srli_si128(v, r1::kCharFlagsOffset), _mm_set1_epi8(r1::kChangeMarkMask));
    const __m128i acknowledged = _mm_cmpeq_epi8(mark, _mm_set1_epi8(r1::kAcknowledged));
    constexpr int kSlotBytes = 0b1001001001001;  // bytes 0, 3, 6, 9, 12
    return (_mm_movemask_epi8(_mm_andnot_si128(acknowledged, standing)) & kSlotBytes) == kSlotBytes;
}
#else
bool fiveCharsSettled(const unsigned char* slot) {
    for (int k = 0; k < 5; ++k)
        if (!charSettled(slot + k * kCharSlotSize)) return false;
    return true;
}
#endif

unsigned char* freezeCharBytes(unsigned char* slot) {
    const uint8_t now = loadShared(slot);
    const uint8_t before = loadShared(slot + kCharOldOffset);
    const bool differs = now != before;
    unsigned char* flags = slot + r1::kCharFlagsOffset;
    if (!differs && (loadShared(flags) & r1::kChangeMarkMask) != r1::kAcknowledged) return slot;
    markChange(flags, r1::kChangeMarkMask, r1::kChanged, differs);
    if (!differs) return slot;
    if ((loadShared(flags) & r1::kTraced) && tracing()) traceChar(indexIn(mem.charBase, slot, kCharSlotSize), before, now);
    ++nbStateModification;
    if (loadShared(flags) & r1::kForced)
        storeShared(slot, before);
    else
        storeShared(slot + kCharOldOffset, now);
    return slot;
}

// ---- Arrays: element k after a header of two slots (three for strings) ------------------

unsigned char* boolElement(unsigned char* array, int k) { return array + kBoolSlotSize * (2 + k); }
unsigned char* wordElement(void* array, int k) { return static_cast<unsigned char*>(array) + kIntSlotSize * (2 + k); }
unsigned char* charElement(unsigned char* array, int k) { return array + kCharSlotSize * (3 + k); }

// ---- The whole-area freeze -------------------------------------------------------------

// The program's range [first, end) of an area, held within the area's slots.
struct Range {
    int32_t first;
    int32_t end;
};
Range rangeOf(int area, int32_t first, int32_t end) {
    const int32_t count = memSize[area] < 0 ? 0 : memSize[area];
    if (first < 0) first = 0;
    if (end > count) end = count;
    return {first, end < first ? first : end};
}

void freezeBoolArea(int flag) {
    const Range bools = rangeOf(kAreaBool, minBool, maxBool);
    int32_t i = bools.first;
    for (; i + 8 <= bools.end; i += 8) {
        if (eightBoolsSettled(boolSlot(mem.boolBase, i))) continue;
        for (int32_t k = i; k < i + 8; ++k) freezeBoolOfArea(boolSlot(mem.boolBase, k), flag);
    }
    for (; i < bools.end; ++i) freezeBoolOfArea(boolSlot(mem.boolBase, i), flag);
}

// The slots of an area one by one, freezing those that are not settled.
template <bool (*settled)(const unsigned char*), unsigned char* (*freeze)(unsigned char*)>
void freezeSlots(unsigned char* base, int32_t slotSize, int32_t first, int32_t end) {
    for (int32_t i = first; i < end; ++i) {
        unsigned char* slot = base + static_cast<std::ptrdiff_t>(i) * slotSize;
        if (!settled(slot)) freeze(slot);
    }
}

// The slots of an area `group` at a time while the group test can read them (its loads
// reach into the slot after the group, which must be there too), the rest one by one.
template <int group, bool (*groupSettled)(const unsigned char*), bool (*settled)(const unsigned char*),
          unsigned char* (*freeze)(unsigned char*)>
void freezeSlotsInGroups(unsigned char* base, int32_t slotSize, Range range) {
    int32_t i = range.first;
    for (; i + group < range.end; i += group)
        if (!groupSettled(base + static_cast<std::ptrdiff_t>(i) * slotSize))
            freezeSlots<settled, freeze>(base, slotSize, i, i + group);
    freezeSlots<settled, freeze>(base, slotSize, i, range.end);
}

void freezeIntArea() {
    freezeSlotsInGroups<4, fourIntsSettled, intSettled, freezeIntBytes>(mem.intBase, kIntSlotSize,
                                                                        rangeOf(kAreaInt, minInt, maxInt));
}

void freezeRealArea() {
    const Range reals = rangeOf(kAreaReal, minFloat, maxFloat);
    freezeSlots<realSettled, freezeRealBytes>(mem.realBase, kRealSlotSize, reals.first, reals.end);
}

void freezeCharArea() {
    freezeSlotsInGroups<5, fiveCharsSettled, charSettled, freezeCharBytes>(mem.charBase, kCharSlotSize,
                                                                           rangeOf(kAreaChar, minChar, maxChar));
}

}  // namespace
}  // namespace qv

extern "C" {

unsigned char* QV_freeze_bool(unsigned char* slot) { return qv::freezeBool(slot); }
int32_t* QV_freeze_int(int32_t* slot) {
    qv::freezeIntBytes(reinterpret_cast<unsigned char*>(slot));
    return slot;
}
float* QV_freeze_float(float* slot) {
    qv::freezeRealBytes(reinterpret_cast<unsigned char*>(slot));
    return slot;
}
unsigned char* QV_freeze_char(unsigned char* slot) { return qv::freezeCharBytes(slot); }

void QV_freeze_bool_array(unsigned char* array, int n) {
    for (int k = 0; k < n; ++k) qv::freezeBool(qv::boolElement(array, k));
}
void QV_freeze_int_array(int32_t* array, int n) {
    for (int k = 0; k < n; ++k) qv::freezeIntBytes(qv::wordElement(array, k));
}
void QV_freeze_float_array(float* array, int n) {
    for (int k = 0; k < n; ++k) qv::freezeRealBytes(qv::wordElement(array, k));
}
void QV_freeze_char_array(unsigned char* array, int n) {
    for (int k = 0; k < n; ++k) qv::freezeCharBytes(qv::charElement(array, k));
}

// Flag 1 at every cycle start and at the end, 0 at start-up and at every poll while
// stopped. The count of modifications is the count of this freeze.
void QV_freeze_memory(int flag) {
    using namespace qv;
    if (mem.boolBase == nullptr) return;
    nbStateModification = 0;
    manageTraceStart();
    freezeBoolArea(flag);
    freezeIntArea();
    freezeRealArea();
    freezeCharArea();
}

}  // extern "C"

#endif  // QV_REVISION == 1
