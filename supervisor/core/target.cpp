// Opening the image a command works on, and naming its variables.
#include "supervisor/core/target.h"

#include <array>
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

Kind kindOf(symbols::Type type, int32_t length) {
    using T = symbols::Type;
    switch (type) {
        case T::Bool: return Kind::Bool;
        case T::Time: return Kind::Time;
        case T::Real: return Kind::Real;
        case T::String: return length > 0 ? Kind::String : Kind::Text;
        case T::Sint: return Kind::Sint;
        case T::Int: return Kind::Int16;
        case T::Byte: return Kind::Byte;
        case T::Word: return Kind::Word;
        case T::Dword: return Kind::Dword;
        case T::Date: return Kind::Date;
        case T::TimeOfDay: return Kind::TimeOfDay;
        case T::DateAndTime: return Kind::DateAndTime;
        case T::Enum: return Kind::Enum;
        case T::Dint: return Kind::Int;
    }
    return Kind::Int;
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
    Variable v{std::string(name), static_cast<Area>(area), slot, kinds[area], "slot"};
    v.control = controlAt(target, static_cast<int>(area), slot);
    return v;
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

namespace {

struct ControlSlot {
    const char* name;
    Area area;
    int32_t slot;
    Kind kind;
};

// The control variables of the image's revision, without building strings: names are
// matched to slots for every variable a description names.
std::array<ControlSlot, 25> controlSlots(const Target& target) {
    const int32_t exec = target.view.layout().execstatusSlot;
    const int32_t ints = target.view.count(kAreaInt);
    return {{
        {"traceon", kAreaBool, kTraceonSlot, Kind::Bool},
        {"resettrace", kAreaBool, kResettraceSlot, Kind::Bool},
        {target.revision == 3 ? "tracesnapshop" : "qv_delay", kAreaBool, kTracesnapshopSlot, Kind::Bool},
        {"allowpreconditions", kAreaBool, kAllowpreconditionsSlot, Kind::Bool},
        {"allowpostconditions", kAreaBool, kAllowpostconditionsSlot, Kind::Bool},
        {"execstatus", kAreaInt, exec, Kind::Int},
        {"bpnoline", kAreaInt, exec + kBpnolineFromExec, Kind::Int},
        {"bpcurrentinstance", kAreaInt, exec + kBpcurrentinstanceFromExec, Kind::Int},
        {"bpcurrentlocation", kAreaInt, exec + kBpcurrentlocationFromExec, Kind::Int},
        {"bpcurrentprepostcode", kAreaInt, exec + kBpcurrentprepostcodeFromExec, Kind::Int},
        {"bpcurrenttypeerror", kAreaInt, exec + kBpcurrenttypeerrorFromExec, Kind::Int},
        {"bpcurrentrank", kAreaInt, exec + kBpcurrentrankFromExec, Kind::Int},
        {"signature", kAreaInt, exec + kSignatureFromExec, Kind::Int},
        {"generationtime", kAreaInt, exec + kGenerationtimeFromExec, Kind::Int},
        {"pospid", kAreaInt, ints - kPospidFromEnd, Kind::Int},
        {"posmxsimucounter", kAreaInt, ints - kSimuCounterFromEnd, Kind::Int},
        {"posmxmicrostepcounter", kAreaInt, ints - kMicroStepCounterFromEnd, Kind::Int},
        {"simuperiod", kAreaReal, kSimuperiodSlot, Kind::Real},
        {"minsimuperiod", kAreaReal, kMinsimuperiodSlot, Kind::Real},
        {"maxsimuperiod", kAreaReal, kMaxsimuperiodSlot, Kind::Real},
        {"realsimuperiod", kAreaReal, kRealsimuperiodSlot, Kind::Real},
        {"mxmeanvariablemodification", kAreaReal, kMeanModificationSlot, Kind::Real},
        {"mxminvariablemodification", kAreaReal, kMinModificationSlot, Kind::Real},
        {"mxmaxvariablemodification", kAreaReal, kMaxModificationSlot, Kind::Real},
        {"taskname", kAreaChar, kTasknameSlot, Kind::Text},
    }};
}

}  // namespace

const char* controlAt(const Target& target, int area, int32_t slot) {
    for (const ControlSlot& c : controlSlots(target))
        if (c.area == area && c.slot == slot) return c.name;
    return nullptr;
}

std::vector<Variable> controlVariables(const Target& target) {
    std::vector<Variable> list;
    for (const ControlSlot& c : controlSlots(target)) {
        Variable v{c.name, c.area, c.slot, c.kind, "control"};
        v.control = c.name;
        list.push_back(std::move(v));
    }
    return list;
}

namespace {

// "a, b, c, d and 3 more": a refusal stays one line however many names share a suffix.
std::string someNames(const std::vector<const symbols::SymbolSet::Variable*>& list) {
    constexpr std::size_t kShown = 4;
    std::string text;
    for (std::size_t k = 0; k < list.size() && k < kShown; ++k) text += (k == 0 ? "" : ", ") + list[k]->name;
    if (list.size() > kShown) text += " and " + std::to_string(list.size() - kShown) + " more";
    return text;
}

}  // namespace

const symbols::Symbol* findShortPath(const Target& target, std::string_view name, std::string& error) {
    error.clear();
    if (target.symbolSet == nullptr || target.table != &target.symbolSet->table() || name.empty()) return nullptr;
    const std::vector<const symbols::SymbolSet::Variable*> list = target.symbolSet->variablesEndingWith(name);
    if (list.empty()) return nullptr;
    if (list.size() > 1) {
        error = std::string(name) + " is ambiguous: " + someNames(list);
        return nullptr;
    }
    return &target.table->symbols[static_cast<std::size_t>(list.front() - target.symbolSet->variables().data())];
}

std::optional<Variable> resolveVariable(const Target& target, std::string_view name, std::string& error) {
    error.clear();
    auto usable = [&](Variable v) -> std::optional<Variable> {
        const int32_t last = v.slot + slotSpan(v) - 1;
        if (target.view.slot(v.area, v.slot) == nullptr || target.view.slot(v.area, last) == nullptr) {
            error = v.name + " lies outside the image";
            return std::nullopt;
        }
        return v;
    };
    for (const Variable& v : controlVariables(target))
        if (name == v.name) return usable(v);
    if (target.table != nullptr) {
        if (const symbols::Symbol* s = symbols::findSymbol(*target.table, name)) return usable(variableOf(target, *s));
    }
    if (std::optional<Variable> v = parseSlotName(target, name, error)) {
        if (!error.empty()) return std::nullopt;
        return v;
    }
    // A name that is no variable may be the end of one full path ("Main.Fill.X").
    if (const symbols::Symbol* s = findShortPath(target, name, error)) return usable(variableOf(target, *s));
    if (!error.empty()) return std::nullopt;
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
        case Kind::Sint: return "SINT";
        case Kind::Int16: return "INT";
        case Kind::Byte: return "BYTE";
        case Kind::Word: return "WORD";
        case Kind::Dword: return "DWORD";
        case Kind::Date: return "DATE";
        case Kind::TimeOfDay: return "TIME_OF_DAY";
        case Kind::DateAndTime: return "DATE_AND_TIME";
        case Kind::Enum: return "ENUM";
        case Kind::Text:
        case Kind::String: return "STRING";
    }
    return "STRING";
}

