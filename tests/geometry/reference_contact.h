// The contact test as the library made it before its placements were kept between tests.
#pragma once

#include <cstdint>

namespace qvtest::reference {

// The decision of intersects(i, j) for two objects of the table (indices unchecked).
bool intersects(int32_t i, int32_t j);

}  // namespace qvtest::reference
