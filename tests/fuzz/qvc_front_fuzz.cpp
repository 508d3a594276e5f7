// qvc's front end and generator on any text: lexer, parser, declarations, type checks,
// code and symbol description generation. No input may crash them or make them loop.
#include <cstddef>
#include <cstdint>
#include <string>

#include "compiler/driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 20000) return 0;  // a long input only repeats what a short one reaches
    qvc::checkText(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
