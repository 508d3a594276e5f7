#include "compiler/driver.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "compiler/codegen.h"
#include "compiler/lexer.h"
#include "compiler/parser.h"
#include "compiler/configuration.h"
#include "compiler/plcopen.h"
#include "compiler/sfc.h"
#include "compiler/symbols.h"
#include "compiler/types.h"

extern char** environ;

namespace qvc {

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: qvc build SOURCE... [-o PROGRAM] [--revision 1|2|3] [--program NAME] [--period TIME]\n"
    "                 [--keep-sources DIR] [--werror]\n"
    "       qvc check SOURCE... [--program NAME] [--werror]\n"
    "       qvc emit SOURCE... -o DIR [--revision 1|2|3] [--program NAME] [--period TIME] [--werror]\n"
    "A SOURCE is Structured Text (.st) or a PLCopen XML project (.xml).\n";

struct CommandLine {
    std::string command;
    std::vector<std::string> files;
    std::string output;
    std::string keepSources;
    Options options;
    bool werror = false;
};

int usage(const std::string& problem) {
    std::cerr << "qvc: " << problem << "\n" << kUsage;
    return 2;
}

// TIME as written on the command line: 50ms, T#50ms, 1s.
bool parsePeriod(const std::string& text, double& microseconds) {
    std::string t = text;
    if (t.rfind("T#", 0) != 0 && t.rfind("t#", 0) != 0 && t.rfind("TIME#", 0) != 0) t = "T#" + t;
    std::vector<Source> none;
    Diagnostics d(none);
    const std::vector<Token> tokens = tokenize(t, -1, d);
    if (d.errors() || tokens.size() != 2 || tokens[0].kind != Tok::Duration || tokens[0].integer <= 0) return false;
    microseconds = static_cast<double>(tokens[0].integer) * 100.0;
    return microseconds <= 3600e6;
}

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

// Runs a program with its arguments (no shell); its exit status, or -1.
int run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string environmentOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// Where the runtime's headers and libraries are, relative to this executable.
struct Runtime {
    std::string include;
    std::string lib;
    std::vector<std::string> flags;  // what the libraries were built with and need at the link
};

bool findRuntime(int revision, Runtime& r, std::string& problem) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path prefix = self.parent_path().parent_path();
    const std::string main = "libqv_main_r" + std::to_string(revision) + ".a";
    if (fs::exists(prefix / "include/qv/sdk/qv_model.h", ec)) {
        r.include = (prefix / "include/qv").string();
        for (const char* lib : {"lib", "lib64", "lib/x86_64-linux-gnu", "lib/aarch64-linux-gnu"})
            if (fs::exists(prefix / lib / main, ec)) r.lib = (prefix / lib).string();
    } else {
#ifdef QVC_SOURCE_DIR
        r.include = QVC_SOURCE_DIR;
#endif
#ifdef QVC_BUILD_FLAGS
        // A build tree made with the sanitizers: a program linked against its libraries
        // needs their runtime too.
        std::istringstream words(QVC_BUILD_FLAGS);
        for (std::string w; words >> w;) r.flags.push_back(w);
#endif
        if (fs::exists(prefix / "lib" / main, ec)) r.lib = (prefix / "lib").string();
    }
    if (r.include.empty() || !fs::exists(fs::path(r.include) / "sdk/qv_model.h", ec)) {
        problem = "the runtime's headers are not found beside " + self.string() + " (expected " + (prefix / "include/qv").string() + ")";
        return false;
    }
    if (r.lib.empty()) {
        problem = "the runtime's libraries (" + main + ") are not found under " + prefix.string() +
                  ": build them (cmake --build <build> --target qv_sdk)";
        return false;
    }
    return true;
}

