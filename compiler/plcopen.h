// PLCopen XML projects (TC6 0201, and the 0200 files of the same shape): the project is
// translated into the Structured Text and textual charts the rest of the compiler reads,
// each generated line standing for the line of the XML element it comes from, so that
// diagnostics, breakpoint locations and the description name lines of the XML file.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "compiler/diagnostics.h"

namespace qvc {

// Whether a file's text is a PLCopen XML project rather than Structured Text.
bool isPlcopenProject(const std::string& text);

// Translates sources[file].text into sources[file].generated, .lines and .comments.
// Mistakes of the project (malformed XML, an unconnected input, an unknown type) are
// reported at their line. Returns the drawings of the graphical bodies for the symbol
// description (member "diagrams"): an array, empty when there are none.
nlohmann::ordered_json translatePlcopen(Source& source, int file, Diagnostics& diagnostics);

}  // namespace qvc
