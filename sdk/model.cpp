// The runtime's side of the SDK: the contract of a model worked out from its declaration
// table. The slot counts and the symbol description follow walkTable's order; the walk
// through `self` takes the same order in two steps (inputs and outputs, then the rest), as
// the runtime calls it. The tests drive running models by their descriptions' slots.
#include <cstdio>
#include <cstdlib>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "runtime/executive/slots.h"
#include "runtime/platform/platform.h"
#include "sdk/qv_model.h"
#include "supervisor/core/symbols/description.h"

namespace qv::sdk {
namespace {

// What each object owns: one boolean, its status and one free integer, its placement.
constexpr int32_t kObjectBools = 1;
constexpr int32_t kObjectInts = 2;
constexpr int32_t kObjectReals = 16;
constexpr int32_t kDefaultSignature = 2147483647;
constexpr float kDefaultPeriod = 50000.0f;

Area areaOf(QV_Type type) {
    switch (type) {
        case QV_TYPE_BOOL: return kAreaBool;
        case QV_TYPE_DINT: return kAreaInt;
        default: return kAreaReal;
    }
}

// Visits the variables and objects in slot order: inputs and outputs, the internal
// variables, then every entry of every object row.
template <typename Variable, typename Object>
void walkTable(const QV_Model& m, Variable&& variable, Object&& object) {
    for (int pass = 0; pass < 2; ++pass) {
        for (int32_t i = 0; i < m.variableCount; ++i) {
            const QV_Variable& v = m.variables[i];
            if ((v.direction == QV_DIRECTION_INTERNAL) == (pass == 1)) variable(i, v);
        }
    }
    for (int32_t i = 0; i < m.objectCount; ++i)
        for (int32_t k = 0; k < m.objects[i].count; ++k) object(m.objects[i], k);
}

// Slots of each area that the table uses after the control blocks.
std::array<int32_t, kAreaCount> usedSlots(const QV_Model& m) {
    std::array<int32_t, kAreaCount> used{};
    walkTable(
        m, [&](int32_t, const QV_Variable& v) { used[areaOf(v.type)] += v.length; },
        [&](const QV_Object&, int32_t) {
            used[kAreaBool] += kObjectBools;
            used[kAreaInt] += kObjectInts;
            used[kAreaReal] += kObjectReals;
        });
    return used;
}

// The first slot of a model's variables in each area: minSize is all zeros, so the
// effective lower bounds are the layout's own.
std::array<int32_t, kAreaCount> firstModelSlots() {
    return {kBoolControlSlots, kLayout.execstatusSlot + kIntControlSlots, kMinFloatFloor + kRealControlSlots,
            kCharControlSlots};
}

bool isColour(const char* text) {
    if (text == nullptr || std::strlen(text) != 7 || text[0] != '#') return false;
    for (int k = 1; k < 7; ++k)
        if (std::strchr("0123456789abcdefABCDEF", text[k]) == nullptr) return false;
    return true;
}

// A table that cannot make a program is a mistake in the model's source: said once, at
// start-up, before anything touches the image.
const char* tableProblem(const QV_Model& m) {
    for (int32_t i = 0; i < m.variableCount; ++i) {
        const QV_Variable& v = m.variables[i];
        if (v.name == nullptr || v.name[0] == '\0') return "a variable has no name";
        if (v.length < 1) return "an array has fewer than one element";
        if (v.type != QV_TYPE_BOOL && v.type != QV_TYPE_DINT && v.type != QV_TYPE_REAL) return "a type is unknown";
    }
    bool products = false;
    for (int32_t i = 0; i < m.objectCount; ++i) {
        const QV_Object& o = m.objects[i];
        if (o.name == nullptr || o.name[0] == '\0') return "an object has no name";
        if (o.count < 1) return "an object row has fewer than one entry";
        if (o.kindId == 0 || o.kindId == 1) return "a kind identifier is 0 or 1";
        if (!isColour(o.colour)) return "a colour is not \"#rrggbb\"";
        if (o.model == nullptr) return "an object has no model";
        if (o.kind == QV_KIND_PRODUCT) products = true;
        if (o.kind == QV_KIND_ACTOR && products) return "an actor follows a product (actors come first)";
    }
    return nullptr;
}

const char* tasknameOf(const QV_Model& m) { return m.settings.taskname != nullptr ? m.settings.taskname : m.name; }

std::string elementName(const char* name, int32_t count, int32_t k) {
    return count == 1 ? std::string(name) : std::string(name) + "[" + std::to_string(k) + "]";
}

symbols::SymbolSet describe(const QV_Model& m) {
    using namespace symbols;
    std::array<int32_t, kAreaCount> next = firstModelSlots();
    std::vector<SymbolSet::Variable> variables;
    std::vector<SceneObject> objects;
    constexpr Type types[] = {Type::Bool, Type::Dint, Type::Real};
    constexpr Direction directions[] = {Direction::Input, Direction::Output, Direction::Internal, Direction::Input};
    walkTable(
        m,
        [&](int32_t, const QV_Variable& v) {
            const Area area = areaOf(v.type);
            for (int32_t k = 0; k < v.length; ++k) {
                SymbolSet::Variable d{elementName(v.name, v.length, k), area, next[area]++, types[v.type],
                                      directions[v.direction], v.comment == nullptr ? "" : v.comment};
                d.operatorInput = v.direction == QV_DIRECTION_OPERATOR;
                variables.push_back(std::move(d));
            }
        },
        [&](const QV_Object& o, int32_t k) {
            SceneObject s;
            s.name = elementName(o.name, o.count, k);
            s.kind = o.kind == QV_KIND_ACTOR ? ObjectKind::Actor : ObjectKind::Product;
            s.kindId = o.kindId;
            s.index = static_cast<int32_t>(objects.size());
            s.statusSlot = next[kAreaInt];
            s.matrixSlot = next[kAreaReal];
            s.colour = o.colour;
            next[kAreaBool] += kObjectBools;
            next[kAreaInt] += kObjectInts;
            next[kAreaReal] += kObjectReals;
            objects.push_back(std::move(s));
        });
    return SymbolSet(tasknameOf(m), kRevision, std::move(variables), std::move(objects));
}

// ---- The walk ---------------------------------------------------------------------------------

unsigned char*& baseOf(QV_Bases& bases, Area area) {
    switch (area) {
        case kAreaBool: return bases.boolBase;
        case kAreaInt: return bases.intBase;
        case kAreaReal: return bases.realBase;
        default: return bases.charBase;
    }
}

// The next n slots of an area in `self`.
void* take(Area area, int32_t n) {
    unsigned char*& base = baseOf(self, area);
    void* first = base;
    base += static_cast<intptr_t>(n) * slotSize(kLayout, area);
    return first;
}

// The slot index `self` stands at in an area.
int32_t indexInSelf(Area area) {
    return static_cast<int32_t>((baseOf(self, area) - baseOf(mem, area)) / slotSize(kLayout, area));
}

// The internal variables, then the objects; at start-up the objects' entries are filled
// from the slots they take.
void bindOwnVariables(const QV_Model& m, bool fillObjectTable) {
    int32_t entry = 0, actors = 0;
    for (int32_t i = 0; i < m.variableCount; ++i) {
        const QV_Variable& v = m.variables[i];
        if (v.direction == QV_DIRECTION_INTERNAL) m.pointers[i] = take(areaOf(v.type), v.length);
    }
    for (int32_t i = 0; i < m.objectCount; ++i) {
        const QV_Object& o = m.objects[i];
        for (int32_t k = 0; k < o.count; ++k, ++entry) {
            if (fillObjectTable) {
                ActorProductEntry& e = TableActeursProduits[entry];
                e.boolIndex = indexInSelf(kAreaBool);
                e.intIndex = indexInSelf(kAreaInt);
                e.realIndex = indexInSelf(kAreaReal);
                e.charIndex = indexInSelf(kAreaChar);
                e.kind = o.kindId;
                e.model = o.model;
#if QV_REVISION == 3
                e.contactFilter = o.contactFilter;
#endif
                e.initialStatus = o.kind == QV_KIND_ACTOR ? QV_PRESENT : QV_REMOVED;
                e.objectNumber = o.objectNumber;
            }
            if (o.kind == QV_KIND_ACTOR) ++actors;
            take(kAreaBool, kObjectBools);
            take(kAreaInt, kObjectInts);
            take(kAreaReal, kObjectReals);
        }
    }
    if (fillObjectTable) {
        NbActeurs = actors;
        NbActeursEtProduits = entry;
        NbProduits = entry - actors;
    }
}

// Every element of every variable starts with the table's initial value (current and old).
void writeInitialValues(const QV_Model& m) {
    for (int32_t i = 0; i < m.variableCount; ++i) {
        const QV_Variable& v = m.variables[i];
        for (int32_t k = 0; k < v.length; ++k) {
            switch (v.type) {
                case QV_TYPE_BOOL: {
                    unsigned char* slot = qv_bool_element(static_cast<unsigned char*>(m.pointers[i]), k);
                    const uint8_t bits = (static_cast<int32_t>(v.initial) & 1) ? (kBoolCurrent | kBoolOld) : 0;
                    storeShared(slot, static_cast<uint8_t>((loadShared(slot) & ~(kBoolCurrent | kBoolOld)) | bits));
                    break;
                }
                case QV_TYPE_DINT: {
                    int32_t* slot = qv_int_element(static_cast<int32_t*>(m.pointers[i]), k);
                    storeShared(&slot[0], static_cast<int32_t>(v.initial));
                    storeShared(&slot[1], static_cast<int32_t>(v.initial));
                    break;
                }
                default: {
                    float* slot = qv_real_element(static_cast<float*>(m.pointers[i]), k);
                    storeShared(&slot[0], static_cast<float>(v.initial));
                    storeShared(&slot[1], static_cast<float>(v.initial));
                    break;
                }
            }
        }
    }
}

// ---- Slots by absolute index ------------------------------------------------------------------

void initialiseTaskname(const char* name) {
    if constexpr (kRevision != 1) QV_model_init_char(memHeader, kTasknameSlot, kTasknameCapacity >> 8);
    QV_model_init_char(memHeader, kTasknameSlot + 1, kTasknameCapacity & 0xFF);
    int32_t k = 0;
    for (; name[k] != '\0' && k < kTasknameCapacity; ++k)
        QV_model_init_char(memHeader, kTasknameSlot + 3 + k, static_cast<unsigned char>(name[k]));
    if constexpr (kRevision != 1)
        if (k < kTasknameCapacity) QV_model_init_char(memHeader, kTasknameSlot + 3 + k, 0);
}

}  // namespace
}  // namespace qv::sdk

