// The command: qvc build | check | emit. Reads the sources, runs the stages, and for
// `build` calls the system compiler with the runtime's headers and libraries, found
// relative to qvc's own executable (a build tree's bin/ or an install's bin/).
#pragma once

#include <string>
#include <vector>

namespace qvc {

// Runs the command line; returns the exit status (0, 1 errors in the sources, 2 a
// command-line mistake). Messages go to standard error.
int runCommand(const std::vector<std::string>& arguments);

// The front end and the generator on sources given as text, for the fuzz target: no files
// are read or written. Returns the number of errors.
int checkText(const std::string& text);

}  // namespace qvc
