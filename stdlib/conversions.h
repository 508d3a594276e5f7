/* Type conversions between BOOL, the bit strings, the integers and REAL, the truncating
 * conversions from REAL and the BCD conversions. SINT, INT, DINT, BYTE and WORD values
 * travel as 32-bit integers, DWORD as a 32-bit unsigned integer, BOOL as an int.
 * A conversion that fails returns 0 with 1000 in LIBFB_ERR. All revisions. */
#ifndef QV_CONVERSIONS_H
#define QV_CONVERSIONS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Between signed integers. */
int32_t sint_to_int_OUT(int32_t IN);
int32_t sint_to_dint_OUT(int32_t IN);
int32_t int_to_dint_OUT(int32_t IN);
int32_t int_to_sint_OUT(int32_t IN);
int32_t dint_to_sint_OUT(int32_t IN);
int32_t dint_to_int_OUT(int32_t IN);

/* To REAL. */
float sint_to_real_OUT(int32_t IN);
float int_to_real_OUT(int32_t IN);
float dint_to_real_OUT(int32_t IN);
float byte_to_real_OUT(int32_t IN);
float word_to_real_OUT(int32_t IN);
float dword_to_real_OUT(uint32_t IN);

/* From REAL, rounded to the nearest integer, exact halves to even. */
int32_t real_to_sint_OUT(float IN);
int32_t real_to_int_OUT(float IN);
int32_t real_to_dint_OUT(float IN);
int32_t real_to_byte_OUT(float IN);
int32_t real_to_word_OUT(float IN);
uint32_t real_to_dword_OUT(float IN);

/* From REAL, truncated toward zero. */
int32_t trunc_real_to_sint_OUT(float IN);
int32_t trunc_real_to_int_OUT(float IN);
int32_t trunc_real_to_dint_OUT(float IN);

/* Between bit strings. */
int32_t byte_to_word_OUT(int32_t IN);
uint32_t byte_to_dword_OUT(int32_t IN);
uint32_t word_to_dword_OUT(int32_t IN);
int32_t word_to_byte_OUT(int32_t IN);
int32_t dword_to_byte_OUT(uint32_t IN);
int32_t dword_to_word_OUT(uint32_t IN);

/* Signed integer to bit string: the pattern, cut or zero-extended. */
int32_t sint_to_byte_OUT(int32_t IN);
int32_t sint_to_word_OUT(int32_t IN);
uint32_t sint_to_dword_OUT(int32_t IN);
int32_t int_to_byte_OUT(int32_t IN);
int32_t int_to_word_OUT(int32_t IN);
uint32_t int_to_dword_OUT(int32_t IN);
int32_t dint_to_byte_OUT(int32_t IN);
int32_t dint_to_word_OUT(int32_t IN);
uint32_t dint_to_dword_OUT(int32_t IN);

/* Bit string to signed integer: the pattern, cut and read as signed, or zero-extended. */
int32_t byte_to_sint_OUT(int32_t IN);
int32_t byte_to_int_OUT(int32_t IN);
int32_t byte_to_dint_OUT(int32_t IN);
int32_t word_to_sint_OUT(int32_t IN);
int32_t word_to_int_OUT(int32_t IN);
int32_t word_to_dint_OUT(int32_t IN);
int32_t dword_to_sint_OUT(uint32_t IN);
int32_t dword_to_int_OUT(uint32_t IN);
int32_t dword_to_dint_OUT(uint32_t IN);

/* BOOL to number. */
int32_t bool_to_byte_OUT(int IN);
int32_t bool_to_word_OUT(int IN);
uint32_t bool_to_dword_OUT(int IN);
int32_t bool_to_sint_OUT(int IN);
int32_t bool_to_int_OUT(int IN);
int32_t bool_to_dint_OUT(int IN);
float bool_to_real_OUT(int IN);

/* Number to BOOL. */
int byte_to_bool_OUT(int32_t IN);
int word_to_bool_OUT(int32_t IN);
int dword_to_bool_OUT(uint32_t IN);
int sint_to_bool_OUT(int32_t IN);
int int_to_bool_OUT(int32_t IN);
int dint_to_bool_OUT(int32_t IN);
int real_to_bool_OUT(float IN);

/* BCD. */
int32_t byte_BCD_to_sint_OUT(int32_t IN);
int32_t word_BCD_to_int_OUT(int32_t IN);
int32_t dword_BCD_to_dint_OUT(uint32_t IN);
int32_t sint_to_BCD_byte_OUT(int32_t IN);
int32_t int_to_BCD_word_OUT(int32_t IN);
uint32_t dint_to_BCD_dword_OUT(int32_t IN);

#ifdef __cplusplus
}
#endif

#endif /* QV_CONVERSIONS_H */
