/* The program the Modbus tests drive: one variable of each kind a client reads or writes
 * in each of the four tables of the default map, and two outputs that show whether a
 * read was answered from one cycle. */
#include "sdk/qv_model.h"

#define MODBUS_TEST_TABLE(VARIABLE, OBJECT)                                                        \
    VARIABLE(Enable, BOOL, INPUT, 0, 1, "copied to Ready in the next cycle")                      \
    VARIABLE(Setpoint, DINT, INPUT, 0, 1, "multiplied by Gain into Output")                       \
    VARIABLE(Gain, REAL, INPUT, 1, 1, "multiplies Setpoint")                                      \
    VARIABLE(Ready, BOOL, OUTPUT, 0, 1, "Enable as the last cycle saw it")                        \
    VARIABLE(Pattern, DINT, OUTPUT, 0, 1, "the cycle count in both halves: a torn read differs")  \
    VARIABLE(PatternCopy, DINT, OUTPUT, 0, 1, "Pattern again, written in the same cycle")         \
    VARIABLE(Output, REAL, OUTPUT, 0, 1, "Setpoint times Gain")                                   \
    VARIABLE(Cycles, DINT, INTERNAL, 0, 1, "cycles run")

QV_DECLARE_VARIABLES(MODBUS_TEST_TABLE)

static int32_t step(void) {
    qv_set_int(Cycles, *Cycles + 1);
    const int32_t k = *Cycles & 0x7FFF;
    qv_set_int(Pattern, k << 16 | k);
    qv_set_int(PatternCopy, *Pattern);
    qv_set_bool(Ready, qv_bool(Enable));
    qv_set_real(Output, (float)*Setpoint * *Gain);
    return 0;
}

QV_MODEL(modbus_test_model, MODBUS_TEST_TABLE, .step = step, .signature = 20261208, .generationTime = 1796688000)
