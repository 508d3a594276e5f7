// Driving the program through its execution status, and reading what it publishes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "supervisor/core/target.h"

namespace qv::ctl {

struct ProgramState {
    int32_t status;        // execstatus, word 0
    int32_t acknowledged;  // execstatus, word 1: the status the program saw last
    int32_t pid;           // 0 when no program runs on the image
    bool alive;            // the process `pid` exists
    int32_t cycle;         // the cycle counter
};

ProgramState readState(const Target& target);

// A status by its name ("STOP"), or the number when the code has no name.
std::string statusText(int32_t status);

// How a live program is paced off real time, from the QV_SPEED it was started with:
// "10 x real time", "max (no wait between cycles)"; nothing when it runs at real time.
std::optional<std::string> speedText(const ProgramState& state);

// The measured cycle durations as every face shows them: "mean 1630 us, min 1000 us,
// max 22000 us". On the millisecond tick clock (a program at real time without
// QV_REALTIME) each duration is a whole number of milliseconds and a cycle shorter than a
// tick reads 0, which the minimum passes over (0 stands for "not measured yet"): the note
// then says so, since the mean may fall below the minimum.
struct MeasuredText {
    std::string figures;
    std::string note;  // empty on the microsecond clock
};
MeasuredText measuredText(const Target& target, const ProgramState& state);

// True while a program runs on the image (its process slot names a live process).
bool programRuns(const Target& target);

// Writes RUN or STOP and waits until the program has taken it. False on time-out.
bool writeStatus(const Target& target, int32_t status, int timeoutMs);

// One STEP: the program runs until the end of the cycle or, paused at a breakpoint,
// until the next breakpoint call.
enum class StepOutcome { Stopped, Paused, Ended, TimedOut };
StepOutcome stepOnce(const Target& target, int timeoutMs);

// Writes `status` and waits as for a step, until the program pauses at a breakpoint call
// or has ended its cycle in STOP: STEP as above; PAUSE from STOP runs a cycle that pauses
// at its first breakpoint call; STOP from a pause lets the cycle run to its end, pausing
// only at a listed breakpoint.
StepOutcome resumeOnce(const Target& target, int32_t status, int timeoutMs);

// Writes END and waits until the program has left. False on time-out.
bool endProgram(const Target& target, int timeoutMs);

// The cycle period the image holds, in milliseconds (50 when nothing usable).
double periodMs(const Target& target);

}  // namespace qv::ctl
