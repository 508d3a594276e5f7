// Numeric functions of a REAL: the C library's function in double precision, rounded to
// single precision, behind a domain check where the function has one.
#include "stdlib/numeric.h"

#include <cmath>

#include "stdlib/library.h"

namespace qv::lib {
namespace {

// The function's value, or 0.0 with its code when the argument is outside the domain.
// A NaN argument is outside every domain that has a check (the tests are written so).
template <typename Function>
float checked(bool inDomain, int32_t code, Function function, float in) {
    if (!inDomain) {
        LIBFB_ERR = code;
        return 0.0f;
    }
    LIBFB_ERR = 0;
    return static_cast<float>(function(static_cast<double>(in)));
}

template <typename Function>
float unchecked(Function function, float in) {
    LIBFB_ERR = 0;
    return static_cast<float>(function(static_cast<double>(in)));
}

double squareRoot(double x) { return std::sqrt(x); }
double naturalLog(double x) { return std::log(x); }
double decimalLog(double x) { return std::log10(x); }
double exponential(double x) { return std::exp(x); }
double sine(double x) { return std::sin(x); }
double cosine(double x) { return std::cos(x); }
double tangent(double x) { return std::tan(x); }
double arcSine(double x) { return std::asin(x); }
double arcCosine(double x) { return std::acos(x); }
double arcTangent(double x) { return std::atan(x); }

}  // namespace
}  // namespace qv::lib

using namespace qv::lib;

extern "C" {

float sqrt_OUT(float IN) { return checked(IN >= 0.0f, 1074, squareRoot, IN); }
float ln_OUT(float IN) { return checked(IN > 0.0f, 1020, naturalLog, IN); }
float log_OUT(float IN) { return checked(IN > 0.0f, 1021, decimalLog, IN); }
float exp_OUT(float IN) { return unchecked(exponential, IN); }
float sin_OUT(float IN) { return unchecked(sine, IN); }
float cos_OUT(float IN) { return unchecked(cosine, IN); }
float tan_OUT(float IN) { return unchecked(tangent, IN); }
float asin_OUT(float IN) { return checked(IN >= -1.0f && IN <= 1.0f, 1002, arcSine, IN); }
float acos_OUT(float IN) { return checked(IN >= -1.0f && IN <= 1.0f, 1001, arcCosine, IN); }
float atan_OUT(float IN) { return unchecked(arcTangent, IN); }

}  // extern "C"
