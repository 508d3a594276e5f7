// What a person sees of a plant between two steps: a cylinder leaving or reaching an end,
// a vacuum switch closing or opening.
#pragma once

#include <string>
#include <vector>

#include "supervisor/plant/plant.h"

namespace qv::ctl {

// The state words of every actuator of a plant ("retracted", "moving", "on", ...).
std::vector<std::string> plantStates(const plant::Plant& plant);

// One sentence per actuator whose state word changed.
std::vector<std::string> plantEvents(const plant::Plant& plant, const std::vector<std::string>& before);

// Where a cylinder stands, as a person says it: "extended", "retracted" (or its own words
// for the ends) or "moving, 40 %".
std::string cylinderPosition(const plant::CylinderPlant& cylinder);

}  // namespace qv::ctl
