// Bit-string functions. The shifts and rotations keep their intermediate values in
// function-static scratch variables of the type's width (`tmp`; `tmp1`, `tmp2`, `val`).
#include "stdlib/bit_strings.h"

#include "stdlib/library.h"

namespace qv::lib {
namespace {

constexpr int32_t kByteMask = 0xFF;
constexpr int32_t kWordMask = 0xFFFF;

// The logic functions of the 8- and 16-bit bit strings work on the low bits and leave
// the bits of IN1 above the width in the returned word.
int32_t andLow(int32_t in1, int32_t in2, int32_t mask) { return in1 & (in2 | ~mask); }
int32_t orLow(int32_t in1, int32_t in2, int32_t mask) { return in1 | (in2 & mask); }
int32_t xorLow(int32_t in1, int32_t in2, int32_t mask) { return in1 ^ (in2 & mask); }

template <typename U>
constexpr int32_t kWidth = static_cast<int32_t>(sizeof(U) * 8);

// A shift count is usable below the width; a negative count is a huge unsigned one.
// Revision 1 tests the signed count at both ends, with the same outcome.
template <typename U>
bool countFits(int32_t n) {
    if constexpr (kRevision == 1) return !(n > kWidth<U> - 1 || n < 0);
    return static_cast<uint32_t>(n) < static_cast<uint32_t>(kWidth<U>);
}

template <typename U>
U shiftLeft(uint32_t in, int32_t n, int32_t code, U& tmp) {
    const U pattern = static_cast<U>(in);
    if (!countFits<U>(n)) {
        LIBFB_ERR = code;
        return pattern;
    }
    LIBFB_ERR = 0;
    tmp = static_cast<U>(static_cast<uint32_t>(pattern) << n);
    return tmp;
}

// Zeros enter from the left for every type: the sign is never extended.
template <typename U>
U shiftRight(uint32_t in, int32_t n, int32_t code, U& tmp) {
    const U pattern = static_cast<U>(in);
    if (!countFits<U>(n)) {
        LIBFB_ERR = code;
        return pattern;
    }
    LIBFB_ERR = 0;
    tmp = static_cast<U>(static_cast<uint32_t>(pattern) >> n);
    return tmp;
}

// The partial shift by width − n is done in 64 bits: a rotation by 0 then adds nothing.
template <typename U>
U rotateLeft(uint32_t in, int32_t n, int32_t code, U& tmp1, U& tmp2, U& val) {
    const U pattern = static_cast<U>(in);
    if (!countFits<U>(n)) {
        LIBFB_ERR = code;
        return pattern;
    }
    LIBFB_ERR = 0;
    tmp1 = static_cast<U>(static_cast<uint64_t>(pattern) << n);
    tmp2 = static_cast<U>(static_cast<uint64_t>(pattern) >> (kWidth<U> - n));
    val = static_cast<U>(tmp1 | tmp2);
    return val;
}

template <typename U>
U rotateRight(uint32_t in, int32_t n, int32_t code, U& tmp1, U& tmp2, U& val) {
    const U pattern = static_cast<U>(in);
    if (!countFits<U>(n)) {
        LIBFB_ERR = code;
        return pattern;
    }
    LIBFB_ERR = 0;
    tmp1 = static_cast<U>(static_cast<uint64_t>(pattern) >> n);
    tmp2 = static_cast<U>(static_cast<uint64_t>(pattern) << (kWidth<U> - n));
    val = static_cast<U>(tmp1 | tmp2);
    return val;
}

uint32_t bits(int32_t value) { return static_cast<uint32_t>(value); }

}  // namespace
}  // namespace qv::lib

using namespace qv::lib;

extern "C" {

// ---- AND, OR, XOR ------------------------------------------------------------------
// The signed types work on all 32 bits of their sign-extended arguments.

int and_bool_OUT(int IN1, int IN2) { LIBFB_ERR = 0; return andLow(IN1, IN2, kByteMask); }
int32_t and_byte_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return andLow(IN1, IN2, kByteMask); }
int32_t and_word_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return andLow(IN1, IN2, kWordMask); }
uint32_t and_dword_OUT(uint32_t IN1, uint32_t IN2) { LIBFB_ERR = 0; return IN1 & IN2; }
int32_t and_sint_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 & IN2; }
int32_t and_int_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 & IN2; }
int32_t and_dint_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 & IN2; }

int or_bool_OUT(int IN1, int IN2) { LIBFB_ERR = 0; return orLow(IN1, IN2, kByteMask); }
int32_t or_byte_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return orLow(IN1, IN2, kByteMask); }
int32_t or_word_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return orLow(IN1, IN2, kWordMask); }
uint32_t or_dword_OUT(uint32_t IN1, uint32_t IN2) { LIBFB_ERR = 0; return IN1 | IN2; }
int32_t or_sint_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 | IN2; }
int32_t or_int_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 | IN2; }
int32_t or_dint_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 | IN2; }

int xor_bool_OUT(int IN1, int IN2) { LIBFB_ERR = 0; return xorLow(IN1, IN2, kByteMask); }
int32_t xor_byte_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return xorLow(IN1, IN2, kByteMask); }
int32_t xor_word_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return xorLow(IN1, IN2, kWordMask); }
uint32_t xor_dword_OUT(uint32_t IN1, uint32_t IN2) { LIBFB_ERR = 0; return IN1 ^ IN2; }
int32_t xor_sint_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 ^ IN2; }
int32_t xor_int_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 ^ IN2; }
int32_t xor_dint_OUT(int32_t IN1, int32_t IN2) { LIBFB_ERR = 0; return IN1 ^ IN2; }

// ---- NOT ----------------------------------------------------------------------------

