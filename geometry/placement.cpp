// Relative placement: one object measured in the frame of another, moves along an
// object's own edges or along another's axes, faces lined up along a third object's axis,
// and turning an object back to the world axes.
#include <initializer_list>

#include "geometry/geometry.h"

namespace qv {
namespace {

constexpr int32_t kInvalid = -1;

// The world point p in the frame of the object whose matrix is mo: origin at its origin
// corner, axes along its edges, model length units.
QV_Vector pointInFrameOf(const QV_Matrix& mo, const QV_Vector& p) {
    QV_Matrix q = mo;
    q.e[3] = q.e[7] = q.e[11] = 0.0;
    q = multiply(q, scaleMatrix(reciprocal(sizesOf(mo))));
    const QV_Matrix f = multiply(translationMatrix(positionOf(mo)), q);
    return transform(inverse(f), p);
}

enum class Reference { kPosition, kCentre };

QV_Vector referencePoint(int32_t index, Reference reference) {
    const QV_Matrix m = matrixOf(index);
    return reference == Reference::kPosition ? positionOf(m) : centreOf(m);
}

double coordinateInAnother(int32_t index, int32_t otherIndex, Reference reference, int axis) {
    if (!objectValid(index) || !objectValid(otherIndex)) return 0.0;
    return component(pointInFrameOf(matrixOf(otherIndex), referencePoint(index, reference)), axis);
}

// 1 when the object's centre, in the other's frame, lies within the other's extent along
// the two axes (bounds included).
int32_t centreIncluded(int32_t index, int32_t otherIndex, int axisA, int axisB) {
    if (!objectValid(index) || !objectValid(otherIndex)) return 0;
    if (index == otherIndex) return 1;
    const QV_Matrix mo = matrixOf(otherIndex);
    const QV_Vector c = pointInFrameOf(mo, centreOf(matrixOf(index)));
    const QV_Vector d = sizesOf(mo);
    const double a = component(c, axisA), b = component(c, axisB);
    return (a >= 0.0 && a <= component(d, axisA) && b >= 0.0 && b <= component(d, axisB)) ? 1 : 0;
}

int32_t moveRelative(int32_t index, const QV_Vector& d) {
    if (!objectValid(index)) return kInvalid;
    const QV_Vector p = transform(frameOf(matrixOf(index)), d);
    return moveTo(index, p.x, p.y, p.z);
}

int32_t moveRelativeAnother(int32_t index, int32_t otherIndex, const QV_Vector& d) {
    if (!objectValid(index) || !objectValid(otherIndex) || index == otherIndex) return kInvalid;
    moveAlongAxesOf(index, otherIndex, d);
    return index;
}

// The object's position (or centre) in the other's frame becomes the given coordinates;
// a coordinate that is not given keeps its value.
[[maybe_unused]] int32_t placeInAnother(int32_t index, int32_t otherIndex, Reference reference,
                                        const bool given[3], const QV_Vector& target) {
    if (!objectValid(index) || !objectValid(otherIndex)) return kInvalid;
    const QV_Vector p = pointInFrameOf(matrixOf(otherIndex), referencePoint(index, reference));
    const QV_Vector d{given[0] ? target.x - p.x : 0.0, given[1] ? target.y - p.y : 0.0,
                      given[2] ? target.z - p.z : 0.0};
    return moveRelativeAnother(index, otherIndex, d);
}

// The object's two faces across its edge `axis` (1, 2, 3), in the reference object's edge
// frame: unit-cube coordinates of the reference times its sizes.
void facesIn(int32_t axis, const QV_Matrix& object, const QV_Matrix& reference, QV_Vector* p0, QV_Vector* p1) {
    if (axis < 1 || axis > 3 || p0 == nullptr || p1 == nullptr) return;
    const QV_Vector d = sizesOf(reference);
    const QV_Matrix q = multiply(inverse(reference), object);
    QV_Vector end{0.0, 0.0, 0.0};
    component(end, axis - 1) = 1.0;
    const QV_Vector a = transform(q, {0.0, 0.0, 0.0});
    const QV_Vector b = transform(q, end);
    *p0 = {d.x * a.x, d.y * a.y, d.z * a.z};
    *p1 = {d.x * b.x, d.y * b.y, d.z * b.z};
}

// Slides the object along the third object's axis until its nearest face lies in the
// plane of the nearest face of the other.
int32_t alignAlong(int32_t index, int32_t otherIndex, int32_t third, int axis) {
    if (!objectValid(index) || !objectValid(otherIndex) || !objectValid(third) || index == otherIndex)
        return kInvalid;
    const QV_Matrix mi = matrixOf(index), mo = matrixOf(otherIndex), mt = matrixOf(third);
    const QV_Matrix ni = frameOf(mi), no = frameOf(mo), nt = frameOf(mt);
    QV_Vector v{nt.e[axis], nt.e[4 + axis], nt.e[8 + axis]};
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    v = {v.x / length, v.y / length, v.z / length};
    const int32_t axisOfObject = index == third ? axis + 1 : colinearAxis(v, ni);
    const int32_t axisOfOther = otherIndex == third ? axis + 1 : colinearAxis(v, no);
    if (axisOfObject == -1 || axisOfOther == -1) return kInvalid;

    QV_Vector p0, p1, q0, q1;
    facesIn(axisOfObject, mi, mt, &p0, &p1);
    facesIn(axisOfOther, mo, mt, &q0, &q1);
    const double a0 = component(p0, axis), a1 = component(p1, axis);
    const double b0 = component(q0, axis), b1 = component(q1, axis);
    double d = a0 - b1;
    for (double candidate : {a0 - b0, a1 - b0, a1 - b1})
        if (std::fabs(candidate) <= std::fabs(d)) d = candidate;

    QV_Vector move{0.0, 0.0, 0.0};
    component(move, axis) = -d;
    // Along the object's own axis when it is the third object itself.
    moveAlongAxesOf(index, third, move);
    return index;
}

int32_t alignObjectToAbsoluteAxes(int32_t index, const QV_Vector& c) {
    if (!objectValid(index)) return kInvalid;
    const QV_Vector d = sizesOf(matrixOf(index));
    QV_Matrix m{};
    m.e[0] = d.x;
    m.e[5] = d.y;
    m.e[10] = d.z;
    m.e[3] = c.x - d.x * 0.5;
    m.e[7] = c.y - d.y * 0.5;
    m.e[11] = c.z - d.z * 0.5;
    m.e[15] = 1.0;
    storeMatrixOf(index, m);
    return index;
}

}  // namespace

// By R d, where R = Rz(Z) Ry(Y) Rx(X) are the angles of the frame object without scale.
void moveAlongAxesOf(int32_t index, int32_t frame, const QV_Vector& d) {
    const QV_Vector a = rotationAngles(frameOf(matrixOf(frame)));
    const QV_Matrix r = multiply(rotationZMatrix(a.z), multiply(rotationYMatrix(a.y), rotationXMatrix(a.x)));
    translateObject(index, transform(r, d));
}

}  // namespace qv

