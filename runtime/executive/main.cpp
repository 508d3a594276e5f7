// The program's entry point, in a library of its own so that tests and tools can link
// the runtime without it.
#include "runtime/executive/executive.h"

int main(int argc, char** argv) { return qv::runProgram(argc, argv); }
