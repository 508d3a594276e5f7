// PLCopen XML projects translated into Structured Text line by line.
#include "compiler/plcopen.h"

#include "compiler/plcopen_body.h"

namespace qvc {

bool isPlcopenProject(const std::string&) { return false; }

nlohmann::ordered_json translatePlcopen(Source&, int, Diagnostics&) { return nlohmann::ordered_json::array(); }

namespace plcopen {

int Body::lineOf(pugi::xml_node) const { return 0; }
Location Body::at(pugi::xml_node node) const { return {file, lineOf(node), 1}; }
void Body::error(pugi::xml_node node, const std::string& message) const { diagnostics.error(at(node), "POU " + pou + ", " + message); }
void Body::warning(pugi::xml_node node, const std::string& message) const { diagnostics.warning(at(node), "POU " + pou + ", " + message); }
Text stText(pugi::xml_node, const Body&) { return {}; }
void appendText(const Text&, std::vector<Line>&) {}

}  // namespace plcopen
}  // namespace qvc
