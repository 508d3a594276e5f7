// A plant wired to a program's image: orders read, actuators stepped, switches written,
// once per program cycle.
#include <algorithm>
#include <cmath>

#include "supervisor/plant/plant.h"
#include "supervisor/core/symbols/recognition.h"
#include "supervisor/core/symbols/symbols.h"

namespace qv::plant {

namespace {

constexpr double kDefaultCycleSeconds = 0.05;

// The boolean slot of `name` in a program's table, or -1 for no name; false with a
// message when the name is not a boolean of the image.
bool resolve(const ImageView& image, const symbols::ProgramSymbols& table, const char* name, int32_t& slot,
             std::string& error) {
    slot = -1;
    if (name == nullptr) return true;
    const symbols::Symbol* symbol = symbols::findSymbol(table, name);
    if (symbol == nullptr) {
        error = std::string("the symbol table of ") + table.program + " has no variable " + name;
        return false;
    }
    if (symbol->area != kAreaBool || symbol->type != symbols::Type::Bool) {
        error = std::string(name) + " of " + table.program + " is not a boolean";
        return false;
    }
    if (image.boolSlot(symbol->slot) == nullptr) {
        error = std::string(name) + " of " + table.program + " lies outside the image";
        return false;
    }
    slot = symbol->slot;
    return true;
}

// Whether the image holds `program`, recognised as qvctl recognises it: by the layout,
// the slot counts and the signature, never by a name that a description gives.
bool holds(const ImageView& image, std::string_view program, std::string& error) {
    int32_t counts[kAreaCount];
    for (int area = 0; area < kAreaCount; ++area) counts[area] = image.count(area);
    const int32_t* signature = image.signature();
    const int32_t published = signature == nullptr ? 0 : ImageView::read(signature);
    const symbols::ProgramFacts* found = symbols::recogniseProgram(image.revision(), counts, published);
    if (found != nullptr && program == found->program) return true;
    error = "image \"" + image.name() + "\" does not hold " + std::string(program) +
            " (slot counts " + std::to_string(counts[0]) + " " + std::to_string(counts[1]) + " " +
            std::to_string(counts[2]) + " " + std::to_string(counts[3]) + ", signature " + std::to_string(published) +
            "): the plant plays only a program it recognises";
    return false;
}

}  // namespace

Plant::Plant(const ImageView& image) : image_(&image) {}

std::optional<Plant> Plant::wire(const ImageView& image, std::string_view program, const PlantOptions& options,
                                 std::string& error) {
    const ProgramWiring* wiring = findWiring(program);
    if (wiring == nullptr) {
        error = "no plant simulator for " + std::string(program);
        return std::nullopt;
    }
    const symbols::ProgramSymbols* table = symbols::findProgram(program);
    if (table == nullptr) {
        error = "no symbol table for " + std::string(program);
        return std::nullopt;
    }
    if (!holds(image, program, error)) return std::nullopt;
    Plant plant(image);
    for (const CylinderWiring& w : wiring->cylinders) {
        CylinderPlant c{&w, Cylinder{options.travelSeconds, w.retractOrder == nullptr, 0.0}, -1, -1, -1, -1};
        if (!resolve(image, *table, w.extendOrder, c.extendOrder, error) ||
            !resolve(image, *table, w.retractOrder, c.retractOrder, error) ||
            !resolve(image, *table, w.extendedSwitch, c.extendedSwitch, error) ||
            !resolve(image, *table, w.retractedSwitch, c.retractedSwitch, error))
            return std::nullopt;
        plant.cylinders_.push_back(c);
    }
    for (const VacuumWiring& w : wiring->vacuums) {
        VacuumPlant v{&w, Vacuum{options.vacuumSeconds, false, 0.0, false}, -1, -1, -1};
        if (!resolve(image, *table, w.onValve, v.onValve, error) ||
            !resolve(image, *table, w.offValve, v.offValve, error) ||
            !resolve(image, *table, w.vacuumSwitch, v.vacuumSwitch, error))
            return std::nullopt;
        plant.vacuums_.push_back(v);
    }
    if (const int32_t* counter = image.cycleCounter()) plant.lastCycle_ = ImageView::read(counter);
    return plant;
}

bool Plant::readBool(int32_t slot) const {
    const unsigned char* s = slot < 0 ? nullptr : image_->boolSlot(slot);
    return s != nullptr && (__atomic_load_n(s, __ATOMIC_RELAXED) & kBoolCurrent) != 0;
}

// Only the current value changes, with one atomic operation, so the program's own
// writes to the other bits of the byte are never lost.
void Plant::writeBool(int32_t slot, bool value) const {
    unsigned char* s = slot < 0 ? nullptr : image_->boolSlot(slot);
    if (s == nullptr) return;
    const uint8_t byte = __atomic_load_n(s, __ATOMIC_RELAXED);
    const uint8_t forced = image_->revision() == 1 ? r1::kBoolForced : kBoolForced;
    if ((byte & forced) != 0 || ((byte & kBoolCurrent) != 0) == value) return;
    if (value)
        __atomic_fetch_or(s, kBoolCurrent, __ATOMIC_RELAXED);
    else
        __atomic_fetch_and(s, static_cast<uint8_t>(~kBoolCurrent), __ATOMIC_RELAXED);
}

void Plant::writeSensors() {
    for (const CylinderPlant& c : cylinders_) {
        writeBool(c.extendedSwitch, cylinderExtended(c.cylinder));
        writeBool(c.retractedSwitch, cylinderRetracted(c.cylinder));
    }
    for (const VacuumPlant& v : vacuums_) writeBool(v.vacuumSwitch, v.vacuum.switchOn);
}

void Plant::step(double seconds) {
    for (CylinderPlant& c : cylinders_)
        stepCylinder(c.cylinder, readBool(c.extendOrder), readBool(c.retractOrder), seconds);
    for (VacuumPlant& v : vacuums_) stepVacuum(v.vacuum, readBool(v.onValve), readBool(v.offValve), seconds);
    writeSensors();
}

double Plant::cycleSeconds() const {
    const float* period = image_->simuperiod();
    const double us = period == nullptr ? 0.0 : ImageView::read(period);
    if (!std::isfinite(us) || us <= 0.0 || us > 1e8) return kDefaultCycleSeconds;
    return us / 1e6;
}

// The program publishes its cycle counter at the edge of a cycle; the plant waits a
// fifth of a period (1 to 10 ms) so that it reads the outputs of a finished cycle and
// its switches land between two cycles, never in the middle of one.
int32_t Plant::poll() {
    const int32_t* counter = image_->cycleCounter();
    if (counter == nullptr) return 0;
    const int32_t cycle = ImageView::read(counter);
    const uint64_t now = platform::tickMilliseconds();
    if (cycle != lastCycle_ && !pending_) {
        pending_ = true;
        pendingSince_ = now;
    }
    if (!pending_) return 0;
    const double periodSeconds = cycleSeconds();
    const auto settle = static_cast<uint64_t>(std::clamp(periodSeconds * 200.0, 1.0, 10.0));
    if (now - pendingSince_ < settle) return 0;
    const int64_t elapsed = static_cast<int64_t>(cycle) - lastCycle_;
    // A counter that went back (a restart, or the wrap after 2147483647) counts one cycle.
    const int32_t cycles = elapsed > 0 && elapsed < 1000000 ? static_cast<int32_t>(elapsed) : 1;
    lastCycle_ = cycle;
    pending_ = false;
    step(cycles * periodSeconds);
    return cycles;
}

}  // namespace qv::plant
