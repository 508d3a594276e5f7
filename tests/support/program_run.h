// Process tests: start a real program in a folder of its own, with an image of its own,
// and watch it from the test as a supervisor would.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/platform/platform.h"
#include "supervisor/core/image_view.h"

namespace qvtest {

// A name no other test uses: "qvt_<tag>_<pid>_<n>".
std::string uniqueImageName(const std::string& tag);

// Path of a program built into build/bin.
std::string programPath(const std::string& program);

// Polls `condition` every millisecond until it holds or `timeout` passes.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Reads a whole text file ("" when missing).
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);

class ProgramRun {
public:
    // Prepares a run of build/bin/<program>: a fresh folder holding a link to the program
    // (so that its trace and parameters files lie in that folder) and an image name.
    explicit ProgramRun(const std::string& program, const std::string& tag = "run");
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Starts the program with QV_MEMORY_NAME set to imageName(), QV_MEMORY_SIZE and
    // QV_TIMEOUT unset, then `environment` applied ("NAME=value" sets, "NAME" removes).
    bool start(const std::vector<std::string>& environment = {});

    // Waits for the program to end; its exit status, or nothing on time-out.
    std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool running() const;

    // Maps the program's image once it has started (waits until its process slot holds
    // the program's pid, or until the image exists when `requireStarted` is false).
    qv::ImageView& image(bool requireStarted = true);

    // Waits until the program idles in STOP, its start-up complete and its report printed.
    bool waitUntilStopped(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Writes a status and waits until the cycle counter has moved on by `cycles`.
    bool runCycles(int32_t cycles, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Writes END and waits for the exit status.
    std::optional<int> end(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::string console() const { return readFile(consolePath_); }
    const std::string& folder() const { return folder_; }
    const std::string& imageName() const { return imageName_; }
    std::string programLink() const { return folder_ + "/" + program_; }
    std::string traceFile() const { return programLink() + ".trc"; }
    std::string paramsFile() const { return programLink() + "_params.txt"; }
    int32_t pid() const { return pid_; }

private:
    std::string program_;
    std::string folder_;
    std::string imageName_;
    std::string consolePath_;
    qv::platform::ChildProcess child_;
    int32_t pid_ = -1;
    std::optional<qv::ImageView> image_;
};

}  // namespace qvtest
