// The trace recorder: a text file beside the program with the history of the traced
// variables, the switching of tracing, the pauses and the end.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "runtime/debug/debug.h"
#include "runtime/debug/index_tables.h"
#include "runtime/debug/trace_text.h"
#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"

extern "C" {
FILE* trace = nullptr;
double currentMilliseconds = 0.0;
}

namespace qv {
namespace {

// Revision 2 stops tracing for good once the file holds more than this.
constexpr long kRevision2TraceLimit = 1000000;

// The header time of revision 3: taken at the first successful opening, written by every
// later one.
[[maybe_unused]] std::time_t headerTime = 0;
[[maybe_unused]] bool headerTimeTaken = false;

// A trace file that cannot be written (a full disk, a device that refuses) is reported
// once and given up: the program runs on without it, and only a reset by the supervisor
// opens it again.
bool traceGivenUp = false;

void giveUpTrace() {
    std::fprintf(stderr, "unable to write trace file %s, tracing stopped\n", tracename.c_str());
    std::fclose(trace);
    trace = nullptr;
    traceGivenUp = true;
}

// Opens the trace file emptied, or reports why not. A path that is there but is no
// regular file (a symbolic link, a FIFO, a device, a folder) is never written through
// nor waited on: it is given up as a file that cannot be written is, and said once.
std::FILE* createTraceFile() {
    const platform::OpenedFile opened = platform::createRegularFile(tracename);
    if (opened.notRegular) {
        if (!traceGivenUp) std::fprintf(stderr, "unable to write trace file %s, tracing stopped\n", tracename.c_str());
        traceGivenUp = true;
        return nullptr;
    }
    if (opened.file == nullptr) std::fprintf(stderr, "unable to open trace file %s\n", tracename.c_str());
    return opened.file;
}

// True when a write to the open file has failed, once the buffered lines are out.
bool traceWriteFailed() { return std::fflush(trace) != 0 || std::ferror(trace) != 0; }

// Revision 2 writes the period line at the first recording after the start and after each
// reset.
[[maybe_unused]] bool periodLinePending = true;

long cycleNumber() {
    if (mem.intBase == nullptr) return 0;
    return loadShared(cycleCounterSlot());
}

double clockMilliseconds() { return static_cast<double>(microSecondsNow() / 1000.0L); }

[[maybe_unused]] bool bitOf(const unsigned char* byte, uint8_t bit) { return byte != nullptr && (loadShared(byte) & bit) != 0; }

// The integer part of `simuperiod`, held within what a long holds.
[[maybe_unused]] long periodMicroseconds() {
    const float p = simuperiod == nullptr ? 0.0f : loadShared(simuperiod);
    if (std::isnan(p)) return 0;
    if (p >= 9.2e18f) return 9200000000000000000L;
    if (p <= -9.2e18f) return -9200000000000000000L;
    return static_cast<long>(p);
}

#if QV_REVISION != 1
// Revisions 2 and 3 write the value lines themselves; revision 1's freezes do.

// ---- Value lines -----------------------------------------------------------------------

// The lines of one walk over the tables, gathered and handed to the file in large writes.
class LineBuffer {
public:
    explicit LineBuffer(std::FILE* file) : file_(file) {}
    ~LineBuffer() { flush(); }
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;

