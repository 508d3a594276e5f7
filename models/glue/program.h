// The generated constants of one program and the model side of the contract with the
// runtime that every program shares (program.cpp). Each program defines `kProgram`.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "models/components/grafcet.h"

namespace qv::models {

// An initial value that the model source gives by absolute slot (current and old value).
struct InitialValue {
    Area area;
    int32_t slot;
    int32_t value;
};

struct Program {
    std::array<int32_t, kAreaCount> slots;  // maxSize = memSize: booleans, integers, reals, characters
    int32_t signature;
    int32_t generationTime;  // seconds since 1970-01-01 UTC
    const char* taskname;    // the executable's file name
    float period;            // microseconds
    // The top model's interface in binding order: its booleans and its integers, as the
    // model's own tables hold them (pointers, so that the constants need no start-up).
    const std::span<const NamedVar>* interface;
    const std::span<const NamedIntVar>* intInterface;
    int32_t* topNum;                            // <top model>__num
    int32_t (*init)();                          // sfp__<top model>_init
    int32_t (*step)();                          // sfp__<top model>
    std::span<const InitialValue> initialValues = {};  // revision 1's further values by absolute slot
};

extern const Program kProgram;

// Every model's signature in revisions 2 and 3, and the cycle period of all of them.
inline constexpr int32_t kSignature = 2147483647;
inline constexpr float kPeriod = 50000.0f;

}  // namespace qv::models
