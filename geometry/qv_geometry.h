/* Geometry at the boundary: the matrix algebra, the scene objects of the object table,
 * moves, rotations and resizing, relative placement, contact detection and the geometry
 * trace. C linkage, usable from C and C++ model code.
 *
 * Matrices are 4 x 4, row-major (element [r][c] is e[4r + c]), translation in the last
 * column. Element [3][3] is not a homogeneous coordinate: it carries the cosine of the
 * rotation about Y accumulated in the matrix (1 when there is none). Angles are radians
 * in the algebra and degrees at every function that takes an object index. */
#ifndef QV_GEOMETRY_H
#define QV_GEOMETRY_H

#include <stdint.h>

#include "runtime/executive/qv_executive.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QV_Matrix {
    double e[16];
} QV_Matrix;

/* A point, a vector, a rotation triple (X, Y, Z) or a scale triple. */
typedef struct QV_Vector {
    double x, y, z;
} QV_Vector;

/* A column of a 4 x 4 linear system, or a permutation (the numbers 1 to 4). */
typedef struct QV_Column {
    double v[4];
} QV_Column;

/* ---- Matrix and vector algebra ------------------------------------------------ */

void setUnity(QV_Matrix *m);
QV_Matrix mRotationX(double angle);
QV_Matrix mRotationY(double angle); /* also [3][3] = cos angle */
QV_Matrix mRotationZ(double angle);
QV_Matrix mTranslation(double x, double y, double z);
QV_Matrix mScale(double x, double y, double z);
/* A x B; each operand comes with the scale triple that divides its scale out when the
 * Y angles of both are needed for element [3][3]. */
QV_Matrix mulMatrix_with_(QV_Matrix a, QV_Vector scaleA, QV_Matrix b, QV_Vector scaleB);
void mulMatrix_with_into_(QV_Matrix a, QV_Vector scaleA, QV_Matrix b, QV_Vector scaleB,
                          QV_Matrix *result);
void transformPoint_into_(QV_Matrix m, double x, double y, double z, QV_Vector *point);
void mulScalar_(QV_Vector v, double s, QV_Vector *result);
void addVector_(QV_Vector a, QV_Vector b, QV_Vector *result);
void crossProduct(QV_Vector a, QV_Vector b, QV_Vector *result);
double arcTan(double y, double x); /* on [-pi/2, 3pi/2) */
QV_Vector rotation(QV_Matrix m);   /* (X, Y, Z) with M = Rz(Z) Ry(Y) Rx(X) */
void findBestPermutationForMatrix(QV_Matrix m, QV_Column *permutation);
void inplaceDecomposeLU(const QV_Matrix *m, QV_Matrix *lu, QV_Column *permutation);
void solve_(QV_Matrix lu, QV_Column b, QV_Column *x);
void inverseTransformation_(QV_Matrix m, QV_Matrix *inverse);

/* ---- Scene objects ------------------------------------------------------------ */

/* Queries by object index; 0.0 for an index out of range or a removed object. */
double getPositionX(int32_t index);
double getPositionY(int32_t index);
double getPositionZ(int32_t index);
double getProjectionX(int32_t index);
double getProjectionY(int32_t index);
double getProjectionZ(int32_t index);
double getSizeX(int32_t index);
double getSizeY(int32_t index);
double getSizeZ(int32_t index);
double getDX(int32_t index);
double getDY(int32_t index);
double getDZ(int32_t index);
double getCenterX(int32_t index);
double getCenterY(int32_t index);
double getCenterZ(int32_t index);
double getAngleX(int32_t index); /* degrees in [0, 360) */
double getAngleY(int32_t index);
double getAngleZ(int32_t index);

