// One evolution of a program's model (the walk past the control blocks and
// behaviorsStep), with a small plant answering its orders. Built once per program; each
// benchmark names the situation it keeps the model in.
#include <benchmark/benchmark.h>

#include <string_view>

#include "models/glue/program.h"
#include "stdlib/function_blocks.h"
#include "tests/models/model_image.h"

namespace {

using qvtest::ModelImage;

// The program's name: its executable's file name without the extension.
std::string_view programName() {
    const std::string_view task = qv::models::kProgram.taskname;
    return task.substr(0, task.rfind('.'));
}

const qv::symbols::ProgramSymbols& programSymbols() { return *qv::symbols::findProgram(programName()); }

bool on(const unsigned char* slot) { return (*slot & qv::kBoolCurrent) != 0; }
void put(unsigned char* slot, bool v) { *slot = static_cast<unsigned char>(v ? *slot | 1 : *slot & ~1); }

void evolveOnce() {
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    benchmark::DoNotOptimize(behaviorsStep());
    ModelImage::nextCycle();
}

// A cylinder reversing every 100 evolutions without reaching a sensor: steps 20 and 22
// in turn, two timers running in every evolution, no fault.
void BM_BistableCylinderMoving(benchmark::State& state) {
    ModelImage image(programSymbols());
    unsigned char* dr = image.slot("DR");
    unsigned char* ds = image.slot("DS");
    put(image.slot("CR"), true);
    image.evolve(2);
    put(image.slot("CR"), false);
    int64_t k = 0;
    for (auto _ : state) {
        const bool extend = (k++ / 100) % 2 == 0;
        put(ds, extend);
        put(dr, !extend);
        evolveOnce();
    }
    if (!image.on("_X_20") && !image.on("_X_22")) state.SkipWithError("the cylinder stopped moving");
}

// The four timer calls of the moving cylinder alone (two running, two idle): the share
// of the library in an evolution.
void BM_BistableCylinderTimersAlone(benchmark::State& state) {
    ModelImage image(programSymbols());
    auto timer = [&image](const char* name) { return reinterpret_cast<int32_t*>(image.slot(name)); };
    int32_t* const preset[] = {timer("Tinertie"), timer("Tinertie"), timer("TTL"), timer("TTL")};
    int32_t* const elapsed[] = {timer("t1"), timer("t3"), timer("t5"), timer("t7")};
    int32_t* const memo[] = {timer("t2"), timer("t4"), timer("t6"), timer("t8")};
    int64_t k = 0;
    for (auto _ : state) {
        const int extending = (k++ / 100) % 2 == 0 ? 1 : 0;
        const int running[] = {extending, 1 - extending, extending, 1 - extending};
        for (int t = 0; t < 4; ++t) benchmark::DoNotOptimize(ton_Q(running[t], preset[t], elapsed[t], memo[t]));
        ModelImage::nextCycle();
    }
}

// A retracted cylinder at rest: no step changes, every timer idle.
void BM_BistableCylinderAtRest(benchmark::State& state) {
    ModelImage image(programSymbols());
    put(image.slot("CR"), true);
    image.evolve(2);
    for (auto _ : state) evolveOnce();
}

// The axis and the vacuum answer at once; picks and places follow each other.
void BM_PickPlaceUnitCycling(benchmark::State& state) {
    ModelImage image(programSymbols());
    unsigned char *vzs = image.slot("VZS"), *vtm = image.slot("VTM"), *vta = image.slot("VTA");
    unsigned char *down = image.slot("CR_VZS"), *up = image.slot("CR_VZR"), *vacuum = image.slot("vacuostat");
    unsigned char *okPrise = image.slot("OKprise"), *okPose = image.slot("OKpose");
    unsigned char *dprise = image.slot("dprise"), *dpose = image.slot("dpose");
    put(up, true);
    image.evolve(2);
    for (auto _ : state) {
        put(down, on(vzs));
        put(up, !on(vzs));
        if (on(vtm)) put(vacuum, true);
        if (on(vta)) put(vacuum, false);
        put(dprise, on(okPose));
        put(dpose, on(okPrise));
        evolveOnce();
    }
    if (image.on("def_prisepose")) state.SkipWithError("the sequence faulted");
}

// Gripping and releasing every three evolutions.
void BM_SuctionCupCycling(benchmark::State& state) {
    ModelImage image(programSymbols());
    unsigned char *dr = image.slot("DR"), *ds = image.slot("DS");
    image.evolve(2);
    int64_t k = 0;
    for (auto _ : state) {
        const bool grip = (k++ / 3) % 2 == 0;
        put(ds, grip);
        put(dr, !grip);
        evolveOnce();
    }
}

// The same with a location breakpoint listed that never matches (another instance): every
// step activation then looks through the breakpoint list.
void BM_SuctionCupCyclingBreakpointElsewhere(benchmark::State& state) {
    *bpnoline = 1;
    *qv::nextIntSlot(bpnoline, 1) = 21;
    *qv::nextIntSlot(bpnoinstance, 1) = 2;
    BM_SuctionCupCycling(state);
    *bpnoline = 0;
}

// Registers the benchmarks of the program this binary is built with.
const bool registered = [] {
    const std::string_view program = programName();
    if (program == "bistable_cylinder") {
        benchmark::RegisterBenchmark("BM_BistableCylinderMoving", BM_BistableCylinderMoving);
        benchmark::RegisterBenchmark("BM_BistableCylinderAtRest", BM_BistableCylinderAtRest);
        benchmark::RegisterBenchmark("BM_BistableCylinderTimersAlone", BM_BistableCylinderTimersAlone);
    } else if (program == "pick_place_unit") {
        benchmark::RegisterBenchmark("BM_PickPlaceUnitCycling", BM_PickPlaceUnitCycling);
    } else if (program == "suction_cup") {
        benchmark::RegisterBenchmark("BM_SuctionCupCycling", BM_SuctionCupCycling);
        benchmark::RegisterBenchmark("BM_SuctionCupCyclingBreakpointElsewhere", BM_SuctionCupCyclingBreakpointElsewhere);
    }
    return true;
}();

}  // namespace
