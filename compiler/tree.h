// Syntax trees built in code: the charts and the configurations are lowered to the
// declarations and statements the rest of the compiler already knows, and these are the
// few nodes they build. A node made here carries the source location it stands for, so
// that a diagnostic about it points at the chart or the task, and a statement made here is
// hidden (no breakpoint location of its own).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compiler/ast.h"

namespace qvc::tree {

ExprPtr name(const std::string& upper, const std::string& raw, Location at);
inline ExprPtr name(const std::string& upper, Location at) { return name(upper, upper, at); }
ExprPtr member(ExprPtr base, const char* m);
ExprPtr integer(int64_t v, Location at);
ExprPtr boolean(bool v, Location at);
ExprPtr duration(int64_t ticks, Location at);
ExprPtr binary(const char* op, ExprPtr a, ExprPtr b);  // parenthesised, as written (a OP b)
ExprPtr negate(ExprPtr a);

StmtPtr assign(ExprPtr target, ExprPtr value);
StmtPtr when(ExprPtr condition, Block then, Block otherwise = {});
StmtPtr call(const std::string& upper, const std::string& raw, Location at, std::vector<Argument> arguments);

}  // namespace qvc::tree

namespace qvc {

// A copy of an expression as the parser wrote it (nothing checked yet).
ExprPtr cloneExpr(const Expr& e);

}  // namespace qvc
