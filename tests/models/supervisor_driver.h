// Process tests of the model programs: drives a running program through its image as a
// supervisor would, naming variables by the program's symbol table.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "supervisor/core/symbols/symbols.h"
#include "tests/support/program_run.h"

namespace qvtest {

class ModelSupervisor {
public:
    ModelSupervisor(ProgramRun& run, const qv::symbols::ProgramSymbols& symbols) : run_(run), symbols_(symbols) {}

    unsigned char* slot(std::string_view name) {
        const qv::symbols::Symbol* symbol = qv::symbols::findSymbol(symbols_, name);
        if (symbol == nullptr) throw std::invalid_argument("no variable " + std::string(name));
        return run_.image().slot(symbol->area, symbol->slot);
    }
    uint8_t byte(std::string_view name) { return __atomic_load_n(slot(name), __ATOMIC_RELAXED); }
    bool on(std::string_view name) { return (byte(name) & qv::kBoolCurrent) != 0; }

    // An input's current value.
    void set(std::string_view name, bool value) {
        unsigned char* s = slot(name);
        const uint8_t b = __atomic_load_n(s, __ATOMIC_RELAXED);
        __atomic_store_n(s, static_cast<uint8_t>(value ? b | qv::kBoolCurrent : b & ~qv::kBoolCurrent), __ATOMIC_RELAXED);
    }
    // Forcing is one byte write: current and old value, and the forced flag.
    void force(std::string_view name, bool value) {
        unsigned char* s = slot(name);
        const uint8_t b = __atomic_load_n(s, __ATOMIC_RELAXED);
        const uint8_t bits = value ? qv::kBoolCurrent | qv::kBoolOld : 0;
        __atomic_store_n(s, static_cast<uint8_t>((b & ~(qv::kBoolCurrent | qv::kBoolOld)) | bits | qv::kBoolForced),
                         __ATOMIC_RELAXED);
    }
    void release(std::string_view name) {
        unsigned char* s = slot(name);
        __atomic_store_n(s, static_cast<uint8_t>(__atomic_load_n(s, __ATOMIC_RELAXED) & ~qv::kBoolForced),
                         __ATOMIC_RELAXED);
    }

    // STEP: exactly one cycle, back in STOP.
    bool step() {
        qv::ImageView& view = run_.image();
        const int32_t before = qv::ImageView::read(view.cycleCounter());
        qv::ImageView::write(view.execstatus(), qv::kStatusStep);
        return waitUntil([&] {
            return qv::ImageView::read(view.cycleCounter()) == before + 1 &&
                   qv::ImageView::read(view.execstatus()) == qv::kStatusStop;
        });
    }
    bool step(int n) {
        for (int k = 0; k < n; ++k)
            if (!step()) return false;
        return true;
    }

private:
    ProgramRun& run_;
    const qv::symbols::ProgramSymbols& symbols_;
};

// The parameters file that keeps every generated value: only the signature line.
inline constexpr const char* kSignatureOnly = "2147483647\n";

}  // namespace qvtest
