#include "compiler/parser.h"

#include <set>

namespace qvc {

namespace {

// Thrown after an error has been reported, to unwind to the nearest recovery point.
struct Recover {};

// Nesting beyond this depth is refused, so that no source can exhaust the stack.
constexpr int kMaxDepth = 150;

const std::set<std::string> kBlockEnds = {"END_IF",    "ELSE",       "ELSIF",        "END_CASE",
                                          "END_FOR",   "END_WHILE",  "END_REPEAT",   "UNTIL",
                                          "END_PROGRAM", "END_FUNCTION", "END_FUNCTION_BLOCK", "END_VAR",
                                          "END_TYPE",  "VAR",        "VAR_INPUT",    "VAR_OUTPUT",
                                          "VAR_IN_OUT", "VAR_TEMP",  "VAR_GLOBAL",   "VAR_EXTERNAL",
                                          "PROGRAM",   "FUNCTION",   "FUNCTION_BLOCK", "TYPE"};

class Parser {
public:
    Parser(const std::vector<Token>& t, Unit& u, Diagnostics& d) : t_(t), unit_(u), diag_(d) {}

    void run() {
        while (!at(Tok::End)) {
            const std::size_t before = pos_;
            try {
                topLevel();
            } catch (const Recover&) {
                skipTo({"PROGRAM", "FUNCTION", "FUNCTION_BLOCK", "TYPE", "VAR_GLOBAL"});
            }
            if (pos_ == before) ++pos_;
        }
    }

private:
    // ---- Tokens -----------------------------------------------------------------------
    const Token& cur() const { return t_[pos_]; }
    const Token& ahead(std::size_t k) const { return t_[pos_ + k < t_.size() ? pos_ + k : t_.size() - 1]; }
    bool at(Tok k) const { return cur().kind == k; }
    bool isWord(const char* w) const { return at(Tok::Ident) && cur().prefix.empty() && cur().text == w; }
    bool isSym(const char* s) const { return at(Tok::Symbol) && cur().text == s; }
    const Token& next() {
        const Token& tok = t_[pos_];
        if (pos_ + 1 < t_.size()) ++pos_;
        return tok;
    }
    bool acceptWord(const char* w) {
        if (!isWord(w)) return false;
        next();
        return true;
    }
    bool acceptSym(const char* s) {
        if (!isSym(s)) return false;
        next();
        return true;
    }
    std::string describe(const Token& tok) const {
        if (tok.kind == Tok::End) return "the end of the file";
        return "'" + tok.raw + "'";
    }
    [[noreturn]] void fail(const std::string& message) {
        diag_.error(cur().at, message);
        throw Recover{};
    }
    void expectWord(const char* w) {
        if (!acceptWord(w)) fail(std::string("expected ") + w + " before " + describe(cur()));
    }
    void expectSym(const char* s) {
        if (!acceptSym(s)) fail(std::string("expected '") + s + "' before " + describe(cur()));
    }
    const Token& expectIdent(const char* what) {
        if (!at(Tok::Ident) || !cur().prefix.empty() || isKeyword(cur().text))
            fail(std::string("expected ") + what + " before " + describe(cur()));
        return next();
    }
    static bool isKeyword(const std::string& w) {
        static const std::set<std::string> words = {
            "IF", "THEN", "ELSIF", "ELSE", "END_IF", "CASE", "OF", "END_CASE", "FOR", "TO", "BY", "DO", "END_FOR",
            "WHILE", "END_WHILE", "REPEAT", "UNTIL", "END_REPEAT", "EXIT", "RETURN", "VAR", "VAR_INPUT",
            "VAR_OUTPUT", "VAR_IN_OUT", "VAR_TEMP", "VAR_GLOBAL", "VAR_EXTERNAL", "END_VAR", "PROGRAM",
            "END_PROGRAM", "FUNCTION", "END_FUNCTION", "FUNCTION_BLOCK", "END_FUNCTION_BLOCK", "TYPE", "END_TYPE",
            "STRUCT", "END_STRUCT", "ARRAY", "AT", "CONSTANT", "RETAIN", "NON_RETAIN", "NOT", "MOD", "AND", "OR",
            "XOR", "TRUE", "FALSE"};
        return words.count(w) != 0;
    }
    void skipTo(const std::set<std::string>& words) {
        while (!at(Tok::End) && !(at(Tok::Ident) && words.count(cur().text))) next();
    }
    struct Depth {
        Parser& p;
        explicit Depth(Parser& parser) : p(parser) {
            if (++p.depth_ > kMaxDepth) {
                --p.depth_;
                p.fail("nesting too deep");
            }
        }
        ~Depth() { --p.depth_; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;
    };

