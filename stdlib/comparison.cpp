// Comparison: EQ, NE, GT, GE, LT and LE. Each type is compared by its key (values.h):
// the value of its width, its tick count, its element 0, or the order of strings.
#include "stdlib/comparison.h"

#include "stdlib/values.h"

namespace qv::lib {
namespace {

// The built-in operators give the IEEE rules for REAL: a NaN is unequal to everything
// and neither greater nor smaller than anything.
template <typename K>
int isEqual(K a, K b) {
    LIBFB_ERR = 0;
    return a == b ? 1 : 0;
}
template <typename K>
int isNotEqual(K a, K b) {
    LIBFB_ERR = 0;
    return a != b ? 1 : 0;
}
template <typename K>
int isGreater(K a, K b) {
    LIBFB_ERR = 0;
    return a > b ? 1 : 0;
}
template <typename K>
int isGreaterOrEqual(K a, K b) {
    LIBFB_ERR = 0;
    return a >= b ? 1 : 0;
}
template <typename K>
int isLess(K a, K b) {
    LIBFB_ERR = 0;
    return a < b ? 1 : 0;
}
template <typename K>
int isLessOrEqual(K a, K b) {
    LIBFB_ERR = 0;
    return a <= b ? 1 : 0;
}

}  // namespace
}  // namespace qv::lib

using namespace qv::lib;

extern "C" {

int eq_sint_OUT(int32_t IN1, int32_t IN2) { return isEqual(IN1, IN2); }
int ne_sint_OUT(int32_t IN1, int32_t IN2) { return isNotEqual(IN1, IN2); }
int gt_sint_OUT(int32_t IN1, int32_t IN2) { return isGreater(IN1, IN2); }
int ge_sint_OUT(int32_t IN1, int32_t IN2) { return isGreaterOrEqual(IN1, IN2); }
int lt_sint_OUT(int32_t IN1, int32_t IN2) { return isLess(IN1, IN2); }
int le_sint_OUT(int32_t IN1, int32_t IN2) { return isLessOrEqual(IN1, IN2); }

int eq_int_OUT(int32_t IN1, int32_t IN2) { return isEqual(IN1, IN2); }
int ne_int_OUT(int32_t IN1, int32_t IN2) { return isNotEqual(IN1, IN2); }
int gt_int_OUT(int32_t IN1, int32_t IN2) { return isGreater(IN1, IN2); }
int ge_int_OUT(int32_t IN1, int32_t IN2) { return isGreaterOrEqual(IN1, IN2); }
int lt_int_OUT(int32_t IN1, int32_t IN2) { return isLess(IN1, IN2); }
int le_int_OUT(int32_t IN1, int32_t IN2) { return isLessOrEqual(IN1, IN2); }

int eq_dint_OUT(int32_t IN1, int32_t IN2) { return isEqual(IN1, IN2); }
int ne_dint_OUT(int32_t IN1, int32_t IN2) { return isNotEqual(IN1, IN2); }
int gt_dint_OUT(int32_t IN1, int32_t IN2) { return isGreater(IN1, IN2); }
int ge_dint_OUT(int32_t IN1, int32_t IN2) { return isGreaterOrEqual(IN1, IN2); }
int lt_dint_OUT(int32_t IN1, int32_t IN2) { return isLess(IN1, IN2); }
int le_dint_OUT(int32_t IN1, int32_t IN2) { return isLessOrEqual(IN1, IN2); }

int eq_real_OUT(float IN1, float IN2) { return isEqual(IN1, IN2); }
int ne_real_OUT(float IN1, float IN2) { return isNotEqual(IN1, IN2); }
int gt_real_OUT(float IN1, float IN2) { return isGreater(IN1, IN2); }
int ge_real_OUT(float IN1, float IN2) { return isGreaterOrEqual(IN1, IN2); }
int lt_real_OUT(float IN1, float IN2) { return isLess(IN1, IN2); }
int le_real_OUT(float IN1, float IN2) { return isLessOrEqual(IN1, IN2); }

int eq_bool_OUT(int IN1, int IN2) { return isEqual(byteKey(IN1), byteKey(IN2)); }
int ne_bool_OUT(int IN1, int IN2) { return isNotEqual(byteKey(IN1), byteKey(IN2)); }
int gt_bool_OUT(int IN1, int IN2) { return isGreater(byteKey(IN1), byteKey(IN2)); }
int ge_bool_OUT(int IN1, int IN2) { return isGreaterOrEqual(byteKey(IN1), byteKey(IN2)); }
int lt_bool_OUT(int IN1, int IN2) { return isLess(byteKey(IN1), byteKey(IN2)); }
int le_bool_OUT(int IN1, int IN2) { return isLessOrEqual(byteKey(IN1), byteKey(IN2)); }

int eq_byte_OUT(int32_t IN1, int32_t IN2) { return isEqual(byteKey(IN1), byteKey(IN2)); }
int ne_byte_OUT(int32_t IN1, int32_t IN2) { return isNotEqual(byteKey(IN1), byteKey(IN2)); }
int gt_byte_OUT(int32_t IN1, int32_t IN2) { return isGreater(byteKey(IN1), byteKey(IN2)); }
int ge_byte_OUT(int32_t IN1, int32_t IN2) { return isGreaterOrEqual(byteKey(IN1), byteKey(IN2)); }
int lt_byte_OUT(int32_t IN1, int32_t IN2) { return isLess(byteKey(IN1), byteKey(IN2)); }
int le_byte_OUT(int32_t IN1, int32_t IN2) { return isLessOrEqual(byteKey(IN1), byteKey(IN2)); }

int eq_word_OUT(int32_t IN1, int32_t IN2) { return isEqual(wordKey(IN1), wordKey(IN2)); }
int ne_word_OUT(int32_t IN1, int32_t IN2) { return isNotEqual(wordKey(IN1), wordKey(IN2)); }
int gt_word_OUT(int32_t IN1, int32_t IN2) { return isGreater(wordKey(IN1), wordKey(IN2)); }
int ge_word_OUT(int32_t IN1, int32_t IN2) { return isGreaterOrEqual(wordKey(IN1), wordKey(IN2)); }
int lt_word_OUT(int32_t IN1, int32_t IN2) { return isLess(wordKey(IN1), wordKey(IN2)); }
int le_word_OUT(int32_t IN1, int32_t IN2) { return isLessOrEqual(wordKey(IN1), wordKey(IN2)); }

int eq_dword_OUT(uint32_t IN1, uint32_t IN2) { return isEqual(IN1, IN2); }
int ne_dword_OUT(uint32_t IN1, uint32_t IN2) { return isNotEqual(IN1, IN2); }
int gt_dword_OUT(uint32_t IN1, uint32_t IN2) { return isGreater(IN1, IN2); }
int ge_dword_OUT(uint32_t IN1, uint32_t IN2) { return isGreaterOrEqual(IN1, IN2); }
int lt_dword_OUT(uint32_t IN1, uint32_t IN2) { return isLess(IN1, IN2); }
int le_dword_OUT(uint32_t IN1, uint32_t IN2) { return isLessOrEqual(IN1, IN2); }

int eq_time_OUT(const int32_t* IN1, const int32_t* IN2) { return isEqual(timeKey(IN1), timeKey(IN2)); }
int ne_time_OUT(const int32_t* IN1, const int32_t* IN2) { return isNotEqual(timeKey(IN1), timeKey(IN2)); }
int gt_time_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreater(timeKey(IN1), timeKey(IN2)); }
int ge_time_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreaterOrEqual(timeKey(IN1), timeKey(IN2)); }
int lt_time_OUT(const int32_t* IN1, const int32_t* IN2) { return isLess(timeKey(IN1), timeKey(IN2)); }
int le_time_OUT(const int32_t* IN1, const int32_t* IN2) { return isLessOrEqual(timeKey(IN1), timeKey(IN2)); }

