// qvctl plant: the machine beside the program, until the program ends.
#include <algorithm>
#include <cstdio>

#include "supervisor/cli/commands.h"
#include "supervisor/core/control.h"
#include "supervisor/core/cycles.h"
#include "supervisor/plant/plant_events.h"

namespace qv::ctl {

int plantCommand(const Options& options, Target& target) {
    if (target.facts == nullptr)
        return fail("image \"" + target.name + "\" holds no program that qvctl knows (" + describeContents(target) + ")");
    if (options.cycles && *options.cycles < 1) return fail("--cycles takes a number of at least 1");
    std::string error;
    std::optional<plant::Plant> plant =
        plant::Plant::wire(target.view, target.facts->program, {options.travelSeconds, options.vacuumSeconds}, error);
    if (!plant) return fail(error);
    plant->writeSensors();
    if (!options.quiet) {
        std::printf("plant of %s on image %s: travel %g s, vacuum %g s\n", target.facts->program, target.name.c_str(),
                    options.travelSeconds, options.vacuumSeconds);
        for (const plant::CylinderPlant& c : plant->cylinders())
            std::printf("  %s %s\n", c.wiring->name, cylinderPosition(c).c_str());
    }
    const int32_t first = readState(target).cycle;
    for (;;) {
        // The image may have shrunk during the wait: touching it past its end would kill qvctl.
        if (std::string problem; !target.view.intact(problem)) return fail(problem);
        const std::vector<std::string> before = options.quiet ? std::vector<std::string>{} : plantStates(*plant);
        if (plant->poll() != 0 && !options.quiet) {
            // A switch the plant works is an input: numbered, as watch numbers it, by the
            // cycle that first sees it.
            const std::optional<int32_t> ran = lastCycle(target, readState(target));
            const int32_t cycle = ran.value_or(firstCycle(target.revision) - 1) + 1;
            for (const std::string& event : plantEvents(*plant, before)) std::printf("cycle %d: %s\n", cycle, event.c_str());
        }
        const ProgramState s = readState(target);
        if (options.cycles && s.cycle - first >= *options.cycles) return kExitDone;
        if (!s.alive) {
            if (!options.quiet) std::printf("no program runs on the image\n");
            return kExitDone;
        }
        // About ten looks per program cycle (1 to 10 ms apart): the program reads the
        // sensors once a cycle, and a look every millisecond made the plant cost several
        // times its program's CPU, the first limit to the cells one machine runs.
        platform::sleepMilliseconds(static_cast<uint32_t>(std::clamp(periodMs(target) / 10.0, 1.0, 10.0)));
    }
}

}  // namespace qv::ctl
