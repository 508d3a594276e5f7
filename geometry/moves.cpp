// Moving, rotating and resizing objects. Every operation reads the placement from the
// object's slots, combines it with elementary matrices and writes all 16 slots back, so
// the supervisor sees the new placement at once.
#include "geometry/geometry.h"

namespace qv {
namespace {

constexpr int32_t kInvalid = -1;

QV_Vector centreOfObject(int32_t index) { return centreOf(matrixOf(index)); }

// Translation on the world side: orientation and sizes are untouched.
int32_t moveObjectBy(int32_t index, const QV_Vector& v) {
    if (!objectValid(index)) return kInvalid;
    translateObject(index, v);
    return index;
}

// Moves the chosen reference point (position or centre) to `target`; a coordinate that is
// not given keeps its value.
struct Target {
    bool x, y, z;
    QV_Vector value;
};

template <typename Reference>
int32_t moveReferenceTo(int32_t index, const Target& t, Reference reference) {
    if (!objectValid(index)) return kInvalid;
    const QV_Vector r = reference(matrixOf(index));
    const QV_Vector d{t.x ? t.value.x - r.x : 0.0, t.y ? t.value.y - r.y : 0.0, t.z ? t.value.z - r.z : 0.0};
    translateObject(index, d);
    return index;
}

int32_t movePositionTo(int32_t index, const Target& t) { return moveReferenceTo(index, t, positionOf); }
[[maybe_unused]] int32_t moveCentreTo(int32_t index, const Target& t) {
    return moveReferenceTo(index, t, [](const QV_Matrix& m) { return centreOf(m); });
}

// M' = T(c) Rz(az) Ry(ay) Rx(ax) T(-c) M; the object side of each rotation carries 1/D
// so that element [3][3] can add the Y angles.
int32_t rotateObjectBy(int32_t index, const QV_Vector& a, const QV_Vector& c) {
    if (!objectValid(index)) return kInvalid;
    const QV_Matrix m = matrixOf(index);
    const QV_Vector inverseSizes = reciprocal(sizesOf(m));
    QV_Matrix p = multiply(translationMatrix({-c.x, -c.y, -c.z}), m);
    p = multiply(rotationXMatrix(radians(a.x)), kUnitScale, p, inverseSizes);
    p = multiply(rotationYMatrix(radians(a.y)), kUnitScale, p, inverseSizes);
    p = multiply(rotationZMatrix(radians(a.z)), kUnitScale, p, inverseSizes);
    storeMatrixOf(index, multiply(translationMatrix(c), p));
    return index;
}

int32_t rotateCentreBy(int32_t index, const QV_Vector& a) {
    if (!objectValid(index)) return kInvalid;
    return rotateObjectBy(index, a, centreOfObject(index));
}

// Undoes the current orientation about c (Z first), then turns to the given angles.
int32_t rotateObjectTo(int32_t index, const QV_Vector& a, const QV_Vector& c) {
    if (!objectValid(index)) return kInvalid;
    const QV_Vector current = objectAngles(matrixOf(index));
    const QV_Vector undo{current.x * -180.0 / kPi, current.y * -180.0 / kPi, current.z * -180.0 / kPi};
    rotateObjectBy(index, {0.0, 0.0, undo.z}, c);
    rotateObjectBy(index, {0.0, undo.y, 0.0}, c);
    rotateObjectBy(index, {undo.x, 0.0, 0.0}, c);
    return rotateObjectBy(index, a, c);
}

int32_t rotateCentreTo(int32_t index, const QV_Vector& a) {
    if (!objectValid(index)) return kInvalid;
    return rotateObjectTo(index, a, centreOfObject(index));
}

// M' = M S(1/D) S(d): the scale acts in the object's own frame, so the origin corner and
// the orientation stay.
int32_t resizeObjectTo(int32_t index, const QV_Vector& d) {
    if (!objectValid(index)) return kInvalid;
    const QV_Matrix m = matrixOf(index);
    storeMatrixOf(index, multiply(multiply(m, scaleMatrix(reciprocal(sizesOf(m)))), scaleMatrix(d)));
    return index;
}

// One size becomes `value`, the others are passed as they are.
int32_t resizeAxisTo(int32_t index, int axis, double value) {
    if (!objectValid(index)) return kInvalid;
    QV_Vector d = sizesOf(matrixOf(index));
    component(d, axis) = value;
    resizeObjectTo(index, d);
    return index;
}

int32_t resizeObjectBy(int32_t index, const QV_Vector& dd) {
    const QV_Vector d{getSizeX(index), getSizeY(index), getSizeZ(index)};
    return resizeObjectTo(index, {d.x + dd.x, d.y + dd.y, d.z + dd.z});
}

bool allZero(const QV_Matrix& m) {
    for (double v : m.e)
        if (v != 0.0) return false;
    return true;
}

bool nearOne(double v) { return std::fabs(v - 1.0) <= kTolerance; }

// The parent's motion since its stored placement, in its previous frame without scale.
// Element [3][3] must be the cosine of the Y turn made in that motion: the product would
// otherwise give it the parent's whole Y angle when the parent was already turned about
// Y, and the follower would turn by the wrong angle.
QV_Matrix parentMotion(const QV_Matrix& before, const QV_Matrix& now) {
    const QV_Vector inverseSizes = reciprocal(sizesOf(now));
    const QV_Matrix unscale = scaleMatrix(inverseSizes);
    const QV_Matrix p1 = multiply(before, inverseSizes, unscale, kUnitScale);
    const QV_Matrix p2 = multiply(now, inverseSizes, unscale, kUnitScale);
    QV_Matrix delta = multiply(inverse(p1), p2);
    if (!nearOne(p1.e[15])) delta.e[15] = std::cos(rotationAngles(p2).y - rotationAngles(p1).y);
    return delta;
}

int32_t followParent(int32_t index, int32_t parent, const QV_Vector& c) {
    if (!objectValid(index) || !objectValid(parent) || index == parent) return kInvalid;
    if (tabOldJointedMatrix == nullptr) return kInvalid;  // the start-up allocation failed
    QV_Matrix& old = tabOldJointedMatrix[parent];
    const QV_Matrix now = matrixOf(parent);
    if (allZero(old)) {
        old = now;
        return index;
    }
    QV_Matrix delta = parentMotion(old, now);
    const QV_Vector t{delta.e[3], delta.e[7], delta.e[11]};
    delta.e[3] = delta.e[7] = delta.e[11] = 0.0;
    moveAlongAxesOf(index, parent, t);
    const QV_Vector turn = rotationAngles(delta);
    old = now;
    return rotateObjectBy(index, {degrees(turn.x), degrees(turn.y), degrees(turn.z)}, c);
}

}  // namespace

void translateObject(int32_t index, const QV_Vector& v) {
    storeMatrixOf(index, multiply(translationMatrix(v), matrixOf(index)));
}

}  // namespace qv

