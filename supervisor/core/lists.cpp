// Trace lists and breakpoints in the image, per revision.
#include "supervisor/core/lists.h"

#include <algorithm>

#include "runtime/debug/debug.h"

namespace qv::ctl {

namespace {

// The trace table of an area (revisions 2 and 3).
int32_t traceTableOffset(int area) {
    switch (area) {
        case kAreaBool: return kBoolTraceTableOffset;
        case kAreaInt: return kIntTraceTableOffset;
        case kAreaReal: return kRealTraceTableOffset;
        default: return kCharTraceTableOffset;
    }
}

// The slots that carry a variable's value (a TIME: its days and its ticks).
std::vector<int32_t> valueSlots(const Variable& v) {
    std::vector<int32_t> slots;
    for (int32_t k = 0; k < valueSlotCount(v); ++k) slots.push_back(v.slot + firstValueSlot(v) + k);
    return slots;
}

// Revision 1's traced flag of a slot: its byte and bit (an integer's whole byte 8).
struct Flag {
    int offset;
    uint8_t bit;
};

Flag tracedFlag(int area) {
    switch (area) {
        case kAreaBool: return {0, r1::kBoolTraced};
        case kAreaInt: return {r1::kIntTracedOffset, 0xFF};
        case kAreaReal: return {r1::kRealFlagsOffset, r1::kTraced};
        default: return {r1::kCharFlagsOffset, r1::kTraced};
    }
}

constexpr Flag kDataBreakpointFlag = {1, r1::kBoolDataBreakpoint};

bool flagSet(const Target& target, int area, int32_t slot, Flag flag) {
    const unsigned char* s = target.view.slot(area, slot);
    return s != nullptr && (__atomic_load_n(s + flag.offset, __ATOMIC_RELAXED) & flag.bit) != 0;
}

// Sets (or clears) a flag; Unchanged when it already was.
Change setFlag(const Target& target, int area, int32_t slot, Flag flag, bool on) {
    unsigned char* s = target.view.slot(area, slot);
    if (s == nullptr || flagSet(target, area, slot, flag) == on) return Change::Unchanged;
    // An integer's traced byte is any non-zero value: the supervisor writes 1 or 0.
    if (flag.bit == 0xFF)
        __atomic_store_n(s + flag.offset, static_cast<uint8_t>(on ? 1 : 0), __ATOMIC_RELAXED);
    else if (on)
        __atomic_fetch_or(s + flag.offset, flag.bit, __ATOMIC_RELAXED);
    else
        __atomic_fetch_and(s + flag.offset, static_cast<uint8_t>(~flag.bit), __ATOMIC_RELAXED);
    return Change::Done;
}

std::vector<int32_t> flaggedSlots(const Target& target, int area, Flag flag) {
    std::vector<int32_t> slots;
    for (int32_t i = 0; i < target.view.count(area); ++i)
        if (flagSet(target, area, i, flag)) slots.push_back(i);
    return slots;
}

std::vector<int32_t> tableEntries(const int32_t* table) {
    std::vector<int32_t> entries;
    for (int32_t p = 0; table != nullptr && p < kIndexTableLength; ++p) {
        const int32_t entry = ImageView::read(table + p);
        if (entry == 0) break;
        entries.push_back(entry);
    }
    return entries;
}

bool listed(const int32_t* table, int32_t index) {
    const std::vector<int32_t> entries = tableEntries(table);
    return std::find(entries.begin(), entries.end(), index) != entries.end();
}

// The table operations of the image's revision: revision 3 asks for a snapshot when the
// trace list changes and has breakpoint variants; revision 2 has the plain operations.
enum class Table { Trace, Breakpoints };

Change addToTable(const Target& target, Table kind, int32_t* table, int32_t index) {
    if (listed(table, index)) return Change::Unchanged;
    int done = 0;
    if (target.revision != 3) done = QV_addIndex(index, table);
    else if (kind == Table::Trace) done = addTraceIndex(index, table, target.view.boolSlot(kTracesnapshopSlot));
    else done = QV_addBreakpointIndex(index, table);
    return done ? Change::Done : Change::Full;
}

Change removeFromTable(const Target& target, Table kind, int32_t* table, int32_t index) {
    int done = 0;
    if (target.revision != 3) done = QV_removeIndex(index, table);
    else if (kind == Table::Trace) done = removeTraceIndex(index, table, target.view.boolSlot(kTracesnapshopSlot));
    else done = QV_removeBreakpointIndex(index, table);
    return done ? Change::Done : Change::Unchanged;
}

// The combined outcome of a change to several slots.
Change combine(Change a, Change b) {
    if (a == Change::Full || b == Change::Full) return Change::Full;
    if (a == Change::Done || b == Change::Done) return Change::Done;
    return Change::Unchanged;
}

// ---- Location breakpoint pairs ----------------------------------------------------------

int32_t* countSlot(const Target& target) { return target.view.controlInt(kBpnolineFromExec); }
int32_t* locationSlot(const Target& target, int32_t k) { return target.view.controlInt(kBpnolineFromExec + k); }
int32_t* instanceSlot(const Target& target, int32_t k) { return target.view.controlInt(kBpnoinstanceFromExec + k); }

int32_t pairCount(const Target& target) {
    return std::clamp(ImageView::read(countSlot(target)), 0, kMaxLocationBreakpoints);
}

LocationBreakpoint pairAt(const Target& target, int32_t k) {
    return {ImageView::read(locationSlot(target, k)), ImageView::read(instanceSlot(target, k))};
}

bool emptyPair(LocationBreakpoint p) { return p.location == 0 && p.instance == 0; }
bool samePair(LocationBreakpoint a, LocationBreakpoint b) { return a.location == b.location && a.instance == b.instance; }

}  // namespace

bool listable(const Target& target, const Variable& v, std::string& why) {
    if (v.kind == Kind::Text || v.kind == Kind::String) {
        why = v.name + " is a STRING; trace or watch its characters as C" + std::to_string(v.slot + 3) + ", C" +
              std::to_string(v.slot + 4) + ", ...";
        return false;
    }
    if (target.revision != 1 && v.slot == 0) {
        why = v.name + " is slot 0 of its area, which no index table can hold (0 ends a table)";
        return false;
    }
    return true;
}

Change addTraced(const Target& target, const Variable& v) {
    Change change = Change::Unchanged;
    for (int32_t slot : valueSlots(v)) {
        if (target.revision == 1)
            change = combine(change, setFlag(target, v.area, slot, tracedFlag(v.area), true));
        else
            change = combine(change,
                             addToTable(target, Table::Trace, target.view.indexTable(traceTableOffset(v.area)), slot));
    }
    return change;
}

Change removeTraced(const Target& target, const Variable& v) {
    Change change = Change::Unchanged;
    for (int32_t slot : valueSlots(v)) {
        if (target.revision == 1)
            change = combine(change, setFlag(target, v.area, slot, tracedFlag(v.area), false));
        else
            change = combine(change, removeFromTable(target, Table::Trace,
                                                     target.view.indexTable(traceTableOffset(v.area)), slot));
    }
    return change;
}

std::vector<SlotRef> tracedSlots(const Target& target) {
    std::vector<SlotRef> slots;
    for (int area = 0; area < kAreaCount; ++area) {
        const std::vector<int32_t> list = target.revision == 1
                                              ? flaggedSlots(target, area, tracedFlag(area))
                                              : tableEntries(target.view.indexTable(traceTableOffset(area)));
        for (int32_t slot : list) slots.push_back({area, slot});
    }
    return slots;
}

Change addDataBreakpoint(const Target& target, const Variable& v) {
    if (target.revision == 1) return setFlag(target, kAreaBool, v.slot, kDataBreakpointFlag, true);
    return addToTable(target, Table::Breakpoints, target.view.indexTable(kBoolBreakpointTableOffset), v.slot);
}

Change removeDataBreakpoint(const Target& target, const Variable& v) {
    if (target.revision == 1) return setFlag(target, kAreaBool, v.slot, kDataBreakpointFlag, false);
    return removeFromTable(target, Table::Breakpoints, target.view.indexTable(kBoolBreakpointTableOffset), v.slot);
}

std::vector<int32_t> dataBreakpoints(const Target& target) {
    if (target.revision == 1) return flaggedSlots(target, kAreaBool, kDataBreakpointFlag);
    return tableEntries(target.view.indexTable(kBoolBreakpointTableOffset));
}

// The pair goes into the first empty place of the list, else after its end; the count
// is written last, so the program never counts a place that is still being written.
Change addLocationBreakpoint(const Target& target, LocationBreakpoint pair) {
    const int32_t n = pairCount(target);
    int32_t free = 0;
    for (int32_t k = 1; k <= n; ++k) {
        const LocationBreakpoint p = pairAt(target, k);
        if (samePair(p, pair)) return Change::Unchanged;
        if (free == 0 && emptyPair(p)) free = k;
    }
    if (free == 0 && n == kMaxLocationBreakpoints) return Change::Full;
    const int32_t k = free != 0 ? free : n + 1;
    // While the place is written its instance is 0, which no instance number matches.
    ImageView::write(instanceSlot(target, k), 0);
    ImageView::write(locationSlot(target, k), pair.location);
    ImageView::write(instanceSlot(target, k), pair.instance);
    if (k > n) ImageView::write(countSlot(target), k);
    return Change::Done;
}

// The later pairs move down one place and the count drops last: meanwhile the program
// may see a pair twice, never the removed one after the command.
Change removeLocationBreakpoint(const Target& target, LocationBreakpoint pair) {
    const int32_t n = pairCount(target);
    int32_t k = 1;
    while (k <= n && !samePair(pairAt(target, k), pair)) ++k;
    if (k > n) return Change::Unchanged;
    for (; k < n; ++k) {
        const LocationBreakpoint next = pairAt(target, k + 1);
        ImageView::write(instanceSlot(target, k), 0);
        ImageView::write(locationSlot(target, k), next.location);
        ImageView::write(instanceSlot(target, k), next.instance);
    }
    ImageView::write(instanceSlot(target, n), 0);
    ImageView::write(locationSlot(target, n), 0);
    ImageView::write(countSlot(target), n - 1);
    return Change::Done;
}

std::vector<LocationBreakpoint> locationBreakpoints(const Target& target) {
    std::vector<LocationBreakpoint> pairs;
    for (int32_t k = 1; k <= pairCount(target); ++k) {
        const LocationBreakpoint p = pairAt(target, k);
        if (!emptyPair(p)) pairs.push_back(p);
    }
    return pairs;
}

}  // namespace qv::ctl
