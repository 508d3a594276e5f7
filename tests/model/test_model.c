/* A small model written in C from the model contract alone, without the project's
 * headers: it proves that such a model links against the runtime libraries and runs.
 * The process tests drive it through its image.
 *
 * Interface (booleans, in binding order): Start (in), Lamp (out), Hold (in),
 * Breaks (in). Own variables: boolean Blink; integers Counter and Steps. Each evolution:
 *   Steps += 1; if Start: Counter += 1; Lamp = Start and not Hold; Blink toggles;
 *   if Breaks: breakpoint_st(10, self_num) then breakpoint_st(20, self_num).
 * Slot counts (40, 555, 17, 53) are those of the bistable cylinder program: like it, the
 * model has no real or character variables of its own (those areas hold only their
 * control blocks). */
#include <stdint.h>

#if QV_REVISION == 1
#define CHAR_SLOT 3
#define HEADER_OFFSETS 276
#define EXEC_SLOT 210
#else
#define CHAR_SLOT 4
#define HEADER_OFFSETS 20276
#define EXEC_SLOT 311
#endif

typedef struct {
    unsigned char *boolBase, *intBase, *realBase, *charBase;
} Bases;

typedef struct {
    int32_t boolIndex, intIndex, realIndex, charIndex;
    unsigned char *boolBase, *intBase, *realBase, *charBase;
    int32_t kind;
    int32_t (*model)(void);
#if QV_REVISION == 3
    int32_t (*contactFilter)(void);
#endif
    int32_t initialStatus;
    int32_t objectNumber;
    double box[6];
} ActorProductEntry;

/* ---- What the runtime provides ---------------------------------------------- */

extern unsigned char *memHeader;
extern int32_t minBool, minInt, minFloat, minChar;
extern unsigned char *traceon, *resettrace, *tracesnapshop, *qv_delay;
extern unsigned char *allowpreconditions, *allowpostconditions;
extern int32_t *execstatus, *bpnoline, *bpnoinstance, *bpcurrentinstance, *bpcurrentlocation;
extern int32_t *bpcurrentprepostcode, *bpcurrenttypeerror, *bpcurrentrank, *signature;
extern int32_t *generationtime;
extern float *simuperiod, *minsimuperiod, *maxsimuperiod, *realsimuperiod;
extern float *mxmeanvariablemodification, *mxminvariablemodification, *mxmaxvariablemodification;
extern unsigned char *taskname;
extern int32_t withoutDelay;
int breakpoint_st(int location, int instance);
#if QV_REVISION == 1
unsigned char *QV_freeze_bool(unsigned char *slot);
#else
unsigned char *QV_post_bool(unsigned char *slot);
#endif

/* ---- What the model provides ---------------------------------------------------- */

Bases self;
int32_t self_num;
int32_t lv_iteration_step;
int32_t test_model__num;

unsigned char *test_model_Start, *test_model_Lamp, *test_model_Hold, *test_model_Breaks;
unsigned char *test_model_Blink;
int32_t *test_model_Counter, *test_model_Steps;

ActorProductEntry TableActeursProduits[1];
int32_t NbActeurs = 0;
int32_t NbProduits = 0;
int32_t NbActeursEtProduits = 0;

static const int32_t kCounts[4] = {40, 555, 17, 53};
static const char kTaskName[] = "test_model";

static unsigned char *areaStart(int area) {
    return memHeader + *(int32_t *)(memHeader + HEADER_OFFSETS + 4 * area);
}
static unsigned char *boolAt(int i) { return areaStart(0) + 2 * i; }
static int32_t *intAt(int i) { return (int32_t *)(areaStart(1) + 12 * i); }
static float *realAt(int i) { return (float *)(areaStart(2) + 12 * i); }
static unsigned char *charAt(int i) { return areaStart(3) + CHAR_SLOT * i; }

void memorySizeInit(int32_t *minSize, int32_t *maxSize, int32_t *memSize) {
    for (int k = 0; k < 4; ++k) {
        minSize[k] = 0;
        maxSize[k] = kCounts[k];
        memSize[k] = kCounts[k];
    }
}

void memoryStartInit(Bases *bases) {
    bases->boolBase += 2 * (minBool + 5);
    bases->intBase += 12 * (minInt + 212);
    bases->realBase += 12 * (minFloat + 7);
    bases->charBase += CHAR_SLOT * (minChar + 53);
}

void inputOutputVariablesInit(void) {
    test_model_Start = self.boolBase; self.boolBase += 2;
    test_model_Lamp = self.boolBase; self.boolBase += 2;
    test_model_Hold = self.boolBase; self.boolBase += 2;
    test_model_Breaks = self.boolBase; self.boolBase += 2;
}

static void bindInternals(void) {
    test_model_Blink = self.boolBase;
    test_model_Counter = (int32_t *)self.intBase;
    test_model_Steps = (int32_t *)(self.intBase + 12);
}

