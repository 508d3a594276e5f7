// The session of qvctl serve: the program's variables and objects, and its snapshots.
#include "supervisor/web/serve_session.h"

#include <charconv>
#include <map>
#include <set>
#include <string_view>

#include "supervisor/core/control.h"
#include "supervisor/core/lists.h"
#include "supervisor/core/stepping.h"
#include "supervisor/core/steps.h"
#include "supervisor/core/values.h"
#include "supervisor/plant/plant.h"

namespace qv::serve {

namespace {

using nlohmann::json;

bool inside(const ctl::Target& target, int area, int32_t first, int32_t count) {
    return target.view.slot(area, first) != nullptr && target.view.slot(area, first + count - 1) != nullptr;
}

const char* kindText(ctl::Kind kind) { return ctl::kindName(kind); }

const char* areaWord(int area) {
    static constexpr const char* kWords[] = {"bool", "int", "real", "char"};
    return kWords[area & 3];
}

// The inputs the plant plays for `program` (its limit and vacuum switches).
std::set<std::string, std::less<>> sensorsOf(const std::string& program) {
    std::set<std::string, std::less<>> sensors;
    const plant::ProgramWiring* wiring = plant::findWiring(program);
    if (wiring == nullptr) return sensors;
    for (const plant::CylinderWiring& c : wiring->cylinders)
        for (const char* name : {c.extendedSwitch, c.retractedSwitch})
            if (name != nullptr) sensors.insert(name);
    for (const plant::VacuumWiring& v : wiring->vacuums)
        if (v.vacuumSwitch != nullptr) sensors.insert(v.vacuumSwitch);
    return sensors;
}

// Where the cell's part lies now, from the variables the snapshot read.
json followPart(const Session& session, const std::vector<std::string>& texts) {
    auto text = [&](std::string_view name) -> std::string {
        for (std::size_t k = 0; k < session.variables.size() && k < texts.size(); ++k)
            if (session.variables[k].name == name) return texts[k];
        return "";
    };
    auto code = [](const std::string& t) {
        int32_t value = -1;
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
        return ec == std::errc() && end == t.data() + t.size() && value >= 0 && value <= 7 ? value : -1;
    };
    const bool vacuum = text("vacuostat") == "TRUE", down = text("FCVZB") == "TRUE";
    CellPart& part = *session.part;
    std::lock_guard lock(part.mutex);
    if (!part.held && vacuum && down) part.held = true;
    if (part.held && !vacuum) {
        part.held = false;
        part.moved = true;
        part.at = code(text("CR_pos"));
    }
    if (!part.moved && !part.held) part.at = code(text("Pos_depart"));
    return {{"held", part.held}, {"at", part.at < 0 ? json(nullptr) : json(part.at)}};
}

}  // namespace

std::shared_ptr<Session> openSession(const std::string& image, const std::string& model,
                                     const std::string& symbolsFile, uint64_t generation, std::string& error,
                                     bool readOnly) {
    std::optional<ctl::Target> target = ctl::openTarget({image, model, 0, readOnly}, error, symbolsFile);
    if (!target) return nullptr;
    auto session = std::make_shared<Session>(Session{std::move(*target), generation, 0, "", {}, {}});
    session->pid = ctl::readState(session->target).pid;
    // The names come from the program's symbol set (its built-in table, or the description
    // beside its executable), as qvctl finds them.
    if (session->target.table != nullptr) {
        session->program = session->target.table->program;
        // As resolveVariable names them (a control variable's name stays the control
        // variable's), without looking each name up again.
        std::set<std::string, std::less<>> controls;
        for (const ctl::Variable& c : ctl::controlVariables(session->target)) controls.insert(c.name);
        session->variables.reserve(session->target.table->symbols.size());
        for (const symbols::Symbol& s : session->target.table->symbols) {
            std::string ignored;
            if (controls.count(std::string_view(s.name)) != 0) {
                if (std::optional<ctl::Variable> v = ctl::resolveVariable(session->target, s.name, ignored))
                    session->variables.push_back(*v);
                continue;
            }
            ctl::Variable v = ctl::variableOf(session->target, s);
            if (inside(session->target, v.area, v.slot, ctl::slotSpan(v))) session->variables.push_back(std::move(v));
        }
    } else if (session->target.facts != nullptr) {
        session->program = session->target.facts->program;
    }
    if (session->target.symbolSet != nullptr) {
        for (const symbols::SceneObject& o : session->target.symbolSet->objects()) {
            if (!inside(session->target, kAreaReal, o.matrixSlot, 16) || !inside(session->target, kAreaInt, o.statusSlot, 1))
                continue;
            session->objects.push_back(SceneObject{o.name, o.kind == symbols::ObjectKind::Product, o.kindId, o.index,
                                                   o.matrixSlot, o.statusSlot, o.colour});
        }
    }
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
    for (std::size_t k = 0; k < session.variables.size(); ++k) {
        const ctl::Variable& v = session.variables[k];
        if (v.operatorInput) variables[k]["operator"] = true;
        if (v.kind == ctl::Kind::Enum && v.enumType != nullptr) {
            json names = json::array();
            for (const symbols::EnumType::Value& e : v.enumType->values) names.push_back(e.name);
            variables[k]["enum"] = v.enumType->name;
            variables[k]["values"] = names;
        }
        if (v.kind == ctl::Kind::String) variables[k]["length"] = v.length;
    }
    // Which inputs are a person's: the description says so; a program whose description
    // says it of none is read by its plant, whose switches are the machine's, and every
    // other input of the top model is the operator's.
    const std::set<std::string, std::less<>> sensors = sensorsOf(session.program);
    bool described = false;
    for (const ctl::Variable& v : session.variables) described = described || v.operatorInput;
    std::map<std::string, std::string, std::less<>> comments;
    if (session.target.symbolSet != nullptr)
        for (const symbols::SymbolSet::Variable& d : session.target.symbolSet->variables())
            if (!d.comment.empty()) comments[d.name] = d.comment;
    for (std::size_t k = 0; k < session.variables.size(); ++k) {
        const ctl::Variable& v = session.variables[k];
        const bool input = std::string_view(v.role) == "input";
        if (input && sensors.count(v.name) != 0) variables[k]["sensor"] = true;
        if (!described && !sensors.empty() && input && sensors.count(v.name) == 0 &&
            v.name.find('.') == std::string::npos)
            variables[k]["operator"] = true;
        if (auto c = comments.find(v.name); c != comments.end()) variables[k]["comment"] = c->second;
    }
    json objects = json::array();
    for (const SceneObject& o : session.objects)
        objects.push_back({{"name", o.name}, {"kind", o.product ? "product" : "actor"}, {"kindId", o.kindId},
                           {"index", o.index}, {"matrixSlot", o.matrixSlot}, {"statusSlot", o.statusSlot},
                           {"colour", o.colour}});
    const bool compiled = session.target.symbolSet != nullptr && !session.target.symbolSet->sourceMap().sources.empty();
    return {{"generation", session.generation}, {"image", session.target.name}, {"program", session.program},
            {"revision", session.target.revision}, {"variables", variables}, {"objects", objects},
            {"compiled", compiled}};
}

namespace {

json chartJson(const symbols::Chart& c) {
    json steps = json::array(), transitions = json::array(), actions = json::array();
    for (const symbols::Chart::Step& s : c.steps) {
        json associations = json::array();
        for (const symbols::Chart::Association& a : s.actions)
            associations.push_back(
                {{"action", a.action}, {"qualifier", a.qualifier}, {"time", a.time}, {"indicator", a.indicator}});
        steps.push_back({{"name", s.name}, {"initial", s.initial}, {"file", s.file}, {"line", s.line},
                         {"location", s.location}, {"actions", associations}});
    }
    for (const symbols::Chart::Transition& t : c.transitions)
        transitions.push_back(
            {{"name", t.name}, {"from", t.from}, {"to", t.to}, {"line", t.line}, {"priority", t.priority}});
    for (const symbols::Chart::Action& a : c.actions)
        actions.push_back({{"name", a.name}, {"file", a.file}, {"line", a.line}});
    return {{"pou", c.pou}, {"name", c.name}, {"steps", steps}, {"transitions", transitions}, {"actions", actions}};
}

json diagramJson(const symbols::Diagram& d) {
    json elements = json::array();
    for (const symbols::Diagram::Element& e : d.elements) {
        json inputs = json::array(), outputs = json::array();
        for (const symbols::Diagram::Input& i : e.inputs) {
            json points = json::array();
            for (const auto& [x, y] : i.points) points.push_back({x, y});
            inputs.push_back({{"pin", i.pin}, {"from", i.from}, {"fromPin", i.fromPin}, {"negated", i.negated},
                              {"points", points}});
        }
        for (const symbols::Diagram::Output& o : e.outputs)
            outputs.push_back({{"pin", o.pin}, {"negated", o.negated}, {"value", o.value}});
        json actions = json::array();
        for (const symbols::Chart::Association& a : e.actions)
            actions.push_back({{"action", a.action}, {"qualifier", a.qualifier}, {"time", a.time}, {"indicator", a.indicator}});
        elements.push_back({{"id", e.id}, {"kind", e.kind}, {"type", e.type}, {"instance", e.instance}, {"x", e.x},
                            {"y", e.y}, {"width", e.width}, {"height", e.height}, {"line", e.line},
                            {"location", e.location}, {"rung", e.rung}, {"variable", e.variable},
                            {"name", e.name}, {"actions", actions}, {"inputs", inputs}, {"outputs", outputs}});
    }
    return {{"pou", d.pou}, {"language", d.language}, {"file", d.file}, {"elements", elements}};
}

}  // namespace

json describeProgram(const Session& session) {
    json sources = json::array(), locations = json::array(), instances = json::array(), charts = json::array(),
         diagrams = json::array();
    if (const symbols::SymbolSet* set = session.target.symbolSet.get()) {
        const symbols::SourceMap& map = set->sourceMap();
        // The page asks for a file by its number: no path of the request ever names one.
        for (std::size_t k = 0; k < map.sources.size(); ++k) sources.push_back({{"index", k}, {"file", map.sources[k].file}});
        // [location, file, line, column, endColumn]: a 2,000-line program has as many.
        for (const symbols::SourceLocation& l : map.locations)
            locations.push_back({l.location, l.file, l.line, l.column, l.endColumn});
        for (const symbols::InstanceName& i : map.instances)
            instances.push_back({{"number", i.number}, {"path", i.path}, {"type", i.type}});
        for (const symbols::Chart& c : map.charts) charts.push_back(chartJson(c));
        for (const symbols::Diagram& d : map.diagrams) diagrams.push_back(diagramJson(d));
    }
    return {{"generation", session.generation}, {"program", session.program}, {"sources", sources},
            {"locations", locations}, {"instances", instances}, {"charts", charts}, {"diagrams", diagrams}};
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
    // Each pair with its name where the program's description gives one ("conveyor.st:12 in
    // Main", "Verin_GX._X_21 (location 21, instance 7)").
    json locations = json::array();
    for (const ctl::LocationBreakpoint& p : ctl::locationBreakpoints(t))
        locations.push_back({p.location, p.instance, ctl::describeLocation(t, p)});
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
               {"pausedAt", state.status == kStatusPause
                                ? json(ctl::describeLocation(t, {control(kBpcurrentlocationFromExec),
                                                                 control(kBpcurrentinstanceFromExec)}))
                                : json(nullptr)},
               {"lastCallName", control(kBpcurrentlocationFromExec) == 0 && control(kBpcurrentinstanceFromExec) == 0
                                    ? json(nullptr)
                                    : json(ctl::describeLocation(t, {control(kBpcurrentlocationFromExec),
                                                                     control(kBpcurrentinstanceFromExec)}))},
               {"trace", (*t.view.boolSlot(kTraceonSlot) & kBoolCurrent) != 0},
               {"locations", locations}};
    // Where a compiled program waits, for the online view: its line and its call stack.
    if (const std::optional<ctl::PausePlace> place = ctl::pausePlace(t))
        s.state["paused"] = {{"location", place->location}, {"instance", place->instance}, {"file", place->file},
                             {"line", place->line}, {"column", place->column}, {"endColumn", place->endColumn},
                             {"path", place->path}, {"stack", place->stack}, {"step", place->step}};
    const ctl::MeasuredText measured = ctl::measuredText(t, state);
    s.state["measuredText"] = measured.figures;
    if (!measured.note.empty()) s.state["measuredNote"] = measured.note;

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
        const int32_t listed = v.slot + ctl::firstValueSlot(v);
        uint8_t flags = ctl::isForced(t, v) ? kFlagForced : 0;
        if (listed >= 0 && static_cast<std::size_t>(listed) < slotFlags[v.area].size()) flags |= slotFlags[v.area][listed];
        s.flags.push_back(flags);
    }
    if (session.program == "manipulateur") s.state["part"] = followPart(session, s.texts);
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
