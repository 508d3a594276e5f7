// The lookup chain of a program's names.
#include "supervisor/core/symbols/lookup.h"

#include "supervisor/core/symbols/recognition.h"

namespace qv::symbols {

namespace {

// Every variable and object slot of the set lies inside the image's areas.
bool fitsImage(const SymbolSet& set, const ImageView& view, std::string& error) {
    for (const SymbolSet::Variable& v : set.variables()) {
        const int64_t last = int64_t{v.slot} + slotCount(v.type) + v.length - 1;
        if (last > INT32_MAX) {
            error = "variable " + v.name + " lies outside the image";
            return false;
        }
        if (view.slot(v.area, v.slot) == nullptr || view.slot(v.area, static_cast<int32_t>(last)) == nullptr) {
            error = "variable " + v.name + " lies outside the image";
            return false;
        }
    }
    for (const SceneObject& o : set.objects()) {
        if (view.intSlot(o.statusSlot) == nullptr || view.realSlot(o.matrixSlot) == nullptr ||
            view.realSlot(o.matrixSlot + 15) == nullptr) {
            error = "object " + o.name + " lies outside the image";
            return false;
        }
    }
    return true;
}

std::optional<FoundSymbols> readFitting(const std::string& path, SymbolSource source, const ImageView& view,
                                        std::string& error) {
    std::optional<SymbolSet> set = readDescriptionFile(path, error);
    if (!set) return std::nullopt;
    if (!fitsImage(*set, view, error)) {
        error = path + " does not describe this image: " + error;
        return std::nullopt;
    }
    return FoundSymbols{std::make_shared<const SymbolSet>(std::move(*set)), source, path};
}

}  // namespace

std::string descriptionBeside(const std::string& executable) { return executable + kDescriptionSuffix; }

std::optional<FoundSymbols> findSymbols(const ImageView& view, const std::string& symbolsFile, std::string& error) {
    error.clear();
    int32_t counts[kAreaCount];
    for (int area = 0; area < kAreaCount; ++area) counts[area] = view.count(area);
    const int32_t* signature = view.signature();
    if (const ProgramFacts* facts =
            recogniseProgram(view.revision(), counts, signature == nullptr ? 0 : ImageView::read(signature))) {
        if (const ProgramSymbols* table = findProgram(facts->program))
            return FoundSymbols{std::make_shared<const SymbolSet>(builtInSymbolSet(*table, facts->revision)),
                                SymbolSource::BuiltIn, ""};
    }
    // A description beside the program that cannot serve gives way to the file named, if any.
    std::string besideError;
    const int32_t* pid = view.pospid();
    const int32_t p = pid == nullptr ? 0 : ImageView::read(pid);
    if (p > 0 && platform::processAlive(p)) {
        if (std::optional<std::string> exe = platform::executablePath(p)) {
            const std::string beside = descriptionBeside(*exe);
            if (platform::fileExists(beside)) {
                if (auto found = readFitting(beside, SymbolSource::BesideProgram, view, besideError)) return found;
            }
        }
    }
    if (!symbolsFile.empty()) return readFitting(symbolsFile, SymbolSource::File, view, error);
    error = besideError.empty() ? "no symbol description for this image" : besideError;
    return std::nullopt;
}

}  // namespace qv::symbols