    // Makes room for one line.
    void startLine() {
        if (sizeof text_ - used_ < kLineRoom) flush();
    }
    void put(char c) { text_[used_++] = c; }
    void put(std::string_view s) {
        std::memcpy(text_ + used_, s.data(), s.size());
        used_ += s.size();
    }
    void integer(long value) { used_ = static_cast<std::size_t>(trace_text::integerText(text_ + used_, value) - text_); }
    void general(double value) { used_ = static_cast<std::size_t>(trace_text::generalText(text_ + used_, value) - text_); }
    void flush() {
        if (used_ != 0 && file_ != nullptr) std::fwrite(text_, 1, used_, file_);
        used_ = 0;
    }

private:
    // A line holds at most the prefix (cycle and time, at most 11 + 1 + 310 + 1
    // characters), a letter, an index, two values and three separators.
    static constexpr std::size_t kLineRoom = 512;
    std::FILE* file_;
    std::size_t used_ = 0;
    char text_[16384];
};

// What starts every value line of a walk: "<cycle> <time> " (revision 3) or "<cycle> ",
// written out when the walk writes its first line.
class LinePrefix {
public:
    std::string_view text() {
        if (length_ == 0) {
            char* end = trace_text::integerText(text_, cycleNumber());
            *end++ = ' ';
            if constexpr (kRevision == 3) {
                end = trace_text::fixedText(end, currentMilliseconds);
                *end++ = ' ';
            }
            length_ = static_cast<std::size_t>(end - text_);
        }
        return {text_, length_};
    }

private:
    char text_[trace_text::kIntegerRoom + trace_text::kFixedRoom + 2];
    std::size_t length_ = 0;
};

void startValueLine(LineBuffer& out, LinePrefix& prefix, char letter, int32_t index) {
    out.startLine();
    out.put(prefix.text());
    out.put(letter);
    out.integer(index);
    out.put(' ');
}

void integerPair(LineBuffer& out, long before, long now) {
    out.integer(before);
    out.put(':');
    out.integer(now);
    out.put('\n');
}

void realPair(LineBuffer& out, float before, float now) {
    out.general(before);
    out.put(':');
    out.general(now);
    out.put('\n');
}

// Revisions 1 and 2 show a character as itself when both values are printable.
void charPair(LineBuffer& out, uint8_t before, uint8_t now) {
    if (kRevision != 3 && before > 32 && now > 32) {
        out.put(static_cast<char>(before));
        out.put(':');
        out.put(static_cast<char>(now));
        out.put('\n');
    } else {
        integerPair(out, before, now);
    }
}

// Writes the value line of every variable listed in the four trace tables, in the order
// booleans, integers, reals, characters: all of them (`all`), or those whose current
// value differs from their old one and, when `after`, those that are forced. The
// variables of the tables in `freezeTables` are frozen as they are visited.
[[maybe_unused]] void writeValueLines(const unsigned char* image, bool all, bool after, unsigned freezeTables = 0) {
    using debug::forEachListed;
    LineBuffer out(trace);
    LinePrefix prefix;
    const debug::ProgramArea bools = debug::programArea(kAreaBool);
    const debug::ProgramArea ints = debug::programArea(kAreaInt);
    const debug::ProgramArea reals = debug::programArea(kAreaReal);
    const debug::ProgramArea chars = debug::programArea(kAreaChar);
    const bool freezeBools = (freezeTables & kBoolTraceTable) != 0;
    const bool freezeInts = (freezeTables & kIntTraceTable) != 0;
    const bool freezeReals = (freezeTables & kRealTraceTable) != 0;
    const bool freezeChars = (freezeTables & kCharTraceTable) != 0;

    // The flags and areas are captured by value so that they stay in registers.
    forEachListed(image, kBoolTraceTableOffset, [&out, &prefix, bools, all, after, freezeBools](int32_t i) {
        unsigned char* s = bools.slot(i);
        if (s == nullptr) return;
        const uint8_t b = loadShared(s);
        if (all || debug::boolChanged(b) || (after && (b & kBoolForced))) {
            startValueLine(out, prefix, 'B', i);
            integerPair(out, (b & kBoolOld) ? 1 : 0, (b & kBoolCurrent) ? 1 : 0);
        }
        if (freezeBools && debug::boolChanged(b)) debug::freezeBool(s);
    });
    forEachListed(image, kIntTraceTableOffset, [&out, &prefix, ints, all, after, freezeInts](int32_t i) {
        unsigned char* s = ints.slot(i);
        if (s == nullptr) return;
        auto* w = reinterpret_cast<int32_t*>(s);
        const int32_t now = loadShared(w);
        const int32_t before = loadShared(w + 1);
        if (all || now != before || (after && (loadShared(s + kIntFlagsOffset) & kIntForced))) {
            startValueLine(out, prefix, 'I', i);
            integerPair(out, before, now);
        }
        if (freezeInts && now != before) storeShared(w + 1, now);
    });
    forEachListed(image, kRealTraceTableOffset, [&out, &prefix, reals, all, after, freezeReals](int32_t i) {
        unsigned char* s = reals.slot(i);
        if (s == nullptr) return;
        // Compared as reals for the trace (a NaN always differs, 0 equals -0), copied as
        // they are by the freeze.
        auto* w = reinterpret_cast<int32_t*>(s);
        const int32_t nowBits = loadShared(w);
        const int32_t beforeBits = loadShared(w + 1);
        const auto now = std::bit_cast<float>(nowBits);
        const auto before = std::bit_cast<float>(beforeBits);
        if (all || !(now == before) || (after && (loadShared(s + kIntFlagsOffset) & kIntForced))) {
            startValueLine(out, prefix, 'F', i);
            realPair(out, before, now);
        }
        if (freezeReals && nowBits != beforeBits) storeShared(w + 1, nowBits);
    });
    forEachListed(image, kCharTraceTableOffset, [&out, &prefix, chars, all, after, freezeChars](int32_t i) {
        unsigned char* s = chars.slot(i);
        if (s == nullptr) return;
        const uint8_t now = loadShared(s);
        const uint8_t before = loadShared(s + kCharOldOffset);
        if (all || now != before || (after && (loadShared(s + kCharFlagsOffset) & kCharForced))) {
            startValueLine(out, prefix, 'C', i);
            charPair(out, before, now);
        }
        if (freezeChars && now != before) storeShared(s + kCharOldOffset, now);
    });
}

// ---- Revision 3 --------------------------------------------------------------------------

// The snapshot request; its variable exists in revision 3 only.
unsigned char* snapshotRequest() {
#if QV_REVISION == 3
    return tracesnapshop;
#else
    return nullptr;
#endif
}

// The "trace old:new" line of a change of `traceon`, with the cycle's time.
void writeTraceSwitch(int before, int now) {
    std::fprintf(trace, "%ld %.0f trace %d:%d\n", cycleNumber(), currentMilliseconds, before, now);
}

[[maybe_unused]] unsigned manageTraceRevision3(unsigned char* image, int after, unsigned freezeTables) {
    unsigned frozen = 0;
    if (trace == nullptr && !traceGivenUp) openTrace();
    if (bitOf(resettrace, kBoolCurrent)) QV_manage_reset_trace(image);
    const uint8_t on = traceon == nullptr ? 0 : loadShared(traceon);
    if (trace != nullptr) {
        const bool switched = debug::boolChanged(on);
        if (switched || bitOf(snapshotRequest(), kBoolCurrent)) {
            if (on & (kBoolCurrent | kBoolOld)) writeTraceSwitch((on & kBoolOld) ? 1 : 0, (on & kBoolCurrent) ? 1 : 0);
            if (on & kBoolCurrent) QV_trace_snapshot(image);
            if (snapshotRequest() != nullptr) debug::clearBoolBits(snapshotRequest(), kBoolCurrent);
        } else if (on & kBoolCurrent) {
            frozen = freezeTables & kTraceTables;
            writeValueLines(image, false, after != 0, frozen);
        }
    }
    // The switch as it was seen is acknowledged; a later write by the supervisor shows as
    // a change at the next call.
    if (traceon != nullptr) {
        if (on & kBoolCurrent)
            debug::setBoolBits(traceon, kBoolOld);
        else
            debug::clearBoolBits(traceon, kBoolOld);
    }
    return frozen;
}

[[maybe_unused]] void resetTraceRevision3(unsigned char* image) {
    if (resettrace != nullptr) debug::clearBoolBits(resettrace, kBoolCurrent);
    if (!openTrace()) return;
    const long cycle = cycleNumber();
    if (loadShared(execstatus) == kStatusStop)
        std::fprintf(trace, "%ld 0 pause 0:1\n", cycle);
    else
        std::fprintf(trace, "%ld 0 pause 1:0\n", cycle);
    std::fprintf(trace, "%ld 0 trace 1:0\n", cycle);
    if (bitOf(traceon, kBoolCurrent)) {
        std::fprintf(trace, "%ld %.0f trace 0:1\n", cycle, currentMilliseconds);
        QV_trace_snapshot(image);
    }
}

// ---- Revision 2 --------------------------------------------------------------------------

[[maybe_unused]] void manageTraceRevision2(unsigned char* image) {
    if (trace == nullptr || !bitOf(traceon, kBoolCurrent)) return;
    if (bitOf(resettrace, kBoolCurrent)) QV_manage_reset_trace(image);
    if (trace == nullptr) return;
    if (periodLinePending) {
        std::fprintf(trace, "%ld\n", periodMicroseconds());
        periodLinePending = false;
    }
    QV_trace_changes(image, 0);
}

#endif  // QV_REVISION != 1

// Revisions 1 and 2: a reset reopens the file (with a new header) and asks for the period
// line again.
[[maybe_unused]] void resetTraceRevision2() {
    openTrace();
    if (resettrace != nullptr) debug::clearBoolBits(resettrace, kBoolCurrent);
    periodLinePending = true;
}

}  // namespace

#if QV_REVISION != 1
unsigned manageTrace(unsigned char* image, int after, unsigned freezeTables) {
    if constexpr (kRevision == 3) return manageTraceRevision3(image, after, freezeTables);
    manageTraceRevision2(image);
    return 0;
}
#endif

#if QV_REVISION == 1
void manageTraceStart() {
    if (bitOf(resettrace, kBoolCurrent)) resetTraceRevision2();
    if (periodLinePending && trace != nullptr && bitOf(traceon, kBoolCurrent)) {
        std::fprintf(trace, "%ld\n", periodMicroseconds());
        periodLinePending = false;
    }
}
#endif

void flushTrace() {
    if (trace == nullptr) return;
    if (traceWriteFailed()) return giveUpTrace();
    if constexpr (kRevision == 2) {
        if (std::ftell(trace) > kRevision2TraceLimit) {
            std::fclose(trace);
            trace = nullptr;
        }
    }
}

int writePauseLine(int32_t status) {
    if constexpr (kRevision != 3) return 0;
    if (trace == nullptr && (traceGivenUp || !openTrace())) return 0;
    if (status == kStatusStop)
        std::fprintf(trace, "%ld %.0f pause 0:1\n", cycleNumber(), clockMilliseconds());
    else
        std::fprintf(trace, "%ld %.0f pause 1:0\n", cycleNumber(), clockMilliseconds());
    return 1;
}

}  // namespace qv

