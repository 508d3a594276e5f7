// qvctl demo: starts a program on an image of its own, plays its machine with the plant
// simulator, drives one whole machine cycle as an operator would and tells what happens,
// cycle by cycle. It succeeds only when the cycle completed.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>

#include "supervisor/cli/commands.h"
#include "supervisor/core/control.h"
#include "supervisor/plant/plant_events.h"
#include "supervisor/core/values.h"

namespace fs = std::filesystem;

namespace qv::ctl {

namespace {

// ---- What the steps of each model mean -------------------------------------------------------

struct StepMeaning {
    const char* model;  // a part of the instance name (or of the program) that names the model
    int step;
    const char* meaning;
};

constexpr StepMeaning kStepMeanings[] = {
    {"manipulateur", 10, "at rest, ready for a cycle"},
    {"manipulateur", 11, "moving to the start position"},
    {"manipulateur", 12, "picking"},
    {"manipulateur", 13, "moving to the arrival position"},
    {"manipulateur", 14, "placing"},
    {"manipulateur", 20, "starting up"},
    {"manipulateur", 21, "in service"},
    {"manipulateur", 22, "fault"},
    {"pick_place", 10, "ready"},
    {"pick_place", 11, "lowering, vacuum on"},
    {"pick_place", 12, "waiting for the vacuum"},
    {"pick_place", 13, "raising the part"},
    {"pick_place", 14, "lowering the part"},
    {"pick_place", 15, "releasing the vacuum"},
    {"pick_place", 16, "raising"},
    {"pick_place", 20, "starting up"},
    {"pick_place", 21, "in service"},
    {"pick_place", 22, "fault"},
    {"Vent", 20, "gripping"},
    {"Vent", 21, "gripped"},
    {"Vent", 22, "releasing"},
    {"Vent", 23, "released"},
    {"suction_cup", 20, "gripping"},
    {"suction_cup", 21, "gripped"},
    {"suction_cup", 22, "releasing"},
    {"suction_cup", 23, "released"},
    {"erin", 20, "extending"},  // Verin_PX, verin_mono, ...
    {"erin", 21, "extended"},
    {"erin", 22, "retracting"},
    {"erin", 23, "retracted"},
    {"cylinder", 20, "extending"},
    {"cylinder", 21, "extended"},
    {"cylinder", 22, "retracting"},
    {"cylinder", 23, "retracted"},
    // The supervision of cylinders and suction cups.
    {"", 10, "starting up"},
    {"", 11, "in service"},
    {"", 12, "fault"},
};

// A step variable of the symbol table: "_X_<n>" or "<instance path>._X_<n>".
struct StepSymbol {
    std::string instance;  // "" for the top model
    int step;
    int32_t slot;
};

std::optional<StepSymbol> stepSymbol(const symbols::Symbol& s) {
    const std::string name = s.name;
    const std::size_t at = name.rfind("_X_");
    if (s.area != kAreaBool || at == std::string::npos || (at != 0 && name[at - 1] != '.')) return std::nullopt;
    const std::string number = name.substr(at + 3);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return StepSymbol{at == 0 ? "" : name.substr(0, at - 1), std::stoi(number), s.slot};
}

// The meaning comes from the instance's own name (the last part of its path), or from
// the program's name for the top model.
std::string describeStep(const std::string& program, const StepSymbol& s) {
    const std::string where = s.instance.empty() ? program : s.instance.substr(s.instance.rfind('.') + 1);
    std::string text = (s.instance.empty() ? "" : s.instance + " ") + std::to_string(s.step);
    for (const StepMeaning& m : kStepMeanings)
        if (where.find(m.model) != std::string::npos && m.step == s.step) return text + " (" + m.meaning + ")";
    return text;
}

// ---- The run ----------------------------------------------------------------------------------

// A boolean variable that the timeline follows, and its value at the last look.
struct Followed {
    std::string name;
    int32_t slot;
    bool value;
};

struct Demo {
    const Options& options;
    std::string program;
    Target& target;
    plant::Plant& plant;
    int32_t firstCycle = 0;
    int32_t cycle = 0;
    std::vector<Followed> orders, sensors, reports;
    std::vector<StepSymbol> steps;
    std::vector<bool> stepActive;

