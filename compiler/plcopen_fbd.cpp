// FBD bodies of PLCopen projects, translated into Structured Text: blocks, variables,
// connectors and continuations in execution order (plcopen_graph.cpp).
#include "compiler/plcopen_graph.h"

namespace qvc::plcopen {

void translateFbd(pugi::xml_node node, Body& body) { translateNetwork(node, body, Diagram::Fbd); }

}  // namespace qvc::plcopen
