// qvctl serve: the operator panel in a browser.
//
// What the server answers:
//   GET  /                 the page; GET /assets/NAME its compiled-in files, nothing else
//   GET  /api/program      what the description says of a compiled program's source: its
//                          files by number, locations, instances, charts and diagrams
//   GET  /api/source?index=N  the text of source file N of the description (read only,
//                          at most 8 MiB; nothing else of the file system is ever read)
//   GET  /api/events       server-sent events, at most 40 a second, each only what changed:
//                          "session" (program, image, revision, variables, objects) when a
//                          program is new on the image, else null with "error"; "state"
//                          (status, cycle, period, statistics, lists, reason, plant, and
//                          while paused the place: location, instance, line, call stack);
//                          "values" {variable index: [text, flags]}; "objects" {object
//                          index: [status, 16 matrix reals]}; "ms" the server's clock
//   POST /api/ACTION       a write, its fields form-encoded: run, stop, step (count), end,
//                          period (ms), set and force (name, value), unforce (name), trace
//                          and break (name, on), traceon (on), location (location,
//                          instance, on), plant (on), and for compiled programs statement,
//                          stepover, tocycleend. Answer {"ok", "message"}.
// Every write carries the header X-QV-Token (any value on 127.0.0.1, which a page of
// another site cannot send, and the printed token when the server listens elsewhere);
// --read-only refuses them all.
#pragma once

#include <string>

#include "supervisor/core/target.h"

namespace qv::serve {

// What the command line hands the server.
struct ServeOptions {
    ctl::TargetRequest target;
    std::string symbolsFile;  // a description for a program without one beside it
    std::string listen = "127.0.0.1";
    int port = 8080;
    bool readOnly = false;
    bool servePlant = false;      // play the plant from the start
    double travelSeconds = 1.0;   // the plant's cylinders
    double vacuumSeconds = 0.3;
    int timeoutMs = 5000;         // waits for the program
};

// Serves until the process is stopped; returns only when the port cannot be had (1).
int serveCommand(const ServeOptions& options);

}  // namespace qv::serve
