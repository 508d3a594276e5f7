// A model written in C++ on the SDK's C++ face, compiled (not run) so that the table's
// macros stay valid C++: variables of each type, an array, an actor and a product.
#include "sdk/qv_model.hpp"

namespace {
int32_t still() { return 0; }
}  // namespace

#define CPP_TABLE(VARIABLE, OBJECT)                                   \
    VARIABLE(Go, BOOL, INPUT, 0, 1, "")                               \
    VARIABLE(Count, DINT, OUTPUT, 0, 1, "")                           \
    VARIABLE(Speeds, REAL, INTERNAL, 0.5, 3, "three speeds")          \
    OBJECT(table, ACTOR, 10, 1, "#808080", still, nullptr, 1)         \
    OBJECT(item, PRODUCT, 20, 2, "#ff0000", still, nullptr, 0)

QV_DECLARE_VARIABLES(CPP_TABLE)

namespace {
int32_t count() {
    using namespace qv::sdk;
    if (get(Go)) set(Count, get(Count) + 1);
    set(element(Speeds, 2), get(element(Speeds, 0)) + static_cast<float>(QV_OBJECT_item));
    return 0;
}
}  // namespace

QV_MODEL(cpp_model, CPP_TABLE, .step = count, .signature = 1)
