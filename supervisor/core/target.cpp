// Opening the image a command works on, and naming its variables.
#include "supervisor/core/target.h"

#include <charconv>

namespace qv::ctl {

namespace {

std::string knownModels() {
    std::string list;
    for (const symbols::ProgramFacts& facts : symbols::programFacts()) {
        if (!list.empty()) list += ", ";
        list += facts.program;
    }
    return list;
}

void readCounts(const ImageView& view, int32_t (&counts)[4]) {
    for (int area = 0; area < kAreaCount; ++area) counts[area] = view.count(area);
}

int32_t readSignature(const ImageView& view) {
    const int32_t* signature = view.signature();
    return signature == nullptr ? 0 : ImageView::read(signature);
}

const char* roleOf(symbols::Direction direction) {
    switch (direction) {
        case symbols::Direction::Input: return "input";
        case symbols::Direction::Output: return "output";
        default: return "internal";
    }
}

Kind kindOf(symbols::Type type) {
    switch (type) {
        case symbols::Type::Bool: return Kind::Bool;
        case symbols::Type::Time: return Kind::Time;
        case symbols::Type::Real: return Kind::Real;
        case symbols::Type::String: return Kind::Text;
        default: return Kind::Int;
    }
}

const char* areaName(int area) {
    switch (area) {
        case kAreaBool: return "boolean";
        case kAreaInt: return "integer";
        case kAreaReal: return "real";
        default: return "character";
    }
}

// B5, I523, F10, C3: the area letter of the trace file and a slot index.
std::optional<Variable> parseSlotName(const Target& target, std::string_view name, std::string& error) {
    if (name.size() < 2) return std::nullopt;
    const std::string_view letters = "BIFC";
    const std::size_t area = letters.find(name[0]);
    if (area == std::string_view::npos) return std::nullopt;
    int32_t slot = -1;
    const char* end = name.data() + name.size();
    auto [at, problem] = std::from_chars(name.data() + 1, end, slot);
    if (problem != std::errc() || at != end || name[1] == '-' || name[1] == '+') {
        if (problem == std::errc::result_out_of_range && at == end) {
            error = std::string(name) + " lies outside the " + areaName(static_cast<int>(area)) + " area";
            return Variable{};
        }
        return std::nullopt;
    }
    const int32_t count = target.view.count(static_cast<int>(area));
    if (target.view.slot(static_cast<int>(area), slot) == nullptr) {
        error = std::string(name) + " lies outside the " + areaName(static_cast<int>(area)) + " area (slots 0 to " +
                std::to_string(count - 1) + ")";
        return Variable{};
    }
    constexpr Kind kinds[] = {Kind::Bool, Kind::Int, Kind::Real, Kind::Char};
    return Variable{std::string(name), static_cast<Area>(area), slot, kinds[area], "slot"};
}

}  // namespace

std::optional<Target> openTarget(const TargetRequest& request, std::string& error, const std::string& symbolsFile) {
    const symbols::ProgramFacts* wanted = nullptr;
    if (!request.model.empty()) {
        wanted = symbols::findFacts(request.model);
        if (wanted == nullptr) {
            error = "unknown model " + request.model + " (known: " + knownModels() + ")";
            return std::nullopt;
        }
    }
    // The image is checked against its real size before anything is read from it.
    std::optional<ImageView> view = ImageView::attach(request.name, 0, error, request.readOnly);
    if (!view) return std::nullopt;
    // A revision asked for must fit the layout found (revisions 2 and 3 share theirs).
    if (request.revision != 0) {
        if ((request.revision == 1) != (view->revision() == 1)) {
            error = "image \"" + request.name + "\" has the layout of revision " +
                    (view->revision() == 1 ? "1" : "2 and 3") + ", not of revision " + std::to_string(request.revision);
            return std::nullopt;
        }
        view = ImageView::attach(request.name, request.revision, error, request.readOnly);
        if (!view) return std::nullopt;
    }
    int32_t counts[4];
    readCounts(*view, counts);
    const symbols::ProgramFacts* found = symbols::recogniseProgram(view->revision(), counts, readSignature(*view));
    Target target{request.name, std::move(*view), 0, found, nullptr, nullptr};
    if (wanted != nullptr && found != wanted) {
        error = "image \"" + request.name + "\" holds " +
                (found != nullptr ? std::string(found->program) : "another program (" + describeContents(target) + ")") +
                ", not " + wanted->program;
        return std::nullopt;
    }
    target.revision = request.revision != 0 ? request.revision
                      : found != nullptr    ? found->revision
                                            : target.view.revision();
    if (found != nullptr) target.table = symbols::findProgram(found->program);
    // The program's symbol set for every face (built-in or described); a program without a
    // built-in table takes its variables from its description.
    std::string lookupError;
    std::optional<symbols::FoundSymbols> described = symbols::findSymbols(target.view, symbolsFile, lookupError);
    if (described) target.symbolSet = described->set;
    if (target.table == nullptr) {
        if (described) {
            target.table = &target.symbolSet->table();
        } else if (!symbolsFile.empty()) {  // asked for, so its problem is said
            error = lookupError;
            return std::nullopt;
        }
    }
    return target;
}

std::string describeContents(const Target& target) {
    // Appended piece by piece: a literal prefixed to a temporary string trips GCC 12's
    // -Wrestrict false positive at -O3.
    std::string text = "slot counts";
    for (int area = 0; area < kAreaCount; ++area) text.append(" ").append(std::to_string(target.view.count(area)));
    return text.append(", signature ").append(std::to_string(readSignature(target.view)));
}

std::vector<Variable> controlVariables(const Target& target) {
    const int32_t exec = target.view.layout().execstatusSlot;
    const int32_t ints = target.view.count(kAreaInt);
    std::vector<Variable> list = {
        {"traceon", kAreaBool, kTraceonSlot, Kind::Bool, "control"},
        {"resettrace", kAreaBool, kResettraceSlot, Kind::Bool, "control"},
        {target.revision == 3 ? "tracesnapshop" : "qv_delay", kAreaBool, kTracesnapshopSlot, Kind::Bool, "control"},
        {"allowpreconditions", kAreaBool, kAllowpreconditionsSlot, Kind::Bool, "control"},
        {"allowpostconditions", kAreaBool, kAllowpostconditionsSlot, Kind::Bool, "control"},
        {"execstatus", kAreaInt, exec, Kind::Int, "control"},
        {"bpnoline", kAreaInt, exec + kBpnolineFromExec, Kind::Int, "control"},
        {"bpcurrentinstance", kAreaInt, exec + kBpcurrentinstanceFromExec, Kind::Int, "control"},
        {"bpcurrentlocation", kAreaInt, exec + kBpcurrentlocationFromExec, Kind::Int, "control"},
        {"bpcurrentprepostcode", kAreaInt, exec + kBpcurrentprepostcodeFromExec, Kind::Int, "control"},
        {"bpcurrenttypeerror", kAreaInt, exec + kBpcurrenttypeerrorFromExec, Kind::Int, "control"},
        {"bpcurrentrank", kAreaInt, exec + kBpcurrentrankFromExec, Kind::Int, "control"},
        {"signature", kAreaInt, exec + kSignatureFromExec, Kind::Int, "control"},
        {"generationtime", kAreaInt, exec + kGenerationtimeFromExec, Kind::Int, "control"},
        {"pospid", kAreaInt, ints - kPospidFromEnd, Kind::Int, "control"},
        {"posmxsimucounter", kAreaInt, ints - kSimuCounterFromEnd, Kind::Int, "control"},
        {"posmxmicrostepcounter", kAreaInt, ints - kMicroStepCounterFromEnd, Kind::Int, "control"},
        {"simuperiod", kAreaReal, kSimuperiodSlot, Kind::Real, "control"},
        {"minsimuperiod", kAreaReal, kMinsimuperiodSlot, Kind::Real, "control"},
        {"maxsimuperiod", kAreaReal, kMaxsimuperiodSlot, Kind::Real, "control"},
        {"realsimuperiod", kAreaReal, kRealsimuperiodSlot, Kind::Real, "control"},
        {"mxmeanvariablemodification", kAreaReal, kMeanModificationSlot, Kind::Real, "control"},
        {"mxminvariablemodification", kAreaReal, kMinModificationSlot, Kind::Real, "control"},
        {"mxmaxvariablemodification", kAreaReal, kMaxModificationSlot, Kind::Real, "control"},
        {"taskname", kAreaChar, kTasknameSlot, Kind::Text, "control"},
    };
    return list;
}

std::optional<Variable> resolveVariable(const Target& target, std::string_view name, std::string& error) {
    error.clear();
    auto usable = [&](Variable v) -> std::optional<Variable> {
        const int32_t last = v.slot + (v.kind == Kind::Time ? 3 : v.kind == Kind::Text ? 2 : 0);
        if (target.view.slot(v.area, v.slot) == nullptr || target.view.slot(v.area, last) == nullptr) {
            error = v.name + " lies outside the image";
            return std::nullopt;
        }
        return v;
    };
    for (const Variable& v : controlVariables(target))
        if (name == v.name) return usable(v);
    if (target.table != nullptr) {
        if (const symbols::Symbol* s = symbols::findSymbol(*target.table, name))
            return usable(Variable{s->name, s->area, s->slot, kindOf(s->type), roleOf(s->direction)});
    }
    if (std::optional<Variable> v = parseSlotName(target, name, error)) {
        if (!error.empty()) return std::nullopt;
        return v;
    }
    if (target.table != nullptr)
        error = "no variable " + std::string(name) + " in " + target.table->program + " (qvctl vars lists them)";
    else
        error = "unknown variable " + std::string(name) +
                ": the image holds no program with a symbol table, so name slots as B5, I523, F10 or C3";
    return std::nullopt;
}

std::string slotName(int area, int32_t slot) { return std::string(1, "BIFC"[area & 3]) + std::to_string(slot); }

std::string nameOfSlot(const Target& target, int area, int32_t slot) {
    if (target.table != nullptr) {
        for (const symbols::Symbol& s : target.table->symbols) {
            // A TIME is listed by its days and ticks slots.
            const int32_t last = s.slot + symbols::slotCount(s.type) - 1;
            if (s.area == area && s.slot <= slot && slot <= last) return s.name;
        }
    }
    for (const Variable& v : controlVariables(target))
        if (v.area == area && v.slot == slot) return v.name;
    return slotName(area, slot);
}

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::Bool: return "BOOL";
        case Kind::Int: return "DINT";
        case Kind::Real: return "REAL";
        case Kind::Char: return "CHAR";
        case Kind::Time: return "TIME";
        default: return "STRING";
    }
}

}  // namespace qv::ctl