    // ---- Declarations -----------------------------------------------------------------
    void topLevel() {
        if (isWord("TYPE")) return typeSection();
        if (isWord("FUNCTION") || isWord("FUNCTION_BLOCK") || isWord("PROGRAM")) return pou();
        if (isWord("VAR_GLOBAL")) return varSection(unit_.globals);
        if (isWord("CONFIGURATION")) return configuration();
        fail("expected PROGRAM, FUNCTION_BLOCK, FUNCTION, TYPE or VAR_GLOBAL before " + describe(cur()));
    }

    void typeSection() {
        expectWord("TYPE");
        while (!isWord("END_TYPE") && !at(Tok::End)) {
            const std::size_t before = pos_;
            try {
                TypeDecl d;
                const Token& name = expectIdent("a type name");
                d.name = name.text;
                d.raw = name.raw;
                d.at = name.at;
                expectSym(":");
                d.node = typeNode();
                if (acceptSym(":=")) d.init = initializer();
                expectSym(";");
                unit_.types.push_back(std::move(d));
            } catch (const Recover&) {
                skipPast(";", {"END_TYPE"});
            }
            if (pos_ == before) next();
        }
        expectWord("END_TYPE");
    }

    // Skips to just past `sym`, or to one of `stops`.
    void skipPast(const char* sym, const std::set<std::string>& stops) {
        while (!at(Tok::End)) {
            if (at(Tok::Ident) && stops.count(cur().text)) return;
            if (isSym(sym)) {
                next();
                return;
            }
            next();
        }
    }

    std::unique_ptr<TypeNode> typeNode() {
        Depth depth(*this);
        auto node = std::make_unique<TypeNode>();
        node->at = cur().at;
        if (acceptSym("(")) {  // an enumeration
            node->kind = TypeNode::Enum;
            do {
                const Token& v = expectIdent("an enumerated value");
                ExprPtr value;
                if (acceptSym(":=")) value = expression();
                node->enumValues.emplace_back(v.text, std::move(value));
                node->enumRaw.push_back(v.raw);
                node->enumAt.push_back(v.at);
            } while (acceptSym(","));
            expectSym(")");
            return node;
        }
        if (acceptWord("ARRAY")) {
            node->kind = TypeNode::Array;
            expectSym("[");
            do {
                ExprPtr low = expression();
                expectSym("..");
                ExprPtr high = expression();
                node->dims.emplace_back(std::move(low), std::move(high));
            } while (acceptSym(","));
            expectSym("]");
            expectWord("OF");
            node->element = typeNode();
            return node;
        }
        if (acceptWord("STRUCT")) {
            node->kind = TypeNode::Struct;
            while (!isWord("END_STRUCT")) {
                if (at(Tok::End)) fail("expected END_STRUCT before the end of the file");
                TypeNode::Member m;
                const Token& name = expectIdent("a member name");
                m.name = name.text;
                m.raw = name.raw;
                m.at = name.at;
                expectSym(":");
                m.type = typeNode();
                if (acceptSym(":=")) m.init = initializer();
                expectSym(";");
                node->members.push_back(std::move(m));
            }
            next();
            return node;
        }
        const Token& name = expectIdent("a type");
        node->name = name.text;
        if (name.text == "STRING" || name.text == "WSTRING") {
            node->kind = TypeNode::String;
            if (acceptSym("[")) {
                node->length = expression();
                expectSym("]");
            } else if (isSym("(") ) {
                next();
                node->length = expression();
                expectSym(")");
            }
            return node;
        }
        if (acceptSym("(")) {  // a subrange: INT (0..100)
            node->kind = TypeNode::Subrange;
            node->low = expression();
            expectSym("..");
            node->high = expression();
            expectSym(")");
        }
        return node;
    }

