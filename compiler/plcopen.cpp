// PLCopen XML projects translated into Structured Text line by line: the data types into
// TYPE blocks, each POU's interface into its VAR sections, ST bodies as they are written,
// graphical bodies through their translators, the configurations with their resources and
// tasks. Every generated line records the XML line it stands for.
#include "compiler/plcopen.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "compiler/plcopen_body.h"

namespace qvc {

namespace {

using plcopen::child;
using plcopen::children;
using plcopen::is;
using plcopen::isIdentifier;
using plcopen::Line;
using plcopen::localName;
using plcopen::trimmed;
using ordered_json = nlohmann::ordered_json;

// The first element child, whatever its name (the <INT/> inside a <type>).
pugi::xml_node firstElement(pugi::xml_node node) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && !is(c, "documentation") && !is(c, "addData")) return c;
    return {};
}

// Where each line of a text starts, and the line and column of a byte offset in it.
std::vector<std::size_t> lineStartsOf(const std::string& text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 0; k < text.size(); ++k)
        if (text[k] == '\n') starts.push_back(k + 1);
    return starts;
}

int lineAt(const std::vector<std::size_t>& starts, std::ptrdiff_t offset) {
    if (offset < 0) return 0;
    const auto it = std::upper_bound(starts.begin(), starts.end(), static_cast<std::size_t>(offset));
    return static_cast<int>(it - starts.begin());
}

int columnAt(const std::vector<std::size_t>& starts, std::ptrdiff_t offset) {
    const int line = lineAt(starts, offset);
    if (line < 1) return 1;
    return static_cast<int>(static_cast<std::size_t>(offset) - starts[static_cast<std::size_t>(line - 1)]) + 1;
}

// The translation of one project file.
class Reader {
public:
    Reader(Source& source, int file, Diagnostics& diag)
        : source_(source), file_(file), diag_(diag), starts_(lineStartsOf(source.text)) {}

    ordered_json run() {
        pugi::xml_document doc;
        // No DTD is read and no entity but the five of XML is expanded: a project cannot
        // make the reader fetch a file or grow without bound.
        const unsigned options = pugi::parse_default & ~pugi::parse_doctype;
        const pugi::xml_parse_result result = doc.load_buffer(source_.text.data(), source_.text.size(), options);
        if (!result) {
            error(result.offset, std::string("malformed XML: ") + result.description());
            return finish();
        }
        const pugi::xml_node project = doc.document_element();
        if (!is(project, "project")) {
            error(project.offset_debug(), std::string("not a PLCopen project: the root element is <") + project.name() + ">");
            return finish();
        }
        const pugi::xml_node types = child(project, "types");
        for (pugi::xml_node t : children(child(types, "dataTypes"), "dataType")) dataType(t);
        for (pugi::xml_node p : children(child(types, "pous"), "pou")) pou(p);
        for (pugi::xml_node c : children(child(child(project, "instances"), "configurations"), "configuration")) configuration(c);
        return finish();
    }

private:
    int lineOf(pugi::xml_node node) const { return lineAt(starts_, node.offset_debug()); }
    Location at(pugi::xml_node node) const { return {file_, lineOf(node), columnAt(starts_, node.offset_debug())}; }
    void error(std::ptrdiff_t offset, const std::string& message) {
        diag_.error({file_, lineAt(starts_, offset), columnAt(starts_, offset)}, message);
    }
    void error(pugi::xml_node node, const std::string& message) { diag_.error(at(node), message); }

    void emit(pugi::xml_node node, const std::string& text) { lines_.push_back({lineOf(node), text, at(node).column}); }
    void emit(int line, const std::string& text) { lines_.push_back({line, text}); }

    // The attribute as an ST name, or "" after a diagnostic.
    std::string nameOf(pugi::xml_node node, const char* what, const char* attribute = "name") {
        const std::string name = node.attribute(attribute).as_string();
        if (isIdentifier(name)) return name;
        error(node, std::string(what) + " has " + (name.empty() ? "no name" : "a name that is not an identifier: \"" + name + "\""));
        return "";
    }

