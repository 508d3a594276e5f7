// The matrix algebra: the element [3][3] rule, angles over the full Y range, and the
// inverse of placements, checked against products computed here in long double.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/qv_geometry.h"

namespace {

constexpr double kPi13 = 3.1415926535898;
constexpr QV_Vector kOne{1.0, 1.0, 1.0};

double el(const QV_Matrix& m, int r, int c) { return m.e[4 * r + c]; }

// The ordinary product with both [3][3] taken as 1, in long double.
void referenceProduct(const QV_Matrix& a, const QV_Matrix& b, long double out[16]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            long double s = 0;
            for (int k = 0; k < 4; ++k) {
                const long double x = (r == 3 && k == 3) ? 1.0L : el(a, r, k);
                const long double y = (k == 3 && c == 3) ? 1.0L : el(b, k, c);
                s += x * y;
            }
            out[4 * r + c] = s;
        }
}

// The difference of two angles folded into (-pi, pi].
double angleGap(double a, double b) { return std::remainder(a - b, 2.0 * M_PI); }

QV_Matrix mul(const QV_Matrix& a, const QV_Matrix& b) { return mulMatrix_with_(a, kOne, b, kOne); }

// T(t) Rz(z) Ry(y) Rx(x) S(s), built with the library's products.
QV_Matrix placement(QV_Vector t, QV_Vector angles, QV_Vector s) {
    return mul(mTranslation(t.x, t.y, t.z),
               mul(mRotationZ(angles.z), mul(mRotationY(angles.y), mul(mRotationX(angles.x), mScale(s.x, s.y, s.z)))));
}

// ---- Element [3][3] --------------------------------------------------------------

TEST(MatrixProduct, KeepsTheCosineOfTheOnlyOperandTurnedAboutY) {
    const QV_Matrix ry = mRotationY(0.8);
    EXPECT_DOUBLE_EQ(el(ry, 3, 3), std::cos(0.8));
    const QV_Matrix t = mTranslation(1, 2, 3);
    EXPECT_DOUBLE_EQ(mul(ry, t).e[15], std::cos(0.8));
    EXPECT_DOUBLE_EQ(mul(t, ry).e[15], std::cos(0.8));
    EXPECT_DOUBLE_EQ(mul(t, t).e[15], 1.0);
}

TEST(MatrixProduct, AddsTheYAnglesWhenBothOperandsCarryOne) {
    const QV_Matrix a = mRotationY(0.5), b = mRotationY(0.7);
    const QV_Matrix p = mul(a, b);
    EXPECT_NEAR(p.e[15], std::cos(1.2), 1e-12);
    long double ref[16];
    referenceProduct(a, b, ref);
    for (int k = 0; k < 15; ++k) EXPECT_NEAR(p.e[k], static_cast<double>(ref[k]), 1e-15) << k;

    // Scale triples divide each operand's scale out before its angle is taken.
    const QV_Matrix sa = mul(mRotationY(0.5), mScale(2, 3, 4));
    const QV_Matrix sb = mul(mRotationY(2.0), mScale(5, 1, 0.5));
    const QV_Matrix q = mulMatrix_with_(sa, QV_Vector{0.5, 1.0 / 3, 0.25}, sb, QV_Vector{0.2, 1, 2});
    EXPECT_NEAR(q.e[15], std::cos(2.5), 1e-12);
}

TEST(MatrixProduct, TreatsACosineWithinTheToleranceAsOne) {
    const QV_Matrix small = mRotationY(0.01);  // cos = 0.99995
    EXPECT_DOUBLE_EQ(mul(small, mRotationY(0.5)).e[15], std::cos(0.5));
    EXPECT_DOUBLE_EQ(mul(small, small).e[15], 1.0);
    QV_Matrix into;
    mulMatrix_with_into_(mRotationY(0.5), kOne, mTranslation(1, 0, 0), kOne, &into);
    EXPECT_DOUBLE_EQ(into.e[15], std::cos(0.5));
    EXPECT_DOUBLE_EQ(into.e[3], std::cos(0.5));
}

