// Homogeneous 4 x 4 matrices and 3-vectors: builders, the product with its rule for
// element [3][3], point transformation, rotation angles and the inverse of a placement.
#include <algorithm>

#include "geometry/geometry.h"

namespace qv {
namespace {

bool nearOne(double v) { return std::fabs(v - 1.0) <= kTolerance; }

double dot(const QV_Vector& a, const QV_Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
QV_Vector scaled(const QV_Vector& v, double s) { return {v.x * s, v.y * s, v.z * s}; }
QV_Vector minus(const QV_Vector& a, const QV_Vector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
QV_Vector cross(const QV_Vector& a, const QV_Vector& b) {
    return {a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, b.y * a.x - a.y * b.x};
}
QV_Vector normalised(const QV_Vector& v) { return scaled(v, 1.0 / std::sqrt(dot(v, v))); }

// Element [3][3] of A x B. It is not a product of elements: it is the cosine of the Y
// rotation that the two operands accumulate. When one of them carries none (its element
// is 1), the other's is taken; when both do, their Y angles (scale divided out) add up.
double productCosine(const QV_Matrix& a, const QV_Vector& scaleA, const QV_Matrix& b,
                     const QV_Vector& scaleB) {
    const double ha = a.e[15];
    const double hb = b.e[15];
    if (nearOne(ha) || nearOne(hb)) {
        double c = 1.0;
        if (!nearOne(ha)) c = ha;
        if (!nearOne(hb)) c = hb;
        return c;
    }
    const QV_Matrix unscaledA = multiply(a, scaleA, scaleMatrix(scaleA), kUnitScale);
    const QV_Matrix unscaledB = multiply(b, scaleB, scaleMatrix(scaleB), kUnitScale);
    return std::cos(rotationAngles(unscaledA).y + rotationAngles(unscaledB).y);
}

// Partial pivoting on the rows, used when the column exchanges of bestPermutation leave
// a zero pivot for a matrix that has an inverse (a placement turned by right angles about
// two axes, for example). A singular matrix still gives elements that are not numbers.
QV_Matrix inverseByRowPivoting(QV_Matrix a) {
    QV_Matrix r = identityMatrix();
    for (int k = 0; k < 4; ++k) {
        int pivot = k;
        for (int i = k + 1; i < 4; ++i)
            if (std::fabs(at(a, i, k)) > std::fabs(at(a, pivot, k))) pivot = i;
        for (int j = 0; j < 4; ++j) {
            std::swap(at(a, k, j), at(a, pivot, j));
            std::swap(at(r, k, j), at(r, pivot, j));
        }
        const double p = at(a, k, k);
        for (int j = 0; j < 4; ++j) {
            at(a, k, j) /= p;
            at(r, k, j) /= p;
        }
        for (int i = 0; i < 4; ++i) {
            if (i == k) continue;
            const double f = at(a, i, k);
            for (int j = 0; j < 4; ++j) {
                at(a, i, j) -= f * at(a, k, j);
                at(r, i, j) -= f * at(r, k, j);
            }
        }
    }
    return r;
}

// A pivot this small next to its row is what the column exchanges failed to avoid; the
// factors would amplify rounding beyond use.
constexpr double kPivotFloor = 1e-6;

bool pivotsUsable(const QV_Matrix& working, const QV_Matrix& lu) {
    for (int k = 0; k < 4; ++k) {
        double rowScale = 0.0;
        for (int j = 0; j < 4; ++j) rowScale = std::max(rowScale, std::fabs(at(working, k, j)));
        if (!(std::fabs(at(lu, k, k)) > kPivotFloor * rowScale)) return false;
    }
    return true;
}

}  // namespace

QV_Matrix identityMatrix() {
    QV_Matrix m{};
    m.e[0] = m.e[5] = m.e[10] = m.e[15] = 1.0;
    return m;
}

QV_Matrix rotationXMatrix(double angle) {
    QV_Matrix m = identityMatrix();
    const double c = std::cos(angle), s = std::sin(angle);
    at(m, 1, 1) = c;
    at(m, 1, 2) = -s;
    at(m, 2, 1) = s;
    at(m, 2, 2) = c;
    return m;
}

QV_Matrix rotationYMatrix(double angle) {
    QV_Matrix m = identityMatrix();
    const double c = std::cos(angle), s = std::sin(angle);
    at(m, 0, 0) = c;
    at(m, 0, 2) = s;
    at(m, 2, 0) = -s;
    at(m, 2, 2) = c;
    at(m, 3, 3) = c;
    return m;
}

QV_Matrix rotationZMatrix(double angle) {
    QV_Matrix m = identityMatrix();
    const double c = std::cos(angle), s = std::sin(angle);
    at(m, 0, 0) = c;
    at(m, 0, 1) = -s;
    at(m, 1, 0) = s;
    at(m, 1, 1) = c;
    return m;
}

QV_Matrix translationMatrix(const QV_Vector& v) {
    QV_Matrix m = identityMatrix();
    m.e[3] = v.x;
    m.e[7] = v.y;
    m.e[11] = v.z;
    return m;
}

QV_Matrix scaleMatrix(const QV_Vector& v) {
    QV_Matrix m = identityMatrix();
    m.e[0] = v.x;
    m.e[5] = v.y;
    m.e[10] = v.z;
    return m;
}

QV_Matrix multiply(const QV_Matrix& a, const QV_Vector& scaleA, const QV_Matrix& b,
                   const QV_Vector& scaleB) {
    QV_Matrix ua = a, ub = b;
    ua.e[15] = 1.0;
    ub.e[15] = 1.0;
    QV_Matrix r;
#pragma GCC unroll 4
    for (int row = 0; row < 4; ++row)
#pragma GCC unroll 4
        for (int col = 0; col < 4; ++col)
            at(r, row, col) = at(ua, row, 0) * at(ub, 0, col) + at(ua, row, 1) * at(ub, 1, col) +
                              at(ua, row, 2) * at(ub, 2, col) + at(ua, row, 3) * at(ub, 3, col);
    r.e[15] = productCosine(a, scaleA, b, scaleB);
    return r;
}

// Element [3][3] plays no part: the homogeneous weight comes from row 3's first three
// elements and 1.
QV_Vector transform(const QV_Matrix& m, const QV_Vector& p) {
    const double w = p.x * m.e[12] + p.y * m.e[13] + p.z * m.e[14] + 1.0;
    return {(p.x * m.e[0] + p.y * m.e[1] + p.z * m.e[2] + m.e[3]) / w,
            (p.x * m.e[4] + p.y * m.e[5] + p.z * m.e[6] + m.e[7]) / w,
            (p.x * m.e[8] + p.y * m.e[9] + p.z * m.e[10] + m.e[11]) / w};
}

double arcTangent(double y, double x) {
    if (y == 0.0) return x > 0.0 ? 0.0 : kPi;
    if (x == 0.0) return y > 0.0 ? kHalfPi : -kHalfPi;
    const double a = std::atan(y / x);
    return x > 0.0 ? a : a + kPi;
}

// The angles of M = Rz(Z) Ry(Y) Rx(X). The rows are orthonormalised first; element [3][3]
// gives the sign and size of cos Y, so Y comes out on [-pi/2, 3pi/2).
QV_Vector rotationAngles(const QV_Matrix& m) {
    const QV_Vector r0{m.e[0], m.e[1], m.e[2]};
    const QV_Vector r1{m.e[4], m.e[5], m.e[6]};
    const QV_Vector r2{m.e[8], m.e[9], m.e[10]};
    QV_Vector u = normalised(r0);
    QV_Vector v = normalised(minus(r1, scaled(u, dot(r1, u))));
    QV_Vector w = normalised(minus(minus(r2, scaled(u, dot(r2, u))), scaled(v, dot(r2, v))));
    if (dot(u, cross(v, w)) < 0.0) {
        u = scaled(u, -1.0);
        v = scaled(v, -1.0);
        w = scaled(w, -1.0);
    }
    const double h = m.e[15];
    QV_Vector angles;
    angles.y = arcTangent(-w.x, h);
    if (h != 0.0) {
        angles.x = arcTangent(w.y / h, w.z / h);
        angles.z = arcTangent(v.x / h, u.x / h);
    } else {
        // Y = +-pi/2: only X - Z (or X + Z) is defined, so Z is taken as 0. Row 1 then
        // holds (0, cos X, -sin X) and row 0 (0, sin X, cos X), negated when Y = -pi/2.
        angles.x = angles.y > 0.0 ? arcTangent(u.y, v.y) : arcTangent(-u.y, v.y);
        angles.z = 0.0;
    }
    return angles;
}

// Greedy disjoint column exchanges that keep near-zero elements off the diagonal.
void bestPermutation(const QV_Matrix& m, QV_Column& permutation) {
    bool exchanged[4] = {false, false, false, false};
    for (int k = 0; k < 4; ++k) {
        if (exchanged[k] || std::fabs(at(m, k, k)) > kTolerance) continue;
        double best = 0.0;
        int choice = -1;
        for (int j = 0; j < 4; ++j) {
            if (j == k || exchanged[j]) continue;
            if (std::fabs(at(m, k, j)) > kTolerance && std::fabs(at(m, j, k)) > best) {
                choice = j;
                best = std::fabs(at(m, j, k));
            }
        }
        if (choice >= 0) {
            permutation.v[k] = choice + 1;
            permutation.v[choice] = k + 1;
            exchanged[k] = exchanged[choice] = true;
        }
    }
}

void decomposeLU(const QV_Matrix& m, QV_Matrix& lu, QV_Column& permutation) {
    permutation = QV_Column{{1.0, 2.0, 3.0, 4.0}};
    bestPermutation(m, permutation);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) at(lu, r, c) = at(m, r, static_cast<int>(permutation.v[c]) - 1);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
#pragma GCC unroll 4
        for (int i = k + 1; i < 4; ++i) {
            const double f = at(lu, i, k) / at(lu, k, k);
#pragma GCC unroll 4
            for (int j = k; j < 4; ++j) at(lu, i, j) -= f * at(lu, k, j);
            at(lu, i, k) = f;
        }
    }
}

QV_Column solveLU(const QV_Matrix& lu, const QV_Column& b) {
    QV_Column x = b;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < i; ++j) x.v[i] -= at(lu, i, j) * x.v[j];
    for (int i = 3; i >= 0; --i) {
        for (int j = i + 1; j < 4; ++j) x.v[i] -= at(lu, i, j) * x.v[j];
        x.v[i] /= at(lu, i, i);
    }
    return x;
}

