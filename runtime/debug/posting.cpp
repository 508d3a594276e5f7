// Posting and freezing single variables: the forced flag of a slot pins its value.
#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

namespace qv {
namespace {
[[maybe_unused]] unsigned char* postBool(unsigned char* slot) {
    if (*slot & kBoolForced) *slot = static_cast<uint8_t>((*slot & ~kBoolCurrent) | ((*slot & kBoolOld) >> 1));
    return slot;
}
template <typename Word>
[[maybe_unused]] Word* postWord(Word* slot) {
    if (reinterpret_cast<unsigned char*>(slot)[kIntFlagsOffset] & kIntForced) slot[0] = slot[1];
    return slot;
}
[[maybe_unused]] unsigned char* postChar(unsigned char* slot) {
    if (slot[kCharFlagsOffset] & kCharForced) slot[0] = slot[kCharOldOffset];
    return slot;
}
}  // namespace
}  // namespace qv

extern "C" {

#if QV_REVISION != 1
unsigned char* QV_post_bool(unsigned char* slot) { return qv::postBool(slot); }
int32_t* QV_post_int(int32_t* slot) { return qv::postWord(slot); }
float* QV_post_float(float* slot) { return qv::postWord(slot); }
unsigned char* QV_post_char(unsigned char* slot) { return qv::postChar(slot); }
unsigned char* QV_freeze_bool(unsigned char* slot) { return qv::postBool(slot); }
int32_t* QV_freeze_int(int32_t* slot) { return qv::postWord(slot); }
float* QV_freeze_float(float* slot) { return qv::postWord(slot); }
unsigned char* QV_freeze_char(unsigned char* slot) { return qv::postChar(slot); }
#else
// Revision 1 freezes with change detection; until those services exist, a freeze of
// the status slot is what announces a status change.
unsigned char* QV_freeze_bool(unsigned char* slot) {
    if (!(*slot & qv::r1::kBoolForced))
        *slot = static_cast<uint8_t>((*slot & ~qv::kBoolOld) | ((*slot & qv::kBoolCurrent) << 1));
    return slot;
}
int32_t* QV_freeze_int(int32_t* slot) {
    if (slot[0] != slot[1]) {
        if (slot == execstatus) QV_hook(slot);
        slot[1] = slot[0];
    }
    return slot;
}
#endif

}  // extern "C"
