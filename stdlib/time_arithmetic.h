/* Arithmetic on TIME, DATE, TIME_OF_DAY and DATE_AND_TIME values. Every operand is the
 * address of an integer array; every result is a new temporary integer array (null when
 * the temporary pool is exhausted). All revisions. */
#ifndef QV_TIME_ARITHMETIC_H
#define QV_TIME_ARITHMETIC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t *add_time_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *sub_time_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *add_dt_t_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *sub_dt_t_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *sub_dt_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *add_tod_t_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *sub_tod_t_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *sub_tod_tod_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *sub_date_date_OUT(const int32_t *IN1, const int32_t *IN2);

int32_t *mul_t_sint_OUT(const int32_t *IN1, int32_t IN2);
int32_t *mul_t_int_OUT(const int32_t *IN1, int32_t IN2);
int32_t *mul_t_dint_OUT(const int32_t *IN1, int32_t IN2);
int32_t *mul_t_real_OUT(const int32_t *IN1, float IN2);

/* A divisor of 0 or below gives a TIME of 0 days and 0 ticks with the function's code. */
int32_t *div_t_sint_OUT(const int32_t *IN1, int32_t IN2);
int32_t *div_t_int_OUT(const int32_t *IN1, int32_t IN2);
int32_t *div_t_dint_OUT(const int32_t *IN1, int32_t IN2);
int32_t *div_t_real_OUT(const int32_t *IN1, float IN2);

int32_t *concat_date_tod_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *dt_to_tod_OUT(const int32_t *IN);
int32_t *dt_to_date_OUT(const int32_t *IN);

#ifdef __cplusplus
}
#endif

#endif /* QV_TIME_ARITHMETIC_H */
