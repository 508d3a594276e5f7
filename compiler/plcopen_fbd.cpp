// FBD bodies of PLCopen projects, translated into Structured Text.
#include "compiler/plcopen_body.h"

namespace qvc::plcopen {

void translateFbd(pugi::xml_node node, Body& body) {
    body.error(node, "FBD bodies are not read yet");
}

}  // namespace qvc::plcopen
