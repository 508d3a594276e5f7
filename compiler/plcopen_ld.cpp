// LD bodies of PLCopen projects, translated into Structured Text: the power flow of each
// rung from the left rail through contacts, coils and blocks, rung by rung from the top
// (plcopen_graph.cpp).
#include "compiler/plcopen_graph.h"

namespace qvc::plcopen {

void translateLd(pugi::xml_node node, Body& body) { translateNetwork(node, body, Diagram::Ld); }

}  // namespace qvc::plcopen