    // ---- Types -------------------------------------------------------------------------

    // Types and values nest (an array of arrays): a bound on the depth keeps a hostile file
    // from exhausting the stack.
    static constexpr int kMaxDepth = 32;
    struct Nesting {
        explicit Nesting(int& depth) : depth_(++depth) {}
        ~Nesting() { --depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        int& depth_;
    };

    // A type as ST writes it, from a <type> or <baseType> element; "" after a diagnostic.
    // A structure is not a type an ST declaration can write in one line: only dataType takes it.
    std::string typeText(pugi::xml_node holder) {
        const Nesting nesting(depth_);
        if (depth_ > kMaxDepth) {
            error(holder, "a type nested too deeply");
            return "";
        }
        const pugi::xml_node t = firstElement(holder);
        if (!t) {
            error(holder, "a type is missing");
            return "";
        }
        const std::string kind = localName(t);
        static const char* const elementary[] = {"BOOL",  "SINT", "INT",  "DINT", "LINT", "USINT", "UINT",
                                                 "UDINT", "ULINT", "REAL", "LREAL", "TIME", "DATE", "DT",
                                                 "TOD",   "BYTE", "WORD", "DWORD", "LWORD"};
        for (const char* e : elementary)
            if (kind == e) return kind;
        if (kind == "dateAndTime") return "DT";
        if (kind == "timeOfDay") return "TOD";
        if (kind == "string" || kind == "wstring") {
            const std::string name = kind == "string" ? "STRING" : "WSTRING";
            const pugi::xml_attribute length = t.attribute("length");
            if (!length) return name;
            const std::string n = length.as_string();
            if (n.empty() || n.size() > 6 || !std::all_of(n.begin(), n.end(), ::isdigit)) {
                error(t, "a string length is not a number: \"" + n + "\"");
                return "";
            }
            return name + "[" + n + "]";
        }
        if (kind == "derived") return nameOf(t, "a derived type");
        if (kind == "array") {
            std::string dims;
            for (pugi::xml_node d : children(t, "dimension")) {
                const std::string lower = bound(d, "lower"), upper = bound(d, "upper");
                if (lower.empty() || upper.empty()) return "";
                dims += (dims.empty() ? "" : ", ") + lower + ".." + upper;
            }
            if (dims.empty()) {
                error(t, "an array has no dimension");
                return "";
            }
            const std::string base = typeText(child(t, "baseType"));
            return base.empty() ? "" : "ARRAY[" + dims + "] OF " + base;
        }
        if (kind == "subrangeSigned" || kind == "subrangeUnsigned") {
            const pugi::xml_node range = child(t, "range");
            const std::string lower = bound(range, "lower"), upper = bound(range, "upper");
            const std::string base = typeText(child(t, "baseType"));
            if (lower.empty() || upper.empty() || base.empty()) return "";
            return base + " (" + lower + ".." + upper + ")";
        }
        if (kind == "enum") {
            std::string values;
            for (pugi::xml_node v : children(child(t, "values"), "value")) {
                const std::string name = nameOf(v, "an enumeration value");
                if (name.empty()) return "";
                values += (values.empty() ? "" : ", ") + name;
                if (v.attribute("value")) {
                    const std::string n = v.attribute("value").as_string();
                    if (!isNumber(n)) {
                        error(v, "an enumeration value's number is not a number: \"" + n + "\"");
                        return "";
                    }
                    values += " := " + n;
                }
            }
            if (values.empty()) {
                error(t, "an enumeration has no value");
                return "";
            }
            return "(" + values + ")";
        }
        if (kind == "struct") {
            error(t, "a structure can only be declared as a data type of its own (types/dataTypes)");
            return "";
        }
        if (kind == "pointer") {
            error(t, "pointers are not supported: the image holds values, not addresses");
            return "";
        }
        error(t, "unknown type <" + kind + ">");
        return "";
    }

    static bool isNumber(const std::string& n) {
        if (n.empty() || n.size() > 24) return false;
        const std::size_t start = n[0] == '-' || n[0] == '+' ? 1 : 0;
        return start < n.size() && std::all_of(n.begin() + static_cast<std::ptrdiff_t>(start), n.end(), ::isdigit);
    }

