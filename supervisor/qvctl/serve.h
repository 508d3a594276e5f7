// qvctl serve: the operator panel in a browser.
//
// What the server answers:
//   GET  /                 the page; GET /assets/NAME its compiled-in files, nothing else
//   GET  /api/events       server-sent events, at most 40 a second, each only what changed:
//                          "session" (program, image, revision, variables, objects) when a
//                          program is new on the image, else null with "error"; "state"
//                          (status, cycle, period, statistics, lists, reason, plant);
//                          "values" {variable index: [text, flags]}; "objects" {object
//                          index: [status, 16 matrix reals]}; "ms" the server's clock
//   POST /api/ACTION       a write, its fields form-encoded: run, stop, step (count), end,
//                          period (ms), set and force (name, value), unforce (name), trace
//                          and break (name, on), traceon (on), location (location,
//                          instance, on), plant (on). Answer {"ok", "message"}.
// Every write carries the header X-QV-Token (any value on 127.0.0.1, which a page of
// another site cannot send, and the printed token when the server listens elsewhere);
// --read-only refuses them all.
#pragma once

#include "supervisor/qvctl/commands.h"

namespace qv::serve {

int serveCommand(const ctl::Options& options);

}  // namespace qv::serve
