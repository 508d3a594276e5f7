// The runtime revision this translation unit is built for (1, 2 or 3), read once.
#pragma once

#include "runtime/executive/image_layout.h"

#ifndef QV_REVISION
#error "QV_REVISION must be defined (1, 2 or 3)"
#endif

namespace qv {
inline constexpr int kRevision = QV_REVISION;
static_assert(kRevision >= 1 && kRevision <= 3, "QV_REVISION must be 1, 2 or 3");
inline constexpr ImageLayout kLayout = layoutOf(kRevision);
inline constexpr int32_t kCharSlotSize = kLayout.charSlotSize;
}  // namespace qv