    std::string bound(pugi::xml_node node, const char* attribute) {
        const std::string n = node.attribute(attribute).as_string();
        if (isNumber(n) || isIdentifier(n)) return n;  // a constant's name is a bound too
        error(node, std::string("the ") + attribute + " bound is not a number: \"" + n + "\"");
        return "";
    }

    // An initial value as ST writes it, from an <initialValue> (or a <value> inside one).
    std::string valueText(pugi::xml_node holder) {
        const Nesting nesting(depth_);
        if (depth_ > kMaxDepth) {
            error(holder, "an initial value nested too deeply");
            return "";
        }
        const pugi::xml_node v = firstElement(holder);
        if (!v) return "";
        if (is(v, "simpleValue")) return literal(v);
        if (is(v, "arrayValue")) {
            std::string items;
            for (pugi::xml_node item : children(v, "value")) {
                std::string one = valueText(item);
                if (one.empty()) return "";
                const pugi::xml_attribute repeat = item.attribute("repetitionValue");
                if (repeat) {
                    const std::string n = repeat.as_string();
                    if (!isNumber(n)) {
                        error(item, "a repetition is not a number: \"" + n + "\"");
                        return "";
                    }
                    one = n + "(" + one + ")";
                }
                items += (items.empty() ? "" : ", ") + one;
            }
            return "[" + items + "]";
        }
        if (is(v, "structValue")) {
            std::string items;
            for (pugi::xml_node item : children(v, "value")) {
                const std::string member = nameOf(item, "a structure value", "member");
                const std::string one = valueText(item);
                if (member.empty() || one.empty()) return "";
                items += (items.empty() ? "" : ", ") + member + " := " + one;
            }
            return "(" + items + ")";
        }
        error(v, std::string("unknown initial value <") + localName(v) + ">");
        return "";
    }

    // A literal is ST text; it may not end the declaration or open a comment of its own.
    std::string literal(pugi::xml_node v) {
        const std::string text = trimmed(v.attribute("value").as_string());
        const bool quoted = text.size() >= 2 && (text.front() == '\'' || text.front() == '"');
        const bool safe = text.find_first_of(quoted ? "\n\r" : ";\n\r(*{}") == std::string::npos &&
                          (!quoted || (text.back() == text.front() && text.find(text.front(), 1) == text.size() - 1));
        if (text.empty() || !safe || text.size() > 1000) {
            error(v, "an initial value is not a literal: \"" + text.substr(0, 80) + "\"");
            return "";
        }
        return text;
    }

    void dataType(pugi::xml_node t) {
        const std::string name = nameOf(t, "a data type");
        const pugi::xml_node base = child(t, "baseType");
        if (name.empty()) return;
        emit(t, "TYPE");
        const pugi::xml_node inner = firstElement(base);
        if (inner && is(inner, "struct")) {
            emit(t, name + " :");
            emit(inner, "STRUCT");
            for (pugi::xml_node m : children(inner, "variable")) variable(m);
            emit(inner, "END_STRUCT;");
        } else {
            const std::string type = typeText(base);
            if (type.empty()) {
                lines_.pop_back();
                return;
            }
            const std::string init = valueText(child(t, "initialValue"));
            emit(t, name + " : " + type + (init.empty() ? "" : " := " + init) + ";");
        }
        emit(t, "END_TYPE");
    }

    // ---- Variables ---------------------------------------------------------------------

    void variable(pugi::xml_node v) {
        const std::string name = nameOf(v, "a variable");
        if (name.empty()) return;
        const std::string type = typeText(child(v, "type"));
        if (type.empty()) return;
        std::string line = name;
        const std::string address = v.attribute("address").as_string();
        if (!address.empty()) {
            const bool ok = address.size() < 40 && address[0] == '%' &&
                            std::all_of(address.begin() + 1, address.end(),
                                        [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '*'; });
            if (!ok) {
                error(v, "a located address is not one: \"" + address.substr(0, 40) + "\"");
                return;
            }
            line += " AT " + address;
        }
        line += " : " + type;
        const std::string init = valueText(child(v, "initialValue"));
        if (!init.empty()) line += " := " + init;
        emit(v, line + ";");
        const std::string doc = documentation(v);
        if (!doc.empty()) source_.comments[lineOf(v)] = doc;
    }

