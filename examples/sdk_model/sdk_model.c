/* A model written in C against the installed SDK: a signal lamp that flashes while it is
 * asked to, and counts its flashes. It shows every function and global that a model
 * provides to the runtime (revision 3).
 *
 * Variables (absolute slots of the image; a model's own slots begin after the control
 * blocks: booleans at 5, integers at 523):
 *   B5  Run      input    flash while TRUE
 *   B6  Lamp     output   the lamp
 *   I523 Every   internal cycles between two changes of the lamp (initially 4)
 *   I524 Flashes output   flashes so far
 *   I525 Wait    internal cycles left before the next change
 * The integer area ends with four slots after the model's last variable: one unused and
 * the three the runtime keeps (process, cycle counter, micro-step counter). */
#include <stdint.h>

#include "products/qv_products.h"
#include "runtime/debug/qv_debug.h"
#include "runtime/executive/qv_executive.h"

/* ---- Layout of revision 3 ------------------------------------------------------------ */

enum {
    kOffsetsAt = 20276, /* offsetBool .. offsetChar in the header */
    kExecstatus = 311,  /* the integer control block */
    kModelBools = 5,    /* a model's booleans begin after five control slots */
    kModelInts = 212,   /* ... its integers after 212 from execstatus */
    kModelReals = 7,
    kModelChars = 53,
};

static const int32_t kCounts[4] = {7, 529, 17, 53}; /* slots per area */

static unsigned char *areaStart(int area) {
    return memHeader + *(int32_t *)(memHeader + kOffsetsAt + 4 * area);
}
static unsigned char *boolAt(int i) { return areaStart(0) + 2 * i; }
static int32_t *intAt(int i) { return (int32_t *)(areaStart(1) + 12 * i); }
static float *realAt(int i) { return (float *)(areaStart(2) + 12 * i); }
static unsigned char *charAt(int i) { return areaStart(3) + 4 * i; }

/* ---- The model's globals ----------------------------------------------------------------- */

QV_Bases self;
int32_t self_num;
int32_t lv_iteration_step;
int32_t sdk_model__num;

unsigned char *sdk_model_Run, *sdk_model_Lamp; /* the interface, bound by the walk */
static int32_t *Every, *Flashes, *Wait;         /* own variables */

/* No actors or products: the object table is empty. */
ActorProductEntry TableActeursProduits[1];
int32_t NbActeurs = 0;
int32_t NbProduits = 0;
int32_t NbActeursEtProduits = 0;

/* ---- The walk: every cycle takes the same slots in the same order ---------------------- */

void memorySizeInit(int32_t *minSize, int32_t *maxSize, int32_t *memSize) {
    for (int k = 0; k < 4; ++k) {
        minSize[k] = 0;
        maxSize[k] = kCounts[k];
        memSize[k] = kCounts[k];
    }
}

void memoryStartInit(QV_Bases *bases) {
    bases->boolBase += 2 * (minBool + kModelBools);
    bases->intBase += 12 * (minInt + kModelInts);
    bases->realBase += 12 * (minFloat + kModelReals);
    bases->charBase += 4 * (minChar + kModelChars);
}

void inputOutputVariablesInit(void) {
    sdk_model_Run = self.boolBase;
    self.boolBase += 2;
    sdk_model_Lamp = self.boolBase;
    self.boolBase += 2;
}

static void bindOwnVariables(void) {
    Every = (int32_t *)self.intBase;
    Flashes = (int32_t *)(self.intBase + 12);
    Wait = (int32_t *)(self.intBase + 24);
}

static void advancePastInstance(void) { self.intBase += 12 * 3; }

/* ---- The behaviour ------------------------------------------------------------------------ */

static int32_t sfp__sdk_model_init(void) {
    bindOwnVariables();
    *Every = 4;
    *Wait = 4;
    advancePastInstance();
    return 0;
}

static int32_t sfp__sdk_model(void) {
    if (lv_iteration_step != 0) {
        advancePastInstance();
        return 0;
    }
    bindOwnVariables();
    if (*sdk_model_Run & 1) {
        if (--*Wait <= 0) {
            *sdk_model_Lamp ^= 1u;
            if (*sdk_model_Lamp & 1) *Flashes += 1;
            *Wait = *Every > 0 ? *Every : 1;
        }
    } else {
        *sdk_model_Lamp &= (unsigned char)~1u;
    }
    /* Outputs are posted, so that a supervisor's forcing wins over the model. */
    QV_post_bool(sdk_model_Lamp);
    QV_post_int(Flashes);
    advancePastInstance();
    return 0;
}

int32_t behaviorsInit(void) {
    int32_t saved = self_num;
    sdk_model__num = self_num;
    inputOutputVariablesInit();
    sfp__sdk_model_init();
    self_num = saved;
    return 0;
}

int32_t behaviorsStep(void) {
    int32_t saved = self_num;
    lv_iteration_step = 0;
    inputOutputVariablesInit();
    sdk_model__num = self_num;
    int32_t r = sfp__sdk_model();
    if (r != 0) return r;
    self_num = saved;
    return 0;
}

/* ---- Generated initialisation ---------------------------------------------------------- */

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
    static const char name[] = "sdk_model";
    QV_Float_Init(memHeader, 10, 50000.0f); /* simuperiod: 50 ms */
    QV_Char_Init(memHeader, 0, 0);           /* taskname: capacity 50, then the name */
    QV_Char_Init(memHeader, 1, 50);
    int k = 0;
    for (; name[k] != 0; ++k) QV_Char_Init(memHeader, 3 + k, name[k]);
    QV_Char_Init(memHeader, 3 + k, 0);
    QV_Bool_Init(memHeader, 3, 1); /* allowpreconditions, allowpostconditions */
    QV_Bool_Init(memHeader, 4, 1);
}

void controlVariablesAccessInitialization(void) {
    traceon = boolAt(0);
    resettrace = boolAt(1);
    tracesnapshop = boolAt(2);
    allowpreconditions = boolAt(3);
    allowpostconditions = boolAt(4);
    execstatus = intAt(kExecstatus);
    bpnoline = intAt(kExecstatus + 1);
    bpnoinstance = intAt(kExecstatus + 103);
    bpcurrentinstance = intAt(kExecstatus + 205);
    bpcurrentlocation = intAt(kExecstatus + 206);
    bpcurrentprepostcode = intAt(kExecstatus + 207);
    bpcurrenttypeerror = intAt(kExecstatus + 208);
    bpcurrentrank = intAt(kExecstatus + 209);
    signature = intAt(kExecstatus + 210);
    generationtime = intAt(kExecstatus + 211);
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
void initStartingMode(int32_t *status) { *status = 1; /* STOP: wait for a supervisor */ }
int32_t getSignature(void) { return 20240601; }
int32_t getGenerationTime(void) { return 1717200000; }
