/* The model side of the contract with the runtime, written once for every model: a model
 * declares its variables and its scene objects in one table, and this header turns the
 * table into the slot counts, the walk that binds each variable to its slot, the initial
 * values, the control-variable binding, the QV_*_Init functions, the task name, the object
 * table and the program's symbol description. What is left to the model is its logic.
 *
 *   #define LAMP_TABLE(VARIABLE, OBJECT)                                   \
 *       VARIABLE(Run, BOOL, INPUT, 0, 1, "flash while TRUE")               \
 *       VARIABLE(Lamp, BOOL, OUTPUT, 0, 1, "the lamp")
 *   QV_DECLARE_VARIABLES(LAMP_TABLE)      -- pointers Run, Lamp to their slots
 *   static int32_t blink(void) { ... }    -- one cycle of the model
 *   QV_MODEL(lamp, LAMP_TABLE, .step = blink)
 *
 * VARIABLE(name, type, direction, initial, length, comment)
 *   type BOOL, DINT or REAL; direction INPUT, OUTPUT, INTERNAL or OPERATOR (an input
 *   meant for a person at the panel, not a sensor); initial a number (every
 *   element of an array starts with it); length 1, or the number of elements of an array.
 * OBJECT(name, kind, kindId, count, colour, model, contactFilter, objectNumber)
 *   kind ACTOR or PRODUCT (actors come first); kindId the entry's kind identifier (never
 *   0 or 1); count 1 for an actor, for a product the most that may be present at once;
 *   colour "#rrggbb"; model the object's model function; contactFilter (revision 3) the
 *   product's filter or NULL; objectNumber what setMyselfFor looks for.
 *
 * Slots: inputs and outputs take the first slots of their areas, in table order; the
 * internal variables follow, in table order; then the objects, each with one boolean, two
 * integers (its status, then one for its model) and sixteen reals (its placement). A model
 * built this way writes its symbol description and exits when the environment variable
 * QV_WRITE_SYMBOLS names the file to write (qv_model_symbols() in CMake does it after each
 * link). C linkage; the macros work in C and C++ (see qv_model.hpp). */
#ifndef QV_MODEL_H
#define QV_MODEL_H

#include <stddef.h>
#include <stdint.h>

#include "products/qv_products.h"
#include "runtime/debug/qv_debug.h"
#include "runtime/executive/qv_executive.h"

#ifdef __cplusplus
#define QV_EXTERN_C_BEGIN extern "C" {
#define QV_EXTERN_C_END }
#define QV_OPTIONAL_ = {} /* C++: a setting left out needs no initialiser */
#else
#define QV_EXTERN_C_BEGIN
#define QV_EXTERN_C_END
#define QV_OPTIONAL_
#endif

QV_EXTERN_C_BEGIN

typedef enum QV_Type { QV_TYPE_BOOL, QV_TYPE_DINT, QV_TYPE_REAL } QV_Type;
/* OPERATOR: an input meant for a person at the panel (a button, a selector), not a
 * sensor the plant plays; it takes its slot as any input does. */
typedef enum QV_Direction {
    QV_DIRECTION_INPUT,
    QV_DIRECTION_OUTPUT,
    QV_DIRECTION_INTERNAL,
    QV_DIRECTION_OPERATOR
} QV_Direction;
typedef enum QV_ObjectKind { QV_KIND_ACTOR, QV_KIND_PRODUCT } QV_ObjectKind;

/* One row VARIABLE(...) of the table. */
typedef struct QV_Variable {
    const char *name;
    QV_Type type;
    QV_Direction direction;
    double initial;
    int32_t length;
    const char *comment;
} QV_Variable;

/* One row OBJECT(...) of the table: `count` entries of the object table. */
typedef struct QV_Object {
    const char *name;
    QV_ObjectKind kind;
    int32_t kindId;
    int32_t count;
    const char *colour;
    int32_t (*model)(void);
    int32_t (*contactFilter)(void);
    int32_t objectNumber;
} QV_Object;

/* What QV_MODEL takes besides the table, as designated initialisers in this order. */
typedef struct QV_ModelSettings {
    int32_t (*step)(void) QV_OPTIONAL_;        /* one cycle: 0, or a code that stops the program */
    void (*initialValues)(void) QV_OPTIONAL_;  /* more initial values after the table's (placements) */
    int32_t signature QV_OPTIONAL_;            /* 0: 2147483647 */
    int32_t generationTime QV_OPTIONAL_;       /* seconds since 1970-01-01 UTC */
    float period QV_OPTIONAL_;                 /* microseconds; 0: 50000 */
    const char *taskname QV_OPTIONAL_;         /* the executable's file name; NULL: the model's name */
} QV_ModelSettings;