    // The documentation of an element on one line, spaces collapsed.
    static std::string documentation(pugi::xml_node node) {
        const pugi::xml_node doc = child(node, "documentation");
        if (!doc) return "";
        std::string out;
        bool space = false;
        for (const char c : std::string(doc.text().get()).empty() ? collect(doc) : std::string(doc.text().get())) {
            if (std::isspace(static_cast<unsigned char>(c))) {
                space = !out.empty();
                continue;
            }
            if (space) out += ' ';
            space = false;
            out += c;
        }
        return out.substr(0, 500);
    }

    // The text inside an element and its descendants (<documentation><xhtml:p>...).
    static std::string collect(pugi::xml_node node) {
        std::string out;
        for (pugi::xml_node n = node.first_child(); n && n != node; ) {
            if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) out += std::string(n.value()) + " ";
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
            while (n != node && !n.next_sibling()) n = n.parent();
            if (n != node) n = n.next_sibling();
        }
        return out;
    }

    void varSection(pugi::xml_node list, const char* keyword) {
        std::string head = keyword;
        if (list.attribute("constant").as_bool()) head += " CONSTANT";
        if (list.attribute("retain").as_bool() || list.attribute("persistent").as_bool()) head += " RETAIN";
        if (list.attribute("nonretain").as_bool()) head += " NON_RETAIN";
        emit(list, head);
        for (pugi::xml_node v : children(list, "variable")) variable(v);
        emit(list, "END_VAR");
    }

    void interface(pugi::xml_node iface) {
        static const std::pair<const char*, const char*> kinds[] = {
            {"inputVars", "VAR_INPUT"}, {"outputVars", "VAR_OUTPUT"}, {"inOutVars", "VAR_IN_OUT"},
            {"localVars", "VAR"},       {"tempVars", "VAR_TEMP"},     {"externalVars", "VAR_EXTERNAL"},
            {"globalVars", "VAR_GLOBAL"}};
        for (pugi::xml_node list = iface.first_child(); list; list = list.next_sibling()) {
            if (list.type() != pugi::node_element || is(list, "returnType") || is(list, "documentation") || is(list, "addData"))
                continue;
            const char* keyword = nullptr;
            for (const auto& [element, word] : kinds)
                if (is(list, element)) keyword = word;
            if (!keyword) {
                error(list, std::string("unknown variable list <") + localName(list) + ">");
                continue;
            }
            varSection(list, keyword);
        }
    }

    // ---- POUs --------------------------------------------------------------------------

    void pou(pugi::xml_node p) {
        const std::string name = nameOf(p, "a POU");
        if (name.empty()) return;
        const std::string kind = p.attribute("pouType").as_string();
        const char* keyword = kind == "program" ? "PROGRAM" : kind == "functionBlock" ? "FUNCTION_BLOCK" : kind == "function" ? "FUNCTION" : nullptr;
        if (!keyword) {
            error(p, "POU " + name + ": unknown pouType \"" + kind + "\" (program, functionBlock or function)");
            return;
        }
        const pugi::xml_node iface = child(p, "interface");
        std::string head = std::string(keyword) + " " + name;
        if (kind == "function") {
            const pugi::xml_node ret = child(iface, "returnType");
            if (!ret) {
                error(p, "POU " + name + ": a function without a returnType");
                return;
            }
            const std::string type = typeText(ret);
            if (type.empty()) return;
            head += " : " + type;
        }
        emit(p, head);
        interface(iface);

        const pugi::xml_node bodyNode = child(p, "body");
        if (children(p, "body").size() > 1)
            diag_.warning(at(children(p, "body")[1]), "POU " + name + ": only the first body is compiled");
        const pugi::xml_node language = firstElement(bodyNode);
        plcopen::Body body{source_, file_, diag_, name, language ? localName(language) : "", p, &starts_};
        if (!language) {
            error(p, "POU " + name + " has no body");
        } else {
            translateBody(language, body);
        }
        std::vector<Line> after;
        for (pugi::xml_node a : children(child(p, "actions"), "action")) action(a, body, after);
        if (!body.declarations.empty()) {
            emit(bodyNode, "VAR");
            for (Line& l : body.declarations) lines_.push_back(std::move(l));
            emit(bodyNode, "END_VAR");
        }
        for (Line& l : body.statements) lines_.push_back(std::move(l));
        for (Line& l : body.after) lines_.push_back(std::move(l));
        for (Line& l : after) lines_.push_back(std::move(l));
        emit(endLine(p), "END_" + std::string(keyword));
        if (!body.elements.empty())
            diagrams_.push_back({{"pou", name}, {"language", body.language}, {"file", fileName()}, {"elements", std::move(body.elements)}});
    }

