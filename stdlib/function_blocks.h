/* Standard function blocks: edge detectors, bistables, counters and timers. A block has
 * no object of its own: the caller passes its inputs by value and the addresses of the
 * instance variables it allocated among the model's variables, on every call. Each
 * output is a function that runs the whole block and returns that output. BOOL inputs
 * count as TRUE when their low byte is non-zero.
 *
 * Counters and timers advance at most once per scan cycle, so two outputs of one
 * instance may be called in one cycle: revision 3 sees a new cycle in the cycle
 * counter, revisions 1 and 2 in the scheduled start of the cycle (`timeNow`). */
#ifndef QV_FUNCTION_BLOCKS_H
#define QV_FUNCTION_BLOCKS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The instance variables of edge detectors (M), bistables (Q1) and counters (CV and
 * the cycle memo): 16-bit words, 32-bit in revision 1. Model code built for a revision
 * allocates them accordingly. */
#if !defined(QV_REVISION)
#error "QV_REVISION must be defined (1, 2 or 3)"
#elif QV_REVISION == 1
typedef int32_t QV_BlockWord;
#else
typedef int16_t QV_BlockWord;
#endif

/* ---- Edge detectors and bistables --------------------------------------------------- */

int r_trig_Q(int CLK, QV_BlockWord *M);
int f_trig_Q(int CLK, QV_BlockWord *M);
int rs_Q1(int S, int R1, QV_BlockWord *Q1); /* reset dominant */
int sr_Q1(int S1, int R, QV_BlockWord *Q1); /* set dominant */

/* ---- Counters: CV counts once per cycle while the count input is TRUE, and stops at
 * 32767 and -32768. ---------------------------------------------------------------------- */

int ctu_Q(int CU, int R, int32_t PV, QV_BlockWord *CV, QV_BlockWord *memo);
int32_t ctu_CV(int CU, int R, int32_t PV, QV_BlockWord *CV, QV_BlockWord *memo);
int ctd_Q(int CD, int LD, int32_t PV, QV_BlockWord *CV, QV_BlockWord *memo);
int32_t ctd_CV(int CD, int LD, int32_t PV, QV_BlockWord *CV, QV_BlockWord *memo);
int ctud_QU(int CU, int CD, int R, int LD, int32_t PV, QV_BlockWord *CV, QV_BlockWord *memo);
int ctud_QD(int CU, int CD, int R, int LD, int32_t PV, QV_BlockWord *CV, QV_BlockWord *memo);
int32_t ctud_CV(int CU, int CD, int R, int LD, int32_t PV, QV_BlockWord *CV, QV_BlockWord *memo);

/* ---- Timers in seconds, centiseconds and milliseconds: PT in the unit (0..32767), the
 * cycle memo, the REAL elapsed time in the unit, then ET in whole units (for tof: 1
 * while the output is held). The _CV functions return ET (tof: elapsed, truncated). --- */

int tp_sec_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int32_t tp_sec_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int tp_cs_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int32_t tp_cs_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int tp_ms_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int32_t tp_ms_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);

int ton_sec_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int32_t ton_sec_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int ton_cs_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int32_t ton_cs_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int ton_ms_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);
int32_t ton_ms_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *ET);

int tof_sec_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *running);
int32_t tof_sec_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *running);
int tof_cs_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *running);
int32_t tof_cs_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *running);
int tof_ms_Q(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *running);
int32_t tof_ms_CV(int IN, int32_t PT, int32_t *memo, float *elapsed, int32_t *running);

/* ---- Timers in ticks of 100 us: PT and ET are TIME values (days and ticks), the memo
 * comes last. The _CV functions return a copy of ET as a new temporary TIME, or null
 * when the pool is exhausted (the block still runs). ---------------------------------- */

int tp_Q(int IN, const int32_t *PT, int32_t *ET, int32_t *memo);
int32_t *tp_CV(int IN, const int32_t *PT, int32_t *ET, int32_t *memo);
int ton_Q(int IN, const int32_t *PT, int32_t *ET, int32_t *memo);
int32_t *ton_CV(int IN, const int32_t *PT, int32_t *ET, int32_t *memo);
int tof_Q(int IN, const int32_t *PT, int32_t *ET, int16_t *running, int32_t *memo);
int32_t *tof_CV(int IN, const int32_t *PT, int32_t *ET, int16_t *running, int32_t *memo);

#ifdef __cplusplus
}
#endif

#endif /* QV_FUNCTION_BLOCKS_H */
