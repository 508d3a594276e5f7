/* A signal lamp that flashes while it is asked to, and counts its flashes: a model
 * written in C against the installed SDK. The table declares its variables once; the
 * SDK gives them their slots, pointers, initial values and the program's symbol
 * description (qvctl vars lists them by name). */
#include "sdk/qv_model.h"

/* VARIABLE(name, type, direction, initial value, array length, comment) */
#define LAMP_TABLE(VARIABLE, OBJECT)                                                    \
    VARIABLE(Run, BOOL, INPUT, 0, 1, "flash while TRUE")                                \
    VARIABLE(Lamp, BOOL, OUTPUT, 0, 1, "the lamp")                                      \
    VARIABLE(Flashes, DINT, OUTPUT, 0, 1, "flashes so far")                             \
    VARIABLE(Every, DINT, INTERNAL, 4, 1, "cycles between two changes of the lamp")     \
    VARIABLE(Wait, DINT, INTERNAL, 4, 1, "cycles left before the next change")

QV_DECLARE_VARIABLES(LAMP_TABLE)

/* One cycle: while Run is set, the lamp changes every `Every` cycles. */
static int32_t blink(void) {
    if (!qv_bool(Run)) {
        qv_set_bool(Lamp, 0);
        return 0;
    }
    if (--*Wait > 0) return 0;
    *Wait = *Every > 0 ? *Every : 1;
    qv_set_bool(Lamp, !qv_bool(Lamp));
    if (qv_bool(Lamp)) qv_set_int(Flashes, *Flashes + 1);
    return 0;
}

QV_MODEL(sdk_model, LAMP_TABLE, .step = blink, .signature = 20240601, .generationTime = 1717200000)
