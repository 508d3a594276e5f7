// The debug services under full tables: the trace recorder with every traced variable
// changing every cycle, against the same lines written with fprintf in the same run; and
// the per-cycle debug calls with all five tables full and nothing changing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "runtime/debug/debug.h"
#include "runtime/platform/platform.h"
#include "tests/debug/memory_image.h"
#include "tests/support/program_run.h"

namespace {

// 1000 listed variables per table, clear of the control blocks; the areas hold them.
constexpr int32_t kFirstListed = 1000;
constexpr int32_t kListed = 1000;
constexpr std::array<int32_t, 4> kCounts = {2100, 2100, 2100, 2100};

void fillTables(qvtest::MemoryImage& image) {
    for (int32_t k = 0; k < kListed; ++k) {
        image.boolTrace()[k] = kFirstListed + k;
        image.intTrace()[k] = kFirstListed + k;
        image.realTrace()[k] = kFirstListed + k;
        image.charTrace()[k] = kFirstListed + k;
        image.boolBreakpoints()[k] = kFirstListed + k;
    }
    for (int32_t k = 0; k < kListed; ++k) {
        const int32_t i = kFirstListed + k;
        image.setInt(i, -1000000 + 4099 * k, -1000000 + 4099 * k);
        image.setReal(i, 0.37f * static_cast<float>(k) - 100.0f, 0.37f * static_cast<float>(k) - 100.0f);
        image.setChar(i, static_cast<unsigned char>(k), static_cast<unsigned char>(k));
    }
}

#if QV_REVISION == 3
// Every listed variable moves away from its old value.
void changeEverything(qvtest::MemoryImage& image) {
    for (int32_t k = 0; k < kListed; ++k) {
        const int32_t i = kFirstListed + k;
        *image.boolSlot(i) ^= 1;
        image.intSlot(i)[0] += 7;
        image.realSlot(i)[0] += 1.25f;
        image.charSlot(i)[0] = static_cast<unsigned char>(image.charSlot(i)[0] + 1);
    }
}

// What the recorder writes for the changes, with fprintf and the formats of the lines.
void fprintfChanges(std::FILE* file, qvtest::MemoryImage& image) {
    const long cycle = *qv::cycleCounterSlot();
    const double time = currentMilliseconds;
    for (int32_t k = 0; k < kListed; ++k) {
        const int32_t i = image.boolTrace()[k];
        const unsigned char b = *image.boolSlot(i);
        if (((b ^ (b >> 1)) & 1) != 0)
            std::fprintf(file, "%ld %.0f B%ld %d:%d\n", cycle, time, static_cast<long>(i), (b >> 1) & 1, b & 1);
    }
    for (int32_t k = 0; k < kListed; ++k) {
        const int32_t i = image.intTrace()[k];
        const int32_t* s = image.intSlot(i);
        if (s[0] != s[1])
            std::fprintf(file, "%ld %.0f I%ld %ld:%ld\n", cycle, time, static_cast<long>(i), static_cast<long>(s[1]),
                         static_cast<long>(s[0]));
    }
    for (int32_t k = 0; k < kListed; ++k) {
        const int32_t i = image.realTrace()[k];
        const float* s = image.realSlot(i);
        if (!(s[0] == s[1]))
            std::fprintf(file, "%ld %.0f F%ld %g:%g\n", cycle, time, static_cast<long>(i), static_cast<double>(s[1]),
                         static_cast<double>(s[0]));
    }
    for (int32_t k = 0; k < kListed; ++k) {
        const int32_t i = image.charTrace()[k];
        const unsigned char* s = image.charSlot(i);
        if (s[0] != s[1]) std::fprintf(file, "%ld %.0f C%ld %d:%d\n", cycle, time, static_cast<long>(i), s[1], s[0]);
    }
}

std::string scratchFile(const char* name) {
    return qv::platform::temporaryDirectory() + "/qv_bench_" + name + "_" + std::to_string(qv::platform::processId());
}

// The recorder's text and fprintf's, for the same changes, must be the same bytes.
bool sameTextAsFprintf(qvtest::MemoryImage& image) {
    const std::string recorded = scratchFile("recorder");
    const std::string printed = scratchFile("fprintf");
    qv::tracename = recorded;
    if (!openTrace()) return false;
    const long header = std::ftell(trace);
    changeEverything(image);
    QV_trace_changes(image.base(), 0);
    std::fclose(trace);
    trace = nullptr;
    std::FILE* file = std::fopen(printed.c_str(), "w");
    if (file == nullptr) return false;
    fprintfChanges(file, image);
    std::fclose(file);
    const std::string a = qvtest::readFile(recorded).substr(static_cast<std::size_t>(header));
    const std::string b = qvtest::readFile(printed);
    std::remove(recorded.c_str());
    std::remove(printed.c_str());
    return !a.empty() && a == b;
}

constexpr const char* kNowhere = "/dev/null";

void TraceRecorderAllChanging(benchmark::State& state) {
    qvtest::MemoryImage image(kCounts);
    fillTables(image);
    currentMilliseconds = 123456.0;
    if (!sameTextAsFprintf(image)) {
        state.SkipWithError("the recorder's text differs from fprintf's");
        return;
    }
    qv::tracename = kNowhere;
    openTrace();
    for (auto _ : state) {
        changeEverything(image);
        QV_trace_changes(image.base(), 0);
    }
    closeTrace();
    state.SetItemsProcessed(state.iterations() * 4 * kListed);
}
BENCHMARK(TraceRecorderAllChanging)->Unit(benchmark::kMicrosecond);

void TraceFprintfAllChanging(benchmark::State& state) {
    qvtest::MemoryImage image(kCounts);
    fillTables(image);
    currentMilliseconds = 123456.0;
    std::FILE* file = std::fopen(kNowhere, "w");
    for (auto _ : state) {
        changeEverything(image);
        fprintfChanges(file, image);
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations() * 4 * kListed);
}
BENCHMARK(TraceFprintfAllChanging)->Unit(benchmark::kMicrosecond);

// The two calls around the behaviours step, tracing on, nothing changing.
void DebugCallsIdle(benchmark::State& state) {
    qvtest::MemoryImage image(kCounts);
    fillTables(image);
    *traceon = 3;
    *execstatus = qv::kStatusRun;
    qv::tracename = kNowhere;
    openTrace();
    for (auto _ : state) {
        QV_manage_debug_informations_pre(image.base());
        QV_manage_debug_informations_post(image.base());
    }
    closeTrace();
}
BENCHMARK(DebugCallsIdle)->Unit(benchmark::kMicrosecond);
#endif

#if QV_REVISION == 2
// Revision 2's single call, tracing on, nothing changing.
void DebugCallIdle(benchmark::State& state) {
    qvtest::MemoryImage image(kCounts);
    fillTables(image);
    *traceon = 1;
    *execstatus = qv::kStatusRun;
    qv::tracename = "/dev/null";
    openTrace();
    for (auto _ : state) QV_manage_debug_informations(image.base());
    closeTrace();
}
BENCHMARK(DebugCallIdle)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
