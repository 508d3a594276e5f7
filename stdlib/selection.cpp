// Selection: SEL, MUX, MAX, MIN and LIMIT. The scalar types return the chosen argument;
// the array-shaped types return a new temporary copy of it, never the input itself.
#include "stdlib/selection.h"

#include "stdlib/values.h"

namespace qv::lib {
namespace {

template <typename T>
T choose(int g, T in0, T in1) {
    LIBFB_ERR = 0;
    return isTrue(g) ? in1 : in0;
}

// K is read unsigned: a negative K is out of range like any K above 9.
template <typename T>
T multiplex(int32_t k, int32_t code, T in0, T in1, T in2, T in3, T in4, T in5, T in6, T in7, T in8, T in9) {
    LIBFB_ERR = 0;
    switch (static_cast<uint32_t>(k)) {
        case 0: return in0;
        case 1: return in1;
        case 2: return in2;
        case 3: return in3;
        case 4: return in4;
        case 5: return in5;
        case 6: return in6;
        case 7: return in7;
        case 8: return in8;
        case 9: return in9;
        default: break;
    }
    LIBFB_ERR = code;
    return in0;
}

// On a tie IN1 wins: IN2 only when it is strictly larger (MAX) or smaller (MIN).
template <typename T, typename Key>
T larger(T in1, T in2, Key key) {
    LIBFB_ERR = 0;
    return key(in1) < key(in2) ? in2 : in1;
}

template <typename T, typename Key>
T smaller(T in1, T in2, Key key) {
    LIBFB_ERR = 0;
    return key(in2) < key(in1) ? in2 : in1;
}

enum class Bound { kMinimum, kInput, kMaximum };

// Which of MN, IN and MX LIMIT returns. Bounds given the wrong way round swap roles: IN
// is then held between MX below and MN above.
template <typename K>
Bound limitChoice(K mn, K in, K mx) {
    if (mn < mx) {
        if (in < mn) return Bound::kMinimum;
        if (in > mx) return Bound::kMaximum;
        return Bound::kInput;
    }
    if (in > mn) return Bound::kMinimum;
    if (in <= mx) return Bound::kMaximum;
    return Bound::kInput;
}

template <typename T, typename Key>
T limited(T mn, T in, T mx, Key key) {
    LIBFB_ERR = 0;
    switch (limitChoice(key(mn), key(in), key(mx))) {
        case Bound::kMinimum: return mn;
        case Bound::kMaximum: return mx;
        case Bound::kInput: break;
    }
    return in;
}

int32_t sameInt(int32_t value) { return value; }
uint32_t sameDword(uint32_t value) { return value; }
float sameReal(float value) { return value; }

}  // namespace
}  // namespace qv::lib

using namespace qv::lib;

#define QV_MUX_INPUTS(T) T IN0, T IN1, T IN2, T IN3, T IN4, T IN5, T IN6, T IN7, T IN8, T IN9
#define QV_MUX_LIST IN0, IN1, IN2, IN3, IN4, IN5, IN6, IN7, IN8, IN9

