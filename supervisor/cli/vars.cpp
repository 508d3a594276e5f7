// qvctl vars: the program's variables and the control variables, optionally only those
// whose names match a pattern, optionally with their values.
#include <cstdio>

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

    auto row = [&](const Variable& v) {
        const std::string slot = slotName(v.area, v.slot);
        const std::string name = printable(v.name);
        if (!options.values) {
            std::printf("%-28s %-6s %-6s %s\n", name.c_str(), slot.c_str(), kindName(v.kind), v.role);
            return;
        }
        const std::string value = displayText(target, v) + (isForced(target, v) ? " (forced)" : "");
        std::printf("%-28s %-6s %-6s %-9s %s\n", name.c_str(), slot.c_str(), kindName(v.kind), v.role,
                    printable(value).c_str());
    };
    if (options.values)
        std::printf("%-28s %-6s %-6s %-9s %s\n", "name", "slot", "type", "role", "value");
    else
        std::printf("%-28s %-6s %-6s %s\n", "name", "slot", "type", "role");
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
