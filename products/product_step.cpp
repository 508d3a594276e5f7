// The product step, once per scan cycle: every object's box is refreshed, then every
// present product's model runs (own step), is called once for each object it touches
// (contact calls, in increasing index of the other object) and once more at the end.
// A contact between two products is decided once, in the step of the lower-index
// product, and reported to both through the pair list.
//
// A broad phase finds, from the boxes of the step, the objects each product may touch:
// a sweep along X over the boxes around the objects' bounding spheres, which contain every
// pair that the contact test's sphere rejection keeps. Only those are tested; the others
// would be turned down by that rejection. The model calls are the same, in the same order.
#include <algorithm>
#include <cmath>
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

// ---- Broad phase ------------------------------------------------------------------------

// The box around an object's bounding sphere (the sphere of the contact test's rejection),
// widened beyond its slack and the rounding of that test.
struct Bounds {
    double lo[3];
    double hi[3];
};

// Kept from one step to the next and sized at start-up, so that the scan cycle does not
// allocate. A step whose candidates do not fit, or with an object whose box is not a
// number, tests every pair instead.
struct BroadPhase {
    std::unique_ptr<Bounds[]> bounds;
    std::unique_ptr<int32_t[]> order;   // the objects that can touch anything, by lo[0]
    std::unique_ptr<Bounds[]> sorted;   // their bounds in that order, for the sweep to read in turn
    int32_t ordered = 0;                // how many of them; 0 until the first sweep
    std::unique_ptr<int32_t[]> pairs;   // candidate pairs of the sweep, two indices each
    int32_t pairCapacity = 0;
    std::unique_ptr<int32_t[]> first;   // per object, where its candidates start in `lists`
    std::unique_ptr<int32_t[]> lists;   // per product, its candidates in increasing index
    int32_t objects = 0;
    bool enabled = true;

    bool reserve(int32_t n) {
        if (n <= objects) return true;
        const auto count = static_cast<std::size_t>(n);
        const std::size_t capacity = 16 * count + 1024;
        bounds.reset(new (std::nothrow) Bounds[count]);
        order.reset(new (std::nothrow) int32_t[count]);
        sorted.reset(new (std::nothrow) Bounds[count]);
        pairs.reset(new (std::nothrow) int32_t[2 * capacity]);
        first.reset(new (std::nothrow) int32_t[count + 1]);
        lists.reset(new (std::nothrow) int32_t[2 * capacity]);
        if (!bounds || !order || !sorted || !pairs || !first || !lists) {
            objects = 0;
            pairCapacity = 0;
            return false;
        }
        objects = n;
        pairCapacity = static_cast<int32_t>(capacity);
        ordered = 0;
        return true;
    }
};

BroadPhase broadPhase;

constexpr double kBoundsSlack = 1e-5;       // relative to the radius
constexpr double kPositionSlack = 1e-9;     // relative to the distance from the origin

bool degenerateBox(const double box[6]) { return box[0] == box[3] && box[1] == box[4] && box[2] == box[5]; }

// False when the box is not a number or infinite: such an object is tested against all.
bool boundsOf(const double box[6], Bounds& b) {
    double centre[3], half2 = 0.0, far = 1.0;
    for (int k = 0; k < 3; ++k) {
        centre[k] = (box[k] + box[k + 3]) / 2.0;
        const double half = (box[k + 3] - box[k]) / 2.0;
        half2 += half * half;
        far = std::max(far, std::fabs(centre[k]));
    }
    const double radius = std::sqrt(half2) * (1.0 + kBoundsSlack) + kPositionSlack * far;
    for (int k = 0; k < 3; ++k) {
        b.lo[k] = centre[k] - radius;
        b.hi[k] = centre[k] + radius;
    }
    return std::isfinite(radius) && std::isfinite(far);
}

bool overlapAcross(const Bounds& a, const Bounds& b) {
    return a.lo[1] <= b.hi[1] && b.lo[1] <= a.hi[1] && a.lo[2] <= b.hi[2] && b.lo[2] <= a.hi[2];
}

// Keeps the order of the last step (objects move little from one step to the next) and
// restores it by insertion; a step that has turned the order over sorts it anew.
void sortByLowX(BroadPhase& bp, int32_t n) {
    const Bounds* bounds = bp.bounds.get();
    int32_t* order = bp.order.get();
    const auto lowX = [bounds](int32_t i) { return bounds[i].lo[0]; };
    int64_t moves = 0;
    for (int32_t k = 1; k < n; ++k) {
        const int32_t object = order[k];
        int32_t at = k;
        while (at > 0 && lowX(order[at - 1]) > lowX(object)) {
            order[at] = order[at - 1];
            --at;
            if (++moves > 8 * int64_t{n} + 64) {
                order[at] = object;
                std::sort(order, order + n, [&](int32_t a, int32_t b) { return lowX(a) < lowX(b); });
                return;
            }
        }
        order[at] = object;
    }
}