/* On the bases of a table entry, its matrix and its box (origin corner, far corner). */
QV_Matrix createMatrixFrom_(QV_Bases bases);
void saveMatrix_on_(QV_Matrix m, QV_Bases bases);
void computeActorProductTransformedParrallelepipede_into_(QV_Bases bases, double *box);
double getDXOfObject(QV_Bases bases, QV_Matrix m);
double getDYOfObject(QV_Bases bases, QV_Matrix m);
double getDZOfObject(QV_Bases bases, QV_Matrix m);
void getCenterOf(const double *box, QV_Vector *center);
QV_Vector getRotationCenterOf(QV_Bases bases);
int32_t isVectorColinearToAxes(QV_Vector v, QV_Matrix m); /* 1, 2, 3 or -1 */

/* ---- Moving, rotating and resizing ----------------------------------------------
 * Each returns the object index, or -1 (nothing changed) for an index that is not
 * valid. Angles in degrees, turning about world axes through the given point. */

int32_t moveTo(int32_t index, double x, double y, double z);
int32_t moveXTo(int32_t index, double x);
int32_t moveYTo(int32_t index, double y);
int32_t moveZTo(int32_t index, double z);
int32_t moveCenterTo(int32_t index, double x, double y, double z); /* revision 3 */
int32_t moveCenterXTo(int32_t index, double x);                    /* revision 3 */
int32_t moveCenterYTo(int32_t index, double y);                    /* revision 3 */
int32_t moveCenterZTo(int32_t index, double z);                    /* revision 3 */
int32_t moveBy(int32_t index, double dx, double dy, double dz);
int32_t moveXBy(int32_t index, double d);
int32_t moveYBy(int32_t index, double d);
int32_t moveZBy(int32_t index, double d);
int32_t rotateBy(int32_t index, double ax, double ay, double az, double cx, double cy, double cz);
int32_t rotateXBy(int32_t index, double a, double cx, double cy, double cz);
int32_t rotateYBy(int32_t index, double a, double cx, double cy, double cz);
int32_t rotateZBy(int32_t index, double a, double cx, double cy, double cz);
int32_t rotateCenterBy(int32_t index, double ax, double ay, double az);
int32_t rotateCenterXBy(int32_t index, double a);
int32_t rotateCenterYBy(int32_t index, double a);
int32_t rotateCenterZBy(int32_t index, double a);
int32_t rotateTo(int32_t index, double ax, double ay, double az, double cx, double cy, double cz);
int32_t rotateXTo(int32_t index, double a, double cx, double cy, double cz);
int32_t rotateYTo(int32_t index, double a, double cx, double cy, double cz);
int32_t rotateZTo(int32_t index, double a, double cx, double cy, double cz);
int32_t rotateCenterTo(int32_t index, double ax, double ay, double az);
int32_t rotateCenterXTo(int32_t index, double a);
int32_t rotateCenterYTo(int32_t index, double a);
int32_t rotateCenterZTo(int32_t index, double a);
int32_t resizeTo(int32_t index, double dx, double dy, double dz);
int32_t resizeXTo(int32_t index, double dx);
int32_t resizeYTo(int32_t index, double dy);
int32_t resizeZTo(int32_t index, double dz);
int32_t resizeBy(int32_t index, double ddx, double ddy, double ddz);
int32_t resizeXBy(int32_t index, double d);
int32_t resizeYBy(int32_t index, double d);
int32_t resizeZBy(int32_t index, double d);
/* The object follows the parent's motion since the previous call for that parent. */
int32_t joint2Object(int32_t index, int32_t parent, double cx, double cy, double cz);

/* ---- Relative placement and alignment ------------------------------------------- */

