// Bit strings: the width each function works on, sign handling, the shift count test
// and its codes.
#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/revision.h"
#include "stdlib/qv_stdlib.h"

namespace {

TEST(BitStrings, LogicWorksOnTheLowBitsOfItsWidth) {
    EXPECT_EQ(and_bool_OUT(1, 1), 1);
    EXPECT_EQ(and_bool_OUT(1, 0), 0);
    EXPECT_EQ(or_bool_OUT(0, 0), 0);
    EXPECT_EQ(xor_bool_OUT(1, 1), 0);
    EXPECT_EQ(xor_bool_OUT(0, 1), 1);
    EXPECT_EQ(and_byte_OUT(0x1234, 0x0F) & 0xFF, 0x04);
    EXPECT_EQ(or_word_OUT(0x00F0, 0x1F00) & 0xFFFF, 0x1FF0);
    EXPECT_EQ(xor_word_OUT(0xFFFF, 0x00FF) & 0xFFFF, 0xFF00);
    EXPECT_EQ(xor_dword_OUT(0xFFFF0000u, 0xFFFFFFFFu), 0x0000FFFFu);
    // The signed types work on their sign-extended 32-bit values.
    EXPECT_EQ(and_sint_OUT(-1, 0x7F), 0x7F);
    EXPECT_EQ(or_sint_OUT(-128, 1), -127);
    EXPECT_EQ(xor_int_OUT(-1, 0x7FFF), -32768);
    EXPECT_EQ(and_dint_OUT(INT32_MIN, -1), INT32_MIN);
}

TEST(BitStrings, NotComplementsThePatternOfItsWidth) {
    EXPECT_EQ(not_byte_OUT(0x0F), static_cast<int32_t>(0xFFFFFFF0u));  // bits above the width are ones
    EXPECT_EQ(not_word_OUT(0x00FF), static_cast<int32_t>(0xFFFFFF00u));
    EXPECT_EQ(not_dword_OUT(0u), 0xFFFFFFFFu);
    EXPECT_EQ(not_sint_OUT(5), -6);
    EXPECT_EQ(not_sint_OUT(-128), 127);
    EXPECT_EQ(not_int_OUT(0), -1);
    EXPECT_EQ(not_int_OUT(-32768), 32767);
    EXPECT_EQ(not_dint_OUT(0), -1);
}

TEST(BitStrings, NotOfBoolKeepsTheNegationInBitZeroAndNeverAZeroLowByte) {
    EXPECT_EQ(not_bool_OUT(0) & 0xFF, 0xFF);
    EXPECT_EQ(not_bool_OUT(1) & 0xFF, 0xFE);
    EXPECT_EQ(not_bool_OUT(256) & 0xFF, 0xFF);  // low byte 0: FALSE
    if constexpr (qv::kRevision == 3) {
        EXPECT_EQ(not_bool_OUT(0), -1);  // the complement of the zero-extended value
        EXPECT_EQ(not_bool_OUT(1), -2);
    } else {
        EXPECT_EQ(not_bool_OUT(0), 0xFF);  // the complemented low byte only
        EXPECT_EQ(not_bool_OUT(1), 0xFE);
        EXPECT_EQ(not_bool_OUT(0x1FF), 0x00);
    }
}

TEST(BitStrings, ShiftsCutToTheWidthAndNeverExtendTheSign) {
    EXPECT_EQ(shl_byte_OUT(0x81, 1), 0x02);
    EXPECT_EQ(shl_sint_OUT(-1, 7), 0x80);  // -128, returned zero-extended
    EXPECT_EQ(shl_word_OUT(0x8001, 1), 0x0002);
    EXPECT_EQ(shl_int_OUT(-1, 15), 0x8000);
    EXPECT_EQ(shl_dint_OUT(1, 31), INT32_MIN);
    EXPECT_EQ(shl_dword_OUT(0xFFFFFFFFu, 31), 0x80000000u);
    EXPECT_EQ(shr_int_OUT(-1, 4), 0x0FFF);
    EXPECT_EQ(shr_sint_OUT(-128, 1), 64);
    EXPECT_EQ(shr_byte_OUT(0x80, 7), 1);
    EXPECT_EQ(shr_word_OUT(0x18000, 1), 0x4000);  // bits above the width are not shifted in
    EXPECT_EQ(shr_dint_OUT(-1, 1), INT32_MAX);
    EXPECT_EQ(shr_dword_OUT(0x80000000u, 31), 1u);
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST(BitStrings, RotationsWrapTheBitsRound) {
    EXPECT_EQ(rol_byte_OUT(0x81, 1), 0x03);
    EXPECT_EQ(ror_word_OUT(0x0001, 1), 0x8000);
    EXPECT_EQ(ror_sint_OUT(-2, 1), 0x7F);
    EXPECT_EQ(rol_int_OUT(-32768, 1), 0x0001);
    EXPECT_EQ(rol_dword_OUT(0x80000001u, 4), 0x00000018u);
    EXPECT_EQ(ror_dword_OUT(0x00000018u, 4), 0x80000001u);
    EXPECT_EQ(ror_byte_OUT(0x01, 7), 0x02);
    EXPECT_EQ(rol_dint_OUT(0x12345678, 0), 0x12345678);
    EXPECT_EQ(ror_dint_OUT(-5, 0), -5);
    EXPECT_EQ(rol_sint_OUT(-1, 0), 0xFF);
    EXPECT_EQ(ror_dint_OUT(1, 1), INT32_MIN);
}

struct CountedFunction {
    const char* name;
    int32_t (*function)(int32_t, int32_t);
    int32_t code;
    int32_t width;
};

int32_t shlDword(int32_t in, int32_t n) { return static_cast<int32_t>(shl_dword_OUT(static_cast<uint32_t>(in), n)); }
int32_t shrDword(int32_t in, int32_t n) { return static_cast<int32_t>(shr_dword_OUT(static_cast<uint32_t>(in), n)); }
int32_t rolDword(int32_t in, int32_t n) { return static_cast<int32_t>(rol_dword_OUT(static_cast<uint32_t>(in), n)); }
int32_t rorDword(int32_t in, int32_t n) { return static_cast<int32_t>(ror_dword_OUT(static_cast<uint32_t>(in), n)); }

const CountedFunction kCounted[] = {
    {"rol_byte", rol_byte_OUT, 1050, 8},   {"rol_dint", rol_dint_OUT, 1051, 32}, {"rol_dword", rolDword, 1052, 32},
    {"rol_int", rol_int_OUT, 1053, 16},    {"rol_sint", rol_sint_OUT, 1054, 8},  {"rol_word", rol_word_OUT, 1055, 16},
    {"ror_word", ror_word_OUT, 1056, 16},  {"ror_byte", ror_byte_OUT, 1057, 8},  {"ror_dint", ror_dint_OUT, 1058, 32},
    {"ror_dword", rorDword, 1059, 32},     {"ror_int", ror_int_OUT, 1060, 16},   {"ror_sint", ror_sint_OUT, 1061, 8},
    {"shl_byte", shl_byte_OUT, 1062, 8},   {"shl_dint", shl_dint_OUT, 1063, 32}, {"shl_dword", shlDword, 1064, 32},
    {"shl_int", shl_int_OUT, 1065, 16},    {"shl_sint", shl_sint_OUT, 1066, 8},  {"shl_word", shl_word_OUT, 1067, 16},
    {"shr_byte", shr_byte_OUT, 1068, 8},   {"shr_dint", shr_dint_OUT, 1069, 32}, {"shr_dword", shrDword, 1070, 32},
    {"shr_int", shr_int_OUT, 1071, 16},    {"shr_sint", shr_sint_OUT, 1072, 8},  {"shr_word", shr_word_OUT, 1073, 16},
};

// A count of the width or more, or any negative count, returns IN's pattern with the
// function's code; the last usable count succeeds and clears the code.
TEST(BitStrings, ACountOutsideTheWidthReturnsInWithTheFunctionsCode) {
    const int32_t in = static_cast<int32_t>(0xA5C3B2E1u);
    for (const CountedFunction& f : kCounted) {
        SCOPED_TRACE(f.name);
        const uint32_t mask = f.width == 32 ? 0xFFFFFFFFu : (1u << f.width) - 1u;
        const int32_t pattern = static_cast<int32_t>(static_cast<uint32_t>(in) & mask);
        for (int32_t n : {f.width, f.width + 1, 1000, -1, INT32_MIN}) {
            LIBFB_ERR = 0;
            EXPECT_EQ(f.function(in, n), pattern) << "N = " << n;
            EXPECT_EQ(LIBFB_ERR, f.code) << "N = " << n;
        }
        f.function(in, f.width - 1);
        EXPECT_EQ(LIBFB_ERR, 0);
    }
}

}  // namespace
