// The writes that the panel asks for, made through the same operations as qvctl's
// commands and checked as its command line checks them.
#pragma once

#include <atomic>
#include <map>
#include <string>

#include "supervisor/web/serve_session.h"

namespace qv::serve {

struct ActionResult {
    int httpStatus;       // 200 done, 400 a bad request, 409 refused by the program's state
    std::string message;  // what the page shows
};

using Params = std::multimap<std::string, std::string>;

// What the writes of all pages share: the status written last, for telling why the
// program stopped, and a count of status writes, which ends a run of steps early.
struct WriteState {
    int timeoutMs;
    std::atomic<int32_t> lastWritten{-1};
    std::atomic<uint32_t> statusWrites{0};
};

// `action`: run, stop, step, end, period, set, force, unforce, trace, traceon, break,
// location; for compiled programs statement (to the next statement), stepover (over a
// function-block call) and tocycleend (the rest of the cycle).
ActionResult act(const Session& session, const std::string& action, const Params& params, WriteState& writes);

}  // namespace qv::serve
