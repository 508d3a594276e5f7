// Describing a plant's changes.
#include "supervisor/plant/plant_events.h"

#include <cmath>

namespace qv::ctl {

namespace {
std::string cylinderState(const plant::CylinderPlant& c) {
    if (plant::cylinderExtended(c.cylinder)) return c.wiring->extendedWord;
    if (plant::cylinderRetracted(c.cylinder)) return c.wiring->retractedWord;
    return "moving";
}
std::string vacuumState(const plant::VacuumPlant& v) { return v.vacuum.switchOn ? "on" : "off"; }
}  // namespace

std::vector<std::string> plantStates(const plant::Plant& plant) {
    std::vector<std::string> states;
    for (const plant::CylinderPlant& c : plant.cylinders()) states.push_back(cylinderState(c));
    for (const plant::VacuumPlant& v : plant.vacuums()) states.push_back(vacuumState(v));
    return states;
}

std::vector<std::string> plantEvents(const plant::Plant& plant, const std::vector<std::string>& before) {
    std::vector<std::string> events;
    std::size_t k = 0;
    for (const plant::CylinderPlant& c : plant.cylinders()) {
        const std::string now = cylinderState(c);
        if (k < before.size() && now != before[k]) {
            const std::string name = c.wiring->name;
            events.push_back(now == "moving" ? name + " leaves " + before[k] : name + " " + now);
        }
        ++k;
    }
    for (const plant::VacuumPlant& v : plant.vacuums()) {
        const std::string now = vacuumState(v);
        if (k < before.size() && now != before[k]) {
            const std::string name = v.wiring->name;
            const std::string which = v.wiring->vacuumSwitch != nullptr ? std::string(" (") + v.wiring->vacuumSwitch + ")" : "";
            events.push_back(now == "on" ? name + " holds" + which : name + " released" + which);
        }
        ++k;
    }
    return events;
}

std::string cylinderPosition(const plant::CylinderPlant& c) {
    const std::string state = cylinderState(c);
    if (state != "moving") return state;
    return "moving, " + std::to_string(static_cast<int>(std::lround(c.cylinder.position * 100.0))) + " %";
}

}  // namespace qv::ctl
