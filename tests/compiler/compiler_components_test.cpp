// The component models written again as charts and Structured Text, compiled by qvc for
// the revision of the delivered program, run beside the delivered program under the same
// inputs: every variable both name (interface, fault flags, constants, and each step by its
// number) must hold the same value after every cycle.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/compiler/compiler_twins.h"

namespace qvtest::compiler {
namespace {

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

    playCylinderScenario(twins);
    if (HasFatalFailure()) return;
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
