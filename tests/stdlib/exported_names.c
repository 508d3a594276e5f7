/* Compiled as C and linked against a revision's runtime library: every library function
 * of the name list must resolve to a symbol of exactly that name, or the link fails. The
 * names still to come are weak references, which resolve to null while they are missing. */
#include <stddef.h>

#include "stdlib/function_names.h"
#include "tests/stdlib/functions_to_come.h"
#include "tests/stdlib/exported_names.h"

#define QV_PRAGMA(text) _Pragma(#text)
#define QV_WEAK(name) QV_PRAGMA(weak name)
QV_LIBRARY_FUNCTIONS_TO_COME(QV_WEAK)

#define QV_DECLARE(name) extern void name(void);
QV_LIBRARY_FUNCTIONS(QV_DECLARE)

#define QV_ENTRY(name) {#name, name},
const QvExportedName qv_exported_names[] = {QV_LIBRARY_FUNCTIONS(QV_ENTRY)};
const int qv_exported_name_count = (int)(sizeof qv_exported_names / sizeof qv_exported_names[0]);

#define QV_NAME(name) #name,
const char *const qv_names_to_come[] = {QV_LIBRARY_FUNCTIONS_TO_COME(QV_NAME) NULL};
