#include "compiler/symbols.h"

#include <map>

#include <nlohmann/json.hpp>
#include <set>

#include "compiler/lexer.h"
#include "compiler/sfc.h"

namespace qvc {

namespace {

using nlohmann::ordered_json;

struct Walker {
    const std::vector<Source>& sources;
    Counts first;
    ordered_json variables = ordered_json::array();
    ordered_json instances = ordered_json::array();
    std::set<const Type*> enums;
    int64_t nextInstance = 1;

    const char* areaName(const Type& t) {
        if (t.kind == Kind::Bool) return "bool";
        if (t.kind == Kind::Real) return "real";
        if (t.kind == Kind::String) return "char";
        return "int";
    }

    // Every elementary slot group under `path`, at `offset` from the area starts.
    void walk(const std::string& path, const Type& t, const Counts& offset, const std::string& direction,
              const std::string& comment, const std::string& address) {
        if (t.isElementary() || t.kind == Kind::Enum) {
            ordered_json v;
            v["name"] = path;
            v["type"] = descriptionType(t);
            if (t.kind == Kind::Enum) {
                v["enum"] = t.name;
                enums.insert(&t);
            }
            if (t.kind == Kind::String) v["length"] = t.length;
            const int area = t.kind == Kind::Bool ? kBool : t.kind == Kind::Real ? kReal : t.kind == Kind::String ? kChar : kInt;
            v["area"] = areaName(t);
            v["slot"] = first.n[area] + offset.n[area];
            v["direction"] = direction;
            v["comment"] = comment;
            if (!address.empty()) v["address"] = address;
            variables.push_back(v);
            return;
        }
        if (t.kind == Kind::Array) {
            const int64_t count = t.elementCount();
            for (int64_t k = 0; k < count; ++k) {
                // The IEC subscripts of element k, row-major.
                std::string index;
                int64_t rest = k;
                std::vector<int64_t> subs(t.dims.size());
                for (std::size_t d = t.dims.size(); d-- > 0;) {
                    const int64_t extent = static_cast<int64_t>(t.dims[d].second) - t.dims[d].first + 1;
                    subs[d] = t.dims[d].first + rest % extent;
                    rest /= extent;
                }
                for (std::size_t d = 0; d < subs.size(); ++d) index += (d ? "," : "") + std::to_string(subs[d]);
                Counts at = offset;
                at += t.element->size.times(k);
                walk(path + "[" + index + "]", *t.element, at, direction, comment, "");
            }
            return;
        }
        if (t.kind == Kind::UserBlock) {
            instances.push_back({{"number", nextInstance++}, {"path", path}, {"type", t.name}});
        }
        for (const Variable& m : t.members) {
            if (m.byReference || m.section == Section::External) continue;
            Counts at = offset;
            at += m.offset;
            // A located variable is the machine's input or output wherever it is declared
            // (in a program run by a task, in a block): its address goes with it.
            std::string memberDirection = direction;
            if (m.address.rfind("%I", 0) == 0) memberDirection = "input";
            if (m.address.rfind("%Q", 0) == 0) memberDirection = "output";
            walk(path + "." + m.raw, *m.type, at, memberDirection, commentOf(m), m.address);
        }
    }

