// Contact detection between the boxes of two objects: a bounding-sphere rejection on the
// boxes stored at the start of the product step, then a projection test on the six face
// directions of the two boxes, each done in the frame of one box, where that box is the
// unit cube. Touching faces, edges and corners count as contact.
#include "geometry/geometry.h"

namespace qv {
namespace {

// One coordinate of m p, with the arithmetic of transform.
double coordinateOf(const QV_Matrix& m, int axis, double x, double y, double z) {
    const double w = x * m.e[12] + y * m.e[13] + z * m.e[14] + 1.0;
    const int r = 4 * axis;
    return (x * m.e[r] + y * m.e[r + 1] + z * m.e[r + 2] + m.e[r + 3]) / w;
}

// The interval that the parallelepiped m maps from the unit cube covers along `axis`,
// and whether it lies wholly below 0 or wholly above 1. start and end are the coordinates
// of the corners (0, 0, 0) and (1, 1, 1). The lowest corner takes, edge by edge, the end
// of the edge from the origin corner where the coordinate is lower; the highest corner is
// diagonally opposite. Any of the eight corners can be an extreme when the box is turned
// about more than one axis relative to the reference box.
bool projectionSeparated(double start, double end, const QV_Matrix& m, int axis, double& lo, double& hi) {
    const bool lower[3] = {coordinateOf(m, axis, 1.0, 0.0, 0.0) < start,
                           coordinateOf(m, axis, 0.0, 1.0, 0.0) < start,
                           coordinateOf(m, axis, 0.0, 0.0, 1.0) < start};
    const int count = lower[0] + lower[1] + lower[2];
    if (count == 0) {
        lo = start;
        hi = end;
    } else if (count == 3) {
        lo = end;
        hi = start;
    } else {
        lo = coordinateOf(m, axis, lower[0], lower[1], lower[2]);
        hi = coordinateOf(m, axis, !lower[0], !lower[1], !lower[2]);
    }
    return (lo < 0.0 || lo > 1.0) && (hi < 0.0 || hi > 1.0) && (lo > 0.0 || hi < 1.0);
}

// True when one of the three face directions of the unit cube separates it from the box
// that m maps from the unit cube.
bool separatedInFrame(const QV_Matrix& m) {
    for (int axis = 0; axis < 3; ++axis) {
        double lo, hi;
        const double start = coordinateOf(m, axis, 0.0, 0.0, 0.0);
        const double end = coordinateOf(m, axis, 1.0, 1.0, 1.0);
        if (projectionSeparated(start, end, m, axis, lo, hi)) return true;
    }
    return false;
}

bool degenerate(const double box[6]) { return box[0] == box[3] && box[1] == box[4] && box[2] == box[5]; }

// Rounding in the stored placements (REAL slots) leaves a box's corners a hair off its
// sphere; the rejection keeps this much relative slack so that it never rejects a pair
// that touches.
constexpr double kSphereSlack = 1e-6;

}  // namespace

bool spheresApart(const double a[6], const double b[6]) {
    const double px = (a[0] + a[3]) / 2.0, py = (a[1] + a[4]) / 2.0, pz = (a[2] + a[5]) / 2.0;
    const double qx = (b[0] + b[3]) / 2.0, qy = (b[1] + b[4]) / 2.0, qz = (b[2] + b[5]) / 2.0;
    const double r2 = (px - a[0]) * (px - a[0]) + (py - a[1]) * (py - a[1]) + (pz - a[2]) * (pz - a[2]);
    const double s2 = (qx - b[0]) * (qx - b[0]) + (qy - b[1]) * (qy - b[1]) + (qz - b[2]) * (qz - b[2]);
    const double d2 = (px - qx) * (px - qx) + (py - qy) * (py - qy) + (pz - qz) * (pz - qz);
    const double reach = (std::sqrt(r2) + std::sqrt(s2)) * (1.0 + kSphereSlack);
    return reach * reach < d2;
}

bool entriesIntersect(const ActorProductEntry& a, const ActorProductEntry& b) {
    if (degenerate(a.box) || degenerate(b.box)) return false;
    if (spheresApart(a.box, b.box)) return false;
    const QV_Matrix ma = loadMatrix(basesOf(a));
    const QV_Matrix mb = loadMatrix(basesOf(b));
    if (separatedInFrame(multiply(inverse(ma), mb))) return false;
    return !separatedInFrame(multiply(inverse(mb), ma));
}

}  // namespace qv

// ---- The C boundary ------------------------------------------------------------------

extern "C" {

// Indices out of the table touch nothing.
int32_t intersects(int32_t i, int32_t j) {
    if (!qv::inRange(i) || !qv::inRange(j)) return 0;
    return qv::entriesIntersect(qv::entryOf(i), qv::entryOf(j)) ? 1 : 0;
}

int32_t findProjection(double start, double end, QV_Matrix m, int16_t axis, double* lo, double* hi) {
    int a = axis - 1;
    if (axis < 1 || axis > 3) {
        tracePhrase("on est en d\xE9" "faut");
        a = 0;
    }
    double low, high;
    const bool separated = qv::projectionSeparated(start, end, m, a, low, high);
    if (lo != nullptr) *lo = low;
    if (hi != nullptr) *hi = high;
    return separated ? 1 : 0;
}

}  // extern "C"
