/* Numeric functions of a REAL (angles in radians): computed in double precision and
 * rounded to single precision. Outside its domain a function returns 0.0 with its code. */
#ifndef QV_NUMERIC_H
#define QV_NUMERIC_H

#ifdef __cplusplus
extern "C" {
#endif

float sqrt_OUT(float IN); /* IN >= 0 (NaN fails) */
float ln_OUT(float IN);   /* IN > 0 */
float log_OUT(float IN);  /* base 10, IN > 0 */
float exp_OUT(float IN);
float sin_OUT(float IN);
float cos_OUT(float IN);
float tan_OUT(float IN);
float asin_OUT(float IN); /* -1 <= IN <= 1 */
float acos_OUT(float IN); /* -1 <= IN <= 1 */
float atan_OUT(float IN);

#ifdef __cplusplus
}
#endif

#endif /* QV_NUMERIC_H */
