/* One cell of a production line, written against the SDK: it takes a part in at its
 * entry, works it for a while, and hands it on at its exit, where the part waits until the
 * next cell could have taken it. The first cell of a line makes its own parts; the others
 * are fed by the cell before them, whose "part delivered" output is wired to their "part
 * present" input (run_line.sh wires two cells through Modbus). */
#include "sdk/qv_model.h"

/* VARIABLE(name, type, direction, initial value, array length, comment) */
#define LINE_CELL_TABLE(VARIABLE, OBJECT)                                                     \
    VARIABLE(partPresent, BOOL, INPUT, 0, 1, "a part waits at the entry")                     \
    VARIABLE(makeParts, BOOL, INPUT, 0, 1, "the cell makes its own parts (first of a line)")  \
    VARIABLE(partDelivered, BOOL, OUTPUT, 0, 1, "a finished part waits at the exit")          \
    VARIABLE(busy, BOOL, OUTPUT, 0, 1, "a part is being worked")                              \
    VARIABLE(partsIn, DINT, OUTPUT, 0, 1, "parts taken in")                                   \
    VARIABLE(partsOut, DINT, OUTPUT, 0, 1, "parts handed on")                                 \
    VARIABLE(workCycles, DINT, INTERNAL, 10, 1, "cycles a part is worked")                    \
    VARIABLE(holdCycles, DINT, INTERNAL, 10, 1, "cycles a finished part waits at the exit")   \
    VARIABLE(left, DINT, INTERNAL, 0, 1, "cycles left of the work or of the wait")            \
    VARIABLE(wasPresent, BOOL, INTERNAL, 0, 1, "partPresent in the last cycle")               \
    VARIABLE(pending, BOOL, INTERNAL, 0, 1, "a part arrived while the cell was busy")

QV_DECLARE_VARIABLES(LINE_CELL_TABLE)

static int32_t cycle(void) {
    /* A part arrives when partPresent rises; it waits if the cell is still busy. */
    if (qv_bool(partPresent) && !qv_bool(wasPresent)) qv_set_bool(pending, 1);
    qv_set_bool(wasPresent, qv_bool(partPresent));
    if (qv_bool(partDelivered)) {
        qv_set_int(left, *left - 1);
        if (*left <= 0) qv_set_bool(partDelivered, 0); /* taken away */
        return 0;
    }
    if (qv_bool(busy)) {
        qv_set_int(left, *left - 1);
        if (*left > 0) return 0;
        qv_set_bool(busy, 0);
        qv_set_bool(partDelivered, 1);
        qv_set_int(partsOut, *partsOut + 1);
        qv_set_int(left, *holdCycles > 0 ? *holdCycles : 1);
        return 0;
    }
    if (qv_bool(makeParts) || qv_bool(pending)) {
        qv_set_bool(pending, 0);
        qv_set_bool(busy, 1);
        qv_set_int(partsIn, *partsIn + 1);
        qv_set_int(left, *workCycles > 0 ? *workCycles : 1);
    }
    return 0;
}

QV_MODEL(line_cell, LINE_CELL_TABLE, .step = cycle, .signature = 20261201, .generationTime = 1796083200)
