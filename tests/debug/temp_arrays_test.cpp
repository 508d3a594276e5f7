// The pool of temporary arrays and the array helpers of generated code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "runtime/debug/debug.h"
#include "runtime/revision.h"

namespace {

constexpr int kCharSlot = qv::kCharSlotSize;

unsigned char* poolStart() { return Temp_Alloc; }
std::size_t used() { return next_alloc == nullptr ? 0 : static_cast<std::size_t>(next_alloc - Temp_Alloc); }

// A temporary string holding `text`, of capacity `capacity`.
unsigned char* makeString(int capacity, const std::string& text) {
    unsigned char* s = alloc_char(capacity);
    for (std::size_t k = 0; k < text.size(); ++k) s[kCharSlot * (3 + static_cast<int>(k))] = static_cast<unsigned char>(text[k]);
    return s;
}

std::string stringOf(const unsigned char* s) {
    std::string text;
    for (int k = 0; k < array_char_len(s); ++k) text.push_back(static_cast<char>(s[kCharSlot * (3 + k)]));
    return text;
}

class TemporaryArrays : public ::testing::Test {
protected:
    void SetUp() override { free_all_alloc(); }
    void TearDown() override { free_all_alloc(); }
};

TEST_F(TemporaryArrays, AStringOfCapacityFifty) {
    unsigned char* s = alloc_char(50);
    ASSERT_NE(s, nullptr);
    // At the pool's start (revisions 1 and 2: at its first multiple of the slot size).
    const auto start = static_cast<std::size_t>(s - poolStart());
    if constexpr (qv::kRevision == 3) {
        EXPECT_EQ(start, 0u);
    }
    EXPECT_LT(start, static_cast<std::size_t>(kCharSlot));
    EXPECT_EQ(used(), start + kCharSlot * 53);  // 212 bytes with 4-byte slots
    EXPECT_EQ(array_char_size(s), 50);
    EXPECT_EQ(array_char_len(s), 0);
    EXPECT_EQ(nb_alloc, 1);
    free_all_alloc();
    EXPECT_EQ(nb_alloc, 0);
    EXPECT_EQ(alloc_char(3), s);
}

TEST_F(TemporaryArrays, CapacityBytesAreWrittenIntoBothValues) {
    unsigned char* s = alloc_char(300);
    EXPECT_EQ(s[0], 1);
    EXPECT_EQ(s[1], 1);
    EXPECT_EQ(s[kCharSlot], 44);
    EXPECT_EQ(s[kCharSlot + 1], 44);
    EXPECT_EQ(array_char_size(s), 300);
}

#if QV_REVISION == 3
TEST_F(TemporaryArrays, ThePoolFillsToItsLastByte) {
    unsigned char* b = alloc_bool((10000 - 4) / 2);  // 4 + 2n = 10000
    ASSERT_EQ(b, poolStart());
    EXPECT_EQ(used(), 10000u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(alloc_bool(0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "unable to allocate a temporary array of boolean\n");
}

TEST_F(TemporaryArrays, BlocksFollowEachOtherWithoutGaps) {
    unsigned char* b = alloc_bool(2);
    int32_t* i = alloc_int(2);
    float* f = alloc_float(0);
    unsigned char* c = alloc_char(1);
    unsigned char* b2 = alloc_bool(1);
    unsigned char* c2 = alloc_char(0);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(i), b + 8);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(f), b + 8 + 60);
    EXPECT_EQ(c, b + 8 + 60 + 36);
    EXPECT_EQ(b2, c + 16);
    EXPECT_EQ(c2, b2 + 6);
    EXPECT_EQ(used(), 8u + 60 + 36 + 16 + 6 + 12);
    EXPECT_EQ(nb_alloc, 6);
}

// Integer and real words stay aligned after a boolean block of an odd length.
TEST_F(TemporaryArrays, WordBlocksStartOnWordBoundaries) {
    unsigned char* b = alloc_bool(1);  // 6 bytes
    int32_t* i = alloc_int(1);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(i), b + 8);
    alloc_bool(3);  // 10 bytes
    float* f = alloc_float(1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f) % alignof(float), 0u);
    f[6] = 1.0f;
    i[6] = 1;
}
#endif

