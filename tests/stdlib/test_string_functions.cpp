// STRING functions: results and their capacities, the clamping of LEFT, RIGHT and INSERT,
// the ordered argument tests of MID, DELETE and REPLACE, FIND's search, and strings of
// capacity 0 or without a NUL, which must never be read beyond their array.
#include <random>

#include "tests/stdlib/part_two_support.h"

namespace qv::test {
namespace {

using StringFunctions = PoolTest;

TEST_F(StringFunctions, LengthAndConcatenation) {
    EXPECT_EQ(len_OUT(StringValue("ABCDE").get()), 5);
    EXPECT_EQ(len_OUT(StringValue("ABCDE", 5).get()), 5);  // full, no NUL
    EXPECT_EQ(len_OUT(StringValue("ABCDE", 3).get()), 3);
    EXPECT_EQ(len_OUT(StringValue("", 0).get()), 0);
    EXPECT_TRUE(isResultString(concat_OUT(StringValue("AB", 10).get(), StringValue("CDE").get()), "ABCDE", 5));
    EXPECT_TRUE(isResultString(concat_OUT(StringValue("", 0).get(), StringValue("", 4).get()), "", 0));
    EXPECT_EQ(LIBFB_ERR, 0);
}

TEST_F(StringFunctions, LeftAndRightClampTheirLength) {
    const StringValue abc("ABC", 8);
    EXPECT_TRUE(isResultString(left_OUT(abc.get(), 2), "AB", 2));
    EXPECT_EQ(LIBFB_ERR, 0);
    EXPECT_TRUE(isResultString(left_OUT(abc.get(), 5), "ABC", 3));
    EXPECT_EQ(LIBFB_ERR, 1019);
    EXPECT_TRUE(isResultString(left_OUT(abc.get(), -1), "", 0));
    EXPECT_EQ(LIBFB_ERR, 1018);
    EXPECT_TRUE(isResultString(right_OUT(abc.get(), 2), "BC", 2));
    EXPECT_EQ(LIBFB_ERR, 0);
    EXPECT_TRUE(isResultString(right_OUT(abc.get(), INT32_MAX), "ABC", 3));
    EXPECT_EQ(LIBFB_ERR, 1049);
    EXPECT_TRUE(isResultString(right_OUT(abc.get(), INT32_MIN), "", 0));
    EXPECT_EQ(LIBFB_ERR, 1048);
}

TEST_F(StringFunctions, InsertClampsItsPosition) {
    const StringValue abc("ABC");
    const StringValue xy("xy");
    EXPECT_TRUE(isResultString(insert_OUT(abc.get(), xy.get(), 0), "xyABC", 5));
    EXPECT_EQ(LIBFB_ERR, 0);
    EXPECT_TRUE(isResultString(insert_OUT(abc.get(), xy.get(), 2), "ABxyC", 5));
    EXPECT_TRUE(isResultString(insert_OUT(abc.get(), xy.get(), 5), "ABCxy", 5));
    EXPECT_EQ(LIBFB_ERR, 1017);
    EXPECT_TRUE(isResultString(insert_OUT(abc.get(), xy.get(), -4), "xyABC", 5));
    EXPECT_EQ(LIBFB_ERR, 1016);
}

TEST_F(StringFunctions, MidDeleteAndReplace) {
    const StringValue abcde("ABCDE", 9);
    const StringValue xyz("xyz");
    EXPECT_TRUE(isResultString(mid_OUT(abcde.get(), 2, 2), "BC", 2));
    EXPECT_TRUE(isResultString(mid_OUT(abcde.get(), 5, 1), "ABCDE", 5));
    EXPECT_TRUE(isResultString(mid_OUT(abcde.get(), 0, 6), "", 0));
    EXPECT_EQ(LIBFB_ERR, 1024);
    EXPECT_TRUE(isResultString(delete_OUT(abcde.get(), 2, 2), "ADE", 3));
    EXPECT_TRUE(isResultString(delete_OUT(abcde.get(), 5, 1), "", 0));
    EXPECT_TRUE(isResultString(delete_OUT(abcde.get(), 0, 5), "ABCDE", 5));
    EXPECT_TRUE(isResultString(replace_OUT(abcde.get(), xyz.get(), 2, 2), "AxyzDE", 6));
    EXPECT_TRUE(isResultString(replace_OUT(abcde.get(), xyz.get(), 0, 6 - 1), "ABCDxyzE", 8));
    EXPECT_TRUE(isResultString(replace_OUT(abcde.get(), StringValue("").get(), 5, 1), "", 0));
    EXPECT_EQ(LIBFB_ERR, 0);
}

// Each case fails one or more tests; the codes expected of MID, DELETE (per revision) and
// REPLACE are those of the last failing test, on 'ABCDE'.
struct OrderCase {
    int32_t L, P;
    int32_t mid, deleteR3, deleteR12, replace;
};

TEST_F(StringFunctions, TheLastFailingTestDecides) {
    const StringValue abcde("ABCDE", 9);
    const StringValue xyz("xyz");
    const OrderCase cases[] = {
        {2, 2, 0, 0, 0, 0},
        {-1, 3, 1023, 1004, 1004, 1044},        // L < 0
        {-1, 0, 1023, 1004, 1004, 1044},        // L < 0 hides P < 1
        {2, 0, 1022, 1003, 1003, 1043},         // P < 1
        {2, 5, 1026, 1005, 1007, 1047},         // L + P > l + 1
        {0, 6, 1024, 1006, 1005, 1045},         // P > l
        {6, 1, 1025, 1007, 1006, 1046},         // L + P > l + 1, then L > l
        {6, 6, 1024, 1007, 1006, 1046},         // L + P > l + 1, then L > l and P > l
        {-1, 7, 1024, 1006, 1005, 1045},        // L < 0, then P > l
        {7, 7, 1024, 1007, 1006, 1046},         // all three: MID tests P > l last, the others L > l
        {6, -3, 1025, 1007, 1006, 1046},        // P < 1, then L > l
        {-5, 12, 1024, 1006, 1005, 1045},       // L < 0, L + P > l + 1, P > l
        {INT32_MAX, INT32_MAX, 1024, 1007, 1006, 1046},
        {INT32_MIN, INT32_MIN, 1023, 1004, 1004, 1044},
    };
    // The largest MID exhausts the pool: it and the DELETE and REPLACE after it get none.
    ::testing::internal::CaptureStderr();
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "L=" << c.L << " P=" << c.P);
        const unsigned char* mid = mid_OUT(abcde.get(), c.L, c.P);
        EXPECT_EQ(LIBFB_ERR, c.mid);
        const unsigned char* deleted = delete_OUT(abcde.get(), c.L, c.P);
        EXPECT_EQ(LIBFB_ERR, qv::kRevision == 3 ? c.deleteR3 : c.deleteR12);
        const unsigned char* replaced = replace_OUT(abcde.get(), xyz.get(), c.L, c.P);
        EXPECT_EQ(LIBFB_ERR, c.replace);
        if (c.mid == 0) continue;
        // A failure gives an empty string: of capacity L from MID (1 when L < 0, none when
        // L is beyond what the pool holds), of capacity 1 from DELETE and REPLACE.
        if (c.L < 0) {
            EXPECT_TRUE(isResultString(mid, "", 1));
        } else if (c.L < 100) {
            EXPECT_TRUE(isResultString(mid, "", c.L));
        } else {
            EXPECT_EQ(mid, nullptr);
        }
        free_all_alloc();
        const unsigned char* d = delete_OUT(abcde.get(), c.L, c.P);
        const unsigned char* r = replace_OUT(abcde.get(), xyz.get(), c.L, c.P);
        EXPECT_TRUE(isResultString(d, "", 1));
        EXPECT_TRUE(isResultString(r, "", 1));
        (void)deleted;
        (void)replaced;
    }
    const std::string refused = "unable to allocate a temporary array of char\n";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), refused + refused + refused);
}

