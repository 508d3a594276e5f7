/* The standard function library of generated code: functions and function blocks of
 * the IEC 61131-3 languages, with C linkage. Each family has its own header. */
#ifndef QV_STDLIB_H
#define QV_STDLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library's error flag: 0 after a call that succeeded, else the failure's code. */
extern int32_t LIBFB_ERR;

#ifdef __cplusplus
}
#endif

#include "stdlib/function_blocks.h"
#include "stdlib/bit_strings.h"
#include "stdlib/selection.h"
#include "stdlib/comparison.h"
#include "stdlib/arithmetic.h"
#include "stdlib/numeric.h"
#include "stdlib/time_arithmetic.h"
#include "stdlib/conversions.h"
#include "stdlib/string_conversions.h"
#include "stdlib/string_functions.h"

#endif /* QV_STDLIB_H */
