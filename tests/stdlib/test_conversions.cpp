// Numeric conversions: every rule, the range failures, rounding to even with and without
// the 2^-23 window, BCD, and a randomised cross-check of the rounding and truncating
// conversions against a reference computed from the bits of each REAL.
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tests/stdlib/part_two_support.h"

namespace qv::test {
namespace {

constexpr bool kHalfWindow = qv::kRevision == 3;

// A conversion that succeeds (LIBFB_ERR 0), or one that fails its range test (0 and 1000).
#define EXPECT_CONVERTS(call, expected)  \
    do {                                 \
        LIBFB_ERR = -1;                  \
        EXPECT_EQ(call, expected);       \
        EXPECT_EQ(LIBFB_ERR, 0) << #call; \
    } while (0)
#define EXPECT_RANGE_FAILURE(call)          \
    do {                                    \
        LIBFB_ERR = -1;                     \
        EXPECT_EQ(call, decltype(call){0}) << #call; \
        EXPECT_EQ(LIBFB_ERR, 1000) << #call; \
    } while (0)

TEST(Conversions, BetweenSignedIntegers) {
    EXPECT_CONVERTS(sint_to_int_OUT(-128), -128);
    EXPECT_CONVERTS(sint_to_dint_OUT(-1), -1);
    EXPECT_CONVERTS(int_to_dint_OUT(-32768), -32768);
    EXPECT_CONVERTS(int_to_sint_OUT(127), 127);
    EXPECT_CONVERTS(int_to_sint_OUT(-128), -128);
    EXPECT_RANGE_FAILURE(int_to_sint_OUT(128));
    EXPECT_RANGE_FAILURE(int_to_sint_OUT(-129));
    EXPECT_RANGE_FAILURE(dint_to_sint_OUT(0x10005));  // the whole 32-bit value is tested
    EXPECT_CONVERTS(dint_to_int_OUT(-32768), -32768);
    EXPECT_RANGE_FAILURE(dint_to_int_OUT(32768));
    EXPECT_RANGE_FAILURE(dint_to_int_OUT(INT32_MIN));
}

TEST(Conversions, ToRealRoundsTheExactValueOnce) {
    EXPECT_CONVERTS(sint_to_real_OUT(-128), -128.0f);
    EXPECT_CONVERTS(int_to_real_OUT(32767), 32767.0f);
    EXPECT_CONVERTS(dint_to_real_OUT(16777217), 16777216.0f);
    EXPECT_CONVERTS(dint_to_real_OUT(INT32_MIN), -2147483648.0f);
    EXPECT_CONVERTS(byte_to_real_OUT(0x1FF), 255.0f);
    EXPECT_CONVERTS(word_to_real_OUT(-1), 65535.0f);
    EXPECT_CONVERTS(dword_to_real_OUT(0xFFFFFFFFu), 4294967296.0f);
    EXPECT_CONVERTS(dword_to_real_OUT(0x80000001u), 2147483648.0f);
}

TEST(Conversions, BitPatternsAreCopiedOrCutAndNeverFail) {
    EXPECT_CONVERTS(sint_to_word_OUT(-1), 0x00FF);
    EXPECT_CONVERTS(int_to_dword_OUT(-1), 0x0000FFFFu);
    EXPECT_CONVERTS(byte_to_sint_OUT(200), -56);
    EXPECT_CONVERTS(byte_to_int_OUT(200), 200);
    EXPECT_CONVERTS(word_to_int_OUT(65535), -1);
    EXPECT_CONVERTS(word_to_sint_OUT(0x1234), 0x34);
    EXPECT_CONVERTS(dword_to_dint_OUT(0xFFFFFFFFu), -1);
    EXPECT_CONVERTS(sint_to_byte_OUT(-2), 0xFE);
    EXPECT_CONVERTS(sint_to_dword_OUT(-128), 0x80u);
    EXPECT_CONVERTS(int_to_byte_OUT(-32768), 0);
    EXPECT_CONVERTS(int_to_word_OUT(-2), 0xFFFE);
    EXPECT_CONVERTS(dint_to_byte_OUT(0x12345678), 0x78);
    EXPECT_CONVERTS(dint_to_word_OUT(-1), 0xFFFF);
    EXPECT_CONVERTS(dint_to_dword_OUT(INT32_MIN), 0x80000000u);
    EXPECT_CONVERTS(byte_to_dint_OUT(0xFF), 255);
    EXPECT_CONVERTS(word_to_dint_OUT(0x8000), 32768);
    EXPECT_CONVERTS(dword_to_sint_OUT(0x12345680u), -128);
    EXPECT_CONVERTS(dword_to_int_OUT(0x12348000u), -32768);
    EXPECT_CONVERTS(byte_to_word_OUT(0x1FF), 0xFF);
    EXPECT_CONVERTS(byte_to_dword_OUT(-1), 0xFFu);
    EXPECT_CONVERTS(word_to_dword_OUT(-1), 0xFFFFu);
    EXPECT_CONVERTS(word_to_byte_OUT(0x1234), 0x34);
    EXPECT_CONVERTS(dword_to_byte_OUT(0xABCDEFu), 0xEF);
    EXPECT_CONVERTS(dword_to_word_OUT(0xABCDEFu), 0xCDEF);
}

TEST(Conversions, BoolAndNumbers) {
    EXPECT_CONVERTS(bool_to_byte_OUT(1), 1);
    EXPECT_CONVERTS(bool_to_int_OUT(0x100), 0);  // the low byte only
    EXPECT_CONVERTS(bool_to_dword_OUT(1), 1u);
    EXPECT_CONVERTS(bool_to_sint_OUT(0), 0);
    EXPECT_CONVERTS(bool_to_word_OUT(1), 1);
    EXPECT_CONVERTS(bool_to_dint_OUT(0x101), 1);
    EXPECT_CONVERTS(bool_to_real_OUT(0x100), 0.0f);
    EXPECT_CONVERTS(bool_to_real_OUT(2), 1.0f);
    EXPECT_CONVERTS(byte_to_bool_OUT(0x100), 0);
    EXPECT_CONVERTS(word_to_bool_OUT(0x10000), 0);
    EXPECT_CONVERTS(word_to_bool_OUT(0x8000), 1);
    EXPECT_CONVERTS(dword_to_bool_OUT(0x80000000u), 1);
    EXPECT_CONVERTS(sint_to_bool_OUT(-1), 1);
    EXPECT_CONVERTS(int_to_bool_OUT(0x10000), 1);  // all 32 bits count
    EXPECT_CONVERTS(dint_to_bool_OUT(0), 0);
    EXPECT_CONVERTS(real_to_bool_OUT(1.0f), 1);
    EXPECT_CONVERTS(real_to_bool_OUT(-0.0f), 0);
    EXPECT_CONVERTS(real_to_bool_OUT(-1.1920929e-7f), 1);
    EXPECT_CONVERTS(real_to_bool_OUT(1.0e-8f), kHalfWindow ? 0 : 1);
    EXPECT_CONVERTS(real_to_bool_OUT(NAN), kHalfWindow ? 0 : 1);
}

TEST(Conversions, RoundingFromRealTakesHalvesToEven) {
    EXPECT_CONVERTS(real_to_int_OUT(2.5f), 2);
    EXPECT_CONVERTS(real_to_int_OUT(3.5f), 4);
    EXPECT_CONVERTS(real_to_int_OUT(-2.5f), -2);
    EXPECT_CONVERTS(real_to_int_OUT(-3.5f), -4);
    EXPECT_CONVERTS(real_to_int_OUT(2.4f), 2);
    EXPECT_CONVERTS(real_to_int_OUT(2.6f), 3);
    EXPECT_CONVERTS(real_to_int_OUT(-2.6f), -3);
    EXPECT_CONVERTS(real_to_sint_OUT(0.5f), 0);
    EXPECT_CONVERTS(real_to_sint_OUT(-0.5f), 0);
    EXPECT_CONVERTS(real_to_dint_OUT(0.49999997f), 0);  // no carry from 0.5 added in single precision
    EXPECT_CONVERTS(real_to_dint_OUT(8388609.0f), 8388609);
    EXPECT_CONVERTS(real_to_dint_OUT(-16777216.0f), -16777216);
    // Just above a half: a fraction within 2^-23 of it is taken as the half itself in
    // revision 3 only.
    const float aboveHalf = std::nextafter(0.5f, 1.0f);
    EXPECT_CONVERTS(real_to_sint_OUT(aboveHalf), kHalfWindow ? 0 : 1);
    EXPECT_CONVERTS(real_to_dint_OUT(-aboveHalf), kHalfWindow ? 0 : -1);
    EXPECT_CONVERTS(real_to_word_OUT(aboveHalf), kHalfWindow ? 0 : 1);
    EXPECT_CONVERTS(real_to_byte_OUT(0.5f + 1.1920929e-7f), 1);
    EXPECT_CONVERTS(real_to_int_OUT(std::nextafter(1.5f, 2.0f)), 2);
    EXPECT_CONVERTS(real_to_int_OUT(std::nextafter(2.5f, 3.0f)), 3);
}

TEST(Conversions, RoundingFromRealTestsTheRoundedValue) {
    EXPECT_CONVERTS(real_to_int_OUT(32767.4f), 32767);
    EXPECT_RANGE_FAILURE(real_to_int_OUT(32767.6f));
    EXPECT_CONVERTS(real_to_int_OUT(-32768.5f), -32768);
    EXPECT_RANGE_FAILURE(real_to_int_OUT(-32769.5f));
    EXPECT_CONVERTS(real_to_sint_OUT(127.49f), 127);
    EXPECT_RANGE_FAILURE(real_to_sint_OUT(127.5f));
    EXPECT_CONVERTS(real_to_byte_OUT(-0.4f), 0);
    EXPECT_RANGE_FAILURE(real_to_byte_OUT(-0.6f));
    EXPECT_CONVERTS(real_to_byte_OUT(254.5f), 254);
    EXPECT_RANGE_FAILURE(real_to_byte_OUT(255.5f));  // rounds to 256
    EXPECT_CONVERTS(real_to_word_OUT(65535.4f), 65535);
    EXPECT_RANGE_FAILURE(real_to_word_OUT(65535.5f));
    for (float special : {NAN, -NAN, INFINITY, -INFINITY, 3.0e38f, -3.0e38f}) {
        EXPECT_RANGE_FAILURE(real_to_sint_OUT(special));
        EXPECT_RANGE_FAILURE(real_to_int_OUT(special));
        EXPECT_RANGE_FAILURE(real_to_byte_OUT(special));
        EXPECT_RANGE_FAILURE(real_to_word_OUT(special));
        EXPECT_RANGE_FAILURE(real_to_dword_OUT(special));
        EXPECT_RANGE_FAILURE(trunc_real_to_sint_OUT(special));
        EXPECT_RANGE_FAILURE(trunc_real_to_int_OUT(special));
    }
}

TEST(Conversions, RealToDwordTestsTheArgumentFirst) {
    EXPECT_RANGE_FAILURE(real_to_dword_OUT(4294967296.0f));
    EXPECT_CONVERTS(real_to_dword_OUT(4294967040.0f), 4294967040u);
    EXPECT_CONVERTS(real_to_dword_OUT(2147483648.0f), 2147483648u);
    EXPECT_CONVERTS(real_to_dword_OUT(-0.0f), 0u);
    EXPECT_RANGE_FAILURE(real_to_dword_OUT(-0.4f));  // negative before rounding
    EXPECT_CONVERTS(real_to_dword_OUT(0.5f), 0u);
    EXPECT_CONVERTS(real_to_dword_OUT(1.5f), 2u);
}

TEST(Conversions, DintFromRealIsNotTested) {
    EXPECT_CONVERTS(real_to_dint_OUT(-2147483648.0f), INT32_MIN);
    EXPECT_CONVERTS(trunc_real_to_dint_OUT(-2147483648.0f), INT32_MIN);
    EXPECT_CONVERTS(trunc_real_to_dint_OUT(-7.9f), -7);
    // Beyond the range the value is held at the limit, NaN gives 0, and nothing fails.
    EXPECT_CONVERTS(real_to_dint_OUT(3.0e9f), INT32_MAX);
    EXPECT_CONVERTS(real_to_dint_OUT(-INFINITY), INT32_MIN);
    EXPECT_CONVERTS(trunc_real_to_dint_OUT(1.0e30f), INT32_MAX);
    EXPECT_CONVERTS(trunc_real_to_dint_OUT(NAN), 0);
    EXPECT_CONVERTS(real_to_dint_OUT(NAN), 0);
}

TEST(Conversions, TruncationFromReal) {
    EXPECT_CONVERTS(trunc_real_to_sint_OUT(-128.9f), -128);
    EXPECT_RANGE_FAILURE(trunc_real_to_sint_OUT(128.0f));
    EXPECT_CONVERTS(trunc_real_to_sint_OUT(127.99f), 127);
    EXPECT_CONVERTS(trunc_real_to_int_OUT(-32768.99f), -32768);
    EXPECT_RANGE_FAILURE(trunc_real_to_int_OUT(-32769.0f));
    EXPECT_CONVERTS(trunc_real_to_int_OUT(2.5f), 2);
}

TEST(Conversions, BcdDigitsAreChecked) {
    EXPECT_CONVERTS(word_BCD_to_int_OUT(0x1234), 1234);
    EXPECT_RANGE_FAILURE(word_BCD_to_int_OUT(0x12A4));
    EXPECT_CONVERTS(word_BCD_to_int_OUT(0xF9999), 9999);  // only the WORD's four groups
    EXPECT_CONVERTS(byte_BCD_to_sint_OUT(0x99), 99);
    EXPECT_RANGE_FAILURE(byte_BCD_to_sint_OUT(0x9A));
    EXPECT_CONVERTS(dword_BCD_to_dint_OUT(0x99999999u), 99999999);
    for (int group = 0; group < 8; ++group) {
        EXPECT_RANGE_FAILURE(dword_BCD_to_dint_OUT(0x12345678u | (0xAu << (4 * group))));
        EXPECT_RANGE_FAILURE(dword_BCD_to_dint_OUT(0xFu << (4 * group)));
    }
    EXPECT_CONVERTS(dint_to_BCD_dword_OUT(12345678), 0x12345678u);
    EXPECT_CONVERTS(dint_to_BCD_dword_OUT(99999999), 0x99999999u);
    EXPECT_RANGE_FAILURE(dint_to_BCD_dword_OUT(100000000));
    EXPECT_RANGE_FAILURE(dint_to_BCD_dword_OUT(-1));
    EXPECT_CONVERTS(int_to_BCD_word_OUT(9999), 0x9999);
    EXPECT_CONVERTS(int_to_BCD_word_OUT(305), 0x305);
    EXPECT_RANGE_FAILURE(int_to_BCD_word_OUT(10000));
    EXPECT_CONVERTS(sint_to_BCD_byte_OUT(0), 0);
    EXPECT_CONVERTS(sint_to_BCD_byte_OUT(99), 0x99);
    EXPECT_RANGE_FAILURE(sint_to_BCD_byte_OUT(-1));
    EXPECT_RANGE_FAILURE(sint_to_BCD_byte_OUT(100));
    for (int v = 0; v <= 9999; ++v) ASSERT_EQ(word_BCD_to_int_OUT(int_to_BCD_word_OUT(v)), v);
}

// ---- Randomised cross-check ---------------------------------------------------------------

// A REAL split from its bits: |x| = mantissa × 2^exponent.
struct Decoded {
    bool finite, negative;
    uint64_t mantissa;
    int exponent;
};

Decoded decode(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const int biased = static_cast<int>((bits >> 23) & 0xFFu);
    const uint64_t fraction = bits & 0x7FFFFFu;
    return {biased != 255, (bits >> 31) != 0, biased == 0 ? fraction : fraction | 0x800000u,
            (biased == 0 ? 1 : biased) - 150};
}

// The integer part and whether the value is too large to matter (|x| ≥ 2^40), else the
// integer part and remainder of |x| in units of 2^exponent.
struct Parts {
    bool huge;
    int64_t whole;         // |x| truncated
    uint64_t remainder;    // |x| - whole, in units of 2^-shift
    int shift;             // 0 when x is an integer
};

Parts partsOf(const Decoded& d) {
    if (!d.finite || d.exponent > 16) return {true, 0, 0, 0};
    if (d.exponent >= 0) return {false, static_cast<int64_t>(d.mantissa << d.exponent), 0, 0};
    const int shift = -d.exponent;
    if (shift > 100) return {false, 0, 0, 0};  // far below any half
    if (shift >= 60) return {false, 0, d.mantissa, shift};
    return {false, static_cast<int64_t>(d.mantissa >> shift), d.mantissa & ((uint64_t{1} << shift) - 1), shift};
}

// Rounding of the reference: nearest, ties to even; in revision 3 a fraction within 2^-23
// of one half counts as the half.
struct Rounded {
    bool huge;
    int64_t value;
};

Rounded referenceRound(float x) {
    const Decoded d = decode(x);
    const Parts p = partsOf(d);
    if (p.huge) return {true, 0};
    int64_t magnitude = p.whole;
    if (p.shift > 0) {
        // Compare remainder / 2^shift with 1/2, exactly, in 128 bits.
        const __int128 twice = static_cast<__int128>(p.remainder) * 2;
        const __int128 one = static_cast<__int128>(1) << p.shift;
        const __int128 distance = twice > one ? twice - one : one - twice;  // |2f - 1| × 2^shift
        // |f - 1/2| < 2^-23  <=>  |2f - 1| × 2^shift < 2^(shift - 22)
        const bool windowHalf = kHalfWindow && p.shift > 22 && distance < (static_cast<__int128>(1) << (p.shift - 22));
        if (distance == 0 || windowHalf) {
            magnitude += magnitude % 2;
        } else if (twice > one) {
            magnitude += 1;
        }
    }
    return {false, d.negative ? -magnitude : magnitude};
}

std::vector<float> sampleReals() {
    std::vector<float> values = {0.0f, -0.0f, NAN, -NAN, INFINITY, -INFINITY, 3.4e38f, -3.4e38f,
                                 std::numeric_limits<float>::denorm_min(), -1.0e-40f, 0.5f, -0.5f};
    std::mt19937 engine(7);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 300000; ++i) values.push_back(std::bit_cast<float>(bits(engine)));
    std::uniform_int_distribution<int> whole(-70000, 70000);
    std::uniform_int_distribution<int> ulps(-4, 4);
    for (int i = 0; i < 300000; ++i) {
        const float half = static_cast<float>(whole(engine)) + 0.5f;  // an exact half, then its neighbours
        float x = half;
        for (int k = ulps(engine); k != 0; k += k > 0 ? -1 : 1) x = std::nextafter(x, k > 0 ? INFINITY : -INFINITY);
        values.push_back(x);
        values.push_back(static_cast<float>(whole(engine)) + std::generate_canonical<float, 24>(engine));
    }
    for (float near : {0.5f, -0.5f, 1.5f, -1.5f, 0.0f, 4294967296.0f, 2147483648.0f}) {
        float x = near;
        for (int k = 0; k < 64; ++k) values.push_back(x = std::nextafter(x, INFINITY));
        x = near;
        for (int k = 0; k < 64; ++k) values.push_back(x = std::nextafter(x, -INFINITY));
    }
    return values;
}

TEST(Conversions, RoundingMatchesAReferenceFromTheBits) {
    for (float x : sampleReals()) {
        const Rounded r = referenceRound(x);
        auto expectRanged = [&](int32_t result, int64_t low, int64_t high, const char* name) {
            const bool fits = !r.huge && r.value >= low && r.value <= high;
            ASSERT_EQ(result, fits ? r.value : 0) << name << " " << x;
            ASSERT_EQ(LIBFB_ERR, fits ? 0 : 1000) << name << " " << x;
        };
        expectRanged(real_to_sint_OUT(x), -128, 127, "real_to_sint_OUT");
        expectRanged(real_to_int_OUT(x), -32768, 32767, "real_to_int_OUT");
        expectRanged(real_to_byte_OUT(x), 0, 255, "real_to_byte_OUT");
        expectRanged(real_to_word_OUT(x), 0, 65535, "real_to_word_OUT");

        const uint32_t dword = real_to_dword_OUT(x);
        const bool dwordFits = !std::isnan(x) && x >= 0.0f && x < 4294967296.0f;
        ASSERT_EQ(dword, dwordFits ? static_cast<uint32_t>(r.value) : 0u) << x;
        ASSERT_EQ(LIBFB_ERR, dwordFits ? 0 : 1000) << x;

        const int32_t dint = real_to_dint_OUT(x);
        ASSERT_EQ(LIBFB_ERR, 0);
        if (!r.huge && r.value >= INT32_MIN && r.value <= INT32_MAX) {
            ASSERT_EQ(dint, r.value) << x;
        }
    }
}

TEST(Conversions, TruncationMatchesAReferenceFromTheBits) {
    for (float x : sampleReals()) {
        const Decoded d = decode(x);
        const Parts p = partsOf(d);
        const int64_t value = d.negative ? -p.whole : p.whole;
        const bool sintFits = !p.huge && value >= -128 && value <= 127;
        const bool intFits = !p.huge && value >= -32768 && value <= 32767;
        ASSERT_EQ(trunc_real_to_sint_OUT(x), sintFits ? value : 0) << x;
        ASSERT_EQ(LIBFB_ERR, sintFits ? 0 : 1000) << x;
        ASSERT_EQ(trunc_real_to_int_OUT(x), intFits ? value : 0) << x;
        ASSERT_EQ(LIBFB_ERR, intFits ? 0 : 1000) << x;
        if (!p.huge && value >= INT32_MIN && value <= INT32_MAX) {
            ASSERT_EQ(trunc_real_to_dint_OUT(x), value) << x;
        }
    }
}

}  // namespace
}  // namespace qv::test