    Initializer initializer() {
        Depth depth(*this);
        Initializer init;
        init.at = cur().at;
        if (acceptSym("[")) {
            init.kind = Initializer::List;
            do {
                if (at(Tok::Integer) && ahead(1).kind == Tok::Symbol && ahead(1).text == "(") {
                    ExprPtr count = primary();
                    expectSym("(");
                    auto element = std::make_unique<Initializer>();
                    if (!isSym(")")) *element = initializer();
                    expectSym(")");
                    init.list.emplace_back(std::move(count), std::move(element));
                } else {
                    init.list.emplace_back(nullptr, std::make_unique<Initializer>(initializer()));
                }
            } while (acceptSym(","));
            expectSym("]");
            return init;
        }
        if (isSym("(") && ahead(1).kind == Tok::Ident && ahead(2).kind == Tok::Symbol && ahead(2).text == ":=") {
            next();
            init.kind = Initializer::Fields;
            do {
                const Token& name = expectIdent("a member name");
                expectSym(":=");
                init.fields.emplace_back(name.text, std::make_unique<Initializer>(initializer()));
            } while (acceptSym(","));
            expectSym(")");
            return init;
        }
        init.kind = Initializer::Value;
        init.value = expression();
        return init;
    }

    void varSection(std::vector<VarDecl>& into) {
        Section section = Section::Local;
        const std::string word = next().text;
        if (word == "VAR_INPUT") section = Section::Input;
        else if (word == "VAR_OUTPUT") section = Section::Output;
        else if (word == "VAR_IN_OUT") section = Section::InOut;
        else if (word == "VAR_TEMP") section = Section::Temp;
        else if (word == "VAR_GLOBAL") section = Section::Global;
        else if (word == "VAR_EXTERNAL") section = Section::External;
        bool constant = false, retain = false;
        while (true) {
            if (acceptWord("CONSTANT")) constant = true;
            else if (acceptWord("RETAIN") || acceptWord("PERSISTENT")) retain = true;
            else if (acceptWord("NON_RETAIN")) retain = false;
            else break;
        }
        while (!isWord("END_VAR")) {
            if (at(Tok::End)) fail("expected END_VAR before the end of the file");
            const std::size_t before = pos_;
            try {
                VarDecl d;
                d.section = section;
                d.constant = constant;
                d.retain = retain;
                do {
                    const Token& name = expectIdent("a variable name");
                    d.names.push_back(name.text);
                    d.raws.push_back(name.raw);
                    d.ats.push_back(name.at);
                } while (acceptSym(","));
                if (acceptWord("AT")) {
                    if (!at(Tok::Address)) fail("expected a location such as %IX0.0 after AT");
                    d.address = next().text;
                }
                expectSym(":");
                d.type = typeNode();
                if (acceptSym(":=")) d.init = initializer();
                if (!acceptSym(";")) {
                    // A forgotten ';' before the next declaration loses neither of them.
                    const bool nextDeclaration = at(Tok::Ident) && ahead(1).kind == Tok::Symbol &&
                                                 (ahead(1).text == ":" || ahead(1).text == ",");
                    if (!nextDeclaration) fail("expected ';' before " + describe(cur()));
                    diag_.error(cur().at, "expected ';' before " + describe(cur()));
                }
                into.push_back(std::move(d));
            } catch (const Recover&) {
                skipPast(";", kBlockEnds);
                if (!isWord("END_VAR") && at(Tok::Ident) && kBlockEnds.count(cur().text)) return;
            }
            if (pos_ == before) next();
        }
        next();
    }

    void pou() {
        PouDecl p;
        const std::string word = next().text;
        p.kind = word == "FUNCTION" ? PouDecl::Function : word == "FUNCTION_BLOCK" ? PouDecl::FunctionBlock : PouDecl::Program;
        const char* end = p.kind == PouDecl::Function ? "END_FUNCTION" : p.kind == PouDecl::FunctionBlock ? "END_FUNCTION_BLOCK" : "END_PROGRAM";
        const Token& name = expectIdent("a name");
        p.name = name.text;
        p.raw = name.raw;
        p.at = name.at;
        if (p.kind == PouDecl::Function && acceptSym(":")) p.result = typeNode();
        while (at(Tok::Ident) && cur().text.rfind("VAR", 0) == 0 && cur().text != "VAR_CONFIG") {
            try {
                varSection(p.vars);
            } catch (const Recover&) {
                skipTo({"END_VAR", end});
                acceptWord("END_VAR");
            }
        }
        body(p, end);
        p.endAt = cur().at;
        if (!acceptWord(end)) {
            diag_.error(cur().at, std::string("expected ") + end + " before " + describe(cur()));
            unit_.pous.push_back(std::move(p));
            throw Recover{};
        }
        unit_.pous.push_back(std::move(p));
    }