    // The line of an element's last descendant: where its END_ keyword stands.
    int endLine(pugi::xml_node node) const {
        int line = lineOf(node);
        for (pugi::xml_node n = node.last_child(); n; n = n.last_child()) line = std::max(line, lineOf(n));
        return line;
    }

    void translateBody(pugi::xml_node language, plcopen::Body& body) {
        if (is(language, "ST")) {
            plcopen::appendText(plcopen::stText(language, body), body.statements);
        } else if (is(language, "FBD")) {
            plcopen::translateFbd(language, body);
        } else if (is(language, "LD")) {
            plcopen::translateLd(language, body);
        } else if (is(language, "SFC")) {
            plcopen::translateSfc(language, body);
        } else if (is(language, "IL")) {
            body.error(language, "IL body: Instruction List is not supported (it is deprecated in the third edition of IEC 61131-3); write the body in ST, FBD, LD or SFC");
        } else {
            body.error(language, std::string("unknown body language <") + localName(language) + ">");
        }
    }

    // A named action of the POU, in whatever language: an ACTION block after the body.
    void action(pugi::xml_node a, plcopen::Body& pouBody, std::vector<Line>& after) {
        const std::string name = nameOf(a, "an action");
        if (name.empty()) return;
        const pugi::xml_node language = firstElement(child(a, "body"));
        plcopen::Body body{source_, file_, diag_, pouBody.pou, language ? localName(language) : "", pouBody.pouNode, &starts_};
        if (!language) {
            body.error(a, "action " + name + " has no body");
            return;
        }
        translateBody(language, body);
        after.push_back({lineOf(a), "ACTION " + name + ":"});
        for (Line& l : body.statements) after.push_back(std::move(l));
        after.push_back({endLine(a), "END_ACTION"});
        for (Line& l : body.declarations) pouBody.declarations.push_back(std::move(l));
        for (auto& e : body.elements) pouBody.elements.push_back(std::move(e));
    }

    // ---- Configurations ----------------------------------------------------------------

    void configuration(pugi::xml_node c) {
        const std::string name = nameOf(c, "a configuration");
        if (name.empty()) return;
        emit(c, "CONFIGURATION " + name);
        for (pugi::xml_node g : children(c, "globalVars")) varSection(g, "VAR_GLOBAL");
        // Initial values given from the configuration would change the program: say that
        // they are not applied rather than lose them without a word.
        for (pugi::xml_node v : children(c, "configVars"))
            if (child(v, "variable")) error(v, "configuration " + name + ": configVars (VAR_CONFIG) are not supported; give the initial values in the POUs");
        for (pugi::xml_node v : children(c, "accessVars"))
            if (child(v, "variable")) diag_.warning(at(v), "configuration " + name + ": accessVars are not read (access paths serve a communication partner this runtime does not have)");
        for (pugi::xml_node r : children(c, "resource")) resource(r);
        emit(endLine(c), "END_CONFIGURATION");
    }