// Every source into the unit: Structured Text as it is, a PLCopen project through the
// Structured Text it translates into. Returns the drawings of the projects' graphical bodies.
nlohmann::ordered_json parseSources(std::vector<Source>& sources, Unit& unit, Diagnostics& diag) {
    nlohmann::ordered_json diagrams = nlohmann::ordered_json::array();
    for (std::size_t k = 0; k < sources.size(); ++k) {
        Source& source = sources[k];
        const int file = static_cast<int>(k);
        if (!isPlcopenProject(source.text)) {
            parse(tokenize(source.text, file, diag), unit, diag);
            continue;
        }
        for (auto& d : translatePlcopen(source, file, diag)) diagrams.push_back(std::move(d));
        parse(tokenize(source.generated, file, diag, &source.lines, &source.columns), unit, diag);
    }
    return diagrams;
}

struct Compilation {
    std::vector<Source> sources;
    Unit unit;
};

// Reads, parses, checks and generates. Prints the diagnostics. 0, or the exit status.
int translate(const CommandLine& cl, Compilation& comp, Generated& out, std::string& description, std::string& programName) {
    for (const std::string& f : cl.files) {
        Source s;
        s.name = f;
        std::error_code ec;
        s.path = fs::absolute(f, ec).lexically_normal().string();
        if (!readFile(f, s.text)) {
            std::cerr << "qvc: cannot read " << f << "\n";
            return 1;
        }
        comp.sources.push_back(std::move(s));
    }
    Diagnostics diag(comp.sources);
    const nlohmann::ordered_json diagrams = parseSources(comp.sources, comp.unit, diag);
    const Schedule schedule = lowerConfiguration(comp.unit, diag, cl.options.periodMicroseconds);
    lowerCharts(comp.unit, diag, schedule.periodMicroseconds, schedule.programPeriods);
    Declarations declarations(comp.unit, diag);
    Options options = cl.options;
    if (schedule.present) {
        options.periodMicroseconds = schedule.periodMicroseconds;
        options.program = schedule.program;
    }
    out = generate(declarations, options, diag);
    if (diag.errors() == 0 && out.program) {
        programName = out.program->raw;
        description = symbolDescription(declarations, out, comp.sources, options.taskname.empty() ? programName : options.taskname,
                                        options.revision, diagrams);
    }
    std::cerr << diag.text();
    if (diag.errors() > 0) return 1;
    if (cl.werror && diag.warnings() > 0) {
        std::cerr << "qvc: warnings treated as errors (--werror)\n";
        return 1;
    }
    return 0;
}

int build(CommandLine& cl, bool emitOnly) {
    Compilation comp;
    Generated generated;
    std::string description, name;
    // The task name is the executable's file name; known once the program is.
    if (!cl.output.empty() && !emitOnly) cl.options.taskname = fs::path(cl.output).filename().string();
    if (int status = translate(cl, comp, generated, description, name)) return status;
    if (emitOnly) {
        std::error_code ec;
        fs::create_directories(cl.output, ec);
        const std::string c = (fs::path(cl.output) / (name + ".c")).string();
        const std::string j = (fs::path(cl.output) / (name + ".symbols.json")).string();
        if (!writeFile(c, generated.c) || !writeFile(j, description)) {
            std::cerr << "qvc: cannot write into " << cl.output << "\n";
            return 1;
        }
        return 0;
    }
    Runtime runtime;
    std::string problem;
    if (!findRuntime(cl.options.revision, runtime, problem)) {
        std::cerr << "qvc: " << problem << "\n";
        return 1;
    }
    const std::string output = cl.output.empty() ? name : cl.output;
    std::error_code ec;
    fs::path work;
    bool temporary = false;
    if (!cl.keepSources.empty()) {
        work = cl.keepSources;
        fs::create_directories(work, ec);
    } else {
        std::string pattern = (fs::temp_directory_path(ec) / "qvc-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::cerr << "qvc: cannot make a temporary folder\n";
            return 1;
        }
        work = pattern;
        temporary = true;
    }
    const std::string c = (work / (name + ".c")).string();
    const std::string o = (work / (name + ".o")).string();
    int status = 0;
    if (!writeFile(c, generated.c)) {
        std::cerr << "qvc: cannot write " << c << "\n";
        status = 1;
    }
    const std::string r = std::to_string(cl.options.revision);
    std::vector<std::string> compile = {environmentOr("QVC_CC", "cc"), "-std=c11", "-O2", "-Wall", "-Wextra",
                                        "-DQV_REVISION=" + r, "-I" + runtime.include, "-c", c, "-o", o};
    std::vector<std::string> link = {environmentOr("QVC_CXX", "c++"), o, runtime.lib + "/libqv_main_r" + r + ".a",
                                     runtime.lib + "/libqv_runtime_r" + r + ".a", "-lm", "-o", output};
    compile.insert(compile.begin() + 1, runtime.flags.begin(), runtime.flags.end());
    link.insert(link.begin() + 1, runtime.flags.begin(), runtime.flags.end());
    if (status == 0 && run(compile) != 0) {
        std::cerr << "qvc: the C compiler failed on the generated code (" << c << ")\n";
        status = 1;
    }
    if (status == 0 && run(link) != 0) {
        std::cerr << "qvc: linking " << output << " failed\n";
        status = 1;
    }
    if (status == 0 && !writeFile(output + ".symbols.json", description)) {
        std::cerr << "qvc: cannot write " << output << ".symbols.json\n";
        status = 1;
    }
    if (temporary) fs::remove_all(work, ec);
    return status;
}

}  // namespace