typedef struct QV_Model {
    const char *name;
    const QV_Variable *variables;
    int32_t variableCount;
    const QV_Object *objects;
    int32_t objectCount;          /* rows; each row is `count` entries of the object table */
    void **pointers;              /* one per variable: its first slot, bound by the walk */
    void (*nameVariables)(void);  /* copies `pointers` into the named pointers */
    int32_t *num;                 /* <model>__num */
    QV_ModelSettings settings;
} QV_Model;

/* ---- The runtime's side (in the runtime library) ---------------------------------- */

void QV_model_sizes(const QV_Model *model, int32_t *minSize, int32_t *maxSize, int32_t *memSize);
void QV_model_skip_control_blocks(QV_Bases *bases);
void QV_model_bind_interface(const QV_Model *model);
int32_t QV_model_behaviors_init(const QV_Model *model);
int32_t QV_model_behaviors_step(const QV_Model *model);
void QV_model_variables_initialization(const QV_Model *model);
/* The control variables' initial values: period, task name, pre- and postconditions
   allowed, and revision 1's breakpoint list lengths. */
void QV_model_init_control_values(float period, const char *name);
void QV_model_bind_control_variables(void);
void QV_model_time_cycle(const QV_Model *model, float *period);
void QV_model_starting_mode(int32_t *status);
void QV_model_execution_mode(unsigned char *delay);
int32_t QV_model_signature(const QV_Model *model);
void QV_model_init_bool(unsigned char *image, int32_t index, int32_t value);
void QV_model_init_int(unsigned char *image, int32_t index, int32_t value);
void QV_model_init_float(unsigned char *image, int32_t index, float value);
void QV_model_init_char(unsigned char *image, int32_t index, int32_t value);
/* Writes the model's symbol description to `path`: 1 done, 0 failed (message on stderr). */
int QV_model_write_symbols(const QV_Model *model, const char *path);

QV_EXTERN_C_END

/* ---- Reading and writing variables --------------------------------------------------
 * A write publishes the value, so that a variable the supervisor forces keeps its forced
 * value (revision 1 freezes it instead, while the runtime asks models to). */

#if QV_REVISION == 1
#define QV_PUBLISH_(kind, slot) \
    do {                        \
        if (withoutDelay) QV_freeze_##kind(slot); \
    } while (0)
#else
#define QV_PUBLISH_(kind, slot) QV_post_##kind(slot)
#endif

static inline int qv_bool(const unsigned char *slot) { return *slot & 1; }
static inline void qv_set_bool(unsigned char *slot, int value) {
    *slot = (unsigned char)((*slot & ~1u) | (value ? 1u : 0u));
    QV_PUBLISH_(bool, slot);
}
static inline void qv_set_int(int32_t *slot, int32_t value) {
    *slot = value;
    QV_PUBLISH_(int, slot);
}
static inline void qv_set_real(float *slot, float value) {
    *slot = value;
    QV_PUBLISH_(float, slot);
}

/* Element k of an array variable (slots are 2 bytes for booleans, 12 for the others). */
static inline unsigned char *qv_bool_element(unsigned char *first, int32_t k) { return first + 2 * (ptrdiff_t)k; }
static inline int32_t *qv_int_element(int32_t *first, int32_t k) {
    return (int32_t *)((unsigned char *)first + 12 * (ptrdiff_t)k);
}
static inline float *qv_real_element(float *first, int32_t k) {
    return (float *)((unsigned char *)first + 12 * (ptrdiff_t)k);
}

/* ---- The table's expansions ------------------------------------------------------------ */

#define QV_CTYPE_BOOL unsigned char
#define QV_CTYPE_DINT int32_t
#define QV_CTYPE_REAL float

