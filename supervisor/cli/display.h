// How qvctl shows a variable's value to a person: as values.h formats it, except the
// control variables that hold codes, which are shown by the code's name.
#pragma once

#include <string>

#include "supervisor/core/control.h"
#include "supervisor/core/target.h"

namespace qv::ctl {

// The current value as a person reads it: "STOP" for execstatus, "TRUE", "12", "T#2.5s".
std::string displayText(const Target& target, const Variable& variable);

// Whether `name` matches `pattern`: '*' stands for any text and '?' for one character; a
// pattern without either matches every name that contains it.
bool matchesPattern(std::string_view name, std::string_view pattern);

}  // namespace qv::ctl
