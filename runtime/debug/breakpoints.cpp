// Location breakpoints, error reports and data breakpoints.
#include "runtime/debug/debug.h"
#include "runtime/executive/executive.h"

extern "C" {

int breakpoint_st(int location, int /*instance*/) {
    qv::storeShared(bpcurrentlocation, location);
    return 1;
}

}  // extern "C"
