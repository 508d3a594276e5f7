// The composite scheme: a container of instances of other models, each with slots of its
// own, visited depth first. Composites have no grafcets; their own slots carry the
// signals between their sub-instances.
#pragma once

#include <span>

#include "models/components/grafcet.h"

namespace qv::models {

// Four slot counts (boolean, integer, real, character), as the offset records hold them.
using SlotOffsets = int32_t[kAreaCount];

struct CompositeModel;

// A sub-instance: where its slots lie from the composite's base, its model type's
// instance number, how its model type's interface is wired for this instance, and the
// model's two functions.
struct SubInstance {
    const char* name;
    int32_t* offset;    // sfp__<composite>_offset_<instance>
    int32_t* modelNum;  // <model>__num
    // Binds the model type's interface pointers to the composite's own slots (from
    // `composite`, the composite's base) or to the composite's interface variables.
    void (*bindInterface)(const QV_Bases& composite);
    int32_t (*init)();
    int32_t (*step)();
    // The instance's model, for whoever walks the tree by hand (a leaf or a composite).
    const LeafModel* leaf = nullptr;
    const CompositeModel* composite = nullptr;
};

struct CompositeModel {
    const char* name;
    std::array<int32_t, kAreaCount> ownSlots;  // the composite's own variables
    std::span<const SubInstance> instances;    // declaration order
    int32_t* offsetEnd;                        // sfp__<composite>_offset__end
    std::span<const NamedVar> interface = {};        // bound by the parent
    std::span<const NamedIntVar> intInterface = {};
    std::span<const char* const> ownBools = {};      // the names of its own variables, by slot
    std::span<const char* const> ownInts = {};
};

// `base` moved on by a record of slot counts (the character area counts slots of the
// revision's character slot size).
QV_Bases movedBy(const QV_Bases& base, const int32_t* slots);

// Start-up: records every sub-instance's offsets, wires and initialises it, and records
// the composite's total. Leaves `self` past the composite. Returns 0.
int32_t initialiseComposite(const CompositeModel& composite);

// One evolution of every sub-instance in declaration order, each numbered by
// incrementing `self_num`; a sub-instance's nonzero result is returned at once.
int32_t evolveComposite(const CompositeModel& composite);

}  // namespace qv::models
