// The library's error flag.
#include "stdlib/qv_stdlib.h"

extern "C" {
int32_t LIBFB_ERR = 0;
}
