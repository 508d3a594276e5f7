// Relative placement: coordinates in another object's frame, moves along an object's or
// another's axes, face alignment along a third object's axis, return to the world axes.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/products/scene.h"

namespace {

using qvtest::SceneObject;

constexpr double kReal = 1e-5;

class Placement : public ::testing::Test {
protected:
    // Actors A = 0, B = 1, C = 2, D = 3; object 4 is a removed product.
    void SetUp() override {
        qvtest::buildScene({SceneObject{10}, SceneObject{11}, SceneObject{12}, SceneObject{13}},
                           {SceneObject{20, nullptr, nullptr, QV_REMOVED}});
    }
    void TearDown() override { qvtest::buildEmptyScene(); }
};

TEST_F(Placement, MeasuresInTheFrameOfAnother) {
    qvtest::placeBox(0, 10, 0, 0, 2, 2, 2);
    qvtest::placeBox(1, 12, 3, 0, 1, 1, 1);
    EXPECT_NEAR(getPositionXInAnother(1, 0), 2, kReal);
    EXPECT_NEAR(getPositionYInAnother(1, 0), 3, kReal);
    EXPECT_NEAR(getCenterXInAnother(1, 0), 2.5, kReal);
    rotateZBy(0, 90, 10, 0, 0);
    EXPECT_NEAR(getPositionXInAnother(1, 0), 3, kReal);
    EXPECT_NEAR(getPositionYInAnother(1, 0), -2, kReal);
    EXPECT_NEAR(getPositionZInAnother(1, 0), 0, kReal);
    const QV_Vector p = getPositionInAnother(7, 0, QV_Vector{10, 1, 0});
    EXPECT_NEAR(p.x, 1, kReal);
    EXPECT_NEAR(p.y, 0, kReal);
}

TEST_F(Placement, InvalidIndicesMeasureZero) {
    qvtest::placeBox(4, 1, 1, 1, 1, 1, 1);
    EXPECT_EQ(getPositionXInAnother(1, 4), 0.0);
    EXPECT_EQ(getCenterYInAnother(4, 1), 0.0);
    EXPECT_EQ(getPositionZInAnother(-1, 1), 0.0);
    EXPECT_EQ(isMyCenterIncludedInXYOfOther(4, 4), 0);
    const QV_Vector p = getPositionInAnother(0, 99, QV_Vector{1, 2, 3});
    EXPECT_EQ(p.x, 0.0);
    EXPECT_EQ(p.z, 0.0);
}

TEST_F(Placement, CentreInclusionCountsTheBounds) {
    qvtest::placeBox(0, 0, 0, 0, 2, 2, 2);
    qvtest::placeBox(1, 1.5, 0, 5, 1, 1, 1);  // centre (2, 0.5, 5.5): on A's face x = 2
    EXPECT_EQ(isMyCenterIncludedInXYOfOther(1, 1), 1);
    EXPECT_EQ(isMyCenterIncludedInXYOfOther(1, 0), 1);
    EXPECT_EQ(isMyCenterIncludedInXZOfOther(1, 0), 0);
    EXPECT_EQ(isMyCenterIncludedInYZOfOther(1, 0), 0);
    moveXBy(1, 0.01);
    EXPECT_EQ(isMyCenterIncludedInXYOfOther(1, 0), 0);
}

TEST_F(Placement, MovesAlongItsOwnEdges) {
    qvtest::placeBox(0, 0, 0, 0, 2, 1, 1);
    rotateZBy(0, 90, 0, 0, 0);
    ASSERT_EQ(moveRelativeXBy(0, 1), 0);
    EXPECT_NEAR(getPositionX(0), 0, kReal);
    EXPECT_NEAR(getPositionY(0), 1, kReal);
    EXPECT_EQ(moveRelativeBy(4, 1, 1, 1), -1);
}

TEST_F(Placement, MovesAlongAnothersAxes) {
    qvtest::placeBox(0, 0, 0, 0, 3, 1, 1);
    rotateZBy(0, 90, 0, 0, 0);
    qvtest::placeBox(1, 5, 5, 5, 1, 1, 1);
    ASSERT_EQ(moveRelativeAnotherXBy(1, 0, 2), 1);
    EXPECT_NEAR(getPositionX(1), 5, kReal);
    EXPECT_NEAR(getPositionY(1), 7, kReal);
    const auto before = qvtest::imageBytes();
    EXPECT_EQ(moveRelativeAnotherBy(1, 1, 1, 0, 0), -1);
    EXPECT_EQ(moveRelativeAnotherBy(1, 4, 1, 0, 0), -1);
    EXPECT_EQ(qvtest::imageBytes(), before);
}

#if QV_REVISION == 3
TEST_F(Placement, MovesToAPlaceInAnothersFrame) {
    qvtest::placeBox(0, 10, 0, 0, 2, 2, 2);
    rotateZBy(0, 90, 10, 0, 0);
    qvtest::placeBox(1, 0, 0, 0, 1, 1, 1);
    ASSERT_EQ(moveRelativeAnotherTo(1, 0, 1, 2, 3), 1);
    EXPECT_NEAR(getPositionXInAnother(1, 0), 1, kReal);
    EXPECT_NEAR(getPositionYInAnother(1, 0), 2, kReal);
    EXPECT_NEAR(getPositionZInAnother(1, 0), 3, kReal);
    moveRelativeAnotherYTo(1, 0, 0);
    EXPECT_NEAR(getPositionXInAnother(1, 0), 1, kReal);
    EXPECT_NEAR(getPositionYInAnother(1, 0), 0, kReal);
    ASSERT_EQ(moveCenterRelativeAnotherTo(1, 0, 1, 1, 1), 1);
    EXPECT_NEAR(getCenterXInAnother(1, 0), 1, kReal);
    EXPECT_NEAR(getCenterZInAnother(1, 0), 1, kReal);
    moveCenterRelativeAnotherZTo(1, 0, 0.5);
    EXPECT_NEAR(getCenterZInAnother(1, 0), 0.5, kReal);
    EXPECT_EQ(moveRelativeAnotherXTo(1, 1, 0), -1);
    EXPECT_EQ(moveCenterRelativeAnotherXTo(4, 0, 0), -1);
}
#endif

TEST_F(Placement, AlignsTheNearestFacesAlongAThirdObjectsAxis) {
    qvtest::placeBox(0, 0, 0, 0, 1, 1, 1);    // A: x 0-1
    qvtest::placeBox(1, 3, 0.2, 0, 2, 1, 1);  // B: x 3-5
    qvtest::placeBox(2, -4, 7, 1, 2, 3, 1);   // C: unrotated
    ASSERT_EQ(alignTwoObjectsRelativeThirdX(1, 0, 2), 1);
    EXPECT_NEAR(getPositionX(1), 1, kReal);
    EXPECT_NEAR(getPositionY(1), 0.2, kReal);

    qvtest::placeBox(1, 3, 0.2, 0, 2, 1, 1);
    ASSERT_EQ(alignTwoObjectsRelativeThirdX(1, 0, 0), 1);
    EXPECT_NEAR(getPositionX(1), 1, kReal);

    // The object itself as the third: it slides along its own axis.
    qvtest::placeBox(1, 3, 0.2, 0, 2, 1, 1);
    ASSERT_EQ(alignTwoObjectsRelativeThirdX(1, 0, 1), 1);
    EXPECT_NEAR(getPositionX(1), 1, kReal);

    // Along Z, B below A comes up to A's bottom face.
    qvtest::placeBox(1, 0, 0, -3, 1, 1, 1);
    ASSERT_EQ(alignTwoObjectsRelativeThirdZ(1, 0, 2), 1);
    EXPECT_NEAR(getPositionZ(1), -1, kReal);
}

TEST_F(Placement, AlignsAlongATurnedThirdObject) {
    qvtest::placeBox(0, 0, 0, 0, 1, 1, 1);
    qvtest::placeBox(1, 0, 4, 0, 1, 1, 1);
    qvtest::placeBox(2, 9, 9, 9, 1, 1, 1);
    rotateCenterZBy(2, 90);  // its X axis is the world Y axis
    ASSERT_EQ(alignTwoObjectsRelativeThirdX(1, 0, 2), 1);
    EXPECT_NEAR(getPositionY(1), 1, kReal);
    EXPECT_NEAR(getPositionX(1), 0, kReal);
}

TEST_F(Placement, RefusesAlignmentWithoutAParallelEdge) {
    qvtest::placeBox(0, 0, 0, 0, 1, 1, 1);
    qvtest::placeBox(1, 3, 0, 0, 1, 1, 1);
    qvtest::placeBox(2, 0, 5, 0, 1, 1, 1);
    rotateCenterZBy(0, 45);
    const auto before = qvtest::imageBytes();
    EXPECT_EQ(alignTwoObjectsRelativeThirdX(1, 0, 2), -1);
    EXPECT_EQ(alignTwoObjectsRelativeThirdX(1, 1, 2), -1);
    EXPECT_EQ(alignTwoObjectsRelativeThirdY(1, 0, 4), -1);
    EXPECT_EQ(qvtest::imageBytes(), before);
}

TEST_F(Placement, ReturnsToTheWorldAxes) {
    qvtest::placeBox(0, 1, 1, 1, 2, 1, 1);
    rotateCenterZBy(0, 30);
    rotateCenterXBy(0, 50);
    const double cx = getCenterX(0), cy = getCenterY(0), cz = getCenterZ(0);
    ASSERT_EQ(alignCenteredToAbsoluteAxes(0), 0);
    EXPECT_NEAR(getCenterX(0), cx, kReal);
    EXPECT_NEAR(getCenterY(0), cy, kReal);
    EXPECT_NEAR(getCenterZ(0), cz, kReal);
    EXPECT_NEAR(getSizeX(0), 2, kReal);
    EXPECT_EQ(getAngleX(0), 0.0);
    EXPECT_EQ(getAngleY(0), 0.0);
    EXPECT_EQ(getAngleZ(0), 0.0);
    ASSERT_EQ(alignToAbsoluteAxes(0, 0, 0, 0), 0);
    EXPECT_NEAR(getPositionX(0), -1, kReal);
    EXPECT_EQ(alignToAbsoluteAxes(4, 0, 0, 0), -1);
    EXPECT_EQ(alignCenteredToAbsoluteAxes(-1), -1);
}

TEST_F(Placement, FacesAndFramesOnBases) {
    qvtest::placeBox(0, 1, 0, 0, 2, 2, 2);
    qvtest::placeBox(1, 4, 1, 0, 1, 3, 1);
    QV_Matrix n0, n1, n2;
    putMatrixToScale(qvtest::basesOfObject(0), qvtest::basesOfObject(1), qvtest::basesOfObject(1), &n0, &n1, &n2);
    EXPECT_DOUBLE_EQ(n0.e[0], 1.0);
    EXPECT_DOUBLE_EQ(n1.e[5], 1.0);
    EXPECT_EQ(n1.e[7], 1.0);
    QV_Vector p0{-7, -7, -7}, p1{-7, -7, -7};
    determinateFacesOfMyself(2, qvtest::basesOfObject(0), qvtest::storedMatrix(1), qvtest::storedMatrix(0), &p0, &p1);
    EXPECT_DOUBLE_EQ(p0.x, 3);
    EXPECT_DOUBLE_EQ(p0.y, 1);
    EXPECT_DOUBLE_EQ(p1.y, 4);
    determinateFacesOfOther(0, qvtest::basesOfObject(0), qvtest::storedMatrix(1), qvtest::storedMatrix(0), &p0, &p1);
    EXPECT_DOUBLE_EQ(p1.y, 4);  // no axis 0: nothing written
}

}  // namespace
