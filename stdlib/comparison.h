/* Comparison: EQ, NE, GT, GE, LT and LE for every elementary type, each returning a
 * BOOL (0 or 1). Arguments as for selection (selection.h). BOOL and BYTE compare their
 * low 8 bits unsigned, WORD its low 16 bits, DWORD unsigned; REAL by IEEE rules (a NaN
 * makes every comparison but NE false); TIME and DATE_AND_TIME by their value in ticks;
 * DATE and TIME_OF_DAY by element 0; STRING by the characters as unsigned bytes over
 * the current lengths, a proper prefix being the smaller. */
#ifndef QV_COMPARISON_H
#define QV_COMPARISON_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int eq_sint_OUT(int32_t IN1, int32_t IN2);
int ne_sint_OUT(int32_t IN1, int32_t IN2);
int gt_sint_OUT(int32_t IN1, int32_t IN2);
int ge_sint_OUT(int32_t IN1, int32_t IN2);
int lt_sint_OUT(int32_t IN1, int32_t IN2);
int le_sint_OUT(int32_t IN1, int32_t IN2);

int eq_int_OUT(int32_t IN1, int32_t IN2);
int ne_int_OUT(int32_t IN1, int32_t IN2);
int gt_int_OUT(int32_t IN1, int32_t IN2);
int ge_int_OUT(int32_t IN1, int32_t IN2);
int lt_int_OUT(int32_t IN1, int32_t IN2);
int le_int_OUT(int32_t IN1, int32_t IN2);

int eq_dint_OUT(int32_t IN1, int32_t IN2);
int ne_dint_OUT(int32_t IN1, int32_t IN2);
int gt_dint_OUT(int32_t IN1, int32_t IN2);
int ge_dint_OUT(int32_t IN1, int32_t IN2);
int lt_dint_OUT(int32_t IN1, int32_t IN2);
int le_dint_OUT(int32_t IN1, int32_t IN2);

int eq_real_OUT(float IN1, float IN2);
int ne_real_OUT(float IN1, float IN2);
int gt_real_OUT(float IN1, float IN2);
int ge_real_OUT(float IN1, float IN2);
int lt_real_OUT(float IN1, float IN2);
int le_real_OUT(float IN1, float IN2);

int eq_str_OUT(const unsigned char *IN1, const unsigned char *IN2);
int ne_str_OUT(const unsigned char *IN1, const unsigned char *IN2);
int gt_str_OUT(const unsigned char *IN1, const unsigned char *IN2);
int ge_str_OUT(const unsigned char *IN1, const unsigned char *IN2);
int lt_str_OUT(const unsigned char *IN1, const unsigned char *IN2);
int le_str_OUT(const unsigned char *IN1, const unsigned char *IN2);

int eq_bool_OUT(int IN1, int IN2);
int ne_bool_OUT(int IN1, int IN2);
int gt_bool_OUT(int IN1, int IN2);
int ge_bool_OUT(int IN1, int IN2);
int lt_bool_OUT(int IN1, int IN2);
int le_bool_OUT(int IN1, int IN2);

int eq_byte_OUT(int32_t IN1, int32_t IN2);
int ne_byte_OUT(int32_t IN1, int32_t IN2);
int gt_byte_OUT(int32_t IN1, int32_t IN2);
int ge_byte_OUT(int32_t IN1, int32_t IN2);
int lt_byte_OUT(int32_t IN1, int32_t IN2);
int le_byte_OUT(int32_t IN1, int32_t IN2);

int eq_word_OUT(int32_t IN1, int32_t IN2);
int ne_word_OUT(int32_t IN1, int32_t IN2);
int gt_word_OUT(int32_t IN1, int32_t IN2);
int ge_word_OUT(int32_t IN1, int32_t IN2);
int lt_word_OUT(int32_t IN1, int32_t IN2);
int le_word_OUT(int32_t IN1, int32_t IN2);

int eq_dword_OUT(uint32_t IN1, uint32_t IN2);
int ne_dword_OUT(uint32_t IN1, uint32_t IN2);
int gt_dword_OUT(uint32_t IN1, uint32_t IN2);
int ge_dword_OUT(uint32_t IN1, uint32_t IN2);
int lt_dword_OUT(uint32_t IN1, uint32_t IN2);
int le_dword_OUT(uint32_t IN1, uint32_t IN2);

int eq_time_OUT(const int32_t *IN1, const int32_t *IN2);
int ne_time_OUT(const int32_t *IN1, const int32_t *IN2);
int gt_time_OUT(const int32_t *IN1, const int32_t *IN2);
int ge_time_OUT(const int32_t *IN1, const int32_t *IN2);
int lt_time_OUT(const int32_t *IN1, const int32_t *IN2);
int le_time_OUT(const int32_t *IN1, const int32_t *IN2);

int eq_date_OUT(const int32_t *IN1, const int32_t *IN2);
int ne_date_OUT(const int32_t *IN1, const int32_t *IN2);
int gt_date_OUT(const int32_t *IN1, const int32_t *IN2);
int ge_date_OUT(const int32_t *IN1, const int32_t *IN2);
int lt_date_OUT(const int32_t *IN1, const int32_t *IN2);
int le_date_OUT(const int32_t *IN1, const int32_t *IN2);

int eq_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int ne_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int gt_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int ge_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int lt_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int le_dt_OUT(const int32_t *IN1, const int32_t *IN2);

int eq_tod_OUT(const int32_t *IN1, const int32_t *IN2);
int ne_tod_OUT(const int32_t *IN1, const int32_t *IN2);
int gt_tod_OUT(const int32_t *IN1, const int32_t *IN2);
int ge_tod_OUT(const int32_t *IN1, const int32_t *IN2);
int lt_tod_OUT(const int32_t *IN1, const int32_t *IN2);
int le_tod_OUT(const int32_t *IN1, const int32_t *IN2);

#ifdef __cplusplus
}
#endif

#endif /* QV_COMPARISON_H */