#if QV_REVISION != 3
// Each block starts at an address that is a multiple of its slot size.
TEST_F(TemporaryArrays, BlocksStartAtMultiplesOfTheirSlotSize) {
    unsigned char* b = alloc_bool(1);  // 6 bytes
    int32_t* i = alloc_int(1);
    unsigned char* c = alloc_char(1);
    float* f = alloc_float(2);
    unsigned char* b2 = alloc_bool(0);
    const auto address = [](const void* p) { return reinterpret_cast<uintptr_t>(p); };
    EXPECT_EQ(address(b) % 2, 0u);
    EXPECT_EQ(address(i) % 12, 0u);
    EXPECT_LT(address(i) - (address(b) + 6), 12u);
    EXPECT_EQ(address(c) % static_cast<uintptr_t>(kCharSlot), 0u);
    EXPECT_LT(address(c) - (address(i) + 48), static_cast<uintptr_t>(kCharSlot));
    EXPECT_EQ(address(f) % 12, 0u);
    EXPECT_EQ(address(b2) % 2, 0u);
    EXPECT_EQ(address(b2), address(f) + 60);
    EXPECT_EQ(address(next_alloc), address(b2) + 4);
}
#endif

TEST_F(TemporaryArrays, AFailedRequestFailsTheNextUntilTheRelease) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(alloc_int(1000), nullptr);  // 12036 bytes
    EXPECT_EQ(alloc_bool(1), nullptr);
    EXPECT_EQ(alloc_char(1), nullptr);
    EXPECT_EQ(alloc_float(0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "unable to allocate a temporary array of int\n"
              "unable to allocate a temporary array of boolean\n"
              "unable to allocate a temporary array of char\n"
              "unable to allocate a temporary array of float\n");
    EXPECT_EQ(nb_alloc, 0);
    free_all_alloc();
    EXPECT_NE(alloc_bool(1), nullptr);
    EXPECT_EQ(nb_alloc, 1);
}

TEST_F(TemporaryArrays, NearTheEndOnlyWhatFitsIsHandedOut) {
    // 47 strings of capacity 50 fit, the 48th does not (revision 3: 47 × 212 = 9964).
    int given = 0;
    testing::internal::CaptureStderr();
    while (alloc_char(50) != nullptr) ++given;
    testing::internal::GetCapturedStderr();
    if constexpr (qv::kRevision != 1) {
        EXPECT_EQ(given, 47);
    }
    EXPECT_EQ(nb_alloc, given);
}

TEST_F(TemporaryArrays, AllocationInitialisesValuesOnly) {
    std::memset(Temp_Alloc, 0xAB, sizeof Temp_Alloc);
    int32_t* t = alloc_int(3);
    const auto* bytes = reinterpret_cast<const unsigned char*>(t);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(t[6 + 3 * k], 0);
        EXPECT_EQ(t[7 + 3 * k], 0);
        EXPECT_EQ(bytes[24 + 12 * k + 8], 0xAB);  // flags untouched
    }
    if constexpr (qv::kRevision == 1) {
        EXPECT_EQ(t[0], 3);
        EXPECT_EQ(array_int_size(t), 3);
    } else {
        EXPECT_EQ(bytes[0], 0xAB);  // the header too
    }
    EXPECT_EQ(t[6 + 9], static_cast<int32_t>(0xABABABAB));  // the spare slot

    free_all_alloc();
    std::memset(Temp_Alloc, 0xAB, sizeof Temp_Alloc);
    unsigned char* b = alloc_bool(2);
    EXPECT_EQ(b[4], 0xA8);
    EXPECT_EQ(b[6], 0xA8);
    EXPECT_EQ(b[5], 0xAB);
#if QV_REVISION == 1
    free_all_alloc();
    float* f = alloc_float(7);
    EXPECT_EQ(array_float_size(f), 7);
#endif
}

// ---- Copies and comparisons ---------------------------------------------------------------

TEST_F(TemporaryArrays, StringAssignmentCutsToTheDestinationCapacity) {
    unsigned char* source = makeString(10, "ABCDEFGH");
    unsigned char* destination = makeString(5, "xyz");
    copy_char_array(destination, source, 5);
    EXPECT_EQ(array_char_len(destination), 5);
    EXPECT_EQ(stringOf(destination), "ABCDE");

    unsigned char* longer = makeString(10, "0123456789");
    copy_char_array(longer, makeString(4, "ab"), 10);
    EXPECT_EQ(stringOf(longer), "ab");
    for (int k = 2; k < 10; ++k) EXPECT_EQ(longer[kCharSlot * (3 + k)], 0);
    EXPECT_EQ(longer[kCharSlot * 3 + 1], 0);  // old values untouched (allocation cleared them)
}

TEST_F(TemporaryArrays, AStringAssignedToItselfIsKept) {
    unsigned char* s = makeString(8, "SAME");
    copy_char_array(s, s, 8);
    EXPECT_EQ(stringOf(s), "SAME");
}

