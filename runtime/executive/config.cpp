// Start-up configuration: the environment, the file names beside the program and the
// parameters file.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "runtime/executive/executive.h"
#include "runtime/platform/platform.h"

namespace qv {

std::string tracename;
std::string paramfilename;

namespace {

// A whole decimal number without sign, or nothing.
std::optional<uint64_t> parseUnsigned(const std::string& text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

std::optional<uint32_t> parseImageSize(const std::string& text) {
    auto value = parseUnsigned(text);
    if (!value || *value > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

bool tooLong(const char* variable, const std::string& value, int limit) {
    if (static_cast<int>(value.size()) < limit) return false;
    std::fprintf(stderr, "%s is too long (%zu characters, at most %d)\n", variable, value.size(),
                 limit - 1);
    return true;
}

// A speed factor: "max", or a decimal number (digits, an optional fraction) above 0 and
// at most kMaxSpeed. Exponents, signs, "inf" and "nan" are not speeds.
constexpr double kMaxSpeed = 1000000.0;

bool parseSpeed(const std::string& text, Pacing& pacing) {
    if (text == "max") {
        pacing.unpaced = true;
        return true;
    }
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    auto digitsOnly = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() && fraction.empty()) return false;
    if (!digitsOnly(whole) || !digitsOnly(fraction)) return false;
    const double factor = std::strtod(text.c_str(), nullptr);
    if (!(factor > 0.0 && factor <= kMaxSpeed)) return false;
    pacing.speed = factor;
    return true;
}

// True when the last path component ends in a full stop and three characters.
bool hasThreeLetterExtension(const std::string& path) {
    const std::size_t n = path.size();
    if (n < 4 || path[n - 4] != '.') return false;
    return path.find_first_of("/\\", n - 3) == std::string::npos;
}

// The optional variables: unset, the program behaves as it always has.
bool readPacingAndTraceFile(StartupEnvironment& environment) {
    if (auto speed = platform::environmentVariable("QV_SPEED")) {
        if (tooLong("QV_SPEED", *speed, kEnvironmentValueLimit)) return false;
        if (!parseSpeed(*speed, environment.pacing)) {
            std::fprintf(stderr,
                         "QV_SPEED \"%s\" is not a speed (a number above 0 up to 1000000, or max)\n",
                         speed->c_str());
            return false;
        }
    }
    if (auto realtime = platform::environmentVariable("QV_REALTIME")) {
        if (*realtime != "0" && *realtime != "1") {
            std::fprintf(stderr, "QV_REALTIME \"%s\" is neither 1 (on) nor 0 (off)\n", realtime->c_str());
            return false;
        }
        environment.pacing.realtime = *realtime == "1";
    }
    if (auto traceFile = platform::environmentVariable("QV_TRACE_FILE")) {
        if (traceFile->empty() || traceFile->back() == '/') {
            std::fprintf(stderr, "QV_TRACE_FILE \"%s\" does not name a file\n", traceFile->c_str());
            return false;
        }
        environment.traceFile = *traceFile;
    }
    return true;
}

}  // namespace

std::string requestedImageName() {
    return platform::environmentVariable("QV_MEMORY_NAME").value_or(kDefaultImageName);
}

uint32_t requestedImageSize() {
    auto text = platform::environmentVariable("QV_MEMORY_SIZE");
    if (!text) return kDefaultImageSize;
    return parseImageSize(*text).value_or(kDefaultImageSize);
}

bool readStartupEnvironment(StartupEnvironment& environment) {
    environment = StartupEnvironment{};
    if (auto name = platform::environmentVariable("QV_MEMORY_NAME")) {
        if (tooLong("QV_MEMORY_NAME", *name, kEnvironmentValueLimit)) return false;
        if (!platform::sharedMemoryNameUsable(*name)) {
            std::fprintf(stderr, "QV_MEMORY_NAME \"%s\" cannot name a shared memory image\n",
                         name->c_str());
            return false;
        }
        environment.imageName = *name;
    }
    if (auto size = platform::environmentVariable("QV_MEMORY_SIZE")) {
        if (tooLong("QV_MEMORY_SIZE", *size, kEnvironmentValueLimit)) return false;
        auto bytes = parseImageSize(*size);
        if (!bytes) {
            std::fprintf(stderr,
                         "QV_MEMORY_SIZE \"%s\" is not a size in bytes (a decimal number up to "
                         "4294967295)\n",
                         size->c_str());
            return false;
        }
        environment.imageSize = *bytes;
    }
    if constexpr (kRevision != 1) {
        if (auto timeout = platform::environmentVariable("QV_TIMEOUT")) {
            if (tooLong("QV_TIMEOUT", *timeout, kTimeoutValueLimit)) return false;
            auto seconds = parseUnsigned(*timeout);
            if (!seconds) {
                std::fprintf(stderr, "QV_TIMEOUT \"%s\" is not a number of seconds\n",
                             timeout->c_str());
                return false;
            }
            // Stored as the number of 10 ms polls.
            environment.timeoutPolls = static_cast<int32_t>(std::min<uint64_t>(*seconds * 100, INT32_MAX));
        }
    }
    return readPacingAndTraceFile(environment);
}

std::string deriveTraceName(const std::string& programPath) {
    if (hasThreeLetterExtension(programPath))
        return programPath.substr(0, programPath.size() - 3) + "trc";
    return programPath + ".trc";
}

std::string deriveParamFileName(const std::string& programPath) {
    if (hasThreeLetterExtension(programPath))
        return programPath.substr(0, programPath.size() - 4) + "_params.txt";
    return programPath + "_params.txt";
}

// ---- Parameters file ---------------------------------------------------------------

namespace {

constexpr std::size_t kLineLimit = 2047;   // characters of a line (a 2048-byte buffer)
constexpr std::size_t kValueLimit = 63;    // characters of the value token
constexpr std::size_t kNameLimit = 1023;   // characters of the name token

// Reads one line without its newline. False at the end of the file. `tooLongLine` is
// set when the line had more than kLineLimit characters (the rest is consumed).
bool readLine(std::FILE* file, std::string& line, bool& tooLongLine) {
    line.clear();
    tooLongLine = false;
    int c = std::fgetc(file);
    if (c == EOF) return false;
    while (c != EOF && c != '\n') {
        if (line.size() < kLineLimit + 1) line.push_back(static_cast<char>(c));
        c = std::fgetc(file);
    }
    if (line.size() > kLineLimit) tooLongLine = true;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The standard decimal reading of "%d": blanks, optional sign, digits. Out-of-range
// values are reported through `inRange`.
bool scanDecimal(const std::string& s, std::size_t& pos, long long& value, bool& inRange) {
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    std::size_t p = pos;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
    if (p >= s.size() || !std::isdigit(static_cast<unsigned char>(s[p]))) return false;
    unsigned long long magnitude = 0;
    inRange = true;
    while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) {
        if (magnitude > 1000000000000ull) inRange = false;
        else magnitude = magnitude * 10 + static_cast<unsigned>(s[p] - '0');
        ++p;
    }
    value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    pos = p;
    return true;
}

bool scanToken(const std::string& s, std::size_t& pos, std::string& token) {
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < s.size() && !isBlank(s[pos])) ++pos;
    token.assign(s, start, pos - start);
    return !token.empty();
}

// The standard string-to-integer reading of a value token: optional sign and digits,
// anything else 0; values beyond 32 bits are held at the nearest limit.
int32_t integerValue(const std::string& token) {
    errno = 0;
    long long v = std::strtoll(token.c_str(), nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

struct ParameterLine {
    char letter;
    long long index;
    bool indexInRange;
    std::string value;
    std::string name;
};

// "%c %d %s %s": false when the line does not give all four fields.
bool parseParameterLine(const std::string& line, ParameterLine& out) {
    if (line.empty()) return false;
    out.letter = line[0];
    std::size_t pos = 1;
    return scanDecimal(line, pos, out.index, out.indexInRange) && scanToken(line, pos, out.value) &&
           scanToken(line, pos, out.name);
}

void skipLine(const char* path, int lineNumber, const char* reason) {
    std::fprintf(stderr, "%s line %d: %s, line skipped\n", path, lineNumber, reason);
}

int areaOfLetter(char letter) {
    switch (letter) {
        case 'B': return kAreaBool;
        case 'I': return kAreaInt;
        case 'F': return kAreaReal;
        case 'C': return kAreaChar;
        default: return -1;
    }
}

void applyParameter(const char* path, int lineNumber, const ParameterLine& line) {
    const int area = areaOfLetter(line.letter);
    if (area < 0) return;  // unknown letters are skipped without a word
    if (line.value.size() > kValueLimit) return skipLine(path, lineNumber, "value longer than 63 characters");
    if (line.name.size() > kNameLimit) return skipLine(path, lineNumber, "name longer than 1023 characters");
    static const char* const kAreaNames[] = {"boolean", "integer", "real", "character"};
    if (!line.indexInRange || line.index < 0 || line.index >= memSize[area]) {
        std::fprintf(stderr, "%s line %d: index %lld is outside the %s area (0 to %d), line skipped\n",
                     path, lineNumber, line.indexInRange ? line.index : 0LL, kAreaNames[area],
                     memSize[area] - 1);
        return;
    }
    const auto index = static_cast<int32_t>(line.index);
    switch (area) {
        case kAreaBool: {
            unsigned char* slot = boolSlot(mem.boolBase, index);
            const uint8_t bit = static_cast<uint8_t>(integerValue(line.value) & 1);
            *slot = static_cast<uint8_t>((*slot & ~(kBoolCurrent | kBoolOld)) | (bit ? kBoolCurrent | kBoolOld : 0));
            break;
        }
        case kAreaInt: {
            int32_t* slot = intSlot(mem.intBase, index);
            slot[0] = slot[1] = integerValue(line.value);
            break;
        }
        case kAreaReal: {
            float* slot = realSlot(mem.realBase, index);
            slot[0] = slot[1] = static_cast<float>(std::strtod(line.value.c_str(), nullptr));
            break;
        }
        default: {
            unsigned char* slot = charSlot(mem.charBase, index);
            slot[0] = slot[1] = static_cast<uint8_t>(integerValue(line.value) & 0xFF);
            break;
        }
    }
}

// Line 1 must hold the model's signature. Revision 1 writes it unsigned and may follow
// it with the letter d.
bool signatureMatches(const std::string& line) {
    std::size_t pos = 0;
    long long value = 0;
    bool inRange = false;
    if (!scanDecimal(line, pos, value, inRange) || !inRange) return false;
    if constexpr (kRevision == 1)
        return static_cast<uint32_t>(value) == static_cast<uint32_t>(getSignature());
    return value == getSignature();
}

}  // namespace

void readParameters(std::FILE* file, const char* path) {
    std::string line;
    bool lineTooLong = false;
    if (!readLine(file, line, lineTooLong) || lineTooLong || !signatureMatches(line)) {
        std::fprintf(stderr, "bad signature in file %s\n", path);
        return;
    }
    int lineNumber = 1;
    while (readLine(file, line, lineTooLong)) {
        ++lineNumber;
        if (lineTooLong) {
            skipLine(path, lineNumber, "line longer than 2047 characters");
            continue;
        }
        ParameterLine parsed;
        if (!parseParameterLine(line, parsed)) break;
        applyParameter(path, lineNumber, parsed);
    }
}

}  // namespace qv

extern "C" void QVD_read_parameters(const char* path) {
    // Only a regular file is read: a FIFO or a device would hold start-up forever.
    std::FILE* file = qv::platform::openRegularFile(path).file;
    if (file == nullptr) {
        std::fprintf(stderr, "can't open file %s\n", path);
        return;
    }
    qv::readParameters(file, path);
    std::fclose(file);
}