    bool on(const std::string& name) const {
        std::string error;
        std::optional<Variable> v = resolveVariable(target, name, error);
        return v && readValue(target, *v).word != 0;
    }
    void set(const std::string& name, const std::string& value) const {
        std::string error;
        std::optional<Variable> v = resolveVariable(target, name, error);
        if (!v) return;
        if (std::optional<Value> parsed = parseValue(*v, value, error)) setValue(target, *v, *parsed);
    }
    // One event: its cycle, its simulated time and the text, wrapped after a comma when
    // the line would be long.
    void say(const std::string& text) const {
        const double seconds = (cycle - firstCycle) * periodMs(target) / 1000.0;
        constexpr std::size_t kWidth = 76;  // of the text, after the 18 columns of cycle and time
        std::string rest = text;
        std::printf("%6d %7.2f s  ", cycle, seconds);
        while (rest.size() > kWidth) {
            const std::size_t cut = rest.rfind(", ", kWidth);
            if (cut == std::string::npos || cut == 0) break;
            std::printf("%s,\n%22s", rest.substr(0, cut).c_str(), "");
            rest.erase(0, cut + 2);
        }
        std::printf("%s\n", rest.c_str());
    }
};

bool boolAt(const Target& target, int32_t slot) { return (*target.view.boolSlot(slot) & kBoolCurrent) != 0; }

// The variables the timeline follows: the plant's orders and switches, the program's
// other boolean outputs, and every step.
void follow(Demo& demo) {
    std::map<std::string, bool> wired;  // name -> is an order
    for (const plant::CylinderWiring& c : plant::findWiring(demo.program)->cylinders) {
        for (const char* order : {c.extendOrder, c.retractOrder})
            if (order != nullptr) wired[order] = true;
        for (const char* sensor : {c.extendedSwitch, c.retractedSwitch})
            if (sensor != nullptr) wired[sensor] = false;
    }
    for (const plant::VacuumWiring& v : plant::findWiring(demo.program)->vacuums) {
        wired[v.onValve] = true;
        wired[v.offValve] = true;
        if (v.vacuumSwitch != nullptr) wired[v.vacuumSwitch] = false;
    }
    for (const symbols::Symbol& s : demo.target.table->symbols) {
        if (s.area != kAreaBool || demo.target.view.boolSlot(s.slot) == nullptr) continue;
        Followed f{s.name, s.slot, boolAt(demo.target, s.slot)};
        if (auto w = wired.find(s.name); w != wired.end())
            (w->second ? demo.orders : demo.sensors).push_back(f);
        else if (s.direction == symbols::Direction::Output && std::string(s.name).find('.') == std::string::npos)
            demo.reports.push_back(f);
        else if (std::optional<StepSymbol> step = stepSymbol(s)) {
            demo.steps.push_back(*step);
            demo.stepActive.push_back(boolAt(demo.target, s.slot));
        }
    }
}

// "orders on: EVGXS, EVVRS" for the followed variables that changed.
void tellChanges(Demo& demo, std::vector<Followed>& list, const char* what) {
    std::string rose, fell;
    for (Followed& f : list) {
        const bool now = boolAt(demo.target, f.slot);
        if (now == f.value) continue;
        f.value = now;
        (now ? rose : fell) += (now ? rose : fell).empty() ? f.name : ", " + f.name;
    }
    if (!rose.empty()) demo.say(std::string(what) + " on: " + rose);
    if (!fell.empty()) demo.say(std::string(what) + " off: " + fell);
}

void tellSteps(Demo& demo) {
    std::string entered;
    for (std::size_t k = 0; k < demo.steps.size(); ++k) {
        const bool now = boolAt(demo.target, demo.steps[k].slot);
        if (now && !demo.stepActive[k])
            entered += (entered.empty() ? "" : ", ") + describeStep(demo.program, demo.steps[k]);
        demo.stepActive[k] = now;
    }
    if (!entered.empty()) demo.say("steps entered: " + entered);
}

// ---- Scenarios ---------------------------------------------------------------------------------------

enum class Outcome { Running, Done, Failed };

// The position code of the cell (0..7) from its three placing cylinders, or -1 while one
// of them is between its ends.
int cellPosition(const plant::Plant& plant) {
    auto end = [&](std::size_t k) {
        const plant::Cylinder& c = plant.cylinders()[k].cylinder;
        return plant::cylinderExtended(c) ? 1 : plant::cylinderRetracted(c) ? 0 : -1;
    };
    const int gx = end(0), px = end(1), vr = end(2);
    if (gx < 0 || px < 0 || vr < 0) return -1;
    // Codes 0..3 with GX retracted, 4..7 extended; within each: PX, VR as 00, 01, 11, 10.
    static constexpr int kCodes[2][2] = {{0, 1}, {3, 2}};
    return gx * 4 + kCodes[px][vr];
}

struct CellScenario {
    static constexpr int kStart = 5, kArrival = 3;
    int phase = 0;
    int pickedAt = -1, placedAt = -1;
    int position = 0;
    bool vacuumBefore = false;

