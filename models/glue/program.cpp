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
    QV_model_init_control_values(kProgram.period, kProgram.taskname);
    if constexpr (kRevision == 1) {
        // The model's own further values.
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

// Initial values by absolute slot: current and old value alike, as the SDK writes them.
void QV_Bool_Init(unsigned char* image, int32_t index, int32_t value) { QV_model_init_bool(image, index, value); }
void QV_Int_Init(unsigned char* image, int32_t index, int32_t value) { QV_model_init_int(image, index, value); }
void QV_Float_Init(unsigned char* image, int32_t index, float value) { QV_model_init_float(image, index, value); }
void QV_Char_Init(unsigned char* image, int32_t index, int32_t value) { QV_model_init_char(image, index, value); }

}  // extern "C"