    // ---- Configurations -----------------------------------------------------------------
    void configuration() {
        expectWord("CONFIGURATION");
        ConfigurationDecl c;
        const Token& name = expectIdent("a configuration name");
        c.name = name.text;
        c.raw = name.raw;
        c.at = name.at;
        while (isWord("VAR_GLOBAL") || isWord("RESOURCE")) {
            if (isWord("VAR_GLOBAL")) varSection(unit_.globals);
            else c.resources.push_back(resource());
        }
        unit_.configurations.push_back(std::move(c));
        expectWord("END_CONFIGURATION");
    }

    ResourceDecl resource() {
        expectWord("RESOURCE");
        ResourceDecl r;
        const Token& name = expectIdent("a resource name");
        r.name = name.text;
        r.raw = name.raw;
        r.at = name.at;
        if (acceptWord("ON")) expectIdent("a processor type");
        while (!acceptWord("END_RESOURCE")) {
            if (isWord("VAR_GLOBAL")) {
                varSection(unit_.globals);
            } else if (acceptWord("TASK")) {
                TaskDecl t;
                const Token& task = expectIdent("a task name");
                t.name = task.text;
                t.raw = task.raw;
                t.at = task.at;
                expectSym("(");
                if (!isSym(")")) {
                    do {
                        const Token& key = expectIdent("INTERVAL, PRIORITY or SINGLE");
                        expectSym(":=");
                        ExprPtr value = expression();
                        if (key.text == "INTERVAL") t.interval = std::move(value);
                        else if (key.text == "PRIORITY") t.priority = std::move(value);
                        else if (key.text == "SINGLE") t.single = std::move(value);
                        else {
                            diag_.error(key.at, "a task has INTERVAL, PRIORITY or SINGLE, not " + key.raw);
                            throw Recover{};
                        }
                    } while (acceptSym(","));
                }
                expectSym(")");
                expectSym(";");
                r.tasks.push_back(std::move(t));
            } else if (acceptWord("PROGRAM")) {
                ProgramInstanceDecl p;
                const Token& inst = expectIdent("a program instance name");
                p.name = inst.text;
                p.raw = inst.raw;
                p.at = inst.at;
                if (acceptWord("WITH")) {
                    const Token& task = expectIdent("a task name");
                    p.task = task.text;
                    p.taskAt = task.at;
                }
                expectSym(":");
                const Token& type = expectIdent("a PROGRAM type");
                p.type = type.text;
                p.typeRaw = type.raw;
                p.typeAt = type.at;
                if (acceptSym("(")) {
                    if (!isSym(")")) {
                        do p.arguments.push_back(argument());
                        while (acceptSym(","));
                    }
                    expectSym(")");
                }
                expectSym(";");
                r.programs.push_back(std::move(p));
            } else {
                fail("expected TASK, PROGRAM, VAR_GLOBAL or END_RESOURCE before " + describe(cur()));
            }
        }
        return r;
    }

    // ---- Sequential function charts ---------------------------------------------------
    // A body is statements with chart elements among them; the chart evolves where its
    // first element stands among the statements.
    void body(PouDecl& p, const char* end) {
        const std::set<std::string> ends = {end, "INITIAL_STEP", "STEP", "TRANSITION", "ACTION"};
        p.body = block(ends);
        while (at(Tok::Ident) && cur().prefix.empty() && ends.count(cur().text) && cur().text != end) {
            const std::size_t before = pos_;
            if (atChartElement()) {
                if (!p.sfc.present()) p.sfc.position = p.body.size();
                try {
                    chartElement(p.sfc);
                } catch (const Recover&) {
                    skipTo({"END_STEP", "END_TRANSITION", "END_ACTION", end});
                    if (!isWord(end)) next();
                }
            } else {
                try {
                    if (StmtPtr s = statement()) p.body.push_back(std::move(s));
                } catch (const Recover&) {
                    while (!at(Tok::End) && !isSym(";") && !atBlockEnd(ends)) next();
                    acceptSym(";");
                }
            }
            for (StmtPtr& s : block(ends)) p.body.push_back(std::move(s));
            if (pos_ == before) next();
        }
    }

