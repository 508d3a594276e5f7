// Timers in simulated time: each instance adds the cycle period once per scan cycle.
#include <cmath>

#include "stdlib/library.h"

namespace {
constexpr double kMaxTicks = 9.223372036854776e18f;  // 2^63, the single-precision constant
constexpr double kZeroPresetWindow = 1.1920929e-7f;   // 2^-23
}  // namespace

extern "C" int ton_Q(int IN, int32_t* PT, int32_t* ET, int32_t* memo) {
    using namespace qv::lib;
    LIBFB_ERR = 0;
    const double pt = static_cast<double>(ticksOf(PT));
    if (pt < 0.0 || pt > kMaxTicks || std::isnan(pt)) {
        element(ET, 0) = 0;
        element(ET, 1) = 0;
        LIBFB_ERR = 1079;
        return 0;
    }
    double e = 0.0;
    if (isTrue(IN)) {
        e = static_cast<double>(ticksOf(ET));
        const int32_t mark = cycleMark();
        if (*memo != mark) {
            e += cyclePeriod() / 100.0;
            *memo = mark;
        }
        if (e > kMaxTicks) e = kMaxTicks;
        if (e > pt) e = pt;
    }
    splitTicks(e, ET);
    const bool presetIsZero = qv::kRevision == 2 ? pt == 0.0 : std::fabs(pt) < kZeroPresetWindow;
    if (presetIsZero) return isTrue(IN) ? 1 : 0;
    return e >= pt ? 1 : 0;
}
