// Names and texts that come from outside (a symbol description, a trace file) as a
// terminal or a spreadsheet may show them safely.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

namespace qv::ctl {

// The text with every control character (ESC, CR, LF, BEL, DEL, ...) written as \xHH: a
// name cannot move the cursor, clear the screen, or start a line that looks like qvctl's.
inline std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
            continue;
        }
        char escape[5];
        std::snprintf(escape, sizeof escape, "\\x%02x", byte);
        out += escape;
    }
    return out;
}

// A field of a CSV file: quoted when it holds a separator, a quote or a line break, and
// with a leading apostrophe when a spreadsheet would take it for a formula (=, +, -, @,
// or a tab or carriage return before one). Numbers (-1.5) stay numbers.
inline std::string csvField(std::string_view text) {
    std::string field(text);
    const std::string_view digits = !text.empty() && text[0] == '+' ? text.substr(1) : text;
    double ignored = 0.0;
    const auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), ignored);
    const bool number = problem == std::errc() && end == digits.data() + digits.size() &&
                        digits.find_first_of("0123456789") != std::string_view::npos;
    if (!field.empty() && !number && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos)
        field.insert(field.begin(), '\'');
    if (field.find_first_of(",\"\n\r") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace qv::ctl
