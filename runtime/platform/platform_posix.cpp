// POSIX stand-ins for the operating-system services of platform.h.
#include "runtime/platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string_view>
#include <sched.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/auxv.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qv::platform {

namespace {

std::string objectPath(const std::string& name) { return "/" + name; }

SharedMapping mapObject(int fd, std::size_t size, bool created, bool readOnly = false) {
    SharedMapping mapping;
    if (size == 0) {
        close(fd);
        return mapping;
    }
    void* view = mmap(nullptr, size, readOnly ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        close(fd);
        return mapping;
    }
    mapping.view = static_cast<unsigned char*>(view);
    mapping.size = size;
    mapping.handle = fd;
    mapping.created = created;
    return mapping;
}

std::size_t objectSize(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<std::size_t>(st.st_size);
}

ObjectOwner ownerOf(const struct stat& st) {
    ObjectOwner owner;
    owner.user = static_cast<uint32_t>(st.st_uid);
    owner.mode = static_cast<uint32_t>(st.st_mode & 07777);
    owner.symbolicLink = S_ISLNK(st.st_mode);
    owner.regular = S_ISREG(st.st_mode);
    return owner;
}

// Whose is what stands under an object's name (a link is not followed; the objects of
// shm_open live in /dev/shm), when the object itself could not be opened.
std::optional<ObjectOwner> foundObject(const std::string& name) {
    struct stat st {};
    if (lstat(("/dev/shm/" + name).c_str(), &st) != 0) return std::nullopt;
    return ownerOf(st);
}

SharedMapping refusedMapping(const ObjectOwner& owner) {
    SharedMapping mapping;
    mapping.owner = owner;
    mapping.refused = true;
    return mapping;
}

// Opens an existing object for reading and writing, never through a link and never
// waiting (a FIFO put under the name). Sets `owner` from the descriptor.
int openExisting(const std::string& name, ObjectOwner& owner) {
    const int fd = shm_open(objectPath(name).c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK, 0);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return -1;
    }
    owner = ownerOf(st);
    return fd;
}

// What is under `path` when it is there and is not a regular file (a final link is not
// followed); nothing otherwise.
bool notRegularFile(const std::string& path, OpenedFile& opened) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return false;
    opened.notRegular = true;
    opened.symbolicLink = S_ISLNK(st.st_mode);
    return true;
}

// Keeps a descriptor opened non-blocking only when it is a regular file, then hands it
// to a stream in blocking mode.
OpenedFile regularStream(int fd, const char* mode) {
    OpenedFile opened;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return opened;
    }
    if (!S_ISREG(st.st_mode)) {
        opened.notRegular = true;
        close(fd);
        return opened;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    opened.file = fdopen(fd, mode);
    if (opened.file == nullptr) close(fd);
    return opened;
}

}  // namespace

bool ownedPrivately(const ObjectOwner& owner) {
    return !owner.symbolicLink && owner.regular && owner.user == static_cast<uint32_t>(geteuid()) &&
           (owner.mode & 077) == 0;
}

bool sharedMemoryNameUsable(const std::string& name) {
    if (name.empty() || name.size() > 250) return false;
    for (char c : name)
        if (c == '/' || c == '\0') return false;
    return name != "." && name != "..";
}

SharedMapping openSharedMemory(const std::string& name, std::size_t size) {
    if (!sharedMemoryNameUsable(name)) return {};
    const std::string path = objectPath(name);
    bool created = false;
    int fd = -1;
    ObjectOwner owner;
    // Created here, or found: an object removed between the two attempts is created again.
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        created = fd >= 0;
        if (fd >= 0 || errno != EEXIST) break;
        fd = openExisting(name, owner);
        if (fd < 0 && errno != ENOENT) {
            // A link, a folder, or an object of another user that this one may not open.
            const std::optional<ObjectOwner> found = foundObject(name);
            if (found && !ownedPrivately(*found)) return refusedMapping(*found);
            return {};
        }
    }
    if (fd < 0) return {};
    if (struct stat st {}; created && fstat(fd, &st) == 0) owner = ownerOf(st);
    // Someone else's object, or one that others may reach, is not ours to use: they could
    // read, drive or shrink it under the program.
    if (!created && !ownedPrivately(owner)) {
        close(fd);
        return refusedMapping(owner);
    }
    std::size_t existing = objectSize(fd);
    if (created || existing == 0) {
        // A new object (size 0) takes the size asked for.
        if (size > 0 && ftruncate(fd, static_cast<off_t>(size)) != 0) {
            close(fd);
            return {};
        }
        existing = size;
    }
    SharedMapping mapping = mapObject(fd, size < existing ? size : existing, created);
    mapping.owner = owner;
    return mapping;
}

SharedMapping attachSharedMemory(const std::string& name, bool readOnly) {
    if (!sharedMemoryNameUsable(name)) return {};
    ObjectOwner owner;
    const int fd = openExisting(name, owner);
    if (fd < 0) {
        const std::optional<ObjectOwner> found = foundObject(name);
        if (found && !ownedPrivately(*found)) return refusedMapping(*found);
        return {};
    }
    SharedMapping mapping = mapObject(fd, objectSize(fd), false, readOnly);
    mapping.owner = owner;
    return mapping;
}