extern "C" {

using namespace qv;
using namespace qv::sdk;

int QV_model_write_symbols(const QV_Model* model, const char* path) {
    std::string error;
    if (!symbols::writeDescriptionFile(path, symbols::writeDescription(describe(*model)), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 0;
    }
    return 1;
}

// The exit status of a program asked for its description (QV_WRITE_SYMBOLS), or nothing.
static std::optional<int> writeSymbolsIfAsked(const QV_Model& model) {
    const std::optional<std::string> path = platform::environmentVariable("QV_WRITE_SYMBOLS");
    if (!path || path->empty()) return std::nullopt;
    return QV_model_write_symbols(&model, path->c_str()) ? 0 : -1;
}

// The first call of a program: the table is checked, and a program asked for its symbol
// description writes it and ends before it opens any image.
void QV_model_sizes(const QV_Model* model, int32_t* minSizes, int32_t* maxSizes, int32_t* memSizes) {
    if (const char* problem = tableProblem(*model)) {
        std::fprintf(stderr, "model %s: %s\n", model->name, problem);
        std::exit(-1);
    }
    if (std::optional<int> status = writeSymbolsIfAsked(*model)) std::exit(*status);
    const std::array<int32_t, kAreaCount> used = usedSlots(*model);
    const std::array<int32_t, kAreaCount> first = firstModelSlots();
    for (int area = 0; area < kAreaCount; ++area) {
        // The integer area ends with one unused slot and the runtime's three.
        const int32_t count = first[area] + used[area] + (area == kAreaInt ? kPospidFromEnd + 1 : 0);
        minSizes[area] = 0;
        maxSizes[area] = count;
        memSizes[area] = count;
    }
}

void QV_model_skip_control_blocks(QV_Bases* bases) {
    bases->boolBase += static_cast<intptr_t>(minBool + kBoolControlSlots) * kBoolSlotSize;
    bases->intBase += static_cast<intptr_t>(minInt + kIntControlSlots) * kIntSlotSize;
    bases->realBase += static_cast<intptr_t>(minFloat + kRealControlSlots) * kRealSlotSize;
    bases->charBase += static_cast<intptr_t>(minChar + kCharControlSlots) * kCharSlotSize;
}

void QV_model_bind_interface(const QV_Model* model) {
    for (int32_t i = 0; i < model->variableCount; ++i) {
        const QV_Variable& v = model->variables[i];
        if (v.direction != QV_DIRECTION_INTERNAL) model->pointers[i] = take(areaOf(v.type), v.length);
    }
}

int32_t QV_model_behaviors_init(const QV_Model* model) {
    const int32_t saved = self_num;
    *model->num = self_num;
    QV_model_bind_interface(model);
    bindOwnVariables(*model, true);
    writeInitialValues(*model);
    model->nameVariables();
    self_num = saved;
    return 0;
}

int32_t QV_model_behaviors_step(const QV_Model* model) {
    const int32_t saved = self_num;
    lv_iteration_step = 0;
    QV_model_bind_interface(model);
    *model->num = self_num;
    bindOwnVariables(*model, false);
    model->nameVariables();
    const int32_t result = model->settings.step != nullptr ? model->settings.step() : 0;
    if (result != 0) return result;
    self_num = saved;
    return 0;
}

void QV_model_init_control_values(float period, const char* name) {
    QV_model_init_float(memHeader, kSimuperiodSlot, period);
    initialiseTaskname(name);
    QV_model_init_bool(memHeader, kAllowpreconditionsSlot, 1);
    QV_model_init_bool(memHeader, kAllowpostconditionsSlot, 1);
    if constexpr (kRevision == 1) {
        const int32_t exec = kLayout.execstatusSlot;
        QV_model_init_int(memHeader, exec + kBpnolineFromExec, kRevision1BreakpointListSize);
        QV_model_init_int(memHeader, exec + kBpnoinstanceFromExec, kRevision1BreakpointListSize);
    }
}

void QV_model_variables_initialization(const QV_Model* model) {
    QV_model_init_control_values(model->settings.period > 0 ? model->settings.period : kDefaultPeriod,
                                 tasknameOf(*model));
    if (model->settings.initialValues != nullptr) model->settings.initialValues();
}

void QV_model_bind_control_variables(void) {
    unsigned char* bools = imageAreaStart(memHeader, kAreaBool);
    unsigned char* ints = imageAreaStart(memHeader, kAreaInt);
    unsigned char* reals = imageAreaStart(memHeader, kAreaReal);
    traceon = boolSlot(bools, kTraceonSlot);
    resettrace = boolSlot(bools, kResettraceSlot);
#if QV_REVISION == 3
    tracesnapshop = boolSlot(bools, kTracesnapshopSlot);
#else
    qv_delay = boolSlot(bools, kQvDelaySlot);
#endif
    allowpreconditions = boolSlot(bools, kAllowpreconditionsSlot);
    allowpostconditions = boolSlot(bools, kAllowpostconditionsSlot);

    const int32_t exec = kLayout.execstatusSlot;
    execstatus = intSlot(ints, exec);
    bpnoline = intSlot(ints, exec + kBpnolineFromExec);
    bpnoinstance = intSlot(ints, exec + kBpnoinstanceFromExec);
    bpcurrentinstance = intSlot(ints, exec + kBpcurrentinstanceFromExec);
    bpcurrentlocation = intSlot(ints, exec + kBpcurrentlocationFromExec);
    bpcurrentprepostcode = intSlot(ints, exec + kBpcurrentprepostcodeFromExec);
    bpcurrenttypeerror = intSlot(ints, exec + kBpcurrenttypeerrorFromExec);
    bpcurrentrank = intSlot(ints, exec + kBpcurrentrankFromExec);
    signature = intSlot(ints, exec + kSignatureFromExec);
    generationtime = intSlot(ints, exec + kGenerationtimeFromExec);

    simuperiod = realSlot(reals, kSimuperiodSlot);
    minsimuperiod = realSlot(reals, kMinsimuperiodSlot);
    maxsimuperiod = realSlot(reals, kMaxsimuperiodSlot);
    realsimuperiod = realSlot(reals, kRealsimuperiodSlot);
    mxmeanvariablemodification = realSlot(reals, kMeanModificationSlot);
    mxminvariablemodification = realSlot(reals, kMinModificationSlot);
    mxmaxvariablemodification = realSlot(reals, kMaxModificationSlot);

    taskname = charSlot(imageAreaStart(memHeader, kAreaChar), kTasknameSlot);
}

void QV_model_time_cycle(const QV_Model* model, float* period) {
    storeShared(period, model->settings.period > 0 ? model->settings.period : kDefaultPeriod);
}

void QV_model_starting_mode(int32_t* status) { storeShared(status, kStatusStop); }

// Revision 1: the models do not freeze their outputs until the runtime asks them to.
void QV_model_execution_mode(unsigned char* delay) {
    if constexpr (kRevision == 1)
        if (delay != nullptr) storeShared(delay, static_cast<uint8_t>(loadShared(delay) & ~kBoolCurrent));
}

int32_t QV_model_signature(const QV_Model* model) {
    return model->settings.signature != 0 ? model->settings.signature : kDefaultSignature;
}

void QV_model_init_bool(unsigned char* image, int32_t index, int32_t value) {
    unsigned char* slot = imageSlot(image, kAreaBool, index);
    if (slot == nullptr) return;
    const uint8_t bits = (value & 1) ? (kBoolCurrent | kBoolOld) : 0;
    storeShared(slot, static_cast<uint8_t>((loadShared(slot) & ~(kBoolCurrent | kBoolOld)) | bits));
}

void QV_model_init_int(unsigned char* image, int32_t index, int32_t value) {
    unsigned char* slot = imageSlot(image, kAreaInt, index);
    if (slot == nullptr) return;
    auto* words = reinterpret_cast<int32_t*>(slot);
    storeShared(&words[0], value);
    storeShared(&words[1], value);
}

void QV_model_init_float(unsigned char* image, int32_t index, float value) {
    unsigned char* slot = imageSlot(image, kAreaReal, index);
    if (slot == nullptr) return;
    auto* words = reinterpret_cast<float*>(slot);
    storeShared(&words[0], value);
    storeShared(&words[1], value);
}

void QV_model_init_char(unsigned char* image, int32_t index, int32_t value) {
    unsigned char* slot = imageSlot(image, kAreaChar, index);
    if (slot == nullptr) return;
    storeShared(&slot[0], static_cast<uint8_t>(value));
    storeShared(&slot[kCharOldOffset], static_cast<uint8_t>(value));
}

}  // extern "C"