TEST_F(TemporaryArrays, StringComparison) {
    EXPECT_EQ(compare_char_arrays(makeString(5, ""), makeString(3, ""), 5, 3), 1);
    EXPECT_EQ(compare_char_arrays(makeString(5, "AB"), makeString(5, "ABC"), 5, 5), 0);
    EXPECT_EQ(compare_char_arrays(makeString(5, "ABC"), makeString(8, "ABC"), 5, 8), 1);
    EXPECT_EQ(compare_char_arrays(makeString(5, "ABC"), makeString(8, "ABD"), 5, 8), 0);
    EXPECT_EQ(compare_char_arrays(makeString(5, "ABC"), makeString(8, ""), 5, 8), 0);
    EXPECT_EQ(compare_char_arrays(makeString(5, "ABC"), makeString(8, "ABC"), 5, 2), 0);  // longer than b's size
}

TEST_F(TemporaryArrays, BooleanCopiesMoveBitZeroOnly) {
    unsigned char* a = alloc_bool(3);
    unsigned char* b = alloc_bool(3);
    a[4] = 0x01;
    a[6] = 0xFE;
    a[8] = 0x01;
    b[4] = 0xF2;
    b[6] = 0x03;
    b[8] = 0x00;
    copy_bool_array(b, a, 2);
    EXPECT_EQ(b[4], 0xF3);
    EXPECT_EQ(b[6], 0x02);
    EXPECT_EQ(b[8], 0x00);
    copy_bool_array_negated(b, a, 3);
    EXPECT_EQ(b[4], 0xF2);
    EXPECT_EQ(b[6], 0x03);
    EXPECT_EQ(b[8], 0x00);
    EXPECT_EQ(compare_bool_arrays(a, b, 3, 3), 0);
    copy_bool_array(b, a, 3);
    EXPECT_EQ(compare_bool_arrays(a, b, 3, 3), 1);
    EXPECT_EQ(compare_bool_arrays(a, b, 3, 2), 0);
    EXPECT_EQ(compare_bool_arrays(a, b, 0, 0), 1);
    copy_bool_array(b, a, -1);
}

TEST_F(TemporaryArrays, WordCopiesAndComparisons) {
    int32_t* a = alloc_int(3);
    int32_t* b = alloc_int(3);
    for (int k = 0; k < 3; ++k) {
        a[6 + 3 * k] = 10 + k;
        a[7 + 3 * k] = 99;
    }
    copy_int_array(b, a, 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(b[6 + 3 * k], 10 + k);
        EXPECT_EQ(b[7 + 3 * k], 0);  // old values stay
    }
    EXPECT_EQ(compare_int_arrays(a, b, 3, 3), 1);
    EXPECT_EQ(compare_int_arrays(a, b, 3, 2), 0);
    b[6 + 3 * 2] = 0;
    EXPECT_EQ(compare_int_arrays(a, b, 3, 3), 0);
    EXPECT_EQ(compare_int_arrays(a, b, 2, 2), 1);

    float* x = alloc_float(2);
    float* y = alloc_float(2);
    x[6] = 0.0f;
    x[9] = 1.5f;
    y[6] = -0.0f;
    y[9] = 1.5f;
    EXPECT_EQ(compare_float_arrays(x, y, 2, 2), 1);
    y[9] = NAN;
    copy_float_array(x, y, 2);
    EXPECT_TRUE(std::signbit(x[6]));
    EXPECT_EQ(compare_float_arrays(x, y, 2, 2), 0);  // NaN equals nothing
    EXPECT_EQ(compare_float_arrays(x, y, 0, 0), 1);
}

TEST_F(TemporaryArrays, TimeCopiesMoveBothElementSlotsWhole) {
    int32_t* a = alloc_int(2);
    int32_t* b = alloc_int(2);
    auto* ab = reinterpret_cast<unsigned char*>(a);
    auto* bb = reinterpret_cast<unsigned char*>(b);
    for (int k = 0; k < 36 + 24; ++k) ab[k] = static_cast<unsigned char>(k + 1);
    std::memset(bb, 0xEE, 36 + 24);
    copy_time_array(b, a);
    EXPECT_EQ(std::memcmp(bb + 24, ab + 24, 24), 0);
    EXPECT_EQ(bb[23], 0xEE);
    EXPECT_EQ(bb[48], 0xEE);
    std::memset(bb, 0xEE, 36 + 24);
    copy_dt_array(b, a);
    EXPECT_EQ(std::memcmp(bb + 24, ab + 24, 24), 0);
    EXPECT_EQ(bb[0], 0xEE);
}

TEST(AnyBit, SetsOrClearsOneBitModulo32) {
    EXPECT_EQ(affect_AnyBit(0, 33, 1), 2);
    EXPECT_EQ(affect_AnyBit(0xFF, 3, 0), 0xF7);
    EXPECT_EQ(affect_AnyBit(0, 31, 1), INT32_MIN);
    EXPECT_EQ(affect_AnyBit(-1, -1, 2), INT32_MAX);  // bit 31; bit 0 of the value is 0
    EXPECT_EQ(affect_AnyBit(5, 0, 3), 5);
}

}  // namespace
