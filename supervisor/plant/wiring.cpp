// Which variables of each program drive and report its machine. Names are resolved
// through the program's symbol table when a plant is wired, so a table may come later
// than its wiring.
#include "supervisor/plant/plant.h"

namespace qv::plant {
namespace {

// One double-acting cylinder with both limit switches.
constexpr CylinderWiring kBistableCylinder[] = {
    {"cylinder", "OrdreS", "OrdreR", "CS", "CR", "extended", "retracted"},
};

// The vertical axis and the vacuum of a pick-and-place unit.
constexpr CylinderWiring kPickPlaceAxis[] = {
    {"VZ", "VZS", "VZR", "CR_VZS", "CR_VZR", "down", "up"},
};
constexpr VacuumWiring kPickPlaceVacuum[] = {
    {"vacuum", "VTM", "VTA", "vacuostat"},
};

// A suction cup: its grip and release orders work a vacuum that it does not watch.
constexpr VacuumWiring kSuctionCupVacuum[] = {
    {"suction cup", "OrdreS", "OrdreR", nullptr},
};

// The manipulator cell: three double-acting cylinders place the gripper, a
// spring-return cylinder lowers it (its low switch is the extended end), a vacuum holds
// the part.
constexpr CylinderWiring kCellCylinders[] = {
    {"GX", "EVGXS", "EVGXR", "FCGXS", "FCGXR", "extended", "retracted"},
    {"PX", "EVPXS", "EVPXR", "FCPXS", "FCPXR", "extended", "retracted"},
    {"VR", "EVVRS", "EVVRR", "FCVRS", "FCVRR", "extended", "retracted"},
    {"VZ", "EVVZ", nullptr, "FCVZB", "FCVZH", "down", "up"},
};
constexpr VacuumWiring kCellVacuum[] = {
    {"vacuum", "EVVTM", "EVVTA", "vacuostat"},
};

const ProgramWiring kBistableCylinderWiring = {"bistable_cylinder", kBistableCylinder, {}};
const ProgramWiring kPickPlaceUnitWiring = {"pick_place_unit", kPickPlaceAxis, kPickPlaceVacuum};
const ProgramWiring kSuctionCupWiring = {"suction_cup", {}, kSuctionCupVacuum};
const ProgramWiring kManipulateurWiring = {"manipulateur", kCellCylinders, kCellVacuum};

const ProgramWiring* const kWirings[] = {&kManipulateurWiring, &kBistableCylinderWiring, &kPickPlaceUnitWiring,
                                         &kSuctionCupWiring};

}  // namespace

std::span<const ProgramWiring* const> wirings() { return kWirings; }

const ProgramWiring* findWiring(std::string_view program) {
    for (const ProgramWiring* wiring : kWirings)
        if (program == wiring->program) return wiring;
    return nullptr;
}

}  // namespace qv::plant
