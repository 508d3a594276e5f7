/* Selection: SEL, MUX, MAX, MIN and LIMIT for every elementary type. Scalars come by
 * value (BOOL as an int, DWORD unsigned, REAL as a float, the other integers as 32-bit
 * integers holding the value); TIME, DATE, TIME_OF_DAY and DATE_AND_TIME are integer
 * arrays and STRING a character array, passed by address. A result of those types is
 * always a new temporary copy of the chosen input, or null when the temporary pool is
 * exhausted (nothing is written then; LIBFB_ERR is set as for a result). */
#ifndef QV_SELECTION_H
#define QV_SELECTION_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- SEL: IN1 when the low byte of G is non-zero, else IN0 ---------------------- */

int32_t sel_sint_OUT(int G, int32_t IN0, int32_t IN1);
int32_t sel_int_OUT(int G, int32_t IN0, int32_t IN1);
int32_t sel_dint_OUT(int G, int32_t IN0, int32_t IN1);
float sel_real_OUT(int G, float IN0, float IN1);
unsigned char *sel_str_OUT(int G, const unsigned char *IN0, const unsigned char *IN1);
int sel_bool_OUT(int G, int IN0, int IN1);
int32_t sel_byte_OUT(int G, int32_t IN0, int32_t IN1);
int32_t sel_word_OUT(int G, int32_t IN0, int32_t IN1);
uint32_t sel_dword_OUT(int G, uint32_t IN0, uint32_t IN1);
int32_t *sel_time_OUT(int G, const int32_t *IN0, const int32_t *IN1);
int32_t *sel_date_OUT(int G, const int32_t *IN0, const int32_t *IN1);
int32_t *sel_dt_OUT(int G, const int32_t *IN0, const int32_t *IN1);
int32_t *sel_tod_OUT(int G, const int32_t *IN0, const int32_t *IN1);

/* ---- MUX: IN_K for K in 0..9, else IN0 with the function's code ------------------ */

#define QV_MUX_INPUTS(T) T IN0, T IN1, T IN2, T IN3, T IN4, T IN5, T IN6, T IN7, T IN8, T IN9
int32_t mux_sint_OUT(int32_t K, QV_MUX_INPUTS(int32_t));
int32_t mux_int_OUT(int32_t K, QV_MUX_INPUTS(int32_t));
int32_t mux_dint_OUT(int32_t K, QV_MUX_INPUTS(int32_t));
float mux_real_OUT(int32_t K, QV_MUX_INPUTS(float));
unsigned char *mux_str_OUT(int32_t K, QV_MUX_INPUTS(const unsigned char *));
int mux_bool_OUT(int32_t K, QV_MUX_INPUTS(int));
int32_t mux_byte_OUT(int32_t K, QV_MUX_INPUTS(int32_t));
int32_t mux_word_OUT(int32_t K, QV_MUX_INPUTS(int32_t));
uint32_t mux_dword_OUT(int32_t K, QV_MUX_INPUTS(uint32_t));
int32_t *mux_time_OUT(int32_t K, QV_MUX_INPUTS(const int32_t *));
int32_t *mux_date_OUT(int32_t K, QV_MUX_INPUTS(const int32_t *));
int32_t *mux_dt_OUT(int32_t K, QV_MUX_INPUTS(const int32_t *));
int32_t *mux_tod_OUT(int32_t K, QV_MUX_INPUTS(const int32_t *));
#undef QV_MUX_INPUTS

/* ---- MAX and MIN: IN1 on a tie ----------------------------------------------------- */

int32_t max_sint_OUT(int32_t IN1, int32_t IN2);
int32_t max_int_OUT(int32_t IN1, int32_t IN2);
int32_t max_dint_OUT(int32_t IN1, int32_t IN2);
float max_real_OUT(float IN1, float IN2);
unsigned char *max_str_OUT(const unsigned char *IN1, const unsigned char *IN2);
int32_t max_byte_OUT(int32_t IN1, int32_t IN2);
int32_t max_word_OUT(int32_t IN1, int32_t IN2);
uint32_t max_dword_OUT(uint32_t IN1, uint32_t IN2);
int32_t *max_time_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *max_date_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *max_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *max_tod_OUT(const int32_t *IN1, const int32_t *IN2);

int32_t min_sint_OUT(int32_t IN1, int32_t IN2);
int32_t min_int_OUT(int32_t IN1, int32_t IN2);
int32_t min_dint_OUT(int32_t IN1, int32_t IN2);
float min_real_OUT(float IN1, float IN2);
unsigned char *min_str_OUT(const unsigned char *IN1, const unsigned char *IN2);
int32_t min_byte_OUT(int32_t IN1, int32_t IN2);
int32_t min_word_OUT(int32_t IN1, int32_t IN2);
uint32_t min_dword_OUT(uint32_t IN1, uint32_t IN2);
int32_t *min_time_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *min_date_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *min_dt_OUT(const int32_t *IN1, const int32_t *IN2);
int32_t *min_tod_OUT(const int32_t *IN1, const int32_t *IN2);

/* ---- LIMIT: IN held between MN and MX (the bounds are put in order first) -------- */

int32_t limit_sint_OUT(int32_t MN, int32_t IN, int32_t MX);
int32_t limit_int_OUT(int32_t MN, int32_t IN, int32_t MX);
int32_t limit_dint_OUT(int32_t MN, int32_t IN, int32_t MX);
float limit_real_OUT(float MN, float IN, float MX);
unsigned char *limit_str_OUT(const unsigned char *MN, const unsigned char *IN, const unsigned char *MX);
int32_t limit_byte_OUT(int32_t MN, int32_t IN, int32_t MX);
int32_t limit_word_OUT(int32_t MN, int32_t IN, int32_t MX);
uint32_t limit_dword_OUT(uint32_t MN, uint32_t IN, uint32_t MX);
int32_t *limit_time_OUT(const int32_t *MN, const int32_t *IN, const int32_t *MX);
int32_t *limit_date_OUT(const int32_t *MN, const int32_t *IN, const int32_t *MX); /* 2 elements */
int32_t *limit_dt_OUT(const int32_t *MN, const int32_t *IN, const int32_t *MX);
int32_t *limit_tod_OUT(const int32_t *MN, const int32_t *IN, const int32_t *MX);  /* 2 elements */

#ifdef __cplusplus
}
#endif

#endif /* QV_SELECTION_H */
