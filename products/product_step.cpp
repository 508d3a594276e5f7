// The product step, once per scan cycle: every object's box is refreshed, then every
// present product's model runs (own step), is called once for each object it touches
// (contact calls, in increasing index of the other object) and once more at the end.
// A contact between two products is decided once, in the step of the lower-index
// product, and reported to both through the pair list.
#include <algorithm>
#include <memory>
#include <new>

#include "geometry/geometry.h"
#include "products/products.h"

namespace qv {
namespace {

// A pair of products (first < second) found in contact during this step, linked to the
// next pair with the same second product.
struct ContactPair {
    int32_t first;
    int32_t second;
    int32_t nextOfSecond;
};

constexpr int32_t kNone = -1;

// The pair list and, per object, the first and last pair in which it is the second
// product. Kept from one step to the next so that the scan cycle does not allocate;
// every step starts it empty.
struct PairList {
    std::unique_ptr<ContactPair[]> pairs;
    int32_t count = 0;
    int32_t capacity = 0;
    std::unique_ptr<int32_t[]> head;  // first pair whose second is the object
    std::unique_ptr<int32_t[]> tail;  // last such pair
    int32_t objects = 0;

    bool reservePairs(int32_t n) {
        if (n <= capacity) return true;
        std::unique_ptr<ContactPair[]> grown(new (std::nothrow) ContactPair[static_cast<std::size_t>(n)]);
        if (!grown) return false;
        std::copy(pairs.get(), pairs.get() + count, grown.get());
        pairs = std::move(grown);
        capacity = n;
        return true;
    }

    bool reserveObjects(int32_t n) {
        if (n <= objects) return true;
        head.reset(new (std::nothrow) int32_t[static_cast<std::size_t>(n)]);
        tail.reset(new (std::nothrow) int32_t[static_cast<std::size_t>(n)]);
        if (!head || !tail) {
            head.reset();
            tail.reset();
            objects = 0;
            return false;
        }
        objects = n;
        return true;
    }

    void clear(int32_t n) {
        count = 0;
        std::fill(head.get(), head.get() + n, kNone);
    }

    // A pair that cannot be recorded (no memory) is not reported to the second product.
    void append(int32_t first, int32_t second) {
        if (count == capacity && !reservePairs(std::max(2 * capacity, 16))) return;
        pairs[count] = ContactPair{first, second, kNone};
        if (head[second] == kNone)
            head[second] = count;
        else
            pairs[tail[second]].nextOfSecond = count;
        tail[second] = count;
        ++count;
    }
};

PairList pairList;

// Walks the pairs of one second product while the first products come in increasing
// order: each lookup costs nothing beyond the pairs it passes.
class PairCursor {
public:
    PairCursor(const PairList& list, int32_t second, bool kept)
        : list_(list), at_(kept ? list.head[second] : kNone) {}
    bool contains(int32_t first) {
        while (at_ != kNone && list_.pairs[at_].first < first) at_ = list_.pairs[at_].nextOfSecond;
        return at_ != kNone && list_.pairs[at_].first == first;
    }

private:
    const PairList& list_;
    int32_t at_;
};

bool present(const ActorProductEntry& e) { return statusOf(e) != kRemoved; }

// Sets the context of a call to product p's model and makes it. The model may change
// the globals; the step keeps its own counters and sets them again before every call.
void callModel(const ActorProductEntry& product, int32_t p, int32_t o, int32_t why) {
    self = basesOf(product);
    myself = p;
    other = o;
    otherModel = why;
    if (product.model != nullptr) product.model();
}

// Revision 3: asks the product whether it cares about contacts with object o.
bool wantsContact([[maybe_unused]] const ActorProductEntry& product, [[maybe_unused]] int32_t p,
                  [[maybe_unused]] int32_t o, [[maybe_unused]] const ActorProductEntry& candidate) {
#if QV_REVISION == 3
    if (product.contactFilter == nullptr) return true;
    self = basesOf(product);
    myself = p;
    other = o;
    otherModel = candidate.kind;
    return product.contactFilter() != 0;
#else
    return true;
#endif
}

void stepProduct(int32_t p, int32_t actors, int32_t count, bool pairsKept) {
    const ActorProductEntry& product = entryOf(p);
    callModel(product, p, other, 0);
    PairCursor cursor(pairList, p, pairsKept);
    for (int32_t o = 0; o < count; ++o) {
        if (o == p) continue;
        const ActorProductEntry& candidate = entryOf(o);
        if (!present(candidate)) continue;
        if (!wantsContact(product, p, o, candidate)) continue;
        bool touching;
        if (o < p && o >= actors) {
            // A product stepped earlier in this call: its test decided the pair.
            touching = cursor.contains(o);
        } else {
            touching = objectsIntersect(o, p);
            if (touching && p < o && pairsKept) pairList.append(p, o);
        }
        if (!touching) continue;
        otherPointers = basesOf(candidate);
        callModel(product, p, o, candidate.kind);
    }
    callModel(product, p, count, 1);
}

}  // namespace

bool reserveProductStep(int32_t objects) {
    // Without the placement cache every contact test computes its placements: slower, the
    // same results.
    static_cast<void>(reserveContactCache(objects));
    return pairList.reserveObjects(objects) && pairList.reservePairs(objects);
}

}  // namespace qv

extern "C" void productsStep(void) {
    const int32_t count = qv::objectCount();
    if (count == 0) return;
    const int32_t actors = std::clamp(NbActeurs, 0, count);
    const bool pairsKept = qv::reserveProductStep(count);
    if (pairsKept) qv::pairList.clear(count);

    for (int32_t i = 0; i < count; ++i) {
        ActorProductEntry& e = qv::entryOf(i);
        qv::boxOf(qv::loadMatrix(qv::basesOf(e)), e.box);
    }
    for (int32_t p = actors; p < count; ++p) {
        myself = p;
        if (!qv::present(qv::entryOf(p))) continue;
        qv::stepProduct(p, actors, count, pairsKept);
    }
    myself = count;
}
