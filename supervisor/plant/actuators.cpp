// The actuators' motion, in simulated seconds.
#include <algorithm>

#include "supervisor/plant/plant.h"

namespace qv::plant {

namespace {
// The fraction of a full travel covered in `seconds`; a travel time of 0 is instant.
double fractionOf(double seconds, double travelSeconds) {
    if (!(seconds > 0.0)) return 0.0;
    if (!(travelSeconds > 0.0)) return 1.0;
    return seconds / travelSeconds;
}
}  // namespace

void stepCylinder(Cylinder& cylinder, bool extendOrder, bool retractOrder, double seconds) {
    const double move = fractionOf(seconds, cylinder.travelSeconds);
    bool extend = extendOrder && !retractOrder;
    bool retract = retractOrder && !extendOrder;
    if (cylinder.springReturn) {
        extend = extendOrder;
        retract = !extendOrder;
    }
    if (extend) cylinder.position = std::min(1.0, cylinder.position + move);
    if (retract) cylinder.position = std::max(0.0, cylinder.position - move);
}

void stepVacuum(Vacuum& vacuum, bool onValve, bool offValve, double seconds) {
    if (onValve && !offValve) vacuum.generating = true;
    if (offValve && !onValve) vacuum.generating = false;
    const double move = fractionOf(seconds, vacuum.delaySeconds);
    if (vacuum.generating)
        vacuum.level = std::min(1.0, vacuum.level + move);
    else
        vacuum.level = std::max(0.0, vacuum.level - move);
    if (vacuum.level >= 1.0) vacuum.switchOn = true;
    if (vacuum.level <= 0.0) vacuum.switchOn = false;
}

}  // namespace qv::plant
