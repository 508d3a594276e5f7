// Finding a program's table and a symbol in it.
#include "supervisor/core/symbols/symbols.h"

namespace qv::symbols {
namespace {
const ProgramSymbols* const kPrograms[] = {&kBistableCylinderSymbols, &kPickPlaceUnitSymbols, &kSuctionCupSymbols,
                                           &kManipulateurSymbols};
}

std::span<const ProgramSymbols* const> programs() { return kPrograms; }

const ProgramSymbols* findProgram(std::string_view program) {
    for (const ProgramSymbols* table : kPrograms)
        if (program == table->program) return table;
    return nullptr;
}

const Symbol* findSymbol(const ProgramSymbols& table, std::string_view name) {
    if (table.index != nullptr) {
        const auto found = table.index->find(name);
        return found == table.index->end() ? nullptr : &table.symbols[found->second];
    }
    for (const Symbol& symbol : table.symbols)
        if (name == symbol.name) return &symbol;
    return nullptr;
}

}  // namespace qv::symbols
