// Why the program stands where it stands, in words, from what the image holds: the
// status, the breakpoint report fields, the breakpoint lists and the cycle counter. What
// the image cannot tell apart is said as such.
#pragma once

#include <string>

#include "supervisor/core/target.h"

namespace qv::ctl {

std::string stopReason(const Target& target);

}  // namespace qv::ctl
