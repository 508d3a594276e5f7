#include "compiler/diagnostics.h"

namespace qvc {

namespace {

// The text of line `line` (1-based) of `text`, without its end of line.
std::string lineOf(const std::string& text, int line) {
    std::size_t start = 0;
    for (int k = 1; k < line; ++k) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) return "";
        start = end + 1;
    }
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string result = text.substr(start, end - start);
    if (!result.empty() && result.back() == '\r') result.pop_back();
    return result;
}

}  // namespace

void Diagnostics::error(Location at, const std::string& message) {
    ++errors_;
    if (errors_ <= kMaxErrors) report(at, "error", message);
    if (errors_ == kMaxErrors + 1) text_ += "qvc: too many errors; stopping the list here\n";
}

void Diagnostics::warning(Location at, const std::string& message) {
    ++warnings_;
    report(at, "warning", message);
}

void Diagnostics::report(Location at, const char* severity, const std::string& message) {
    const bool known = at.file >= 0 && at.file < static_cast<int>(sources_.size());
    if (!known) {  // about the sources as a whole
        text_ += std::string("qvc: ") + severity + ": " + message + "\n";
        return;
    }
    text_ += sources_[at.file].name + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " + severity +
             ": " + message + "\n";
    if (at.line < 1) return;
    const std::string line = lineOf(sources_[at.file].text, at.line);
    text_ += line + "\n";
    // The caret lines up under the column, tabs kept as tabs.
    std::string caret;
    for (int k = 1; k < at.column && k - 1 < static_cast<int>(line.size()); ++k)
        caret += line[k - 1] == '\t' ? '\t' : ' ';
    text_ += caret + "^\n";
}

}  // namespace qvc
