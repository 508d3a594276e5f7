// Cost of the library's time arithmetic, conversions and string functions per call,
// each with its temporary result and the release of the pool.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "runtime/debug/qv_debug.h"
#include "runtime/revision.h"
#include "stdlib/qv_stdlib.h"

namespace {

// A string of capacity 64 holding `text`, laid out as the library reads it.
std::vector<unsigned char> makeString(const std::string& text) {
    const int slot = qv::kCharSlotSize;
    const int capacity = 64;
    std::vector<unsigned char> s(static_cast<std::size_t>(slot * (3 + capacity)), 0);
    s[0] = s[1] = 0;
    s[slot] = s[slot + 1] = capacity;
    for (std::size_t k = 0; k < text.size(); ++k) s[slot * (3 + k)] = static_cast<unsigned char>(text[k]);
    return s;
}

const std::vector<unsigned char> kText20 = makeString("The quick brown fox ");
const std::vector<unsigned char> kText35 = makeString("jumps over the lazy dog, 35 chars..");
const std::vector<unsigned char> kText50 = makeString("Pack my box with five dozen liquor jugs, then stop");
const std::vector<unsigned char> kNeedle = makeString("liquor");
const std::vector<unsigned char> kNumber = makeString("-12345");

std::array<int32_t, 12> makeTime(int32_t days, int32_t ticks) {
    std::array<int32_t, 12> t{};
    t[6] = days;
    t[9] = ticks;
    return t;
}

void BM_concat(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(concat_OUT(kText20.data(), kText35.data()));
        free_all_alloc();
    }
}
BENCHMARK(BM_concat);

void BM_mid(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(mid_OUT(kText50.data(), 20, 10));
        free_all_alloc();
    }
}
BENCHMARK(BM_mid);

void BM_find(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(find_OUT(kText50.data(), kNeedle.data()));
}
BENCHMARK(BM_find);

void BM_replace(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(replace_OUT(kText50.data(), kText20.data(), 10, 5));
        free_all_alloc();
    }
}
BENCHMARK(BM_replace);

void BM_int_to_string(benchmark::State& state) {
    int32_t value = -32768;
    for (auto _ : state) {
        benchmark::DoNotOptimize(int_to_string_OUT(value));
        free_all_alloc();
        value += 7;
    }
}
BENCHMARK(BM_int_to_string);

void BM_real_to_string(benchmark::State& state) {
    float value = -1.17549435e-38f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(real_to_string_OUT(value));
        free_all_alloc();
        value *= -1.37f;
        if (value > 1.0e30f || value < -1.0e30f) value = 3.14159f;
    }
}
BENCHMARK(BM_real_to_string);

void BM_string_to_int(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(string_to_int_OUT(kNumber.data()));
}
BENCHMARK(BM_string_to_int);

void BM_add_time(benchmark::State& state) {
    const auto a = makeTime(3, 828000000);
    const auto b = makeTime(0, 72000000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(add_time_OUT(a.data(), b.data()));
        free_all_alloc();
    }
}
BENCHMARK(BM_add_time);

// As a scan cycle uses it: several TIME results, one release of the pool at the cycle's
// end (here one per 16 calls).
void BM_add_time_16_per_release(benchmark::State& state) {
    const auto a = makeTime(3, 828000000);
    const auto b = makeTime(0, 72000000);
    unsigned calls = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(add_time_OUT(a.data(), b.data()));
        if ((++calls & 15u) == 0) free_all_alloc();
    }
}
BENCHMARK(BM_add_time_16_per_release);

// The floor of every function with a TIME result: taking its temporary from the pool
// and releasing the pool.
void BM_alloc_int_2(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(alloc_int(2));
        free_all_alloc();
    }
}
BENCHMARK(BM_alloc_int_2);

void BM_sub_dt_dt(benchmark::State& state) {
    const auto a = makeTime(9000, 36000000);
    const auto b = makeTime(9001, 828000000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sub_dt_dt_OUT(a.data(), b.data()));
        free_all_alloc();
    }
}
BENCHMARK(BM_sub_dt_dt);

void BM_real_to_int(benchmark::State& state) {
    float value = -40000.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(real_to_int_OUT(value));
        value += 0.25f;
        if (value > 40000.0f) value = -40000.0f;
    }
}
BENCHMARK(BM_real_to_int);

void BM_word_BCD_to_int(benchmark::State& state) {
    int32_t value = 0x1234;
    for (auto _ : state) {
        benchmark::DoNotOptimize(word_BCD_to_int_OUT(value));
        value ^= 0x0101;
    }
}
BENCHMARK(BM_word_BCD_to_int);

}  // namespace
