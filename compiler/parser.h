// Tokens into a syntax tree, by recursive descent. An error is reported where it is
// found and the parser goes on at the next statement or declaration, so that one run
// reports as many mistakes as it can.
#pragma once

#include <vector>

#include "compiler/ast.h"
#include "compiler/lexer.h"

namespace qvc {

// Adds the declarations of one source's tokens to `unit`.
void parse(const std::vector<Token>& tokens, Unit& unit, Diagnostics& diagnostics);

}  // namespace qvc
