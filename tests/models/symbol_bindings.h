// Checks a program's symbol table against the model that the test links: every symbol
// lies exactly where the model's pointer for it points after the walk, with the type and
// direction the model gives it, and every variable of the model has a symbol.
#pragma once

#include <string>

#include "models/components/grafcet.h"
#include "tests/models/model_image.h"

namespace qvtest {

void expectSymbolsMatchBindings(const ModelImage& image, const qv::models::LeafModel& model);

// The same for one instance of a tree: the symbols named "<prefix><variable>".
void expectSymbolsMatchBindings(const ModelImage& image, const qv::models::LeafModel& model, const std::string& prefix);

}  // namespace qvtest
