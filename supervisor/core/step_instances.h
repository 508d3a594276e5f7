// The instances of each program that hold grafcets, with their numbers in the visiting
// order of the model tree (the top model is 1). qvctl, the panel and the Python client
// (through its generated module) all name steps from this one table.
#pragma once

#include <cstdint>
#include <span>

namespace qv::ctl {

struct StepInstance {
    const char* name;    // "" for a top model that is the program's only instance
    int32_t number;
};

struct ProgramStepInstances {
    const char* program;
    std::span<const StepInstance> instances;
};

inline constexpr StepInstance kCellStepInstances[] = {
    {"graf_mdl_manipulateur1", 2}, {"Verin_PX", 5}, {"Verin_VR", 6},  {"Verin_GX", 7},
    {"pick_place_unit1", 9},       {"Verin_VZ", 10}, {"Vent_VT", 11},
};
inline constexpr StepInstance kTopOnlyStepInstances[] = {{"", 1}};

inline constexpr ProgramStepInstances kStepInstances[] = {
    {"manipulateur", kCellStepInstances},
    {"bistable_cylinder", kTopOnlyStepInstances},
    {"pick_place_unit", kTopOnlyStepInstances},
    {"suction_cup", kTopOnlyStepInstances},
};

}  // namespace qv::ctl
