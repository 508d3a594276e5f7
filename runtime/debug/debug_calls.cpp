// The per-cycle debug calls of the scan cycle.
#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

extern "C" {

#if QV_REVISION == 3
void QV_manage_debug_informations_pre(unsigned char* /*image*/) {}
void QV_manage_debug_informations_post(unsigned char* /*image*/) {}
#else
void QV_manage_debug_informations(unsigned char* /*image*/) {}
#endif

#if QV_REVISION == 1
void QV_freeze_memory(int /*flag*/) {}
#endif

}  // extern "C"
