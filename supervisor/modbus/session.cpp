// Following the program on the image, and the windows between its cycles.
#include "supervisor/modbus/session.h"

#include <algorithm>
#include <cstdio>

#include "runtime/platform/platform.h"
#include "supervisor/core/control.h"
#include "supervisor/core/cycles.h"

namespace qv::modbus {

namespace {

std::string mapped(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " variable mapped" : " variables mapped");
}

}  // namespace

std::shared_ptr<Session> Follower::open(std::string& error) const {
    std::optional<ctl::Target> target = ctl::openTarget(options_.target, error, options_.symbolsFile);
    if (!target) return nullptr;
    std::optional<BoundMap> map = bindMap(*target, options_.mapFile, options_.wordOrder, error);
    if (!map) return nullptr;
    const int32_t pid = ctl::readState(*target).pid;
    return std::make_shared<Session>(Session{std::move(*target), std::move(*map), pid, 0});
}

void Follower::say(const std::string& line) const { std::printf("%s: %s\n", options_.who.c_str(), line.c_str()); }

bool Follower::start(std::string& error) {
    std::shared_ptr<Session> fresh = open(error);
    if (fresh == nullptr) return false;
    fresh->generation = ++generation_;
    const ctl::ProgramState state = ctl::readState(fresh->target);
    const std::string program = fresh->target.table != nullptr ? fresh->target.table->program : "an unknown program";
    say("image " + options_.target.name + " holds " + program +
        (state.alive ? " (process " + std::to_string(state.pid) + ")" : ", which is not running") + ", " +
        mapped(fresh->map.bindings.size()));
    endSaid_ = !state.alive;
    std::lock_guard lock(mutex_);
    session_ = std::move(fresh);
    return true;
}

void Follower::look() {
    std::shared_ptr<const Session> now = current();
    ++ticks_;
    if (now != nullptr) {
        const ctl::ProgramState state = ctl::readState(now->target);
        if (state.alive && state.pid == now->pid) return;
        if (!state.alive && !endSaid_) {
            say(state.pid == 0 ? "the program ended " + ctl::cycleWhen(now->target, state)
                               : "the program's process " + std::to_string(state.pid) + " has gone");
            endSaid_ = true;
        }
        if (!state.alive && ticks_ % 5 != 0) return;  // look for a new one now and then
    }
    std::string error;
    std::shared_ptr<Session> fresh = open(error);
    if (fresh == nullptr) {
        if (error != lastProblem_) say(error + "; waiting");
        lastProblem_ = error;
        std::lock_guard lock(mutex_);
        session_.reset();
        return;
    }
    lastProblem_.clear();
    const ctl::ProgramState state = ctl::readState(fresh->target);
    // The same program still (or still ended): keep the session and its map.
    if (now != nullptr && (!state.alive || state.pid == now->pid)) return;
    if (now == nullptr && !state.alive) {
        std::lock_guard lock(mutex_);
        fresh->generation = ++generation_;
        session_ = std::move(fresh);
        return;
    }
    fresh->generation = ++generation_;
    const std::string program = fresh->target.table != nullptr ? fresh->target.table->program : "an unknown program";
    say("a new program on image " + options_.target.name + ": " + program + " (process " + std::to_string(state.pid) +
        "), " + mapped(fresh->map.bindings.size()));
    endSaid_ = false;
    std::lock_guard lock(mutex_);
    session_ = std::move(fresh);
}

int32_t cycleCounter(const ctl::Target& target) { return ImageView::read(target.view.cycleCounter()); }

bool CycleClock::next(const ctl::Target& target, int timeoutMs) {
    const uint64_t start = platform::tickMilliseconds();
    for (;;) {
        const int32_t counter = cycleCounter(target);
        const uint64_t now = platform::tickMilliseconds();
        if (!known_) {
            known_ = true;
            last_ = counter;
            lastChangeMs_ = now;
        } else if (counter != last_) {
            if (intervalMs_ == 0.0) intervalMs_ = static_cast<double>(now - lastChangeMs_);
            else intervalMs_ = 0.8 * intervalMs_ + 0.2 * static_cast<double>(now - lastChangeMs_);
            last_ = counter;
            lastChangeMs_ = now;
            // The cycle that moved the counter has had time to finish: a fifth of the
            // period, or of the measured interval when the program runs faster.
            double wait = ctl::periodMs(target) / 5.0;
            if (intervalMs_ > 0.0) wait = std::min(wait, intervalMs_ / 5.0);
            platform::sleepMilliseconds(static_cast<uint32_t>(std::clamp(wait, 0.0, 200.0)));
            return true;
        }
        if (now - start >= static_cast<uint64_t>(timeoutMs)) return false;
        platform::sleepMilliseconds(1);
    }
}

}  // namespace qv::modbus
