// The object table of actors and products: binding its entries to the image at start-up,
// the product lifecycle (prodNew, prodKill), the lookups, and the current object context.
#include <algorithm>
#include <new>

#include "geometry/geometry.h"
#include "products/products.h"

extern "C" {
int32_t myself = 0;
int32_t other = 0;
QV_Bases otherPointers = {nullptr, nullptr, nullptr, nullptr};
int32_t otherModel = 0;
QV_Matrix* tabOldJointedMatrix = nullptr;
}

namespace qv {
namespace {

int32_t actorCount() { return std::clamp(NbActeurs, 0, objectCount()); }

// The first slot of each of the object's areas.
void bindEntry(ActorProductEntry& e) {
    e.boolBase = boolSlot(mem.boolBase, e.boolIndex);
    e.intBase = intSlotBytes(mem.intBase, e.intIndex);
    e.realBase = realSlotBytes(mem.realBase, e.realIndex);
    e.charBase = charSlot(mem.charBase, e.charIndex);
}

// An unrotated box with its origin corner at p and sizes d.
QV_Matrix placement(const QV_Vector& p, const QV_Vector& d) {
    QV_Matrix m{};
    m.e[0] = d.x;
    m.e[3] = p.x;
    m.e[5] = d.y;
    m.e[7] = p.y;
    m.e[10] = d.z;
    m.e[11] = p.z;
    m.e[15] = 1.0;
    return m;
}

}  // namespace
}  // namespace qv

extern "C" {

// Runs once at start-up, before the generated initial values and the parameters file,
// which may therefore place the objects otherwise.
void produitsInit(void) {
    const int32_t count = qv::objectCount();
    delete[] tabOldJointedMatrix;
    tabOldJointedMatrix = new (std::nothrow) QV_Matrix[static_cast<std::size_t>(count) + 1]();
    qv::reserveProductStep(count);
    for (int32_t i = 0; i < count; ++i) {
        ActorProductEntry& e = qv::entryOf(i);
        qv::bindEntry(e);
        qv::setStatus(e, e.initialStatus);
        qv::storeMatrix(qv::identityMatrix(), qv::basesOf(e));
    }
}

// The lowest-numbered removed product of the kind. The status is written before the
// matrix: a supervisor that sees the product present sees it placed within one write.
int32_t prodNew(int32_t model, double x, double y, double z, double dx, double dy, double dz) {
    for (int32_t i = qv::actorCount(); i < qv::objectCount(); ++i) {
        ActorProductEntry& e = qv::entryOf(i);
        if (e.kind != model || qv::statusOf(e) != QV_REMOVED) continue;
        qv::setStatus(e, QV_PRESENT);
        qv::storeMatrix(qv::placement({x, y, z}, {dx, dy, dz}), qv::basesOf(e));
        return i;
    }
    return -1;
}

// Actors can be removed too; the placement stays as it was.
int32_t prodKill(int32_t index) {
    if (!qv::objectValid(index)) return -1;
    qv::setStatus(qv::entryOf(index), QV_REMOVED);
    return index;
}

int32_t prodGetModel(int32_t index) { return qv::inRange(index) ? qv::entryOf(index).kind : -1; }

int32_t prodGetStatus(int32_t index) { return qv::inRange(index) ? qv::statusOf(qv::entryOf(index)) : -1; }

void setMyselfFor(int32_t number) {
    for (int32_t i = 0; i < qv::actorCount(); ++i) {
        if (qv::entryOf(i).objectNumber == number) {
            myself = i;
            return;
        }
    }
}

}  // extern "C"
