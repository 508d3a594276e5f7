// A random supervisor for soak runs, built on qvctl's own operations.
//
//   soak_supervisor --name IMAGE --seconds S [--seed N]
//     drives the program on IMAGE for S seconds with random writes of every kind a
//     supervisor makes (status words, values, forcing, trace and breakpoint lists, the
//     trace switches, the period, and some out-of-range words), then ends it with END and
//     prints one line: cycles, writes, resident memory at start and at end. Status 1 when
//     the program could not be ended or its resident memory grew.
//
//   soak_supervisor --check-trace FILE --program P
//     checks that every line of the trace file of program P (a known program, which gives
//     the runtime revision) is a line the trace recorder writes, and that a revision 3
//     file ends with its end line. Status 1, with the first bad line, when not.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "supervisor/core/control.h"
#include "supervisor/core/lists.h"
#include "supervisor/core/target.h"
#include "supervisor/core/values.h"

namespace {

using namespace qv;
using namespace qv::ctl;

// ---- Resident memory ---------------------------------------------------------------------

// A field of /proc/<pid>/status in kB ("VmRSS", "RssAnon"), -1 when missing.
long statusKilobytes(int32_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return -1;
}

struct Resident {
    long total;      // VmRSS
    long anonymous;  // RssAnon: the heap and stacks, where a leak shows
};

Resident resident(int32_t pid) { return {statusKilobytes(pid, "VmRSS"), statusKilobytes(pid, "RssAnon")}; }

// ---- The random supervisor ---------------------------------------------------------------

class RandomSupervisor {
public:
    RandomSupervisor(Target& target, unsigned seed) : target_(target), random_(seed) {
        for (const Variable& v : controlVariables(target)) {
            if (v.name == "traceon" || v.name == "resettrace" || v.name == "allowpreconditions" ||
                v.name == "allowpostconditions" || v.name == "tracesnapshop" || v.name == "qv_delay")
                switches_.push_back(v);
        }
        if (target.table != nullptr) {
            for (const symbols::Symbol& s : target.table->symbols) {
                std::string error;
                if (std::optional<Variable> v = resolveVariable(target, s.name, error)) variables_.push_back(*v);
            }
        }
    }

    // One random supervisor action.
    void act() {
        switch (pick(16)) {
            case 0: case 1: case 2: status(); break;
            case 3: case 4: case 5: setRandomValue(); break;
            case 6: force(); break;
            case 7: traceList(); break;
            case 8: dataBreakpoint(); break;
            case 9: locationBreakpoint(); break;
            case 10: case 11: traceSwitch(); break;
            case 12: period(); break;
            case 13: rawIndexTableWord(); break;
            case 14: setRandomSlot(); break;
            default: step(); break;
        }
    }

    // Releases what the run left forced and listed, as a supervisor that leaves does.
    void tidy() {
        for (const Variable& v : variables_) {
            if (isForced(target_, v)) {
                releaseValue(target_, v);
                ++writes_;
            }
        }
    }

    long writes() const { return writes_; }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool chance(int percent) { return pick(100) < percent; }

    const Variable* randomVariable() {
        if (variables_.empty()) return nullptr;
        return &variables_[static_cast<std::size_t>(pick(static_cast<int>(variables_.size())))];
    }

    Value randomValue(const Variable& v) {
        Value value;
        switch (v.kind) {
            case Kind::Bool: value.word = pick(2); break;
            case Kind::Char: value.word = pick(256); break;
            case Kind::Real: value.real = std::uniform_real_distribution<float>(-1000.0f, 1000.0f)(random_); break;
            case Kind::Time: value.ticks = std::uniform_int_distribution<int64_t>(-100000, 10000000)(random_); break;
            default:
                value.word = chance(80) ? pick(200) - 50
                                        : std::uniform_int_distribution<int32_t>(std::numeric_limits<int32_t>::min(),
                                                                                 std::numeric_limits<int32_t>::max())(random_);
                break;
        }
        return value;
    }

    // RUN most of the time, so that cycles run; every other word too, and some that are
    // no status at all.
    void status() {
        static constexpr int32_t kWords[] = {kStatusRun, kStatusRun, kStatusRun, kStatusRun, kStatusStop,
                                             kStatusStep, kStatusFree, kStatusPause, 9, -1, 1000000};
        ImageView::write(target_.view.execstatus(), kWords[pick(static_cast<int>(std::size(kWords)))]);
        ++writes_;
    }

    void step() {
        stepOnce(target_, 2000);
        ++writes_;
    }

    void setRandomValue() {
        if (const Variable* v = randomVariable()) {
            setValue(target_, *v, randomValue(*v));
            ++writes_;
        }
    }

    // Any slot of the areas outside the control block and the runtime's own slots.
    void setRandomSlot() {
        const int area = pick(kAreaCount);
        const int32_t count = target_.view.count(area);
        int32_t slot = pick(count);
        if (area == kAreaInt && slot >= target_.view.layout().execstatusSlot) return;
        if (area == kAreaReal && slot < kMaxmodificationEnd) return;
        if (area == kAreaChar && slot < kTasknameEnd) return;
        if (area == kAreaBool && slot < 5) return;
        constexpr Kind kinds[] = {Kind::Bool, Kind::Int, Kind::Real, Kind::Char};
        const Variable v{slotName(area, slot), static_cast<Area>(area), slot, kinds[area], "slot"};
        setValue(target_, v, randomValue(v));
        ++writes_;
    }

