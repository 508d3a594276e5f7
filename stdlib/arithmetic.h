/* Arithmetic: ADD, SUB, MUL, DIV, MOD, EXPT, MOVE and ABS for SINT, INT, DINT and REAL.
 * SINT and INT results outside their range give 0 with code 1000; DINT wraps silently;
 * REAL follows IEEE arithmetic. Integer arguments arrive sign-extended in 32 bits. */
#ifndef QV_ARITHMETIC_H
#define QV_ARITHMETIC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t add_sint_OUT(int32_t IN1, int32_t IN2);
int32_t add_int_OUT(int32_t IN1, int32_t IN2);
int32_t add_dint_OUT(int32_t IN1, int32_t IN2);
float add_real_OUT(float IN1, float IN2);

int32_t sub_sint_OUT(int32_t IN1, int32_t IN2);
int32_t sub_int_OUT(int32_t IN1, int32_t IN2);
int32_t sub_dint_OUT(int32_t IN1, int32_t IN2);
float sub_real_OUT(float IN1, float IN2);

int32_t mul_sint_OUT(int32_t IN1, int32_t IN2);
int32_t mul_int_OUT(int32_t IN1, int32_t IN2);
int32_t mul_dint_OUT(int32_t IN1, int32_t IN2);
float mul_real_OUT(float IN1, float IN2);

/* Quotients truncated toward zero. */
int32_t div_sint_OUT(int32_t IN1, int32_t IN2);
int32_t div_int_OUT(int32_t IN1, int32_t IN2);
int32_t div_dint_OUT(int32_t IN1, int32_t IN2);
float div_real_OUT(float IN1, float IN2);

/* Remainders with the sign of IN1. */
int32_t mod_sint_OUT(int32_t IN1, int32_t IN2);
int32_t mod_int_OUT(int32_t IN1, int32_t IN2);
int32_t mod_dint_OUT(int32_t IN1, int32_t IN2);

/* IN1 to the power IN2 (a DINT exponent for the integers, capped per type). */
int32_t expt_sint_OUT(int32_t IN1, int32_t IN2);
int32_t expt_int_OUT(int32_t IN1, int32_t IN2);
int32_t expt_dint_OUT(int32_t IN1, int32_t IN2);
float expt_real_OUT(float IN1, float IN2);

int32_t move_sint_OUT(int32_t IN);
int32_t move_int_OUT(int32_t IN);
int32_t move_dint_OUT(int32_t IN);
float move_real_OUT(float IN);

int32_t abs_sint_OUT(int32_t IN);
int32_t abs_int_OUT(int32_t IN);
int32_t abs_dint_OUT(int32_t IN);
float abs_real_OUT(float IN);

#ifdef __cplusplus
}
#endif

#endif /* QV_ARITHMETIC_H */