    void intro(const Demo& demo) const {
        std::printf(
            "Demo: one manipulation cycle of the manipulator cell.\n\n"
            "The program manipulateur runs the cell's control model on the image %s, one scan\n"
            "every %.0f ms. qvctl plays the machine beside it: the cylinders GX, PX and VR place\n"
            "the gripper at one of eight positions, VZ lowers it (it returns up by itself),\n"
            "and a vacuum holds the part. Each cylinder takes %g s from one end to the other\n"
            "and works its two limit switches; the vacuum builds and falls in %g s.\n"
            "The operator asks for a part to be taken at position %d and put down at position %d.\n\n",
            demo.target.name.c_str(), periodMs(demo.target), demo.options.travelSeconds, demo.options.vacuumSeconds,
            kStart, kArrival);
    }

    Outcome advance(Demo& demo) {
        if (demo.on("Def_Manip")) {
            demo.say("the cell reports a fault (Def_Manip)");
            return Outcome::Failed;
        }
        if (const int now = cellPosition(demo.plant); now != position) {
            if (now >= 0) demo.say("the gripper is at position " + std::to_string(now));
            position = now;
        }
        const bool vacuum = demo.on("vacuostat");
        if (vacuum && !vacuumBefore) pickedAt = cellPosition(demo.plant);
        if (!vacuum && vacuumBefore) placedAt = cellPosition(demo.plant);
        vacuumBefore = vacuum;
        const bool placingOrder = demo.on("EVGXS") || demo.on("EVGXR") || demo.on("EVPXS") || demo.on("EVPXR") ||
                                  demo.on("EVVRS") || demo.on("EVVRR");
        switch (phase) {
            case 0:
                if (!demo.on("OKcycle")) break;
                demo.say("[1/5] the cell is at rest (OKcycle); the operator sets Pos_depart = 5, Pos_arrivee = 3 "
                         "and presses DCY");
                demo.set("Pos_depart", std::to_string(kStart));
                demo.set("Pos_arrivee", std::to_string(kArrival));
                demo.set("DCY", "TRUE");
                phase = 1;
                break;
            case 1:
                if (demo.on("OKcycle")) break;
                demo.set("DCY", "FALSE");
                demo.say("[2/5] the cycle has started (DCY released): moving to the start position " +
                         std::to_string(kStart));
                phase = 2;
                break;
            case 2:
                if (!demo.on("EVVZ")) break;
                demo.say("[3/5] at position " + std::to_string(cellPosition(demo.plant)) +
                         ": lowering the gripper to pick the part");
                phase = 3;
                break;
            case 3:
                if (!placingOrder || pickedAt < 0) break;
                demo.say("[4/5] the part is held: moving to the arrival position " + std::to_string(kArrival));
                phase = 4;
                break;
            case 4:
                if (!demo.on("EVVZ")) break;
                demo.say("[5/5] at position " + std::to_string(cellPosition(demo.plant)) +
                         ": lowering the gripper to put the part down");
                phase = 5;
                break;
            case 5:
                if (!demo.on("OKcycle")) break;
                demo.say("back at rest (OKcycle)");
                return pickedAt == kStart && placedAt == kArrival ? Outcome::Done : Outcome::Failed;
        }
        return Outcome::Running;
    }

    std::string summary(const Demo& demo) const {
        const int32_t cycles = demo.cycle - demo.firstCycle;
        char text[200];
        std::snprintf(text, sizeof text,
                      "The part was picked at position %d and put down at position %d; the whole cycle took %.2f s "
                      "(%d cycles).",
                      pickedAt, placedAt, cycles * periodMs(demo.target) / 1000.0, cycles);
        return text;
    }
};

struct CylinderScenario {
    int phase = 0;

