// The scan cycle of the test model: the cycle body (everything but the wait), and the
// time a program takes from its start to STOP with its start-up report printed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "runtime/executive/executive.h"
#include "tests/support/program_run.h"
#include "tests/support/test_image.h"

namespace {

void CycleBody(benchmark::State& state) {
    qvtest::TestImage image;
    if (!image.ok()) {
        state.SkipWithError("no image");
        return;
    }
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    behaviorsInit();
    timeCycleInitialization(simuperiod);
    *execstatus = qv::kStatusRun;
    execstatus[1] = qv::kStatusRun;
    timeNow = static_cast<double>(microSecondsNow());
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::runCycleBody());
        qv::advanceCycleCounter();
    }
}
BENCHMARK(CycleBody);

// From the program's start until its image shows STOP and its console the status line.
void StartToStop(benchmark::State& state) {
    const std::string program = "test_model_r" + std::to_string(QV_REVISION);
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<qvtest::ProgramRun>(program, "bench");
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        run->start();
        bool stopped = false;
        while (!stopped && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
            stopped = run->console().find("to STOP\n") != std::string::npos;
            if (!stopped) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        state.PauseTiming();
        if (!stopped) state.SkipWithError("the program did not reach STOP");
        run->end();
        run.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(StartToStop)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
