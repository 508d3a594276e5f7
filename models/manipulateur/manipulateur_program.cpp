// The manipulateur program: the manipulator cell as the top model, in revision 1.
#include <array>

#include "models/glue/program.h"
#include "models/manipulateur/cell.h"

namespace qv::models {
namespace {

// Absolute first slots (boolean, integer) of the instances with TIME variables: the four
// cylinders and the pick-and-place sequence (the model's booleans start at slot 5, its
// integers at 422; the instance tree places them).
struct InstanceBase {
    int32_t bools;
    int32_t ints;
};
constexpr InstanceBase kCylinders[] = {{59, 426}, {79, 454}, {99, 482}, {139, 519}};  // PX, VR, GX, VZ
constexpr int32_t kPickPlaceInts = 510;

// The first integer slot of each TIME variable and timer: TTL, Tinertie and the four ET.
constexpr int32_t kCylinderTimes[] = {0, 4, 8, 13, 18, 23};
constexpr int32_t kPickPlaceTimes[] = {0, 5};  // t1, TTL
// A cylinder's `defaut` array header holds its length.
constexpr int32_t kFaultArrayLength = 10;

constexpr auto kInitialValues = [] {
    std::array<InitialValue, std::size(kCylinders) * (std::size(kCylinderTimes) + 1) + std::size(kPickPlaceTimes)> v{};
    std::size_t n = 0;
    for (const InstanceBase& c : kCylinders) {
        for (int32_t t : kCylinderTimes) v[n++] = {kAreaInt, c.ints + t, kTimeHeaderValue};
        v[n++] = {kAreaBool, c.bools, kFaultArrayLength};
    }
    for (int32_t t : kPickPlaceTimes) v[n++] = {kAreaInt, kPickPlaceInts + t, kTimeHeaderValue};
    return v;
}();

}  // namespace

constinit const Program kProgram = {
    .slots = {167, 551, 17, 53},
    .signature = -2003992975,
    .generationTime = 1205920225,
    .taskname = "manipulateur.exe",
    .period = kPeriod,
    .interface = &kManipulateur.interface,
    .intInterface = &kManipulateur.intInterface,
    .topNum = &manipulateur__num,
    .init = sfp__manipulateur_init,
    .step = sfp__manipulateur,
    .initialValues = kInitialValues,
};

}  // namespace qv::models
