// qvctl serve: the operator panel in a browser.
#pragma once

#include "supervisor/qvctl/commands.h"

namespace qv::serve {

int serveCommand(const ctl::Options& options);

}  // namespace qv::serve
