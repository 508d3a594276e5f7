// Modbus map files (CSV and JSON) as qvctl modbus reads them: any text is a map or a
// message with a place, never a crash; a map that is read prints as CSV and as JSON that
// read back to the same entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "supervisor/modbus/map.h"

namespace {

using qv::modbus::MapEntry;

bool same(const std::vector<MapEntry>& a, const std::vector<MapEntry>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (a[k].name != b[k].name || a[k].table != b[k].table || a[k].address != b[k].address ||
            a[k].type != b[k].type || a[k].words != b[k].words || a[k].wordOrder != b[k].wordOrder ||
            a[k].writable != b[k].writable)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::optional<qv::modbus::MapFile> map = qv::modbus::parseMapText(text, "fuzz.csv", error);
    if (!map) {
        if (error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    for (const std::string& written : {qv::modbus::writeMapCsv(map->entries), qv::modbus::writeMapJson(map->entries)}) {
        std::string again;
        std::optional<qv::modbus::MapFile> back = qv::modbus::parseMapText(written, "written", again);
        if (!back || !same(map->entries, back->entries)) std::abort();
    }
    qv::modbus::locatedPlace(text.substr(0, 16));
    return 0;
}