    bool atChartElement() const {
        const std::string& w = cur().text;
        if (w == "INITIAL_STEP" || w == "STEP" || w == "ACTION")
            return ahead(1).kind == Tok::Ident && ahead(2).kind == Tok::Symbol && ahead(2).text == ":";
        return w == "TRANSITION" && !(ahead(1).kind == Tok::Symbol && ahead(1).text == ":=");
    }

    static bool isQualifier(const std::string& w) {
        static const std::set<std::string> words = {"N", "R", "S", "P", "P0", "P1", "L", "D", "SD", "DS", "SL"};
        return words.count(w) != 0;
    }
    static bool isTimed(const std::string& q) { return q == "L" || q == "D" || q == "SD" || q == "DS" || q == "SL"; }

    void chartElement(Sfc& sfc) {
        Depth depth(*this);
        if (isWord("INITIAL_STEP") || isWord("STEP")) {
            SfcStep s;
            s.initial = next().text == "INITIAL_STEP";
            const Token& name = expectIdent("a step name");
            s.name = name.text;
            s.raw = name.raw;
            s.at = name.at;
            expectSym(":");
            while (!acceptWord("END_STEP")) {
                if (at(Tok::End)) fail("expected END_STEP before the end of the file");
                s.associations.push_back(association());
            }
            sfc.steps.push_back(std::move(s));
        } else if (isWord("TRANSITION")) {
            SfcTransition t;
            t.at = next().at;
            if (at(Tok::Ident) && !isWord("FROM")) {
                const Token& name = expectIdent("a transition name");
                t.name = name.text;
                t.raw = name.raw;
            }
            if (acceptSym("(")) {
                expectWord("PRIORITY");
                expectSym(":=");
                t.priority = expression();
                expectSym(")");
            }
            expectWord("FROM");
            stepList(t.from, t.fromAt);
            expectWord("TO");
            stepList(t.to, t.toAt);
            if (acceptSym(":=")) {
                t.condition = expression();
                expectSym(";");
            } else if (acceptSym(":")) {
                t.hasBody = true;
                t.body = block({"END_TRANSITION"});
            } else {
                fail("expected ':=' or ':' before " + describe(cur()));
            }
            expectWord("END_TRANSITION");
            sfc.transitions.push_back(std::move(t));
        } else {
            expectWord("ACTION");
            SfcAction a;
            const Token& name = expectIdent("an action name");
            a.name = name.text;
            a.raw = name.raw;
            a.at = name.at;
            expectSym(":");
            a.body = block({"END_ACTION"});
            expectWord("END_ACTION");
            sfc.actions.push_back(std::move(a));
        }
    }

    // Fill(N); Alarm(L, T#5s, Shown); Valve;
    SfcAssociation association() {
        SfcAssociation a;
        const Token& name = expectIdent("an action name");
        a.action = name.text;
        a.raw = name.raw;
        a.at = name.at;
        a.qualifier = "N";
        a.qualifierAt = name.at;
        if (acceptSym("(")) {
            a.qualifierAt = cur().at;
            const Token& q = expectIdent("an action qualifier");
            if (!isQualifier(q.text)) {
                diag_.error(q.at, "unknown action qualifier " + q.raw + " (N, R, S, P, P0, P1, L, D, SD, DS, SL)");
                throw Recover{};
            }
            a.qualifier = q.text;
            if (acceptSym(",")) {
                if (isTimed(a.qualifier) || !at(Tok::Ident)) {
                    a.time = expression();
                    if (acceptSym(",")) indicator(a);
                } else {
                    indicator(a);
                }
            }
            expectSym(")");
        }
        expectSym(";");
        return a;
    }
    void indicator(SfcAssociation& a) {
        const Token& name = expectIdent("an indicator variable");
        a.indicator = name.text;
        a.indicatorRaw = name.raw;
        a.indicatorAt = name.at;
    }

    void stepList(std::vector<std::string>& names, std::vector<Location>& ats) {
        const bool list = acceptSym("(");
        do {
            const Token& name = expectIdent("a step name");
            names.push_back(name.text);
            ats.push_back(name.at);
        } while (list && acceptSym(","));
        if (list) expectSym(")");
    }