static void advancePastInstance(void) {
    self.boolBase += 2 * 1;
    self.intBase += 12 * 2;
}

int32_t sfp__test_model_init(void) {
    bindInternals();
    *test_model_Blink &= (unsigned char)~1u;
    advancePastInstance();
    return 0;
}

int32_t sfp__test_model(void) {
    if (lv_iteration_step != 0) {
        advancePastInstance();
        return 0;
    }
    bindInternals();
    int32_t start = *test_model_Start & 1;
    *test_model_Steps += 1;
    if (start) *test_model_Counter += 1;
    *test_model_Lamp = (unsigned char)((*test_model_Lamp & ~1u) | (start && !(*test_model_Hold & 1)));
    *test_model_Blink ^= 1u;
    if (*test_model_Breaks & 1) {
        breakpoint_st(10, self_num);
        breakpoint_st(20, self_num);
    }
#if QV_REVISION == 1
    if (withoutDelay) QV_freeze_bool(test_model_Lamp);
#else
    QV_post_bool(test_model_Lamp);
#endif
    advancePastInstance();
    return 0;
}

int32_t behaviorsInit(void) {
    int32_t saved = self_num;
    test_model__num = self_num;
    inputOutputVariablesInit();
    sfp__test_model_init();
    self_num = saved;
    return 0;
}

int32_t behaviorsStep(void) {
    int32_t saved = self_num;
    lv_iteration_step = 0;
    inputOutputVariablesInit();
    test_model__num = self_num;
    int32_t r = sfp__test_model();
    if (r != 0) return r;
    self_num = saved;
    return 0;
}

void globalesInit(void) {}

void QV_Bool_Init(unsigned char *image, int32_t index, int32_t value) {
    (void)image;
    unsigned char *s = boolAt(index);
    *s = (unsigned char)((*s & ~3u) | ((value & 1) ? 3u : 0u));
}
void QV_Int_Init(unsigned char *image, int32_t index, int32_t value) {
    (void)image;
    intAt(index)[0] = value;
    intAt(index)[1] = value;
}
void QV_Float_Init(unsigned char *image, int32_t index, float value) {
    (void)image;
    realAt(index)[0] = value;
    realAt(index)[1] = value;
}
void QV_Char_Init(unsigned char *image, int32_t index, int32_t value) {
    (void)image;
    charAt(index)[0] = (unsigned char)value;
    charAt(index)[1] = (unsigned char)value;
}

void variablesInitialization(void) {
    QV_Float_Init(memHeader, 10, 50000.0f);
#if QV_REVISION != 1
    QV_Char_Init(memHeader, 0, 0);
#endif
    QV_Char_Init(memHeader, 1, 50);
    int k = 0;
    for (; kTaskName[k] != 0; ++k) QV_Char_Init(memHeader, 3 + k, kTaskName[k]);
#if QV_REVISION != 1
    QV_Char_Init(memHeader, 3 + k, 0);
#endif
    QV_Bool_Init(memHeader, 3, 1);
    QV_Bool_Init(memHeader, 4, 1);
}

void controlVariablesAccessInitialization(void) {
    traceon = boolAt(0);
    resettrace = boolAt(1);
#if QV_REVISION == 3
    tracesnapshop = boolAt(2);
#else
    qv_delay = boolAt(2);
#endif
    allowpreconditions = boolAt(3);
    allowpostconditions = boolAt(4);
    execstatus = intAt(EXEC_SLOT);
    bpnoline = intAt(EXEC_SLOT + 1);
    bpnoinstance = intAt(EXEC_SLOT + 103);
    bpcurrentinstance = intAt(EXEC_SLOT + 205);
    bpcurrentlocation = intAt(EXEC_SLOT + 206);
    bpcurrentprepostcode = intAt(EXEC_SLOT + 207);
    bpcurrenttypeerror = intAt(EXEC_SLOT + 208);
    bpcurrentrank = intAt(EXEC_SLOT + 209);
    signature = intAt(EXEC_SLOT + 210);
    generationtime = intAt(EXEC_SLOT + 211);
    simuperiod = realAt(10);
    minsimuperiod = realAt(11);
    maxsimuperiod = realAt(12);
    realsimuperiod = realAt(13);
    mxmeanvariablemodification = realAt(14);
    mxminvariablemodification = realAt(15);
    mxmaxvariablemodification = realAt(16);
    taskname = charAt(0);
}

void timeCycleInitialization(float *period) { *period = 50000.0f; }
void initStartingMode(int32_t *status) { *status = 1; }
void initExecutionMode(unsigned char *delay) { *delay &= (unsigned char)~1u; }
int32_t getSignature(void) { return 123456789; }
int32_t getGenerationTime(void) { return 1700000000; }