    void intro(const Demo& demo) const {
        std::printf(
            "Demo: one stroke of the bistable cylinder.\n\n"
            "The program bistable_cylinder runs the control model of a double-acting cylinder on the\n"
            "image %s, one scan every %.0f ms. qvctl plays the cylinder beside it: it moves while\n"
            "the program gives an order (OrdreS to extend, OrdreR to retract), takes %g s from one end\n"
            "to the other and works its limit switches CS (extended) and CR (retracted). The operator\n"
            "asks for one extension (DS) and one retraction (DR).\n\n",
            demo.target.name.c_str(), periodMs(demo.target), demo.options.travelSeconds);
    }

    Outcome advance(Demo& demo) {
        if (demo.on("Def_verin")) {
            demo.say("the cylinder reports a fault (Def_verin)");
            return Outcome::Failed;
        }
        switch (phase) {
            case 0:
                if (!demo.on("EtatR")) break;
                demo.say("[1/3] the cylinder is retracted (EtatR); the operator asks it to extend (DS)");
                demo.set("DS", "TRUE");
                phase = 1;
                break;
            case 1:
                if (!demo.on("EtatS")) break;
                demo.say("[2/3] the cylinder is extended (EtatS); the operator asks it to retract (DR)");
                demo.set("DS", "FALSE");
                demo.set("DR", "TRUE");
                phase = 2;
                break;
            case 2:
                if (!demo.on("EtatR")) break;
                demo.say("[3/3] the cylinder is back in its retracted position (EtatR)");
                demo.set("DR", "FALSE");
                return Outcome::Done;
        }
        return Outcome::Running;
    }

    std::string summary(const Demo& demo) const {
        const int32_t cycles = demo.cycle - demo.firstCycle;
        char text[160];
        std::snprintf(text, sizeof text, "The cylinder went out and back in %.2f s (%d cycles).",
                      cycles * periodMs(demo.target) / 1000.0, cycles);
        return text;
    }
};

// ---- Starting and ending the program ---------------------------------------------------------------------

// Sixteen hexadecimal digits from the system's source of randomness.
std::string unguessable() {
    std::random_device random;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(random()), static_cast<unsigned>(random()));
    return text;
}

// The program that the demo runs: the cell when it is built and its variables are known,
// else the bistable cylinder.
std::string chooseProgram(const Options& options, const fs::path& bin) {
    if (!options.program.empty()) return options.program;
    if (fs::exists(bin / "manipulateur") && symbols::findProgram("manipulateur") != nullptr) return "manipulateur";
    return "bistable_cylinder";
}

struct ProgramProcess {
    fs::path folder;
    std::string image;
    platform::ChildProcess child;
    bool started = false;

    ~ProgramProcess() {
        if (started && child.pid > 0) {
            platform::killProcess(child.pid);
            platform::waitProcess(child, 2000);
        }
        if (!image.empty()) platform::removeSharedMemory(image);
        std::error_code ignored;
        if (!folder.empty()) fs::remove_all(folder, ignored);
    }
};

// Removes the demo's image and says what became of it, as it is found afterwards.
std::string removeImage(ProgramProcess& process) {
    const std::string name = process.image;
    process.image.clear();
    const bool removed = platform::removeSharedMemory(name);
    platform::SharedMapping left = platform::attachSharedMemory(name);
    const bool stays = left.view != nullptr || left.refused;
    platform::closeSharedMemory(left);
    if (stays) return "the image " + name + " could not be removed: it is still there";
    if (!removed) return "the image " + name + " was already gone";
    return "the image " + name + " is removed";
}

template <typename Scenario>
int play(const Options& options, Target& target, plant::Plant& plant, const std::string& program,
         ProgramProcess& process) {
    Demo demo{options, program, target, plant, 0, 0, {}, {}, {}, {}, {}};
    Scenario scenario;
    scenario.intro(demo);
    std::printf("%6s %9s  %s\n", "cycle", "time", "event");
    follow(demo);
    demo.firstCycle = demo.cycle = readState(target).cycle;
    demo.say("the program waits in STOP; qvctl writes RUN");
    if (!writeStatus(target, kStatusRun, options.timeoutMs)) return fail("the program did not take RUN");

    // A generous limit in simulated time: the moves and vacuum changes of one cycle, ten
    // times over, and a minute besides.
    const double limitSeconds = 60.0 + 10.0 * (6.0 * options.travelSeconds + 2.0 * options.vacuumSeconds);
    Outcome outcome = Outcome::Running;
    while (outcome == Outcome::Running) {
        const std::vector<std::string> before = plantStates(plant);
        if (plant.poll() == 0) {
            if (platform::waitProcess(process.child, 0)) {
                process.started = false;
                return fail("the program ended by itself");
            }
            platform::sleepMilliseconds(1);
            continue;
        }
        demo.cycle = readState(target).cycle;
        tellSteps(demo);
        tellChanges(demo, demo.orders, "orders");
        tellChanges(demo, demo.sensors, "sensors");
        for (const std::string& event : plantEvents(plant, before)) demo.say(event);
        tellChanges(demo, demo.reports, "outputs");
        outcome = scenario.advance(demo);
        if ((demo.cycle - demo.firstCycle) * periodMs(target) / 1000.0 > limitSeconds) {
            demo.say("no complete cycle within " + std::to_string(static_cast<int>(limitSeconds)) + " s");
            outcome = Outcome::Failed;
        }
    }
    const int32_t pid = readState(target).pid;
    demo.say("qvctl writes END");
    if (!endProgram(target, options.timeoutMs + 2000)) return fail("the program did not end");
    const std::optional<int> status = platform::waitProcess(process.child, options.timeoutMs);
    process.started = false;
    std::printf("\nThe program (process %d) ended with exit status %d; %s.\n", pid, status.value_or(-1),
                removeImage(process).c_str());
    if (outcome != Outcome::Done) {
        std::printf("The demo FAILED: the machine cycle did not complete.\n");
        return kExitFailed;
    }
    std::printf("%s\nThe demo completed.\n", scenario.summary(demo).c_str());
    return status == 0 ? kExitDone : kExitFailed;
}

}  // namespace