extern "C" {

// ---- SEL --------------------------------------------------------------------------------

int32_t sel_sint_OUT(int G, int32_t IN0, int32_t IN1) { return choose(G, IN0, IN1); }
int32_t sel_int_OUT(int G, int32_t IN0, int32_t IN1) { return choose(G, IN0, IN1); }
int32_t sel_dint_OUT(int G, int32_t IN0, int32_t IN1) { return choose(G, IN0, IN1); }
float sel_real_OUT(int G, float IN0, float IN1) { return choose(G, IN0, IN1); }
unsigned char* sel_str_OUT(int G, const unsigned char* IN0, const unsigned char* IN1) {
    return newStringCopy(choose(G, IN0, IN1));
}
int sel_bool_OUT(int G, int IN0, int IN1) { return choose(G, IN0, IN1); }
int32_t sel_byte_OUT(int G, int32_t IN0, int32_t IN1) { return choose(G, IN0, IN1); }
int32_t sel_word_OUT(int G, int32_t IN0, int32_t IN1) { return choose(G, IN0, IN1); }
uint32_t sel_dword_OUT(int G, uint32_t IN0, uint32_t IN1) { return choose(G, IN0, IN1); }
int32_t* sel_time_OUT(int G, const int32_t* IN0, const int32_t* IN1) { return newTimeCopy(choose(G, IN0, IN1)); }
int32_t* sel_date_OUT(int G, const int32_t* IN0, const int32_t* IN1) { return newDayCopy(choose(G, IN0, IN1)); }
int32_t* sel_dt_OUT(int G, const int32_t* IN0, const int32_t* IN1) { return newTimeCopy(choose(G, IN0, IN1)); }
int32_t* sel_tod_OUT(int G, const int32_t* IN0, const int32_t* IN1) { return newDayCopy(choose(G, IN0, IN1)); }

// ---- MUX --------------------------------------------------------------------------------

int mux_bool_OUT(int32_t K, QV_MUX_INPUTS(int)) { return multiplex<int>(K, 1030, QV_MUX_LIST); }
int32_t mux_byte_OUT(int32_t K, QV_MUX_INPUTS(int32_t)) { return multiplex<int32_t>(K, 1031, QV_MUX_LIST); }
int32_t* mux_date_OUT(int32_t K, QV_MUX_INPUTS(const int32_t*)) {
    return newDayCopy(multiplex<const int32_t*>(K, 1032, QV_MUX_LIST));
}
int32_t mux_dint_OUT(int32_t K, QV_MUX_INPUTS(int32_t)) { return multiplex<int32_t>(K, 1033, QV_MUX_LIST); }
int32_t* mux_dt_OUT(int32_t K, QV_MUX_INPUTS(const int32_t*)) {
    return newTimeCopy(multiplex<const int32_t*>(K, 1034, QV_MUX_LIST));
}
uint32_t mux_dword_OUT(int32_t K, QV_MUX_INPUTS(uint32_t)) { return multiplex<uint32_t>(K, 1035, QV_MUX_LIST); }
int32_t mux_int_OUT(int32_t K, QV_MUX_INPUTS(int32_t)) { return multiplex<int32_t>(K, 1036, QV_MUX_LIST); }
float mux_real_OUT(int32_t K, QV_MUX_INPUTS(float)) { return multiplex<float>(K, 1037, QV_MUX_LIST); }
int32_t mux_sint_OUT(int32_t K, QV_MUX_INPUTS(int32_t)) { return multiplex<int32_t>(K, 1038, QV_MUX_LIST); }
unsigned char* mux_str_OUT(int32_t K, QV_MUX_INPUTS(const unsigned char*)) {
    return newStringCopy(multiplex<const unsigned char*>(K, 1039, QV_MUX_LIST));
}
int32_t* mux_time_OUT(int32_t K, QV_MUX_INPUTS(const int32_t*)) {
    return newTimeCopy(multiplex<const int32_t*>(K, 1040, QV_MUX_LIST));
}
int32_t* mux_tod_OUT(int32_t K, QV_MUX_INPUTS(const int32_t*)) {
    return newDayCopy(multiplex<const int32_t*>(K, 1041, QV_MUX_LIST));
}
int32_t mux_word_OUT(int32_t K, QV_MUX_INPUTS(int32_t)) { return multiplex<int32_t>(K, 1042, QV_MUX_LIST); }

// ---- MAX ----------------------------------------------------------------------------------

int32_t max_sint_OUT(int32_t IN1, int32_t IN2) { return larger(IN1, IN2, sameInt); }
int32_t max_int_OUT(int32_t IN1, int32_t IN2) { return larger(IN1, IN2, sameInt); }
int32_t max_dint_OUT(int32_t IN1, int32_t IN2) { return larger(IN1, IN2, sameInt); }
// A NaN in either input makes the result IN2.
float max_real_OUT(float IN1, float IN2) {
    LIBFB_ERR = 0;
    return IN1 >= IN2 ? IN1 : IN2;
}
unsigned char* max_str_OUT(const unsigned char* IN1, const unsigned char* IN2) {
    LIBFB_ERR = 0;
    const StringOrder o = orderOfStrings(IN1, IN2);
    return newStringCopy(o.order >= 0 ? IN1 : IN2, o.shared);
}
int32_t max_byte_OUT(int32_t IN1, int32_t IN2) { return larger(IN1, IN2, byteKey); }
int32_t max_word_OUT(int32_t IN1, int32_t IN2) { return larger(IN1, IN2, wordKey); }
uint32_t max_dword_OUT(uint32_t IN1, uint32_t IN2) { return larger(IN1, IN2, sameDword); }
int32_t* max_time_OUT(const int32_t* IN1, const int32_t* IN2) { return newTimeCopy(larger(IN1, IN2, timeKey)); }
int32_t* max_date_OUT(const int32_t* IN1, const int32_t* IN2) { return newDayCopy(larger(IN1, IN2, dayKey)); }
int32_t* max_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return newTimeCopy(larger(IN1, IN2, timeKey)); }
int32_t* max_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return newDayCopy(larger(IN1, IN2, dayKey)); }

