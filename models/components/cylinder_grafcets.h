// The grafcets that the bistable and the monostable cylinder share: slots, supervision
// G1, forcing orders, operation G2 and the fault equations. The two models differ only in
// their interface, their actions and the order of their outputs, which each gives in its
// own file. `V` names the model's variables (its global pointers).
#pragma once

#include "models/components/grafcet.h"

namespace qv::models {

// TIME constants, in ticks of 100 us.
inline constexpr int32_t kLongestMovement = 100000;  // TTL, 10 s
inline constexpr int32_t kSensorRelease = 20000;     // Tinertie, 2 s

template <class V>
struct CylinderGrafcets {
    static constexpr BoolVariable kBools[] = {
        {"defaut", &V::defaut, 0, 12},  // BOOL array of 10, elements 1..7 used
        {"_X_10", &V::X_10, 12},
        {"_X_11", &V::X_11, 13},
        {"_X_12", &V::X_12, 14},
        {"_X_20", &V::X_20, 15},
        {"_X_21", &V::X_21, 16},
        {"_X_22", &V::X_22, 17},
        {"_X_23", &V::X_23, 18},
        {"_FORCING_G2", &V::FORCING_G2, 19},
        {"_X_20_PREV", &V::X_20_PREV, 20, 1, true},
        {"_X_21_PREV", &V::X_21_PREV, 21, 1, true},
        {"_X_22_PREV", &V::X_22_PREV, 22, 1, true},
        {"_X_23_PREV", &V::X_23_PREV, 23, 1, true},
    };
    static constexpr IntVariable kInts[] = {
        {"TTL", &V::TTL, 0, IntKind::TimeConstant, kLongestMovement},
        {"Tinertie", &V::Tinertie, 4, IntKind::TimeConstant, kSensorRelease},
        {"t1", &V::t1, 8, IntKind::TimerElapsed},
        {"t2", &V::t2, 12, IntKind::TimerMemo},
        {"t3", &V::t3, 13, IntKind::TimerElapsed},
        {"t4", &V::t4, 17, IntKind::TimerMemo},
        {"t5", &V::t5, 18, IntKind::TimerElapsed},
        {"t6", &V::t6, 22, IntKind::TimerMemo},
        {"t7", &V::t7, 23, IntKind::TimerElapsed},
        {"t8", &V::t8, 27, IntKind::TimerMemo},
    };
    static constexpr InstanceSlots kSlots = instanceSlots(kBools, kInts, kRevision);

    // ---- Supervision G1: 10 initialisation, 11 normal operation, 12 fault --------------

    static constexpr Var kInitialSteps[] = {&V::X_10};
    static constexpr Step kG1Steps[] = {{&V::X_10, 10}, {&V::X_11, 11}, {&V::X_12, 12}};

    static bool stablePosition() { return on(V::X_21) || on(V::X_23); }
    static bool faultOrEmergency() { return on(V::Def_verin) || in(V::AU); }
    static bool fault() { return on(V::Def_verin); }
    static bool acknowledged() { return in(V::ACQ) && !on(V::Def_verin) && !in(V::AU); }

    static constexpr Transition kG1[] = {
        {&V::X_10, &V::X_11, stablePosition},
        {&V::X_10, &V::X_12, faultOrEmergency},
        {&V::X_11, &V::X_12, fault},
        {&V::X_12, &V::X_10, acknowledged},
    };

    // ---- Forcing orders on G2 ----------------------------------------------------------
    // In initialisation G2 takes the position its sensors report (none without a clear
    // report); in the fault step it is held empty, so no order is given.

    static bool sensorsExtended() { return !in(V::CR) && in(V::CS); }
    static bool sensorsRetracted() { return in(V::CR) && !in(V::CS); }

    static constexpr ForcingOrder kForcingOrders[] = {
        {&V::X_10, sensorsExtended, &V::FORCING_G2, {&V::X_21}},
        {&V::X_10, sensorsRetracted, &V::FORCING_G2, {&V::X_23}},
        {&V::X_12, nullptr, &V::FORCING_G2, {}},
    };

    // ---- Operation G2: 20 extending, 21 extended, 22 retracting, 23 retracted ----------

    static constexpr Step kG2Steps[] = {{&V::X_20, 20}, {&V::X_21, 21}, {&V::X_22, 22}, {&V::X_23, 23}};

    static bool retractRequested() { return in(V::DR) && !in(V::DS); }
    static bool extendRequested() { return in(V::DS) && !in(V::DR); }

    static constexpr Transition kG2[] = {
        {&V::X_20, &V::X_21, sensorsExtended},
        {&V::X_20, &V::X_22, retractRequested},
        {&V::X_21, &V::X_22, retractRequested},
        {&V::X_22, &V::X_23, sensorsRetracted},
        {&V::X_22, &V::X_20, extendRequested},
        {&V::X_23, &V::X_20, extendRequested},
    };

    // ---- Fault equations -----------------------------------------------------------------
    // Every timer runs in every evolution, whatever the rest of its equation says.

    static void equations() {
        const bool extendingLongerThanRelease = ton(V::X_20, V::Tinertie, V::t1, V::t2);
        const bool retractingLongerThanRelease = ton(V::X_22, V::Tinertie, V::t3, V::t4);
        const bool extendingTooLong = ton(V::X_20, V::TTL, V::t5, V::t6);
        const bool retractingTooLong = ton(V::X_22, V::TTL, V::t7, V::t8);
        const bool cr = in(V::CR);
        const bool cs = in(V::CS);

        // 1: retracted but CR lost; 2: CR not released in time or seen while extended;
        // 3: extended but CS lost; 4: CS not released in time or seen while retracted;
        // 5, 6: movement too long; 7: both sensors on.
        latch(element(V::defaut, 1), on(V::X_23) && !cr);
        latch(element(V::defaut, 2), (on(V::X_21) && cr) || (cr && extendingLongerThanRelease));
        latch(element(V::defaut, 3), on(V::X_21) && !cs);
        latch(element(V::defaut, 4), (on(V::X_23) && cs) || (cs && retractingLongerThanRelease));
        latch(element(V::defaut, 5), extendingTooLong);
        latch(element(V::defaut, 6), retractingTooLong);
        latch(element(V::defaut, 7), cr && cs);

        bool anyFault = false;
        for (int32_t k = 1; k <= kFaultElements; ++k) anyFault = anyFault || on(element(V::defaut, k));
        latch(V::Def_verin, anyFault);

        if (in(V::ACQ) && on(V::X_12)) {
            for (int32_t k = 1; k <= kFaultElements; ++k) reset(element(V::defaut, k));
            reset(V::Def_verin);
        }
    }
    static constexpr int32_t kFaultElements = 7;

    static constexpr PrevSlot kPrevSlots[] = {
        {&V::X_20, &V::X_20_PREV},
        {&V::X_21, &V::X_21_PREV},
        {&V::X_22, &V::X_22_PREV},
        {&V::X_23, &V::X_23_PREV},
    };
};

}  // namespace qv::models