    void resource(pugi::xml_node r) {
        const std::string name = nameOf(r, "a resource");
        if (name.empty()) return;
        emit(r, "RESOURCE " + name + " ON PLC");
        for (pugi::xml_node g : children(r, "globalVars")) varSection(g, "VAR_GLOBAL");
        for (pugi::xml_node t : children(r, "task")) task(t);
        for (pugi::xml_node i : children(r, "pouInstance")) instance(i, "");
        emit(endLine(r), "END_RESOURCE");
    }

    void task(pugi::xml_node t) {
        const std::string name = nameOf(t, "a task");
        if (name.empty()) return;
        std::string settings;
        if (t.attribute("interval")) {
            const std::string interval = duration(t, t.attribute("interval").as_string());
            if (interval.empty()) return;
            settings += "INTERVAL := " + interval;
        }
        if (t.attribute("single")) {
            const std::string single = t.attribute("single").as_string();
            if (!isIdentifier(single)) {
                error(t, "task " + name + ": single is not a variable: \"" + single.substr(0, 40) + "\"");
                return;
            }
            settings += (settings.empty() ? "" : ", ") + std::string("SINGLE := ") + single;
        }
        const std::string priority = t.attribute("priority").as_string("0");
        if (!isNumber(priority)) {
            error(t, "task " + name + ": priority is not a number: \"" + priority.substr(0, 40) + "\"");
            return;
        }
        settings += (settings.empty() ? "" : ", ") + std::string("PRIORITY := ") + priority;
        emit(t, "TASK " + name + " (" + settings + ");");
        for (pugi::xml_node i : children(t, "pouInstance")) instance(i, name);
    }

    // An interval as the file writes it: T#20ms, or an XML duration (PT0.02S).
    std::string duration(pugi::xml_node t, const std::string& text) {
        std::string d = trimmed(text);
        const auto upper = [](std::string s) {
            for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return s;
        };
        const std::string u = upper(d);
        if ((u.rfind("T#", 0) == 0 || u.rfind("TIME#", 0) == 0) && d.size() < 40 &&
            std::all_of(d.begin(), d.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '#' || c == '_' || c == '.'; }))
            return d;
        if (u.rfind("PT", 0) == 0 && u.size() > 3 && u.back() == 'S' && u.size() < 30) {
            const std::string seconds = u.substr(2, u.size() - 3);
            char* end = nullptr;
            const double s = std::strtod(seconds.c_str(), &end);
            if (end && *end == '\0' && s > 0 && s <= 3600) return "T#" + std::to_string(static_cast<long long>(s * 1000.0 + 0.5)) + "ms";
        }
        error(t, "a task interval is not a duration: \"" + d.substr(0, 40) + "\"");
        return "";
    }

    void instance(pugi::xml_node i, const std::string& task) {
        const std::string name = nameOf(i, "a program instance");
        const std::string type = nameOf(i, "a program instance's type", "typeName");
        if (name.empty() || type.empty()) return;
        emit(i, "PROGRAM " + name + (task.empty() ? "" : " WITH " + task) + " : " + type + ";");
    }

    // ---- Result ------------------------------------------------------------------------

    // The column of the first non-blank character of an XML line (1 when there is none).
    int firstColumn(int line) const {
        if (line < 1 || static_cast<std::size_t>(line) > starts_.size()) return 1;
        const std::size_t start = starts_[static_cast<std::size_t>(line - 1)];
        std::size_t k = start;
        while (k < source_.text.size() && (source_.text[k] == ' ' || source_.text[k] == '\t')) ++k;
        return static_cast<int>(k - start) + 1;
    }

    std::string fileName() const { return source_.name.substr(source_.name.find_last_of('/') + 1); }

    ordered_json finish() {
        source_.generated.clear();
        source_.lines.clear();
        source_.columns.clear();
        for (const Line& l : lines_) {
            source_.generated += l.text;
            source_.generated += '\n';
            source_.lines.push_back(l.xmlLine);
            source_.columns.push_back(l.verbatim ? 0 : l.xmlColumn > 0 ? l.xmlColumn : firstColumn(l.xmlLine));
        }
        if (source_.lines.empty()) source_.lines.push_back(0);  // a translation without lines still maps its end
        return std::move(diagrams_);
    }

    Source& source_;
    int file_;
    Diagnostics& diag_;
    std::vector<std::size_t> starts_;
    int depth_ = 0;
    std::vector<Line> lines_;
    ordered_json diagrams_ = ordered_json::array();
};

}  // namespace

