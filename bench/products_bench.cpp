// The product step over a growing number of present products, from 10 to 10,000: laid
// out on a floor in a grid, each resting on the floor (one actor contact per product) and
// one in ten touching its neighbour; or scattered through a volume that grows with their
// number, turned any way, about one in ten touching another. The models themselves do
// nothing. Revision 3 asks a product's contact filter about every present object, so
// the scattered products there come with and without a filter.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

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
BENCHMARK(BM_ProductsStep)->RangeMultiplier(10)->Range(10, 10000)->Arg(3000)->Unit(benchmark::kMicrosecond);

// Unit boxes turned any way, 20 cubic units of room each: about one in ten touches another.
void buildScattered(int32_t products, bool filtered) {
    std::vector<SceneObject> kinds(static_cast<std::size_t>(products),
                                   SceneObject{20, idleModel, filtered ? acceptAll : nullptr, QV_PRESENT, 0});
    qvtest::buildScene({SceneObject{10}, SceneObject{11}}, kinds);
    const double side = std::cbrt(20.0 * products);
    qvtest::placeBox(0, -1, -1, -2, side + 2, side + 2, 1);  // a floor below them all
    qvtest::placeBox(1, -50, -50, 0, 1, 1, 1);
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> spot(0, side), angle(-3.14, 3.14);
    const QV_Vector one{1, 1, 1};
    for (int32_t i = 0; i < products; ++i) {
        QV_Matrix m = mulMatrix_with_(mRotationZ(angle(rng)), one, mRotationX(angle(rng)), one);
        m.e[3] = spot(rng);
        m.e[7] = spot(rng);
        m.e[11] = spot(rng);
        qvtest::storeMatrix(NbActeurs + i, m);
    }
}

void BM_ProductsStepScattered(benchmark::State& state) {
    buildScattered(static_cast<int32_t>(state.range(0)), false);
    for (auto _ : state) productsStep();
    state.counters["products"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ProductsStepScattered)->RangeMultiplier(10)->Range(10, 10000)->Arg(3000)->Unit(benchmark::kMicrosecond);

#if QV_REVISION == 3
void BM_ProductsStepScatteredFiltered(benchmark::State& state) {
    buildScattered(static_cast<int32_t>(state.range(0)), true);
    for (auto _ : state) productsStep();
    state.counters["products"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ProductsStepScatteredFiltered)->RangeMultiplier(10)->Range(10, 1000)->Arg(3000)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