TEST_F(StringFunctions, FindSearchesLeftToRight) {
    auto find = [](const char* a, const char* b) { return find_OUT(StringValue(a).get(), StringValue(b).get()); };
    EXPECT_EQ(find("aab", "ab"), 2);
    EXPECT_EQ(find("aaab", "aab"), 2);
    EXPECT_EQ(find("abc", ""), 0);
    EXPECT_EQ(find("", "a"), 0);
    EXPECT_EQ(find("abcabc", "cab"), 3);
    EXPECT_EQ(find("abcab", "abc"), 1);
    EXPECT_EQ(find("abcde", "de"), 4);
    EXPECT_EQ(find("abcde", "ef"), 0);
    EXPECT_EQ(find("ab", "abc"), 0);
    EXPECT_EQ(find("\xff\x80", "\x80"), 2);
    EXPECT_EQ(LIBFB_ERR, 0);

    std::mt19937 engine(3);
    auto randomText = [&](int maxLength) {
        std::string text(std::uniform_int_distribution<int>(0, maxLength)(engine), 'a');
        for (char& c : text) c = static_cast<char>('a' + std::uniform_int_distribution<int>(0, 2)(engine));
        return text;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string a = randomText(12);
        const std::string b = randomText(4);
        const std::size_t at = a.find(b);
        const int32_t expected = a.empty() || b.empty() || at == std::string::npos ? 0 : static_cast<int32_t>(at) + 1;
        ASSERT_EQ(find(a.c_str(), b.c_str()), expected) << a << " / " << b;
    }
}