// The stored cosine of Y is no part of the inverse: the result's [3][3] is the affine 1.
QV_Matrix inverse(const QV_Matrix& m) {
    QV_Matrix working = m;
    working.e[15] = 1.0;
    QV_Matrix lu;
    QV_Column permutation;
    decomposeLU(working, lu, permutation);
    if (!pivotsUsable(working, lu)) return inverseByRowPivoting(working);
    // The inverse of the matrix with its columns exchanged: column c solves for the unit
    // column e(c). The four solutions are computed side by side, each with the operations
    // of solveLU in its order, so that their chains of divisions overlap.
    QV_Matrix rearranged = identityMatrix();
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i)
#pragma GCC unroll 4
        for (int j = 0; j < i; ++j)
#pragma GCC unroll 4
            for (int c = 0; c < 4; ++c) at(rearranged, i, c) -= at(lu, i, j) * at(rearranged, j, c);
#pragma GCC unroll 4
    for (int i = 3; i >= 0; --i) {
#pragma GCC unroll 4
        for (int j = i + 1; j < 4; ++j)
#pragma GCC unroll 4
            for (int c = 0; c < 4; ++c) at(rearranged, i, c) -= at(lu, i, j) * at(rearranged, j, c);
#pragma GCC unroll 4
        for (int c = 0; c < 4; ++c) at(rearranged, i, c) /= at(lu, i, i);
    }
    QV_Matrix result;
    for (int r = 0; r < 4; ++r) {
        const int source = static_cast<int>(permutation.v[r]) - 1;
        for (int c = 0; c < 4; ++c) at(result, r, c) = at(rearranged, source, c);
    }
    return result;
}

}  // namespace qv

