/* Conversions between STRING and the numeric types. Numbers print with fixed formats
 * into new temporary strings of fixed capacities (null when the temporary pool is
 * exhausted); strings are read through a fixed number of leading characters and never
 * fail. All revisions. */
#ifndef QV_STRING_CONVERSIONS_H
#define QV_STRING_CONVERSIONS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

unsigned char *byte_to_string_OUT(int32_t IN);
unsigned char *word_to_string_OUT(int32_t IN);
unsigned char *dword_to_string_OUT(uint32_t IN);
unsigned char *sint_to_string_OUT(int32_t IN);
unsigned char *int_to_string_OUT(int32_t IN);
unsigned char *dint_to_string_OUT(int32_t IN);
unsigned char *real_to_string_OUT(float IN);

int32_t string_to_byte_OUT(const unsigned char *IN);
int32_t string_to_word_OUT(const unsigned char *IN);
uint32_t string_to_dword_OUT(const unsigned char *IN);
int32_t string_to_sint_OUT(const unsigned char *IN);
int32_t string_to_int_OUT(const unsigned char *IN);
int32_t string_to_dint_OUT(const unsigned char *IN);
float string_to_real_OUT(const unsigned char *IN);

#ifdef __cplusplus
}
#endif

#endif /* QV_STRING_CONVERSIONS_H */
