// LD bodies of PLCopen projects, translated into Structured Text.
#include "compiler/plcopen_body.h"

namespace qvc::plcopen {

void translateLd(pugi::xml_node node, Body& body) {
    body.error(node, "LD bodies are not read yet");
}

}  // namespace qvc::plcopen
