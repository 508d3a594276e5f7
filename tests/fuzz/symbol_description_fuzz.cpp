// Feeds arbitrary text to the symbol description reader, as a description file from
// anywhere would reach qvctl, the panel or the plant. Besides crashes it checks that a
// description read is written back as a text that reads as the same description.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "supervisor/core/symbols/description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace qv::symbols;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::optional<SymbolSet> set = parseDescription(text, error);
    if (!set) {
        if (error.empty()) std::abort();
        return 0;
    }
    for (const SymbolSet::Variable& v : set->variables()) (void)findSymbol(set->table(), v.name);
    const std::string written = writeDescription(*set);
    std::optional<SymbolSet> again = parseDescription(written, error);
    if (!again || writeDescription(*again) != written) {
        std::fprintf(stderr, "written as\n%s\nwhich reads back %s\n", written.c_str(),
                     again ? "differently" : error.c_str());
        std::abort();
    }
    return 0;
}
