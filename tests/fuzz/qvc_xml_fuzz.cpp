// qvc on PLCopen XML projects: the XML reader, the translators of ST, FBD, LD and SFC
// bodies, then the whole front end and generator on what they wrote. No file, however
// malformed, may crash them or make them loop.
#include <cstddef>
#include <cstdint>
#include <string>

#include "compiler/driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 60000) return 0;  // a long input only repeats what a short one reaches
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('<') == std::string::npos) return 0;  // Structured Text: the other target's
    qvc::checkText(text);
    return 0;
}
