// The product step over a growing number of present products laid out on a floor in a
// grid, each resting on the floor (one actor contact per product) and one in ten touching
// its neighbour; the models themselves do nothing.
#include <benchmark/benchmark.h>

#include <cmath>

#include "tests/products/scene.h"

namespace {

using qvtest::SceneObject;

int32_t idleModel() { return 0; }
int32_t acceptAll() { return 1; }

void buildGrid(int32_t products) {
    const auto side = static_cast<int32_t>(std::ceil(std::sqrt(static_cast<double>(products))));
    const double spacing = 2.0;
    std::vector<SceneObject> kinds(static_cast<std::size_t>(products), SceneObject{20, idleModel, acceptAll, QV_PRESENT, 0});
    qvtest::buildScene({SceneObject{10}, SceneObject{11}, SceneObject{12}}, kinds);
    qvtest::placeBox(0, -1, -1, -1, spacing * side + 2, spacing * side + 2, 1);  // the floor
    qvtest::placeBox(1, -50, -50, 0, 1, 1, 1);
    qvtest::placeBox(2, 5000, 0, 0, 1, 1, 1);
    for (int32_t i = 0; i < products; ++i) {
        const double x = spacing * (i % side) + (i % 10 == 1 ? -1.0 : 0.0);  // touches the one before
        qvtest::placeBox(NbActeurs + i, x, spacing * (i / side), 0, 1, 1, 1);
    }
}

void BM_ProductsStep(benchmark::State& state) {
    buildGrid(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) productsStep();
    state.counters["products"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ProductsStep)->Arg(10)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMicrosecond);

}  // namespace