    void force() {
        const Variable* v = randomVariable();
        if (v == nullptr) return;
        if (isForced(target_, *v)) releaseValue(target_, *v);
        else forceValue(target_, *v, randomValue(*v));
        ++writes_;
    }

    void traceList() {
        const Variable* v = randomVariable();
        std::string why;
        if (v == nullptr || !listable(target_, *v, why)) return;
        if (chance(60)) addTraced(target_, *v);
        else removeTraced(target_, *v);
        ++writes_;
    }

    void dataBreakpoint() {
        const Variable* v = randomVariable();
        std::string why;
        if (v == nullptr || v->kind != Kind::Bool || !listable(target_, *v, why)) return;
        if (chance(30)) addDataBreakpoint(target_, *v);
        else removeDataBreakpoint(target_, *v);
        ++writes_;
    }

    void locationBreakpoint() {
        const LocationBreakpoint pair{pick(40) + 1, pick(8)};
        if (chance(30)) addLocationBreakpoint(target_, pair);
        else removeLocationBreakpoint(target_, pair);
        ++writes_;
    }

    // Mostly tracing on and off; a reset now and then (it restarts the file).
    void traceSwitch() {
        if (switches_.empty()) return;
        const int which = pick(20);
        const char* name = which < 12 ? "traceon" : which < 13 ? "resettrace" : nullptr;
        const Variable* v = nullptr;
        for (const Variable& s : switches_)
            if (name != nullptr ? s.name == name : s.name != "traceon" && s.name != "resettrace") {
                v = &s;
                if (name != nullptr || chance(40)) break;
            }
        if (v == nullptr) return;
        Value value;
        value.word = std::string_view(v->name) == "traceon" ? (chance(70) ? 1 : 0) : pick(2);
        setValue(target_, *v, value);
        ++writes_;
    }

    // A period from 5 to 100 ms, or now and then one the program must refuse.
    void period() {
        float value = std::uniform_real_distribution<float>(5000.0f, 100000.0f)(random_);
        if (chance(10)) {
            static constexpr float kUnusable[] = {-5.0f, std::numeric_limits<float>::quiet_NaN(),
                                                  std::numeric_limits<float>::infinity(), 1e10f};
            value = kUnusable[pick(static_cast<int>(std::size(kUnusable)))];
        }
        ImageView::write(target_.view.simuperiod(), value);
        ++writes_;
    }

    // A raw word in an index table (revisions 2 and 3): an index past the area, a
    // negative one, or one that is fine, at one of the first places.
    void rawIndexTableWord() {
        static constexpr int32_t kTables[] = {kBoolTraceTableOffset, kIntTraceTableOffset, kRealTraceTableOffset,
                                              kCharTraceTableOffset, kBoolBreakpointTableOffset};
        int32_t* table = target_.view.indexTable(kTables[pick(static_cast<int>(std::size(kTables)))]);
        if (table == nullptr) return;
        static constexpr int32_t kWords[] = {-7, 1, 3, 100000, std::numeric_limits<int32_t>::max(), 0};
        ImageView::write(table + pick(6), kWords[pick(static_cast<int>(std::size(kWords)))]);
        ++writes_;
    }

    static constexpr int32_t kMaxmodificationEnd = kMaxModificationSlot + 1;
    static constexpr int32_t kTasknameEnd = kTasknameSlot + 3 + kTasknameCapacity;

    Target& target_;
    std::mt19937 random_;
    std::vector<Variable> variables_;
    std::vector<Variable> switches_;
    long writes_ = 0;
};

int soak(const std::string& name, double seconds, unsigned seed) {
    std::string error;
    std::optional<Target> target = openTarget({name, "", 0}, error);
    if (!target) {
        std::fprintf(stderr, "soak: %s\n", error.c_str());
        return 1;
    }
    const std::string program = target->facts != nullptr ? target->facts->program : name;
    const ProgramState first = readState(*target);
    if (!first.alive) {
        std::fprintf(stderr, "soak: no program runs on image %s\n", name.c_str());
        return 1;
    }
    writeStatus(*target, kStatusRun, 2000);
    const int32_t cycleStart = readState(*target).cycle;

    // The resident memory at start is taken once a warm-up (a tenth of the run, 2 to 10 s)
    // has been through every kind of write, so that the pages of the code it reaches are in.
    RandomSupervisor supervisor(*target, seed);
    const auto begin = std::chrono::steady_clock::now();
    const auto warmUp = begin + std::chrono::duration<double>(std::clamp(seconds / 10, 2.0, 10.0));
    const auto deadline = begin + std::chrono::duration<double>(seconds);
    std::optional<Resident> atStart;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!atStart && std::chrono::steady_clock::now() >= warmUp) atStart = resident(first.pid);
        supervisor.act();
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + (std::rand() % 20)));
    }
    if (!atStart) atStart = resident(first.pid);
    supervisor.tidy();
    // A sane period again, and a few cycles of RUN to settle, before measuring.
    ImageView::write(target->view.simuperiod(), 20000.0f);
    writeStatus(*target, kStatusRun, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const ProgramState last = readState(*target);
    const Resident atEnd = resident(first.pid);
    const bool ended = endProgram(*target, 10000);
    std::printf("%s: %d cycles, %ld writes, VmRSS %ld kB at start, %ld kB at end (anonymous %ld kB, %ld kB)%s\n",
                program.c_str(), last.cycle - cycleStart, supervisor.writes(), atStart->total, atEnd.total,
                atStart->anonymous, atEnd.anonymous, ended ? "" : ", did NOT end");
    // Flat: within a few pages (the allocator's and the stack's own movements).
    const bool flat = atStart->total > 0 && atEnd.total > 0 && atEnd.total <= atStart->total + 128 &&
                      atEnd.anonymous <= atStart->anonymous + 64;
    if (!flat) std::printf("%s: resident memory grew\n", program.c_str());
    return ended && flat ? 0 : 1;
}

