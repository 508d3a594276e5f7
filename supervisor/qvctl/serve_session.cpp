// The session of qvctl serve: the program's variables and objects, and its snapshots.
#include "supervisor/qvctl/serve_session.h"

#include <filesystem>
#include <fstream>

#include "supervisor/qvctl/control.h"
#include "supervisor/qvctl/lists.h"
#include "supervisor/qvctl/values.h"

namespace qv::serve {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A field of a description as text: "" when it is missing or not a string, so that a
// description of the wrong shape never throws.
std::string text(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

// The symbol description written beside the program's executable, if any.
std::optional<json> readDescription(int32_t pid) {
    if (pid <= 0) return std::nullopt;
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (error) return std::nullopt;
    std::ifstream in(exe.string() + ".symbols.json");
    if (!in) return std::nullopt;
    json document = json::parse(in, nullptr, false);
    if (document.is_discarded() || !document.is_object() || text(document, "format") != "qv-symbols")
        return std::nullopt;
    return document;
}

std::optional<ctl::Kind> kindOf(const std::string& type) {
    if (type == "BOOL") return ctl::Kind::Bool;
    if (type == "DINT") return ctl::Kind::Int;
    if (type == "TIME") return ctl::Kind::Time;
    if (type == "REAL") return ctl::Kind::Real;
    if (type == "STRING") return ctl::Kind::Text;
    return std::nullopt;
}

// The area a type lives in: a description that says otherwise is not trusted.
int areaOf(ctl::Kind kind) {
    switch (kind) {
        case ctl::Kind::Bool: return kAreaBool;
        case ctl::Kind::Real: return kAreaReal;
        case ctl::Kind::Text: return kAreaChar;
        default: return kAreaInt;
    }
}

const char* roleOf(const std::string& direction) {
    if (direction == "input") return "input";
    if (direction == "output") return "output";
    return "internal";
}

bool inside(const ctl::Target& target, int area, int32_t first, int32_t count) {
    return target.view.slot(area, first) != nullptr && target.view.slot(area, first + count - 1) != nullptr;
}

int32_t slotsOf(ctl::Kind kind) { return kind == ctl::Kind::Time ? 4 : kind == ctl::Kind::Text ? 3 : 1; }

void readVariables(Session& session, const json& document) {
    const json& list = document.contains("variables") ? document["variables"] : json::array();
    if (!list.is_array()) return;
    for (const json& entry : list) {
        if (!entry.is_object() || !entry.contains("slot") || !entry["slot"].is_number_integer()) continue;
        const std::optional<ctl::Kind> kind = kindOf(text(entry, "type"));
        const int64_t slot = entry["slot"].get<int64_t>();
        if (!kind || slot < 0 || slot > INT32_MAX - 4) continue;
        ctl::Variable v{text(entry, "name"), static_cast<Area>(areaOf(*kind)), static_cast<int32_t>(slot),
                        *kind, roleOf(text(entry, "direction"))};
        if (!v.name.empty() && inside(session.target, v.area, v.slot, slotsOf(v.kind))) session.variables.push_back(v);
    }
}

void readObjects(Session& session, const json& document) {
    const json& list = document.contains("objects") ? document["objects"] : json::array();
    if (!list.is_array()) return;
    for (const json& entry : list) {
        if (!entry.is_object()) continue;
        auto number = [&](const char* key) -> int64_t {
            const json& n = entry.contains(key) ? entry[key] : json();
            return n.is_number_integer() ? n.get<int64_t>() : -1;
        };
        const int64_t matrix = number("matrixSlot"), status = number("statusSlot");
        if (matrix < 0 || status < 0 || matrix > INT32_MAX - 16 || status > INT32_MAX) continue;
        SceneObject o{text(entry, "name"), text(entry, "kind") == "product", static_cast<int32_t>(number("kindId")),
                      static_cast<int32_t>(number("index")), static_cast<int32_t>(matrix),
                      static_cast<int32_t>(status), text(entry, "colour")};
        if (inside(session.target, kAreaReal, o.matrixSlot, 16) && inside(session.target, kAreaInt, o.statusSlot, 1))
            session.objects.push_back(o);
    }
}

const char* kindText(ctl::Kind kind) { return ctl::kindName(kind); }

const char* areaWord(int area) {
    static constexpr const char* kWords[] = {"bool", "int", "real", "char"};
    return kWords[area & 3];
}

}  // namespace

std::shared_ptr<Session> openSession(const std::string& image, const std::string& model, uint64_t generation,
                                     std::string& error) {
    std::optional<ctl::Target> target = ctl::openTarget({image, model, 0}, error);
    if (!target) return nullptr;
    auto session = std::make_shared<Session>(Session{std::move(*target), generation, 0, "", {}, {}});
    session->pid = ctl::readState(session->target).pid;
    const std::optional<json> description = readDescription(session->pid);
    if (session->target.table != nullptr) {
        session->program = session->target.table->program;
        for (const symbols::Symbol& s : session->target.table->symbols) {
            std::string ignored;
            if (std::optional<ctl::Variable> v = ctl::resolveVariable(session->target, s.name, ignored))
                session->variables.push_back(*v);
        }
    } else if (description) {
        session->program = text(*description, "program");
        readVariables(*session, *description);
    } else if (session->target.facts != nullptr) {
        session->program = session->target.facts->program;
    }
    if (description) readObjects(*session, *description);
    return session;
}

const ctl::Variable* findVariable(const Session& session, const std::string& name) {
    for (const ctl::Variable& v : session.variables)
        if (v.name == name) return &v;
    return nullptr;
}

json describeSession(const Session& session) {
    json variables = json::array();
    for (const ctl::Variable& v : session.variables)
        variables.push_back({{"name", v.name}, {"type", kindText(v.kind)}, {"area", areaWord(v.area)},
                             {"slot", v.slot}, {"direction", v.role}});
    json objects = json::array();
    for (const SceneObject& o : session.objects)
        objects.push_back({{"name", o.name}, {"kind", o.product ? "product" : "actor"}, {"kindId", o.kindId},
                           {"index", o.index}, {"matrixSlot", o.matrixSlot}, {"statusSlot", o.statusSlot},
                           {"colour", o.colour}});
    return {{"generation", session.generation}, {"image", session.target.name}, {"program", session.program},
            {"revision", session.target.revision}, {"variables", variables}, {"objects", objects}};
}

Snapshot takeSnapshot(const Session& session) {
    const ctl::Target& t = session.target;
    Snapshot s;
    const ctl::ProgramState state = ctl::readState(t);
    auto real = [&](int32_t slot) {
        const float* r = t.view.realSlot(slot);
        const double value = r == nullptr ? 0.0 : ImageView::read(r);
        return std::isfinite(value) ? json(value) : json(nullptr);
    };
    auto control = [&](int32_t fromExec) { return ImageView::read(t.view.controlInt(fromExec)); };
    json locations = json::array();
    for (const ctl::LocationBreakpoint& p : ctl::locationBreakpoints(t)) locations.push_back({p.location, p.instance});
    s.state = {{"status", state.status},
               {"statusName", statusName(state.status)},
               {"acknowledged", state.acknowledged},
               {"pid", state.pid},
               {"alive", state.alive},
               {"cycle", state.cycle},
               {"speed", ctl::speedText(state).value_or("real time")},
               {"period", real(kSimuperiodSlot)},
               {"measured", {real(kRealsimuperiodSlot), real(kMinsimuperiodSlot), real(kMaxsimuperiodSlot)}},
               {"changes", {real(kMeanModificationSlot), real(kMinModificationSlot), real(kMaxModificationSlot)}},
               {"lastCall", {control(kBpcurrentlocationFromExec), control(kBpcurrentinstanceFromExec),
                             control(kBpcurrenttypeerrorFromExec)}},
               {"trace", (*t.view.boolSlot(kTraceonSlot) & kBoolCurrent) != 0},
               {"locations", locations}};

    std::vector<uint8_t> slotFlags[kAreaCount];
    for (int area = 0; area < kAreaCount; ++area) slotFlags[area].assign(static_cast<std::size_t>(t.view.count(area)), 0);
    auto mark = [&](int area, int32_t slot, uint8_t flag) {
        if (slot >= 0 && static_cast<std::size_t>(slot) < slotFlags[area].size()) slotFlags[area][slot] |= flag;
    };
    for (const ctl::SlotRef& r : ctl::tracedSlots(t)) mark(r.area, r.slot, kFlagTraced);
    for (int32_t slot : ctl::dataBreakpoints(t)) mark(kAreaBool, slot, kFlagBreak);

    s.texts.reserve(session.variables.size());
    s.flags.reserve(session.variables.size());
    for (const ctl::Variable& v : session.variables) {
        s.texts.push_back(ctl::currentText(t, v));
        // A TIME is listed by its days and ticks slots.
        const int32_t listed = v.kind == ctl::Kind::Time ? v.slot + 2 : v.slot;
        uint8_t flags = ctl::isForced(t, v) ? kFlagForced : 0;
        if (listed >= 0 && static_cast<std::size_t>(listed) < slotFlags[v.area].size()) flags |= slotFlags[v.area][listed];
        s.flags.push_back(flags);
    }
    for (const SceneObject& o : session.objects) {
        std::vector<float> values(17);
        values[0] = static_cast<float>(ImageView::read(t.view.intSlot(o.statusSlot)));
        for (int32_t k = 0; k < 16; ++k) values[k + 1] = ImageView::read(t.view.realSlot(o.matrixSlot + k));
        s.objects.push_back(std::move(values));
    }
    return s;
}

json changes(const Snapshot& before, const Snapshot& now) {
    json message = json::object();
    if (before.state != now.state) message["state"] = now.state;
    json values = json::object();
    for (std::size_t k = 0; k < now.texts.size(); ++k) {
        if (k < before.texts.size() && before.texts[k] == now.texts[k] && before.flags[k] == now.flags[k]) continue;
        values[std::to_string(k)] = {now.texts[k], now.flags[k]};
    }
    if (!values.empty()) message["values"] = values;
    json objects = json::object();
    for (std::size_t k = 0; k < now.objects.size(); ++k) {
        if (k < before.objects.size() && before.objects[k] == now.objects[k]) continue;
        json numbers = json::array();
        for (float f : now.objects[k]) numbers.push_back(std::isfinite(f) ? json(f) : json(nullptr));
        objects[std::to_string(k)] = numbers;
    }
    if (!objects.empty()) message["objects"] = objects;
    return message;
}

}  // namespace qv::serve
