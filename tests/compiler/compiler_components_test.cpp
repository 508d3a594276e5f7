// The component models written again as charts and Structured Text, compiled by qvc for
// the revision of the delivered program, run beside the delivered program under the same
// inputs: every variable both name (interface, fault flags, constants, and each step by its
// number) must hold the same value after every cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {
namespace {

// A variable of one program: where it lives and how to read it.
struct Place {
    std::string type;
    int32_t slot = 0;
    bool boolean = false;
};

nlohmann::json readDescription(const std::string& file) {
    std::ifstream in(file);
    return nlohmann::json::parse(in, nullptr, false);
}

// The compiled program's name for a delivered one: the PROGRAM's prefix dropped, and
// "...S21.X" for the step "_X_21" (whichever instance holds the step).
std::string commonName(const std::string& compiled) {
    static const std::regex step(R"((?:.*\.)?S(\d+)\.X)");
    const std::string path = compiled.substr(compiled.find('.') + 1);
    std::smatch m;
    if (std::regex_match(path, m, step)) return "_X_" + m[1].str();
    return path;
}

class Twins {
public:
    Twins(const std::string& delivered, const std::string& compiled, const nlohmann::json& compiledSymbols)
        : delivered_(delivered, "twin_d"), compiled_("qvct_" + compiled, "twin_c") {
        const nlohmann::json deliveredSymbols = readDescription(std::string(QV_BUILD_BIN_DIR) + "/" + delivered + ".symbols.json");
        std::map<std::string, Place> theirs;
        for (const nlohmann::json& v : deliveredSymbols["variables"]) theirs[v["name"]] = place(v);
        for (const nlohmann::json& v : compiledSymbols["variables"]) {
            const std::string name = commonName(v["name"]);
            auto it = theirs.find(name);
            if (it == theirs.end() || it->second.type != v["type"]) continue;
            pairs_.push_back({name, it->second, place(v)});
        }
    }

    bool start() {
        return delivered_.start({"QV_TIMEOUT=30"}) && compiled_.start({"QV_TIMEOUT=30"}) && delivered_.waitUntilStopped() &&
               compiled_.waitUntilStopped();
    }
    std::vector<std::string> compared() const {
        std::vector<std::string> names;
        for (const auto& p : pairs_) names.push_back(p.name);
        return names;
    }

    // An input of both programs.
    void set(const std::string& name, bool value) {
        for (auto [run, slot] : slots(name)) {
            const uint8_t b = __atomic_load_n(slot, __ATOMIC_RELAXED);
            __atomic_store_n(slot, static_cast<uint8_t>(value ? b | qv::kBoolCurrent : b & ~qv::kBoolCurrent), __ATOMIC_RELAXED);
        }
    }
    void force(const std::string& name, bool value) {
        for (auto [run, slot] : slots(name)) {
            const uint8_t b = __atomic_load_n(slot, __ATOMIC_RELAXED);
            const uint8_t bits = value ? qv::kBoolCurrent | qv::kBoolOld : 0;
            __atomic_store_n(slot, static_cast<uint8_t>((b & ~(qv::kBoolCurrent | qv::kBoolOld)) | bits | qv::kBoolForced), __ATOMIC_RELAXED);
        }
    }
    void release(const std::string& name) {
        for (auto [run, slot] : slots(name))
            __atomic_store_n(slot, static_cast<uint8_t>(__atomic_load_n(slot, __ATOMIC_RELAXED) & ~qv::kBoolForced), __ATOMIC_RELAXED);
    }

    // One cycle of each; the variables that differ afterwards, as "name: delivered/compiled".
    std::string cycle() {
        if (!debug::stepOnce(delivered_) || !debug::stepOnce(compiled_)) return "a cycle did not run";
        std::string differences;
        for (const auto& p : pairs_) {
            const std::string a = value(delivered_, p.delivered), b = value(compiled_, p.compiled);
            if (a != b) differences += p.name + ": " + a + "/" + b + "\n";
        }
        ++cycles_;
        return differences;
    }
    int cycles() const { return cycles_; }
    bool on(const std::string& name) {
        for (const auto& p : pairs_)
            if (p.name == name) return value(delivered_, p.delivered) == "1";
        return false;
    }
    bool end() { return delivered_.end() == 0 && compiled_.end() == 0; }

private:
    struct Pair {
        std::string name;
        Place delivered, compiled;
    };
    static Place place(const nlohmann::json& v) { return {v["type"], v["slot"], v["area"] == "bool"}; }
    static std::string value(ProgramRun& run, const Place& p) {
        qv::ImageView& image = run.image();
        if (p.boolean) return (image.boolSlot(p.slot)[0] & 1) ? "1" : "0";
        if (p.type == "TIME") return std::to_string(qv::ImageView::read(image.intSlot(p.slot + 2))) + "/" +
                                     std::to_string(qv::ImageView::read(image.intSlot(p.slot + 3)));
        return std::to_string(qv::ImageView::read(image.intSlot(p.slot)));
    }
    std::vector<std::pair<ProgramRun*, unsigned char*>> slots(const std::string& name) {
        for (const auto& p : pairs_)
            if (p.name == name)
                return {{&delivered_, delivered_.image().boolSlot(p.delivered.slot)}, {&compiled_, compiled_.image().boolSlot(p.compiled.slot)}};
        ADD_FAILURE() << "no variable " << name << " in both programs";
        return {};
    }

