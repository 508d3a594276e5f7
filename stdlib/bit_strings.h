/* Bit-string functions: AND, OR, XOR, NOT on the pattern of each type's width, and the
 * shifts and rotations. BOOL is an int decided on its low byte; SINT, INT, DINT, BYTE
 * and WORD are 32-bit integers holding the value (signed types sign-extended, bit
 * strings zero-extended); DWORD is an unsigned 32-bit integer. */
#ifndef QV_BIT_STRINGS_H
#define QV_BIT_STRINGS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int and_bool_OUT(int IN1, int IN2);
int32_t and_byte_OUT(int32_t IN1, int32_t IN2);
int32_t and_word_OUT(int32_t IN1, int32_t IN2);
uint32_t and_dword_OUT(uint32_t IN1, uint32_t IN2);
int32_t and_sint_OUT(int32_t IN1, int32_t IN2);
int32_t and_int_OUT(int32_t IN1, int32_t IN2);
int32_t and_dint_OUT(int32_t IN1, int32_t IN2);

int or_bool_OUT(int IN1, int IN2);
int32_t or_byte_OUT(int32_t IN1, int32_t IN2);
int32_t or_word_OUT(int32_t IN1, int32_t IN2);
uint32_t or_dword_OUT(uint32_t IN1, uint32_t IN2);
int32_t or_sint_OUT(int32_t IN1, int32_t IN2);
int32_t or_int_OUT(int32_t IN1, int32_t IN2);
int32_t or_dint_OUT(int32_t IN1, int32_t IN2);

int xor_bool_OUT(int IN1, int IN2);
int32_t xor_byte_OUT(int32_t IN1, int32_t IN2);
int32_t xor_word_OUT(int32_t IN1, int32_t IN2);
uint32_t xor_dword_OUT(uint32_t IN1, uint32_t IN2);
int32_t xor_sint_OUT(int32_t IN1, int32_t IN2);
int32_t xor_int_OUT(int32_t IN1, int32_t IN2);
int32_t xor_dint_OUT(int32_t IN1, int32_t IN2);

/* not_bool_OUT complements the whole low byte: bit 0 carries the negation. Revision 3
 * returns the complement of the zero-extended value (upper bits ones), revisions 1 and
 * 2 only the complemented low byte. */
int not_bool_OUT(int IN);
int32_t not_byte_OUT(int32_t IN);
int32_t not_word_OUT(int32_t IN);
uint32_t not_dword_OUT(uint32_t IN);
int32_t not_sint_OUT(int32_t IN);
int32_t not_int_OUT(int32_t IN);
int32_t not_dint_OUT(int32_t IN);

/* Shifts and rotations by N places, 0 <= N < width; any other N returns IN with the
 * function's code. Results of the 8- and 16-bit types are zero-extended patterns. */
int32_t shl_byte_OUT(int32_t IN, int32_t N);
int32_t shl_word_OUT(int32_t IN, int32_t N);
uint32_t shl_dword_OUT(uint32_t IN, int32_t N);
int32_t shl_sint_OUT(int32_t IN, int32_t N);
int32_t shl_int_OUT(int32_t IN, int32_t N);
int32_t shl_dint_OUT(int32_t IN, int32_t N);

int32_t shr_byte_OUT(int32_t IN, int32_t N);
int32_t shr_word_OUT(int32_t IN, int32_t N);
uint32_t shr_dword_OUT(uint32_t IN, int32_t N);
int32_t shr_sint_OUT(int32_t IN, int32_t N);
int32_t shr_int_OUT(int32_t IN, int32_t N);
int32_t shr_dint_OUT(int32_t IN, int32_t N);

int32_t rol_byte_OUT(int32_t IN, int32_t N);
int32_t rol_word_OUT(int32_t IN, int32_t N);
uint32_t rol_dword_OUT(uint32_t IN, int32_t N);
int32_t rol_sint_OUT(int32_t IN, int32_t N);
int32_t rol_int_OUT(int32_t IN, int32_t N);
int32_t rol_dint_OUT(int32_t IN, int32_t N);

int32_t ror_byte_OUT(int32_t IN, int32_t N);
int32_t ror_word_OUT(int32_t IN, int32_t N);
uint32_t ror_dword_OUT(uint32_t IN, int32_t N);
int32_t ror_sint_OUT(int32_t IN, int32_t N);
int32_t ror_int_OUT(int32_t IN, int32_t N);
int32_t ror_dint_OUT(int32_t IN, int32_t N);

#ifdef __cplusplus
}
#endif

#endif /* QV_BIT_STRINGS_H */
