// The standard function library at the cost of one call: integer and bit-string
// functions, selection over integers, strings and TIME values (allocation from the
// temporary pool included), string comparison, and function blocks in a simulated scan.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "runtime/debug/qv_debug.h"
#include "runtime/executive/slots.h"
#include "stdlib/library.h"
#include "stdlib/qv_stdlib.h"

namespace {

// ---- Values as generated code holds them ---------------------------------------------------

std::vector<unsigned char> makeString(const std::string& text) {
    const int n = static_cast<int>(text.size());
    std::vector<unsigned char> bytes;
    for (int k = 0; k < 3 + n; ++k) {
        unsigned char current = 0;
        unsigned char old = 0;
        if (k == 0) current = old = static_cast<unsigned char>(n >> 8);
        if (k == 1) current = old = static_cast<unsigned char>(n & 0xFF);
        if (k >= 3) current = static_cast<unsigned char>(text[static_cast<std::size_t>(k - 3)]);
        bytes.push_back(current);
        bytes.push_back(old);
        for (int b = 2; b < qv::kCharSlotSize; ++b) bytes.push_back(0);
    }
    return bytes;
}

struct Time {
    std::array<int32_t, 15> words{};
    Time(int32_t days, int32_t ticks) {
        qv::lib::element(words.data(), 0) = days;
        qv::lib::element(words.data(), 1) = ticks;
    }
    int32_t* get() { return words.data(); }
};

// Twenty characters that differ only in the last one.
const std::vector<unsigned char> kText1 = makeString("conveyor_belt_sensor");
const std::vector<unsigned char> kText2 = makeString("conveyor_belt_sensos");
const std::vector<unsigned char> kText3 = makeString("conveyor_belt_sensoz");

// A scan cycle the blocks can see: the executive's counter slot, period and time. The
// time is computed from the cycle number, as the executive sets it, not accumulated: a
// running sum in memory would chain every iteration to the one before and cost more
// than the blocks measured.
struct SimulatedScan {
    std::array<int32_t, 12> intArea{};
    float period = 50000.0f;
    int64_t cycles = 0;
    SimulatedScan() {
        mem.intBase = reinterpret_cast<unsigned char*>(intArea.data());
        posmxsimucounter = 2;
        simuperiod = &period;
        *qv::cycleCounterSlot() = 1;
        timeNow = 5.0e9;
    }
    void nextCycle() {
        ++*qv::cycleCounterSlot();
        timeNow = 5.0e9 + 50000.0 * static_cast<double>(++cycles);
    }
};

// ---- Integer and bit-string functions ---------------------------------------------------------

template <int32_t (*F)(int32_t, int32_t)>
void integerFunction(benchmark::State& state) {
    int32_t a = 100, b = 7;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(F(a, b));
    }
}
BENCHMARK(integerFunction<add_sint_OUT>)->Name("add_sint_OUT");
BENCHMARK(integerFunction<add_int_OUT>)->Name("add_int_OUT");
BENCHMARK(integerFunction<add_dint_OUT>)->Name("add_dint_OUT");
BENCHMARK(integerFunction<mul_sint_OUT>)->Name("mul_sint_OUT");
BENCHMARK(integerFunction<mul_int_OUT>)->Name("mul_int_OUT");
BENCHMARK(integerFunction<mul_dint_OUT>)->Name("mul_dint_OUT");
BENCHMARK(integerFunction<div_sint_OUT>)->Name("div_sint_OUT");
BENCHMARK(integerFunction<div_int_OUT>)->Name("div_int_OUT");
BENCHMARK(integerFunction<div_dint_OUT>)->Name("div_dint_OUT");
BENCHMARK(integerFunction<shl_byte_OUT>)->Name("shl_byte_OUT");
BENCHMARK(integerFunction<shr_int_OUT>)->Name("shr_int_OUT");
BENCHMARK(integerFunction<rol_dint_OUT>)->Name("rol_dint_OUT");
BENCHMARK(integerFunction<ror_word_OUT>)->Name("ror_word_OUT");
BENCHMARK(integerFunction<max_int_OUT>)->Name("max_int_OUT");
BENCHMARK(integerFunction<and_word_OUT>)->Name("and_word_OUT");

void limitDint(benchmark::State& state) {
    int32_t low = 0, in = 50, high = 10;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        benchmark::DoNotOptimize(limit_dint_OUT(low, in, high));
    }
}
BENCHMARK(limitDint)->Name("limit_dint_OUT");

void muxDint(benchmark::State& state) {
    int32_t k = 7;
    for (auto _ : state) {
        benchmark::DoNotOptimize(k);
        benchmark::DoNotOptimize(mux_dint_OUT(k, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9));
    }
}
BENCHMARK(muxDint)->Name("mux_dint_OUT");

// ---- Strings and TIME values: a new temporary per call, released as generated code does -------

void maxStr(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(max_str_OUT(kText1.data(), kText2.data()));
        free_all_alloc();
    }
}
BENCHMARK(maxStr)->Name("max_str_OUT");