bool isPlcopenProject(const std::string& text) {
    std::size_t k = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) k = 3;  // a byte order mark
    while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) ++k;
    return k < text.size() && text[k] == '<';  // no Structured Text begins with '<'
}

nlohmann::ordered_json translatePlcopen(Source& source, int file, Diagnostics& diagnostics) {
    return Reader(source, file, diagnostics).run();
}

namespace plcopen {

const char* localName(pugi::xml_node node) {
    const char* name = node.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool is(pugi::xml_node node, const char* name) { return std::strcmp(localName(node), name) == 0; }

pugi::xml_node child(pugi::xml_node node, const char* name) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && is(c, name)) return c;
    return {};
}

std::vector<pugi::xml_node> children(pugi::xml_node node, const char* name) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && is(c, name)) out.push_back(c);
    return out;
}

std::string trimmed(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t k = 0;
    while (k < s.size() && std::isspace(static_cast<unsigned char>(s[k]))) ++k;
    return s.substr(k);
}

// An XML name used as an ST name: only letters, digits and underscores pass, so that no
// attribute can bring text of its own into the translation.
bool isIdentifier(const std::string& s) {
    if (s.empty() || s.size() > 200 || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

namespace {

// The line starts the reader found, or found again for a body made elsewhere.
const std::vector<std::size_t>& startsOf(const Body& body, std::vector<std::size_t>& own) {
    if (body.lineStarts) return *body.lineStarts;
    own = lineStartsOf(body.source.text);
    return own;
}

}  // namespace

int Body::lineOf(pugi::xml_node node) const {
    std::vector<std::size_t> own;
    return lineAt(startsOf(*this, own), node.offset_debug());
}

Location Body::at(pugi::xml_node node) const {
    std::vector<std::size_t> own;
    const std::vector<std::size_t>& starts = startsOf(*this, own);
    return {file, lineAt(starts, node.offset_debug()), columnAt(starts, node.offset_debug())};
}

void Body::error(pugi::xml_node node, const std::string& message) const {
    diagnostics.error(at(node), "POU " + pou + ", " + message);
}

void Body::warning(pugi::xml_node node, const std::string& message) const {
    diagnostics.warning(at(node), "POU " + pou + ", " + message);
}

Text stText(pugi::xml_node node, const Body& body) {
    // The text sits in the element itself or in an <xhtml:p> (or <p>) inside it.
    pugi::xml_node holder = node;
    if (const pugi::xml_node p = child(node, "p")) holder = p;
    for (pugi::xml_node c = holder.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_cdata && c.type() != pugi::node_pcdata) continue;
        if (trimmed(c.value()).empty()) continue;
        std::vector<std::size_t> own;
        const std::vector<std::size_t>& starts = startsOf(body, own);
        return {c.value(), lineAt(starts, c.offset_debug()), columnAt(starts, c.offset_debug())};
    }
    return {"", body.lineOf(node), 1};
}

void appendText(const Text& text, std::vector<Line>& into) {
    constexpr int kMaxPadding = 200;
    int line = text.line;
    std::size_t start = 0;
    bool first = true;
    while (start <= text.text.size()) {
        std::size_t end = text.text.find('\n', start);
        if (end == std::string::npos) end = text.text.size();
        std::string l = text.text.substr(start, end - start);
        // Far along its line (a file written on one line), the first line is not padded,
        // which would cost the square of the file's size: a diagnostic on it points at the
        // start of the text instead.
        if (first && text.column > kMaxPadding) {
            into.push_back({line, std::move(l), text.column, false});
        } else {
            if (first && text.column > 1) l = std::string(static_cast<std::size_t>(text.column - 1), ' ') + l;
            into.push_back({line, std::move(l), 0, true});
        }
        first = false;
        ++line;
        start = end + 1;
    }
}

}  // namespace plcopen
}  // namespace qvc
