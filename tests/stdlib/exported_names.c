/* Compiled as C and linked against a revision's runtime library: every library function
 * of the name list must resolve to a symbol of exactly that name, or the link fails. */
#include "stdlib/function_names.h"
#include "tests/stdlib/exported_names.h"

#define QV_DECLARE(name) extern void name(void);
QV_LIBRARY_FUNCTIONS(QV_DECLARE)

#define QV_ENTRY(name) {#name, name},
const QvExportedName qv_exported_names[] = {QV_LIBRARY_FUNCTIONS(QV_ENTRY)};
const int qv_exported_name_count = (int)(sizeof qv_exported_names / sizeof qv_exported_names[0]);
