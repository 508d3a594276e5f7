// The writes that the panel asks for, made through the same operations as qvctl's
// commands and checked as its command line checks them.
#pragma once

#include <map>
#include <string>

#include "supervisor/qvctl/serve_session.h"

namespace qv::serve {

struct ActionResult {
    int httpStatus;       // 200 done, 400 a bad request, 409 refused by the program's state
    std::string message;  // what the page shows
};

using Params = std::multimap<std::string, std::string>;

// `action`: run, stop, step, end, period, set, force, unforce, trace, traceon, break,
// location. `lastWritten` receives the status written, for telling why the program stopped.
ActionResult act(const Session& session, const std::string& action, const Params& params, int timeoutMs,
                 int32_t& lastWritten);

}  // namespace qv::serve
