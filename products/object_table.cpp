// The object table of actors and products.
#include "products/qv_products.h"

extern "C" void produitsInit(void) {}