int demoCommand(const Options& options) {
    if (options.words.size() != 1) return usage("demo takes options only");
    fs::path self = options.self;
    const fs::path bin = self.has_parent_path() ? self.parent_path() : fs::current_path();
    const std::string program = chooseProgram(options, bin);
    if (program != "manipulateur" && program != "bistable_cylinder")
        return fail("the demo runs manipulateur or bistable_cylinder, not " + program);
    const symbols::ProgramFacts* facts = symbols::findFacts(program);
    if (symbols::findProgram(program) == nullptr || facts == nullptr)
        return fail("qvctl has no symbol table for " + program);
    const fs::path executable = bin / program;
    if (!fs::exists(executable)) return fail(executable.string() + " is not built (scripts/demo.sh builds it)");

    // The program runs from a folder of its own, so that its trace file stays out of the
    // build, on an image of its own. Neither name can be guessed: another user could lay a
    // link in a folder made ready for the demo, or an image under its name.
    ProgramProcess process;
    process.image = "qv_demo_" + unguessable();
    std::optional<std::string> folder = platform::makePrivateFolder("qv_demo_");
    if (!folder) return fail("cannot make a folder for the demo in " + platform::temporaryDirectory());
    process.folder = *folder;
    std::error_code error;
    fs::create_symlink(fs::absolute(executable), process.folder / program, error);
    if (error) return fail("cannot prepare " + process.folder.string() + ": " + error.message());
    std::optional<platform::ChildProcess> child = platform::startProcess(
        {(process.folder / program).string()},
        {"QV_MEMORY_NAME=" + process.image, "QV_MEMORY_SIZE", "QV_TIMEOUT=120"},
        (process.folder / "console.txt").string());
    if (!child) return fail("cannot start " + executable.string());
    process.child = *child;
    process.started = true;

    // Wait until the program idles in STOP on its image.
    std::optional<Target> target;
    const uint64_t deadline = platform::tickMilliseconds() + 10000;
    while (platform::tickMilliseconds() < deadline) {
        std::string ignored;
        target = openTarget({process.image, program, 0}, ignored);
        if (target && readState(*target).pid == child->pid && readState(*target).status == kStatusStop) break;
        target.reset();
        platform::sleepMilliseconds(5);
    }
    if (!target) return fail(program + " did not start on image " + process.image);

    if (options.periodMs) ImageView::write(target->view.simuperiod(), static_cast<float>(*options.periodMs * 1000.0));
    std::string why;
    std::optional<plant::Plant> plant =
        plant::Plant::wire(target->view, program, {options.travelSeconds, options.vacuumSeconds}, why);
    if (!plant) return fail(why);
    plant->writeSensors();
    if (program == "manipulateur") return play<CellScenario>(options, *target, *plant, program, process);
    return play<CylinderScenario>(options, *target, *plant, program, process);
}

}  // namespace qv::ctl
