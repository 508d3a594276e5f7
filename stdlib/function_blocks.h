/* Standard function blocks: edge detectors, bistables, counters and timers. */
#ifndef QV_FUNCTION_BLOCKS_H
#define QV_FUNCTION_BLOCKS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* On-delay timer in ticks of 100 us: IN, preset PT (a TIME), then the instance
 * variables ET (a TIME) and the cycle memo. */
int ton_Q(int IN, int32_t *PT, int32_t *ET, int32_t *memo);

#ifdef __cplusplus
}
#endif

#endif /* QV_FUNCTION_BLOCKS_H */
