// Edge detectors, bistables and counters. The counters count once in every scan cycle
// in which their count input is TRUE (not once per rising edge); a memo of the cycle in
// which an instance last counted keeps a second call in the same cycle from counting.
#include <cmath>

#include "stdlib/library.h"

namespace qv::lib {
namespace {

constexpr int32_t kCountMax = 32767;
constexpr int32_t kCountMin = -32768;

// What a counter's memo holds for the current cycle: the low 15 bits of the cycle counter
// (revision 3), or `timeNow` as an integer, of which revision 2 keeps the low 16 bits.
QV_BlockWord counterMark() {
    if constexpr (kRevision == 3) return static_cast<QV_BlockWord>(cycleMark() & 32767);
    return static_cast<QV_BlockWord>(cycleMark());
}

// Revision 1's down-counter keeps the microseconds part of the current second instead.
QV_BlockWord downCounterMark() {
    if constexpr (kRevision == 1) {
        const double t = timeNow;
        if (!(std::fabs(t) <= 9.2e18)) return 0;
        return static_cast<QV_BlockWord>(static_cast<int64_t>(t) % 1000000);
    }
    return counterMark();
}

// CV is read as a signed value; the 32-bit CV of revision 1 stops at the same limits.
void countUp(QV_BlockWord* cv) { *cv = static_cast<QV_BlockWord>(*cv + 1); }
void countDown(QV_BlockWord* cv) { *cv = static_cast<QV_BlockWord>(*cv - 1); }
bool belowMax(const QV_BlockWord* cv) { return *cv < kCountMax; }
bool aboveMin(const QV_BlockWord* cv) { return *cv > kCountMin; }

// The low 16 bits of PV, as a signed value.
QV_BlockWord presetCount(int32_t pv) { return static_cast<int16_t>(pv); }

int lowByte(int value) { return value & 0xFF; }

}  // namespace
}  // namespace qv::lib

using namespace qv::lib;

extern "C" {

// ---- Edge detectors: M holds the low byte of the previous CLK --------------------------

int r_trig_Q(int CLK, QV_BlockWord* M) {
    LIBFB_ERR = 0;
    const bool q = isTrue(CLK) && *M <= 0;
    *M = static_cast<QV_BlockWord>(lowByte(CLK));
    return q ? 1 : 0;
}

int f_trig_Q(int CLK, QV_BlockWord* M) {
    LIBFB_ERR = 0;
    const bool q = !isTrue(CLK) && *M > 0;
    *M = static_cast<QV_BlockWord>(lowByte(CLK));
    return q ? 1 : 0;
}

// ---- Bistables: Q1 read as signed, stored as 0 or 1 ---------------------------------------

int rs_Q1(int S, int R1, QV_BlockWord* Q1) {
    LIBFB_ERR = 0;
    *Q1 = !isTrue(R1) && (isTrue(S) || *Q1 > 0) ? 1 : 0;
    return *Q1;
}

int sr_Q1(int S1, int R, QV_BlockWord* Q1) {
    LIBFB_ERR = 0;
    *Q1 = isTrue(S1) || (!isTrue(R) && *Q1 > 0) ? 1 : 0;
    return *Q1;
}

// ---- Counters -----------------------------------------------------------------------------

// The up- and down-counters store the memo only when they count.
int ctu_Q(int CU, int R, int32_t PV, QV_BlockWord* CV, QV_BlockWord* memo) {
    LIBFB_ERR = 0;
    if (isTrue(R)) {
        *CV = 0;
    } else if (isTrue(CU) && belowMax(CV)) {
        const QV_BlockWord mark = counterMark();
        if (*memo != mark) {
            countUp(CV);
            *memo = mark;
        }
    }
    return *CV >= PV ? 1 : 0;
}

int32_t ctu_CV(int CU, int R, int32_t PV, QV_BlockWord* CV, QV_BlockWord* memo) {
    ctu_Q(lowByte(CU), lowByte(R), PV, CV, memo);
    return *CV;
}

int ctd_Q(int CD, int LD, int32_t PV, QV_BlockWord* CV, QV_BlockWord* memo) {
    LIBFB_ERR = 0;
    if (isTrue(LD)) {
        *CV = presetCount(PV);
    } else if (isTrue(CD) && aboveMin(CV)) {
        const QV_BlockWord mark = downCounterMark();
        if (*memo != mark) {
            countDown(CV);
            *memo = mark;
        }
    }
    return *CV <= 0 ? 1 : 0;
}

int32_t ctd_CV(int CD, int LD, int32_t PV, QV_BlockWord* CV, QV_BlockWord* memo) {
    ctd_Q(lowByte(CD), lowByte(LD), PV, CV, memo);
    return *CV;
}

// The up-down counter stores the memo on every call: after any call to an instance, no
// second call in the same cycle counts.
int ctud_QU(int CU, int CD, int R, int LD, int32_t PV, QV_BlockWord* CV, QV_BlockWord* memo) {
    LIBFB_ERR = 0;
    const QV_BlockWord mark = counterMark();
    const bool up = isTrue(CU);
    const bool down = isTrue(CD);
    if (isTrue(R)) {
        *CV = 0;
    } else if (isTrue(LD)) {
        *CV = presetCount(PV);
    } else if (!(up && down) && *memo != mark) {
        if (up && belowMax(CV))
            countUp(CV);
        else if (down && aboveMin(CV))
            countDown(CV);
    }
    *memo = mark;
    return *CV >= PV ? 1 : 0;
}

int ctud_QD(int CU, int CD, int R, int LD, int32_t PV, QV_BlockWord* CV, QV_BlockWord* memo) {
    ctud_QU(lowByte(CU), lowByte(CD), lowByte(R), lowByte(LD), PV, CV, memo);
    return *CV <= 0 ? 1 : 0;
}

int32_t ctud_CV(int CU, int CD, int R, int LD, int32_t PV, QV_BlockWord* CV, QV_BlockWord* memo) {
    ctud_QU(lowByte(CU), lowByte(CD), lowByte(R), lowByte(LD), PV, CV, memo);
    return *CV;
}

}  // extern "C"