void limitStr(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(limit_str_OUT(kText1.data(), kText3.data(), kText2.data()));
        free_all_alloc();
    }
}
BENCHMARK(limitStr)->Name("limit_str_OUT");

void muxStr(benchmark::State& state) {
    const unsigned char *a = kText1.data(), *b = kText2.data();
    int32_t k = 3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(k);
        benchmark::DoNotOptimize(mux_str_OUT(k, a, b, a, b, a, b, a, b, a, b));
        free_all_alloc();
    }
}
BENCHMARK(muxStr)->Name("mux_str_OUT");

void maxTime(benchmark::State& state) {
    Time a(0, 36000000), b(1, 5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(max_time_OUT(a.get(), b.get()));
        free_all_alloc();
    }
}
BENCHMARK(maxTime)->Name("max_time_OUT");

void limitTime(benchmark::State& state) {
    Time low(0, 10000), in(0, 50000), high(0, 30000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(limit_time_OUT(low.get(), in.get(), high.get()));
        free_all_alloc();
    }
}
BENCHMARK(limitTime)->Name("limit_time_OUT");

void muxTime(benchmark::State& state) {
    Time a(0, 1), b(0, 2);
    int32_t k = 4;
    for (auto _ : state) {
        benchmark::DoNotOptimize(k);
        benchmark::DoNotOptimize(mux_time_OUT(k, a.get(), b.get(), a.get(), b.get(), a.get(), b.get(), a.get(),
                                              b.get(), a.get(), b.get()));
        free_all_alloc();
    }
}
BENCHMARK(muxTime)->Name("mux_time_OUT");

// ---- String comparison of two 20-character strings -------------------------------------------

template <int (*F)(const unsigned char*, const unsigned char*)>
void compareStrings(benchmark::State& state) {
    const unsigned char *a = kText1.data(), *b = kText2.data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(F(a, b));
    }
}
BENCHMARK(compareStrings<eq_str_OUT>)->Name("eq_str_OUT");
BENCHMARK(compareStrings<lt_str_OUT>)->Name("lt_str_OUT");
BENCHMARK(compareStrings<ge_str_OUT>)->Name("ge_str_OUT");

// ---- Function blocks, one call per simulated cycle ---------------------------------------------

void tonQ(benchmark::State& state) {
    SimulatedScan scan;
    Time pt(1, 0), et(0, 0);
    int32_t memo = 0;
    for (auto _ : state) {
        scan.nextCycle();
        benchmark::DoNotOptimize(ton_Q(1, pt.get(), et.get(), &memo));
    }
}
BENCHMARK(tonQ)->Name("ton_Q");

void ctuQ(benchmark::State& state) {
    SimulatedScan scan;
    QV_BlockWord cv = 0, memo = -1;
    for (auto _ : state) {
        scan.nextCycle();
        benchmark::DoNotOptimize(ctu_Q(1, 0, 100, &cv, &memo));
    }
}
BENCHMARK(ctuQ)->Name("ctu_Q");

// The count input toggles every cycle; the count wraps back to 0 before it saturates.
void ctuToggling(benchmark::State& state) {
    SimulatedScan scan;
    QV_BlockWord cv = 0, memo = -1;
    int cu = 0;
    for (auto _ : state) {
        scan.nextCycle();
        cu ^= 1;
        benchmark::DoNotOptimize(ctu_Q(cu, cv == 30000, 100, &cv, &memo));
    }
}
BENCHMARK(ctuToggling)->Name("ctu_Q_toggling");

void ctdToggling(benchmark::State& state) {
    SimulatedScan scan;
    QV_BlockWord cv = 0, memo = -1;
    int cd = 0;
    for (auto _ : state) {
        scan.nextCycle();
        cd ^= 1;
        benchmark::DoNotOptimize(ctd_Q(cd, cv == -30000, 30000, &cv, &memo));
    }
}
BENCHMARK(ctdToggling)->Name("ctd_Q_toggling");

void ctudToggling(benchmark::State& state) {
    SimulatedScan scan;
    QV_BlockWord cv = 0, memo = -1;
    int cu = 0;
    for (auto _ : state) {
        scan.nextCycle();
        cu ^= 1;
        benchmark::DoNotOptimize(ctud_QU(cu, 0, cv == 30000, 0, 100, &cv, &memo));
    }
}
BENCHMARK(ctudToggling)->Name("ctud_QU_toggling");

// The edge detectors do not read the cycle: nothing but the input changes between calls.
void rTrigQ(benchmark::State& state) {
    QV_BlockWord m = 0;
    int clk = 0;
    for (auto _ : state) {
        clk ^= 1;
        benchmark::DoNotOptimize(r_trig_Q(clk, &m));
    }
}
BENCHMARK(rTrigQ)->Name("r_trig_Q");

void fTrigQ(benchmark::State& state) {
    QV_BlockWord m = 0;
    int clk = 0;
    for (auto _ : state) {
        clk ^= 1;
        benchmark::DoNotOptimize(f_trig_Q(clk, &m));
    }
}
BENCHMARK(fTrigQ)->Name("f_trig_Q");

}  // namespace
