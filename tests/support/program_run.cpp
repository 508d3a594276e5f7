#include "tests/support/program_run.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace qvtest {

std::string uniqueImageName(const std::string& tag) {
    static std::atomic<int> next{0};
    return "qvt_" + tag + "_" + std::to_string(qv::platform::processId()) + "_" + std::to_string(next++);
}

std::string programPath(const std::string& program) { return std::string(QV_BUILD_BIN_DIR) + "/" + program; }

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

ProgramRun::ProgramRun(const std::string& program, const std::string& tag)
    : program_(program), imageName_(uniqueImageName(tag)) {
    folder_ = qv::platform::temporaryDirectory() + "/" + imageName_;
    fs::create_directories(folder_);
    fs::create_symlink(programPath(program), programLink());
    consolePath_ = folder_ + "/console.txt";
}

ProgramRun::~ProgramRun() {
    if (running()) qv::platform::killProcess(child_.pid);
    if (child_.pid > 0) qv::platform::waitProcess(child_, 2000);
    image_.reset();
    qv::platform::removeSharedMemory(imageName_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool ProgramRun::start(const std::vector<std::string>& environment) {
    std::vector<std::string> env = {"QV_MEMORY_NAME=" + imageName_, "QV_MEMORY_SIZE", "QV_TIMEOUT"};
    for (const std::string& e : environment) env.push_back(e);
    auto child = qv::platform::startProcess({programLink()}, env, consolePath_);
    if (!child) return false;
    child_ = *child;
    pid_ = child_.pid;
    return true;
}

std::optional<int> ProgramRun::wait(std::chrono::milliseconds timeout) {
    return qv::platform::waitProcess(child_, static_cast<int32_t>(timeout.count()));
}

bool ProgramRun::running() const { return child_.pid > 0 && qv::platform::processAlive(child_.pid); }

qv::ImageView& ProgramRun::image(bool requireStarted) {
    if (!image_) {
        waitUntil([&] {
            image_ = qv::ImageView::attach(imageName_);
            if (!image_) return false;
            if (!requireStarted) return true;
            int32_t* pid = image_->pospid();
            if (pid != nullptr && qv::ImageView::read(pid) == pid_) return true;
            image_.reset();
            return false;
        });
    }
    if (!image_) throw std::runtime_error("image " + imageName_ + " did not appear");
    return *image_;
}

bool ProgramRun::waitUntilStopped(std::chrono::milliseconds timeout) {
    qv::ImageView& view = image();
    // The signature is published once start-up is complete, by the first poll in STOP.
    return waitUntil([&] {
        return qv::ImageView::read(view.execstatus()) == qv::kStatusStop &&
               qv::ImageView::read(view.signature()) != 0 && console().find("to STOP\n") != std::string::npos;
    }, timeout);
}

bool ProgramRun::runCycles(int32_t cycles, std::chrono::milliseconds timeout) {
    qv::ImageView& view = image();
    const int32_t first = qv::ImageView::read(view.cycleCounter());
    qv::ImageView::write(view.execstatus(), qv::kStatusRun);
    const bool done = waitUntil([&] { return qv::ImageView::read(view.cycleCounter()) - first >= cycles; }, timeout);
    qv::ImageView::write(view.execstatus(), qv::kStatusStop);
    return done;
}

std::optional<int> ProgramRun::end(std::chrono::milliseconds timeout) {
    qv::ImageView::write(image().execstatus(), qv::kStatusEnd);
    return wait(timeout);
}

}  // namespace qvtest
