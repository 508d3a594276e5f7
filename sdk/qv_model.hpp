// The C++ face of sdk/qv_model.h: the same table and the same two macros, with overloads
// that read and write a variable whatever its type. A write publishes the value, as the C
// helpers do.
#pragma once

#include "sdk/qv_model.h"

namespace qv::sdk {

inline bool get(const unsigned char* slot) { return qv_bool(slot) != 0; }
inline int32_t get(const int32_t* slot) { return *slot; }
inline float get(const float* slot) { return *slot; }

inline void set(unsigned char* slot, bool value) { qv_set_bool(slot, value ? 1 : 0); }
inline void set(int32_t* slot, int32_t value) { qv_set_int(slot, value); }
inline void set(float* slot, float value) { qv_set_real(slot, value); }

// Element k of an array variable.
inline unsigned char* element(unsigned char* first, int32_t k) { return qv_bool_element(first, k); }
inline int32_t* element(int32_t* first, int32_t k) { return qv_int_element(first, k); }
inline float* element(float* first, int32_t k) { return qv_real_element(first, k); }

}  // namespace qv::sdk