// ---- Trace file grammar ------------------------------------------------------------------

struct Grammar {
    std::regex header{R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4,})"};
    std::regex period3{R"(-?(\d+|nan|inf))"};  // "%.0f" of simuperiod / 1000
    std::regex period12{R"(-?\d+)"};           // "%ld" of simuperiod
    std::regex event3{
        R"(-?\d+ \d+ ((B\d+ [01]:[01])|(I\d+ -?\d+:-?\d+)|(F\d+ (\S+):(\S+))|(C\d+ \d+:\d+)|(trace [01]:[01])|(pause (0:1|1:0))|(end 0:0)))"};
    std::regex event12{R"(-?\d+ ((B\d+ [01]:[01])|(I\d+ -?\d+:-?\d+)|(F\d+ (\S+):(\S+))|(C\d+ \d+:\d+)))"};
    std::regex real{R"(-?(inf|nan|\d+(\.\d+)?(e[-+]\d+)?))"};
    std::regex charBytes{R"(-?\d+ C\d+ ([\s\S]):([\s\S]))"};
};

bool realsFine(const Grammar& g, const std::smatch& m, std::size_t first) {
    return !m[first].matched || (std::regex_match(m[first].str(), g.real) && std::regex_match(m[first + 1].str(), g.real));
}

// Revisions 1 and 2 write a character as itself when both bytes are above 32.
bool printedCharacters(const Grammar& g, const std::string& line) {
    std::smatch m;
    return std::regex_match(line, m, g.charBytes) && static_cast<unsigned char>(m[1].str()[0]) > 32 &&
           static_cast<unsigned char>(m[2].str()[0]) > 32;
}

int checkTrace(const std::string& path, const std::string& program) {
    const symbols::ProgramFacts* facts = symbols::findFacts(program);
    if (facts == nullptr) {
        std::fprintf(stderr, "check-trace: unknown program %s\n", program.c_str());
        return 2;
    }
    const int revision = facts->revision;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("%s: no trace file %s\n", program.c_str(), path.c_str());
        return 1;
    }
    const Grammar g;
    std::string line, last;
    long number = 0, lineAfterHeader = 0;
    while (std::getline(in, line)) {
        ++number;
        bool fine = false;
        std::smatch m;
        if (std::regex_match(line, g.header)) {
            fine = true;
            lineAfterHeader = 0;
        } else if (++lineAfterHeader == 1 && std::regex_match(line, revision == 3 ? g.period3 : g.period12)) {
            fine = true;
        } else if (revision == 3) {
            fine = std::regex_match(line, m, g.event3) && realsFine(g, m, 5);
        } else {
            fine = (std::regex_match(line, m, g.event12) && realsFine(g, m, 5)) || printedCharacters(g, line);
        }
        if (!fine) {
            std::printf("%s: %s line %ld is no trace line: \"%s\"\n", program.c_str(), path.c_str(), number,
                        line.c_str());
            return 1;
        }
        last = line;
    }
    if (revision == 3 && !std::regex_match(last, std::regex(R"(-?\d+ \d+ end 0:0)"))) {
        std::printf("%s: %s does not end with the end line (last: \"%s\")\n", program.c_str(), path.c_str(),
                    last.c_str());
        return 1;
    }
    std::printf("%s: trace file of %ld lines parses\n", program.c_str(), number);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string name, traceFile, program;
    double seconds = 10.0;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--name") name = value;
        else if (option == "--seconds") seconds = std::strtod(value, nullptr);
        else if (option == "--seed") seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        else if (option == "--check-trace") traceFile = value;
        else if (option == "--program") program = value;
        else {
            std::fprintf(stderr, "soak_supervisor: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (!traceFile.empty()) return checkTrace(traceFile, program);
    if (name.empty()) {
        std::fprintf(stderr, "usage: soak_supervisor --name IMAGE --seconds S [--seed N]\n"
                             "       soak_supervisor --check-trace FILE --program P\n");
        return 2;
    }
    std::srand(seed);
    return soak(name, seconds, seed);
}
