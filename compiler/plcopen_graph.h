// The networks of FBD and LD bodies (and the FBD elements an LD body may hold): elements
// joined by connections, read from the XML, ordered, and written as Structured Text. FBD
// and LD differ in the order statements run and where they stand: an FBD element's
// statement stands on its own XML line, in execution order; an LD rung's statements
// stand on the line of the rung's first element, rung by rung from the top.
#pragma once

#include "compiler/plcopen_body.h"

namespace qvc::plcopen {

enum class Diagram { Fbd, Ld };

void translateNetwork(pugi::xml_node node, Body& body, Diagram diagram);

}  // namespace qvc::plcopen