// Finds each product's candidates; false when the step must test every pair.
bool findCandidates(BroadPhase& bp, int32_t actors, int32_t count) {
    if (!bp.enabled || count > bp.objects) return false;
    // The objects that can touch anything: all but those whose box is a point.
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        const ActorProductEntry& e = entryOf(i);
        if (degenerateBox(e.box)) {
            bp.bounds[i] = Bounds{{1.0, 1.0, 1.0}, {0.0, 0.0, 0.0}};  // empty: never a candidate
            continue;
        }
        if (!boundsOf(e.box, bp.bounds[i])) return false;
        ++n;
    }
    // Last step's order while it holds the same objects.
    const auto candidate = [&](int32_t i) { return i < count && bp.bounds[i].lo[0] <= bp.bounds[i].hi[0]; };
    bool kept = bp.ordered == n;
    for (int32_t k = 0; kept && k < n; ++k) kept = candidate(bp.order[k]);
    if (!kept) {
        int32_t k = 0;
        for (int32_t i = 0; i < count; ++i)
            if (candidate(i)) bp.order[k++] = i;
        bp.ordered = n;
    }
    sortByLowX(bp, n);

    // The sweep: each object against those that start along X before it ends.
    int32_t found = 0;
    std::fill(bp.first.get(), bp.first.get() + count + 1, 0);
    const Bounds* sorted = bp.sorted.get();
    for (int32_t k = 0; k < n; ++k) bp.sorted[k] = bp.bounds[bp.order[k]];
    for (int32_t k = 0; k < n; ++k) {
        const int32_t a = bp.order[k];
        const Bounds& ba = sorted[k];
        for (int32_t m = k + 1; m < n && sorted[m].lo[0] <= ba.hi[0]; ++m) {
            if (!overlapAcross(ba, sorted[m])) continue;
            const int32_t b = bp.order[m];
            if (a < actors && b < actors) continue;
            if (found == bp.pairCapacity) return false;
            bp.pairs[2 * found] = a;
            bp.pairs[2 * found + 1] = b;
            ++found;
            if (a >= actors) ++bp.first[a + 1];
            if (b >= actors) ++bp.first[b + 1];
        }
    }
    // Each product's list (first[] serves as the cursor), then in increasing index.
    for (int32_t i = 0; i < count; ++i) bp.first[i + 1] += bp.first[i];
    for (int32_t f = 0; f < found; ++f) {
        const int32_t a = bp.pairs[2 * f], b = bp.pairs[2 * f + 1];
        if (a >= actors) bp.lists[bp.first[a]++] = b;
        if (b >= actors) bp.lists[bp.first[b]++] = a;
    }
    // first[i] now holds the end of i's list, which is where i + 1's starts.
    for (int32_t i = count; i > 0; --i) bp.first[i] = bp.first[i - 1];
    bp.first[0] = 0;
    for (int32_t i = actors; i < count; ++i) std::sort(bp.lists.get() + bp.first[i], bp.lists.get() + bp.first[i + 1]);
    return true;
}

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

// The objects a product may touch, in increasing index; `list` null: every object.
struct Candidates {
    const int32_t* list;
    int32_t size;
};

bool hasFilter([[maybe_unused]] const ActorProductEntry& product) {
#if QV_REVISION == 3
    return product.contactFilter != nullptr;
#else
    return false;
#endif
}

void stepProduct(int32_t p, int32_t actors, int32_t count, bool pairsKept, Candidates candidates) {
    const ActorProductEntry& product = entryOf(p);
    callModel(product, p, other, 0);
    PairCursor cursor(pairList, p, pairsKept);
    // A filter is asked about every present object, candidate or not.
    const bool everyObject = candidates.list == nullptr || hasFilter(product);
    const int32_t n = everyObject ? count : candidates.size;
    int32_t next = 0;  // the first candidate not passed yet
    for (int32_t k = 0; k < n; ++k) {
        const int32_t o = everyObject ? k : candidates.list[k];
        if (o == p) continue;
        const ActorProductEntry& candidate = entryOf(o);
        if (!present(candidate)) continue;
        if (!wantsContact(product, p, o, candidate)) continue;
        bool touching;
        if (o < p && o >= actors) {
            // A product stepped earlier in this call: its test decided the pair.
            touching = cursor.contains(o);
        } else {
            bool mayTouch = true;
            if (everyObject && candidates.list != nullptr) {
                while (next < candidates.size && candidates.list[next] < o) ++next;
                mayTouch = next < candidates.size && candidates.list[next] == o;
            }
            touching = mayTouch && objectsIntersect(o, p);
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
    // Without the placement cache or the broad phase every contact test computes its
    // placements, or every pair is tested: slower, the same results.
    static_cast<void>(reserveContactCache(objects));
    static_cast<void>(broadPhase.reserve(objects));
    return pairList.reserveObjects(objects) && pairList.reservePairs(objects);
}

void useBroadPhase(bool enabled) { broadPhase.enabled = enabled;
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
    const bool broad = actors < count && qv::findCandidates(qv::broadPhase, actors, count);
    for (int32_t p = actors; p < count; ++p) {
        myself = p;
        if (!qv::present(qv::entryOf(p))) continue;
        qv::Candidates candidates{nullptr, 0};
        if (broad) {
            const int32_t start = qv::broadPhase.first[p];
            candidates = {qv::broadPhase.lists.get() + start, qv::broadPhase.first[p + 1] - start};
        }
        qv::stepProduct(p, actors, count, pairsKept, candidates);
    }
    myself = count;
}
