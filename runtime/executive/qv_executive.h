/* The executive's side of the boundary between a model and the runtime: the globals
 * that the runtime owns, the ones the model code owns, and the functions each side
 * provides. C linkage, usable from C and C++ model code. */
#ifndef QV_EXECUTIVE_H
#define QV_EXECUTIVE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Object bases: one pointer into each variable area (booleans, integers, reals,
 * characters). `mem` holds the area starts, `self` the next free slot of the instance
 * being visited. */
typedef struct QV_Bases {
    unsigned char *boolBase;
    unsigned char *intBase;
    unsigned char *realBase;
    unsigned char *charBase;
} QV_Bases;

/* ---- Owned by the runtime ---------------------------------------------------- */

extern unsigned char *shared_memory; /* the mapped view */
extern int hmem;                     /* the mapping's handle (a descriptor) */
extern unsigned char *memHeader;     /* the same view, seen as the header */
extern QV_Bases mem;                 /* the four area starts */

extern int32_t minSize[4], maxSize[4], memSize[4];
extern int32_t minBool, minInt, minFloat, minChar;
extern int32_t maxBool, maxInt, maxFloat, maxChar;
extern int32_t pospid, posmxsimucounter, posmxmicrostepcounter;

/* Scheduled start of the current cycle, microseconds on the clock of microSecondsNow. */
extern double timeNow;
/* Variable modifications counted in the cycle (only revision 1's freezes count them). */
extern int32_t nbStateModification;

/* Control variables: pointers to their slots, bound by the model's
 * controlVariablesAccessInitialization (booleans at byte 0, integers and reals at the
 * current value). */
extern unsigned char *traceon;
extern unsigned char *resettrace;
extern unsigned char *tracesnapshop; /* revision 3 */
extern unsigned char *qv_delay;      /* revisions 1 and 2 (the same slot) */
extern unsigned char *allowpreconditions;
extern unsigned char *allowpostconditions;
extern int32_t *execstatus;
extern int32_t *bpnoline;
extern int32_t *bpnoinstance;
extern int32_t *bpcurrentinstance;
extern int32_t *bpcurrentlocation;
extern int32_t *bpcurrentprepostcode;
extern int32_t *bpcurrenttypeerror;
extern int32_t *bpcurrentrank;
extern int32_t *signature;
extern int32_t *generationtime;
extern float *simuperiod;
extern float *minsimuperiod;
extern float *maxsimuperiod;
extern float *realsimuperiod;
extern float *mxmeanvariablemodification;
extern float *mxminvariablemodification;
extern float *mxmaxvariablemodification;
extern unsigned char *taskname;

/* Revision 1: TRUE while models freeze their outputs themselves (not qv_delay). */
extern int32_t withoutDelay;

/* Image operations. */
unsigned char *openMemory(void);
void initPointersValues(unsigned char *image, QV_Bases *bases);
void closeMemory(unsigned char *image);
int destroyMemory(void);
void eraseMemory(unsigned char *image);
uint32_t align(uint32_t value, uint32_t unit);
int memoryOrganization(void); /* revision 2 */

/* Time services. */
long double microSecondsNow(void);
long double milliSecondsNow(void);
void waitMicroSeconds(uint32_t us);
/* Revisions 1 and 2: the timing of the scan cycle. */
void QVD_init_time(void);
uint32_t QVD_get_time(void);
void QVD_wait(uint32_t us);
/* Revision 2: start-up, one cycle, its statistics, the end. */
void QV_init(void);
void QV_step(void);
void QV_statistic(uint32_t elapsed);
void QV_end(void);

/* Start-up configuration. */
void QVD_read_parameters(const char *path);

/* ---- Owned by the model code ------------------------------------------------- */

extern QV_Bases self;
extern int32_t self_num;
extern int32_t lv_iteration_step;

void memorySizeInit(int32_t *minSize, int32_t *maxSize, int32_t *memSize);
void memoryStartInit(QV_Bases *bases);
void inputOutputVariablesInit(void);
int32_t behaviorsInit(void);
int32_t behaviorsStep(void);
void globalesInit(void);
void variablesInitialization(void);
void controlVariablesAccessInitialization(void);
void timeCycleInitialization(float *simuperiod);
void initStartingMode(int32_t *execstatus);
int32_t getSignature(void);
int32_t getGenerationTime(void);
void initExecutionMode(unsigned char *qv_delay); /* revision 1 */

void QV_Bool_Init(unsigned char *image, int32_t index, int32_t value);
void QV_Int_Init(unsigned char *image, int32_t index, int32_t value);
void QV_Float_Init(unsigned char *image, int32_t index, float value);
void QV_Char_Init(unsigned char *image, int32_t index, int32_t value);

#ifdef __cplusplus
}
#endif

#endif /* QV_EXECUTIVE_H */