TEST(TransformPoint, IgnoresTheCosineButHonoursRowThree) {
    QV_Matrix m;
    setUnity(&m);
    m.e[15] = -0.3;
    QV_Vector p;
    transformPoint_into_(m, 1.5, -2, 7, &p);
    EXPECT_EQ(p.x, 1.5);
    EXPECT_EQ(p.y, -2.0);
    EXPECT_EQ(p.z, 7.0);
    m.e[12] = 1.0;  // w = x + 1
    transformPoint_into_(m, 1, 2, 3, &p);
    EXPECT_DOUBLE_EQ(p.x, 0.5);
    EXPECT_DOUBLE_EQ(p.z, 1.5);
}

// ---- Angles ---------------------------------------------------------------------------

TEST(ArcTan, QuadrantsWithTheThirteenDecimalPi) {
    EXPECT_EQ(arcTan(0, 0), kPi13);
    EXPECT_EQ(arcTan(0, -1), kPi13);
    EXPECT_EQ(arcTan(0, 2), 0.0);
    EXPECT_EQ(arcTan(1, 0), 1.5707963267949);
    EXPECT_EQ(arcTan(-1, 0), -1.5707963267949);
    EXPECT_EQ(arcTan(-1, -1), std::atan(1.0) + kPi13);
    EXPECT_EQ(arcTan(1, -1), std::atan(-1.0) + kPi13);
    EXPECT_EQ(arcTan(-1, 1), std::atan(-1.0));
}

TEST(Rotation, FindsAYAngleBeyondAQuarterTurn) {
    const QV_Vector a = rotation(mRotationY(2.5));
    EXPECT_NEAR(a.y, 2.5, 1e-12);
    EXPECT_NEAR(a.x, 0.0, 1e-12);
    EXPECT_NEAR(a.z, 0.0, 1e-12);
}

// Oracle: the angles that built a placement come back, Y anywhere on [-pi/2, 3pi/2).
TEST(Rotation, RecoversTheAnglesOfRandomPlacementsOverTheFullYRange) {
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> angle(-M_PI / 2, 3 * M_PI / 2);
    std::uniform_real_distribution<double> size(0.1, 10.0), place(-100, 100);
    int beyondQuarter = 0;
    for (int n = 0; n < 20000; ++n) {
        const QV_Vector a{angle(rng), angle(rng), angle(rng)};
        if (std::fabs(std::cos(a.y)) < 1e-3) continue;  // X and Z are not defined near there
        const QV_Vector s{size(rng), size(rng), size(rng)};
        const QV_Matrix m = placement({place(rng), place(rng), place(rng)}, a, s);
        const QV_Vector r = rotation(mulMatrix_with_(m, QV_Vector{1 / s.x, 1 / s.y, 1 / s.z},
                                                     mScale(1 / s.x, 1 / s.y, 1 / s.z), kOne));
        // A Y turn whose cosine lies within the tolerance of 1 is stored as 1: its angle
        // comes back from sin Y alone.
        const double yTolerance = std::fabs(std::cos(a.y) - 1) <= 1e-4 ? 2e-6 : 1e-8;
        ASSERT_NEAR(angleGap(r.y, a.y), 0.0, yTolerance) << n;
        ASSERT_NEAR(angleGap(r.x, a.x), 0.0, 1e-8) << n;
        ASSERT_NEAR(angleGap(r.z, a.z), 0.0, 1e-8) << n;
        ASSERT_GE(r.y, -M_PI / 2 - 1e-9);
        ASSERT_LT(r.y, 3 * M_PI / 2);
        if (a.y > M_PI / 2) ++beyondQuarter;
    }
    EXPECT_GT(beyondQuarter, 8000);
}

TEST(Rotation, QuarterTurnAboutYWithAZeroCosineKeepsX) {
    QV_Matrix m = mul(mRotationY(M_PI / 2), mRotationX(0.5));
    m.e[15] = 0.0;
    QV_Vector a = rotation(m);
    EXPECT_NEAR(a.y, M_PI / 2, 1e-12);
    EXPECT_NEAR(a.x, 0.5, 1e-12);
    EXPECT_EQ(a.z, 0.0);
    m = mul(mRotationY(-M_PI / 2), mRotationX(0.5));
    m.e[15] = 0.0;
    a = rotation(m);
    EXPECT_NEAR(a.y, -M_PI / 2, 1e-12);
    EXPECT_NEAR(a.x, 0.5, 1e-12);
}

