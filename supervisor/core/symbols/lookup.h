// Finding the names of the program an image holds, for every supervisor face (qvctl's
// commands, its web panel): the recognised built-in table, else the description beside
// the running program's executable, else a description file the user names.
#pragma once

#include <memory>
#include <string>

#include "supervisor/core/image_view.h"
#include "supervisor/core/symbols/description.h"

namespace qv::symbols {

// Where a symbol set came from.
enum class SymbolSource : uint8_t { BuiltIn, BesideProgram, File };

struct FoundSymbols {
    std::shared_ptr<const SymbolSet> set;
    SymbolSource source = SymbolSource::BuiltIn;
    std::string path;  // the description file read (empty for a built-in table)
};

// The symbol set of the program in `view`, looked up in this order:
//  1. the built-in table of the program recognised from the image (layout, slot counts,
//     signature);
//  2. "<executable>.symbols.json" beside the executable of the process whose identifier
//     the image publishes (`pospid`), while that process runs;
//  3. `symbolsFile`, when it is not empty.
// A description must fit the image: every slot it names lies inside its area. Nothing,
// with `error` saying why, when no step gives a set (a description that exists but
// cannot be read or does not fit is reported, not skipped silently).
std::optional<FoundSymbols> findSymbols(const ImageView& view, const std::string& symbolsFile, std::string& error);

// The description path beside an executable.
std::string descriptionBeside(const std::string& executable);

}  // namespace qv::symbols