void reusePortOfEndedServers(int socket) {
    // SO_REUSEADDR alone: on Linux it never lets two sockets listen on one port, as
    // SO_REUSEPORT would.
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

bool lastBindFoundAddressInUse() { return errno == EADDRINUSE; }

std::size_t sharedMemorySize(const SharedMapping& mapping) {
    return mapping.handle < 0 ? 0 : objectSize(mapping.handle);
}

void closeSharedMemory(SharedMapping& mapping) {
    if (mapping.view != nullptr) munmap(mapping.view, mapping.size);
    if (mapping.handle >= 0) close(mapping.handle);
    mapping = SharedMapping{};
}

bool removeSharedMemory(const std::string& name) {
    if (!sharedMemoryNameUsable(name)) return false;
    return shm_unlink(objectPath(name).c_str()) == 0;
}

std::optional<std::string> environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void setEnvironmentVariable(const char* name, const std::optional<std::string>& value) {
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

int32_t processId() { return static_cast<int32_t>(getpid()); }

std::string temporaryDirectory() {
    std::string dir = environmentVariable("TMPDIR").value_or("");
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir.empty() ? std::string("/tmp") : dir;
}

std::optional<std::string> makePrivateFolder(const std::string& prefix) {
    std::string path = temporaryDirectory() + "/" + prefix + "XXXXXX";
    if (mkdtemp(path.data()) == nullptr) return std::nullopt;
    return path;
}

uint64_t monotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t tickMilliseconds() { return monotonicNanoseconds() / 1000000u; }

void sleepMilliseconds(uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000u),
                  static_cast<long>(milliseconds % 1000u) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void waitMicroseconds(uint32_t microseconds) {
    timeval timeout{static_cast<time_t>(microseconds / 1000000u),
                    static_cast<suseconds_t>(microseconds % 1000000u)};
    select(0, nullptr, nullptr, nullptr, &timeout);
}

void sleepUntilNanoseconds(uint64_t deadline) {
    const timespec at{static_cast<time_t>(deadline / 1000000000u), static_cast<long>(deadline % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

std::string enterRealtime(int priority) {
    std::string refused;
    sched_param parameters{};
    parameters.sched_priority = priority;
    if (sched_setscheduler(0, SCHED_FIFO, &parameters) != 0)
        refused = std::string("real-time priority (") + std::strerror(errno) + ")";
    if (mlockall(MCL_CURRENT) != 0)
        refused += (refused.empty() ? "" : " and ") + std::string("locked memory (") + std::strerror(errno) + ")";
    return refused;
}

std::optional<ChildProcess> startProcess(const std::vector<std::string>& argv,
                                         const std::vector<std::string>& environment,
                                         const std::string& outputFile) {
    if (argv.empty()) return std::nullopt;
    // The child's environment: ours, changed in order by the entries given ("NAME=value"
    // sets a variable, "NAME" removes it).
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
    for (const std::string& change : environment) {
        const std::string prefix = change.substr(0, change.find('=')) + "=";
        std::erase_if(envStrings, [&](const std::string& entry) { return entry.starts_with(prefix); });
        if (change.find('=') != std::string::npos) envStrings.push_back(change);
    }

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return std::nullopt;
    return ChildProcess{static_cast<int32_t>(pid)};
}

std::optional<int> waitProcess(ChildProcess& child, int32_t timeoutMilliseconds) {
    if (child.pid <= 0) return std::nullopt;
    const uint64_t start = tickMilliseconds();
    for (;;) {
        int status = 0;
        pid_t r = waitpid(child.pid, &status, WNOHANG);
        if (r == child.pid) {
            child.pid = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return std::nullopt;
        }
        if (r < 0 && errno != EINTR) return std::nullopt;
        if (timeoutMilliseconds >= 0 &&
            tickMilliseconds() - start >= static_cast<uint64_t>(timeoutMilliseconds))
            return std::nullopt;
        sleepMilliseconds(2);
    }
}

bool processAlive(int32_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

std::optional<std::string> processEnvironmentVariable(int32_t pid, const char* name) {
    if (pid <= 0) return std::nullopt;
    std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    if (!file) return std::nullopt;
    const std::string all{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::string prefix = std::string(name) + "=";
    // NUL-separated "NAME=value" entries; the first one counts, as for getenv.
    for (std::size_t at = 0; at < all.size();) {
        std::size_t end = all.find('\0', at);
        if (end == std::string::npos) end = all.size();
        if (end - at >= prefix.size() && all.compare(at, prefix.size(), prefix) == 0)
            return all.substr(at + prefix.size(), end - at - prefix.size());
        at = end + 1;
    }
    return std::nullopt;
}

void killProcess(int32_t pid) {
    if (pid > 0) kill(pid, SIGKILL);
}

std::optional<std::string> executablePath(int32_t pid) {
    if (pid <= 0) return std::nullopt;
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = readlink(link.c_str(), path.data(), path.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);  // perhaps cut short: read again with more room
    }
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

OpenedFile createRegularFile(const std::string& path) {
    // Not emptied on opening: only once it is known to be a regular file.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        OpenedFile opened;
        notRegularFile(path, opened);
        return opened;
    }
    OpenedFile opened = regularStream(fd, "w");
    if (opened.file != nullptr && ftruncate(fileno(opened.file), 0) != 0) {
        std::fclose(opened.file);
        return {};
    }
    return opened;
}

OpenedFile openRegularFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    return regularStream(fd, "r");
}

std::optional<std::string> ownExecutablePath() {
    std::optional<std::string> running = executablePath(processId());
    struct stat file {};
    const bool runningKnown = stat("/proc/self/exe", &file) == 0;
    // The path given to exec: what a shell found through PATH, or the path the starter
    // named; never a name looked up in the current folder.
    const char* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    struct stat named {};
    if (started != nullptr && *started != '\0' && runningKnown && stat(started, &named) == 0 &&
        named.st_dev == file.st_dev && named.st_ino == file.st_ino)
        return std::string(started);
    // A file replaced since it was started: its folder is still the one it came from.
    constexpr std::string_view kDeleted = " (deleted)";
    if (running && running->ends_with(kDeleted)) running->resize(running->size() - kDeleted.size());
    return running;
}

}  // namespace qv::platform
