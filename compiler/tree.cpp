#include "compiler/tree.h"

#include <memory>

namespace qvc {
namespace tree {

ExprPtr name(const std::string& upper, const std::string& raw, Location at) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Name;
    e->text = upper;
    e->raw = raw;
    e->at = at;
    return e;
}
ExprPtr member(ExprPtr base, const char* m) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Member;
    e->text = m;
    e->raw = m;
    e->at = base->at;
    e->operands.push_back(std::move(base));
    return e;
}
ExprPtr boolean(bool v, Location at) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Bool;
    e->integer = v;
    e->at = at;
    return e;
}
ExprPtr duration(int64_t ticks, Location at) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Duration;
    e->integer = ticks;
    e->at = at;
    return e;
}
ExprPtr binary(const char* op, ExprPtr a, ExprPtr b) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Binary;
    e->text = op;
    e->at = a->at;
    e->parenthesised = true;
    e->operands.push_back(std::move(a));
    e->operands.push_back(std::move(b));
    return e;
}
ExprPtr negate(ExprPtr a) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Unary;
    e->text = "NOT";
    e->at = a->at;
    e->operands.push_back(std::move(a));
    return e;
}
ExprPtr integer(int64_t v, Location at) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Integer;
    e->integer = v;
    e->at = at;
    return e;
}
StmtPtr assign(ExprPtr target, ExprPtr value) {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Assign;
    s->at = target->at;
    s->hidden = true;
    s->target = std::move(target);
    s->value = std::move(value);
    return s;
}
StmtPtr when(ExprPtr condition, Block then, Block otherwise) {
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::If;
    s->at = condition->at;
    s->hidden = true;
    s->conditions.push_back(std::move(condition));
    s->blocks.push_back(std::move(then));
    if (!otherwise.empty()) {
        s->hasElse = true;
        s->blocks.push_back(std::move(otherwise));
    }
    return s;
}
StmtPtr call(const std::string& upper, const std::string& raw, Location at, std::vector<Argument> arguments) {
    auto c = std::make_unique<Expr>();
    c->kind = Expr::Call;
    c->at = at;
    c->operands.push_back(name(upper, raw, at));
    c->arguments = std::move(arguments);
    auto s = std::make_unique<Stmt>();
    s->kind = Stmt::Call;
    s->at = at;
    s->hidden = true;
    s->value = std::move(c);
    return s;
}
}  // namespace tree

ExprPtr cloneExpr(const Expr& e) {
    auto c = std::make_unique<Expr>();
    c->kind = e.kind;
    c->at = e.at;
    c->text = e.text;
    c->raw = e.raw;
    c->qualifier = e.qualifier;
    c->integer = e.integer;
    c->second = e.second;
    c->real = e.real;
    c->parenthesised = e.parenthesised;
    for (const ExprPtr& o : e.operands) c->operands.push_back(o ? cloneExpr(*o) : nullptr);
    for (const Argument& a : e.arguments) {
        Argument b;
        b.name = a.name;
        b.output = a.output;
        b.negated = a.negated;
        b.at = a.at;
        b.value = a.value ? cloneExpr(*a.value) : nullptr;
        c->arguments.push_back(std::move(b));
    }
    return c;
}

}  // namespace qvc
