// qvctl vars: the program's variables and the control variables, optionally only those
// whose names match a pattern, optionally with their values.
#include <cstdio>
#include <map>

#include "supervisor/cli/commands.h"
#include "supervisor/cli/display.h"
#include "supervisor/core/printable.h"
#include "supervisor/core/values.h"

namespace qv::ctl {

int varsCommand(const Options& options, const Target& target) {
    if (options.words.size() > 2) return usage("vars takes at most one pattern");
    const std::string pattern = options.words.size() == 2 ? options.words[1] : "";
    std::vector<Variable> list;
    if (target.table != nullptr) {
        for (const symbols::Symbol& s : target.table->symbols) {
            std::string error;
            if (std::optional<Variable> v = resolveVariable(target, s.name, error)) list.push_back(*v);
        }
    }
    for (const Variable& v : controlVariables(target)) list.push_back(v);

    // --long: what the symbol description says of each variable.
    std::map<std::string, std::string, std::less<>> comments;
    if (options.longForm && target.symbolSet != nullptr)
        for (const symbols::SymbolSet::Variable& d : target.symbolSet->variables())
            if (!d.comment.empty()) comments[d.name] = d.comment;
    auto described = [&](const Variable& v) {
        const auto c = comments.find(v.name);
        std::string text = v.operatorInput ? "[operator] " : "";
        if (c != comments.end()) text += c->second;
        return printable(text);
    };
    auto row = [&](const Variable& v) {
        const std::string slot = slotName(v.area, v.slot);
        const std::string name = printable(v.name);
        std::string line;
        char text[256];
        std::snprintf(text, sizeof text, "%-28s %-6s %-6s %-9s", name.c_str(), slot.c_str(), kindName(v.kind), v.role);
        line = text;
        if (options.values)
            line += " " + printable(displayText(target, v) + (isForced(target, v) ? " (forced)" : ""));
        if (options.longForm) line += (options.values ? "  " : " ") + described(v);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    };
    std::string head = "name                         slot   type   role";
    if (options.values) head += "      value";
    if (options.longForm) head += options.values ? "  comment" : "      comment";
    std::printf("%s\n", head.c_str());
    int shown = 0;
    for (const Variable& v : list) {
        if (!pattern.empty() && !matchesPattern(v.name, pattern)) continue;
        row(v);
        ++shown;
    }
    if (target.table == nullptr)
        std::printf("(the image holds no program with a symbol table: name its slots as B5, I523, F10, C3)\n");
    if (shown == 0 && !pattern.empty()) return fail("no variable matches " + pattern);
    return kExitDone;
}

}  // namespace qv::ctl
