/* STRING functions. Strings are character arrays; each function that returns a string
 * returns a new temporary character array (null when the temporary pool is exhausted).
 * Positions are 1-based. All revisions. */
#ifndef QV_STRING_FUNCTIONS_H
#define QV_STRING_FUNCTIONS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t len_OUT(const unsigned char *IN);
unsigned char *left_OUT(const unsigned char *IN, int32_t L);
unsigned char *right_OUT(const unsigned char *IN, int32_t L);
unsigned char *mid_OUT(const unsigned char *IN, int32_t L, int32_t P);
unsigned char *concat_OUT(const unsigned char *IN1, const unsigned char *IN2);
unsigned char *insert_OUT(const unsigned char *IN1, const unsigned char *IN2, int32_t P);
unsigned char *delete_OUT(const unsigned char *IN, int32_t L, int32_t P);
unsigned char *replace_OUT(const unsigned char *IN1, const unsigned char *IN2, int32_t L, int32_t P);
int32_t find_OUT(const unsigned char *IN1, const unsigned char *IN2);

#ifdef __cplusplus
}
#endif

#endif /* QV_STRING_FUNCTIONS_H */