// ---- The C boundary ------------------------------------------------------------------

using qv::Reference;

extern "C" {

// The first index is unused; an other index out of the table gives the origin.
QV_Vector getPositionInAnother(int32_t, int32_t otherIndex, QV_Vector p) {
    if (!qv::inRange(otherIndex)) return QV_Vector{0.0, 0.0, 0.0};
    return qv::pointInFrameOf(qv::matrixOf(otherIndex), p);
}

double getPositionXInAnother(int32_t index, int32_t otherIndex) {
    return qv::coordinateInAnother(index, otherIndex, Reference::kPosition, 0);
}
double getPositionYInAnother(int32_t index, int32_t otherIndex) {
    return qv::coordinateInAnother(index, otherIndex, Reference::kPosition, 1);
}
double getPositionZInAnother(int32_t index, int32_t otherIndex) {
    return qv::coordinateInAnother(index, otherIndex, Reference::kPosition, 2);
}
double getCenterXInAnother(int32_t index, int32_t otherIndex) {
    return qv::coordinateInAnother(index, otherIndex, Reference::kCentre, 0);
}
double getCenterYInAnother(int32_t index, int32_t otherIndex) {
    return qv::coordinateInAnother(index, otherIndex, Reference::kCentre, 1);
}
double getCenterZInAnother(int32_t index, int32_t otherIndex) {
    return qv::coordinateInAnother(index, otherIndex, Reference::kCentre, 2);
}

int32_t isMyCenterIncludedInXYOfOther(int32_t index, int32_t otherIndex) {
    return qv::centreIncluded(index, otherIndex, 0, 1);
}
int32_t isMyCenterIncludedInYZOfOther(int32_t index, int32_t otherIndex) {
    return qv::centreIncluded(index, otherIndex, 1, 2);
}
int32_t isMyCenterIncludedInXZOfOther(int32_t index, int32_t otherIndex) {
    return qv::centreIncluded(index, otherIndex, 0, 2);
}

int32_t moveRelativeBy(int32_t index, double dx, double dy, double dz) { return qv::moveRelative(index, {dx, dy, dz}); }
int32_t moveRelativeXBy(int32_t index, double d) { return moveRelativeBy(index, d, 0.0, 0.0); }
int32_t moveRelativeYBy(int32_t index, double d) { return moveRelativeBy(index, 0.0, d, 0.0); }
int32_t moveRelativeZBy(int32_t index, double d) { return moveRelativeBy(index, 0.0, 0.0, d); }

int32_t moveRelativeAnotherBy(int32_t index, int32_t otherIndex, double dx, double dy, double dz) {
    return qv::moveRelativeAnother(index, otherIndex, {dx, dy, dz});
}
int32_t moveRelativeAnotherXBy(int32_t index, int32_t otherIndex, double d) {
    return moveRelativeAnotherBy(index, otherIndex, d, 0.0, 0.0);
}
int32_t moveRelativeAnotherYBy(int32_t index, int32_t otherIndex, double d) {
    return moveRelativeAnotherBy(index, otherIndex, 0.0, d, 0.0);
}
int32_t moveRelativeAnotherZBy(int32_t index, int32_t otherIndex, double d) {
    return moveRelativeAnotherBy(index, otherIndex, 0.0, 0.0, d);
}

#if QV_REVISION == 3
namespace {
constexpr bool kAll[3] = {true, true, true};
constexpr bool kX[3] = {true, false, false};
constexpr bool kY[3] = {false, true, false};
constexpr bool kZ[3] = {false, false, true};
}  // namespace

int32_t moveRelativeAnotherTo(int32_t index, int32_t otherIndex, double x, double y, double z) {
    return qv::placeInAnother(index, otherIndex, Reference::kPosition, kAll, {x, y, z});
}
int32_t moveRelativeAnotherXTo(int32_t index, int32_t otherIndex, double x) {
    return qv::placeInAnother(index, otherIndex, Reference::kPosition, kX, {x, 0, 0});
}
int32_t moveRelativeAnotherYTo(int32_t index, int32_t otherIndex, double y) {
    return qv::placeInAnother(index, otherIndex, Reference::kPosition, kY, {0, y, 0});
}
int32_t moveRelativeAnotherZTo(int32_t index, int32_t otherIndex, double z) {
    return qv::placeInAnother(index, otherIndex, Reference::kPosition, kZ, {0, 0, z});
}
int32_t moveCenterRelativeAnotherTo(int32_t index, int32_t otherIndex, double x, double y, double z) {
    return qv::placeInAnother(index, otherIndex, Reference::kCentre, kAll, {x, y, z});
}
int32_t moveCenterRelativeAnotherXTo(int32_t index, int32_t otherIndex, double x) {
    return qv::placeInAnother(index, otherIndex, Reference::kCentre, kX, {x, 0, 0});
}
int32_t moveCenterRelativeAnotherYTo(int32_t index, int32_t otherIndex, double y) {
    return qv::placeInAnother(index, otherIndex, Reference::kCentre, kY, {0, y, 0});
}
int32_t moveCenterRelativeAnotherZTo(int32_t index, int32_t otherIndex, double z) {
    return qv::placeInAnother(index, otherIndex, Reference::kCentre, kZ, {0, 0, z});
}
#endif

int32_t alignTwoObjectsRelativeThirdX(int32_t index, int32_t otherIndex, int32_t third) {
    return qv::alignAlong(index, otherIndex, third, 0);
}
int32_t alignTwoObjectsRelativeThirdY(int32_t index, int32_t otherIndex, int32_t third) {
    return qv::alignAlong(index, otherIndex, third, 1);
}
int32_t alignTwoObjectsRelativeThirdZ(int32_t index, int32_t otherIndex, int32_t third) {
    return qv::alignAlong(index, otherIndex, third, 2);
}

int32_t alignToAbsoluteAxes(int32_t index, double cx, double cy, double cz) {
    return qv::alignObjectToAbsoluteAxes(index, {cx, cy, cz});
}

int32_t alignCenteredToAbsoluteAxes(int32_t index) {
    if (!qv::objectValid(index)) return -1;
    return qv::alignObjectToAbsoluteAxes(index, qv::centreOf(qv::matrixOf(index)));
}

void putMatrixToScale(QV_Bases first, QV_Bases second, QV_Bases third, QV_Matrix* firstFrame,
                      QV_Matrix* secondFrame, QV_Matrix* thirdFrame) {
    if (firstFrame != nullptr) *firstFrame = qv::frameOf(qv::loadMatrix(first));
    if (secondFrame != nullptr) *secondFrame = qv::frameOf(qv::loadMatrix(second));
    if (thirdFrame != nullptr) *thirdFrame = qv::frameOf(qv::loadMatrix(third));
}

// The reference bases are part of the signature; the sizes come from its matrix.
void determinateFacesOfMyself(int32_t axis, QV_Bases, QV_Matrix object, QV_Matrix referenceMatrix,
                              QV_Vector* p0, QV_Vector* p1) {
    qv::facesIn(axis, object, referenceMatrix, p0, p1);
}

void determinateFacesOfOther(int32_t axis, QV_Bases, QV_Matrix object, QV_Matrix referenceMatrix,
                             QV_Vector* p0, QV_Vector* p1) {
    qv::facesIn(axis, object, referenceMatrix, p0, p1);
}

}  // extern "C"
