/* Debug services at the boundary: what generated code, the executive and a supervisor
 * call by name. C linkage, usable from C and C++. */
#ifndef QV_DEBUG_H
#define QV_DEBUG_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Posting, forcing and freezing ---------------------------------------------- */

/* Generated code: re-apply a forcing after writing a variable; each returns the slot.
 * The posts exist in revisions 2 and 3, where a freeze is the same as a post and the
 * array freezes post elements 0..n-1. Revision 1's freezes detect changes, trace and
 * force instead. */
unsigned char *QV_post_bool(unsigned char *slot);
int32_t *QV_post_int(int32_t *slot);
float *QV_post_float(float *slot);
unsigned char *QV_post_char(unsigned char *slot);
unsigned char *QV_freeze_bool(unsigned char *slot);
int32_t *QV_freeze_int(int32_t *slot);
float *QV_freeze_float(float *slot);
unsigned char *QV_freeze_char(unsigned char *slot);
void QV_freeze_bool_array(unsigned char *array, int n);
void QV_freeze_int_array(int32_t *array, int n);
void QV_freeze_float_array(float *array, int n);
void QV_freeze_char_array(unsigned char *array, int n);

/* Supervisor side, on the caller's own mapping of the image (revisions 2 and 3). The
 * slot is found from the header of that mapping; an index outside its area is ignored.
 * The table operations return 1 when the table changed. */
void QV_force_bool(unsigned char *image, int index, int value);
void QV_force_int(unsigned char *image, int index, int value);
void QV_force_float(unsigned char *image, int index, float value);
void QV_force_char(unsigned char *image, int index, int value);
void QV_unforce_bool(unsigned char *image, int index);
void QV_unforce_int(unsigned char *image, int index);
void QV_unforce_float(unsigned char *image, int index);
void QV_unforce_char(unsigned char *image, int index);
int QV_addIndex(int index, int32_t *table);
int QV_removeIndex(int index, int32_t *table);
/* Revision 3. The trace variants set the boolean flagIndex (tracesnapshop) in the
 * mapping that openMemory made in this process; qv::addTraceIndex (debug.h) takes the
 * flag's slot instead. */
int QV_addTraceIndex(int index, int32_t *table, int flagIndex);
int QV_removeTraceIndex(int index, int32_t *table, int flagIndex);
int QV_addBreakpointIndex(int index, int32_t *table);
int QV_removeBreakpointIndex(int index, int32_t *table);

/* Executive. */
void QV_freeze_memory_for_debug(unsigned char *image); /* revisions 2 and 3 */
void QV_freeze_memory(int flag); /* revision 1 */

/* ---- Execution status and breakpoints ------------------------------------------- */

int QV_manage_exec_status(int32_t *status); /* revisions 2 and 3 */
void QV_hook(int32_t *status);
int breakpoint_st(int location, int instance);
int raise_debug_break(int location, int prepostcode, int typeerror, int rank);
void QV_manage_breakpoints(unsigned char *image); /* revisions 2 and 3 */
void QV_manage_debug_informations_pre(unsigned char *image);  /* revision 3 */
void QV_manage_debug_informations_post(unsigned char *image); /* revision 3 */
void QV_manage_debug_informations(unsigned char *image);      /* revision 2 */
int QV_error(void);

/* ---- Trace recorder --------------------------------------------------------------- */

extern FILE *trace;                 /* the open trace file, or none */
extern double currentMilliseconds;  /* time stamp of the current cycle */
int openTrace(void);
int clearTrace(void);
int closeTrace(void);
/* Revisions 2 and 3 (revision 1 traces from its freezes); revision 2 writes no
 * snapshot, forced-variable, switch, pause, reset or end lines. */
void QV_manage_trace(unsigned char *image, int after);
void QV_manage_reset_trace(unsigned char *image);
void QV_trace_snapshot(unsigned char *image);
void QV_trace_changes(unsigned char *image, int after);
int QV_manage_pause_trace(void); /* revision 3 */

/* ---- I/O hooks -------------------------------------------------------------------- */

void QV_init_ios(unsigned char *image);
int QV_read_inputs(unsigned char *image);
int QV_write_outputs(unsigned char *image);
void QV_wait_mutex(void);
void QV_release_mutex(void);
/* Transfers between a table of slot addresses (element i at entry i + 2; entry i + 3
 * for QV_write_character_array) and a plain array. */
void QV_read_boolean_array(unsigned char **table, unsigned char *bytes, int n);
void QV_write_boolean_array(unsigned char **table, unsigned char *bytes, int n);
void QV_read_integer_array(unsigned char **table, int32_t *values, int n);
void QV_write_integer_array(unsigned char **table, int32_t *values, int n);
void QV_read_float_array(unsigned char **table, float *values, int n);
void QV_write_float_array(unsigned char **table, float *values, int n);
void QV_read_character_array(unsigned char **table, unsigned char *bytes, int n);
void QV_write_character_array(unsigned char **table, unsigned char *bytes, int n);

/* ---- Temporary arrays and array helpers -------------------------------------------- */

#define QV_TEMP_POOL_SIZE 10000
extern unsigned char Temp_Alloc[QV_TEMP_POOL_SIZE];
extern unsigned char *next_alloc;  /* where the next temporary starts; null: the pool start */
extern int32_t nb_alloc;           /* temporaries handed out since the last release */

unsigned char *alloc_bool(int n);
unsigned char *alloc_char(int n);
int32_t *alloc_int(int n);
float *alloc_float(int n);
void free_all_alloc(void);
int array_char_size(const unsigned char *s);
int array_char_len(const unsigned char *s);
int array_int_size(const int32_t *a);  /* revision 1 */
int array_float_size(const float *a);  /* revision 1 */
void copy_bool_array(unsigned char *dst, const unsigned char *src, int n);
void copy_bool_array_negated(unsigned char *dst, const unsigned char *src, int n);
void copy_int_array(int32_t *dst, const int32_t *src, int n);
void copy_float_array(float *dst, const float *src, int n);
void copy_char_array(unsigned char *dst, const unsigned char *src, int n);
void copy_time_array(int32_t *dst, const int32_t *src);
void copy_dt_array(int32_t *dst, const int32_t *src);
int compare_bool_arrays(const unsigned char *a, const unsigned char *b, int na, int nb);
int compare_int_arrays(const int32_t *a, const int32_t *b, int na, int nb);
int compare_float_arrays(const float *a, const float *b, int na, int nb);
int compare_char_arrays(const unsigned char *a, const unsigned char *b, int sizeA, int sizeB);
int affect_AnyBit(int word, int bit, int value);

#ifdef __cplusplus
}
#endif

#endif /* QV_DEBUG_H */
