// The files that qvctl writes at a user's request (trace exports, plots): a new regular
// file, or one the user asked to overwrite, never through a symbolic link and never the
// file being read.
#pragma once

#include <string>

namespace qv::ctl {

// Writes `text` to `path`. An existing file is refused unless `overwrite`; a final
// symbolic link, a folder, a FIFO or a device always (nothing is followed or waited on);
// so is `input` itself, under any name. False with one line in `error` when nothing or
// not all was written.
bool writeOutputFile(const std::string& path, const std::string& text, bool overwrite, const std::string& input,
                     std::string& error);

}  // namespace qv::ctl
