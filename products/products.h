// The products' own C++ interface. The C boundary is qv_products.h.
#pragma once

#include <cstdint>

#include "products/qv_products.h"

namespace qv {

// Makes room for the bookkeeping of a product step over `objects` objects (start-up, so
// that the scan cycle allocates only when more product pairs touch than ever before).
// False when the memory could not be had.
bool reserveProductStep(int32_t objects);

// The broad phase is on unless turned off; off, the step tests every pair (the tests
// compare the two).
void useBroadPhase(bool enabled);

}  // namespace qv
