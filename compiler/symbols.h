// The program's symbol description (format version 2): every variable slot by its IEC
// path, the enumerations, the sources, the breakpoint locations and the instances.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "compiler/codegen.h"

namespace qvc {

std::string symbolDescription(const Declarations& declarations, const Generated& generated,
                              const std::vector<Source>& sources, const std::string& programName, int revision,
                              const nlohmann::ordered_json& diagrams = nlohmann::ordered_json::array());

}  // namespace qvc
