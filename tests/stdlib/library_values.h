// Values of the library's array-shaped types built in the test's own memory, as they lie in
// model variables, and a simulated sequence of scan cycles for the function blocks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/debug/qv_debug.h"
#include "runtime/executive/slots.h"
#include "stdlib/library.h"
#include "stdlib/qv_stdlib.h"

namespace qv::test {

// A STRING variable: three header slots holding the capacity, then the characters.
class TestString {
public:
    explicit TestString(std::string_view text, int capacity = -1) {
        const int n = capacity < 0 ? static_cast<int>(text.size()) : capacity;
        for (int k = 0; k < 3 + n; ++k) {
            unsigned char current = 0;
            unsigned char old = 0;
            if (k == 0) current = old = static_cast<unsigned char>(n >> 8);
            if (k == 1) current = old = static_cast<unsigned char>(n & 0xFF);
            if (k >= 3 && static_cast<std::size_t>(k - 3) < text.size()) current = static_cast<unsigned char>(text[k - 3]);
            bytes_.push_back(current);
            bytes_.push_back(old);
            for (int b = 2; b < kCharSlotSize; ++b) bytes_.push_back(0);
        }
    }
    const unsigned char* get() const { return bytes_.data(); }

private:
    std::vector<unsigned char> bytes_;
};

// The characters of a string up to its length.
inline std::string textOf(const unsigned char* s) {
    std::string text;
    for (int k = 0; k < lib::stringLength(s); ++k) text.push_back(static_cast<char>(lib::stringChar(s, k)));
    return text;
}

// True when every character slot of a result holds its character in both bytes.
inline bool bothBytesWritten(const unsigned char* s) {
    for (int k = 0; k < lib::stringLength(s); ++k)
        if (lib::stringSlot(s, k)[0] != lib::stringSlot(s, k)[1]) return false;
    return true;
}

// An integer array variable of up to two elements (TIME, DATE_AND_TIME; DATE and
// TIME_OF_DAY use element 0), with the spare slot of a temporary after it.
class TestArray {
public:
    explicit TestArray(int32_t e0, int32_t e1 = 0) {
        lib::element(words_.data(), 0) = e0;
        lib::element(words_.data(), 1) = e1;
    }
    const int32_t* get() const { return words_.data(); }
    int32_t* get() { return words_.data(); }

private:
    std::array<int32_t, 15> words_{};
};

inline bool inPool(const void* p) {
    const auto* b = static_cast<const unsigned char*>(p);
    return b >= Temp_Alloc && b < Temp_Alloc + QV_TEMP_POOL_SIZE;
}

// A simulated scan: the executive's own cycle counter slot, `simuperiod` and `timeNow`
// pointed at the test's memory and advanced cycle by cycle as the executive would.
class SimulatedScan {
public:
    explicit SimulatedScan(float periodMicroseconds) {
        savedIntBase_ = mem.intBase;
        savedCounterIndex_ = posmxsimucounter;
        savedPeriod_ = simuperiod;
        savedTimeNow_ = timeNow;
        mem.intBase = reinterpret_cast<unsigned char*>(intArea_.data());
        posmxsimucounter = 2;
        period_ = periodMicroseconds;
        simuperiod = &period_;
        setCounter(1);
        timeNow = 5.0e9;  // some time after the clock's start
    }
    ~SimulatedScan() {
        mem.intBase = savedIntBase_;
        posmxsimucounter = savedCounterIndex_;
        simuperiod = savedPeriod_;
        timeNow = savedTimeNow_;
    }
    SimulatedScan(const SimulatedScan&) = delete;
    SimulatedScan& operator=(const SimulatedScan&) = delete;

    // The end of one cycle and the start of the next: the counter moves on (wrapping from
    // the largest DINT back to 1), the schedule by one period.
    void nextCycle() {
        const int32_t c = counter();
        setCounter(c == INT32_MAX ? 1 : c + 1);
        timeNow += static_cast<double>(period_);
        LIBFB_ERR = 0;
    }
    void setCounter(int32_t value) { *cycleCounterSlot() = value; }
    int32_t counter() const { return *cycleCounterSlot(); }
    void setPeriod(float periodMicroseconds) { period_ = periodMicroseconds; }

private:
    std::array<int32_t, 3 * 4> intArea_{};
    float period_ = 0.0f;
    unsigned char* savedIntBase_ = nullptr;
    int32_t savedCounterIndex_ = 0;
    float* savedPeriod_ = nullptr;
    double savedTimeNow_ = 0.0;
};

}  // namespace qv::test