int eq_date_OUT(const int32_t* IN1, const int32_t* IN2) { return isEqual(dayKey(IN1), dayKey(IN2)); }
int ne_date_OUT(const int32_t* IN1, const int32_t* IN2) { return isNotEqual(dayKey(IN1), dayKey(IN2)); }
int gt_date_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreater(dayKey(IN1), dayKey(IN2)); }
int ge_date_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreaterOrEqual(dayKey(IN1), dayKey(IN2)); }
int lt_date_OUT(const int32_t* IN1, const int32_t* IN2) { return isLess(dayKey(IN1), dayKey(IN2)); }
int le_date_OUT(const int32_t* IN1, const int32_t* IN2) { return isLessOrEqual(dayKey(IN1), dayKey(IN2)); }

int eq_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return isEqual(timeKey(IN1), timeKey(IN2)); }
int ne_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return isNotEqual(timeKey(IN1), timeKey(IN2)); }
int gt_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreater(timeKey(IN1), timeKey(IN2)); }
int ge_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreaterOrEqual(timeKey(IN1), timeKey(IN2)); }
int lt_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return isLess(timeKey(IN1), timeKey(IN2)); }
int le_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return isLessOrEqual(timeKey(IN1), timeKey(IN2)); }

int eq_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return isEqual(dayKey(IN1), dayKey(IN2)); }
int ne_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return isNotEqual(dayKey(IN1), dayKey(IN2)); }
int gt_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreater(dayKey(IN1), dayKey(IN2)); }
int ge_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return isGreaterOrEqual(dayKey(IN1), dayKey(IN2)); }
int lt_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return isLess(dayKey(IN1), dayKey(IN2)); }
int le_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return isLessOrEqual(dayKey(IN1), dayKey(IN2)); }

// Strings: equality needs no order; the others compare by the order of strings.
int eq_str_OUT(const unsigned char* IN1, const unsigned char* IN2) { return isEqual(equalStrings(IN1, IN2), true); }
int ne_str_OUT(const unsigned char* IN1, const unsigned char* IN2) { return isNotEqual(equalStrings(IN1, IN2), true); }
int gt_str_OUT(const unsigned char* IN1, const unsigned char* IN2) { return isGreater(compareStrings(IN1, IN2), 0); }
int ge_str_OUT(const unsigned char* IN1, const unsigned char* IN2) { return isGreaterOrEqual(compareStrings(IN1, IN2), 0); }
int lt_str_OUT(const unsigned char* IN1, const unsigned char* IN2) { return isLess(compareStrings(IN1, IN2), 0); }
int le_str_OUT(const unsigned char* IN1, const unsigned char* IN2) { return isLessOrEqual(compareStrings(IN1, IN2), 0); }

}  // extern "C"
