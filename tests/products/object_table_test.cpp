// The object table: binding at start-up, the product lifecycle and the lookups.
#include <gtest/gtest.h>

#include "runtime/executive/slots.h"
#include "tests/products/scene.h"

namespace {

using qvtest::SceneObject;

constexpr int32_t kActorKind = 10;
constexpr int32_t kProductKind = 20;
constexpr int32_t kOtherKind = 21;

class ObjectTable : public ::testing::Test {
protected:
    // Actors 0 (number 7) and 1 (number 9, removed, of the product kind); products 2, 3, 4
    // of one kind, 5 of another, all removed.
    void SetUp() override {
        qvtest::buildScene({SceneObject{kActorKind, nullptr, nullptr, QV_PRESENT, 7},
                            SceneObject{kProductKind, nullptr, nullptr, QV_REMOVED, 9}},
                           {SceneObject{kProductKind, nullptr, nullptr, QV_REMOVED},
                            SceneObject{kProductKind, nullptr, nullptr, QV_REMOVED},
                            SceneObject{kProductKind, nullptr, nullptr, QV_REMOVED},
                            SceneObject{kOtherKind, nullptr, nullptr, QV_REMOVED}});
    }
    void TearDown() override { qvtest::buildEmptyScene(); }
};

TEST_F(ObjectTable, StartUpBindsEveryEntryToItsSlots) {
    for (int32_t i = 0; i < NbActeursEtProduits; ++i) {
        const ActorProductEntry& e = TableActeursProduits[i];
        EXPECT_EQ(e.boolBase, qv::boolSlot(mem.boolBase, e.boolIndex));
        EXPECT_EQ(e.intBase, qv::intSlotBytes(mem.intBase, e.intIndex));
        EXPECT_EQ(e.realBase, qv::realSlotBytes(mem.realBase, e.realIndex));
        EXPECT_EQ(e.charBase, mem.charBase + e.charIndex * qv::kCharSlotSize);
        EXPECT_EQ(*qvtest::statusSlotOf(i), e.initialStatus);
        const QV_Matrix m = qvtest::storedMatrix(i);
        for (int k = 0; k < 16; ++k) EXPECT_EQ(m.e[k], k % 5 == 0 ? 1.0 : 0.0) << i << " " << k;
    }
    ASSERT_NE(tabOldJointedMatrix, nullptr);
    for (int32_t i = 0; i < NbActeursEtProduits; ++i)
        for (double v : tabOldJointedMatrix[i].e) EXPECT_EQ(v, 0.0);
}

TEST_F(ObjectTable, NewProductsTakeTheLowestRemovedEntryOfTheirKind) {
    EXPECT_EQ(prodNew(kProductKind, 0, 0, 0, 1, 1, 1), 2);  // never the removed actor 1
    EXPECT_EQ(prodNew(kProductKind, 0, 0, 0, 1, 1, 1), 3);
    EXPECT_EQ(prodNew(kProductKind, 0, 0, 0, 1, 1, 1), 4);
    EXPECT_EQ(prodNew(kProductKind, 0, 0, 0, 1, 1, 1), -1);
    EXPECT_EQ(prodKill(3), 3);
    EXPECT_EQ(prodNew(kProductKind, 0, 0, 0, 1, 1, 1), 3);
    EXPECT_EQ(prodNew(kOtherKind, 0, 0, 0, 1, 1, 1), 5);
    EXPECT_EQ(prodNew(99, 0, 0, 0, 1, 1, 1), -1);
    EXPECT_EQ(prodNew(kActorKind, 0, 0, 0, 1, 1, 1), -1);
}

TEST_F(ObjectTable, ANewProductIsPresentAndPlaced) {
    const int32_t i = prodNew(kOtherKind, 1, 2, 3, 4, 5, 6);
    EXPECT_EQ(prodGetStatus(i), QV_PRESENT);
    const QV_Matrix m = qvtest::storedMatrix(i);
    const double expected[16] = {4, 0, 0, 1, 0, 5, 0, 2, 0, 0, 6, 3, 0, 0, 0, 1};
    for (int k = 0; k < 16; ++k) EXPECT_EQ(m.e[k], expected[k]) << k;
}

TEST_F(ObjectTable, KillingRemovesOnceAndKeepsThePlacement) {
    EXPECT_EQ(prodKill(0), 0);  // an actor too
    EXPECT_EQ(prodGetStatus(0), QV_REMOVED);
    EXPECT_EQ(getSizeX(0), 0.0);
    EXPECT_EQ(qvtest::storedMatrix(0).e[0], 1.0);
    EXPECT_EQ(prodKill(0), -1);
    EXPECT_EQ(prodKill(-1), -1);
    EXPECT_EQ(prodKill(NbActeursEtProduits), -1);
    // Any status other than 2 counts as present.
    *qvtest::statusSlotOf(2) = 77;
    EXPECT_EQ(getSizeX(2), 1.0);
    EXPECT_EQ(prodKill(2), 2);
}

TEST_F(ObjectTable, LookupsCheckTheRangeOnly) {
    EXPECT_EQ(prodGetModel(-1), -1);
    EXPECT_EQ(prodGetModel(NbActeursEtProduits), -1);
    EXPECT_EQ(prodGetStatus(NbActeursEtProduits), -1);
    EXPECT_EQ(prodGetStatus(-5), -1);
    EXPECT_EQ(prodGetModel(4), kProductKind);  // removed, still its kind
    EXPECT_EQ(prodGetModel(0), kActorKind);
    EXPECT_EQ(prodGetStatus(4), QV_REMOVED);
}

TEST_F(ObjectTable, MyselfIsFoundAmongTheActors) {
    myself = 42;
    setMyselfFor(9);
    EXPECT_EQ(myself, 1);
    setMyselfFor(7);
    EXPECT_EQ(myself, 0);
    setMyselfFor(0);  // products carry number 0 but are not looked at
    EXPECT_EQ(myself, 0);
    setMyselfFor(12345);
    EXPECT_EQ(myself, 0);
}

// The deliverables' tables: all counts 0.
TEST(EmptyObjectTable, NothingIsTouched) {
    qvtest::buildEmptyScene();
    const auto before = qvtest::imageBytes();
    myself = 3;
    productsStep();
    EXPECT_EQ(myself, 3);
    EXPECT_EQ(prodNew(kProductKind, 0, 0, 0, 1, 1, 1), -1);
    EXPECT_EQ(prodKill(0), -1);
    EXPECT_EQ(prodGetModel(0), -1);
    EXPECT_EQ(prodGetStatus(0), -1);
    EXPECT_EQ(getPositionX(0), 0.0);
    EXPECT_EQ(moveTo(0, 1, 1, 1), -1);
    EXPECT_EQ(intersects(0, 0), 0);
    setMyselfFor(0);
    EXPECT_EQ(myself, 3);
    EXPECT_EQ(qvtest::imageBytes(), before);
    EXPECT_EQ(TableActeursProduits[0].intBase, nullptr);
    EXPECT_NE(tabOldJointedMatrix, nullptr);
}

}  // namespace
