// The geometry's diagnostic trace: "trace.txt" in the temporary directory, opened for
// appending at every call and closed before it returns. A file that cannot be opened
// must not stop the program; the call then writes nothing.
#include <cstdio>
#include <string>

#include "geometry/geometry.h"
#include "runtime/platform/platform.h"

namespace qv {
namespace {

template <typename Write>
void appendToTrace(const char* label, Write write) {
    const std::string path = platform::temporaryDirectory() + "/" + geometryTraceName();
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return;
    if (label != nullptr) std::fputs(label, file);  // verbatim, not a format
    write(file);
    std::fclose(file);
}

}  // namespace

const char* geometryTraceName() { return "trace.txt"; }

}  // namespace qv

extern "C" {

void tracePhrase(const char* label) {
    qv::appendToTrace(label, [](std::FILE* f) { std::fputc('\n', f); });
}

#if QV_REVISION != 3
void tracePoint(const char* label, double x, double y, double z) {
    qv::appendToTrace(label, [&](std::FILE* f) { std::fprintf(f, "%f %f %f\n", x, y, z); });
}

void traceScalaire(const char* label, double v) {
    qv::appendToTrace(label, [&](std::FILE* f) { std::fprintf(f, "%f", v); });
}

void traceVector3(const char* label, double x, double y, double z) {
    qv::appendToTrace(label, [&](std::FILE* f) { std::fprintf(f, "%g %g %g\n\n", x, y, z); });
}

void traceVector4(const char* label, double a, double b, double c, double d) {
    qv::appendToTrace(label, [&](std::FILE* f) { std::fprintf(f, "%g %g %g %g\n\n", a, b, c, d); });
}

void traceMatrix(const char* label, QV_Matrix m) {
    qv::appendToTrace(label, [&](std::FILE* f) {
        std::fprintf(f, "\n%g %g %g %g\n", m.e[0], m.e[1], m.e[2], m.e[3]);
        for (int r = 1; r < 4; ++r)
            std::fprintf(f, "%g %g %g %g\n", m.e[4 * r], m.e[4 * r + 1], m.e[4 * r + 2], m.e[4 * r + 3]);
    });
}
#endif

}  // extern "C"