    // ---- Statements -------------------------------------------------------------------
    bool atBlockEnd(const std::set<std::string>& ends) const {
        return at(Tok::End) || (at(Tok::Ident) && cur().prefix.empty() && (ends.count(cur().text) || kBlockEnds.count(cur().text)));
    }

    Block block(const std::set<std::string>& ends, bool caseBody = false) {
        Depth depth(*this);
        Block b;
        while (!atBlockEnd(ends) && !(caseBody && atCaseLabel())) {
            const std::size_t before = pos_;
            try {
                if (StmtPtr s = statement()) b.push_back(std::move(s));
            } catch (const Recover&) {
                // Go on after the next ';', or at the end of the enclosing block.
                while (!at(Tok::End) && !isSym(";") && !atBlockEnd(ends)) next();
                acceptSym(";");
            }
            if (pos_ == before) next();
        }
        return b;
    }

    // A CASE label starts a branch: 1:, 1, 2:, 1..5:, -1:, Red:, Mode#Red:
    bool atCaseLabel() const {
        std::size_t k = 0;
        if (ahead(0).kind == Tok::Symbol && ahead(0).text == "-") k = 1;
        const Token& first = ahead(k);
        if (first.kind != Tok::Integer && first.kind != Tok::Ident) return false;
        if (first.kind == Tok::Ident && first.prefix.empty() && isKeyword(first.text)) return false;
        const Token& after = ahead(k + 1);
        return after.kind == Tok::Symbol && (after.text == ":" || after.text == "," || after.text == "..");
    }

    StmtPtr statement() {
        auto s = std::make_unique<Stmt>();
        s->at = cur().at;
        if (acceptSym(";")) {
            s->kind = Stmt::Empty;
            return nullptr;
        }
        if (acceptWord("IF")) {
            s->kind = Stmt::If;
            s->conditions.push_back(expression());
            expectWord("THEN");
            s->blocks.push_back(block({}));
            while (acceptWord("ELSIF")) {
                s->conditions.push_back(expression());
                expectWord("THEN");
                s->blocks.push_back(block({}));
            }
            if (acceptWord("ELSE")) {
                s->hasElse = true;
                s->blocks.push_back(block({}));
            }
            expectWord("END_IF");
        } else if (acceptWord("CASE")) {
            s->kind = Stmt::Case;
            s->conditions.push_back(expression());
            expectWord("OF");
            while (!isWord("ELSE") && !isWord("END_CASE")) {
                if (!atCaseLabel()) fail("expected a CASE label (a value, a list or a range, then ':') before " + describe(cur()));
                CaseBranch branch;
                do {
                    CaseLabel label;
                    label.low = expression();
                    if (acceptSym("..")) label.high = expression();
                    branch.labels.push_back(std::move(label));
                } while (acceptSym(","));
                expectSym(":");
                branch.body = block({}, true);
                s->branches.push_back(std::move(branch));
            }
            if (acceptWord("ELSE")) {
                s->hasElse = true;
                s->elseBlock = block({});
            }
            expectWord("END_CASE");
        } else if (acceptWord("FOR")) {
            s->kind = Stmt::For;
            const Token& name = expectIdent("the FOR variable");
            s->target = nameExpr(name);
            expectSym(":=");
            s->from = expression();
            expectWord("TO");
            s->to = expression();
            if (acceptWord("BY")) s->by = expression();
            expectWord("DO");
            s->blocks.push_back(block({}));
            expectWord("END_FOR");
        } else if (acceptWord("WHILE")) {
            s->kind = Stmt::While;
            s->conditions.push_back(expression());
            expectWord("DO");
            s->blocks.push_back(block({}));
            expectWord("END_WHILE");
        } else if (acceptWord("REPEAT")) {
            s->kind = Stmt::Repeat;
            s->blocks.push_back(block({}));
            expectWord("UNTIL");
            s->conditions.push_back(expression());
            expectWord("END_REPEAT");
        } else if (acceptWord("EXIT")) {
            s->kind = Stmt::Exit;
        } else if (acceptWord("RETURN")) {
            s->kind = Stmt::Return;
        } else {
            if (!at(Tok::Ident) || isKeyword(cur().text)) fail("expected a statement before " + describe(cur()));
            ExprPtr target = postfix();
            if (acceptSym(":=")) {
                s->kind = Stmt::Assign;
                s->target = std::move(target);
                s->value = expression();
            } else if (target->kind == Expr::Call) {
                s->kind = Stmt::Call;
                s->value = std::move(target);
            } else {
                fail("expected ':=' or a call after " + describe(t_[pos_ > 0 ? pos_ - 1 : 0]));
            }
        }
        s->endColumn = pos_ > 0 ? t_[pos_ - 1].endColumn : s->at.column;
        if (pos_ > 0 && t_[pos_ - 1].at.line != s->at.line) s->endColumn = 0;
        if (!acceptSym(";")) {
            // A forgotten ';' before the next statement keeps both of them.
            if (!(at(Tok::Ident) && cur().at.line != s->at.line)) fail("expected ';' before " + describe(cur()));
            diag_.error(cur().at, "expected ';' before " + describe(cur()));
        }
        return s;
    }

