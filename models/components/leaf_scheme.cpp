// One evolution of a leaf model, in the order every leaf follows: bind, clear the forcing
// flags, evaluate all transitions on the situation at entry, let the supervision grafcet
// fire and force, let the grafcets that are not forced fire, actions, equations, PREV
// copies, temporaries, posting, advance.
#include "models/components/leaf_scheme.h"

#include "runtime/debug/debug.h"

extern "C" {
// The walk's state, owned by the model code: the next free slots of the instance being
// visited, that instance's number, and the flag that holds every model body back.
QV_Bases self = {nullptr, nullptr, nullptr, nullptr};
int32_t self_num = 0;
int32_t lv_iteration_step = 0;
}

namespace qv::models {
namespace {

// Pointers are rebound only where they change (a single instance finds them all in
// place), which keeps an evolution's stores to what the model really changes.
template <typename T>
void bind(T** pointer, T* slot) {
    if (*pointer != slot) *pointer = slot;
}

void bindInstance(const LeafModel& m) {
    for (const BoolVariable& v : m.bools) {
        if (kRevision == 1 && v.prev) continue;
        bind(v.var, boolSlot(self.boolBase, v.slot));
    }
    for (const IntVariable& v : m.ints) bind(v.var, intSlot(self.intBase, v.slot));
}

void advancePastInstance(const LeafModel& m) {
    self.boolBase += static_cast<intptr_t>(m.slots.bools) * kBoolSlotSize;
    self.intBase += static_cast<intptr_t>(m.slots.ints) * kIntSlotSize;
}

// ---- Transitions ----------------------------------------------------------------------

struct Firable {
    std::array<bool, kMaxTransitions> transition{};
    bool any = false;
};

// Firability on the situation at entry. Of several transitions leaving one step, the
// first firable one in the table wins.
Firable evaluate(std::span<const Transition> transitions) {
    Firable firable;
    for (std::size_t i = 0; i < transitions.size(); ++i) {
        const Transition& t = transitions[i];
        if (!on(*t.from)) continue;
        bool earlierFires = false;
        if (firable.any)  // only an earlier firable transition can take precedence
            for (std::size_t j = 0; j < i && !earlierFires; ++j)
                earlierFires = firable.transition[j] && transitions[j].from == t.from;
        firable.transition[i] = !earlierFires && t.receptivity();
        firable.any = firable.any || firable.transition[i];
    }
    return firable;
}

// ---- Step activations ---------------------------------------------------------------

// Every step that becomes active is a breakpoint location: the step's number in the
// instance being evolved. breakpoint_st is called only when it would pause, so that
// without breakpoints an evolution writes exactly what it always wrote.
void stepActivated(int32_t number) {
    if (locationBreakpointDue(number, self_num)) breakpoint_st(number, self_num);
}

int32_t numberOf(const Grafcet& g, Var step) {
    for (const Step& s : g.steps)
        if (s.var == step) return s.number;
    return 0;  // wellFormed() rules this out for every model
}

// Sets a step; true when it was inactive.
bool activate(unsigned char* step) {
    if (on(step)) return false;
    set(step);
    return true;
}

// All sources are cleared before any target is set: a step both left and entered stays
// (and is entered again).
void fire(const Grafcet& g, const Firable& firable) {
    if (!firable.any) return;
    const std::span<const Transition> transitions = g.transitions;
    for (std::size_t i = 0; i < transitions.size(); ++i)
        if (firable.transition[i]) reset(*transitions[i].from);
    for (std::size_t i = 0; i < transitions.size(); ++i)
        if (firable.transition[i] && activate(*transitions[i].to)) stepActivated(numberOf(g, transitions[i].to));
}

// ---- Actions ---------------------------------------------------------------------------

// The step was active at the end of the previous evolution and is not now. Revision 1
// has no PREV slots and reads the step's value at the last freeze instead.
bool leftSinceLastEvolution(const Action& a) {
    if constexpr (kRevision == 1) {
        const uint8_t step = loadShared(*a.step);
        return (step & kBoolOld) != 0 && (step & kBoolCurrent) == 0;
    }
    return on(*a.prev) && !on(*a.step);
}

void resetLeftSteps(std::span<const Action> actions) {
    for (const Action& a : actions)
        if (leftSinceLastEvolution(a))
            for (Var output : a.outputs)
                if (output != nullptr) reset(*output);
}

void setActiveSteps(std::span<const Action> actions) {
    for (const Action& a : actions)
        if (on(*a.step))
            for (Var output : a.outputs)
                if (output != nullptr) set(*output);
}

// ---- Forcing ---------------------------------------------------------------------------

const Grafcet& grafcetForcedBy(const LeafModel& m, Var flag) {
    for (const Grafcet* g : m.forced)
        if (g->forcingFlag == flag) return *g;
    return *m.forced.front();  // wellFormed() rules this out for every model
}

bool inSituation(const ForcingOrder& order, const Step& step) {
    for (Var s : order.situation)
        if (s == step.var) return true;
    return false;
}

void applyForcingOrders(const LeafModel& m) {
    for (const ForcingOrder& order : m.forcingOrders) {
        if (!on(*order.step) || (order.when != nullptr && !order.when())) continue;
        set(*order.flag);
        for (const Step& step : grafcetForcedBy(m, order.flag).steps) {
            if (!inSituation(order, step))
                reset(*step.var);
            else if (activate(*step.var))
                stepActivated(step.number);
        }
    }
}

// ---- End of the evolution -----------------------------------------------------------

void copyPrevSlots(std::span<const PrevSlot> prevSlots) {
    if constexpr (kRevision == 1) return;
    for (const PrevSlot& p : prevSlots) assign(*p.prev, on(*p.step));
}

// Posting re-applies a forcing by the supervisor over what the model wrote. Revision 1
// instead freezes its outputs at once when it runs without delay.
void publishOutputs(std::span<const Var> outputs, std::span<const IntVar> intOutputs) {
    if constexpr (kRevision == 1) {
        if (withoutDelay) {
            for (IntVar output : intOutputs) QV_freeze_int(*output);
            for (Var output : outputs) QV_freeze_bool(*output);
        }
    } else {
        for (IntVar output : intOutputs) QV_post_int(*output);
        for (Var output : outputs) QV_post_bool(*output);
    }
}

}  // namespace

void bindInterface(std::span<const NamedVar> interface) {
    for (const NamedVar& v : interface) {
        bind(v.var, self.boolBase);
        self.boolBase += kBoolSlotSize;
    }
}

void bindInterface(std::span<const NamedIntVar> interface) {
    for (const NamedIntVar& v : interface) {
        bind(v.var, reinterpret_cast<int32_t*>(self.intBase));
        self.intBase += kIntSlotSize;
    }
}

int32_t initialiseLeaf(const LeafModel& m) {
    bindInstance(m);
    for (Var step : m.initialSteps) set(*step);
    for (const IntVariable& v : m.ints) {
        if (v.kind == IntKind::TimeConstant) storeShared(timeTicks(*v.var), v.ticks);
        if constexpr (kRevision == 1)
            if (v.kind != IntKind::TimerMemo) storeShared(*v.var, kTimeHeaderValue);
    }
    advancePastInstance(m);
    return 0;
}

int32_t evolveLeaf(const LeafModel& m) {
    if (lv_iteration_step != 0) {
        advancePastInstance(m);
        return 0;
    }
    bindInstance(m);
    for (const Grafcet* g : m.forced) reset(*g->forcingFlag);

    const Firable supervision = evaluate(m.supervision.transitions);
    std::array<Firable, kMaxForcedGrafcets> operation{};
    for (std::size_t k = 0; k < m.forced.size(); ++k) operation[k] = evaluate(m.forced[k]->transitions);

    fire(m.supervision, supervision);
    resetLeftSteps(m.supervision.actions);
    applyForcingOrders(m);
    setActiveSteps(m.supervision.actions);

    for (std::size_t k = 0; k < m.forced.size(); ++k)
        if (!on(*m.forced[k]->forcingFlag)) fire(*m.forced[k], operation[k]);
    for (const Grafcet* g : m.forced) resetLeftSteps(g->actions);
    for (const Grafcet* g : m.forced) setActiveSteps(g->actions);

    m.equations();
    copyPrevSlots(m.prevSlots);
    if (nb_alloc > 0) free_all_alloc();
    publishOutputs(m.outputs, m.intOutputs);
    advancePastInstance(m);
    return 0;
}

}  // namespace qv::models
