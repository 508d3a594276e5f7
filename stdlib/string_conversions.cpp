// Conversions between STRING and the numbers. Numbers print with fixed formats into
// strings of fixed capacities; strings are read through a fixed number of leading
// characters, and a text that holds no number reads as 0.
#include <algorithm>
#include <charconv>
#include <cstdio>

#include "stdlib/library.h"

namespace {

using namespace qv::lib;

// ---- Numbers to text ------------------------------------------------------------------

// Room for every text below: "-2147483648", "16#FFFFFFFF", "-1.17549e-38".
constexpr int kTextRoom = 16;

struct Text {
    char chars[kTextRoom];
    int length;
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

// "16#" and the value in `digits` upper-case hexadecimal digits, as "16#%0<digits>X".
Text hexText(uint32_t value, int digits) {
    Text text{{'1', '6', '#'}, 3 + digits};
    for (int k = digits - 1; k >= 0; --k, value >>= 4) text.chars[3 + k] = kHexDigits[value & 0xFu];
    return text;
}

// As "%d" and "%ld".
Text decimalText(int32_t value) {
    Text text{};
    text.length = static_cast<int>(std::to_chars(text.chars, text.chars + kTextRoom, value).ptr - text.chars);
    return text;
}

// As "%g": six significant digits, the shorter of fixed and exponent notation, trailing
// zeros removed.
Text generalText(double value) {
    Text text{};
    text.length = static_cast<int>(
        std::to_chars(text.chars, text.chars + kTextRoom, value, std::chars_format::general, 6).ptr - text.chars);
    return text;
}

// A new string of the given capacity holding the first characters of the text; the
// slots after the text stay NUL, and a text longer than the capacity is cut.
unsigned char* newStringOf(const Text& text, int capacity) {
    LIBFB_ERR = 0;
    unsigned char* result = alloc_char(capacity);
    if (result == nullptr) return nullptr;
    const int n = std::min(text.length, capacity);
    for (int k = 0; k < n; ++k) setStringChar(result, k, static_cast<unsigned char>(text.chars[k]));
    return result;
}

// ---- Text to numbers ------------------------------------------------------------------

// At most `limit` leading characters of a string, NUL-terminated.
struct Prefix {
    char chars[16];
    explicit Prefix(const unsigned char* s, int limit) {
        const int n = std::min(stringLength(s), limit);
        for (int k = 0; k < n; ++k) chars[k] = static_cast<char>(stringChar(s, k));
        chars[n] = '\0';
    }
};

bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What "%d" and "%ld" read: white space, an optional sign, then decimal digits. Without
// a digit nothing is read, which gives 0. A prefix of at most 11 characters cannot
// overflow 64 bits.
int64_t scannedDecimal(const char* text) {
    while (isWhiteSpace(*text)) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + (*text - '0');
    return negative ? -value : value;
}

// The value of "16#" followed by at most `digits` hexadecimal digits, read as the
// formatted input "16#%<digits>X" reads it; 0 when nothing is read.
uint32_t scannedHex(const char* text, int digits) {
    unsigned int value = 0;
    int read = 0;
    switch (digits) {
        case 2: read = std::sscanf(text, "16#%2X", &value); break;
        case 4: read = std::sscanf(text, "16#%4X", &value); break;
        default: read = std::sscanf(text, "16#%8X", &value); break;
    }
    return read == 1 ? value : 0u;
}

}  // namespace

extern "C" {

unsigned char* byte_to_string_OUT(int32_t IN) { return newStringOf(hexText(static_cast<uint32_t>(IN) & 0xFFu, 2), 6); }
unsigned char* word_to_string_OUT(int32_t IN) { return newStringOf(hexText(static_cast<uint32_t>(IN) & 0xFFFFu, 4), 8); }
unsigned char* dword_to_string_OUT(uint32_t IN) { return newStringOf(hexText(IN, 8), 12); }
unsigned char* sint_to_string_OUT(int32_t IN) { return newStringOf(decimalText(static_cast<int8_t>(IN)), 5); }
unsigned char* int_to_string_OUT(int32_t IN) { return newStringOf(decimalText(static_cast<int16_t>(IN)), 7); }
unsigned char* dint_to_string_OUT(int32_t IN) { return newStringOf(decimalText(IN), 12); }

// A text of 12 characters (a negative value with a two-digit exponent) keeps its first
// 11, without a NUL.
unsigned char* real_to_string_OUT(float IN) { return newStringOf(generalText(IN), 11); }

int32_t string_to_byte_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    return static_cast<int32_t>(scannedHex(Prefix(IN, 6).chars, 2) & 0xFFu);
}

int32_t string_to_word_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    return static_cast<int32_t>(scannedHex(Prefix(IN, 7).chars, 4) & 0xFFFFu);
}

uint32_t string_to_dword_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    return scannedHex(Prefix(IN, 11).chars, 8);
}

// SINT and INT give the value as read; its low 8 or 16 bits are the result.
int32_t string_to_sint_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    return static_cast<int32_t>(scannedDecimal(Prefix(IN, 4).chars));
}

int32_t string_to_int_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    return static_cast<int32_t>(scannedDecimal(Prefix(IN, 6).chars));
}

// Eleven digits can exceed the DINT range; such a value gives its low 32 bits.
int32_t string_to_dint_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    return static_cast<int32_t>(static_cast<uint32_t>(scannedDecimal(Prefix(IN, 11).chars)));
}

float string_to_real_OUT(const unsigned char* IN) {
    LIBFB_ERR = 0;
    float value = 0.0f;
    return std::sscanf(Prefix(IN, 15).chars, "%f", &value) == 1 ? value : 0.0f;
}

}  // extern "C"