    // ---- Expressions ------------------------------------------------------------------
    ExprPtr nameExpr(const Token& tok) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Name;
        e->at = tok.at;
        e->text = tok.text;
        e->raw = tok.raw;
        return e;
    }

    ExprPtr binary(const std::string& op, ExprPtr left, ExprPtr right, Location at) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Binary;
        e->text = op;
        e->at = at;
        e->operands.push_back(std::move(left));
        e->operands.push_back(std::move(right));
        return e;
    }

    ExprPtr expression() {
        Depth depth(*this);
        return orExpr();
    }
    ExprPtr orExpr() {
        ExprPtr e = xorExpr();
        while (isWord("OR")) {
            const Location at = next().at;
            e = binary("OR", std::move(e), xorExpr(), at);
        }
        return e;
    }
    ExprPtr xorExpr() {
        ExprPtr e = andExpr();
        while (isWord("XOR")) {
            const Location at = next().at;
            e = binary("XOR", std::move(e), andExpr(), at);
        }
        return e;
    }
    ExprPtr andExpr() {
        ExprPtr e = equality();
        while (isWord("AND") || isSym("&")) {
            const Location at = next().at;
            e = binary("AND", std::move(e), equality(), at);
        }
        return e;
    }
    ExprPtr equality() {
        ExprPtr e = comparison();
        while (isSym("=") || isSym("<>")) {
            const Token& op = next();
            e = binary(op.text, std::move(e), comparison(), op.at);
        }
        return e;
    }
    ExprPtr comparison() {
        ExprPtr e = additive();
        while (isSym("<") || isSym(">") || isSym("<=") || isSym(">=")) {
            const Token& op = next();
            e = binary(op.text, std::move(e), additive(), op.at);
        }
        return e;
    }
    ExprPtr additive() {
        ExprPtr e = multiplicative();
        while (isSym("+") || isSym("-")) {
            const Token& op = next();
            e = binary(op.text, std::move(e), multiplicative(), op.at);
        }
        return e;
    }
    ExprPtr multiplicative() {
        ExprPtr e = unary();
        while (isSym("*") || isSym("/") || isWord("MOD")) {
            const Token& op = next();
            e = binary(op.text, std::move(e), unary(), op.at);
        }
        return e;
    }
    ExprPtr unary() {
        Depth depth(*this);
        if (isSym("-") || isSym("+") || isWord("NOT")) {
            const Token& op = next();
            // A negative literal is one literal, so that -128 is a SINT and -2147483648 a DINT.
            if (op.text == "-" && (at(Tok::Integer) || at(Tok::Real)) && !(ahead(1).kind == Tok::Symbol && ahead(1).text == "**")) {
                ExprPtr lit = primary();
                lit->integer = -lit->integer;
                lit->real = -lit->real;
                lit->at = op.at;
                return lit;
            }
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Unary;
            e->text = op.text;
            e->at = op.at;
            e->operands.push_back(unary());
            if (op.text == "+") return std::move(e->operands[0]);
            return e;
        }
        return power();
    }
    ExprPtr power() {
        ExprPtr e = postfix();
        while (isSym("**")) {
            const Location at = next().at;
            e = binary("**", std::move(e), postfix(), at);
        }
        return e;
    }

