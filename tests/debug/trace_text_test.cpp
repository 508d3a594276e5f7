// The trace recorder's number text must be byte for byte what printf writes.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "runtime/debug/trace_text.h"

namespace {

using namespace qv::trace_text;

std::string printfGeneral(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}
std::string printfFixed(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string integerOf(long value) {
    char text[kIntegerRoom];
    return std::string(text, integerText(text, value));
}
std::string generalOf(double value) {
    char text[kGeneralRoom];
    return std::string(text, generalText(text, value));
}
std::string fixedOf(double value) {
    char text[kFixedRoom];
    return std::string(text, fixedText(text, value));
}

// Doubles that take every path of the conversions: zeros, infinities, NaNs of either sign,
// the limits of floats and doubles, subnormals, large exponents, the switch between fixed
// and exponent notation, and values exactly halfway between two results.
std::vector<double> edgeValues() {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> v = {0.0, -0.0, inf, -inf, nan, -nan, 1.0, -1.0, 0.5, -0.5, 1.5, 2.5, -2.5,
                             FLT_MIN, -FLT_MIN, FLT_MAX, -FLT_MAX, FLT_TRUE_MIN, -FLT_TRUE_MIN,
                             DBL_MIN, DBL_MAX, -DBL_MAX, DBL_TRUE_MIN, 1e300, -1e-300, 1e16, 1e15 + 0.5,
                             0.0001, 0.00009999995, 0.000099999, 1e-5, 123456.0, 999999.0, 999999.5,
                             1e6, 9999995.0, 1234565.0, 2345675.0, 1234575.0, 100000.0, 0.1, 0.3,
                             4294967295.0, 2147483648.0, -2147483649.0, 9007199254740993.0, 1e22,
                             1e23, 5e-324, 2.2250738585072009e-308, 0.49999999999999994, 1e-7, 3.14159265};
    for (int e = -45; e <= 39; ++e) {
        const float f = std::pow(10.0f, static_cast<float>(e));
        for (float g : {f, std::nextafter(f, 0.0f), std::nextafter(f, INFINITY), -f}) v.push_back(g);
    }
    for (double x = 0.5; x < 1e7; x = x * 2 + 0.5) v.push_back(x);
    return v;
}

TEST(TraceText, IntegersAsPrintf) {
    std::vector<long> values = {0, 1, -1, 9, 10, -10, 99, 100, INT32_MAX, INT32_MIN, LONG_MAX, LONG_MIN,
                                LONG_MIN + 1, 1000000, -999999};
    for (long p = 1; p < LONG_MAX / 10; p *= 10) {
        values.push_back(p);
        values.push_back(p - 1);
        values.push_back(-p);
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        values.push_back(static_cast<long>(random()));
        values.push_back(static_cast<int32_t>(random()));
        values.push_back(static_cast<long>(random() % 2000) - 1000);
    }
    for (long v : values) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%ld", v);
        ASSERT_EQ(integerOf(v), expected) << v;
        if (v >= INT_MIN && v <= INT_MAX) {
            std::snprintf(expected, sizeof expected, "%d", static_cast<int>(v));
            ASSERT_EQ(integerOf(v), expected) << v;
        }
    }
}

TEST(TraceText, GeneralAsPrintfForEdgeValues) {
    for (double v : edgeValues()) {
        ASSERT_EQ(generalOf(v), printfGeneral(v)) << v;
        ASSERT_EQ(generalOf(static_cast<float>(v)), printfGeneral(static_cast<float>(v))) << v;
    }
}

// Reals of the image are floats: every sign, exponent and many mantissas.
TEST(TraceText, GeneralAsPrintfForFloats) {
    std::mt19937 random(11);
    for (int i = 0; i < 1000000; ++i) {
        const float f = std::bit_cast<float>(static_cast<uint32_t>(random()));
        ASSERT_EQ(generalOf(f), printfGeneral(f)) << std::bit_cast<uint32_t>(f);
    }
    for (uint64_t bits = 0; bits <= UINT32_MAX; bits += 65521) {
        const float f = std::bit_cast<float>(static_cast<uint32_t>(bits));
        ASSERT_EQ(generalOf(f), printfGeneral(f)) << bits;
    }
}

TEST(TraceText, GeneralAsPrintfForDoubles) {
    std::mt19937_64 random(13);
    for (int i = 0; i < 200000; ++i) {
        const double d = std::bit_cast<double>(random());
        ASSERT_EQ(generalOf(d), printfGeneral(d)) << std::bit_cast<uint64_t>(d);
    }
}

TEST(TraceText, FixedAsPrintf) {
    for (double v : edgeValues()) ASSERT_EQ(fixedOf(v), printfFixed(v)) << v;
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> milliseconds(0.0, 1e12);
    for (int i = 0; i < 200000; ++i) {
        const double ms = milliseconds(random);
        ASSERT_EQ(fixedOf(ms), printfFixed(ms)) << ms;
        const double whole = std::floor(ms);
        ASSERT_EQ(fixedOf(whole), printfFixed(whole)) << whole;
        const double half = whole + 0.5;
        ASSERT_EQ(fixedOf(half), printfFixed(half)) << half;
    }
    for (int i = 0; i < 20000; ++i) {
        const double d = std::bit_cast<double>(random());
        ASSERT_EQ(fixedOf(d), printfFixed(d)) << std::bit_cast<uint64_t>(d);
    }
}

}  // namespace
