// Compiling ST sources with the real qvc into programs in build/bin, and reading their
// variables the way a supervisor does: by the slot the symbol description gives.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "runtime/executive/image_layout.h"
#include "tests/programs/debug_supervisor.h"
#include "tests/support/program_run.h"

namespace qvtest::compiler {

struct Result {
    int status = -1;
    std::string output;  // standard output and error together
};

// Runs a shell command line, capturing what it prints.
inline Result runShell(const std::string& command) {
    Result r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline std::string qvc() { return std::string(QV_BUILD_BIN_DIR) + "/qvc"; }

// Writes `source` as <name>.st (a PLCopen project: <name>.xml) in a temporary folder and
// runs `qvc <command> file <options>`.
inline Result qvcOn(const std::string& command, const std::string& name, const std::string& source,
                    const std::string& options = "", const std::string& extension = ".st") {
    const std::string folder = qv::platform::temporaryDirectory() + "/qvct_src_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/" + name + extension;
    writeFile(file, source);
    return runShell("cd " + folder + " && " + qvc() + " " + command + " " + name + extension + " " + options);
}

// Builds build/bin/qvct_<name> from the source; the output of qvc on failure.
inline Result buildProgram(const std::string& name, const std::string& source, const std::string& options = "") {
    return qvcOn("build", name, source, "-o " + std::string(QV_BUILD_BIN_DIR) + "/qvct_" + name + " " + options);
}

// The same from a PLCopen XML project, written as <name>.xml.
inline Result buildProject(const std::string& name, const std::string& xml, const std::string& options = "") {
    return qvcOn("build", name, xml, "-o " + std::string(QV_BUILD_BIN_DIR) + "/qvct_" + name + " " + options, ".xml");
}

inline nlohmann::json symbolsOf(const std::string& name) {
    std::ifstream in(std::string(QV_BUILD_BIN_DIR) + "/qvct_" + name + ".symbols.json");
    return nlohmann::json::parse(in, nullptr, false);
}

// The variable's entry in a description, or null.
inline const nlohmann::json* entry(const nlohmann::json& symbols, const std::string& name) {
    for (const nlohmann::json& v : symbols["variables"])
        if (v["name"] == name) return &v;
    return nullptr;
}

// A variable's value as text: TRUE/FALSE, integers in decimal, REAL with %g, TIME and
// DATE_AND_TIME as days/ticks, DATE and TIME_OF_DAY as their element, STRING as its
// characters, an enumerated value by its name.
inline std::string valueOf(qv::ImageView& image, const nlohmann::json& symbols, const std::string& name) {
    const nlohmann::json* v = entry(symbols, name);
    if (!v) return "<no variable " + name + ">";
    const std::string type = (*v)["type"];
    const int32_t slot = (*v)["slot"];
    auto integer = [&](int32_t k) { return qv::ImageView::read(image.intSlot(k)); };
    if (type == "BOOL") return (image.boolSlot(slot)[0] & 1) ? "TRUE" : "FALSE";
    if (type == "REAL") {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", static_cast<double>(qv::ImageView::read(image.realSlot(slot))));
        return buf;
    }
    if (type == "TIME" || type == "DATE_AND_TIME") return std::to_string(integer(slot + 2)) + "/" + std::to_string(integer(slot + 3));
    if (type == "DATE" || type == "TIME_OF_DAY") return std::to_string(integer(slot + 2));
    if (type == "STRING") {
        std::string s;
        const int length = (*v)["length"];
        for (int k = 0; k < length; ++k) {
            const unsigned char c = image.charSlot(slot + 3 + k)[0];
            if (c == 0) break;
            s += static_cast<char>(c);
        }
        return s;
    }
    if (type == "ENUM") {
        const int32_t value = integer(slot);
        for (const nlohmann::json& e : symbols["enums"])
            if (e["name"] == (*v)["enum"])
                for (const nlohmann::json& n : e["values"])
                    if (n["value"] == value) return n["name"];
        return std::to_string(value);
    }
    if (type == "DWORD") return std::to_string(static_cast<uint32_t>(integer(slot)));
    return std::to_string(integer(slot));
}

}  // namespace qvtest::compiler
