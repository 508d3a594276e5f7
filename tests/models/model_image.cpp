#include "tests/models/model_image.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "runtime/debug/qv_debug.h"
#include "stdlib/qv_stdlib.h"

namespace qvtest {
namespace {

void writeHeaderWord(unsigned char* image, int32_t offset, uint32_t value) {
    std::memcpy(image + offset, &value, sizeof value);
}

}  // namespace

// The clock that timers read to see a new cycle: the cycle counter in revision 3, the
// scheduled cycle start in revisions 1 and 2.
void ModelImage::nextCycle() {
    if constexpr (qv::kRevision == 3)
        ++*qv::cycleCounterSlot();
    else
        timeNow += static_cast<double>(*simuperiod);
}

ModelImage::ModelImage(const qv::symbols::ProgramSymbols& symbols) : symbols_(symbols) {
    using namespace qv;
    memorySizeInit(minSize, maxSize, memSize);
    const AreaOffsets offsets = computeAreaOffsets(kLayout, memSize);
    bytes_ = std::make_unique<unsigned char[]>(offsets.end);  // zeroed: a fresh image
    unsigned char* image = bytes_.get();
    writeHeaderWord(image, kImageSizeOffset, offsets.end);
    for (int area = 0; area < kAreaCount; ++area)
        writeHeaderWord(image, kLayout.countsOffset + 4 * area, static_cast<uint32_t>(memSize[area]));
    const uint32_t areaOffsets[] = {offsets.offsetBool, offsets.offsetInt, offsets.offsetFloat, offsets.offsetChar};
    for (int area = 0; area < kAreaCount; ++area)
        writeHeaderWord(image, kLayout.offsetsOffset + 4 * area, areaOffsets[area]);

    memHeader = image;
    initPointersValues(memHeader, &mem);
    computeEffectiveBounds();

    controlVariablesAccessInitialization();
    *cycleCounterSlot() = kRevision == 3 ? 1 : 0;
    timeNow = 1000000.0;
    startUp();
}

ModelImage::~ModelImage() {
    free_all_alloc();
    memHeader = nullptr;
    mem = QV_Bases{nullptr, nullptr, nullptr, nullptr};
    self = mem;
}

void ModelImage::startUp() {
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    behaviorsInit();
    if constexpr (qv::kRevision == 1) QV_freeze_memory(0);
    timeCycleInitialization(simuperiod);
    globalesInit();
    variablesInitialization();
    initStartingMode(execstatus);
    if constexpr (qv::kRevision == 1) {
        initExecutionMode(qv_delay);
        QV_freeze_int(execstatus);
    }
}

int32_t ModelImage::evolve() {
    LIBFB_ERR = 0;
    // Revision 1 freezes the whole image at the cycle start: the model reads its inputs
    // through the values frozen there.
    if constexpr (qv::kRevision == 1) {
        withoutDelay = (*qv_delay & qv::kBoolCurrent) ? 0 : 1;
        QV_freeze_memory(1);
    }
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    const int32_t result = behaviorsStep();
    free_all_alloc();
    nextCycle();
    return result;
}

bool ModelImage::evolve(int n) {
    for (int k = 0; k < n; ++k)
        if (evolve() != 0) return false;
    return true;
}

unsigned char* ModelImage::slot(const qv::symbols::Symbol& symbol) const {
    using namespace qv;
    switch (symbol.area) {
        case kAreaBool: return boolSlot(mem.boolBase, symbol.slot);
        case kAreaInt: return intSlotBytes(mem.intBase, symbol.slot);
        case kAreaReal: return realSlotBytes(mem.realBase, symbol.slot);
        default: return charSlot(mem.charBase, symbol.slot);
    }
}

unsigned char* ModelImage::slot(std::string_view name) const {
    const qv::symbols::Symbol* symbol = qv::symbols::findSymbol(symbols_, name);
    if (symbol == nullptr) throw std::invalid_argument("no variable " + std::string(name));
    return slot(*symbol);
}

bool ModelImage::on(std::string_view name) const { return (*slot(name) & qv::kBoolCurrent) != 0; }

void ModelImage::set(std::string_view name, bool value) {
    unsigned char* s = slot(name);
    *s = static_cast<unsigned char>(value ? *s | qv::kBoolCurrent : *s & ~qv::kBoolCurrent);
}

void ModelImage::force(std::string_view name, bool value) {
    unsigned char* s = slot(name);
    const unsigned bits = value ? qv::kBoolCurrent | qv::kBoolOld : 0u;
    *s = static_cast<unsigned char>((*s & ~(qv::kBoolCurrent | qv::kBoolOld)) | bits | qv::kBoolForced);
}

void ModelImage::release(std::string_view name) {
    unsigned char* s = slot(name);
    *s = static_cast<unsigned char>(*s & ~qv::kBoolForced);
}

void ModelImage::setInteger(std::string_view name, int32_t value) {
    *reinterpret_cast<int32_t*>(slot(name)) = value;
}

int32_t ModelImage::integer(std::string_view name, int element) const {
    const qv::symbols::Symbol* symbol = qv::symbols::findSymbol(symbols_, name);
    if (symbol == nullptr) throw std::invalid_argument("no variable " + std::string(name));
    const int32_t index = symbol->slot + (symbol->type == qv::symbols::Type::Time ? 2 + element : 0);
    return *qv::intSlot(mem.intBase, index);
}

}  // namespace qvtest
