// Two programs run side by side under the same inputs, compared after every cycle on every
// variable both name: a delivered program and the same model compiled by qvc (from
// Structured Text or from a PLCopen project). The compiled program's names are mapped
// onto the delivered one's: the path's first segment dropped, and "...S21.X" for the
// step "_X_21" (whichever instance holds the step).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <vector>

#include "tests/compiler/compiler_support.h"

namespace qvtest::compiler {

// A variable of one program: where it lives and how to read it.
struct Place {
    std::string type;
    int32_t slot = 0;
    bool boolean = false;
};

inline nlohmann::json readDescription(const std::string& file) {
    std::ifstream in(file);
    return nlohmann::json::parse(in, nullptr, false);
}

// The compiled program's name for a delivered one: the PROGRAM's prefix dropped, and
// "...S21.X" for the step "_X_21" (whichever instance holds the step).
inline std::string commonName(const std::string& compiled) {
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

// The bistable cylinder's differential scenario: start-up retracted, extension,
// retraction, forced outputs, the travel fault and its acknowledgement, both sensors at
// once with the emergency stop, and a stuck sensor. Stops at the first cycle that differs.
inline void playCylinderScenario(Twins& twins) {
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
}

}  // namespace qvtest::compiler
