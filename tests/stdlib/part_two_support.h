// Values of the array-shaped types for the library tests: TIME-like integer arrays and
// strings laid out exactly as the library reads them, each in a buffer of its own size
// so that the sanitizers catch any read beyond it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/debug/qv_debug.h"
#include "runtime/revision.h"
#include "stdlib/qv_stdlib.h"

namespace qv::test {

// An integer array of two elements (TIME, DATE_AND_TIME) or one (DATE, TIME_OF_DAY).
struct IntArray {
    std::array<int32_t, 12> words{};
    explicit IntArray(int32_t e0, int32_t e1 = 0) {
        words[6] = e0;
        words[9] = e1;
    }
    const int32_t* get() const { return words.data(); }
};

inline int32_t elementOf(const int32_t* array, int k) { return array[6 + 3 * k]; }

// A string of the given capacity holding `text` (cut to the capacity). The buffer ends
// right after the last character slot.
struct StringValue {
    std::vector<unsigned char> bytes;
    StringValue(const std::string& text, int capacity) {
        const int slot = qv::kCharSlotSize;
        if (capacity < 0) capacity = 0;
        bytes.assign(static_cast<std::size_t>(slot * (3 + capacity)), 0xEE);
        bytes[0] = bytes[1] = static_cast<unsigned char>(capacity >> 8);
        bytes[slot] = bytes[slot + 1] = static_cast<unsigned char>(capacity & 0xFF);
        for (int k = 0; k < capacity; ++k) {
            const unsigned char c = k < static_cast<int>(text.size()) ? static_cast<unsigned char>(text[k]) : 0;
            bytes[static_cast<std::size_t>(slot * (3 + k))] = c;
        }
    }
    explicit StringValue(const std::string& text) : StringValue(text, static_cast<int>(text.size()) + 1) {}
    const unsigned char* get() const { return bytes.data(); }
};

// The current text of a string: its characters up to its length.
inline std::string textOf(const unsigned char* s) {
    std::string text;
    const int length = array_char_len(s);
    for (int k = 0; k < length; ++k) text += static_cast<char>(s[qv::kCharSlotSize * (3 + k)]);
    return text;
}

// A result string is well formed: its capacity, its text, each character in both bytes
// of its slot, and NUL after the text up to the capacity.
inline ::testing::AssertionResult isResultString(const unsigned char* s, const std::string& text, int capacity) {
    if (s == nullptr) return ::testing::AssertionFailure() << "no string";
    if (array_char_size(s) != capacity)
        return ::testing::AssertionFailure() << "capacity " << array_char_size(s) << ", expected " << capacity;
    if (textOf(s) != text) return ::testing::AssertionFailure() << "text '" << textOf(s) << "', expected '" << text << "'";
    for (int k = 0; k < capacity; ++k) {
        const unsigned char* slot = s + qv::kCharSlotSize * (3 + k);
        const unsigned char expected = k < static_cast<int>(text.size()) ? static_cast<unsigned char>(text[k]) : 0;
        if (slot[0] != expected || slot[1] != expected)
            return ::testing::AssertionFailure() << "slot " << k << " holds " << int{slot[0]} << "/" << int{slot[1]};
    }
    return ::testing::AssertionSuccess();
}

// Releases the temporary pool around each test.
class PoolTest : public ::testing::Test {
protected:
    void SetUp() override { free_all_alloc(); LIBFB_ERR = 0; }
    void TearDown() override { free_all_alloc(); }
};

}  // namespace qv::test