// Every function against std::string on random texts of 0 to 40 characters, in buffers
// that end right after their capacity (often without a NUL), so that the block-wise scans
// and copies meet every length and offset.
TEST_F(StringFunctions, ResultsMatchStdStringOnRandomTexts) {
    std::mt19937 engine(17);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); };
    auto randomText = [&] {
        std::string text(static_cast<std::size_t>(uniform(0, 40)), ' ');
        for (char& c : text) c = static_cast<char>(uniform(1, 255));
        return text;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string a = randomText();
        const std::string b = randomText();
        const StringValue sa(a, static_cast<int>(a.size()) + uniform(0, 1) * uniform(0, 9));
        const StringValue sb(b, static_cast<int>(b.size()) + uniform(0, 3));
        const int la = static_cast<int>(a.size());
        const int lb = static_cast<int>(b.size());
        ASSERT_EQ(len_OUT(sa.get()), la);
        ASSERT_TRUE(isResultString(concat_OUT(sa.get(), sb.get()), a + b, la + lb));
        const int L = uniform(0, la);
        const int P = uniform(1, la - L + 1);
        if (P <= la) {
            ASSERT_TRUE(isResultString(mid_OUT(sa.get(), L, P), a.substr(P - 1, L), L));
            ASSERT_TRUE(isResultString(delete_OUT(sa.get(), L, P), std::string(a).erase(P - 1, L), la - L));
            ASSERT_TRUE(isResultString(replace_OUT(sa.get(), sb.get(), L, P), std::string(a).replace(P - 1, L, b),
                                       la + lb - L));
        }
        ASSERT_TRUE(isResultString(left_OUT(sa.get(), L), a.substr(0, L), L));
        ASSERT_TRUE(isResultString(right_OUT(sa.get(), L), a.substr(la - L), L));
        ASSERT_TRUE(isResultString(insert_OUT(sa.get(), sb.get(), L), std::string(a).insert(L, b), la + lb));
        const std::size_t at = a.find(b);
        ASSERT_EQ(find_OUT(sa.get(), sb.get()), lb == 0 || at == std::string::npos ? 0 : static_cast<int>(at) + 1);
        ASSERT_EQ(LIBFB_ERR, 0);
        free_all_alloc();
    }
}

