// Plant simulators: the machine that a program controls, played beside it through its
// image. Cylinders move while their orders are given and work their limit switches; a
// vacuum builds and falls with its valves and works its switch. Time is the program's
// simulated time: the plant moves by one cycle period each time the program finishes a
// cycle, so it keeps pace with the model's timers whatever the machine's load.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "supervisor/core/image_view.h"

namespace qv::plant {

// ---- Actuators: plain data stepped in simulated seconds --------------------------------

// A pneumatic cylinder. A double-acting one moves while exactly one of its two orders is
// given and stays where it is otherwise; a single-acting one (spring return) extends
// while its order is given and returns by itself when it drops.
struct Cylinder {
    double travelSeconds = 1.0;  // from one end to the other
    bool springReturn = false;
    double position = 0.0;  // 0 retracted .. 1 extended
};

void stepCylinder(Cylinder& cylinder, bool extendOrder, bool retractOrder, double seconds);

// The limit switches: each is on only while the rod stands at its end, so it releases as
// soon as the rod leaves.
inline bool cylinderRetracted(const Cylinder& cylinder) { return cylinder.position <= 0.0; }
inline bool cylinderExtended(const Cylinder& cylinder) { return cylinder.position >= 1.0; }

// A vacuum generator behind a pair of valves: a pulse of the on-valve starts it, a pulse
// of the off-valve stops it (the valve pair is bistable). The vacuum builds or falls over
// `delaySeconds`; the vacuum switch closes at full vacuum and opens when none is left.
struct Vacuum {
    double delaySeconds = 0.3;
    bool generating = false;
    double level = 0.0;  // 0 none .. 1 full
    bool switchOn = false;
};

void stepVacuum(Vacuum& vacuum, bool onValve, bool offValve, double seconds);

// ---- Wiring: which variables of a program drive and report each actuator ---------------

struct CylinderWiring {
    const char* name;             // as the machine's drawings name it ("GX", "cylinder")
    const char* extendOrder;
    const char* retractOrder;     // null for a spring-return cylinder
    const char* extendedSwitch;   // null when the program has no such input
    const char* retractedSwitch;
    const char* extendedWord;     // how a person says the ends ("extended", "down")
    const char* retractedWord;
};

struct VacuumWiring {
    const char* name;
    const char* onValve;
    const char* offValve;
    const char* vacuumSwitch;  // null when the program has no such input
};

struct ProgramWiring {
    const char* program;
    std::span<const CylinderWiring> cylinders;
    std::span<const VacuumWiring> vacuums;
};

// The wiring of every program that has a plant, and the one of `program` (or null).
std::span<const ProgramWiring* const> wirings();
const ProgramWiring* findWiring(std::string_view program);

// ---- A plant wired to a program's image ---------------------------------------------------

struct PlantOptions {
    double travelSeconds = 1.0;  // every cylinder's travel time
    double vacuumSeconds = 0.3;  // the vacuum's build-up and fall time
};

// An actuator and the boolean slots it is wired to (-1: not wired).
struct CylinderPlant {
    const CylinderWiring* wiring;
    Cylinder cylinder;
    int32_t extendOrder, retractOrder, extendedSwitch, retractedSwitch;
};

struct VacuumPlant {
    const VacuumWiring* wiring;
    Vacuum vacuum;
    int32_t onValve, offValve, vacuumSwitch;
};

class Plant {
public:
    // Wires the plant of `program` to a mapped image through the program's symbol table,
    // every cylinder retracted and no vacuum. Nothing is written yet. The image must hold
    // that program as its layout, slot counts and signature show it: a description that
    // only claims the name would have the plant write its switches into another program's
    // variables. On failure returns nothing and says why in `error`. The image must
    // outlive the plant.
    static std::optional<Plant> wire(const ImageView& image, std::string_view program,
                                     const PlantOptions& options, std::string& error);

    // Writes every switch from the plant's state. A switch that the supervisor forces
    // keeps its forced value.
    void writeSensors();

    // Call it often (every millisecond or so). Once the program has finished a cycle and
    // its outputs have settled, reads the orders, moves the plant by the cycles elapsed
    // and writes the switches. Returns the number of cycles stepped, 0 most of the time.
    int32_t poll();

    // One step now: the orders as they stand, `seconds` of simulated time.
    void step(double seconds);

    std::span<const CylinderPlant> cylinders() const { return cylinders_; }
    std::span<const VacuumPlant> vacuums() const { return vacuums_; }
    std::span<CylinderPlant> cylinders() { return cylinders_; }
    std::span<VacuumPlant> vacuums() { return vacuums_; }

    // The program's cycle period in seconds as the image holds it (50 ms when the image
    // holds nothing usable).
    double cycleSeconds() const;

private:
    explicit Plant(const ImageView& image);
    bool readBool(int32_t slot) const;
    void writeBool(int32_t slot, bool value) const;

    const ImageView* image_;
    std::vector<CylinderPlant> cylinders_;
    std::vector<VacuumPlant> vacuums_;
    int32_t lastCycle_ = 0;
    bool pending_ = false;        // the program finished a cycle that the plant has not stepped
    uint64_t pendingSince_ = 0;   // when it was seen, milliseconds
};

}  // namespace qv::plant
