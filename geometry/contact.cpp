// Contact detection between the boxes of two objects: a bounding-sphere rejection on the
// boxes stored at the start of the product step, then a projection test on the six face
// directions of the two boxes, each done in the frame of one box, where that box is the
// unit cube. Touching faces, edges and corners count as contact.
//
// Within a product step one object is tested against many others, and most objects keep
// their place from one step to the next: each object's placement and its inverse are kept
// from one test to the next and computed again only when its slots hold other values.
#include <bit>
#include <memory>
#include <new>

#include "geometry/geometry.h"

namespace qv {
namespace {

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

// ---- Affine placements -------------------------------------------------------------------
// As a rule row 3 of a placement is (0, 0, 0): its inverse is the inverse of the 3 x 3
// part by cofactors with the translation taken back, and a relative placement's row 3 is
// (0, 0, 0) too. Other placements take the general path.

// The slots the test reads: rows 0 to 2 and the first three elements of row 3.
constexpr int kReadSlots = 15;

// Two doubles, from two rows of a relative placement, worked on side by side: rows 0 and
// 1, then row 2 and a row that is all 0 and never separates.
using Lanes = double __attribute__((vector_size(16)));
using LaneMask = int64_t __attribute__((vector_size(16)));

struct Placement {
    uint32_t slots[kReadSlots];  // as stored, bit for bit: any write that changes them is seen
    bool known = false;
    bool affine = false;  // row 3 is (0, 0, 0) and the 3 x 3 part is safely invertible
    QV_Matrix m;
    Lanes inverse[2][4];  // columns of rows 0-1, then of row 2 of the inverse (row 3 is (0, 0, 0, 1))
    Lanes broadcast[12];  // elements 0 to 11 of m, each in both lanes
};

// Kept for every object of the table; sized at start-up (reserveContactCache).
struct PlacementCache {
    std::unique_ptr<Placement[]> entries;
    int32_t size = 0;
};
PlacementCache cache;

// The inverse of [A t; 0 1] by cofactors: A^-1 = adj(A) / det(A), translation -A^-1 t.
// False when A is far from a turned and scaled cube (its determinant small beside the
// product of its column lengths), where the general inverse decides.
bool affineInverse(const QV_Matrix& m, Lanes inv[2][4]) {
    const double* e = m.e;
    const double c00 = e[5] * e[10] - e[6] * e[9];
    const double c10 = e[6] * e[8] - e[4] * e[10];
    const double c20 = e[4] * e[9] - e[5] * e[8];
    const double det = e[0] * c00 + e[1] * c10 + e[2] * c20;
    const double column0 = e[0] * e[0] + e[4] * e[4] + e[8] * e[8];
    const double column1 = e[1] * e[1] + e[5] * e[5] + e[9] * e[9];
    const double column2 = e[2] * e[2] + e[6] * e[6] + e[10] * e[10];
    // |det| <= the product of the column lengths; for a turned and scaled cube they are equal.
    if (!(det * det > 1e-6 * column0 * column1 * column2)) return false;
    const double s = 1.0 / det;
    const double a[9] = {c00 * s,
                         (e[2] * e[9] - e[1] * e[10]) * s,
                         (e[1] * e[6] - e[2] * e[5]) * s,
                         c10 * s,
                         (e[0] * e[10] - e[2] * e[8]) * s,
                         (e[2] * e[4] - e[0] * e[6]) * s,
                         c20 * s,
                         (e[1] * e[8] - e[0] * e[9]) * s,
                         (e[0] * e[5] - e[1] * e[4]) * s};
    for (int c = 0; c < 3; ++c) {
        inv[0][c] = Lanes{a[c], a[3 + c]};
        inv[1][c] = Lanes{a[6 + c], 0.0};
    }
    for (int h = 0; h < 2; ++h) inv[h][3] = -(inv[h][0] * e[3] + inv[h][1] * e[7] + inv[h][2] * e[11]);
    return true;
}

uint32_t slotBits(unsigned char* realBase, int k) { return std::bit_cast<uint32_t>(loadShared(realSlot(realBase, k))); }

// Every slot compared, without a branch per slot: a kept placement is the common case.
bool sameSlots(const Placement& p, unsigned char* realBase) {
    uint32_t difference = 0;
#pragma GCC unroll 15
    for (int k = 0; k < kReadSlots; ++k) difference |= slotBits(realBase, k) ^ p.slots[k];
    return difference == 0;
}

// Computes the placement from the slots again.
[[gnu::noinline]] void refresh(Placement& p, const ActorProductEntry& e) {
    for (int k = 0; k < kReadSlots; ++k) p.slots[k] = slotBits(e.realBase, k);
    p.m = loadMatrix(basesOf(e));
    p.affine = affineRowThree(p.m) && affineInverse(p.m, p.inverse);
    for (int k = 0; k < 12; ++k) p.broadcast[k] = Lanes{p.m.e[k], p.m.e[k]};
    p.known = true;
}

// The object's placement as its slots hold it now: the kept one while they are the same.
const Placement& placementOf(int32_t index, const ActorProductEntry& e) {
    Placement& p = cache.entries[index];
    if (!p.known || !sameSlots(p, e.realBase)) refresh(p, e);
    return p;
}

// Both frames with the general inverse (placements that are not affine, or no cache).
[[gnu::noinline]] bool intersectInGeneral(const QV_Matrix& ma, const QV_Matrix& mb) {
    if (separatedInFrame(multiply(inverse(ma), mb))) return false;
    return !separatedInFrame(multiply(inverse(mb), ma));
}

// Touching counts as contact. The inverse of a placement whose sizes have no exact
// reciprocal is rounded, and a touch posed exactly would be lost to that rounding half
// the time; this much slack, in the unit cube's coordinates, keeps it.
constexpr double kTouchSlack = 1e-12;

// separatedInFrame(inv(A) B) for affine A and B, two face directions side by side. Each
// element of the relative placement as multiply computes it: row 3 of B is (0, 0, 0, 1),
// so the inverse's fourth column adds only to the translation. Along one direction, with
// the row (a, b, c, d), B's box covers d plus the negative ones of a, b, c up to d plus
// the positive ones: the interval of projectionSeparated, up to the rounding of one sum,
// and apart from the unit cube's [0, 1] when it ends below 0 or starts above 1 (by more
// than the slack).
bool separatedInAffineFrame(const Placement& a, const Placement& b) {
    const Lanes* m = b.broadcast;
    const Lanes zero{}, below{-kTouchSlack, -kTouchSlack}, above{1.0 + kTouchSlack, 1.0 + kTouchSlack};
    LaneMask apart{};
    for (const auto& inv : a.inverse) {
        const Lanes ra = inv[0] * m[0] + inv[1] * m[4] + inv[2] * m[8];
        const Lanes rb = inv[0] * m[1] + inv[1] * m[5] + inv[2] * m[9];
        const Lanes rc = inv[0] * m[2] + inv[1] * m[6] + inv[2] * m[10];
        const Lanes rd = inv[0] * m[3] + inv[1] * m[7] + inv[2] * m[11] + inv[3];
        // An element that is not a number makes both ends not a number: not apart.
        const Lanes lo = rd + (ra >= zero ? zero : ra) + (rb >= zero ? zero : rb) + (rc >= zero ? zero : rc);
        const Lanes hi = rd + (ra < zero ? zero : ra) + (rb < zero ? zero : rb) + (rc < zero ? zero : rc);
        apart |= (hi < below) | (lo > above);
    }
    return (apart[0] | apart[1]) != 0;
}

}  // namespace

// Each box's sphere has its centre midway along the diagonal from the origin corner to
// the far corner and half that diagonal as radius. Apart when (r + s)^2 < |p - q|^2; in
// doubled lengths (diagonals a, b and the sum of the corners), without square roots:
// (sqrt(a2) + sqrt(b2))^2 k < d2  <=>  e = d2 - k (a2 + b2) > 0 and 4 k^2 a2 b2 < e^2,
// where k widens the radii by the slack.
bool spheresApart(const double a[6], const double b[6]) {
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

bool objectsIntersect(int32_t i, int32_t j) {
    const ActorProductEntry& a = entryOf(i);
    const ActorProductEntry& b = entryOf(j);
    if (degenerate(a.box) || degenerate(b.box)) return false;
    if (spheresApart(a.box, b.box)) return false;
    if (i >= cache.size || j >= cache.size) return intersectInGeneral(loadMatrix(basesOf(a)), loadMatrix(basesOf(b)));
    const Placement& pa = placementOf(i, a);
    const Placement& pb = placementOf(j, b);
    if (!pa.affine || !pb.affine) return intersectInGeneral(pa.m, pb.m);
    return !separatedInAffineFrame(pa, pb) && !separatedInAffineFrame(pb, pa);
}

bool reserveContactCache(int32_t objects) {
    if (objects <= cache.size) return true;
    std::unique_ptr<Placement[]> grown(new (std::nothrow) Placement[static_cast<std::size_t>(objects)]);
    if (!grown) return false;
    cache.entries = std::move(grown);
    cache.size = objects;
    return true;
}

}  // namespace qv

// ---- The C boundary ------------------------------------------------------------------

extern "C" {

// Indices out of the table touch nothing.
int32_t intersects(int32_t i, int32_t j) {
    if (!qv::inRange(i) || !qv::inRange(j)) return 0;
    return qv::objectsIntersect(i, j) ? 1 : 0;
}

int32_t findProjection(double start, double end, QV_Matrix m, int16_t axis, double* lo, double* hi) {
    int a = axis - 1;
    if (axis < 1 || axis > 3) {
        tracePhrase("on est en d\xE9" "faut");
        a = 0;
    }
    double low, high;
    const qv::Coordinate f{m, 4 * a, qv::affineRowThree(m)};
    const bool separated = qv::projectionSeparated(start, end, f, low, high);
    if (lo != nullptr) *lo = low;
    if (hi != nullptr) *hi = high;
    return separated ? 1 : 0;
}

}  // extern "C"
