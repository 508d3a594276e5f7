#include "supervisor/cli/display.h"

#include "supervisor/core/control.h"
#include "supervisor/core/values.h"

namespace qv::ctl {

std::string displayText(const Target& target, const Variable& v) {
    if (v.name == "execstatus" && v.role == std::string_view("control"))
        return statusText(readValue(target, v).word);
    return currentText(target, v);
}

namespace {

bool glob(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool matchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern.find_first_of("*?") == std::string_view::npos) return name.find(pattern) != std::string_view::npos;
    return glob(name, pattern);
}

}  // namespace qv::ctl