// ---- MIN ----------------------------------------------------------------------------------

int32_t min_sint_OUT(int32_t IN1, int32_t IN2) { return smaller(IN1, IN2, sameInt); }
int32_t min_int_OUT(int32_t IN1, int32_t IN2) { return smaller(IN1, IN2, sameInt); }
int32_t min_dint_OUT(int32_t IN1, int32_t IN2) { return smaller(IN1, IN2, sameInt); }
float min_real_OUT(float IN1, float IN2) {
    LIBFB_ERR = 0;
    return IN2 >= IN1 ? IN1 : IN2;
}
unsigned char* min_str_OUT(const unsigned char* IN1, const unsigned char* IN2) {
    LIBFB_ERR = 0;
    const StringOrder o = orderOfStrings(IN1, IN2);
    return newStringCopy(o.order <= 0 ? IN1 : IN2, o.shared);
}
int32_t min_byte_OUT(int32_t IN1, int32_t IN2) { return smaller(IN1, IN2, byteKey); }
int32_t min_word_OUT(int32_t IN1, int32_t IN2) { return smaller(IN1, IN2, wordKey); }
uint32_t min_dword_OUT(uint32_t IN1, uint32_t IN2) { return smaller(IN1, IN2, sameDword); }
int32_t* min_time_OUT(const int32_t* IN1, const int32_t* IN2) { return newTimeCopy(smaller(IN1, IN2, timeKey)); }
int32_t* min_date_OUT(const int32_t* IN1, const int32_t* IN2) { return newDayCopy(smaller(IN1, IN2, dayKey)); }
int32_t* min_dt_OUT(const int32_t* IN1, const int32_t* IN2) { return newTimeCopy(smaller(IN1, IN2, timeKey)); }
int32_t* min_tod_OUT(const int32_t* IN1, const int32_t* IN2) { return newDayCopy(smaller(IN1, IN2, dayKey)); }

// ---- LIMIT --------------------------------------------------------------------------------

int32_t limit_sint_OUT(int32_t MN, int32_t IN, int32_t MX) { return limited(MN, IN, MX, sameInt); }
int32_t limit_int_OUT(int32_t MN, int32_t IN, int32_t MX) { return limited(MN, IN, MX, sameInt); }
int32_t limit_dint_OUT(int32_t MN, int32_t IN, int32_t MX) { return limited(MN, IN, MX, sameInt); }
float limit_real_OUT(float MN, float IN, float MX) { return limited(MN, IN, MX, sameReal); }
// Built from MAX and MIN, so the intermediate string takes a temporary of its own.
unsigned char* limit_str_OUT(const unsigned char* MN, const unsigned char* IN, const unsigned char* MX) {
    const bool ordered = gt_str_OUT(MX, MN) != 0;
    const unsigned char* low = ordered ? MN : MX;
    const unsigned char* high = ordered ? MX : MN;
    const unsigned char* raised = max_str_OUT(IN, low);
    if (raised == nullptr) return nullptr;
    return min_str_OUT(raised, high);
}
int32_t limit_byte_OUT(int32_t MN, int32_t IN, int32_t MX) { return limited(MN, IN, MX, byteKey); }
int32_t limit_word_OUT(int32_t MN, int32_t IN, int32_t MX) { return limited(MN, IN, MX, wordKey); }
uint32_t limit_dword_OUT(uint32_t MN, uint32_t IN, uint32_t MX) { return limited(MN, IN, MX, sameDword); }
int32_t* limit_time_OUT(const int32_t* MN, const int32_t* IN, const int32_t* MX) {
    return newTimeCopy(limited(MN, IN, MX, timeKey));
}
int32_t* limit_dt_OUT(const int32_t* MN, const int32_t* IN, const int32_t* MX) {
    return newTimeCopy(limited(MN, IN, MX, timeKey));
}
// DATE and TIME_OF_DAY limits return two-element arrays; only element 0 is a value
// (element 1 stays 0: the inputs have no second element to copy).
int32_t* limit_date_OUT(const int32_t* MN, const int32_t* IN, const int32_t* MX) {
    return newElementsCopy(limited(MN, IN, MX, dayKey), 1, 2);
}
int32_t* limit_tod_OUT(const int32_t* MN, const int32_t* IN, const int32_t* MX) {
    return newElementsCopy(limited(MN, IN, MX, dayKey), 1, 2);
}

}  // extern "C"
