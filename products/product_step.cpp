// The per-cycle product step.
#include "products/qv_products.h"

extern "C" void productsStep(void) {}
