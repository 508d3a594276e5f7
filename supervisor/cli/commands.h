// qvctl's commands. Each returns the exit status: 0 done, 1 refused or failed (the
// message is on standard error), 2 a command line that qvctl does not understand.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "supervisor/core/target.h"

namespace qv::ctl {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Options {
    TargetRequest target;
    std::optional<int32_t> cycles;  // watch, plant: stop after this many program cycles
    double travelSeconds = 1.0;     // plant, demo
    double vacuumSeconds = 0.3;
    std::optional<double> periodMs;  // demo: the program's cycle period
    std::string program;             // demo: the program to run
    int timeoutMs = 5000;            // waits for the program
    bool quiet = false;              // no confirmation of a write
    bool help = false;               // --help: the help of the command, or the list
    bool version = false;
    bool values = false;             // vars: with the current values
    bool longForm = false;           // vars: with the description's comments and operator inputs
    std::string exportFormat;        // trace export: "vcd" or "csv"
    std::string output;              // trace export, plot: the file to write ("" standard output)
    bool force = false;              // trace export, plot: overwrite an existing file
    bool raw = false;                // set, force: write control words unchecked
    std::string symbolsFile;         // --symbols: a description for a program without one beside it
    int port = 8080;                 // serve
    std::string listen = "127.0.0.1";
    bool readOnly = false;
    bool servePlant = false;
    std::string self;                // qvctl's own path (argv[0])
    std::vector<std::string> words;  // the command and its arguments
};

int runCommand(const Options& options);

// Prints a refusal on standard error; returns kExitFailed.
int fail(const std::string& message);
int usage(const std::string& message);

// The commands that live in files of their own.
int plantCommand(const Options& options, Target& target);
int demoCommand(const Options& options);
int helpCommand(const Options& options);
int listCommand();
int varsCommand(const Options& options, const Target& target);
// The trace commands read a file; `target` is null when no image is open.
int traceShowCommand(const Options& options, const Target* target, const std::optional<std::string>& file);
int traceExportCommand(const Options& options, const Target* target, const std::optional<std::string>& file);
int plotCommand(const Options& options, const Target* target);

extern const char* const kUsage;

}  // namespace qv::ctl