// ---- The C boundary ------------------------------------------------------------------

extern "C" {

void setUnity(QV_Matrix* m) {
    if (m != nullptr) *m = qv::identityMatrix();
}
QV_Matrix mRotationX(double angle) { return qv::rotationXMatrix(angle); }
QV_Matrix mRotationY(double angle) { return qv::rotationYMatrix(angle); }
QV_Matrix mRotationZ(double angle) { return qv::rotationZMatrix(angle); }
QV_Matrix mTranslation(double x, double y, double z) { return qv::translationMatrix({x, y, z}); }
QV_Matrix mScale(double x, double y, double z) { return qv::scaleMatrix({x, y, z}); }

QV_Matrix mulMatrix_with_(QV_Matrix a, QV_Vector scaleA, QV_Matrix b, QV_Vector scaleB) {
    return qv::multiply(a, scaleA, b, scaleB);
}

void mulMatrix_with_into_(QV_Matrix a, QV_Vector scaleA, QV_Matrix b, QV_Vector scaleB,
                          QV_Matrix* result) {
    if (result != nullptr) *result = qv::multiply(a, scaleA, b, scaleB);
}

void transformPoint_into_(QV_Matrix m, double x, double y, double z, QV_Vector* point) {
    if (point != nullptr) *point = qv::transform(m, {x, y, z});
}

void mulScalar_(QV_Vector v, double s, QV_Vector* result) {
    if (result != nullptr) *result = {v.x * s, v.y * s, v.z * s};
}

void addVector_(QV_Vector a, QV_Vector b, QV_Vector* result) {
    if (result != nullptr) *result = {a.x + b.x, a.y + b.y, a.z + b.z};
}

void crossProduct(QV_Vector a, QV_Vector b, QV_Vector* result) {
    if (result != nullptr) *result = {a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, b.y * a.x - a.y * b.x};
}

double arcTan(double y, double x) { return qv::arcTangent(y, x); }

QV_Vector rotation(QV_Matrix m) { return qv::rotationAngles(m); }

void findBestPermutationForMatrix(QV_Matrix m, QV_Column* permutation) {
    if (permutation != nullptr) qv::bestPermutation(m, *permutation);
}

void inplaceDecomposeLU(const QV_Matrix* m, QV_Matrix* lu, QV_Column* permutation) {
    if (m == nullptr || lu == nullptr || permutation == nullptr) return;
    qv::decomposeLU(*m, *lu, *permutation);
}

void solve_(QV_Matrix lu, QV_Column b, QV_Column* x) {
    if (x != nullptr) *x = qv::solveLU(lu, b);
}

void inverseTransformation_(QV_Matrix m, QV_Matrix* inverse) {
    if (inverse != nullptr) *inverse = qv::inverse(m);
}

}  // extern "C"