int not_bool_OUT(int IN) {
    LIBFB_ERR = 0;
    if constexpr (qv::kRevision == 3) return ~(IN & kByteMask);
    return ~IN & kByteMask;
}
int32_t not_byte_OUT(int32_t IN) { LIBFB_ERR = 0; return ~(IN & kByteMask); }
int32_t not_word_OUT(int32_t IN) { LIBFB_ERR = 0; return ~(IN & kWordMask); }
uint32_t not_dword_OUT(uint32_t IN) { LIBFB_ERR = 0; return ~IN; }
int32_t not_sint_OUT(int32_t IN) { LIBFB_ERR = 0; return static_cast<int8_t>(~IN); }
int32_t not_int_OUT(int32_t IN) { LIBFB_ERR = 0; return static_cast<int16_t>(~IN); }
int32_t not_dint_OUT(int32_t IN) { LIBFB_ERR = 0; return ~IN; }

// ---- SHL ----------------------------------------------------------------------------

int32_t shl_byte_OUT(int32_t IN, int32_t N) { static uint8_t tmp; return shiftLeft(bits(IN), N, 1062, tmp); }
int32_t shl_dint_OUT(int32_t IN, int32_t N) {
    static uint32_t tmp;
    return static_cast<int32_t>(shiftLeft(bits(IN), N, 1063, tmp));
}
uint32_t shl_dword_OUT(uint32_t IN, int32_t N) { static uint32_t tmp; return shiftLeft(IN, N, 1064, tmp); }
int32_t shl_int_OUT(int32_t IN, int32_t N) { static uint16_t tmp; return shiftLeft(bits(IN), N, 1065, tmp); }
int32_t shl_sint_OUT(int32_t IN, int32_t N) { static uint8_t tmp; return shiftLeft(bits(IN), N, 1066, tmp); }
int32_t shl_word_OUT(int32_t IN, int32_t N) { static uint16_t tmp; return shiftLeft(bits(IN), N, 1067, tmp); }

// ---- SHR ----------------------------------------------------------------------------

int32_t shr_byte_OUT(int32_t IN, int32_t N) { static uint8_t tmp; return shiftRight(bits(IN), N, 1068, tmp); }
int32_t shr_dint_OUT(int32_t IN, int32_t N) {
    static uint32_t tmp;
    return static_cast<int32_t>(shiftRight(bits(IN), N, 1069, tmp));
}
uint32_t shr_dword_OUT(uint32_t IN, int32_t N) { static uint32_t tmp; return shiftRight(IN, N, 1070, tmp); }
int32_t shr_int_OUT(int32_t IN, int32_t N) { static uint16_t tmp; return shiftRight(bits(IN), N, 1071, tmp); }
int32_t shr_sint_OUT(int32_t IN, int32_t N) { static uint8_t tmp; return shiftRight(bits(IN), N, 1072, tmp); }
int32_t shr_word_OUT(int32_t IN, int32_t N) { static uint16_t tmp; return shiftRight(bits(IN), N, 1073, tmp); }

// ---- ROL ----------------------------------------------------------------------------

int32_t rol_byte_OUT(int32_t IN, int32_t N) {
    static uint8_t tmp1, tmp2, val;
    return rotateLeft(bits(IN), N, 1050, tmp1, tmp2, val);
}
int32_t rol_dint_OUT(int32_t IN, int32_t N) {
    static uint32_t tmp1, tmp2, val;
    return static_cast<int32_t>(rotateLeft(bits(IN), N, 1051, tmp1, tmp2, val));
}
uint32_t rol_dword_OUT(uint32_t IN, int32_t N) {
    static uint32_t tmp1, tmp2, val;
    return rotateLeft(IN, N, 1052, tmp1, tmp2, val);
}
int32_t rol_int_OUT(int32_t IN, int32_t N) {
    static uint16_t tmp1, tmp2, val;
    return rotateLeft(bits(IN), N, 1053, tmp1, tmp2, val);
}
int32_t rol_sint_OUT(int32_t IN, int32_t N) {
    static uint8_t tmp1, tmp2, val;
    return rotateLeft(bits(IN), N, 1054, tmp1, tmp2, val);
}
int32_t rol_word_OUT(int32_t IN, int32_t N) {
    static uint16_t tmp1, tmp2, val;
    return rotateLeft(bits(IN), N, 1055, tmp1, tmp2, val);
}

// ---- ROR ----------------------------------------------------------------------------

int32_t ror_word_OUT(int32_t IN, int32_t N) {
    static uint16_t tmp1, tmp2, val;
    return rotateRight(bits(IN), N, 1056, tmp1, tmp2, val);
}
int32_t ror_byte_OUT(int32_t IN, int32_t N) {
    static uint8_t tmp1, tmp2, val;
    return rotateRight(bits(IN), N, 1057, tmp1, tmp2, val);
}
int32_t ror_dint_OUT(int32_t IN, int32_t N) {
    static uint32_t tmp1, tmp2, val;
    return static_cast<int32_t>(rotateRight(bits(IN), N, 1058, tmp1, tmp2, val));
}
uint32_t ror_dword_OUT(uint32_t IN, int32_t N) {
    static uint32_t tmp1, tmp2, val;
    return rotateRight(IN, N, 1059, tmp1, tmp2, val);
}
int32_t ror_int_OUT(int32_t IN, int32_t N) {
    static uint16_t tmp1, tmp2, val;
    return rotateRight(bits(IN), N, 1060, tmp1, tmp2, val);
}
int32_t ror_sint_OUT(int32_t IN, int32_t N) {
    static uint8_t tmp1, tmp2, val;
    return rotateRight(bits(IN), N, 1061, tmp1, tmp2, val);
}

}  // extern "C"