TEST(Rotation, AMirroredBasisIsTurnedBack) {
    const QV_Vector a = rotation(mul(mRotationZ(0.3), mScale(-1, -1, -1)));
    EXPECT_NEAR(a.z, 0.3, 1e-12);
    EXPECT_NEAR(a.x, 0.0, 1e-12);
}

// ---- Inverse ----------------------------------------------------------------------------

// The largest deviation of inverse(M) x M from the identity (element [3][3] of M as 1).
double identityError(const QV_Matrix& m) {
    QV_Matrix inv;
    inverseTransformation_(m, &inv);
    long double p[16];
    referenceProduct(inv, m, p);
    double worst = 0;
    for (int k = 0; k < 16; ++k) {
        const long double expected = (k % 5 == 0) ? 1.0L : 0.0L;
        worst = std::max(worst, static_cast<double>(std::fabs(p[k] - expected)));
    }
    return worst;
}

TEST(Inverse, OfRandomPlacementsGivesTheIdentity) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> angle(-M_PI, M_PI), size(0.1, 10.0), place(-100, 100);
    for (int n = 0; n < 20000; ++n) {
        const QV_Matrix m = placement({place(rng), place(rng), place(rng)}, {angle(rng), angle(rng), angle(rng)},
                                      {size(rng), size(rng), size(rng)});
        ASSERT_LT(identityError(m), 1e-9) << n;
    }
}

TEST(Inverse, ExchangesColumnsForAZeroDiagonal) {
    const QV_Matrix m = mRotationZ(1.5707963267949);
    QV_Column perm{{1, 2, 3, 4}};
    findBestPermutationForMatrix(m, &perm);
    EXPECT_EQ(perm.v[0], 2.0);
    EXPECT_EQ(perm.v[1], 1.0);
    EXPECT_EQ(perm.v[2], 3.0);
    EXPECT_EQ(perm.v[3], 4.0);
    EXPECT_LT(identityError(m), 1e-12);
    QV_Matrix inv;
    inverseTransformation_(mul(mTranslation(4, 5, 6), mRotationY(2.0)), &inv);
    EXPECT_EQ(inv.e[15], 1.0);
}

// Every orientation made of right-angle turns, including those whose diagonal is all 0
// and that no column exchange can repair (a turn about X, then about Z).
TEST(Inverse, OfEveryRightAngleOrientation) {
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y)
            for (int z = 0; z < 4; ++z) {
                const QV_Matrix m = placement({3, -7, 11}, {x * kPi13 / 2, y * kPi13 / 2, z * kPi13 / 2}, {2, 0.5, 3});
                ASSERT_LT(identityError(m), 1e-9) << x << y << z;
            }
}

TEST(Inverse, OfASingularMatrixIsNotANumber) {
    QV_Matrix inv;
    inverseTransformation_(mScale(1, 0, 1), &inv);
    bool finite = true;
    for (double v : inv.e) finite = finite && std::isfinite(v);
    EXPECT_FALSE(finite);
}

TEST(LUDecomposition, SolvesThePermutedSystem) {
    const QV_Matrix m = placement({1, 2, 3}, {0.3, 1.1, -0.7}, {2, 3, 4});
    QV_Matrix lu;
    QV_Column perm;
    inplaceDecomposeLU(&m, &lu, &perm);
    const QV_Column b{{1, -2, 0.5, 1}};
    QV_Column x;
    solve_(lu, b, &x);
    // LU solves the matrix with its columns exchanged: row r of M times x permuted.
    for (int r = 0; r < 4; ++r) {
        long double s = 0;
        for (int c = 0; c < 4; ++c) s += static_cast<long double>(el(m, r, static_cast<int>(perm.v[c]) - 1)) * x.v[c];
        EXPECT_NEAR(static_cast<double>(s), b.v[r], 1e-12) << r;
    }
}

}  // namespace
