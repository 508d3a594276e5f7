// Reading a program's trace file, in the formats of every revision: revision 3 writes a
// time stamp on every line and records pauses, snapshots and the end; revisions 1 and 2
// write value changes only. The commands that show, export and plot a trace read it here
// and name its slots through the image or the program's symbol table.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "supervisor/core/target.h"

namespace qv::ctl {

enum class TraceEventKind {
    Value,    // a traced variable's old and new value
    Tracing,  // recording switched: old and new value of traceon
    Stop,     // the program took STOP ("pause 0:1")
    Resume,   // the program left STOP ("pause 1:0")
    End,      // the program ended
};

struct TraceEvent {
    TraceEventKind kind;
    int64_t cycle;
    int area = 0;  // Value: the slot's area and index
    int32_t slot = 0;
    double before = 0.0;  // old and new value (Value, Tracing)
    double after = 0.0;
};

struct TraceFile {
    std::string path;
    bool timeStamped = false;  // revision 3's format
    std::string started;       // the header's date and time
    double periodMs = 0.0;     // 0 when the file names no period
    std::vector<TraceEvent> events;
    int skippedLines = 0;      // lines that fit no format
};

// Reads the file; nothing, with the reason in `error`, when it cannot be read.
std::optional<TraceFile> readTraceFile(const std::string& path, std::string& error);

// Renumbers the file's lines by qvctl's cycle numbers (cycles.h): a change the model
// made carries the cycle that made it, a change of an input the cycle that first saw it.
// Revision 3 writes its lines so already. Revisions 1 and 2 record at the start of a
// cycle what changed since the last one, so the model's changes carry the next cycle's
// number there; revision 1 writes the outputs a model freezes itself when it makes them.
// `program` names the symbol table that tells inputs and outputs ("" unknown: every line
// is taken for the model's).
void numberByCycles(TraceFile& file, const std::string& program);

// The first cycle's number in the file's format (1 in revision 3, 0 before).
int64_t firstCycleOf(const TraceFile& file);

// The simulated time at the start of a cycle, in seconds (the period times the cycles
// before it); 0 when the file names no period.
double simulatedSeconds(const TraceFile& file, int64_t cycle);

// A traced variable's history: its value before the first recorded change and the value
// at the end of every cycle that changed it, in cycle order.
struct Signal {
    int area;
    int32_t slot;
    double initial;
    std::vector<std::pair<int64_t, double>> changes;
};

// Every traced variable of the file, in the order of their slots (booleans first).
std::vector<Signal> signalsOf(const TraceFile& file);

// The cycles before which the program stood in STOP (a pause between two cycles), and the
// cycle after which it stopped for good when the file ends in STOP.
std::vector<int64_t> pausesOf(const TraceFile& file);

// The first and last cycle numbers of the file's events.
std::pair<int64_t, int64_t> cycleRange(const TraceFile& file);

// Names of the slots of a trace and how their values read.
struct TraceNames {
    std::string program;  // "" when unknown
    std::function<std::string(int area, int32_t slot)> name;
    // The value as a person reads it: TRUE/FALSE, a number, a status name.
    std::function<std::string(int area, int32_t slot, double value)> value;
};

// From the image when it is open, else from the symbol table of the program whose name
// the file bears (bistable_cylinder.trc), else slot names (B5, I523).
TraceNames traceNames(const Target* target, const std::string& path);

// The trace file to read: FILE when given, else the file of the program running on the
// image: QV_TRACE_FILE from the program's environment if set, else the name the program
// derives from the path it was started with, taken from its working folder.
std::optional<std::string> traceFilePath(const std::optional<std::string>& file, const Target* target,
                                         std::string& error);

// A trace file read for a command, with the names of its slots and its events numbered
// by the cycle that made them.
struct NamedTrace {
    TraceFile trace;
    TraceNames names;
};

// FILE, else the running program's trace file (traceFilePath), read, named and numbered;
// or nothing with the reason.
std::optional<NamedTrace> loadTrace(const std::optional<std::string>& file, const Target* target,
                                    std::string& error);

// The trace file of the program running on the image, or nothing with the reason.
std::optional<std::string> programTraceFile(const Target& target, std::string& error);

}  // namespace qv::ctl