    ExprPtr postfix() {
        ExprPtr e = primary();
        while (true) {
            if (isSym("[")) {
                Depth depth(*this);
                auto ix = std::make_unique<Expr>();
                ix->kind = Expr::Index;
                ix->at = next().at;
                ix->operands.push_back(std::move(e));
                do ix->operands.push_back(expression());
                while (acceptSym(","));
                expectSym("]");
                e = std::move(ix);
            } else if (isSym(".")) {
                Depth depth(*this);
                const Location at = next().at;
                auto m = std::make_unique<Expr>();
                m->at = at;
                if (at_integer()) {
                    m->kind = Expr::Bit;
                    m->integer = next().integer;
                } else {
                    const Token& name = expectIdent("a member name");
                    m->kind = Expr::Member;
                    m->text = name.text;
                    m->raw = name.raw;
                }
                m->operands.push_back(std::move(e));
                e = std::move(m);
            } else if (isSym("(") && (e->kind == Expr::Name || e->kind == Expr::Member || e->kind == Expr::Index)) {
                Depth depth(*this);
                auto call = std::make_unique<Expr>();
                call->kind = Expr::Call;
                call->at = e->at;
                next();
                call->operands.push_back(std::move(e));
                if (!isSym(")")) {
                    do call->arguments.push_back(argument());
                    while (acceptSym(","));
                }
                expectSym(")");
                e = std::move(call);
            } else {
                return e;
            }
        }
    }
    bool at_integer() const { return at(Tok::Integer) && cur().prefix.empty(); }

    Argument argument() {
        Argument a;
        a.at = cur().at;
        std::size_t k = 0;
        if (isWord("NOT") && ahead(1).kind == Tok::Ident) k = 1;
        if (ahead(k).kind == Tok::Ident && ahead(k + 1).kind == Tok::Symbol &&
            (ahead(k + 1).text == ":=" || ahead(k + 1).text == "=>")) {
            if (k == 1) {
                next();
                a.negated = true;
            }
            a.name = next().text;
            a.output = next().text == "=>";
            if (a.negated && !a.output) fail("NOT applies only to an output assignment (NOT Q => x)");
        }
        a.value = expression();
        return a;
    }

    ExprPtr primary() {
        auto e = std::make_unique<Expr>();
        const Token& tok = cur();
        e->at = tok.at;
        e->text = tok.prefix;
        switch (tok.kind) {
            case Tok::Integer: e->kind = Expr::Integer; e->integer = tok.integer; break;
            case Tok::Real: e->kind = Expr::Real; e->real = tok.real; break;
            case Tok::String: e->kind = Expr::String; e->raw = tok.text; break;
            case Tok::Duration: e->kind = Expr::Duration; e->integer = tok.integer; break;
            case Tok::Date: e->kind = Expr::Date; e->integer = tok.integer; break;
            case Tok::TimeOfDay: e->kind = Expr::TimeOfDay; e->integer = tok.integer; break;
            case Tok::DateTime: e->kind = Expr::DateTime; e->integer = tok.integer; e->second = tok.second; break;
            case Tok::Ident:
                if (!tok.prefix.empty()) {  // Mode#Run
                    e->kind = Expr::Name;
                    e->text = tok.text;
                    e->raw = tok.raw;
                    e->qualifier = tok.prefix;  // the enumeration named, checked later
                    break;
                }
                if (tok.text == "TRUE" || tok.text == "FALSE") {
                    e->kind = Expr::Bool;
                    e->integer = tok.text == "TRUE";
                    e->text.clear();
                    break;
                }
                if (isKeyword(tok.text)) fail("expected an expression before " + describe(tok));
                e->kind = Expr::Name;
                e->text = tok.text;
                e->raw = tok.raw;
                break;
            case Tok::Symbol:
                if (tok.text == "(") {
                    next();
                    ExprPtr inner = expression();
                    inner->parenthesised = true;
                    expectSym(")");
                    return inner;
                }
                fail("expected an expression before " + describe(tok));
            default:
                fail("expected an expression before " + describe(tok));
        }
        next();
        return e;
    }

    const std::vector<Token>& t_;
    Unit& unit_;
    Diagnostics& diag_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

void parse(const std::vector<Token>& tokens, Unit& unit, Diagnostics& diagnostics) {
    Parser(tokens, unit, diagnostics).run();
}

}  // namespace qvc
