// I/O hooks: where a build connected to real inputs and outputs would exchange them, and
// the array transfers such an exchange uses. The programs keep their inputs and outputs
// in the image, so the hooks do nothing.
//
// A transfer table holds slot addresses; entries 0 and 1 are not used, so the element
// for index i is entry i + 2 (entry i + 3 for QV_write_character_array). A null entry is
// skipped. Only current values move; old values and flags stay, so an input written
// while its variable is forced is undone by the variable's next post.
#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

namespace qv {
namespace {

constexpr int kFirstEntry = 2;
constexpr int kFirstCharacterOutputEntry = 3;

template <typename Transfer>
void forEachEntry(unsigned char** table, int n, int first, Transfer&& transfer) {
    if (table == nullptr) return;
    for (int i = 0; i < n; ++i) {
        if (unsigned char* slot = table[i + first]) transfer(i, slot);
    }
}

}  // namespace
}  // namespace qv

extern "C" {

void QV_init_ios(unsigned char* /*image*/) {}
int QV_read_inputs(unsigned char* /*image*/) { return 1; }
int QV_write_outputs(unsigned char* /*image*/) { return 1; }
void QV_wait_mutex(void) {}
void QV_release_mutex(void) {}

void QV_read_boolean_array(unsigned char** table, unsigned char* bytes, int n) {
    qv::forEachEntry(table, n, qv::kFirstEntry, [bytes](int i, unsigned char* slot) {
        const uint8_t bit = bytes[i] & qv::kBoolCurrent;
        *slot = static_cast<uint8_t>((*slot & ~qv::kBoolCurrent) | bit);
    });
}

void QV_write_boolean_array(unsigned char** table, unsigned char* bytes, int n) {
    qv::forEachEntry(table, n, qv::kFirstEntry,
                     [bytes](int i, unsigned char* slot) { bytes[i] = *slot & qv::kBoolCurrent; });
}

void QV_read_integer_array(unsigned char** table, int32_t* values, int n) {
    qv::forEachEntry(table, n, qv::kFirstEntry,
                     [values](int i, unsigned char* slot) { *reinterpret_cast<int32_t*>(slot) = values[i]; });
}

void QV_write_integer_array(unsigned char** table, int32_t* values, int n) {
    qv::forEachEntry(table, n, qv::kFirstEntry,
                     [values](int i, unsigned char* slot) { values[i] = *reinterpret_cast<int32_t*>(slot); });
}

void QV_read_float_array(unsigned char** table, float* values, int n) {
    qv::forEachEntry(table, n, qv::kFirstEntry,
                     [values](int i, unsigned char* slot) { *reinterpret_cast<float*>(slot) = values[i]; });
}

void QV_write_float_array(unsigned char** table, float* values, int n) {
    qv::forEachEntry(table, n, qv::kFirstEntry,
                     [values](int i, unsigned char* slot) { values[i] = *reinterpret_cast<float*>(slot); });
}

void QV_read_character_array(unsigned char** table, unsigned char* bytes, int n) {
    qv::forEachEntry(table, n, qv::kFirstEntry, [bytes](int i, unsigned char* slot) { *slot = bytes[i]; });
}

void QV_write_character_array(unsigned char** table, unsigned char* bytes, int n) {
    qv::forEachEntry(table, n, qv::kFirstCharacterOutputEntry,
                     [bytes](int i, unsigned char* slot) { bytes[i] = *slot; });
}

}  // extern "C"
