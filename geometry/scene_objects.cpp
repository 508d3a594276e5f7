// Scene objects: the placement matrix in an object's real slots, and the read-only
// queries on it (position, projection, size, centre, angles). Nothing is cached: every
// query rebuilds the matrix from the slots, so a supervisor's write is seen at once.
#include "geometry/geometry.h"

namespace qv {

// The geometry writes the current value directly, without posting: a forced or frozen
// matrix element is overwritten like any other.
QV_Matrix loadMatrix(const QV_Bases& bases) {
    QV_Matrix m;
    for (int k = 0; k < 16; ++k) m.e[k] = static_cast<double>(loadShared(realSlot(bases.realBase, k)));
    return m;
}

void storeMatrix(const QV_Matrix& m, const QV_Bases& bases) {
    for (int k = 0; k < 16; ++k) storeShared(realSlot(bases.realBase, k), static_cast<float>(m.e[k]));
}

namespace {

double distance(const QV_Vector& a, const QV_Vector& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double edgeLength(const QV_Matrix& m, const QV_Vector& end) {
    return distance(transform(m, {0.0, 0.0, 0.0}), transform(m, end));
}

// An angle of the object in degrees on [0, 360).
double angleInDegrees(double radiansValue) {
    double d = degrees(radiansValue);
    if (d < 0.0) d += 360.0;
    if (d >= 360.0) d -= 360.0;  // a tiny negative angle must not read back as 360
    return d;
}

template <typename Query>
double queryObject(int32_t index, Query query) {
    if (!objectValid(index)) return 0.0;
    return query(matrixOf(index));
}

}  // namespace

QV_Vector sizesOf(const QV_Matrix& m) {
    return {edgeLength(m, {1.0, 0.0, 0.0}), edgeLength(m, {0.0, 1.0, 0.0}), edgeLength(m, {0.0, 0.0, 1.0})};
}

void boxOf(const QV_Matrix& m, double box[6]) {
    const QV_Vector origin = transform(m, {0.0, 0.0, 0.0});
    const QV_Vector far = transform(m, {1.0, 1.0, 1.0});
    box[0] = origin.x;
    box[1] = origin.y;
    box[2] = origin.z;
    box[3] = far.x;
    box[4] = far.y;
    box[5] = far.z;
}

QV_Vector centreOfBox(const double box[6]) {
    return {(box[0] + box[3]) / 2.0, (box[1] + box[4]) / 2.0, (box[2] + box[5]) / 2.0};
}

QV_Vector centreOf(const QV_Matrix& m) {
    double box[6];
    boxOf(m, box);
    return centreOfBox(box);
}

QV_Matrix frameOf(const QV_Matrix& m) { return multiply(m, scaleMatrix(reciprocal(sizesOf(m)))); }

// R = M x (S(1/D) x T(-position)): M's columns divided by the sizes, M's element [3][3].
QV_Vector objectAngles(const QV_Matrix& m) {
    const QV_Vector p = positionOf(m);
    const QV_Matrix st = multiply(scaleMatrix(reciprocal(sizesOf(m))), translationMatrix({-p.x, -p.y, -p.z}));
    return rotationAngles(multiply(m, st));
}

// Which local axis of m the unit vector v lies along (either way), first match wins.
int32_t colinearAxis(const QV_Vector& v, const QV_Matrix& m) {
    for (int k = 0; k < 3; ++k) {
        const double cx = m.e[k], cy = m.e[4 + k], cz = m.e[8 + k];
        const double length = std::sqrt(cx * cx + cy * cy + cz * cz);
        const double p = (cx / length) * v.x + (cy / length) * v.y + (cz / length) * v.z;
        if (std::fabs(p - 1.0) <= kTolerance || std::fabs(p + 1.0) <= kTolerance) return k + 1;
    }
    return -1;
}

}  // namespace qv

// ---- The C boundary ------------------------------------------------------------------

using qv::queryObject;

extern "C" {

double getPositionX(int32_t index) { return queryObject(index, [](const QV_Matrix& m) { return m.e[3]; }); }
double getPositionY(int32_t index) { return queryObject(index, [](const QV_Matrix& m) { return m.e[7]; }); }
double getPositionZ(int32_t index) { return queryObject(index, [](const QV_Matrix& m) { return m.e[11]; }); }

double getProjectionX(int32_t index) { return queryObject(index, [](const QV_Matrix& m) { return m.e[0]; }); }
double getProjectionY(int32_t index) { return queryObject(index, [](const QV_Matrix& m) { return m.e[5]; }); }
double getProjectionZ(int32_t index) { return queryObject(index, [](const QV_Matrix& m) { return m.e[10]; }); }

double getSizeX(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::sizesOf(m).x; });
}
double getSizeY(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::sizesOf(m).y; });
}
double getSizeZ(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::sizesOf(m).z; });
}

double getDX(int32_t index) { return getSizeX(index); }
double getDY(int32_t index) { return getSizeY(index); }
double getDZ(int32_t index) { return getSizeZ(index); }

double getCenterX(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::centreOf(m).x; });
}
double getCenterY(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::centreOf(m).y; });
}
double getCenterZ(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::centreOf(m).z; });
}

double getAngleX(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::angleInDegrees(qv::objectAngles(m).x); });
}
double getAngleY(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::angleInDegrees(qv::objectAngles(m).y); });
}
double getAngleZ(int32_t index) {
    return queryObject(index, [](const QV_Matrix& m) { return qv::angleInDegrees(qv::objectAngles(m).z); });
}

QV_Matrix createMatrixFrom_(QV_Bases bases) { return qv::loadMatrix(bases); }

void saveMatrix_on_(QV_Matrix m, QV_Bases bases) { qv::storeMatrix(m, bases); }

void computeActorProductTransformedParrallelepipede_into_(QV_Bases bases, double* box) {
    if (box != nullptr) qv::boxOf(qv::loadMatrix(bases), box);
}

// The bases are part of the signature but the sizes come from the matrix alone.
double getDXOfObject(QV_Bases, QV_Matrix m) { return qv::edgeLength(m, {1.0, 0.0, 0.0}); }
double getDYOfObject(QV_Bases, QV_Matrix m) { return qv::edgeLength(m, {0.0, 1.0, 0.0}); }
double getDZOfObject(QV_Bases, QV_Matrix m) { return qv::edgeLength(m, {0.0, 0.0, 1.0}); }

void getCenterOf(const double* box, QV_Vector* center) {
    if (box != nullptr && center != nullptr) *center = qv::centreOfBox(box);
}

QV_Vector getRotationCenterOf(QV_Bases bases) { return qv::centreOf(qv::loadMatrix(bases)); }

int32_t isVectorColinearToAxes(QV_Vector v, QV_Matrix m) { return qv::colinearAxis(v, m); }

}  // extern "C"