int32_t slotSpan(const Variable& v) {
    switch (v.kind) {
        case Kind::Time:
        case Kind::DateAndTime: return 4;
        case Kind::Date:
        case Kind::TimeOfDay:
        case Kind::Text: return 3;
        case Kind::String: return 3 + v.length;
        default: return 1;
    }
}

int32_t firstValueSlot(const Variable& v) {
    switch (v.kind) {
        case Kind::Time:
        case Kind::DateAndTime:
        case Kind::Date:
        case Kind::TimeOfDay: return 2;
        case Kind::Text:
        case Kind::String: return 3;
        default: return 0;
    }
}

int32_t valueSlotCount(const Variable& v) {
    switch (v.kind) {
        case Kind::Time:
        case Kind::DateAndTime: return 2;
        case Kind::String: return v.length;
        case Kind::Text: return kTasknameCapacity;
        default: return 1;
    }
}

Variable variableOf(const Target& target, const symbols::Symbol& s) {
    Variable v{s.name, s.area, s.slot, kindOf(s.type, 0), roleOf(s.direction)};
    v.operatorInput = s.operatorInput;
    // A description's variable at the same position as the symbol in its table.
    if (target.symbolSet != nullptr && target.table == &target.symbolSet->table()) {
        const std::size_t k = static_cast<std::size_t>(&s - target.table->symbols.data());
        if (k < target.symbolSet->variables().size()) {
            const symbols::SymbolSet::Variable& described = target.symbolSet->variables()[k];
            v.length = described.length;
            v.kind = kindOf(s.type, described.length);
            if (s.type == symbols::Type::Enum) v.enumType = target.symbolSet->findEnum(described.enumName);
        }
    }
    v.control = controlAt(target, v.area, v.slot);
    return v;
}

}  // namespace qv::ctl
