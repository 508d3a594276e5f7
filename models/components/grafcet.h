// The vocabulary of the grafcet models: how a model names its variables, reads and
// writes them, and describes its grafcets (transitions, forcing orders, actions) as
// plain constant tables that the leaf scheme runs.
//
// A model variable is a global pointer to a slot of the image (`bistable_cylinder_DR`,
// `bistable_cylinder__X_10`). The tables hold the addresses of those globals (`Var`),
// so they are constants while the slots they lead to are rebound at every call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/debug/qv_debug.h"
#include "runtime/executive/slots.h"
#include "stdlib/function_blocks.h"

namespace qv::models {

// ---- Variables ------------------------------------------------------------------

// The address of a model's boolean pointer (a step, flag, input or output).
using Var = unsigned char**;
// The address of a model's integer pointer (a TIME constant or a timer variable).
using IntVar = int32_t**;

// A variable that the model reads but does not write: an input, or an output of a
// sibling instance. Revision 1 reads these through the value of the last freeze.
inline bool in(const unsigned char* slot) {
    if constexpr (kRevision == 1) return (loadShared(slot) & kBoolOld) != 0;
    return (loadShared(slot) & kBoolCurrent) != 0;
}

// A variable that the model writes itself: a step activity, a flag or an output.
inline bool on(const unsigned char* slot) { return (loadShared(slot) & kBoolCurrent) != 0; }

// Writes the current value only, leaving the old value and the forced flag alone. A
// change is one atomic update of the byte, so a supervisor forcing the variable at that
// moment is never overwritten; an unchanged value costs a plain read.
inline void assign(unsigned char* slot, bool value) {
    const bool current = (loadShared(slot) & kBoolCurrent) != 0;
    if (value && !current) __atomic_fetch_or(slot, kBoolCurrent, __ATOMIC_RELAXED);
    if (!value && current) __atomic_fetch_and(slot, static_cast<uint8_t>(~kBoolCurrent), __ATOMIC_RELAXED);
}
inline void set(unsigned char* slot) { assign(slot, true); }
inline void reset(unsigned char* slot) { assign(slot, false); }

// A latched flag: set when its condition holds, cleared only by an acknowledgement.
inline void latch(unsigned char* slot, bool condition) {
    if (condition) set(slot);
}

// Element k (from 1) of a BOOL array variable: two header slots, then the elements.
inline unsigned char* element(unsigned char* array, int32_t k) { return boolSlot(array, 1 + k); }

// An on-delay timer with a step activity (or any own variable) as its input.
inline bool ton(const unsigned char* input, int32_t* preset, int32_t* elapsed, int32_t* memo) {
    return ton_Q(on(input) ? 1 : 0, preset, elapsed, memo) != 0;
}

// ---- Instance slots ----------------------------------------------------------------

// A boolean instance variable at a fixed slot from the instance's first boolean slot.
// `length` is 12 for a BOOL array of 10 (two header slots). PREV slots do not exist in
// revision 1, where a step's falling edge is read from the step slot itself.
struct BoolVariable {
    const char* name;
    Var var;
    int32_t slot;
    int32_t length = 1;
    bool prev = false;
};

enum class IntKind : uint8_t { TimeConstant, TimerElapsed, TimerMemo };

// An integer instance variable at a fixed slot from the instance's first integer slot.
// TIME values take four slots (two header slots, days, ticks of 100 us).
struct IntVariable {
    const char* name;
    IntVar var;
    int32_t slot;
    IntKind kind;
    int32_t ticks = 0;  // the value of a TIME constant
};

inline constexpr int32_t kTimeSlots = 4;
// Revision 1 writes this into the first header slot of every TIME variable and timer.
inline constexpr int32_t kTimeHeaderValue = 2;

constexpr int32_t slotsOf(const IntVariable& v) { return v.kind == IntKind::TimerMemo ? 1 : kTimeSlots; }

// The ticks element (slot 3, current value) of a TIME variable.
inline int32_t* timeTicks(int32_t* time) { return nextIntSlot(time, 3); }

struct InstanceSlots {
    int32_t bools;
    int32_t ints;
    friend constexpr bool operator==(const InstanceSlots&, const InstanceSlots&) = default;
};

// Slots of one instance in the given revision. Revision 1 has no PREV slots, which every
// model keeps last among its booleans.
constexpr InstanceSlots instanceSlots(std::span<const BoolVariable> bools, std::span<const IntVariable> ints,
                                      int revision) {
    InstanceSlots n{0, 0};
    for (const BoolVariable& v : bools)
        if (!(v.prev && revision == 1) && v.slot + v.length > n.bools) n.bools = v.slot + v.length;
    for (const IntVariable& v : ints)
        if (v.slot + slotsOf(v) > n.ints) n.ints = v.slot + slotsOf(v);
    return n;
}

// A variable of the model's interface, in binding order (booleans).
struct NamedVar {
    const char* name;
    Var var;
};

// An integer variable of the model's interface, in binding order.
struct NamedIntVar {
    const char* name;
    IntVar var;
};

// An integer variable read through its old value in revision 1 (written by another
// instance or by the supervisor), through its current value otherwise.
inline int32_t inInt(const int32_t* slot) {
    if constexpr (kRevision == 1) return loadShared(slot + 1);
    return loadShared(slot);
}

// The 16-bit value of an INT, as generated code compares and copies it.
inline int16_t int16(int32_t value) { return static_cast<int16_t>(value); }

// ---- Grafcets ------------------------------------------------------------------------

using Guard = bool (*)();

// A step of a grafcet: its activity variable and its number, the location that a
// breakpoint on the step names.
struct Step {
    Var var;
    int32_t number;
};

// Fires from `from` to `to` when `from` is active and the receptivity holds.
struct Transition {
    Var from;
    Var to;
    Guard receptivity;
};

inline constexpr std::size_t kMaxOutputsPerStep = 2;
inline constexpr std::size_t kMaxSituation = 2;
inline constexpr std::size_t kMaxTransitions = 12;
inline constexpr std::size_t kMaxForcedGrafcets = 2;

// Outputs set while `step` is active and cleared on its falling edge, seen on `prev`
// (its activity at the end of the previous evolution).
struct Action {
    Var step;
    Var prev;
    std::array<Var, kMaxOutputsPerStep> outputs;
};

// While `step` is active and `when` holds (always, when null), the grafcet whose flag is
// `flag` is forced to `situation`: the listed steps set, all its other steps cleared.
// An empty situation is allowed.
struct ForcingOrder {
    Var step;
    Guard when;
    Var flag;
    std::array<Var, kMaxSituation> situation;
};

struct Grafcet {
    const char* name;
    std::span<const Step> steps;
    std::span<const Transition> transitions;
    std::span<const Action> actions;
    Var forcingFlag = nullptr;  // `_FORCING_G<g>` of a forced grafcet
};

// A step's PREV slot, copied from the step at the end of each evolution.
struct PrevSlot {
    Var step;
    Var prev;
};

// A leaf model: its interface, its instance slots and its grafcets, in the order that
// the leaf scheme runs them.
struct LeafModel {
    const char* name;
    std::span<const NamedVar> interface;
    std::span<const BoolVariable> bools;
    std::span<const IntVariable> ints;
    InstanceSlots slots;  // instanceSlots(bools, ints, kRevision)
    std::span<const Var> initialSteps;
    Grafcet supervision;  // the grafcet that issues the forcing orders
    std::span<const ForcingOrder> forcingOrders;
    std::span<const Grafcet* const> forced;
    void (*equations)();
    std::span<const PrevSlot> prevSlots;  // copy order
    std::span<const Var> outputs;         // posting order
    std::span<const NamedIntVar> intInterface = {};  // integers, binding order
    std::span<const IntVar> intOutputs = {};         // integer outputs, published before the booleans
};

// Compile-time checks of a model's tables: slots that do not overlap, every action's
// PREV slot among the copied ones, and tables within the scheme's fixed capacities.
constexpr bool wellFormed(const LeafModel& m) {
    if (m.slots != instanceSlots(m.bools, m.ints, kRevision)) return false;
    for (std::size_t i = 0; i < m.bools.size(); ++i)
        for (std::size_t j = i + 1; j < m.bools.size(); ++j) {
            const BoolVariable& a = m.bools[i];
            const BoolVariable& b = m.bools[j];
            if (a.slot < b.slot + b.length && b.slot < a.slot + a.length) return false;
            if (!a.prev && b.prev && b.slot < a.slot) return false;  // PREV slots come last
        }
    for (std::size_t i = 0; i < m.ints.size(); ++i)
        for (std::size_t j = i + 1; j < m.ints.size(); ++j) {
            const IntVariable& a = m.ints[i];
            const IntVariable& b = m.ints[j];
            if (a.slot < b.slot + slotsOf(b) && b.slot < a.slot + slotsOf(a)) return false;
        }
    auto copied = [&m](Var prev) {
        for (const PrevSlot& p : m.prevSlots)
            if (p.prev == prev) return true;
        return false;
    };
    // Models that exist in revision 1 only have no PREV slots at all.
    // Every transition's target has a number (the breakpoint location of its step).
    auto numbered = [](const Grafcet& g, Var step) {
        for (const Step& s : g.steps)
            if (s.var == step && s.number > 0) return true;
        return false;
    };
    auto actionsCopied = [&](const Grafcet& g) {
        if (g.transitions.size() > kMaxTransitions) return false;
        for (const Transition& t : g.transitions)
            if (!numbered(g, t.to)) return false;
        for (const Action& a : g.actions)
            if (a.prev == nullptr ? kRevision != 1 : !copied(a.prev)) return false;
        return true;
    };
    if (!actionsCopied(m.supervision) || m.forced.size() > kMaxForcedGrafcets) return false;
    for (const Grafcet* g : m.forced)
        if (g->forcingFlag == nullptr || !actionsCopied(*g)) return false;
    for (const ForcingOrder& f : m.forcingOrders) {
        bool known = false;
        for (const Grafcet* g : m.forced) known = known || g->forcingFlag == f.flag;
        if (!known) return false;
    }
    return true;
}

}  // namespace qv::models
