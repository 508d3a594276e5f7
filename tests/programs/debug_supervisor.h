// What the process tests of the debug services do as a supervisor: single steps that wait
// for the program to acknowledge the end of the step, boolean writes that keep the other
// bits of a slot, and trace files compared line by line with time stamps as patterns.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "runtime/debug/debug.h"
#include "runtime/executive/image_layout.h"
#include "runtime/revision.h"
#include "tests/support/program_run.h"

namespace qvtest::debug {

inline const std::string kProgram = "test_model_r" + std::to_string(QV_REVISION);

// The test model's variables (absolute slots).
inline constexpr int32_t kStart = 5, kLamp = 6, kHold = 7, kBreaks = 8, kBlink = 9;
inline constexpr int32_t kCounter = 523, kSteps = 524;

inline int32_t read(const int32_t* word) { return qv::ImageView::read(word); }
inline void write(int32_t* word, int32_t value) { qv::ImageView::write(word, value); }

inline void setBool(unsigned char* slot, bool value) {
    if (value)
        __atomic_fetch_or(slot, qv::kBoolCurrent, __ATOMIC_RELAXED);
    else
        __atomic_fetch_and(slot, static_cast<unsigned char>(~qv::kBoolCurrent), __ATOMIC_RELAXED);
}
inline bool boolValue(const unsigned char* slot) { return (__atomic_load_n(slot, __ATOMIC_RELAXED) & 1) != 0; }
inline void setChar(unsigned char* slot, unsigned char value) { __atomic_store_n(slot, value, __ATOMIC_RELAXED); }

// Word 1 of `execstatus`: the status the program acknowledged last.
inline int32_t acknowledged(qv::ImageView& image) { return read(image.execstatus() + 1); }

// Runs one cycle with STEP and waits until the program is back in STOP and has said so.
inline bool stepOnce(ProgramRun& run) {
    qv::ImageView& image = run.image();
    const int32_t first = read(image.cycleCounter());
    write(image.execstatus(), qv::kStatusStep);
    return waitUntil([&] {
        return read(image.cycleCounter()) != first && read(image.execstatus()) == qv::kStatusStop &&
               acknowledged(image) == qv::kStatusStop;
    });
}

// The console's status change lines, in order.
inline std::string statusLines(const std::string& console) {
    std::string lines;
    std::size_t at = 0;
    while ((at = console.find("Exec status change from ", at)) != std::string::npos) {
        const std::size_t end = console.find('\n', at);
        lines += console.substr(at, end - at + 1);
        at = end;
    }
    return lines;
}

// A regular expression for an expected text in which "{t}" stands for a time stamp or a
// cycle number (a whole number), "{h}" for the header time, and "{(" ... "{)?" encloses
// lines that may be missing; everything else is literal.
inline std::regex tracePattern(const std::string& expected) {
    std::string pattern;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected.compare(i, 3, "{t}") == 0) {
            pattern += "[0-9]+";
            i += 2;
        } else if (expected.compare(i, 2, "{(") == 0) {
            pattern += "(";
            i += 1;
        } else if (expected.compare(i, 3, "{)?") == 0) {
            pattern += ")?";
            i += 2;
        } else if (expected.compare(i, 3, "{h}") == 0) {
            pattern += "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n";
            i += 2;
        } else {
            const char c = expected[i];
            if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
            pattern += c;
        }
    }
    return std::regex(pattern);
}

#define EXPECT_TRACE(text, expected) \
    EXPECT_TRUE(std::regex_match(text, ::qvtest::debug::tracePattern(expected))) << "trace file:\n" << (text)

}  // namespace qvtest::debug
