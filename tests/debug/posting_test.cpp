// Posting, forcing, the index tables and the freeze of listed variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/debug/memory_image.h"

namespace {

using qvtest::MemoryImage;

TEST(Posting, ForcedBooleanKeepsItsValueAcrossAPost) {
    MemoryImage image;
    QV_force_bool(image.base(), 7, 1);
    EXPECT_EQ(*image.boolSlot(7) & 0x0B, 0x0B);
    *image.boolSlot(7) &= static_cast<unsigned char>(~1u);  // the model writes FALSE
    EXPECT_EQ(QV_post_bool(image.boolSlot(7)), image.boolSlot(7));
    EXPECT_EQ(*image.boolSlot(7) & 1, 1);

    QV_unforce_bool(image.base(), 7);
    EXPECT_EQ(*image.boolSlot(7) & 0x0B, 0x03);  // the forced value stays
    *image.boolSlot(7) &= static_cast<unsigned char>(~1u);
    QV_post_bool(image.boolSlot(7));
    EXPECT_EQ(*image.boolSlot(7) & 1, 0);
}

TEST(Posting, ForcingKeepsTheOtherBitsOfTheSlot) {
    MemoryImage image;
    *image.boolSlot(12) = 0xF4;
    image.boolSlot(12)[1] = 0x5A;
    QV_force_bool(image.base(), 12, 3);  // bit 0 of the value
    EXPECT_EQ(*image.boolSlot(12), 0xF4 | 0x0B);
    EXPECT_EQ(image.boolSlot(12)[1], 0x5A);
    QV_force_bool(image.base(), 12, 2);
    EXPECT_EQ(*image.boolSlot(12), 0xF4 | 0x08);

    unsigned char* c = image.charSlot(60);
    c[2] = 0xF0;
    c[3] = 0x77;
    QV_force_char(image.base(), 60, 321);  // low 8 bits
    EXPECT_EQ(c[0], 65);
    EXPECT_EQ(c[1], 65);
    EXPECT_EQ(c[2], 0xF2);
    EXPECT_EQ(c[3], 0x77);
    QV_unforce_char(image.base(), 60);
    EXPECT_EQ(c[2], 0xF0);
}

TEST(Posting, ForcedWordsAndCharactersTakeTheForcedValueBack) {
    MemoryImage image;
    QV_force_int(image.base(), 530, -42);
    QV_force_float(image.base(), 16, 2.5f);
    QV_force_char(image.base(), 50, 'x');
    image.intSlot(530)[0] = 7;
    *image.realSlot(16) = 9.0f;
    *image.charSlot(50) = 'y';
    EXPECT_EQ(*QV_post_int(image.intSlot(530)), -42);
    EXPECT_EQ(*QV_post_float(image.realSlot(16)), 2.5f);
    EXPECT_EQ(*QV_post_char(image.charSlot(50)), 'x');
    // The freeze of generated code is the same operation.
    image.intSlot(530)[0] = 8;
    EXPECT_EQ(*QV_freeze_int(image.intSlot(530)), -42);

    QV_unforce_int(image.base(), 530);
    QV_unforce_float(image.base(), 16);
    image.intSlot(530)[0] = 5;
    *image.realSlot(16) = 1.0f;
    EXPECT_EQ(*QV_post_int(image.intSlot(530)), 5);
    EXPECT_EQ(*QV_post_float(image.realSlot(16)), 1.0f);
    EXPECT_EQ(image.intSlot(530)[1], -42);  // the old value is left alone
}

TEST(Posting, ArrayFreezesPostTheFirstNElements) {
    MemoryImage image;
    // A boolean array of 3 at slot 20, an integer array of 2 at slot 530, a string at 60.
    for (int k = 0; k < 3; ++k) QV_force_bool(image.base(), 22 + k, 1);
    for (int k = 0; k < 3; ++k) *image.boolSlot(22 + k) &= static_cast<unsigned char>(~1u);
    QV_freeze_bool_array(image.boolSlot(20), 2);
    EXPECT_EQ(*image.boolSlot(22) & 1, 1);
    EXPECT_EQ(*image.boolSlot(23) & 1, 1);
    EXPECT_EQ(*image.boolSlot(24) & 1, 0);
    QV_freeze_bool_array(image.boolSlot(20), 0);
    QV_freeze_bool_array(image.boolSlot(20), -5);
    EXPECT_EQ(*image.boolSlot(24) & 1, 0);

    QV_force_int(image.base(), 533, 11);
    image.intSlot(533)[0] = 0;
    QV_freeze_int_array(image.intSlot(531), 2);
    EXPECT_EQ(image.intSlot(533)[0], 11);

    QV_force_float(image.base(), 16, 4.0f);
    *image.realSlot(16) = 0.0f;
    QV_freeze_float_array(image.realSlot(14), 1);
    EXPECT_EQ(*image.realSlot(16), 4.0f);

    QV_force_char(image.base(), 54, 'k');
    *image.charSlot(54) = 0;
    QV_freeze_char_array(image.charSlot(50), 1);
    EXPECT_EQ(*image.charSlot(54), 0);
    QV_freeze_char_array(image.charSlot(50), 2);
    EXPECT_EQ(*image.charSlot(54), 'k');
}

TEST(Posting, ForcingOutsideAnAreaWritesNothing) {
    MemoryImage image;
    const std::vector<unsigned char> before(image.base(), image.base() + image.size());
    for (int index : {-1, 40, 1000000, INT32_MIN, INT32_MAX}) {
        QV_force_bool(image.base(), index, 1);
        QV_force_int(image.base(), index == 40 ? image.count(qv::kAreaInt) : index, 1);
        QV_force_float(image.base(), index == 40 ? image.count(qv::kAreaReal) : index, 1.0f);
        QV_force_char(image.base(), index == 40 ? image.count(qv::kAreaChar) : index, 1);
        QV_unforce_bool(image.base(), index);
    }
    EXPECT_TRUE(std::equal(before.begin(), before.end(), image.base()));
}

// A supervisor's mapping is not the program's: the header gives the areas, and a slot
// must lie within the image size that the header records.
TEST(Posting, ASupervisorMappingIsBoundByItsHeader) {
    MemoryImage program;
    std::vector<unsigned char> copy(program.base(), program.base() + program.size());
    QV_force_int(copy.data(), 523, 99);
    EXPECT_EQ(program.intSlot(523)[0], 0);
    const auto offsetInt = *reinterpret_cast<int32_t*>(copy.data() + qv::kLayout.offsetsOffset + 4);
    EXPECT_EQ(*reinterpret_cast<int32_t*>(copy.data() + offsetInt + 12 * 523), 99);

    // A header that claims more slots than the image holds: the image fails the check as
    // a whole, and nothing is written, not even to a slot that lies inside it.
    *reinterpret_cast<int32_t*>(copy.data() + qv::kLayout.countsOffset + 12) = 1000000;
    const std::vector<unsigned char> before = copy;
    QV_force_char(copy.data(), 999999, 1);
    QV_force_char(copy.data(), 64, 1);
    QV_force_char(copy.data(), 63, 'z');
    EXPECT_EQ(copy, before);
}

// ---- Index tables ----------------------------------------------------------------------

#if QV_REVISION == 3
TEST(IndexTables, TraceVariantsAskForASnapshotWhenTheTableChanged) {
    MemoryImage image;
    int32_t* t = image.charTrace();
    EXPECT_EQ(QV_addTraceIndex(53, t, qv::kTracesnapshopSlot), 1);
    EXPECT_EQ(*tracesnapshop & 1, 1);
    *tracesnapshop = 0;
    EXPECT_EQ(QV_addTraceIndex(53, t, qv::kTracesnapshopSlot), 0);
    EXPECT_EQ(*tracesnapshop & 1, 0);
    EXPECT_EQ(QV_removeTraceIndex(54, t, qv::kTracesnapshopSlot), 0);
    EXPECT_EQ(*tracesnapshop & 1, 0);
    EXPECT_EQ(QV_removeTraceIndex(53, t, qv::kTracesnapshopSlot), 1);
    EXPECT_EQ(*tracesnapshop & 1, 1);
    // A flag outside the boolean area is not set, the table still changes.
    EXPECT_EQ(QV_addTraceIndex(53, t, 40), 1);
    EXPECT_EQ(QV_addTraceIndex(54, t, -1), 1);

    // The C++ form takes the flag's slot in the caller's mapping.
    *tracesnapshop = 0;
    EXPECT_EQ(qv::addTraceIndex(60, t, tracesnapshop), 1);
    EXPECT_EQ(*tracesnapshop & 1, 1);
    EXPECT_EQ(qv::removeTraceIndex(60, t, nullptr), 1);

    EXPECT_EQ(QV_addBreakpointIndex(9, image.boolBreakpoints()), 1);
    EXPECT_EQ(QV_addBreakpointIndex(9, image.boolBreakpoints()), 0);
    EXPECT_EQ(QV_removeBreakpointIndex(9, image.boolBreakpoints()), 1);
}
#endif

TEST(IndexTables, FreezeCopiesListedValuesOnly) {
    MemoryImage image;
    image.setBool(9, true, false);
    image.setBool(10, true, false);  // not listed
    image.setBool(11, false, true);  // breakpoint table
    image.setInt(523, 4, 1);
    image.setInt(524, 4, 1);         // not listed
    image.setReal(16, -0.0f, 0.0f);
    image.setChar(53, 'a', 'b');
    QV_force_int(image.base(), 530, 6);
    image.intSlot(530)[0] = 8;       // forced and listed: the freeze overwrites the forcing
    QV_addIndex(9, image.boolTrace());
    QV_addIndex(523, image.intTrace());
    QV_addIndex(530, image.intTrace());
    QV_addIndex(16, image.realTrace());
    QV_addIndex(53, image.charTrace());
    QV_addIndex(11, image.boolBreakpoints());

    QV_freeze_memory_for_debug(image.base());
    EXPECT_EQ(*image.boolSlot(9) & 3, 3);
    EXPECT_EQ(*image.boolSlot(10) & 3, 1);
    EXPECT_EQ(*image.boolSlot(11) & 3, 0);
    EXPECT_EQ(image.intSlot(523)[1], 4);
    EXPECT_EQ(image.intSlot(524)[1], 1);
    EXPECT_EQ(image.intSlot(530)[1], 8);
    EXPECT_TRUE(std::signbit(image.realSlot(16)[1]));
    EXPECT_EQ(image.charSlot(53)[1], 'a');
}

TEST(IndexTables, FreezeWalksNoFurtherThanTheFirstZero) {
    MemoryImage image;
    image.setInt(523, 4, 1);
    image.intTrace()[0] = 540;
    image.intTrace()[1] = 0;
    image.intTrace()[2] = 523;
    QV_freeze_memory_for_debug(image.base());
    EXPECT_EQ(image.intSlot(523)[1], 1);
}

}  // namespace
