// Following the image across program restarts, for both Modbus faces: the program on the
// image now, with the map bound to its variables, and the moments between two of its
// cycles at which its outputs are whole and an input written is seen whole.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "supervisor/core/target.h"
#include "supervisor/modbus/binding.h"

namespace qv::modbus {

// One program run on the image, with the map bound to it.
struct Session {
    ctl::Target target;
    BoundMap map;
    int32_t pid = 0;
    uint64_t generation = 0;
};

struct FollowOptions {
    ctl::TargetRequest target;
    std::string symbolsFile;
    const MapFile* mapFile = nullptr;  // null: the default map alone
    WordOrder wordOrder = WordOrder::Big;
    std::string who;                   // "modbus serve", the start of every console line
};

class Follower {
public:
    explicit Follower(FollowOptions options) : options_(std::move(options)) {}

    // The first look: false, with `error`, when the image cannot be opened or the map
    // does not fit its program (a face refuses to start on a map that is wrong).
    bool start(std::string& error);

    // Looks again: a new program on the image makes a new session, an ended one is said
    // on the console once. Called every few tens of milliseconds by one thread.
    void look();

    // The session now; null while there is no image or no map that fits it.
    std::shared_ptr<const Session> current() const {
        std::lock_guard lock(mutex_);
        return session_;
    }

private:
    std::shared_ptr<Session> open(std::string& error) const;
    void say(const std::string& line) const;

    FollowOptions options_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Session> session_;
    uint64_t generation_ = 0;
    bool endSaid_ = false;
    std::string lastProblem_;
    unsigned ticks_ = 0;
};

// Waits for the quiet moment after a program cycle: the counter has moved and the cycle
// has had time to finish (a fifth of the period, or of the interval measured between two
// cycles when the program runs faster than real time). Polls every millisecond.
class CycleClock {
public:
    // True once a new cycle has run since the last call and its window has come; false
    // when `timeoutMs` passes first (the program stands still, or has gone).
    bool next(const ctl::Target& target, int timeoutMs);
    void reset() { known_ = false; }

private:
    bool known_ = false;
    int32_t last_ = 0;
    uint64_t lastChangeMs_ = 0;
    double intervalMs_ = 0.0;
};

// The cycle counter, read once.
int32_t cycleCounter(const ctl::Target& target);

}  // namespace qv::modbus
