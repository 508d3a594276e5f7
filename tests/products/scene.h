// A scene for the geometry and product tests and benchmarks: the model side of the object
// table (the table, its counts, `self`) and an image of four plain buffers that `mem`
// points into. Each object owns 2 booleans, 2 integers (status first), 17 reals (the
// matrix first) and 1 character.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/qv_geometry.h"
#include "products/qv_products.h"

namespace qvtest {

inline constexpr int32_t kSceneCapacity = 10240;
inline constexpr int32_t kSceneRealsPerObject = 17;

using ModelFunction = int32_t (*)(void);

struct SceneObject {
    int32_t kind = 10;
    ModelFunction model = nullptr;
    ModelFunction filter = nullptr;  // revision 3
    int32_t initialStatus = QV_PRESENT;
    int32_t objectNumber = 0;
};

// Fills the table with `actors` followed by `products`, points `mem` at fresh buffers and
// runs produitsInit. Every object then holds the unit matrix.
void buildScene(const std::vector<SceneObject>& actors, const std::vector<SceneObject>& products);

// An empty table (all counts 0), as the deliverables have.
void buildEmptyScene();

// Direct access to an object's slots, as a supervisor has it.
QV_Matrix storedMatrix(int32_t index);
void storeMatrix(int32_t index, const QV_Matrix& m);
float* realSlotOf(int32_t index, int32_t k);
int32_t* statusSlotOf(int32_t index);
QV_Bases basesOfObject(int32_t index);

// An unrotated box with its origin corner at (x, y, z) and sizes (dx, dy, dz).
QV_Matrix boxMatrix(double x, double y, double z, double dx, double dy, double dz);
// Places an unrotated box in an object's slots.
void placeBox(int32_t index, double x, double y, double z, double dx, double dy, double dz);

// The raw bytes of the four areas (to prove that nothing was written).
std::vector<unsigned char> imageBytes();

}  // namespace qvtest
