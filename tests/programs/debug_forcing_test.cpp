// Forcing and the index tables, done by a supervisor on its own mapping of a running
// program's image.
#include <gtest/gtest.h>

#include "tests/programs/debug_supervisor.h"

namespace {

using namespace qvtest::debug;
using qvtest::ProgramRun;

TEST(Forcing, AForcedOutputHoldsAndUnforcingLeavesItUntilTheModelWrites) {
    ProgramRun run(kProgram, "force");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    setBool(image.boolSlot(kStart), false);  // the model computes Lamp FALSE
    QV_force_bool(image.base(), kLamp, 1);
    ASSERT_TRUE(stepOnce(run));
    ASSERT_TRUE(stepOnce(run));
    EXPECT_TRUE(boolValue(image.boolSlot(kLamp)));
    EXPECT_EQ(*image.boolSlot(kLamp) & 0x0B, 0x0B);

    QV_unforce_bool(image.base(), kLamp);
    EXPECT_TRUE(boolValue(image.boolSlot(kLamp)));
    EXPECT_EQ(*image.boolSlot(kLamp) & qv::kBoolForced, 0);
    ASSERT_TRUE(stepOnce(run));
    EXPECT_FALSE(boolValue(image.boolSlot(kLamp)));

    // Forced FALSE while the model computes TRUE.
    setBool(image.boolSlot(kStart), true);
    ASSERT_TRUE(stepOnce(run));
    EXPECT_TRUE(boolValue(image.boolSlot(kLamp)));
    QV_force_bool(image.base(), kLamp, 0);
    ASSERT_TRUE(stepOnce(run));
    EXPECT_FALSE(boolValue(image.boolSlot(kLamp)));
    EXPECT_EQ(run.end(), 0);
}

TEST(Forcing, TableOperationsOnTheImage) {
    ProgramRun run(kProgram, "tables");
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.waitUntilStopped());
    qv::ImageView& image = run.image();
    int32_t* t = image.indexTable(qv::kIntTraceTableOffset);
    EXPECT_EQ(QV_addIndex(kCounter, t), 1);
    EXPECT_EQ(QV_addIndex(kCounter, t), 0);  // twice
    EXPECT_EQ(QV_addIndex(0, t), 0);
    EXPECT_EQ(t[0], kCounter);
    EXPECT_EQ(t[1], 0);
    for (int32_t i = 1; i < 1000; ++i) ASSERT_EQ(QV_addIndex(100000 + i, t), 1);
    EXPECT_EQ(QV_addIndex(7, t), 0);  // full
    EXPECT_EQ(QV_removeIndex(kCounter, t), 1);  // position 0
    EXPECT_EQ(t[0], 100001);
    EXPECT_EQ(t[998], 100999);
    EXPECT_EQ(t[999], 0);
    EXPECT_EQ(QV_addIndex(7, t), 1);
    EXPECT_EQ(QV_removeIndex(7, t), 1);  // position 999
    EXPECT_EQ(t[999], 0);
    EXPECT_EQ(QV_removeIndex(7, t), 0);
    // The program runs on with the table full of indexes outside its areas.
    setBool(image.boolSlot(qv::kTraceonSlot), true);
    ASSERT_TRUE(stepOnce(run));
    for (int32_t i = 1; i < 1000; ++i) ASSERT_EQ(QV_removeIndex(100000 + i, t), 1);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(run.end(), 0);
}

}  // namespace
