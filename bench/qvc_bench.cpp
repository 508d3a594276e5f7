// qvc on a Structured Text program of 2,000 lines generated here for the purpose (function
// blocks with timers, enumerations, structures, arrays, every loop, a function, and a
// program calling one instance of each): its translation to C in the process and as the
// command, and apart from it the system compiler on the C it wrote.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "compiler/driver.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTargetLines = 2000;

// One function block of about 45 lines and its helper function.
std::string unit(int i) {
    const std::string n = std::to_string(i);
    std::ostringstream s;
    s << "FUNCTION Scale" << n << " : DINT\nVAR_INPUT\n    x : DINT;\nEND_VAR\n"
      << "    Scale" << n << " := x * 3 / 2 + " << n << ";\nEND_FUNCTION\n\n"
      << "FUNCTION_BLOCK Unit" << n << "\nVAR_INPUT\n    Run : BOOL;\n    Setpoint : DINT;\nEND_VAR\n"
      << "VAR_OUTPUT\n    Out : DINT;\n    Done : BOOL;\nEND_VAR\n"
      << "VAR\n    Timer : TON;\n    State : Mode;\n    History : ARRAY[1..8] OF DINT;\n    k : INT;\n"
      << "    Total : DINT;\n    S : Sample;\nEND_VAR\n"
      << "    Timer(IN := Run, PT := T#500ms);\n"
      << "    IF NOT Run THEN\n        State := Off;\n    ELSIF Timer.Q THEN\n        State := Auto;\n"
      << "    ELSE\n        State := Manual;\n    END_IF;\n"
      << "    CASE State OF\n        Off: Out := 0;\n        Manual: Out := Setpoint / 2;\n"
      << "        Auto: Out := Scale" << n << "(Setpoint);\n    END_CASE;\n"
      << "    FOR k := 8 TO 2 BY -1 DO\n        History[k] := History[k - 1];\n    END_FOR;\n"
      << "    History[1] := Out;\n    Total := 0;\n"
      << "    FOR k := 1 TO 8 DO\n        Total := Total + History[k];\n    END_FOR;\n"
      << "    S.Value := Total / 8;\n    S.Ok := S.Value > 0;\n    Done := S.Ok AND Timer.Q;\n"
      << "    k := 0;\n    WHILE k < 3 AND Total > 1000 DO\n        Total := Total - 1000;\n        k := k + 1;\n    END_WHILE;\n"
      << "    REPEAT\n        k := k + 1;\n    UNTIL k >= 5\n    END_REPEAT;\nEND_FUNCTION_BLOCK\n\n";
    return s.str();
}

int lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// Units until the whole program, with its PROGRAM, reaches kTargetLines.
std::string generatedProgram() {
    std::string head = "TYPE\n    Mode : (Off, Manual, Auto);\n    Sample : STRUCT\n        Value : DINT;\n        Ok : BOOL;\n"
                       "    END_STRUCT;\nEND_TYPE\n\n";
    std::string units;
    int count = 0;
    while (lines(head) + lines(units) + 10 + 4 * count < kTargetLines) units += unit(count++);
    std::ostringstream p;
    p << "PROGRAM Plant\nVAR_INPUT\n    Start : BOOL;\n    Setpoint : DINT := 100;\nEND_VAR\nVAR\n";
    for (int i = 0; i < count; ++i) p << "    U" << i << " : Unit" << i << ";\n";
    p << "    Sum : DINT;\n    Ready : INT;\nEND_VAR\n    Sum := 0;\n    Ready := 0;\n";
    for (int i = 0; i < count; ++i)
        p << "    U" << i << "(Run := Start, Setpoint := Setpoint + " << i << ");\n    Sum := Sum + U" << i << ".Out;\n"
          << "    IF U" << i << ".Done THEN Ready := Ready + 1; END_IF;\n";
    p << "END_PROGRAM\n";
    return head + units + p.str();
}

// The source, written once into a folder of the benchmark's own.
struct Workspace {
    fs::path folder;
    fs::path source;
    int sourceLines = 0;
    Workspace() {
        folder = fs::temp_directory_path() / ("qvc_bench_" + std::to_string(getpid()));
        fs::create_directories(folder);
        source = folder / "plant.st";
        const std::string text = generatedProgram();
        sourceLines = lines(text);
        std::ofstream(source) << text;
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

// qvc's stages in this process: read, parse, check, generate the C and the description,
// write both.
void BM_QvcEmit2000Lines(benchmark::State& state) {
    Workspace& w = workspace();
    const std::string out = (w.folder / "emitted").string();
    for (auto _ : state) {
        if (qvc::runCommand({"emit", w.source.string(), "-o", out}) != 0) {
            state.SkipWithError("qvc emit failed");
            break;
        }
    }
    state.counters["lines"] = w.sourceLines;
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(w.sourceLines), benchmark::Counter::kIsIterationInvariantRate);
}

// The qvc command as a build runs it: a process of its own (wall-clock time).
void BM_QvcCommand2000Lines(benchmark::State& state) {
    Workspace& w = workspace();
    const std::string command = std::string(QV_BUILD_BIN_DIR) + "/qvc emit " + w.source.string() + " -o " + (w.folder / "command").string();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("qvc emit failed");
            break;
        }
    }
}

// The system compiler on the C qvc wrote, with the flags qvc build gives it (wall-clock
// time: it is another process).
void BM_SystemCompilerOnEmittedC(benchmark::State& state) {
    Workspace& w = workspace();
    const fs::path emitted = w.folder / "compiled";
    if (qvc::runCommand({"emit", w.source.string(), "-o", emitted.string()}) != 0) {
        state.SkipWithError("qvc emit failed");
        return;
    }
    const char* cc = std::getenv("QVC_CC");
    const std::string command = std::string(cc && *cc ? cc : "cc") + " -std=c11 -O2 -Wall -Wextra -DQV_REVISION=3 -I" + QV_SOURCE_DIR +
                                " -c " + (emitted / "Plant.c").string() + " -o " + (emitted / "Plant.o").string();
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the system compiler failed on the emitted C");
            break;
        }
    }
}

BENCHMARK(BM_QvcEmit2000Lines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QvcCommand2000Lines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SystemCompilerOnEmittedC)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
