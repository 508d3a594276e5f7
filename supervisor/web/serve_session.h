// What qvctl serve shows of the program on its image: the session (the mapped image,
// the program's variables and scene objects) and the snapshots that the page is sent.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "supervisor/core/target.h"

namespace qv::serve {

// A scene object of a program that declares its objects.
struct SceneObject {
    std::string name;
    bool product;
    int32_t kindId;
    int32_t index;
    int32_t matrixSlot;  // real slot of matrix element 0 (16 reals, row-major)
    int32_t statusSlot;  // integer slot: 1 present, 2 removed
    std::string colour;
};

// The manipulator cell's part, followed on the server so that every page, and a reload,
// draws it in the same place: it lies at the start position until the vacuum takes it
// with the gripper down, rides with the gripper, and stays at the position code where
// the vacuum lets it go.
struct CellPart {
    std::mutex mutex;
    bool moved = false;  // put down somewhere since the session began
    bool held = false;
    int32_t at = -1;  // position code where it lies, -1 when it lies at no position
};

// One program run on the image, as the page knows it. A new program on the image makes
// a new session with the next generation number.
struct Session {
    ctl::Target target;
    uint64_t generation = 0;
    int32_t pid = 0;
    std::string program;                  // "" when the program is not known
    std::vector<ctl::Variable> variables;  // the symbol table's order
    std::vector<SceneObject> objects;
    std::shared_ptr<CellPart> part = std::make_shared<CellPart>();
};

// Opens the image and describes its program: the built-in symbol table, else the symbol
// description beside the program's executable, else `symbolsFile`. Null with `error` when
// there is no image. `readOnly` maps the image for reading only.
std::shared_ptr<Session> openSession(const std::string& image, const std::string& model,
                                     const std::string& symbolsFile, uint64_t generation, std::string& error,
                                     bool readOnly = false);

// The session's variable `name`, or null.
const ctl::Variable* findVariable(const Session& session, const std::string& name);

// What the page draws its lists and drawings from (sent once per session).
nlohmann::json describeSession(const Session& session);

// What the program's description says of its source for the online view (GET
// /api/program): the source files by number, the locations, the instances, the charts and
// the diagrams; empty lists for a program that was not compiled from source.
nlohmann::json describeProgram(const Session& session);

// What the page shows of the program now. Values are texts as qvctl prints them, with
// flags: 1 forced, 2 traced, 4 data breakpoint.
struct Snapshot {
    nlohmann::json state;                 // status, cycle, period, statistics, lists
    std::vector<std::string> texts;        // per variable
    std::vector<uint8_t> flags;            // per variable
    std::vector<std::vector<float>> objects;  // per object: status, then 16 matrix reals
};

inline constexpr uint8_t kFlagForced = 1, kFlagTraced = 2, kFlagBreak = 4;

Snapshot takeSnapshot(const Session& session);

// The changes from `before` to `now` as one message: everything when `before` is empty.
nlohmann::json changes(const Snapshot& before, const Snapshot& now);

}  // namespace qv::serve
