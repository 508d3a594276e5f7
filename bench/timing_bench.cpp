// How closely the scan cycle keeps its period: the real cycle of the test model, waits
// included, timed on the monotonic clock at the start of every cycle. Run it as is for the
// default pacing, and with QV_REALTIME=1 (or QV_SPEED) in the environment for the others.
//
// Counters, microseconds: mean_error (mean measured period minus the period), and the
// lateness of cycle k, its start minus (origin + k periods), the origin chosen so that
// the earliest cycle is on time: p50, p99 and max.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "runtime/debug/qv_debug.h"
#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"
#include "tests/support/test_image.h"

namespace {

void startPacingOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    qv::StartupEnvironment environment;
    if (!qv::readStartupEnvironment(environment)) std::exit(255);
    qv::startPacing(environment.pacing);
}

void PeriodKeeping(benchmark::State& state) {
    const auto period = static_cast<uint32_t>(state.range(0));
    startPacingOnce();
    qvtest::TestImage image;
    if (!image.ok()) {
        state.SkipWithError("no image");
        return;
    }
    // The trace file is opened once, as in a running program.
    qv::tracename = qv::platform::temporaryDirectory() + "/qv_bench_timing.trc";
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    behaviorsInit();
    timeCycleInitialization(simuperiod);
    qv::storeShared(simuperiod, static_cast<float>(period));
    qv::resetUsablePeriod(period);
    qv::storeShared(execstatus, qv::kStatusRun);
    execstatus[1] = qv::kStatusRun;
    qv::enterRealtimeWhenAsked();
    timeNow = static_cast<double>(qv::scheduleNow());

    std::vector<uint64_t> starts;
    starts.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        starts.push_back(qv::platform::monotonicNanoseconds());
        qv::runCycle();
    }
    if (starts.size() < 2) return;

    const double periodNs = period * 1000.0;
    double origin = static_cast<double>(starts[0]);
    for (std::size_t k = 0; k < starts.size(); ++k) origin = std::min(origin, starts[k] - k * periodNs);
    std::vector<double> lateness;
    for (std::size_t k = 0; k < starts.size(); ++k) lateness.push_back((starts[k] - k * periodNs - origin) / 1000.0);
    std::sort(lateness.begin(), lateness.end());
    auto percentile = [&](double p) { return lateness[static_cast<std::size_t>(p * (lateness.size() - 1))]; };
    const double meanPeriod = static_cast<double>(starts.back() - starts.front()) / (starts.size() - 1);
    state.counters["mean_error_us"] = (meanPeriod - periodNs) / 1000.0;
    state.counters["p50_us"] = percentile(0.50);
    state.counters["p99_us"] = percentile(0.99);
    state.counters["max_us"] = lateness.back();
    closeTrace();
}
BENCHMARK(PeriodKeeping)->Arg(1000)->Iterations(5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PeriodKeeping)->Arg(10000)->Iterations(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PeriodKeeping)->Arg(50000)->Iterations(200)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
