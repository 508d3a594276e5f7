// The cycle body of one model: the benchmark's 200 assignments and 20 block calls, either
// as qvc translated them from Structured Text (with or without its statements' breakpoint
// checks) or as written on the SDK: the program is built once with each, and
// scripts/bench.sh sets their medians side by side. The
// image is laid out in memory as the executive lays it out; each iteration is one
// evolution (the walk past the control blocks, behaviorsStep, the release of the
// temporaries), with the inputs changing every cycle so that the blocks count.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "runtime/debug/qv_debug.h"
#include "runtime/executive/executive.h"
#include "stdlib/qv_stdlib.h"

namespace {

void writeHeaderWord(unsigned char* image, int32_t offset, uint32_t value) { std::memcpy(image + offset, &value, sizeof value); }

// The model's image, laid out and started as a program starts it.
std::unique_ptr<unsigned char[]> startModel() {
    using namespace qv;
    memorySizeInit(minSize, maxSize, memSize);
    const AreaOffsets offsets = computeAreaOffsets(kLayout, memSize);
    auto bytes = std::make_unique<unsigned char[]>(offsets.end);
    unsigned char* image = bytes.get();
    writeHeaderWord(image, kImageSizeOffset, offsets.end);
    for (int area = 0; area < kAreaCount; ++area)
        writeHeaderWord(image, kLayout.countsOffset + 4 * area, static_cast<uint32_t>(memSize[area]));
    const uint32_t areaOffsets[] = {offsets.offsetBool, offsets.offsetInt, offsets.offsetFloat, offsets.offsetChar};
    for (int area = 0; area < kAreaCount; ++area) writeHeaderWord(image, kLayout.offsetsOffset + 4 * area, areaOffsets[area]);
    memHeader = image;
    initPointersValues(memHeader, &mem);
    computeEffectiveBounds();
    controlVariablesAccessInitialization();
    *cycleCounterSlot() = 1;
    timeNow = 1000000.0;
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    behaviorsInit();
    timeCycleInitialization(simuperiod);
    globalesInit();
    variablesInitialization();
    initStartingMode(execstatus);
    return bytes;
}

// The model's first boolean slots are its inputs In0..In3, in both forms.
void setInput(int k, bool on) {
    QV_Bases first = mem;
    memoryStartInit(&first);
    unsigned char* slot = first.boolBase + 2 * k;
    *slot = static_cast<unsigned char>(on ? *slot | 1u : *slot & ~1u);
}

void evolve() {
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    benchmark::DoNotOptimize(behaviorsStep());
    free_all_alloc();
    ++*qv::cycleCounterSlot();
}

void runCycles(benchmark::State& state) {
    int64_t k = 0;
    for (auto _ : state) {
        setInput(0, (k & 1) != 0);
        setInput(1, (k & 2) != 0);
        setInput(2, (k & 4) != 0);
        setInput(3, (k % 500) == 0);  // the counters restart now and then
        evolve();
        ++k;
    }
    state.SetItemsProcessed(state.iterations());
}

// No breakpoint listed: what every cycle of a program costs.
void BM_Cycle(benchmark::State& state) {
    auto image = startModel();
    runCycles(state);
}

// One breakpoint listed, on no statement of the model: each statement's check then reads
// the list.
void BM_CycleOneBreakpointElsewhere(benchmark::State& state) {
    auto image = startModel();
    bpnoline[3] = 999999;
    bpnoinstance[3] = 1;
    *bpnoline = 1;
    runCycles(state);
    *bpnoline = 0;
}

BENCHMARK(BM_Cycle);
BENCHMARK(BM_CycleOneBreakpointElsewhere);

}  // namespace
