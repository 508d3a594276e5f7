// Execution status writes and the waits that follow them.
#include "supervisor/core/control.h"

#include <cmath>
#include <cstdio>
#include <functional>

namespace qv::ctl {

std::string statusText(int32_t status) {
    const std::string name = statusName(status);
    return name.empty() ? std::to_string(status) : name;
}

namespace {

// Polls `condition` every millisecond until it holds or `timeoutMs` passes. An image that
// shrinks under the wait ends it unanswered: reading it on would kill the supervisor.
bool waitFor(const Target& target, const std::function<bool()>& condition, int timeoutMs) {
    const uint64_t deadline = platform::tickMilliseconds() + static_cast<uint64_t>(timeoutMs < 0 ? 0 : timeoutMs);
    std::string problem;
    while (target.view.intact(problem) && !condition()) {
        if (platform::tickMilliseconds() > deadline) return false;
        platform::sleepMilliseconds(1);
    }
    return problem.empty();
}

int32_t statusNow(const Target& target) { return ImageView::read(target.view.execstatus()); }
int32_t acknowledgedNow(const Target& target) { return ImageView::read(target.view.execstatus() + 1); }
int32_t cycleNow(const Target& target) { return ImageView::read(target.view.cycleCounter()); }

}  // namespace

ProgramState readState(const Target& target) {
    ProgramState state{};
    state.status = statusNow(target);
    state.acknowledged = acknowledgedNow(target);
    state.pid = ImageView::read(target.view.pospid());
    state.alive = state.pid > 0 && platform::processAlive(state.pid);
    state.cycle = cycleNow(target);
    return state;
}

std::optional<std::string> speedText(const ProgramState& state) {
    std::optional<std::string> speed = state.alive ? platform::processEnvironmentVariable(state.pid, "QV_SPEED") : std::nullopt;
    if (!speed) return std::nullopt;
    return *speed == "max" ? std::string("max (no wait between cycles)") : *speed + " x real time";
}

MeasuredText measuredText(const Target& target, const ProgramState& state) {
    auto us = [&](int32_t slot) {
        const float* r = target.view.realSlot(slot);
        const double value = r == nullptr ? 0.0 : static_cast<double>(ImageView::read(r));
        char text[48];
        std::snprintf(text, sizeof text, "%.0f us", std::isfinite(value) ? value : 0.0);
        return std::string(text);
    };
    MeasuredText m{"mean " + us(kRealsimuperiodSlot) + ", min " + us(kMinsimuperiodSlot) + ", max " +
                       us(kMaxsimuperiodSlot),
                   ""};
    // The schedule leaves the tick clock under a speed factor or QV_REALTIME.
    auto set = [&](const char* name) {
        return state.alive ? platform::processEnvironmentVariable(state.pid, name) : std::nullopt;
    };
    const std::optional<std::string> speed = set("QV_SPEED"), realtime = set("QV_REALTIME");
    const bool fine = (speed && *speed != "1") || (realtime && *realtime == "1");
    if (!fine)
        m.note = "millisecond ticks: a cycle shorter than a tick reads 0 us, and a minimum of 0 counts as "
                 "none yet, so the mean may be below the minimum";
    return m;
}

bool programRuns(const Target& target) { return readState(target).alive; }

bool writeStatus(const Target& target, int32_t status, int timeoutMs) {
    const int32_t cycle = cycleNow(target);
    ImageView::write(target.view.execstatus(), status);
    // Taken: acknowledged, already changed again by the program (a breakpoint), or a
    // cycle ran.
    return waitFor(target, [&] {
        return acknowledgedNow(target) == status || statusNow(target) != status ||
               (status == kStatusRun && cycleNow(target) != cycle) || !programRuns(target);
    }, timeoutMs);
}

StepOutcome stepOnce(const Target& target, int timeoutMs) { return resumeOnce(target, kStatusStep, timeoutMs); }

StepOutcome resumeOnce(const Target& target, int32_t status, int timeoutMs) {
    const int32_t cycle = cycleNow(target);
    // Leaving a pause, the program may turn the STEP back into PAUSE before it has
    // acknowledged it, and the status then reads as the pause it is leaving. The instance
    // field tells them apart: the program writes it when it pauses, and clears it only
    // once it goes on, so it is cleared here and a pause shows again by its instance.
    // A PAUSE written in STOP is acknowledged before the cycle reaches a breakpoint call:
    // there too only the instance tells the pause.
    int32_t* instance = target.view.controlInt(kBpcurrentinstanceFromExec);
    const bool leavingPause = ImageView::read(target.view.execstatus()) == kStatusPause || status == kStatusPause;
    if (leavingPause) ImageView::write(instance, 0);
    ImageView::write(target.view.execstatus(), status);
    StepOutcome outcome = StepOutcome::TimedOut;
    // The program turns STEP into PAUSE (at once, when it leaves a pause) or STOP. Either
    // counts once the program has acknowledged it, a stop also once the cycle counter has
    // moved on: the program then idles in STOP, and a next STEP is a change it sees.
    waitFor(target, [&] {
        const ProgramState s = readState(target);
        if (!s.alive || s.pid == 0) outcome = StepOutcome::Ended;
        else if (s.status == kStatusPause && s.acknowledged == kStatusPause &&
                 (!leavingPause || ImageView::read(instance) != 0))
            outcome = StepOutcome::Paused;
        else if (s.status == kStatusStop && s.acknowledged == kStatusStop && s.cycle != cycle)
            outcome = StepOutcome::Stopped;
        else return false;
        return true;
    }, timeoutMs);
    return outcome;
}

bool endProgram(const Target& target, int timeoutMs) {
    int32_t* status = target.view.execstatus();
    ImageView::write(status, kStatusEnd);
    return waitFor(target, [&] {
        if (ImageView::read(target.view.pospid()) == 0 || !programRuns(target)) return true;
        // A program still starting up writes its starting status over END: say it again.
        if (ImageView::read(status) == kStatusStop) ImageView::write(status, kStatusEnd);
        return false;
    }, timeoutMs);
}

double periodMs(const Target& target) {
    const double us = ImageView::read(target.view.simuperiod());
    if (!std::isfinite(us) || us <= 0.0 || us > 1e8) return 50.0;
    return us / 1000.0;
}

}  // namespace qv::ctl
