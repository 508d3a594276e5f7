#include "tests/products/scene.h"

#include <cstring>

#include "runtime/executive/slots.h"

extern "C" {
QV_Bases self;
int32_t self_num;
int32_t lv_iteration_step;
ActorProductEntry TableActeursProduits[qvtest::kSceneCapacity];
int32_t NbActeurs = 0;
int32_t NbProduits = 0;
int32_t NbActeursEtProduits = 0;

// The runtime's configuration code asks the model for its signature.
int32_t getSignature(void) { return 0; }
}

namespace qvtest {
namespace {

struct Areas {
    std::vector<unsigned char> bools, ints, reals, chars;
};
Areas areas;

void allocateAreas(int32_t objects) {
    const auto n = static_cast<std::size_t>(objects > 0 ? objects : 1);
    areas.bools.assign(n * 2 * qv::kBoolSlotSize, 0);
    areas.ints.assign(n * 2 * qv::kIntSlotSize, 0);
    areas.reals.assign(n * kSceneRealsPerObject * qv::kRealSlotSize, 0);
    areas.chars.assign(n * static_cast<std::size_t>(qv::kCharSlotSize), 0);
    mem = QV_Bases{areas.bools.data(), areas.ints.data(), areas.reals.data(), areas.chars.data()};
}

void fillEntry(int32_t i, const SceneObject& o) {
    ActorProductEntry e{};
    e.boolIndex = 2 * i;
    e.intIndex = 2 * i;
    e.realIndex = kSceneRealsPerObject * i;
    e.charIndex = i;
    e.kind = o.kind;
    e.model = o.model;
#if QV_REVISION == 3
    e.contactFilter = o.filter;
#endif
    e.initialStatus = o.initialStatus;
    e.objectNumber = o.objectNumber;
    TableActeursProduits[i] = e;
}

}  // namespace

void buildScene(const std::vector<SceneObject>& actors, const std::vector<SceneObject>& products) {
    const auto count = static_cast<int32_t>(actors.size() + products.size());
    allocateAreas(count);
    int32_t i = 0;
    for (const SceneObject& o : actors) fillEntry(i++, o);
    for (const SceneObject& o : products) fillEntry(i++, o);
    NbActeurs = static_cast<int32_t>(actors.size());
    NbProduits = static_cast<int32_t>(products.size());
    NbActeursEtProduits = count;
    produitsInit();
}

void buildEmptyScene() {
    allocateAreas(0);
    std::memset(&TableActeursProduits[0], 0, sizeof(ActorProductEntry));
    NbActeurs = NbProduits = NbActeursEtProduits = 0;
    produitsInit();
}

QV_Matrix storedMatrix(int32_t index) { return createMatrixFrom_(basesOfObject(index)); }
void storeMatrix(int32_t index, const QV_Matrix& m) { saveMatrix_on_(m, basesOfObject(index)); }
float* realSlotOf(int32_t index, int32_t k) { return qv::realSlot(TableActeursProduits[index].realBase, k); }
int32_t* statusSlotOf(int32_t index) { return qv::intSlot(TableActeursProduits[index].intBase, 0); }
QV_Bases basesOfObject(int32_t index) {
    const ActorProductEntry& e = TableActeursProduits[index];
    return QV_Bases{e.boolBase, e.intBase, e.realBase, e.charBase};
}

QV_Matrix boxMatrix(double x, double y, double z, double dx, double dy, double dz) {
    QV_Matrix m{};
    m.e[0] = dx;
    m.e[3] = x;
    m.e[5] = dy;
    m.e[7] = y;
    m.e[10] = dz;
    m.e[11] = z;
    m.e[15] = 1.0;
    return m;
}

void placeBox(int32_t index, double x, double y, double z, double dx, double dy, double dz) {
    storeMatrix(index, boxMatrix(x, y, z, dx, dy, dz));
}

std::vector<unsigned char> imageBytes() {
    std::vector<unsigned char> all;
    for (const auto* a : {&areas.bools, &areas.ints, &areas.reals, &areas.chars}) all.insert(all.end(), a->begin(), a->end());
    return all;
}

}  // namespace qvtest
