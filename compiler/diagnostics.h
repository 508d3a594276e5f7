// Messages about the sources, printed as compilers print them: FILE:LINE:COL, the
// severity, the message, then the source line with a caret under the column.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qvc {

// A place in the sources: file is the position in the list of sources (0-based).
struct Location {
    int file = 0;
    int line = 0;
    int column = 0;
};

struct Source {
    std::string name;  // as given on the command line
    std::string path;  // absolute
    std::string text;  // as read: what diagnostics quote
    // A project that is not Structured Text (a PLCopen XML file) is compiled from the ST it
    // is translated into: `generated`, whose line k+1 stands for line lines[k] of `text`.
    std::string generated;
    std::vector<int> lines;
    std::vector<int> columns;  // per generated line: the column to report, 0 for its own
    std::map<int, std::string> comments;  // a variable's documentation by the line it is declared on
};

class Diagnostics {
public:
    explicit Diagnostics(const std::vector<Source>& sources) : sources_(sources) {}

    void error(Location at, const std::string& message);
    void warning(Location at, const std::string& message);

    int errors() const { return errors_; }
    int warnings() const { return warnings_; }
    // Everything reported so far, in the order reported.
    const std::string& text() const { return text_; }

    // A limit on errors, so that a file of garbage does not print a million lines.
    static constexpr int kMaxErrors = 100;

private:
    void report(Location at, const char* severity, const std::string& message);

    const std::vector<Source>& sources_;
    std::string text_;
    int errors_ = 0;
    int warnings_ = 0;
};

}  // namespace qvc
