// Operating-system services, behind one small interface. This folder is the only
// place that includes POSIX headers; everything else calls these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace qv::platform {

// ---- Named shared memory -------------------------------------------------

// Who owns an existing object, and what stands under its name.
struct ObjectOwner {
    uint32_t user = 0;          // the owner's user id
    uint32_t mode = 0;          // permission bits (at most 07777)
    bool symbolicLink = false;  // a link stands in the object's place (never followed)
    bool regular = true;        // a plain object, not a FIFO, folder or device
};

// True for an object that only this process's (effective) user can reach: its own, a
// plain object, with no access for group or others.
bool ownedPrivately(const ObjectOwner& owner);

// A mapped view of a named shared memory object.
struct SharedMapping {
    unsigned char* view = nullptr;  // start of the mapped view
    std::size_t size = 0;           // bytes mapped (never more than the object holds)
    int handle = -1;                // descriptor of the object
    bool created = false;           // the object did not exist before
    ObjectOwner owner;              // of an existing object, as found
    bool refused = false;           // an existing object not owned privately: left as it was
};

// True when `name` can name a shared memory object here (no '/', not empty, not too long).
bool sharedMemoryNameUsable(const std::string& name);

// Creates the object `name` with `size` bytes (mode 0600), or opens it if it exists, and
// maps it for reading and writing. An existing object is used only when it is owned
// privately (ownedPrivately); a symbolic link is never followed. Anything else is
// refused before it is resized or mapped: the mapping comes back empty with `refused`
// set and `owner` telling why. An existing object keeps its own size: the view covers
// min(size, its size). Returns an empty mapping (view null) when anything fails.
SharedMapping openSharedMemory(const std::string& name, std::size_t size);

// Opens an existing object without creating or resizing it and maps all of it (for
// reading only when `readOnly`). A symbolic link is not followed; `owner` tells whose the
// object is, for the caller to judge.
SharedMapping attachSharedMemory(const std::string& name, bool readOnly = false);

// The size the mapped object has now (another process may have shrunk it since it was
// mapped), or 0 when it cannot be told.
std::size_t sharedMemorySize(const SharedMapping& mapping);

// Unmaps the view and closes the descriptor; the object itself stays.
void closeSharedMemory(SharedMapping& mapping);

// Removes the name; mappings that exist stay valid. True when the name existed.
bool removeSharedMemory(const std::string& name);

// ---- Listening sockets -----------------------------------------------------

// Lets a server's socket bind its port again while connections of an earlier server
// linger, but never beside another server that listens on it now (no port sharing).
void reusePortOfEndedServers(int socket);

// True when the last failed bind said that the address is in use.
bool lastBindFoundAddressInUse();

// ---- Environment, process, files -----------------------------------------

// The value of an environment variable, or nothing when it is not set.
std::optional<std::string> environmentVariable(const char* name);

// Sets (or, with nothing, removes) an environment variable of this process.
void setEnvironmentVariable(const char* name, const std::optional<std::string>& value);

int32_t processId();

// The directory for temporary files: $TMPDIR, else /tmp. Ends without a separator.
std::string temporaryDirectory();

// A new folder in the temporary directory, only this user's (mode 0700), named `prefix`
// and characters nobody can guess; created, never found. Nothing when it cannot be made.
std::optional<std::string> makePrivateFolder(const std::string& prefix);

// ---- Clock and waits ------------------------------------------------------

// Monotonic clock in whole milliseconds (the tick count).
uint64_t tickMilliseconds();

// Monotonic clock in nanoseconds, for measurements only.
uint64_t monotonicNanoseconds();

// Sleeps whole milliseconds; a signal does not cut the sleep short.
void sleepMilliseconds(uint32_t milliseconds);

// Waits microseconds with microsecond granularity (a readiness wait on no descriptors).
void waitMicroseconds(uint32_t microseconds);

// Sleeps until the monotonic clock (that of monotonicNanoseconds) reaches `deadline`;
// a signal does not cut the sleep short. Returns at once when the deadline has passed.
void sleepUntilNanoseconds(uint64_t deadline);

// Asks for real-time scheduling (first-in first-out at `priority`) and for the memory
// mapped now to stay resident (not later mappings: under a low locking limit they would
// fail). Returns what was refused, in words, with the system's reason ("" when both
// were granted).
std::string enterRealtime(int priority);

// ---- Child processes (supervisor tools and tests) -------------------------

struct ChildProcess {
    int32_t pid = -1;
};

// Starts `argv[0]` with the given arguments, in the current environment changed by
// `environment`: "NAME=value" sets a variable, "NAME" removes it. Standard output and error go to `outputFile`
// when it is not empty (truncated first), else they are inherited.
std::optional<ChildProcess> startProcess(const std::vector<std::string>& argv,
                                         const std::vector<std::string>& environment,
                                         const std::string& outputFile = {});

// Waits for the child to end, at most `timeoutMilliseconds` (negative: forever).
// Returns its exit status (0..255), 128 + signal when a signal ended it, or nothing
// on time-out.
std::optional<int> waitProcess(ChildProcess& child, int32_t timeoutMilliseconds);

// True while the process exists.
bool processAlive(int32_t pid);

// The value of an environment variable as another process started with it, or nothing
// when it was not set or that process's environment cannot be read.
std::optional<std::string> processEnvironmentVariable(int32_t pid, const char* name);

// Ends the process at once.
void killProcess(int32_t pid);

// The path of the executable that the process runs, or nothing when it cannot be read
// (no such process, or not ours to look at).
std::optional<std::string> executablePath(int32_t pid);

// True when `path` names a regular file.
bool fileExists(const std::string& path);

// A file that the program writes or reads, or why it was not opened.
struct OpenedFile {
    std::FILE* file = nullptr;
    bool notRegular = false;    // the path names something else: left untouched
    bool symbolicLink = false;  // ... namely a symbolic link
};

// Opens `path` for writing and empties it, creating it when it does not exist. A final
// symbolic link is not followed, and a path that names anything but a regular file (a
// link, folder, FIFO or device) is neither waited on, nor emptied, nor written.
OpenedFile createRegularFile(const std::string& path);

// Opens `path` for reading when it names a regular file (through a link or not); a FIFO,
// device or folder is not read, nor waited on.
OpenedFile openRegularFile(const std::string& path);

// The full path of this program's executable: the path it was started by, when that still
// names the file that runs (so a program started through a link keeps its files beside
// the link), else the file's own path. Nothing when the system cannot tell.
std::optional<std::string> ownExecutablePath();

}  // namespace qv::platform
