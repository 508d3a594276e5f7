// Unit tests of a program's model on an image in memory: lays out the image of the
// program linked into the test as the executive does, runs the generated start-up and
// then one evolution at a time, and reads and writes variables by their symbol names.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "runtime/executive/executive.h"
#include "supervisor/core/symbols/symbols.h"

namespace qvtest {

class ModelImage {
public:
    explicit ModelImage(const qv::symbols::ProgramSymbols& symbols);
    ~ModelImage();
    ModelImage(const ModelImage&) = delete;
    ModelImage& operator=(const ModelImage&) = delete;

    // Runs the generated start-up once more on the same image (a restarted program).
    void startUp();

    // One scan cycle's evolution of the model (revision 1's whole-area freeze, the walk,
    // behaviorsStep, the release of temporaries), then the clock moves on by one period. Returns behaviorsStep's result.
    int32_t evolve();
    // `n` evolutions; stops early and returns false if any returns nonzero.
    bool evolve(int n);

    // Moves the clock that timers read on by one period, as the end of a cycle does.
    static void nextCycle();

    // Variables by symbol name: current value, write the current value, force as a
    // supervisor does (value and old value, then the forced flag), release.
    bool on(std::string_view name) const;
    void set(std::string_view name, bool value);
    void force(std::string_view name, bool value);
    void release(std::string_view name);
    int32_t integer(std::string_view name, int element = 0) const;
    void setInteger(std::string_view name, int32_t value);  // the current value  // a TIME's element k: 0 days, 1 ticks

    // The slot of a symbol (its first slot for a TIME).
    unsigned char* slot(std::string_view name) const;
    unsigned char* slot(const qv::symbols::Symbol& symbol) const;

    unsigned char* base() const { return bytes_.get(); }
    const qv::symbols::ProgramSymbols& symbols() const { return symbols_; }

private:
    const qv::symbols::ProgramSymbols& symbols_;
    std::unique_ptr<unsigned char[]> bytes_;
};

}  // namespace qvtest
