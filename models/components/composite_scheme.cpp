// Composite start-up and evolution.
#include "models/components/composite_scheme.h"

namespace qv::models {
namespace {

constexpr int32_t kSlotSizes[kAreaCount] = {kBoolSlotSize, kIntSlotSize, kRealSlotSize, kCharSlotSize};

unsigned char* QV_Bases::*const kAreaBase[kAreaCount] = {&QV_Bases::boolBase, &QV_Bases::intBase,
                                                          &QV_Bases::realBase, &QV_Bases::charBase};

// Slots between `from` and `to`, per area.
void recordOffsets(int32_t* record, const QV_Bases& from, const QV_Bases& to) {
    for (int area = 0; area < kAreaCount; ++area)
        record[area] = static_cast<int32_t>((to.*kAreaBase[area] - from.*kAreaBase[area]) / kSlotSizes[area]);
}

}  // namespace

QV_Bases movedBy(const QV_Bases& base, const int32_t* slots) {
    QV_Bases moved = base;
    for (int area = 0; area < kAreaCount; ++area)
        moved.*kAreaBase[area] += static_cast<intptr_t>(slots[area]) * kSlotSizes[area];
    return moved;
}

int32_t initialiseComposite(const CompositeModel& c) {
    const QV_Bases base = self;
    self = movedBy(base, c.ownSlots.data());
    for (const SubInstance& i : c.instances) {
        recordOffsets(i.offset, base, self);
        i.bindInterface(base);
        i.init();
    }
    recordOffsets(c.offsetEnd, base, self);
    return 0;
}

int32_t evolveComposite(const CompositeModel& c) {
    const QV_Bases base = self;
    self = movedBy(base, c.instances.empty() ? c.ownSlots.data() : c.instances.front().offset);
    for (const SubInstance& i : c.instances) {
        ++self_num;
        // A model type with a single instance keeps its wiring after the first call.
        if (*i.modelNum != self_num) {
            *i.modelNum = self_num;
            i.bindInterface(base);
        }
        const int32_t result = i.step();
        if (result != 0) return result;
    }
    self = movedBy(base, c.offsetEnd);
    return 0;
}

}  // namespace qv::models
