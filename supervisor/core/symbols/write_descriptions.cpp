// Writes the symbol description of every built-in program into a folder, from the same
// tables that qvctl and the models' binding tests use: "<folder>/<program>.symbols.json".
#include <cstdio>

#include "supervisor/core/symbols/description.h"
#include "supervisor/core/symbols/recognition.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv_symbol_descriptions FOLDER\n");
        return 2;
    }
    using namespace qv::symbols;
    for (const ProgramSymbols* table : programs()) {
        const ProgramFacts* facts = findFacts(table->program);
        if (facts == nullptr) {
            std::fprintf(stderr, "qv_symbol_descriptions: no facts for %s\n", table->program);
            return 1;
        }
        const std::string path = std::string(argv[1]) + "/" + table->program + kDescriptionSuffix;
        std::string error;
        if (!writeDescriptionFile(path, writeDescription(builtInSymbolSet(*table, facts->revision)), error)) {
            std::fprintf(stderr, "qv_symbol_descriptions: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
