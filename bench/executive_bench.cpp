// The scan cycle of the test model: the cycle body (everything but the wait), traced off
// and with the model's variables traced, and the time a program takes from its start to
// STOP with its start-up report printed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "runtime/debug/index_tables.h"
#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"
#include "tests/support/program_run.h"
#include "tests/support/test_image.h"

namespace {

// The test model's own variables as a supervisor lists them for tracing: its five
// booleans and two integers (Blink toggles and Steps counts every cycle).
void listModelVariables() {
    int32_t* bools = qv::debug::indexTable(memHeader, qv::kBoolTraceTableOffset);
    int32_t* ints = qv::debug::indexTable(memHeader, qv::kIntTraceTableOffset);
    for (int32_t k = 0; k < 5; ++k) qv::storeShared(bools + k, minBool + 5 + k);
    for (int32_t k = 0; k < 2; ++k) qv::storeShared(ints + k, minInt + 212 + k);
}

// The cycle body in the state a running program has: started up, the trace file opened
// once at start-up, running; nothing traced (argument 0) or the model's variables traced
// (argument 1), as a supervisor's trace command leaves them.
void CycleBody(benchmark::State& state) {
    qvtest::TestImage image;
    if (!image.ok()) {
        state.SkipWithError("no image");
        return;
    }
    std::string unique = image.name();  // a unique image name makes a unique file name
    for (char& c : unique)
        if (c == '/') c = '_';
    const std::string traceFile = qv::platform::temporaryDirectory() + "/bench_trace" + unique + ".txt";
    qv::tracename = traceFile;
    openTrace();
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    behaviorsInit();
    timeCycleInitialization(simuperiod);
    *execstatus = qv::kStatusRun;
    execstatus[1] = qv::kStatusRun;
    timeNow = static_cast<double>(microSecondsNow());
    if (state.range(0) == 1) {
        listModelVariables();
        qv::storeShared(traceon, static_cast<uint8_t>(qv::loadShared(traceon) | qv::kBoolCurrent));
    }
    qv::runCycleBody();  // the switch takes effect (revision 3 writes its snapshot once)
    qv::advanceCycleCounter();
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::runCycleBody());
        qv::advanceCycleCounter();
    }
    closeTrace();
    std::remove(traceFile.c_str());
}
BENCHMARK(CycleBody)->ArgName("traced")->Arg(0)->Arg(1);

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
