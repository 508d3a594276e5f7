// The geometry's own C++ interface: constants, the algebra on references, and access to
// the objects of the table. The C boundary (by value, fixed names) is qv_geometry.h.
#pragma once

#include <cmath>
#include <cstdint>

#include "geometry/qv_geometry.h"
#include "products/qv_products.h"
#include "runtime/executive/slots.h"

namespace qv {

// pi and pi/2 to 13 decimals: angle conversions and arcTan use these, not the double
// nearest to pi, so that angles round-trip the way stored placements expect.
inline constexpr double kPi = 3.1415926535898;
inline constexpr double kHalfPi = 1.5707963267949;
// An element within this of 1 (or 0) counts as 1 (or 0).
inline constexpr double kTolerance = 0.0001;
inline constexpr QV_Vector kUnitScale{1.0, 1.0, 1.0};

inline double radians(double degrees) { return degrees * kPi / 180.0; }
inline double degrees(double radians) { return radians * 180.0 / kPi; }

inline double& at(QV_Matrix& m, int row, int column) { return m.e[4 * row + column]; }
inline double at(const QV_Matrix& m, int row, int column) { return m.e[4 * row + column]; }

// ---- Algebra (algebra.cpp) ----------------------------------------------------------

QV_Matrix identityMatrix();
QV_Matrix rotationXMatrix(double angle);
QV_Matrix rotationYMatrix(double angle);
QV_Matrix rotationZMatrix(double angle);
QV_Matrix translationMatrix(const QV_Vector& v);
QV_Matrix scaleMatrix(const QV_Vector& v);
QV_Matrix multiply(const QV_Matrix& a, const QV_Vector& scaleA, const QV_Matrix& b,
                   const QV_Vector& scaleB);
// A x B with unit scale triples.
inline QV_Matrix multiply(const QV_Matrix& a, const QV_Matrix& b) {
    return multiply(a, kUnitScale, b, kUnitScale);
}
QV_Vector transform(const QV_Matrix& m, const QV_Vector& p);
double arcTangent(double y, double x);
QV_Vector rotationAngles(const QV_Matrix& m);
void bestPermutation(const QV_Matrix& m, QV_Column& permutation);
void decomposeLU(const QV_Matrix& m, QV_Matrix& lu, QV_Column& permutation);
QV_Column solveLU(const QV_Matrix& lu, const QV_Column& b);
QV_Matrix inverse(const QV_Matrix& m);

inline QV_Vector reciprocal(const QV_Vector& v) { return {1.0 / v.x, 1.0 / v.y, 1.0 / v.z}; }
inline double component(const QV_Vector& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
inline double& component(QV_Vector& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// ---- Scene objects (scene_objects.cpp) ----------------------------------------------

inline constexpr int32_t kRemoved = QV_REMOVED;

inline int32_t objectCount() { return NbActeursEtProduits > 0 ? NbActeursEtProduits : 0; }
inline bool inRange(int32_t index) { return index >= 0 && index < objectCount(); }
inline ActorProductEntry& entryOf(int32_t index) { return TableActeursProduits[index]; }
inline QV_Bases basesOf(const ActorProductEntry& e) {
    return QV_Bases{e.boolBase, e.intBase, e.realBase, e.charBase};
}
inline int32_t statusOf(const ActorProductEntry& e) { return loadShared(intSlot(e.intBase, 0)); }
inline void setStatus(const ActorProductEntry& e, int32_t status) {
    storeShared(intSlot(e.intBase, 0), status);
}
// In range and not removed.
inline bool objectValid(int32_t index) { return inRange(index) && statusOf(entryOf(index)) != kRemoved; }

// The placement in real slots 0-15: REAL widened to double, double rounded to REAL.
QV_Matrix loadMatrix(const QV_Bases& bases);
void storeMatrix(const QV_Matrix& m, const QV_Bases& bases);
inline QV_Matrix matrixOf(int32_t index) { return loadMatrix(basesOf(entryOf(index))); }
inline void storeMatrixOf(int32_t index, const QV_Matrix& m) { storeMatrix(m, basesOf(entryOf(index))); }

inline QV_Vector positionOf(const QV_Matrix& m) { return {m.e[3], m.e[7], m.e[11]}; }
// The lengths of the three edges that meet at the origin corner.
QV_Vector sizesOf(const QV_Matrix& m);
// Origin corner and far corner.
void boxOf(const QV_Matrix& m, double box[6]);
QV_Vector centreOfBox(const double box[6]);
QV_Vector centreOf(const QV_Matrix& m);
// The frame without scale: M x S(1/D).
QV_Matrix frameOf(const QV_Matrix& m);
// The rotation angles of the object, radians as rotationAngles gives them.
QV_Vector objectAngles(const QV_Matrix& m);
int32_t colinearAxis(const QV_Vector& v, const QV_Matrix& m);

// ---- Moves (moves.cpp) ----------------------------------------------------------------

// Translates a valid object by v in world axes.
void translateObject(int32_t index, const QV_Vector& v);

// ---- Placement (placement.cpp) ----------------------------------------------------------

// Moves a valid object by d measured along the axes of the valid object `frame`
// (which may be the object itself).
void moveAlongAxesOf(int32_t index, int32_t frame, const QV_Vector& d);

// ---- Contact (contact.cpp) ------------------------------------------------------------

// The contact test on two objects of the table (indices unchecked).
bool objectsIntersect(int32_t i, int32_t j);
// Makes room for every object's placement and inverse, kept from one contact test to the
// next (start-up; without it the placements are computed on every test). False when the
// memory could not be had.
bool reserveContactCache(int32_t objects);
// The sphere rejection on the stored boxes alone: true when the pair cannot touch.
bool spheresApart(const double boxA[6], const double boxB[6]);

// ---- Trace (geometry_trace.cpp) ---------------------------------------------------------

// "trace.txt" in the temporary directory.
const char* geometryTraceName();

}  // namespace qv
