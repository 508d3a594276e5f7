// Cycle statistics published in the image after every cycle.
#include <cstring>

#include "runtime/executive/executive.h"

extern "C" {
int32_t nbStateModification = 0;
}

namespace qv {

CycleStatistics cycleStatistics = {{}, 0, kRevision == 3 ? 0 : 1};

void resetCycleStatistics() {
    std::memset(cycleStatistics.tab, 0, sizeof cycleStatistics.tab);
    cycleStatistics.count = 0;
    cycleStatistics.nb = kRevision == 3 ? 0 : 1;
}

void updateCycleStatistics(uint32_t elapsed) {
    CycleStatistics& s = cycleStatistics;
    // The counter slot is in the image, so any value may be found there.
    const int64_t c = loadShared(cycleCounterSlot());
    if constexpr (kRevision == 3) {
        if (s.nb == 0) {  // the first cycle after start-up is not measured
            s.nb = 1;
            return;
        }
    }
    if constexpr (kRevision == 2) {
        if (c == 0) return;
    }
    if (s.nb == 1) {
        std::memset(s.tab, 0, sizeof s.tab);
        storeShared(mxmeanvariablemodification, 0.0f);
        storeShared(mxminvariablemodification, 10000000.0f);
        storeShared(mxmaxvariablemodification, 0.0f);
    }
    const int64_t position = kRevision == 3 ? c - 1 : c;
    const auto k = static_cast<std::size_t>(((position % 100) + 100) % 100);
    s.count += static_cast<int64_t>(elapsed) - static_cast<int64_t>(s.tab[k]);
    s.tab[k] = elapsed;
    storeShared(realsimuperiod, static_cast<float>(static_cast<double>(s.count) / s.nb));
    if (s.nb < 100) ++s.nb;

    const auto e = static_cast<float>(elapsed);
    const float minimum = loadShared(minsimuperiod);
    if (minimum == 0.0f || minimum > e) storeShared(minsimuperiod, e);
    if (e > loadShared(maxsimuperiod)) storeShared(maxsimuperiod, e);

    // A running mean over all cycles, weighted by the cycle counter.
    const long double n = nbStateModification;
    const long double mean = loadShared(mxmeanvariablemodification);
    const long double weight = kRevision == 3 ? static_cast<long double>(c - 1) : static_cast<long double>(c);
    if (weight + 1 != 0) storeShared(mxmeanvariablemodification, static_cast<float>((weight * mean + n) / (weight + 1)));
    if (loadShared(mxminvariablemodification) > n) storeShared(mxminvariablemodification, static_cast<float>(n));
    if (n > loadShared(mxmaxvariablemodification)) storeShared(mxmaxvariablemodification, static_cast<float>(n));
}

}  // namespace qv

#if QV_REVISION == 2
extern "C" void QV_statistic(uint32_t elapsed) { qv::updateCycleStatistics(elapsed); }
#endif