#define QV_NO_VARIABLE_(name, type, direction, initial, length, comment)
#define QV_NO_OBJECT_(name, kind, kindId, count, colour, model, filter, number)
#define QV_VARIABLE_INDEX_(name, type, direction, initial, length, comment) QV_VARIABLE_##name,
#define QV_VARIABLE_POINTER_(name, type, direction, initial, length, comment) static QV_CTYPE_##type *name;
#define QV_VARIABLE_NAME_(name, type, direction, initial, length, comment) \
    name = (QV_CTYPE_##type *)qv_pointers_[QV_VARIABLE_##name];
#define QV_VARIABLE_ROW_(name, type, direction, initial, length, comment) \
    {#name, QV_TYPE_##type, QV_DIRECTION_##direction, (initial), (length), comment},
#define QV_OBJECT_INDEX_(name, kind, kindId, count, colour, model, filter, number) \
    QV_OBJECT_##name, QV_OBJECT_##name##_LAST_ = QV_OBJECT_##name + (count) - 1,
#define QV_OBJECT_ROW_INDEX_(name, kind, kindId, count, colour, model, filter, number) QV_OBJECT_ROW_##name,
#define QV_OBJECT_ROW_(name, kind, kindId, count, colour, model, filter, number) \
    {#name, QV_KIND_##kind, (kindId), (count), colour, model, filter, (number)},

/* The named pointers of the table's variables, and the object indexes QV_OBJECT_<name>
 * (the first entry of the row). Before the model's logic. */
#define QV_DECLARE_VARIABLES(TABLE)                                             \
    enum { TABLE(QV_VARIABLE_INDEX_, QV_NO_OBJECT_) QV_VARIABLE_COUNT_ };     \
    enum { TABLE(QV_NO_VARIABLE_, QV_OBJECT_INDEX_) QV_OBJECT_COUNT_ };       \
    enum { TABLE(QV_NO_VARIABLE_, QV_OBJECT_ROW_INDEX_) QV_OBJECT_ROWS_ };    \
    TABLE(QV_VARIABLE_POINTER_, QV_NO_OBJECT_)

/* The whole contract of the model `name`, after its logic. */
#define QV_MODEL(name, TABLE, ...)                                                                   \
    static const QV_Variable qv_variables_[QV_VARIABLE_COUNT_ + 1] = {                              \
        TABLE(QV_VARIABLE_ROW_, QV_NO_OBJECT_){NULL, QV_TYPE_BOOL, QV_DIRECTION_INTERNAL, 0, 0, NULL}}; \
    static const QV_Object qv_objects_[QV_OBJECT_ROWS_ + 1] = {                                        \
        TABLE(QV_NO_VARIABLE_, QV_OBJECT_ROW_){NULL, QV_KIND_ACTOR, 0, 0, NULL, NULL, NULL, 0}};       \
    static void *qv_pointers_[QV_VARIABLE_COUNT_ + 1];                                              \
    static void qv_name_variables_(void) { TABLE(QV_VARIABLE_NAME_, QV_NO_OBJECT_) }                \
    QV_EXTERN_C_BEGIN                                                                               \
    int32_t name##__num;                                                                            \
    QV_EXTERN_C_END                                                                                 \
    static const QV_Model qv_model_ = {#name,           qv_variables_,      QV_VARIABLE_COUNT_,     \
                                       qv_objects_,     QV_OBJECT_ROWS_,    qv_pointers_,           \
                                       qv_name_variables_, &name##__num,    {__VA_ARGS__}};         \
    QV_EXTERN_C_BEGIN                                                                               \
    QV_Bases self;                                                                                  \
    int32_t self_num;                                                                               \
    int32_t lv_iteration_step;                                                                      \
    ActorProductEntry TableActeursProduits[QV_OBJECT_COUNT_ + 1];                                   \
    int32_t NbActeurs;                                                                              \
    int32_t NbProduits;                                                                             \
    int32_t NbActeursEtProduits;                                                                    \
    void memorySizeInit(int32_t *minimum, int32_t *maximum, int32_t *size) {                           \
        QV_model_sizes(&qv_model_, minimum, maximum, size);                                            \
    }                                                                                               \
    void memoryStartInit(QV_Bases *bases) { QV_model_skip_control_blocks(bases); }                  \
    void inputOutputVariablesInit(void) { QV_model_bind_interface(&qv_model_); }                    \
    int32_t behaviorsInit(void) { return QV_model_behaviors_init(&qv_model_); }                     \
    int32_t behaviorsStep(void) { return QV_model_behaviors_step(&qv_model_); }                     \
    void globalesInit(void) {}                                                                      \
    void variablesInitialization(void) { QV_model_variables_initialization(&qv_model_); }          \
    void controlVariablesAccessInitialization(void) { QV_model_bind_control_variables(); }          \
    void timeCycleInitialization(float *period) { QV_model_time_cycle(&qv_model_, period); }        \
    void initStartingMode(int32_t *status) { QV_model_starting_mode(status); }                      \
    void initExecutionMode(unsigned char *delay) { QV_model_execution_mode(delay); }                \
    int32_t getSignature(void) { return QV_model_signature(&qv_model_); }                           \
    int32_t getGenerationTime(void) { return qv_model_.settings.generationTime; }                   \
    void QV_Bool_Init(unsigned char *image, int32_t index, int32_t value) {                         \
        QV_model_init_bool(image, index, value);                                                    \
    }                                                                                               \
    void QV_Int_Init(unsigned char *image, int32_t index, int32_t value) {                          \
        QV_model_init_int(image, index, value);                                                     \
    }                                                                                               \
    void QV_Float_Init(unsigned char *image, int32_t index, float value) {                          \
        QV_model_init_float(image, index, value);                                                   \
    }                                                                                               \
    void QV_Char_Init(unsigned char *image, int32_t index, int32_t value) {                         \
        QV_model_init_char(image, index, value);                                                    \
    }                                                                                               \
    QV_EXTERN_C_END

#endif /* QV_MODEL_H */
