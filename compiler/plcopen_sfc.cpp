// SFC bodies of PLCopen projects, translated into Structured Text.
#include "compiler/plcopen_body.h"

namespace qvc::plcopen {

void translateSfc(pugi::xml_node node, Body& body) {
    body.error(node, "SFC bodies are not read yet");
}

}  // namespace qvc::plcopen