/* The world point p in the frame of the object `otherIndex` (the first index is unused). */
QV_Vector getPositionInAnother(int32_t first, int32_t otherIndex, QV_Vector p);
double getPositionXInAnother(int32_t index, int32_t otherIndex);
double getPositionYInAnother(int32_t index, int32_t otherIndex);
double getPositionZInAnother(int32_t index, int32_t otherIndex);
double getCenterXInAnother(int32_t index, int32_t otherIndex);
double getCenterYInAnother(int32_t index, int32_t otherIndex);
double getCenterZInAnother(int32_t index, int32_t otherIndex);
int32_t isMyCenterIncludedInXYOfOther(int32_t index, int32_t otherIndex);
int32_t isMyCenterIncludedInYZOfOther(int32_t index, int32_t otherIndex);
int32_t isMyCenterIncludedInXZOfOther(int32_t index, int32_t otherIndex);
int32_t moveRelativeBy(int32_t index, double dx, double dy, double dz);
int32_t moveRelativeXBy(int32_t index, double d);
int32_t moveRelativeYBy(int32_t index, double d);
int32_t moveRelativeZBy(int32_t index, double d);
int32_t moveRelativeAnotherBy(int32_t index, int32_t otherIndex, double dx, double dy, double dz);
int32_t moveRelativeAnotherXBy(int32_t index, int32_t otherIndex, double d);
int32_t moveRelativeAnotherYBy(int32_t index, int32_t otherIndex, double d);
int32_t moveRelativeAnotherZBy(int32_t index, int32_t otherIndex, double d);
/* Revision 3. */
int32_t moveRelativeAnotherTo(int32_t index, int32_t otherIndex, double x, double y, double z);
int32_t moveRelativeAnotherXTo(int32_t index, int32_t otherIndex, double x);
int32_t moveRelativeAnotherYTo(int32_t index, int32_t otherIndex, double y);
int32_t moveRelativeAnotherZTo(int32_t index, int32_t otherIndex, double z);
int32_t moveCenterRelativeAnotherTo(int32_t index, int32_t otherIndex, double x, double y, double z);
int32_t moveCenterRelativeAnotherXTo(int32_t index, int32_t otherIndex, double x);
int32_t moveCenterRelativeAnotherYTo(int32_t index, int32_t otherIndex, double y);
int32_t moveCenterRelativeAnotherZTo(int32_t index, int32_t otherIndex, double z);
/* All revisions. */
int32_t alignTwoObjectsRelativeThirdX(int32_t index, int32_t otherIndex, int32_t third);
int32_t alignTwoObjectsRelativeThirdY(int32_t index, int32_t otherIndex, int32_t third);
int32_t alignTwoObjectsRelativeThirdZ(int32_t index, int32_t otherIndex, int32_t third);
int32_t alignToAbsoluteAxes(int32_t index, double cx, double cy, double cz);
int32_t alignCenteredToAbsoluteAxes(int32_t index);
void putMatrixToScale(QV_Bases first, QV_Bases second, QV_Bases third, QV_Matrix *firstFrame,
                      QV_Matrix *secondFrame, QV_Matrix *thirdFrame);
void determinateFacesOfMyself(int32_t axis, QV_Bases reference, QV_Matrix object,
                              QV_Matrix referenceMatrix, QV_Vector *p0, QV_Vector *p1);
void determinateFacesOfOther(int32_t axis, QV_Bases reference, QV_Matrix object,
                             QV_Matrix referenceMatrix, QV_Vector *p0, QV_Vector *p1);

/* ---- Contact detection ------------------------------------------------------------ */

/* 1 when the boxes of two objects touch or overlap, else 0. */
int32_t intersects(int32_t i, int32_t j);
/* 1 when the box that m maps from the unit cube lies wholly outside [0, 1] along the
 * axis (1 = X, 2 = Y, 3 = Z); the projected interval is written to lo and hi. */
int32_t findProjection(double start, double end, QV_Matrix m, int16_t axis, double *lo,
                       double *hi);

/* ---- Geometry trace ("trace.txt" in the temporary directory) ------------------------ */

void tracePhrase(const char *label);
/* Revisions 1 and 2. */
void tracePoint(const char *label, double x, double y, double z);
void traceScalaire(const char *label, double v);
void traceVector3(const char *label, double x, double y, double z);
void traceVector4(const char *label, double a, double b, double c, double d);
void traceMatrix(const char *label, QV_Matrix m);

#ifdef __cplusplus
}
#endif

#endif /* QV_GEOMETRY_H */
