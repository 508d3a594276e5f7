// The program: start-up, the cyclic scan under the execution status, and the end.
#include <clocale>
#include <cstdio>
#include <cstdlib>

// The cycle itself calls two libraries that stand above the executive: the product step
// after the outputs, and the library's error flag LIBFB_ERR, cleared at every cycle start.
// Those are the only upward reaches of the runtime, and both are part of the cycle.
#include "products/qv_products.h"
#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"
#include "stdlib/qv_stdlib.h"

namespace qv {
namespace {

int32_t timeoutPolls = 0;  // 10 ms polls after which a stopped program ends; 0 = never

bool isStatus(int32_t status) { return loadShared(execstatus) == status; }
void setStatus(int32_t status) { storeShared(execstatus, status); }

void publishSignature() { storeShared(signature, getSignature()); }

// The status handler of the revision: revision 1 acknowledges through its freezes.
void acknowledgeStatus(int freezeFlag) {
    if constexpr (kRevision == 1)
        QV_freeze_memory(freezeFlag);
    else
        QV_manage_exec_status(execstatus);
}

// Clears the trace switch, starts the cycle counter and publishes the process.
void bindControlVariables() {
    controlVariablesAccessInitialization();
    storeShared(traceon, static_cast<uint8_t>(loadShared(traceon) & ~kBoolCurrent));
    storeShared(cycleCounterSlot(), kRevision == 3 ? 1 : 0);
    storeShared(pospidSlot(), platform::processId());
}

void walkToModel() {
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
}

// Measures the cycle from its scheduled start and moves the schedule on by one period.
uint32_t measureCycle() {
    if constexpr (kRevision == 3) {
        const uint32_t elapsed = elapsedSince(timeNow, scheduleNow());
        timeNow += usablePeriod(loadShared(simuperiod));
        return elapsed;
    } else {
        return QVD_get_time();
    }
}

}  // namespace

// Revision 3 wraps the cycle counter back to 1; revisions 1 and 2 count on (in 32 bits).
void advanceCycleCounter() {
    int32_t* counter = cycleCounterSlot();
    const int32_t c = loadShared(counter);
    if (kRevision == 3 && c == INT32_MAX)
        storeShared(counter, 1);
    else
        storeShared(counter, static_cast<int32_t>(static_cast<uint32_t>(c) + 1u));
}

// Sleeps what is left of the period, or reports that the cycle overran it.
void waitForNextCycle(uint32_t elapsed, int64_t cycleNumber) {
    const uint32_t period = usablePeriod(loadShared(simuperiod));
    if (elapsed < period) {
        waitOutPeriod(elapsed, period);
    } else if (elapsed > period) {
        if constexpr (kRevision == 3)
            std::printf("Warning: Cycle duration (%u ms) higher than cycle (%u ms) in step %ld\n",
                        elapsed / 1000, period / 1000, static_cast<long>(cycleNumber));
        else
            std::printf("Warning: Cycle duration (%u ms) higher than cycle (%u ms) in step %d\n",
                        elapsed / 1000, period / 1000, static_cast<int>(cycleNumber));
    }
}

void resumeScheduleAfterPause(long double pausedAt) {
    const long double paused = scheduleNow() - pausedAt;
    if (paused > 0.0L) timeNow += static_cast<double>(paused);
}

// Start-up after the image is laid out.
void startUp() {
    bindControlVariables();
    walkToModel();
    behaviorsInit();
    if constexpr (kRevision == 1) QV_freeze_memory(0);
    timeCycleInitialization(simuperiod);
    resetUsablePeriod(usablePeriod(loadShared(simuperiod)));
    produitsInit();
    globalesInit();
    variablesInitialization();
    QVD_read_parameters(paramfilename.c_str());
    initStartingMode(execstatus);
    if constexpr (kRevision == 1) {
        initExecutionMode(qv_delay);
        QV_freeze_int(execstatus);
    } else {
        QV_manage_exec_status(execstatus);
    }
    QV_init_ios(memHeader);
    storeShared(generationtime, getGenerationTime());
    resetCycleStatistics();
}

// One scan cycle up to its wait: from the clearing of the breakpoint report to the
// statistics and the end of a single step. Returns the cycle's measured duration.
uint32_t runCycleBody() {
    storeShared(bpcurrentinstance, 0);
    storeShared(bpcurrentlocation, 0);
    storeShared(bpcurrentprepostcode, 0);
    storeShared(bpcurrenttypeerror, 0);
    LIBFB_ERR = 0;
    if constexpr (kRevision == 1) {
        withoutDelay = (loadShared(qv_delay) & kBoolCurrent) ? 0 : 1;
        QV_freeze_memory(1);
    } else if constexpr (kRevision == 2) {
        QV_manage_exec_status(execstatus);
        QV_manage_debug_informations(memHeader);
    } else {
        QV_manage_exec_status(execstatus);
        QV_manage_debug_informations_pre(memHeader);
    }
    walkToModel();
    QV_read_inputs(memHeader);
    const int32_t result = behaviorsStep();
    storeShared(bpcurrentinstance, result);
    if (result != 0) stopUnlessEnding(execstatus);
    if constexpr (kRevision == 3) {
        QV_manage_debug_informations_post(memHeader);
        flushTrace();
    }
    QV_write_outputs(memHeader);
    productsStep();
    if constexpr (kRevision == 3) free_all_alloc();

    const uint32_t elapsed = measureCycle();
    updateCycleStatistics(elapsed);
    // A single step, or a cycle resumed from a pause, ends in STOP.
    if (!replaceShared(execstatus, kStatusStep, kStatusStop)) replaceShared(execstatus, kStatusPause, kStatusStop);
    return elapsed;
}

// One whole cycle: the body, then the wait and the cycle counter (revisions 1 and 2
// count before the wait, revision 3 after it).
void runCycle() {
    const uint32_t elapsed = runCycleBody();
    const int32_t counter = loadShared(cycleCounterSlot());
    if constexpr (kRevision == 3) {
        waitForNextCycle(elapsed, counter);
        advanceCycleCounter();
    } else {
        advanceCycleCounter();
        waitForNextCycle(elapsed, counter);
    }
}

// Waits in STOP, polling every 10 ms. False when the program is to end.
bool waitWhileStopped() {
    int32_t polls = 0;
    do {
        publishSignature();
        acknowledgeStatus(0);
        flushTrace();
        waitMicroSeconds(10000);
        if (timeoutPolls != 0 && ++polls >= timeoutPolls) setStatus(kStatusEnd);
    } while (isStatus(kStatusStop));
    timeNow = static_cast<double>(scheduleNow());  // a pause is not cycle time
    return !isStatus(kStatusEnd);
}

// Ends the program cleanly after END; returns the exit status.
int endProgram() {
    acknowledgeStatus(1);
    storeShared(pospidSlot(), 0);
    closeTrace();
    closeMemory(memHeader);
    return 0;
}

void runLoop() {
    for (;;) {
        if constexpr (kRevision != 3) flushTrace();
        publishSignature();
        const int32_t status = loadShared(execstatus);
        if (status == kStatusEnd) break;
        if (status == kStatusStop && !waitWhileStopped()) break;
        runCycle();
    }
    setStatus(kStatusFree);
    storeShared(signature, 0);
}

int runProgram(int argc, char** argv) {
    // Console lines reach a supervisor or a log collector as they are printed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);

    StartupEnvironment environment;
    if (!readStartupEnvironment(environment)) return -1;
    timeoutPolls = environment.timeoutPolls;
    startPacing(environment.pacing);
    std::setlocale(LC_ALL, "C");
    // The files beside the program lie beside its executable, whatever folder it was
    // started from; argv[0] serves only when the system cannot tell the executable.
    const std::string program = platform::ownExecutablePath().value_or(
        argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : "qv_program");
    tracename = environment.traceFile.empty() ? deriveTraceName(program) : environment.traceFile;
    paramfilename = deriveParamFileName(program);
    if constexpr (kRevision != 3) openTrace();  // created before the image is laid out

    memorySizeInit(minSize, maxSize, memSize);
    const int laidOut = layOutImage();
    if (laidOut != 0) return laidOut;
    startUp();
    enterRealtimeWhenAsked();
    if constexpr (kRevision == 3) {
        timeNow = static_cast<double>(scheduleNow());
        clearTrace();
    } else {
        QVD_init_time();
    }
    runLoop();
    return endProgram();
}

}  // namespace qv

#if QV_REVISION == 1
extern "C" {
int32_t withoutDelay = 1;
}
#endif

#if QV_REVISION == 2
extern "C" {
void QV_init(void) { qv::startUp(); }
void QV_step(void) { qv::runCycle(); }
void QV_end(void) { std::exit(qv::endProgram()); }
}
#endif
