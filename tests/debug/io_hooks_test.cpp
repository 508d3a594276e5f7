// The array transfers of the I/O hooks.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/debug/debug.h"
#include "runtime/revision.h"

namespace {

TEST(IoHooks, HooksDoNothing) {
    unsigned char image[4] = {1, 2, 3, 4};
    QV_init_ios(image);
    EXPECT_EQ(QV_read_inputs(image), 1);
    EXPECT_EQ(QV_write_outputs(image), 1);
    QV_wait_mutex();
    QV_release_mutex();
    EXPECT_EQ(image[3], 4);
}

// Entries 0 and 1 point at a slot that must never move.
TEST(IoHooks, BooleanAndCharacterTransfersSkipTheFirstEntries) {
    unsigned char untouched[4] = {0x55, 0x55, 0x55, 0x55};
    unsigned char slots[4][4] = {{0xF0}, {0xF1}, {0xF0}, {0x00}};
    unsigned char* table[7] = {untouched, untouched, slots[0], slots[1], slots[2], slots[3], nullptr};
    unsigned char in[3] = {0x03, 0x02, 0xFF};
    QV_read_boolean_array(table, in, 3);
    EXPECT_EQ(slots[0][0], 0xF1);
    EXPECT_EQ(slots[1][0], 0xF0);
    EXPECT_EQ(slots[2][0], 0xF1);
    unsigned char out[3] = {9, 9, 9};
    QV_write_boolean_array(table, out, 3);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 1);

    unsigned char text[3] = {'a', 'b', 'c'};
    QV_read_character_array(table, text, 3);
    EXPECT_EQ(slots[0][0], 'a');
    EXPECT_EQ(slots[2][0], 'c');
    EXPECT_EQ(slots[0][1], 0);  // old value untouched
    unsigned char back[3] = {0, 0, 0};
    QV_write_character_array(table, back, 3);  // from entry i + 3
    EXPECT_EQ(back[0], 'b');
    EXPECT_EQ(back[1], 'c');
    EXPECT_EQ(back[2], 0);
    back[0] = 7;
    QV_write_character_array(table, back, 0);
    QV_read_character_array(table, back, -4);
    EXPECT_EQ(back[0], 7);
    EXPECT_EQ(std::memcmp(untouched, "\x55\x55\x55\x55", 4), 0);

    // A null entry is skipped; a null table is nothing.
    table[3] = nullptr;
    unsigned char one[2] = {0, 0};
    QV_write_boolean_array(table, one, 2);
    EXPECT_EQ(one[1], 0);
    QV_read_boolean_array(nullptr, one, 2);
}

TEST(IoHooks, WordTransfersMoveCurrentValuesOnly) {
    int32_t ints[2][3] = {{0, 5, 0x0200}, {0, 6, 0}};
    float reals[2][3] = {{0, 0, 0}, {0, 0, 0}};
    unsigned char* intTable[4] = {nullptr, nullptr, reinterpret_cast<unsigned char*>(ints[0]),
                                  reinterpret_cast<unsigned char*>(ints[1])};
    unsigned char* realTable[4] = {nullptr, nullptr, reinterpret_cast<unsigned char*>(reals[0]),
                                   reinterpret_cast<unsigned char*>(reals[1])};
    int32_t in[2] = {-3, 40};
    QV_read_integer_array(intTable, in, 2);
    EXPECT_EQ(ints[0][0], -3);
    EXPECT_EQ(ints[0][1], 5);
    EXPECT_EQ(ints[0][2], 0x0200);
    EXPECT_EQ(ints[1][0], 40);
    int32_t out[2] = {0, 0};
    QV_write_integer_array(intTable, out, 2);
    EXPECT_EQ(out[1], 40);

    float values[2] = {1.5f, -2.0f};
    QV_read_float_array(realTable, values, 2);
    EXPECT_EQ(reals[1][0], -2.0f);
    EXPECT_EQ(reals[1][1], 0.0f);
    float got[2] = {0, 0};
    QV_write_float_array(realTable, got, 2);
    EXPECT_EQ(got[0], 1.5f);
}

}  // namespace