// FIND and MID read only what they need: texts over "ab" with a NUL inside, so that what
// follows the end of IN1 often holds IN2, in buffers of every capacity from the length up.
// MID's code is the last failing test, as with the whole length.
TEST_F(StringFunctions, FindAndMidStopAtTheEndOfTheString) {
    std::mt19937 engine(29);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine); };
    auto randomText = [&](int maxLength) {
        std::string text(static_cast<std::size_t>(uniform(0, maxLength)), 'a');
        for (char& c : text) c = "ab\0"[uniform(0, 8) == 0 ? 2 : uniform(0, 1)];
        return text;
    };
    auto midCode = [](int L, int P, int l) {
        int code = L < 0 ? 1023 : P < 1 ? 1022 : 0;
        if (L + P > l + 1) code = 1026;
        if (L > l) code = 1025;
        if (P > l) code = 1024;
        return code;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string a = randomText(40);
        const std::string b = randomText(5);
        const StringValue sa(a, static_cast<int>(a.size()) + uniform(0, 6));
        const StringValue sb(b, static_cast<int>(b.size()) + uniform(0, 2));
        const std::string textA = a.substr(0, a.find('\0'));
        const std::string textB = b.substr(0, b.find('\0'));
        const std::size_t at = textA.find(textB);
        const int expected = textB.empty() || at == std::string::npos ? 0 : static_cast<int>(at) + 1;
        ASSERT_EQ(find_OUT(sa.get(), sb.get()), expected) << i;
        const int l = static_cast<int>(textA.size());
        const int L = uniform(-2, l + 2);
        const int P = uniform(-2, l + 2);
        const unsigned char* mid = mid_OUT(sa.get(), L, P);
        ASSERT_EQ(LIBFB_ERR, midCode(L, P, l)) << i;
        if (LIBFB_ERR == 0) {
            ASSERT_TRUE(isResultString(mid, textA.substr(P - 1, L), L));
        }
        free_all_alloc();
    }
}

// Every string read through its exact-size buffer: capacity 0 has no character slot at
// all, and a full string has no NUL. The sanitizers report a read beyond either.
TEST_F(StringFunctions, StringsAreNeverReadBeyondTheirArray) {
    const StringValue none("", 0);
    const StringValue full("ABCD", 4);
    EXPECT_EQ(len_OUT(none.get()), 0);
    EXPECT_EQ(find_OUT(none.get(), full.get()), 0);
    EXPECT_EQ(find_OUT(full.get(), none.get()), 0);
    EXPECT_EQ(find_OUT(full.get(), StringValue("D", 1).get()), 4);
    EXPECT_EQ(find_OUT(full.get(), StringValue("DE", 2).get()), 0);
    EXPECT_TRUE(isResultString(concat_OUT(full.get(), none.get()), "ABCD", 4));
    EXPECT_TRUE(isResultString(concat_OUT(none.get(), full.get()), "ABCD", 4));
    EXPECT_TRUE(isResultString(left_OUT(none.get(), 3), "", 0));
    EXPECT_TRUE(isResultString(right_OUT(full.get(), 9), "ABCD", 4));
    EXPECT_TRUE(isResultString(insert_OUT(none.get(), full.get(), 1), "ABCD", 4));
    EXPECT_TRUE(isResultString(mid_OUT(full.get(), 1, 4), "D", 1));
    EXPECT_TRUE(isResultString(mid_OUT(none.get(), 1, 1), "", 1));
    EXPECT_TRUE(isResultString(delete_OUT(full.get(), 1, 4), "ABC", 3));
    EXPECT_TRUE(isResultString(delete_OUT(none.get(), 0, 1), "", 1));
    EXPECT_TRUE(isResultString(replace_OUT(full.get(), none.get(), 2, 3), "AB", 2));
    EXPECT_TRUE(isResultString(replace_OUT(none.get(), full.get(), 0, 1), "", 1));
}

// Characters above 127 are copied as unsigned bytes.
TEST_F(StringFunctions, EveryByteValueIsCopied) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    const StringValue s(all);
    EXPECT_TRUE(isResultString(mid_OUT(s.get(), 255, 1), all, 255));
    EXPECT_EQ(find_OUT(s.get(), StringValue("\xfe\xff").get()), 254);
}

}  // namespace
}  // namespace qv::test
