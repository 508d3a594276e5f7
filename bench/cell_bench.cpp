// The manipulator cell (revision 1): one evolution of the whole tree (the walk past the
// control blocks and behaviorsStep), and the whole-area freeze over the cell's slots.
#include <benchmark/benchmark.h>

#include "models/manipulateur/mdl_deplacement.h"
#include "stdlib/function_blocks.h"
#include "tests/models/model_image.h"

namespace {

using qvtest::ModelImage;

void put(unsigned char* slot, bool v) { *slot = static_cast<unsigned char>(v ? *slot | 1 : *slot & ~1); }
bool on(const unsigned char* slot) { return (*slot & qv::kBoolCurrent) != 0; }

void evolveOnce() {
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    benchmark::DoNotOptimize(behaviorsStep());
    ModelImage::nextCycle();
}

// The cell at rest, every cylinder retracted: the sequencer waits for a cycle start.
ModelImage& cellAtRest() {
    static ModelImage image(qv::symbols::kManipulateurSymbols);
    for (const char* sw : {"FCGXR", "FCPXR", "FCVRR", "FCVZH"}) put(image.slot(sw), true);
    image.evolve(5);
    return image;
}

void BM_CellAtRest(benchmark::State& state) {
    ModelImage& image = cellAtRest();
    for (auto _ : state) evolveOnce();
    if (!image.on("OKcycle")) state.SkipWithError("the cell left its rest");
}

// The cell moving to and fro between positions 0 and 7 with the three bistable cylinders
// answering at once: every evolution runs the whole-area freeze (which the inputs need)
// and then the tree.
void BM_CellMovingWithFreeze(benchmark::State& state) {
    ModelImage& image = cellAtRest();
    struct Axis {
        unsigned char *retract, *extend, *retracted, *extended;
    };
    const Axis axes[] = {
        {image.slot("EVGXR"), image.slot("EVGXS"), image.slot("FCGXR"), image.slot("FCGXS")},
        {image.slot("EVPXR"), image.slot("EVPXS"), image.slot("FCPXR"), image.slot("FCPXS")},
        {image.slot("EVVRR"), image.slot("EVVRS"), image.slot("FCVRR"), image.slot("FCVRS")},
    };
    auto* start = reinterpret_cast<int32_t*>(image.slot("Pos_depart"));
    put(image.slot("DCY"), true);
    int64_t k = 0;
    for (auto _ : state) {
        *start = (k++ / 20) % 2 == 0 ? 7 : 0;
        withoutDelay = 1;
        QV_freeze_memory(1);
        evolveOnce();
        for (const Axis& a : axes) {
            if (on(a.extend)) put(a.retracted, false), put(a.extended, true);
            if (on(a.retract)) put(a.extended, false), put(a.retracted, true);
        }
    }
}

// The whole-area freeze when nothing changed since the last one.
void BM_FreezeMemoryNothingChanged(benchmark::State& state) {
    cellAtRest();
    QV_freeze_memory(1);
    for (auto _ : state) QV_freeze_memory(1);
    if (nbStateModification != 0) state.SkipWithError("something changed");
}

BENCHMARK(BM_CellAtRest);
BENCHMARK(BM_CellMovingWithFreeze);
BENCHMARK(BM_FreezeMemoryNothingChanged);

}  // namespace
