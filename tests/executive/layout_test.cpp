// The image layout: area offsets from the slot counts, effective bounds and the header
// fields written at start-up.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/executive/executive.h"
#include "tests/support/test_image.h"

namespace {

using namespace qv;

TEST(AreaOffsets, WorkedExampleOfTheBistableCylinder) {
    const int32_t counts[4] = {40, 555, 17, 53};
    const AreaOffsets o = computeAreaOffsets(layoutOf(3), counts);
    EXPECT_EQ(o.offsetBool, 20292u);
    EXPECT_EQ(o.offsetInt, 20376u);  // 20372 rounded up to a multiple of 12
    EXPECT_EQ(o.offsetFloat, 27036u);
    EXPECT_EQ(o.offsetChar, 27240u);
    EXPECT_EQ(o.end, 27452u);
    EXPECT_EQ(computeAreaOffsets(layoutOf(2), counts).end, 27452u);
}

TEST(AreaOffsets, RoundingOfTheIntegerArea) {
    const int32_t fortyTwo[4] = {42, 0, 0, 0};
    EXPECT_EQ(computeAreaOffsets(layoutOf(3), fortyTwo).offsetInt, 20376u);  // already a multiple
    const int32_t none[4] = {0, 0, 0, 0};
    const AreaOffsets empty = computeAreaOffsets(layoutOf(3), none);
    EXPECT_EQ(empty.offsetInt, 20292u);
    EXPECT_EQ(empty.end, 20292u);
}

TEST(AreaOffsets, RevisionOneHasAShortHeaderAndThreeByteCharacters) {
    const int32_t counts[4] = {40, 555, 17, 53};
    const AreaOffsets o = computeAreaOffsets(layoutOf(1), counts);
    EXPECT_EQ(o.offsetBool, 292u);
    EXPECT_EQ(o.offsetInt, 372u);
    EXPECT_EQ(o.offsetFloat, 7032u);
    EXPECT_EQ(o.offsetChar, 7236u);
    EXPECT_EQ(o.end, 7236u + 3 * 53);
    const int32_t odd[4] = {1, 0, 1, 1};  // the character area aligns to 3
    EXPECT_EQ(computeAreaOffsets(layoutOf(1), odd).offsetChar % 3, 0u);
}

TEST(Align, RoundsUpToTheUnit) {
    EXPECT_EQ(align(20372, 12), 20376u);
    EXPECT_EQ(align(20376, 12), 20376u);
    EXPECT_EQ(align(0, 4), 0u);
    EXPECT_EQ(align(7, 3), 9u);
}

TEST(Layout, StartUpWritesHeaderBoundsAndControlSlots) {
    qvtest::TestImage image;
    ASSERT_TRUE(image.ok());
    const AreaOffsets o = computeAreaOffsets(kLayout, memSize);
    int32_t header[8];
    std::memcpy(header, memHeader + kLayout.countsOffset, sizeof header);
    EXPECT_EQ(header[0], 40);
    EXPECT_EQ(header[1], 555);
    EXPECT_EQ(header[2], 17);
    EXPECT_EQ(header[3], 53);
    EXPECT_EQ(static_cast<uint32_t>(header[4]), o.offsetBool);
    EXPECT_EQ(static_cast<uint32_t>(header[5]), o.offsetInt);
    EXPECT_EQ(static_cast<uint32_t>(header[6]), o.offsetFloat);
    EXPECT_EQ(static_cast<uint32_t>(header[7]), o.offsetChar);
    uint32_t size = 0;
    std::memcpy(&size, memHeader, sizeof size);
    EXPECT_EQ(size, 6000000u);

    EXPECT_EQ(mem.intBase, memHeader + o.offsetInt);
    EXPECT_EQ(minBool, 0);
    EXPECT_EQ(minInt, kLayout.execstatusSlot);
    EXPECT_EQ(minFloat, 10);
    EXPECT_EQ(maxInt, 555);
    EXPECT_EQ(pospid, 552);
    EXPECT_EQ(posmxsimucounter, 553);
    EXPECT_EQ(posmxmicrostepcounter, 554);
    // The model's binding lands on the fixed control slots.
    EXPECT_EQ(execstatus, intSlot(mem.intBase, kLayout.execstatusSlot));
    EXPECT_EQ(signature, intSlot(mem.intBase, kLayout.execstatusSlot + kSignatureFromExec));
    EXPECT_EQ(simuperiod, realSlot(mem.realBase, kSimuperiodSlot));
    EXPECT_EQ(taskname, charSlot(mem.charBase, 0));
}

TEST(Layout, OpenMemoryReturnsOneViewForTwoCalls) {
    qvtest::TestImage image;
    ASSERT_TRUE(image.ok());
    unsigned char* first = openMemory();
    EXPECT_EQ(first, memHeader);
    EXPECT_EQ(openMemory(), first);
}

TEST(Layout, EraseMemoryClearsAllButTheSize) {
    qvtest::TestImage image(30000);
    ASSERT_TRUE(image.ok());
    memHeader[25000] = 7;
    eraseMemory(memHeader);
    EXPECT_EQ(memHeader[25000], 0);
    uint32_t size = 0;
    std::memcpy(&size, memHeader, sizeof size);
    EXPECT_EQ(size, 30000u);
}

}  // namespace
