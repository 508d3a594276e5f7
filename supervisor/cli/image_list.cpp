// qvctl list: every image on the machine. Images are the shared memory objects of the
// system's shared memory folder; objects that other software keeps there are listed as
// such, never written.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "supervisor/cli/commands.h"
#include "supervisor/core/control.h"
#include "supervisor/core/cycles.h"

namespace qv::ctl {

namespace {

constexpr const char* kSharedMemoryFolder = "/dev/shm";

struct Row {
    std::string name, size, revision, program, pid, alive, status, cycle;
};

Row describe(const std::string& name, std::uintmax_t bytes) {
    Row row{name, std::to_string(bytes), "-", "", "-", "-", "-", "-"};
    if (!platform::sharedMemoryNameUsable(name)) {
        row.program = "(not an image)";
        return row;
    }
    std::string error;
    std::optional<Target> target = openTarget(TargetRequest{name, "", 0}, error);
    if (!target) {
        row.program = "(not an image)";
        return row;
    }
    const ImageView& view = target->view;
    if (view.execstatus() == nullptr || view.pospid() == nullptr || view.cycleCounter() == nullptr) {
        row.program = "(malformed image)";
        return row;
    }
    const ProgramState s = readState(*target);
    row.revision = std::to_string(target->revision);
    // A model the tool has no table of is named by the description beside its executable.
    row.program = target->facts != nullptr  ? target->facts->program
                  : target->table != nullptr ? std::string(target->table->program)
                                             : "(unknown program)";
    row.pid = s.pid == 0 ? "-" : std::to_string(s.pid);
    row.alive = s.pid == 0 ? "no" : s.alive ? "yes" : "gone";
    const std::string status = statusName(s.status);
    row.status = status.empty() ? std::to_string(s.status) : status;
    row.cycle = lastCycleText(*target, s);
    return row;
}

}  // namespace

int listCommand() {
    std::vector<Row> rows;
    std::error_code problem;
    std::filesystem::directory_iterator folder(kSharedMemoryFolder, problem);
    if (problem) return fail(std::string("cannot read ") + kSharedMemoryFolder + ": " + problem.message());
    for (const std::filesystem::directory_entry& entry : folder) {
        std::error_code ignored;
        if (!entry.is_regular_file(ignored)) continue;
        const std::uintmax_t bytes = entry.file_size(ignored);
        rows.push_back(describe(entry.path().filename().string(), ignored ? 0 : bytes));
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.name < b.name; });
    std::printf("%-20s %10s %3s %-19s %8s %5s %-6s %s\n", "name", "size", "rev", "program", "pid", "alive", "status",
                "cycle");
    for (const Row& r : rows)
        std::printf("%-20s %10s %3s %-19s %8s %5s %-6s %s\n", r.name.c_str(), r.size.c_str(), r.revision.c_str(),
                    r.program.c_str(), r.pid.c_str(), r.alive.c_str(), r.status.c_str(), r.cycle.c_str());
    if (rows.empty()) std::printf("(no images)\n");
    return kExitDone;
}

}  // namespace qv::ctl
