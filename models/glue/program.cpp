// The model side of the contract with the runtime, the same in every program but for
// the constants of `kProgram`: slot counts, the walk past the control blocks, the
// binding of the control variables and of the top model's interface, the start-up and
// per-cycle entry points, the generated initial values and the (empty) object table.
#include "models/glue/program.h"

#include "models/components/leaf_scheme.h"
#include "products/qv_products.h"
#include "sdk/qv_model.h"

extern "C" {
ActorProductEntry TableActeursProduits[1] = {};
int32_t NbActeurs = 0;
int32_t NbProduits = 0;
int32_t NbActeursEtProduits = 0;
}

namespace qv::models {
namespace {

void initialiseTaskname(const char* name) {
    if constexpr (kRevision != 1) QV_Char_Init(memHeader, kTasknameSlot, kTasknameCapacity >> 8);
    QV_Char_Init(memHeader, kTasknameSlot + 1, kTasknameCapacity & 0xFF);
    int32_t k = 0;
    for (; name[k] != '\0' && k < kTasknameCapacity; ++k)
        QV_Char_Init(memHeader, kTasknameSlot + 3 + k, static_cast<unsigned char>(name[k]));
    if constexpr (kRevision != 1)
        if (k < kTasknameCapacity) QV_Char_Init(memHeader, kTasknameSlot + 3 + k, 0);
}

}  // namespace
}  // namespace qv::models

extern "C" {

using qv::models::kProgram;

void memorySizeInit(int32_t* minSizes, int32_t* maxSizes, int32_t* memSizes) {
    for (int area = 0; area < qv::kAreaCount; ++area) {
        minSizes[area] = 0;
        maxSizes[area] = kProgram.slots[area];
        memSizes[area] = kProgram.slots[area];
    }
}

void memoryStartInit(QV_Bases* bases) {
    using namespace qv;
    bases->boolBase += static_cast<intptr_t>(minBool + kBoolControlSlots) * kBoolSlotSize;
    bases->intBase += static_cast<intptr_t>(minInt + kIntControlSlots) * kIntSlotSize;
    bases->realBase += static_cast<intptr_t>(minFloat + kRealControlSlots) * kRealSlotSize;
    bases->charBase += static_cast<intptr_t>(minChar + kCharControlSlots) * kCharSlotSize;
}

void inputOutputVariablesInit(void) {
    qv::models::bindInterface(*kProgram.interface);
    qv::models::bindInterface(*kProgram.intInterface);
}

int32_t behaviorsInit(void) {
    const int32_t saved = self_num;
    *kProgram.topNum = self_num;
    inputOutputVariablesInit();
    kProgram.init();
    self_num = saved;
    return 0;
}

int32_t behaviorsStep(void) {
    const int32_t saved = self_num;
    lv_iteration_step = 0;
    inputOutputVariablesInit();
    *kProgram.topNum = self_num;
    const int32_t result = kProgram.step();
    if (result != 0) return result;
    self_num = saved;
    return 0;
}

void globalesInit(void) {}

void variablesInitialization(void) {
    using namespace qv;
    QV_Float_Init(memHeader, kSimuperiodSlot, kProgram.period);
    models::initialiseTaskname(kProgram.taskname);
    QV_Bool_Init(memHeader, kAllowpreconditionsSlot, 1);
    QV_Bool_Init(memHeader, kAllowpostconditionsSlot, 1);
    if constexpr (kRevision == 1) {
        // The location breakpoint lists' first slots, then the model's own further values.
        const int32_t exec = kLayout.execstatusSlot;
        QV_Int_Init(memHeader, exec + kBpnolineFromExec, kRevision1BreakpointListSize);
        QV_Int_Init(memHeader, exec + kBpnoinstanceFromExec, kRevision1BreakpointListSize);
        for (const models::InitialValue& v : kProgram.initialValues) {
            if (v.area == kAreaBool) QV_Bool_Init(memHeader, v.slot, v.value);
            if (v.area == kAreaInt) QV_Int_Init(memHeader, v.slot, v.value);
        }
    }
}

// The control variables sit at the same slots in every model: the SDK's binding serves.
void controlVariablesAccessInitialization(void) { QV_model_bind_control_variables(); }

void timeCycleInitialization(float* period) { qv::storeShared(period, kProgram.period); }

void initStartingMode(int32_t* status) { qv::storeShared(status, qv::kStatusStop); }

#if QV_REVISION == 1
void initExecutionMode(unsigned char* delay) {
    qv::storeShared(delay, static_cast<uint8_t>(qv::loadShared(delay) & ~qv::kBoolCurrent));
}
#endif

int32_t getSignature(void) { return kProgram.signature; }

int32_t getGenerationTime(void) { return kProgram.generationTime; }

// Initial values by absolute slot: current and old value alike.
void QV_Bool_Init(unsigned char* image, int32_t index, int32_t value) {
    using namespace qv;
    unsigned char* slot = qv::imageSlot(image, kAreaBool, index);
    if (slot == nullptr) return;
    const uint8_t bits = (value & 1) ? (kBoolCurrent | kBoolOld) : 0;
    storeShared(slot, static_cast<uint8_t>((loadShared(slot) & ~(kBoolCurrent | kBoolOld)) | bits));
}

void QV_Int_Init(unsigned char* image, int32_t index, int32_t value) {
    using namespace qv;
    unsigned char* slot = qv::imageSlot(image, kAreaInt, index);
    if (slot == nullptr) return;
    auto* words = reinterpret_cast<int32_t*>(slot);
    storeShared(&words[0], value);
    storeShared(&words[1], value);
}

void QV_Float_Init(unsigned char* image, int32_t index, float value) {
    using namespace qv;
    unsigned char* slot = qv::imageSlot(image, kAreaReal, index);
    if (slot == nullptr) return;
    auto* words = reinterpret_cast<float*>(slot);
    storeShared(&words[0], value);
    storeShared(&words[1], value);
}

void QV_Char_Init(unsigned char* image, int32_t index, int32_t value) {
    using namespace qv;
    unsigned char* slot = qv::imageSlot(image, kAreaChar, index);
    if (slot == nullptr) return;
    storeShared(&slot[0], static_cast<uint8_t>(value));
    storeShared(&slot[kCharOldOffset], static_cast<uint8_t>(value));
}

}  // extern "C"