int runCommand(const std::vector<std::string>& a) {
    if (a.empty()) return usage("no command");
    CommandLine cl;
    cl.command = a[0];
    if (cl.command == "--help" || cl.command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (cl.command != "build" && cl.command != "check" && cl.command != "emit") return usage("unknown command " + cl.command);
    for (std::size_t k = 1; k < a.size(); ++k) {
        const std::string& arg = a[k];
        auto value = [&](std::string& into) {
            if (k + 1 >= a.size()) return false;
            into = a[++k];
            return true;
        };
        std::string v;
        if (arg == "-o") {
            if (!value(cl.output)) return usage("-o needs a name");
        } else if (arg == "--revision") {
            if (!value(v) || (v != "1" && v != "2" && v != "3")) return usage("--revision takes 1, 2 or 3");
            cl.options.revision = v[0] - '0';
        } else if (arg == "--program") {
            if (!value(cl.options.program)) return usage("--program needs a name");
        } else if (arg == "--period") {
            if (!value(v) || !parsePeriod(v, cl.options.periodMicroseconds)) return usage("--period takes a duration such as 50ms");
        } else if (arg == "--keep-sources") {
            if (!value(cl.keepSources)) return usage("--keep-sources needs a folder");
        } else if (arg == "--werror") {
            cl.werror = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage("unknown option " + arg);
        } else {
            cl.files.push_back(arg);
        }
    }
    if (cl.files.empty()) return usage("no source files");
    if (cl.command == "emit" && cl.output.empty()) return usage("emit needs -o DIR");
    if (cl.command == "check") {
        cl.options.checkOnly = true;
        Compilation comp;
        Generated g;
        std::string description, name;
        return translate(cl, comp, g, description, name);
    }
    return build(cl, cl.command == "emit");
}

int checkText(const std::string& text) {
    std::vector<Source> sources(1);
    sources[0].name = "fuzz.st";
    sources[0].path = "/fuzz.st";
    sources[0].text = text;
    Diagnostics diag(sources);
    Unit unit;
    const nlohmann::ordered_json diagrams = parseSources(sources, unit, diag);
    const Schedule schedule = lowerConfiguration(unit, diag, Options{}.periodMicroseconds);
    lowerCharts(unit, diag, schedule.periodMicroseconds, schedule.programPeriods);
    Declarations declarations(unit, diag);
    Options options;
    if (schedule.present) {
        options.periodMicroseconds = schedule.periodMicroseconds;
        options.program = schedule.program;
    }
    Generated g = generate(declarations, options, diag);
    if (diag.errors() == 0 && g.program) symbolDescription(declarations, g, sources, "fuzz", 3, diagrams);
    return diag.errors();
}

}  // namespace qvc