// ---- The C boundary ------------------------------------------------------------------

using qv::Target;

extern "C" {

int32_t moveTo(int32_t index, double x, double y, double z) {
    return qv::movePositionTo(index, Target{true, true, true, {x, y, z}});
}
int32_t moveXTo(int32_t index, double x) { return qv::movePositionTo(index, Target{true, false, false, {x, 0, 0}}); }
int32_t moveYTo(int32_t index, double y) { return qv::movePositionTo(index, Target{false, true, false, {0, y, 0}}); }
int32_t moveZTo(int32_t index, double z) { return qv::movePositionTo(index, Target{false, false, true, {0, 0, z}}); }

#if QV_REVISION == 3
int32_t moveCenterTo(int32_t index, double x, double y, double z) {
    return qv::moveCentreTo(index, Target{true, true, true, {x, y, z}});
}
int32_t moveCenterXTo(int32_t index, double x) { return qv::moveCentreTo(index, Target{true, false, false, {x, 0, 0}}); }
int32_t moveCenterYTo(int32_t index, double y) { return qv::moveCentreTo(index, Target{false, true, false, {0, y, 0}}); }
int32_t moveCenterZTo(int32_t index, double z) { return qv::moveCentreTo(index, Target{false, false, true, {0, 0, z}}); }
#endif

int32_t moveBy(int32_t index, double dx, double dy, double dz) { return qv::moveObjectBy(index, {dx, dy, dz}); }
int32_t moveXBy(int32_t index, double d) { return moveBy(index, d, 0.0, 0.0); }
int32_t moveYBy(int32_t index, double d) { return moveBy(index, 0.0, d, 0.0); }
int32_t moveZBy(int32_t index, double d) { return moveBy(index, 0.0, 0.0, d); }

int32_t rotateBy(int32_t index, double ax, double ay, double az, double cx, double cy, double cz) {
    return qv::rotateObjectBy(index, {ax, ay, az}, {cx, cy, cz});
}
int32_t rotateXBy(int32_t index, double a, double cx, double cy, double cz) { return rotateBy(index, a, 0, 0, cx, cy, cz); }
int32_t rotateYBy(int32_t index, double a, double cx, double cy, double cz) { return rotateBy(index, 0, a, 0, cx, cy, cz); }
int32_t rotateZBy(int32_t index, double a, double cx, double cy, double cz) { return rotateBy(index, 0, 0, a, cx, cy, cz); }

int32_t rotateCenterBy(int32_t index, double ax, double ay, double az) { return qv::rotateCentreBy(index, {ax, ay, az}); }
int32_t rotateCenterXBy(int32_t index, double a) { return rotateCenterBy(index, a, 0.0, 0.0); }
int32_t rotateCenterYBy(int32_t index, double a) { return rotateCenterBy(index, 0.0, a, 0.0); }
int32_t rotateCenterZBy(int32_t index, double a) { return rotateCenterBy(index, 0.0, 0.0, a); }

int32_t rotateTo(int32_t index, double ax, double ay, double az, double cx, double cy, double cz) {
    return qv::rotateObjectTo(index, {ax, ay, az}, {cx, cy, cz});
}
int32_t rotateXTo(int32_t index, double a, double cx, double cy, double cz) { return rotateTo(index, a, 0, 0, cx, cy, cz); }
int32_t rotateYTo(int32_t index, double a, double cx, double cy, double cz) { return rotateTo(index, 0, a, 0, cx, cy, cz); }
int32_t rotateZTo(int32_t index, double a, double cx, double cy, double cz) { return rotateTo(index, 0, 0, a, cx, cy, cz); }

int32_t rotateCenterTo(int32_t index, double ax, double ay, double az) { return qv::rotateCentreTo(index, {ax, ay, az}); }
int32_t rotateCenterXTo(int32_t index, double a) { return rotateCenterTo(index, a, 0.0, 0.0); }
int32_t rotateCenterYTo(int32_t index, double a) { return rotateCenterTo(index, 0.0, a, 0.0); }
int32_t rotateCenterZTo(int32_t index, double a) { return rotateCenterTo(index, 0.0, 0.0, a); }

int32_t resizeTo(int32_t index, double dx, double dy, double dz) { return qv::resizeObjectTo(index, {dx, dy, dz}); }
int32_t resizeXTo(int32_t index, double dx) { return qv::resizeAxisTo(index, 0, dx); }
int32_t resizeYTo(int32_t index, double dy) { return qv::resizeAxisTo(index, 1, dy); }
int32_t resizeZTo(int32_t index, double dz) { return qv::resizeAxisTo(index, 2, dz); }
int32_t resizeBy(int32_t index, double ddx, double ddy, double ddz) { return qv::resizeObjectBy(index, {ddx, ddy, ddz}); }
int32_t resizeXBy(int32_t index, double d) { return resizeBy(index, d, 0.0, 0.0); }
int32_t resizeYBy(int32_t index, double d) { return resizeBy(index, 0.0, d, 0.0); }
int32_t resizeZBy(int32_t index, double d) { return resizeBy(index, 0.0, 0.0, d); }

int32_t joint2Object(int32_t index, int32_t parent, double cx, double cy, double cz) {
    return qv::followParent(index, parent, {cx, cy, cz});
}

}  // extern "C"