    ProgramRun delivered_, compiled_;
    std::vector<Pair> pairs_;
    int cycles_ = 0;
};

// Runs `cycles` cycles, stopping at the first that differs.
#define TWIN_CYCLES(twins, n)                                                              \
    for (int k_ = 0; k_ < (n); ++k_) {                                                     \
        const std::string d_ = (twins).cycle();                                            \
        ASSERT_EQ(d_, "") << "cycle " << (twins).cycles();                                 \
    }

std::string sourceFile(const std::string& name) { return std::string(QV_SOURCE_DIR) + "/examples/iec/components/" + name; }

TEST(Components, TheBistableCylinderInChartsBehavesAsTheDeliveredOne) {
    const Result built = runShell(qvc() + " build " + sourceFile("bistable_cylinder.st") + " --revision 3 -o " + QV_BUILD_BIN_DIR +
                                  "/qvct_bistable_cylinder_iec");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("bistable_cylinder_iec");
    Twins twins("bistable_cylinder", "bistable_cylinder_iec", symbols);
    // Every input, output, fault flag and step, and the two constants.
    EXPECT_EQ(twins.compared().size(), 11u + 7u + 7u + 2u);
    ASSERT_TRUE(twins.start());

    // Start-up: retracted; G1 forces G2 to 23, then normal operation.
    twins.set("CR", true);
    TWIN_CYCLES(twins, 3);
    ASSERT_TRUE(twins.on("_X_11") && twins.on("EtatR"));
    // Extend.
    twins.set("DS", true);
    TWIN_CYCLES(twins, 1);
    ASSERT_TRUE(twins.on("OrdreS"));
    twins.set("CR", false);
    TWIN_CYCLES(twins, 2);
    twins.set("CS", true);
    TWIN_CYCLES(twins, 2);
    ASSERT_TRUE(twins.on("EtatS"));
    // Retract, both requests for a while (nothing moves), then the retract request alone.
    twins.set("DR", true);
    TWIN_CYCLES(twins, 2);
    twins.set("DS", false);
    TWIN_CYCLES(twins, 1);
    ASSERT_TRUE(twins.on("OrdreR"));
    twins.set("CS", false);
    TWIN_CYCLES(twins, 3);
    twins.set("CR", true);
    TWIN_CYCLES(twins, 2);
    twins.set("DR", false);
    ASSERT_TRUE(twins.on("EtatR"));

    // Forcing outputs: the models' own state goes on, released outputs keep the forced
    // value until the model writes them.
    twins.force("EtatR", false);
    twins.force("OrdreS", true);
    TWIN_CYCLES(twins, 3);
    twins.release("EtatR");
    twins.release("OrdreS");
    TWIN_CYCLES(twins, 2);

    // Travel fault: asked to extend, the extended sensor never comes; after 10 s the fault
    // latches and the operation chart is emptied.
    twins.set("DS", true);
    TWIN_CYCLES(twins, 1);
    twins.set("CR", false);
    TWIN_CYCLES(twins, 205);
    ASSERT_TRUE(twins.on("Def_verin") && twins.on("defaut[5]") && twins.on("_X_12"));
    // Acknowledged with the cylinder back home: start again through step 10.
    twins.set("DS", false);
    twins.set("CR", true);
    TWIN_CYCLES(twins, 2);
    twins.set("ACQ", true);
    TWIN_CYCLES(twins, 2);
    twins.set("ACQ", false);
    TWIN_CYCLES(twins, 3);
    ASSERT_TRUE(twins.on("_X_11") && !twins.on("Def_verin"));

    // Both sensors at once, then the emergency stop during the fault, then acknowledged
    // while the cause persists, then cleared.
    twins.set("CS", true);
    TWIN_CYCLES(twins, 3);
    ASSERT_TRUE(twins.on("defaut[7]"));
    twins.set("AU", true);
    twins.set("ACQ", true);
    TWIN_CYCLES(twins, 3);
    twins.set("CS", false);
    twins.set("AU", false);
    TWIN_CYCLES(twins, 4);
    twins.set("ACQ", false);
    TWIN_CYCLES(twins, 3);
    // Sensors inertia: extend with the retracted sensor stuck for more than 2 s.
    twins.set("DS", true);
    TWIN_CYCLES(twins, 45);
    ASSERT_TRUE(twins.on("defaut[2]") || twins.on("defaut[5]"));
    EXPECT_TRUE(twins.end());
}

// The unit's plant, played from the outputs both programs agree on: the axis takes five
// cycles between its ends, the vacuum comes one cycle after VTM where a part is, and goes
// one cycle after VTA.
struct UnitPlant {
    int position = 0;  // 0 up, 5 down
    bool vacuum = false;
    bool partBelow = true;
    void step(Twins& twins) {
        if (twins.on("VZS") && !twins.on("VZR")) position = std::min(5, position + 1);
        if (twins.on("VZR") && !twins.on("VZS")) position = std::max(0, position - 1);
        if (twins.on("VTM") && position == 5 && partBelow) vacuum = true;
        if (twins.on("VTA")) vacuum = false;
        twins.set("CR_VZS", position == 5);
        twins.set("CR_VZR", position == 0);
        twins.set("vacuostat", vacuum);
    }
};

#define UNIT_CYCLES(twins, plant, n)                                                       \
    for (int k_ = 0; k_ < (n); ++k_) {                                                     \
        (plant).step(twins);                                                               \
        const std::string d_ = (twins).cycle();                                            \
        ASSERT_EQ(d_, "") << "cycle " << (twins).cycles();                                 \
    }

TEST(Components, ThePickAndPlaceUnitInChartsBehavesAsTheDeliveredOne) {
    const Result built = runShell(qvc() + " build " + sourceFile("pick_place_unit.st") + " --revision 2 -o " + QV_BUILD_BIN_DIR +
                                  "/qvct_pick_place_unit_iec");
    ASSERT_EQ(built.status, 0) << built.output;
    const nlohmann::json symbols = symbolsOf("pick_place_unit_iec");
    EXPECT_EQ(symbols["revision"], 2);
    Twins twins("pick_place_unit", "pick_place_unit_iec", symbols);
    // Every input and output, the ten steps and the constant.
    EXPECT_EQ(twins.compared().size(), 15u + 10u + 1u);
    ASSERT_TRUE(twins.start());
    UnitPlant plant;
    UNIT_CYCLES(twins, plant, 3);
    ASSERT_TRUE(twins.on("_X_21") && twins.on("_X_10") && twins.on("OKpose"));

    // Pick: down with the vacuum on, the part held, up again.
    twins.set("dprise", true);
    UNIT_CYCLES(twins, plant, 2);
    twins.set("dprise", false);
    UNIT_CYCLES(twins, plant, 14);
    ASSERT_TRUE(twins.on("OKprise"));
    // Both requests at once: nothing starts.
    twins.set("dprise", true);
    twins.set("dpose", true);
    UNIT_CYCLES(twins, plant, 3);
    ASSERT_TRUE(twins.on("_X_10"));
    // Place: down, vacuum off, up.
    twins.set("dprise", false);
    UNIT_CYCLES(twins, plant, 16);
    twins.set("dpose", false);
    ASSERT_TRUE(twins.on("OKpose"));
    plant.partBelow = false;

    // No part below: the unit waits in step 12 for more than 10 s, the fault latches, the
    // axis goes up and the vacuum is cut; acknowledged, it starts again at rest.
    twins.set("dprise", true);
    UNIT_CYCLES(twins, plant, 2);
    twins.set("dprise", false);
    UNIT_CYCLES(twins, plant, 215);
    ASSERT_TRUE(twins.on("def_prisepose") && twins.on("_X_22") && twins.on("VZR") && twins.on("VTA"));
    twins.set("acq", true);
    UNIT_CYCLES(twins, plant, 1);
    twins.set("acq", false);
    UNIT_CYCLES(twins, plant, 8);
    ASSERT_TRUE(twins.on("_X_21") && twins.on("_X_10") && !twins.on("VZR"));

    // The emergency stop during a pick, held for a while, then acknowledged; an axis fault.
    plant.partBelow = true;
    twins.set("dprise", true);
    UNIT_CYCLES(twins, plant, 2);
    twins.set("dprise", false);
    twins.set("AU", true);
    UNIT_CYCLES(twins, plant, 6);
    twins.set("AU", false);
    twins.set("acq", true);
    UNIT_CYCLES(twins, plant, 2);
    twins.set("acq", false);
    twins.set("def_VZ", true);
    UNIT_CYCLES(twins, plant, 4);
    twins.set("def_VZ", false);
    twins.set("acq", true);
    UNIT_CYCLES(twins, plant, 8);
    twins.set("acq", false);
    // The emergency stop while the axis rises with the part (step 13, which also orders VZR).
    twins.set("dprise", true);
    for (int k = 0; k < 20 && !twins.on("_X_13"); ++k) UNIT_CYCLES(twins, plant, 1);
    twins.set("dprise", false);
    ASSERT_TRUE(twins.on("_X_13"));
    twins.set("AU", true);
    UNIT_CYCLES(twins, plant, 4);
    twins.set("AU", false);
    twins.set("acq", true);
    UNIT_CYCLES(twins, plant, 8);
    EXPECT_TRUE(twins.end());
}

}  // namespace
}  // namespace qvtest::compiler