extern "C" {

// Revision 3 heads the file with the time of the first opening and the period in
// milliseconds; revisions 1 and 2 with the time of this opening only.
int openTrace(void) {
    using namespace qv;
    if (trace != nullptr) {
        std::fclose(trace);
        trace = nullptr;
    }
    trace = createTraceFile();
    if (trace == nullptr) return 0;
    traceGivenUp = false;
    std::time_t opened = std::time(nullptr);
    if constexpr (kRevision == 3) {
        if (!headerTimeTaken) {
            headerTime = opened;
            headerTimeTaken = true;
        }
        opened = headerTime;
    }
    const char* text = std::ctime(&opened);
    std::fprintf(trace, "%s", text != nullptr ? text : "\n");
    if constexpr (kRevision == 3) {
        const double period = simuperiod == nullptr ? 0.0 : static_cast<double>(loadShared(simuperiod));
        std::fprintf(trace, "%.0f\n", period / 1000.0);
    }
    return 1;
}

int clearTrace(void) {
    using namespace qv;
    if (trace != nullptr) {
        std::fclose(trace);
        trace = nullptr;
    }
    std::FILE* emptied = createTraceFile();
    if (emptied == nullptr) return 0;
    std::fclose(emptied);
    return 1;
}

int closeTrace(void) {
    using namespace qv;
    if (trace == nullptr) return 1;
    if constexpr (kRevision == 3) std::fprintf(trace, "%ld %.0f end 0:0\n", cycleNumber(), clockMilliseconds());
    if (traceWriteFailed()) {
        giveUpTrace();
        return 1;
    }
    std::fclose(trace);
    trace = nullptr;
    return 1;
}

#if QV_REVISION != 1
void QV_manage_trace(unsigned char* image, int after) { qv::manageTrace(image, after, 0); }

void QV_manage_reset_trace(unsigned char* image) {
    if constexpr (qv::kRevision == 3)
        qv::resetTraceRevision3(image);
    else
        qv::resetTraceRevision2();
}

void QV_trace_changes(unsigned char* image, int after) {
    if (trace != nullptr) qv::writeValueLines(image, false, qv::kRevision == 3 && after != 0);
}

void QV_trace_snapshot(unsigned char* image) {
    if (trace != nullptr) qv::writeValueLines(image, true, false);
}
#endif

#if QV_REVISION == 3

int QV_manage_pause_trace(void) { return qv::writePauseLine(qv::loadShared(execstatus)); }
#endif

}  // extern "C"
