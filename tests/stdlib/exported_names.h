/* The library's functions as a C program linked against a runtime library sees them. */
#ifndef QV_EXPORTED_NAMES_H
#define QV_EXPORTED_NAMES_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    const char *name;
    void (*address)(void);
} QvExportedName;

extern const QvExportedName qv_exported_names[];
extern const int qv_exported_name_count;

#ifdef __cplusplus
}
#endif

#endif /* QV_EXPORTED_NAMES_H */
