// Contact detection: a pair that the sphere rejection turns down, and an overlapping pair
// that pays for the whole projection test; with an established library's oriented-box
// test on the same boxes as the reference when it is available.
#include <benchmark/benchmark.h>

#include "geometry/geometry.h"
#include "tests/products/scene.h"

#ifdef QV_HAVE_FCL
#include <fcl/math/bv/OBB.h>
#endif

namespace {

using qvtest::SceneObject;

QV_Matrix turnedBox(double ax, double ay, double az, QV_Vector sizes, QV_Vector at) {
    const QV_Matrix r = qv::multiply(qv::rotationZMatrix(qv::radians(az)),
                                     qv::multiply(qv::rotationYMatrix(qv::radians(ay)), qv::rotationXMatrix(qv::radians(ax))));
    QV_Matrix m = qv::multiply(r, qv::scaleMatrix(sizes));
    m.e[3] = at.x;
    m.e[7] = at.y;
    m.e[11] = at.z;
    return m;
}

// Objects 0 and 1 overlap (turned boxes); object 2 is far from both.
void buildPairs() {
    qvtest::buildScene({SceneObject{10}, SceneObject{11}, SceneObject{12}}, {});
    qvtest::storeMatrix(0, turnedBox(10, 20, 30, {1.0, 0.8, 0.6}, {0, 0, 0}));
    qvtest::storeMatrix(1, turnedBox(-35, 50, 15, {0.7, 1.1, 0.5}, {0.4, 0.3, 0.2}));
    qvtest::storeMatrix(2, turnedBox(5, 5, 5, {1.0, 1.0, 1.0}, {20, 0, 0}));
    productsStep();  // stores the boxes
}

void BM_IntersectsSphereRejected(benchmark::State& state) {
    buildPairs();
    for (auto _ : state) benchmark::DoNotOptimize(intersects(2, 0));
    if (intersects(2, 0) != 0) state.SkipWithError("pair expected apart");
}
BENCHMARK(BM_IntersectsSphereRejected);

void BM_IntersectsOverlapping(benchmark::State& state) {
    buildPairs();
    for (auto _ : state) benchmark::DoNotOptimize(intersects(1, 0));
    if (intersects(1, 0) != 1) state.SkipWithError("pair expected in contact");
}
BENCHMARK(BM_IntersectsOverlapping);

#ifdef QV_HAVE_FCL
// The same boxes as oriented boxes (centre, axes, half sizes), read from the same slots.
fcl::OBB<double> obbOf(int32_t index) {
    const QV_Matrix m = qvtest::storedMatrix(index);
    const QV_Vector d = qv::sizesOf(m);
    fcl::OBB<double> b;
    for (int k = 0; k < 3; ++k) {
        const double length = qv::component(d, k);
        b.axis.col(k) << m.e[k] / length, m.e[4 + k] / length, m.e[8 + k] / length;
    }
    const QV_Vector c = qv::centreOf(m);
    b.To << c.x, c.y, c.z;
    b.extent << d.x / 2, d.y / 2, d.z / 2;
    return b;
}

void BM_ReferenceObbApart(benchmark::State& state) {
    buildPairs();
    const fcl::OBB<double> a = obbOf(2), b = obbOf(0);
    for (auto _ : state) benchmark::DoNotOptimize(a.overlap(b));
    if (a.overlap(b)) state.SkipWithError("pair expected apart");
}
BENCHMARK(BM_ReferenceObbApart);

void BM_ReferenceObbOverlapping(benchmark::State& state) {
    buildPairs();
    const fcl::OBB<double> a = obbOf(1), b = obbOf(0);
    for (auto _ : state) benchmark::DoNotOptimize(a.overlap(b));
    if (!a.overlap(b)) state.SkipWithError("pair expected in contact");
}
BENCHMARK(BM_ReferenceObbOverlapping);
#endif

}  // namespace

namespace {
void BM_Inverse(benchmark::State& state) {
    const QV_Matrix m = turnedBox(10, 20, 30, {1.0, 0.8, 0.6}, {1, 2, 3});
    for (auto _ : state) benchmark::DoNotOptimize(qv::inverse(m));
}
BENCHMARK(BM_Inverse);
void BM_Multiply(benchmark::State& state) {
    const QV_Matrix m = turnedBox(10, 20, 30, {1.0, 0.8, 0.6}, {1, 2, 3});
    const QV_Matrix n = turnedBox(-10, 50, 30, {1.0, 0.8, 0.6}, {1, 2, 3});
    for (auto _ : state) benchmark::DoNotOptimize(qv::multiply(m, n));
}
BENCHMARK(BM_Multiply);
void BM_LoadMatrix(benchmark::State& state) {
    buildPairs();
    for (auto _ : state) benchmark::DoNotOptimize(qvtest::storedMatrix(0));
}
BENCHMARK(BM_LoadMatrix);
}  // namespace
