/* The library functions that are listed but not built yet: the names test does not
 * require them to be exported. Empty this list once every family is in the library. */
#ifndef QV_FUNCTIONS_TO_COME_H
#define QV_FUNCTIONS_TO_COME_H

#include "stdlib/function_names.h"

#define QV_LIBRARY_FUNCTIONS_TO_COME(X) \
    QV_TIME_ARITHMETIC_FUNCTIONS(X) \
    QV_NUMERIC_CONVERSION_FUNCTIONS(X) \
    QV_STRING_FUNCTIONS(X)

#endif /* QV_FUNCTIONS_TO_COME_H */
