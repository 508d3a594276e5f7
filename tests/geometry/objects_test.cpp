// Scene objects: the placement held in REAL slots and the queries on it.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/products/scene.h"

namespace {

using qvtest::SceneObject;

constexpr int32_t kKind = 20;

class SceneObjects : public ::testing::Test {
protected:
    // Actor 0, products 1 and 2 (removed until prodNew).
    void SetUp() override {
        qvtest::buildScene({SceneObject{10}}, {SceneObject{kKind, nullptr, nullptr, QV_REMOVED},
                                               SceneObject{kKind, nullptr, nullptr, QV_REMOVED}});
    }
    void TearDown() override { qvtest::buildEmptyScene(); }
};

using Query = double (*)(int32_t);
constexpr Query kQueries[] = {getPositionX, getPositionY, getPositionZ, getProjectionX, getProjectionY, getProjectionZ,
                              getSizeX,     getSizeY,     getSizeZ,     getDX,          getDY,          getDZ,
                              getCenterX,   getCenterY,   getCenterZ,   getAngleX,      getAngleY,      getAngleZ};

TEST_F(SceneObjects, AProductReadsBackItsPlacement) {
    const int32_t i = prodNew(kKind, 1, 2, 3, 4, 5, 6);
    ASSERT_EQ(i, 1);
    const double expected[] = {1, 2, 3, 4, 5, 6, 4, 5, 6, 4, 5, 6, 3, 4.5, 6, 0, 0, 0};
    for (std::size_t q = 0; q < std::size(kQueries); ++q) EXPECT_DOUBLE_EQ(kQueries[q](i), expected[q]) << q;
}

TEST_F(SceneObjects, ATurnAboutZKeepsTheSizesAndShowsInTheAngle) {
    const int32_t i = prodNew(kKind, 1, 2, 3, 4, 5, 6);
    ASSERT_EQ(rotateCenterZBy(i, 90), i);
    EXPECT_NEAR(getSizeX(i), 4, 1e-6);
    EXPECT_NEAR(getSizeY(i), 5, 1e-6);
    EXPECT_NEAR(getSizeZ(i), 6, 1e-6);
    EXPECT_NEAR(getProjectionX(i), 0, 1e-6);
    EXPECT_NEAR(getProjectionY(i), 0, 1e-6);
    EXPECT_NEAR(getAngleZ(i), 90, 1e-4);
    EXPECT_NEAR(getCenterX(i), 3, 1e-5);
    rotateCenterZBy(i, -180);
    EXPECT_NEAR(getAngleZ(i), 270, 1e-4);
}

TEST_F(SceneObjects, AnglesStayBelow360) {
    // A turn too small to be anything but rounding, on the negative side.
    QV_Matrix m = qvtest::boxMatrix(0, 0, 0, 1, 1, 1);
    m.e[1] = 1e-20;
    m.e[4] = -1e-20;
    qvtest::storeMatrix(0, m);
    EXPECT_GE(getAngleZ(0), 0.0);
    EXPECT_LT(getAngleZ(0), 360.0);
}

TEST_F(SceneObjects, InvalidIndicesReadZero) {
    const int32_t removed = 2;
    ASSERT_EQ(prodGetStatus(removed), QV_REMOVED);
    qvtest::placeBox(removed, 1, 2, 3, 4, 5, 6);
    for (int32_t index : {-1, NbActeursEtProduits, removed, INT32_MIN, INT32_MAX})
        for (Query q : kQueries) EXPECT_EQ(q(index), 0.0) << index;
}

TEST_F(SceneObjects, ValuesAreStoredAsReal) {
    const int32_t i = prodNew(kKind, 0.1, 0, 0, 1, 1, 1);
    EXPECT_EQ(getPositionX(i), static_cast<double>(0.1f));
    EXPECT_NE(getPositionX(i), 0.1);
    // Written directly, without posting: a forced slot is overwritten too.
    float* x = qvtest::realSlotOf(i, 3);
    reinterpret_cast<unsigned char*>(x)[8] |= 0x02;
    moveXTo(i, 7);
    EXPECT_EQ(*x, 7.0f);
}

TEST_F(SceneObjects, BasesOperationsWorkOnTheSlots) {
    const QV_Bases b = qvtest::basesOfObject(0);
    QV_Matrix m = qvtest::boxMatrix(1, 2, 3, 2, 4, 6);
    m.e[15] = 0.25;
    saveMatrix_on_(m, b);
    const QV_Matrix back = createMatrixFrom_(b);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(back.e[k], m.e[k]);
    double box[6];
    computeActorProductTransformedParrallelepipede_into_(b, box);
    const double expected[6] = {1, 2, 3, 3, 6, 9};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(box[k], expected[k]);
    QV_Vector c;
    getCenterOf(box, &c);
    EXPECT_EQ(c.y, 4.0);
    EXPECT_EQ(getRotationCenterOf(b).z, 6.0);
    EXPECT_EQ(getDYOfObject(b, m), 4.0);
}

TEST_F(SceneObjects, AnAllZeroMatrixHasZeroSizesAndAnglesThatAreNotNumbers) {
    qvtest::storeMatrix(0, QV_Matrix{});
    EXPECT_EQ(getSizeX(0), 0.0);
    EXPECT_TRUE(std::isnan(getAngleX(0)));
}

TEST(AxisTest, FindsTheFirstAxisAVectorLiesAlong) {
    QV_Matrix m;
    setUnity(&m);
    m.e[0] = 3;  // scale does not matter
    EXPECT_EQ(isVectorColinearToAxes({0, 0, -1}, m), 3);
    EXPECT_EQ(isVectorColinearToAxes({-1, 0, 0}, m), 1);
    EXPECT_EQ(isVectorColinearToAxes({0.6, 0.8, 0}, m), -1);
    EXPECT_EQ(isVectorColinearToAxes({0, 0, 1}, QV_Matrix{}), -1);
    const QV_Matrix turned = mRotationZ(1.5707963267949);
    EXPECT_EQ(isVectorColinearToAxes({1, 0, 0}, turned), 2);
}

}  // namespace
