// The executive's own C++ interface: start-up configuration, image layout, the scan
// cycle and its statistics. The C boundary is qv_executive.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "runtime/executive/qv_executive.h"
#include "runtime/executive/slots.h"

namespace qv {

// ---- Start-up configuration (config.cpp) --------------------------------------

// How the cycles are paced against the wall clock.
struct Pacing {
    double speed = 1.0;     // QV_SPEED: simulated time per unit of wall time
    bool unpaced = false;   // QV_SPEED=max: no wait between cycles at all
    bool realtime = false;  // QV_REALTIME=1: real-time priority, locked memory
};

// The environment as the program reads it once at start-up.
struct StartupEnvironment {
    std::string imageName = kDefaultImageName;
    uint32_t imageSize = kDefaultImageSize;
    int32_t timeoutPolls = 0;  // QV_TIMEOUT seconds × 100; 0 = wait forever
    Pacing pacing;
    std::string traceFile;     // QV_TRACE_FILE; empty: beside the program
};

// Reads QV_MEMORY_NAME, QV_MEMORY_SIZE, QV_TIMEOUT (not in revision 1), QV_SPEED,
// QV_REALTIME and QV_TRACE_FILE. A value that cannot be used is reported on standard
// error and gives false: the program must end with status -1 before any image is opened.
bool readStartupEnvironment(StartupEnvironment& environment);

// The image name and size as openMemory reads them: QV_MEMORY_NAME (first call only)
// and QV_MEMORY_SIZE (every call), with their defaults.
std::string requestedImageName();
uint32_t requestedImageSize();

// File names beside the program, derived from its executable's path.
extern std::string tracename;
extern std::string paramfilename;
std::string deriveTraceName(const std::string& programPath);
std::string deriveParamFileName(const std::string& programPath);

// Applies a parameters file already open for reading; `path` names it in the messages.
// QVD_read_parameters opens the file and calls this.
void readParameters(std::FILE* file, const char* path);

// ---- Image (image.cpp) ----------------------------------------------------------

// Bytes of the mapping, as openMemory found them (also written into the image's first
// word when the mapping holds it).
extern uint32_t imageSize;

// The effective bounds minBool..maxChar and the three runtime slot indexes, from the
// model's minSize and maxSize.
void computeEffectiveBounds();

// The outcome of laying out the image: 0 laid out, 1 image too small, -1 not opened.
int layOutImage();

// ---- Clock (clock.cpp) ------------------------------------------------------------

// Elapsed microseconds of a cycle scheduled at `scheduled`, measured at `now`.
uint32_t elapsedSince(long double scheduled, long double now);

// True when a `simuperiod` value is a period: finite, not negative, below 2^32.
bool periodUsable(float simuperiodValue);

// The period in whole microseconds that the executive uses for a `simuperiod` value.
// Negative, NaN, infinite and out-of-range values keep the last usable period.
uint32_t usablePeriod(float simuperiodValue);

// Resets what usablePeriod remembers (start-up, tests).
void resetUsablePeriod(uint32_t period);

// Sets how the cycles are paced (once, when the environment has been read).
void startPacing(const Pacing& pacing);

// Under QV_REALTIME, once start-up has mapped the image and made everything the cycle
// uses: real-time scheduling and that memory kept resident. Says on standard error what
// the system refused.
void enterRealtimeWhenAsked();

// Now, on the clock of the schedule (`timeNow`), in simulated microseconds: the tick
// clock by default; a microsecond clock times the speed factor under QV_SPEED or
// QV_REALTIME; the schedule itself when unpaced, so that no cycle takes any time.
long double scheduleNow();

// Sleeps the rest of a period of `period` microseconds after a cycle of `elapsed`
// (elapsed < period), in slices, so that END, a STOP written while it runs (or any new
// status once it stopped itself) ends the wait at once, and a new usable `simuperiod`
// moves its end (and the schedule) to the new period.
void waitOutPeriod(uint32_t elapsed, uint32_t period);

// ---- Scan cycle (scan_cycle.cpp) ------------------------------------------------------

// The whole program: start-up, the cycle loop, the end. Returns the exit status.
int runProgram(int argc, char** argv);

// Its pieces: start-up after the layout, one cycle (steps from the breakpoint report to
// the wait), the wait in STOP (false when the program is to end), the cycle loop, the end.
void startUp();
uint32_t runCycleBody();
void advanceCycleCounter();
void runCycle();
bool waitWhileStopped();
void runLoop();
int endProgram();

// Sleeps what is left of the period after a cycle of `elapsed` microseconds, or prints
// the overrun warning with the cycle's number.
void waitForNextCycle(uint32_t elapsed, int64_t cycleNumber);

// Time paused inside a breakpoint is the supervisor's: the schedule moves on by what the
// pause lasted, so the cycle that held it measures only its running time and the next
// cycle is due one period after the program went on, with no catch-up cycles.
// `pausedAt` is scheduleNow() when the pause began.
void resumeScheduleAfterPause(long double pausedAt);

// ---- Statistics (statistics.cpp) -----------------------------------------------------

struct CycleStatistics {
    uint32_t tab[100];  // ring of the last measured durations, microseconds
    int64_t count;      // running sum of tab (wide, so long pauses cannot overflow it)
    int32_t nb;         // measured cycles in the ring plus one, saturating at 100
};
extern CycleStatistics cycleStatistics;

// Clears the ring; `nb` starts at 0 in revision 3 (first cycle unmeasured), else 1.
void resetCycleStatistics();

// Updates the statistics slots after a cycle of `elapsed` microseconds.
void updateCycleStatistics(uint32_t elapsed);

}  // namespace qv
