// The monostable cylinder: the bistable cylinder's grafcets with one held extend order.
#include <gtest/gtest.h>

#include "models/components/graf_mdl_verin_mono.h"
#include "models/components/leaf_scheme.h"
#include "tests/models/model_image.h"

namespace {

bool value(const unsigned char* slot) { return (*slot & qv::kBoolCurrent) != 0; }
void write(unsigned char* slot, bool v) { *slot = static_cast<unsigned char>(v ? *slot | 1 : *slot & ~1); }

class VerinMono : public ::testing::Test {
protected:
    qvtest::ModelImage image{qv::symbols::kBistableCylinderSymbols};  // memory and clock

    void SetUp() override {
        walk();
        sfp__graf_mdl_verin_mono_init();
        sensors(true, false);
        evolve(2);
        ASSERT_TRUE(value(graf_mdl_verin_mono__X_11));
        ASSERT_TRUE(value(graf_mdl_verin_mono__X_23));
    }
    // The instance takes its interface from the model slots, then its own.
    void walk() {
        self = mem;
        memoryStartInit(&self);
        qv::models::bindInterface(qv::models::kVerinMono.interface);
    }
    void evolve(int n = 1) {
        for (int k = 0; k < n; ++k) {
            walk();
            sfp__graf_mdl_verin_mono();
            qvtest::ModelImage::nextCycle();
        }
    }
    void sensors(bool cr, bool cs) {
        write(graf_mdl_verin_mono_CR, cr);
        write(graf_mdl_verin_mono_CS, cs);
    }
    void requests(bool dr, bool ds) {
        write(graf_mdl_verin_mono_DR, dr);
        write(graf_mdl_verin_mono_DS, ds);
    }
};

TEST_F(VerinMono, TheExtendOrderIsHeldWhileExtendedAndDroppedToRetract) {
    EXPECT_TRUE(value(graf_mdl_verin_mono_EtatR));
    EXPECT_FALSE(value(graf_mdl_verin_mono_OrdreS));
    requests(false, true);
    evolve();
    EXPECT_TRUE(value(graf_mdl_verin_mono_OrdreS));
    EXPECT_FALSE(value(graf_mdl_verin_mono_EtatR));
    sensors(false, true);
    evolve();
    EXPECT_TRUE(value(graf_mdl_verin_mono__X_21));
    EXPECT_TRUE(value(graf_mdl_verin_mono_OrdreS));  // left 20, entered 21: still given
    EXPECT_TRUE(value(graf_mdl_verin_mono_EtatS));
    evolve(50);
    EXPECT_TRUE(value(graf_mdl_verin_mono_OrdreS));
    requests(true, false);
    evolve();
    EXPECT_TRUE(value(graf_mdl_verin_mono__X_22));
    EXPECT_FALSE(value(graf_mdl_verin_mono_OrdreS));  // retracting needs no order
    EXPECT_FALSE(value(graf_mdl_verin_mono_EtatS));
    sensors(true, false);
    evolve();
    EXPECT_TRUE(value(graf_mdl_verin_mono_EtatR));
    EXPECT_FALSE(value(graf_mdl_verin_mono_Def_verin));
}

TEST_F(VerinMono, SharesTheCylinderFaultsAndTheirReaction) {
    requests(false, true);
    evolve();
    sensors(false, false);
    evolve(198);
    EXPECT_FALSE(value(graf_mdl_verin_mono_Def_verin));
    evolve();
    EXPECT_TRUE(value(graf_mdl_verin_mono_Def_verin));
    evolve();
    EXPECT_TRUE(value(graf_mdl_verin_mono__X_12));
    EXPECT_FALSE(value(graf_mdl_verin_mono_OrdreS));
}

}  // namespace