    std::string commentOf(const Variable& v) {
        if (v.at.file < 0 || v.at.file >= static_cast<int>(sources.size()) || v.at.line < 1) return "";
        const Source& source = sources[static_cast<std::size_t>(v.at.file)];
        if (!source.lines.empty()) {  // a project's documentation, by the line of its variable
            const auto found = source.comments.find(v.at.line);
            return found == source.comments.end() ? "" : found->second;
        }
        return lineComment(source.text, v.at.line);
    }
};

// The blocks and rungs of the drawings as names of the locations they compiled to, so
// that a breakpoint can be set on "Counter@block:7" or "Counter@rung:3": an entry more for
// the location, with its element's name. A rung stands at its first statement.
void addElementLocations(const ordered_json& diagrams, ordered_json& locations) {
    std::map<int64_t, ordered_json> byLocation;
    for (const auto& l : locations) byLocation.emplace(l["location"].get<int64_t>(), l);
    const auto number = [](const ordered_json& e, const char* key) {
        return e.contains(key) && e[key].is_number_integer() ? e[key].get<int64_t>() : int64_t{0};
    };
    for (const auto& d : diagrams) {
        const std::string pou = d.value("pou", "");
        std::map<int64_t, int64_t> rungStarts;  // rung -> its first location
        for (const auto& e : d.value("elements", ordered_json::array())) {
            const int64_t location = number(e, "location");
            const auto found = byLocation.find(location);
            if (found == byLocation.end()) continue;
            if (e.value("kind", "") == "block" && number(e, "id") > 0) {
                ordered_json named = found->second;
                named["element"] = pou + "@block:" + std::to_string(number(e, "id"));
                locations.push_back(std::move(named));
            }
            if (const int64_t rung = number(e, "rung"); rung > 0) {
                auto [at, fresh] = rungStarts.emplace(rung, location);
                if (!fresh && location < at->second) at->second = location;
            }
        }
        for (const auto& [rung, location] : rungStarts) {
            ordered_json named = byLocation[location];
            named["element"] = pou + "@rung:" + std::to_string(rung);
            locations.push_back(std::move(named));
        }
    }
}

}  // namespace

std::string symbolDescription(const Declarations& d, const Generated& g, const std::vector<Source>& sources,
                              const std::string& programName, int revision, const nlohmann::ordered_json& diagrams) {
    Walker w{sources, firstModelSlots(revision), ordered_json::array(), ordered_json::array(), {}, 1};
    const Pou& p = *g.program;
    w.instances.push_back({{"number", w.nextInstance++}, {"path", p.raw}, {"type", p.raw}});
    for (const Variable& v : p.vars) {
        if (v.byReference || v.section == Section::External || v.global) continue;
        std::string direction = "internal";
        if (v.section == Section::Input || v.address.rfind("%I", 0) == 0) direction = "input";
        if (v.section == Section::Output || v.address.rfind("%Q", 0) == 0) direction = "output";
        w.walk(p.raw + "." + v.raw, *v.type, v.offset, direction, w.commentOf(v), v.address);
    }
    for (const Variable& v : d.globals()) {
        Counts at = p.size;
        at += v.offset;
        std::string direction = v.address.rfind("%I", 0) == 0 ? "input" : v.address.rfind("%Q", 0) == 0 ? "output" : "internal";
        w.walk(p.raw + "." + v.raw, *v.type, at, direction, w.commentOf(v), v.address);
    }
    ordered_json enums = ordered_json::array();
    for (const Type* e : d.enums()) {
        if (!w.enums.count(e)) continue;
        ordered_json values = ordered_json::array();
        for (std::size_t k = 0; k < e->values.size(); ++k) values.push_back({{"name", e->valueRaws[k]}, {"value", e->values[k].second}});
        enums.push_back({{"name", e->name}, {"values", values}});
    }
    ordered_json files = ordered_json::array();
    for (const Source& s : sources) files.push_back({{"file", s.name.substr(s.name.find_last_of('/') + 1)}, {"path", s.path}});
    ordered_json locations = ordered_json::array();
    for (const LocationEntry& l : g.locations) {
        const std::string& name = sources[static_cast<std::size_t>(l.file)].name;
        locations.push_back({{"location", l.location}, {"file", name.substr(name.find_last_of('/') + 1)}, {"line", l.line},
                             {"column", l.column}, {"endColumn", l.endColumn}});
    }
    addElementLocations(diagrams, locations);
    ordered_json j;
    j["format"] = "qv-symbols";
    j["version"] = 2;
    j["program"] = programName;
    j["revision"] = revision;
    j["variables"] = w.variables;
    j["enums"] = enums;
    j["sources"] = files;
    j["locations"] = locations;
    j["instances"] = w.instances;
    ordered_json charts = ordered_json::array();
    for (const auto& pou : d.pous())
        if (pou->decl)
            for (auto& c : describeCharts(*pou->decl, sources)) charts.push_back(std::move(c));
    j["charts"] = charts;
    if (!diagrams.empty()) j["diagrams"] = diagrams;
    j["objects"] = ordered_json::array();
    // A comment or a source written in Latin-1 is not UTF-8: its odd bytes become U+FFFD.
    return j.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace qvc
