// The pointers to the control variables, bound by the model code at start-up.
#include "runtime/executive/qv_executive.h"

extern "C" {
unsigned char* traceon = nullptr;
unsigned char* resettrace = nullptr;
#if QV_REVISION == 3
unsigned char* tracesnapshop = nullptr;
#else
unsigned char* qv_delay = nullptr;
#endif
unsigned char* allowpreconditions = nullptr;
unsigned char* allowpostconditions = nullptr;
int32_t* execstatus = nullptr;
int32_t* bpnoline = nullptr;
int32_t* bpnoinstance = nullptr;
int32_t* bpcurrentinstance = nullptr;
int32_t* bpcurrentlocation = nullptr;
int32_t* bpcurrentprepostcode = nullptr;
int32_t* bpcurrenttypeerror = nullptr;
int32_t* bpcurrentrank = nullptr;
int32_t* signature = nullptr;
int32_t* generationtime = nullptr;
float* simuperiod = nullptr;
float* minsimuperiod = nullptr;
float* maxsimuperiod = nullptr;
float* realsimuperiod = nullptr;
float* mxmeanvariablemodification = nullptr;
float* mxminvariablemodification = nullptr;
float* mxmaxvariablemodification = nullptr;
unsigned char* taskname = nullptr;
}
