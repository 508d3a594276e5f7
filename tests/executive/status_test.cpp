// The program's own changes of the execution status never undo the supervisor's END.
#include <gtest/gtest.h>

#include "runtime/executive/slots.h"

namespace {

using namespace qv;

TEST(Status, TheProgramStopsItselfUnlessEndWasAsked) {
    for (int32_t before : {int32_t{kStatusRun}, int32_t{kStatusStep}, int32_t{kStatusPause}, int32_t{kStatusFree},
                           int32_t{77}, int32_t{kStatusStop}}) {
        int32_t status = before;
        stopUnlessEnding(&status);
        EXPECT_EQ(status, kStatusStop) << before;
    }
    int32_t status = kStatusEnd;
    stopUnlessEnding(&status);
    EXPECT_EQ(status, kStatusEnd);
}

TEST(Status, ReplaceWritesOnlyOverTheExpectedValue) {
    int32_t status = kStatusStep;
    EXPECT_TRUE(replaceShared(&status, kStatusStep, kStatusStop));
    EXPECT_EQ(status, kStatusStop);
    status = kStatusEnd;
    EXPECT_FALSE(replaceShared(&status, kStatusStep, kStatusStop));
    EXPECT_EQ(status, kStatusEnd);
}

}  // namespace
