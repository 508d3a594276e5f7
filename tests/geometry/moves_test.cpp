// Moving, rotating, resizing and following: placements change as the operations say, and
// an index that is not valid changes nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/products/scene.h"

namespace {

using qvtest::SceneObject;

constexpr double kReal = 1e-5;  // what REAL slots keep of a value near 1

class Moves : public ::testing::Test {
protected:
    // Four present actors; object 4 is a removed product.
    void SetUp() override {
        qvtest::buildScene({SceneObject{10}, SceneObject{11}, SceneObject{12}, SceneObject{13}},
                           {SceneObject{20, nullptr, nullptr, QV_REMOVED}});
    }
    void TearDown() override { qvtest::buildEmptyScene(); }

    static void expectAngles(int32_t i, double x, double y, double z) {
        EXPECT_NEAR(std::remainder(getAngleX(i) - x, 360.0), 0, 1e-3) << getAngleX(i);
        EXPECT_NEAR(std::remainder(getAngleY(i) - y, 360.0), 0, 1e-3) << getAngleY(i);
        EXPECT_NEAR(std::remainder(getAngleZ(i) - z, 360.0), 0, 1e-3) << getAngleZ(i);
    }
    static void expectSizes(int32_t i, double x, double y, double z) {
        EXPECT_NEAR(getSizeX(i), x, kReal);
        EXPECT_NEAR(getSizeY(i), y, kReal);
        EXPECT_NEAR(getSizeZ(i), z, kReal);
    }
};

TEST_F(Moves, MovesToAndByPositions) {
    qvtest::placeBox(0, 5, 5, 5, 2, 3, 4);
    rotateCenterBy(0, 10, 20, 30);
    ASSERT_EQ(moveTo(0, 1, 2, 3), 0);
    EXPECT_NEAR(getPositionX(0), 1, kReal);
    EXPECT_NEAR(getPositionY(0), 2, kReal);
    EXPECT_NEAR(getPositionZ(0), 3, kReal);
    expectSizes(0, 2, 3, 4);
    expectAngles(0, 10, 20, 30);

    moveXTo(0, 5);
    EXPECT_NEAR(getPositionX(0), 5, kReal);
    EXPECT_NEAR(getPositionY(0), 2, kReal);
    moveXBy(0, 1);
    moveXBy(0, 1);
    EXPECT_NEAR(getPositionX(0), 7, kReal);
    moveBy(0, 0, -2, 1);
    EXPECT_NEAR(getPositionY(0), 0, kReal);
    EXPECT_NEAR(getPositionZ(0), 4, kReal);
}

#if QV_REVISION == 3
TEST_F(Moves, MovesTheCentre) {
    qvtest::placeBox(0, 0, 0, 0, 2, 4, 6);
    ASSERT_EQ(moveCenterTo(0, 10, 10, 10), 0);
    EXPECT_NEAR(getPositionX(0), 9, kReal);
    EXPECT_NEAR(getPositionY(0), 8, kReal);
    EXPECT_NEAR(getPositionZ(0), 7, kReal);
    moveCenterYTo(0, 0);
    EXPECT_NEAR(getCenterY(0), 0, kReal);
    EXPECT_NEAR(getCenterX(0), 10, kReal);
    EXPECT_EQ(moveCenterZTo(4, 1), -1);
}
#endif

TEST_F(Moves, TurnsAboutAWorldPoint) {
    ASSERT_EQ(rotateZBy(0, 90, 0, 0, 0), 0);
    double box[6];
    computeActorProductTransformedParrallelepipede_into_(qvtest::basesOfObject(0), box);
    EXPECT_NEAR(box[3], -1, kReal);
    EXPECT_NEAR(box[4], 1, kReal);
    EXPECT_NEAR(box[5], 1, kReal);
    EXPECT_NEAR(getAngleZ(0), 90, 1e-3);
}

TEST_F(Moves, TurnsAboutItsCentre) {
    qvtest::placeBox(0, 1, 1, 1, 2, 1, 1);
    const QV_Matrix before = qvtest::storedMatrix(0);
    rotateCenterZBy(0, 90);
    EXPECT_NEAR(getCenterX(0), 2, kReal);
    EXPECT_NEAR(getCenterY(0), 1.5, kReal);
    rotateCenterZBy(0, 270);
    const QV_Matrix after = qvtest::storedMatrix(0);
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(after.e[k], before.e[k], kReal) << k;
}

TEST_F(Moves, TurnsToAbsoluteAngles) {
    qvtest::placeBox(0, 2, 2, 2, 1, 2, 3);
    rotateCenterZBy(0, 45);
    ASSERT_EQ(rotateXTo(0, 30, 2, 2, 2), 0);
    expectAngles(0, 30, 0, 0);
    expectSizes(0, 1, 2, 3);
    rotateCenterTo(0, 10, 200, 300);
    expectAngles(0, 10, 200, 300);
    rotateCenterYTo(0, 0);
    expectAngles(0, 0, 0, 0);
}

TEST_F(Moves, ResizesInTheObjectsOwnFrame) {
    qvtest::placeBox(0, 1, 2, 3, 1, 1, 1);
    rotateBy(0, 20, 30, 40, 1, 2, 3);
    ASSERT_EQ(resizeTo(0, 2, 3, 4), 0);
    expectSizes(0, 2, 3, 4);
    EXPECT_NEAR(getPositionX(0), 1, kReal);
    EXPECT_NEAR(getPositionZ(0), 3, kReal);
    expectAngles(0, 20, 30, 40);
    resizeXBy(0, 1);
    expectSizes(0, 3, 3, 4);
    resizeZTo(0, 0.5);
    expectSizes(0, 3, 3, 0.5);
}

TEST_F(Moves, InvalidIndicesChangeNothing) {
    qvtest::placeBox(4, 1, 1, 1, 1, 1, 1);
    const auto before = qvtest::imageBytes();
    for (int32_t i : {-1, 4, 5}) {
        EXPECT_EQ(moveTo(i, 1, 2, 3), -1);
        EXPECT_EQ(moveYBy(i, 1), -1);
        EXPECT_EQ(rotateBy(i, 1, 2, 3, 0, 0, 0), -1);
        EXPECT_EQ(rotateCenterXBy(i, 5), -1);
        EXPECT_EQ(rotateTo(i, 1, 2, 3, 0, 0, 0), -1);
        EXPECT_EQ(rotateCenterZTo(i, 1), -1);
        EXPECT_EQ(resizeTo(i, 1, 2, 3), -1);
        EXPECT_EQ(resizeXTo(i, 2), -1);
        EXPECT_EQ(resizeBy(i, 1, 1, 1), -1);
        EXPECT_EQ(joint2Object(i, 0, 0, 0, 0), -1);
        EXPECT_EQ(joint2Object(0, i, 0, 0, 0), -1);
    }
    EXPECT_EQ(joint2Object(1, 1, 0, 0, 0), -1);
    EXPECT_EQ(qvtest::imageBytes(), before);
}

// ---- Following a parent --------------------------------------------------------------------

TEST_F(Moves, FollowsAParentThatMoves) {
    qvtest::placeBox(0, 0, 0, 0, 2, 2, 1);  // parent
    qvtest::placeBox(1, 0.5, 0.5, 1, 1, 1, 1);
    ASSERT_EQ(joint2Object(1, 0, 0, 0, 0), 1);  // first call: remembers the parent only
    EXPECT_EQ(getPositionX(1), 0.5);
    moveXBy(0, 1);
    joint2Object(1, 0, 0, 0, 0);
    EXPECT_NEAR(getPositionX(1), 1.5, kReal);
    EXPECT_NEAR(getPositionY(1), 0.5, kReal);
    joint2Object(1, 0, 0, 0, 0);  // the parent has not moved since
    EXPECT_NEAR(getPositionX(1), 1.5, kReal);
    // The stored placement belongs to the parent: a second follower sees no motion.
    qvtest::placeBox(2, 0, 0, 5, 1, 1, 1);
    moveYBy(0, 2);
    joint2Object(1, 0, 0, 0, 0);
    joint2Object(2, 0, 0, 0, 0);
    EXPECT_NEAR(getPositionY(1), 2.5, kReal);
    EXPECT_NEAR(getPositionY(2), 0, kReal);
}

TEST_F(Moves, FollowsAParentThatTurnsAboutZ) {
    qvtest::placeBox(0, 0, 0, 0, 1, 1, 1);
    qvtest::placeBox(1, 3, 0, 0, 1, 1, 1);
    joint2Object(1, 0, 0, 0, 0);
    rotateZBy(0, 90, 0, 0, 0);
    joint2Object(1, 0, 0, 0, 0);
    EXPECT_NEAR(getPositionX(1), 0, kReal);
    EXPECT_NEAR(getPositionY(1), 3, kReal);
    EXPECT_NEAR(getAngleZ(1), 90, 1e-3);
}

// A parent already turned about Y keeps turning about Y: the follower turns by the same
// angle, not by one scaled with the parent's accumulated turn.
TEST_F(Moves, FollowsAParentAlreadyTurnedAboutY) {
    qvtest::placeBox(0, 0, 0, 0, 1, 1, 1);
    qvtest::placeBox(1, 2, 0, 0, 1, 1, 1);
    rotateYBy(0, 60, 0, 0, 0);
    rotateYBy(1, 60, 0, 0, 0);
    joint2Object(1, 0, 0, 0, 0);
    const double before = getAngleY(1);
    rotateYBy(0, 10, 0, 0, 0);
    joint2Object(1, 0, 0, 0, 0);
    EXPECT_NEAR(getAngleY(1) - before, 10, 1e-3);
    EXPECT_NEAR(getAngleY(0), getAngleY(1), 1e-3);
    // Its origin corner went round the same point: (2, 0, 0) turned by 70 degrees about Y.
    EXPECT_NEAR(getPositionX(1), 2 * std::cos(70 * M_PI / 180), 1e-4);
    EXPECT_NEAR(getPositionZ(1), -2 * std::sin(70 * M_PI / 180), 1e-4);
}

}  // namespace
