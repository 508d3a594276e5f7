// The leaf scheme: how a leaf model binds its slots, starts and evolves once per scan
// cycle. Every leaf model's `sfp__<model>_init` and `sfp__<model>` are these two
// functions applied to the model's tables.
#pragma once

#include <span>

#include "models/components/grafcet.h"

namespace qv::models {

// Binds the interface pointers of a top model, in binding order, to the next boolean
// slots of `self`, advancing it one slot each.
void bindInterface(std::span<const NamedVar> interface);
// The same for integer interface variables, from the integer base of `self`.
void bindInterface(std::span<const NamedIntVar> interface);

// Start-up: binds the instance's slots, activates the initial steps (bit 0 only), writes
// the TIME constants' ticks and advances `self` past the instance. Returns 0.
int32_t initialiseLeaf(const LeafModel& model);

// One evolution (nothing but the advance of `self` while `lv_iteration_step` is set).
// Returns 0.
int32_t evolveLeaf(const LeafModel& model);

}  // namespace qv::models
