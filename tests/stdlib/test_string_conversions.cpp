// Conversions between STRING and numbers: the fixed formats and capacities, the cut of
// real texts to 11 characters, the limited prefix that the readers take, and cross-checks
// against the C library's formatted output and input.
#include <bit>
#include <cmath>
#include <cstdio>
#include <random>

#include "tests/stdlib/part_two_support.h"

namespace qv::test {
namespace {

using StringConversions = PoolTest;

TEST_F(StringConversions, NumbersPrintWithFixedFormatsAndCapacities) {
    EXPECT_TRUE(isResultString(byte_to_string_OUT(10), "16#0A", 6));
    EXPECT_TRUE(isResultString(byte_to_string_OUT(0x1FF), "16#FF", 6));
    EXPECT_TRUE(isResultString(word_to_string_OUT(0xFF), "16#00FF", 8));
    EXPECT_TRUE(isResultString(word_to_string_OUT(-1), "16#FFFF", 8));
    EXPECT_TRUE(isResultString(dword_to_string_OUT(0xFFFFu), "16#0000FFFF", 12));
    EXPECT_TRUE(isResultString(dword_to_string_OUT(0xDEADBEEFu), "16#DEADBEEF", 12));
    EXPECT_TRUE(isResultString(sint_to_string_OUT(-128), "-128", 5));
    EXPECT_TRUE(isResultString(sint_to_string_OUT(0x17F), "127", 5));  // the low 8 bits as signed
    EXPECT_TRUE(isResultString(int_to_string_OUT(-32768), "-32768", 7));
    EXPECT_TRUE(isResultString(int_to_string_OUT(0x18000), "-32768", 7));
    EXPECT_TRUE(isResultString(dint_to_string_OUT(INT32_MIN), "-2147483648", 12));
    EXPECT_TRUE(isResultString(dint_to_string_OUT(0), "0", 12));
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(StringConversions, RealTextsAreCutToElevenCharacters) {
    EXPECT_TRUE(isResultString(real_to_string_OUT(0.1f), "0.1", 11));
    EXPECT_TRUE(isResultString(real_to_string_OUT(1234567.0f), "1.23457e+06", 11));
    EXPECT_TRUE(isResultString(real_to_string_OUT(-0.0f), "-0", 11));
    EXPECT_TRUE(isResultString(real_to_string_OUT(INFINITY), "inf", 11));
    // Twelve characters: the first eleven fill the whole string, with no NUL.
    const unsigned char* cut = real_to_string_OUT(-1.17549435e-38f);
    EXPECT_TRUE(isResultString(cut, "-1.17549e-3", 11));
    EXPECT_EQ(len_OUT(cut), 11);
}

// The C library's own output for a format and its arguments.
template <typename Print>
std::string printedBy(Print print) {
    char text[64];
    print(text, sizeof text);
    return text;
}
#define printed(...) printedBy([&](char* text, std::size_t size) { std::snprintf(text, size, __VA_ARGS__); })

TEST_F(StringConversions, TextsMatchTheFormattedOutputOfTheCLibrary) {
    std::mt19937 engine(11);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 200000; ++i) {
        const uint32_t v = i < 4 ? std::array<uint32_t, 4>{0u, 0x80000000u, 0x7FFFFFFFu, 0xFFFFFFFFu}[i] : bits(engine);
        const auto s = static_cast<int32_t>(v);
        ASSERT_TRUE(isResultString(byte_to_string_OUT(s), printed("16#%02X", v & 0xFF), 6));
        ASSERT_TRUE(isResultString(word_to_string_OUT(s), printed("16#%04X", v & 0xFFFF), 8));
        ASSERT_TRUE(isResultString(dword_to_string_OUT(v), printed("16#%08lX", static_cast<unsigned long>(v)), 12));
        ASSERT_TRUE(isResultString(sint_to_string_OUT(s), printed("%d", static_cast<int8_t>(v)), 5));
        ASSERT_TRUE(isResultString(int_to_string_OUT(s), printed("%d", static_cast<int16_t>(v)), 7));
        ASSERT_TRUE(isResultString(dint_to_string_OUT(s), printed("%ld", static_cast<long>(s)), 12));
        // Every float: small, huge, denormal, infinite, NaN of either sign.
        const float x = std::bit_cast<float>(v);
        ASSERT_TRUE(isResultString(real_to_string_OUT(x), printed("%g", static_cast<double>(x)).substr(0, 11), 11)) << x;
        free_all_alloc();
    }
}

TEST_F(StringConversions, HexadecimalTextsNeedTheirPrefix) {
    auto byteOf = [](const char* text) { return string_to_byte_OUT(StringValue(text).get()); };
    EXPECT_EQ(byteOf("16#0a"), 10);
    EXPECT_EQ(byteOf("16#0A"), 10);
    EXPECT_EQ(byteOf("0A"), 0);
    EXPECT_EQ(byteOf(" 16#0A"), 0);
    EXPECT_EQ(byteOf("16#F"), 15);
    EXPECT_EQ(byteOf("16#FFF"), 255);  // at most two digits
    EXPECT_EQ(byteOf("16#"), 0);
    EXPECT_EQ(string_to_word_OUT(StringValue("16#12345").get()), 0x1234);
    EXPECT_EQ(string_to_word_OUT(StringValue("16#beef").get()), 0xBEEF);
    EXPECT_EQ(string_to_dword_OUT(StringValue("16#DEADBEEF9").get()), 0xDEADBEEFu);
    EXPECT_EQ(string_to_dword_OUT(StringValue("16#0000FFFF").get()), 0xFFFFu);
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(StringConversions, DecimalTextsAreReadThroughALimitedPrefix) {
    EXPECT_EQ(string_to_int_OUT(StringValue("1234567").get()), 123456);  // its low 16 bits are the INT
    EXPECT_EQ(string_to_int_OUT(StringValue("-32768").get()), -32768);
    EXPECT_EQ(string_to_int_OUT(StringValue("  42xyz").get()), 42);
    EXPECT_EQ(string_to_int_OUT(StringValue("x42").get()), 0);
    EXPECT_EQ(string_to_int_OUT(StringValue("+").get()), 0);
    EXPECT_EQ(string_to_sint_OUT(StringValue("-128").get()), -128);
    EXPECT_EQ(string_to_sint_OUT(StringValue("12345").get()), 1234);
    EXPECT_EQ(string_to_dint_OUT(StringValue("-2147483648").get()), INT32_MIN);
    EXPECT_EQ(string_to_dint_OUT(StringValue(" 12345678901").get()), 1234567890);
    EXPECT_EQ(string_to_dint_OUT(StringValue("123456789012").get()),  // 12345678901 in 32 bits
              static_cast<int32_t>(static_cast<uint32_t>(12345678901 & 0xFFFFFFFF)));
    EXPECT_EQ(string_to_dint_OUT(StringValue("99999999999").get()),
              static_cast<int32_t>(static_cast<uint32_t>(99999999999 & 0xFFFFFFFF)));
    EXPECT_EQ(string_to_real_OUT(StringValue("3.25").get()), 3.25f);
    EXPECT_EQ(string_to_real_OUT(StringValue("-1.5e3").get()), -1500.0f);
    EXPECT_EQ(string_to_real_OUT(StringValue("12345678901234567").get()), 123456789012345.0f);
    EXPECT_EQ(string_to_real_OUT(StringValue("abc").get()), 0.0f);
    // Strings of capacity 0 and strings without a NUL.
    const StringValue none("", 0);
    EXPECT_EQ(string_to_int_OUT(none.get()), 0);
    EXPECT_EQ(string_to_byte_OUT(none.get()), 0);
    EXPECT_EQ(string_to_real_OUT(none.get()), 0.0f);
    EXPECT_EQ(string_to_int_OUT(StringValue("77", 2).get()), 77);
    EXPECT_EQ(string_to_dword_OUT(StringValue("16#1", 4).get()), 1u);
    EXPECT_EQ(LIBFB_ERR, 0);
}

// The decimal readers against the C library's formatted input, on short random texts.
TEST_F(StringConversions, DecimalReadersMatchTheFormattedInputOfTheCLibrary) {
    std::mt19937 engine(5);
    const std::string alphabet = " \t\n+-0123456789x.";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 14);
    for (int i = 0; i < 100000; ++i) {
        std::string text(length(engine), ' ');
        for (char& c : text) c = alphabet[pick(engine)];
        const StringValue s(text);
        auto scanned = [&](std::size_t limit) {
            long value = 0;
            return std::sscanf(text.substr(0, limit).c_str(), "%ld", &value) == 1 ? value : 0L;
        };
        ASSERT_EQ(string_to_sint_OUT(s.get()), scanned(4)) << text;
        ASSERT_EQ(string_to_int_OUT(s.get()), scanned(6)) << text;
        ASSERT_EQ(string_to_dint_OUT(s.get()), static_cast<int32_t>(static_cast<uint32_t>(scanned(11)))) << text;
    }
}

}  // namespace
}  // namespace qv::test
