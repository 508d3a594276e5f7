// qvc: Structured Text to a simulation program of this runtime.
#include <string>
#include <vector>

#include "compiler/driver.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return qvc::runCommand(arguments);
}
