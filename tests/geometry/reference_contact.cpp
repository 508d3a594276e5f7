// The contact test as it was before each object's placement was kept between tests: every
// call loads both placements from the slots and inverts them in general. The library must
// decide as this does, except where the boxes are within a hair of touching.
#include "tests/geometry/reference_contact.h"

#include "geometry/geometry.h"

namespace qvtest::reference {
namespace {

using namespace qv;

// One coordinate of m p, with the arithmetic of transform. Row 3 of the relative
// placements is (0, 0, 0) as a rule: the weight is then exactly 1 and is not divided by.
struct Coordinate {
    const QV_Matrix& m;
    int row;
    bool affine;

    double operator()(double x, double y, double z) const {
        const double v = x * m.e[row] + y * m.e[row + 1] + z * m.e[row + 2] + m.e[row + 3];
        if (affine) return v;
        return v / (x * m.e[12] + y * m.e[13] + z * m.e[14] + 1.0);
    }
};

bool affineRowThree(const QV_Matrix& m) { return m.e[12] == 0.0 && m.e[13] == 0.0 && m.e[14] == 0.0; }

// The interval that the parallelepiped m maps from the unit cube covers along `axis`,
// and whether it lies wholly below 0 or wholly above 1. start and end are the coordinates
// of the corners (0, 0, 0) and (1, 1, 1). The lowest corner takes, edge by edge, the end
// of the edge from the origin corner where the coordinate is lower; the highest corner is
// diagonally opposite. Any of the eight corners can be an extreme when the box is turned
// about more than one axis relative to the reference box.
bool projectionSeparated(double start, double end, const Coordinate& f, double& lo, double& hi) {
    const bool lower[3] = {f(1.0, 0.0, 0.0) < start, f(0.0, 1.0, 0.0) < start, f(0.0, 0.0, 1.0) < start};
    const int count = lower[0] + lower[1] + lower[2];
    if (count == 0) {
        lo = start;
        hi = end;
    } else if (count == 3) {
        lo = end;
        hi = start;
    } else {
        lo = f(lower[0], lower[1], lower[2]);
        hi = f(!lower[0], !lower[1], !lower[2]);
    }
    return (lo < 0.0 || lo > 1.0) && (hi < 0.0 || hi > 1.0) && (lo > 0.0 || hi < 1.0);
}

// True when one of the three face directions of the unit cube separates it from the box
// that m maps from the unit cube.
bool separatedInFrame(const QV_Matrix& m) {
    const bool affine = affineRowThree(m);
    for (int axis = 0; axis < 3; ++axis) {
        const Coordinate f{m, 4 * axis, affine};
        double lo, hi;
        if (projectionSeparated(f(0.0, 0.0, 0.0), f(1.0, 1.0, 1.0), f, lo, hi)) return true;
    }
    return false;
}

bool degenerate(const double box[6]) { return box[0] == box[3] && box[1] == box[4] && box[2] == box[5]; }

// Rounding in the stored placements (REAL slots) leaves a box's corners a hair off its
// sphere; the rejection keeps this much relative slack so that it never rejects a pair
// that touches.
constexpr double kSphereSlack = 1e-6;

// Each box's sphere has its centre midway along the diagonal from the origin corner to
// the far corner and half that diagonal as radius. Apart when (r + s)^2 < |p - q|^2; in
// doubled lengths (diagonals a, b and the sum of the corners), without square roots:
// (sqrt(a2) + sqrt(b2))^2 k < d2  <=>  e = d2 - k (a2 + b2) > 0 and 4 k^2 a2 b2 < e^2,
// where k widens the radii by the slack.
bool spheresApartBefore(const double a[6], const double b[6]) {
    const double ax = a[3] - a[0], ay = a[4] - a[1], az = a[5] - a[2];
    const double bx = b[3] - b[0], by = b[4] - b[1], bz = b[5] - b[2];
    const double dx = (a[0] + a[3]) - (b[0] + b[3]);
    const double dy = (a[1] + a[4]) - (b[1] + b[4]);
    const double dz = (a[2] + a[5]) - (b[2] + b[5]);
    const double a2 = ax * ax + ay * ay + az * az;
    const double b2 = bx * bx + by * by + bz * bz;
    const double d2 = dx * dx + dy * dy + dz * dz;
    constexpr double k = (1.0 + kSphereSlack) * (1.0 + kSphereSlack);
    const double e = d2 - k * (a2 + b2);
    return e > 0.0 && 4.0 * k * k * a2 * b2 < e * e;
}

bool entriesIntersect(const ActorProductEntry& a, const ActorProductEntry& b) {
    if (degenerate(a.box) || degenerate(b.box)) return false;
    if (spheresApartBefore(a.box, b.box)) return false;
    const QV_Matrix ma = loadMatrix(basesOf(a));
    const QV_Matrix mb = loadMatrix(basesOf(b));
    if (separatedInFrame(multiply(inverse(ma), mb))) return false;
    return !separatedInFrame(multiply(inverse(mb), ma));
}

}  // namespace

bool intersects(int32_t i, int32_t j) { return entriesIntersect(qv::entryOf(i), qv::entryOf(j)); }

}  // namespace qvtest::reference
