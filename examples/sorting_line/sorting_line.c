/* The sorting line of sorting_line.h: a model written by hand in C, the way a generator
 * would write it, with actors, products, product models, contact filters and the
 * controller of the line in its behaviours step. */
#include <math.h>
#include <stddef.h>
#include <stdint.h>

#include "examples/sorting_line/sorting_line.h"
#include "products/qv_products.h"
#include "runtime/debug/qv_debug.h"

/* ---- Runtime globals this model reads -------------------------------------------- */

extern unsigned char *memHeader;

/* ---- Model globals ------------------------------------------------------------------ */

QV_Bases self;
int32_t self_num;
int32_t lv_iteration_step;

static unsigned char *conveyorOn, *feed, *boxAtStop, *trayAtStop, *pusherMoving, *stopOpen;
static int32_t *created, *delivered, *rejected, *partsDelivered;
static int32_t *feedTimer, *stopTimer, *pushPhase, *nextKind;
static float *lastRejected[3], *lastDelivered[3];

static const char kTaskName[] = "sorting_line";

/* ---- Slots ----------------------------------------------------------------------------- */

static unsigned char *areaStart(int area) {
    return memHeader + *(int32_t *)(memHeader + 20276 + 4 * area);
}
static unsigned char *boolAt(int i) { return areaStart(0) + 2 * i; }
static int32_t *intAt(int i) { return (int32_t *)(areaStart(1) + 12 * i); }
static float *realAt(int i) { return (float *)(areaStart(2) + 12 * i); }
static unsigned char *charAt(int i) { return areaStart(3) + 4 * i; }

static int isSet(const unsigned char *b) { return *b & 1; }
static void setBool(unsigned char *b, int value) {
    *b = (unsigned char)((*b & ~1u) | (value ? 1u : 0u));
    QV_post_bool(b);
}
static void addTo(int32_t *counter, int32_t n) {
    *counter += n;
    QV_post_int(counter);
}

/* ---- The object table ------------------------------------------------------------------ */

static int32_t actorModel(void) { return 0; }
static int32_t partModel(void);
static int32_t trayModel(void);
static int32_t boxModel(void);
static int32_t partFilter(void);
static int32_t trayFilter(void);
static int32_t boxFilter(void);

#define ENTRY(k, KIND, MODEL, FILTER, STATUS, NUMBER)                                    \
    {.boolIndex = SL_OBJECT_BOOL(k), .intIndex = SL_OBJECT_INT(k), .realIndex = SL_OBJECT_MATRIX(k), \
     .charIndex = SL_CHAR_BASE, .kind = KIND, .model = MODEL, .contactFilter = FILTER,     \
     .initialStatus = STATUS, .objectNumber = NUMBER}
#define PRODUCTS(FIRST, KIND, MODEL, FILTER)                                                  \
    ENTRY(FIRST, KIND, MODEL, FILTER, QV_REMOVED, 0), ENTRY(FIRST + 1, KIND, MODEL, FILTER, QV_REMOVED, 0), \
    ENTRY(FIRST + 2, KIND, MODEL, FILTER, QV_REMOVED, 0), ENTRY(FIRST + 3, KIND, MODEL, FILTER, QV_REMOVED, 0)

ActorProductEntry TableActeursProduits[SL_OBJECTS] = {
    ENTRY(SL_CONVEYOR, SL_KIND_CONVEYOR, actorModel, NULL, QV_PRESENT, SL_NUMBER_CONVEYOR),
    ENTRY(SL_STOP, SL_KIND_STOP, actorModel, NULL, QV_PRESENT, SL_NUMBER_STOP),
    ENTRY(SL_PUSHER, SL_KIND_PUSHER, actorModel, NULL, QV_PRESENT, SL_NUMBER_PUSHER),
    ENTRY(SL_BIN, SL_KIND_BIN, actorModel, NULL, QV_PRESENT, SL_NUMBER_BIN),
    ENTRY(SL_CHUTE, SL_KIND_CHUTE, actorModel, NULL, QV_PRESENT, SL_NUMBER_CHUTE),
    PRODUCTS(SL_FIRST_PART, SL_KIND_PART, partModel, partFilter),
    PRODUCTS(SL_FIRST_TRAY, SL_KIND_TRAY, trayModel, trayFilter),
    PRODUCTS(SL_FIRST_BOX, SL_KIND_BOX, boxModel, boxFilter),
};
int32_t NbActeurs = SL_ACTORS;
int32_t NbProduits = SL_OBJECTS - SL_ACTORS;
int32_t NbActeursEtProduits = SL_OBJECTS;

/* ---- Product models ----------------------------------------------------------------------
 * Called by the product step with self on the product's variables and myself its index:
 * otherModel 0 (own step), the kind of an object it touches (other, otherPointers), 1 (end). */

/* The product's own boolean: it rested on something in this cycle. */
static unsigned char *supported(void) { return self.boolBase; }

static int restsOn(int32_t me, int32_t support) {
    return isMyCenterIncludedInXYOfOther(me, support) &&
           fabs(getPositionZ(me) - (getPositionZ(support) + getSizeZ(support))) < 0.01;
}

/* On the belt: carried along while the belt runs. */
static void rideBelt(void) {
    if (!restsOn(myself, other)) return;
    *supported() |= 1u;
    if (isSet(conveyorOn)) moveXBy(myself, SL_BELT_SPEED);
}

/* Against the stop, or behind another product: back to touching it. */
static void blockedBy(int32_t obstacle) {
    if (getPositionX(obstacle) > getPositionX(myself)) moveXTo(myself, getPositionX(obstacle) - getSizeX(myself));
}

static void fallUnlessSupported(void) {
    if (!(*supported() & 1u)) moveZBy(myself, -SL_FALL_SPEED);
    if (getPositionZ(myself) < -3.0) prodKill(myself); /* lost */
}

static void remember(float *where[3]) {
    *where[0] = (float)getPositionX(myself);
    *where[1] = (float)getPositionY(myself);
    *where[2] = (float)getPositionZ(myself);
}

static int32_t boxModel(void) {
    switch (otherModel) {
        case 0: *supported() &= (unsigned char)~1u; break;
        case SL_KIND_CONVEYOR: rideBelt(); break;
        case SL_KIND_STOP:
            blockedBy(other);
            setBool(boxAtStop, 1);
            break;
        case SL_KIND_PUSHER: {
            /* The plate's face comes in along -Y: the box goes before it. */
            const double overlap = getPositionY(myself) + getSizeY(myself) - getPositionY(other);
            if (overlap > 0.0) moveRelativeAnotherYBy(myself, other, -overlap);
            break;
        }
        case SL_KIND_BIN:
            remember(lastRejected);
            addTo(rejected, 1);
            prodKill(myself);
            break;
        case SL_KIND_BOX:
        case SL_KIND_TRAY: blockedBy(other); break;
        case 1: fallUnlessSupported(); break;
        default: break;
    }
    return 0;
}

static int32_t trayModel(void) {
    switch (otherModel) {
        case 0: *supported() &= (unsigned char)~1u; break;
        case SL_KIND_CONVEYOR: rideBelt(); break;
        case SL_KIND_STOP:
            blockedBy(other);
            setBool(trayAtStop, 1);
            break;
        case SL_KIND_CHUTE:
            remember(lastDelivered);
            addTo(delivered, 1);
            prodKill(myself);
            break;
        case SL_KIND_BOX:
        case SL_KIND_TRAY: blockedBy(other); break;
        case 1: fallUnlessSupported(); break;
        default: break;
    }
    return 0;
}

/* A part rides its tray: it follows the tray's motion since the previous call. Parts come
 * before trays in the table, so a part is stepped before its tray moves: it follows the
 * tray one cycle late. */
static int32_t partModel(void) {
    switch (otherModel) {
        case 0: *supported() &= (unsigned char)~1u; break;
        case SL_KIND_TRAY:
            if (restsOn(myself, other)) {
                *supported() |= 1u;
                joint2Object(myself, other, getPositionX(other), getPositionY(other), getPositionZ(other));
            }
            break;
        case SL_KIND_CHUTE:
        case SL_KIND_BIN:
            addTo(partsDelivered, 1);
            prodKill(myself);
            break;
        case 1: fallUnlessSupported(); break;
        default: break;
    }
    return 0;
}

/* A part cares only about its tray and where it may end. */
static int32_t partFilter(void) {
    return otherModel == SL_KIND_TRAY || otherModel == SL_KIND_CHUTE || otherModel == SL_KIND_BIN;
}
/* What rides on a tray or a box is none of their business. */
static int32_t trayFilter(void) { return otherModel != SL_KIND_PART; }
static int32_t boxFilter(void) { return otherModel != SL_KIND_PART; }

/* ---- The controller of the line (the top model's behaviour) -------------------------------- */

static int32_t actor(int32_t number) {
    setMyselfFor(number);
    return myself;
}

/* A tray against the stop lifts it for a while. */
static void controlStop(int32_t stop) {
    if (*stopTimer > 0) {
        if (--*stopTimer == 0) {
            moveZTo(stop, SL_BELT_TOP);
            setBool(stopOpen, 0);
        }
    } else if (isSet(trayAtStop)) {
        moveZTo(stop, SL_BELT_TOP + SL_STOP_LIFT);
        *stopTimer = SL_STOP_OPEN_CYCLES;
        setBool(stopOpen, 1);
    }
}

/* A box against the stop starts a stroke of the pusher: out across the belt, then back. */
static void controlPusher(int32_t pusher) {
    switch (*pushPhase) {
        case 0:
            if (isSet(boxAtStop)) *pushPhase = 1;
            break;
        case 1:
            moveYBy(pusher, -SL_PUSH_SPEED);
            if (getPositionY(pusher) <= SL_PUSHER_OUT_Y + 1e-4) *pushPhase = 2;
            break;
        default:
            moveYBy(pusher, SL_PUSH_SPEED);
            if (getPositionY(pusher) >= SL_PUSHER_REST_Y - 1e-4) {
                moveYTo(pusher, SL_PUSHER_REST_Y);
                *pushPhase = 0;
            }
            break;
    }
    setBool(pusherMoving, *pushPhase != 0);
}

/* A tray enters with its part on it. The first joint2Object call stores the tray's new
 * placement (a tray entry used before still holds its old one, and the part may jump);
 * the part is then put where it belongs. */
static void feedTrayWithPart(void) {
    const double x = 0.2, y = 0.2;
    const int32_t tray = prodNew(SL_KIND_TRAY, x, y, SL_BELT_TOP, SL_TRAY_SIZE, SL_TRAY_SIZE, SL_TRAY_HEIGHT);
    if (tray < 0) return;
    const int32_t part = prodNew(SL_KIND_PART, 0, 0, 0, SL_PART_SIZE, SL_PART_SIZE, SL_PART_SIZE);
    if (part < 0) {
        prodKill(tray);
        return;
    }
    joint2Object(part, tray, x, y, SL_BELT_TOP);
    const double margin = (SL_TRAY_SIZE - SL_PART_SIZE) / 2;
    moveTo(part, x + margin, y + margin, SL_BELT_TOP + SL_TRAY_HEIGHT - SL_PART_SINK);
    addTo(created, 2);
}

static void feedBox(void) {
    if (prodNew(SL_KIND_BOX, 0.2, 0.25, SL_BELT_TOP, SL_BOX_SIZE, SL_BOX_SIZE, SL_BOX_SIZE) >= 0) addTo(created, 1);
}

static void feedProducts(void) {
    if (!isSet(feed) || ++*feedTimer < SL_FEED_PERIOD) return;
    *feedTimer = 0;
    if (*nextKind == 0)
        feedBox();
    else
        feedTrayWithPart();
    *nextKind ^= 1;
}

/* ---- The model contract ------------------------------------------------------------------ */

void memorySizeInit(int32_t *minimum, int32_t *maximum, int32_t *size) {
    static const int32_t counts[4] = {SL_BOOL_SLOTS, SL_INT_SLOTS, SL_REAL_SLOTS, SL_CHAR_SLOTS};
    for (int k = 0; k < 4; ++k) {
        minimum[k] = 0;
        maximum[k] = counts[k];
        size[k] = counts[k];
    }
}

void memoryStartInit(QV_Bases *bases) {
    bases->boolBase += 2 * SL_BOOL_BASE;
    bases->intBase += 12 * SL_INT_BASE;
    bases->realBase += 12 * SL_REAL_BASE;
    bases->charBase += 4 * SL_CHAR_BASE;
}

void inputOutputVariablesInit(void) {
    conveyorOn = boolAt(SL_BOOL_BASE + SL_CONVEYOR_ON);
    feed = boolAt(SL_BOOL_BASE + SL_FEED);
    boxAtStop = boolAt(SL_BOOL_BASE + SL_BOX_AT_STOP);
    trayAtStop = boolAt(SL_BOOL_BASE + SL_TRAY_AT_STOP);
    pusherMoving = boolAt(SL_BOOL_BASE + SL_PUSHER_MOVING);
    stopOpen = boolAt(SL_BOOL_BASE + SL_STOP_OPEN);
    created = intAt(SL_INT_BASE + SL_CREATED);
    delivered = intAt(SL_INT_BASE + SL_DELIVERED);
    rejected = intAt(SL_INT_BASE + SL_REJECTED);
    partsDelivered = intAt(SL_INT_BASE + SL_PARTS_DELIVERED);
}

int32_t behaviorsInit(void) {
    inputOutputVariablesInit();
    feedTimer = intAt(SL_INT_BASE + SL_FEED_TIMER);
    stopTimer = intAt(SL_INT_BASE + SL_STOP_TIMER);
    pushPhase = intAt(SL_INT_BASE + SL_PUSH_PHASE);
    nextKind = intAt(SL_INT_BASE + SL_NEXT_KIND);
    for (int k = 0; k < 3; ++k) {
        lastRejected[k] = realAt(SL_REAL_BASE + SL_LAST_REJECTED_X + k);
        lastDelivered[k] = realAt(SL_REAL_BASE + SL_LAST_DELIVERED_X + k);
    }
    return 0;
}

int32_t behaviorsStep(void) {
    lv_iteration_step = 0;
    const int32_t stop = actor(SL_NUMBER_STOP);
    const int32_t pusher = actor(SL_NUMBER_PUSHER);
    controlStop(stop);
    controlPusher(pusher);
    /* The products report again in this cycle's product step. */
    setBool(boxAtStop, 0);
    setBool(trayAtStop, 0);
    feedProducts();
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

/* An actor's initial placement: unrotated, origin corner and sizes. */
static void placeActor(int k, double x, double y, double z, double dx, double dy, double dz) {
    const double m[16] = {dx, 0, 0, x, 0, dy, 0, y, 0, 0, dz, z, 0, 0, 0, 1};
    for (int e = 0; e < 16; ++e) QV_Float_Init(memHeader, SL_OBJECT_MATRIX(k) + e, (float)m[e]);
}

void variablesInitialization(void) {
    QV_Float_Init(memHeader, 10, 50000.0f);
    QV_Char_Init(memHeader, 0, 0);
    QV_Char_Init(memHeader, 1, 50);
    int k = 0;
    for (; kTaskName[k] != 0; ++k) QV_Char_Init(memHeader, 3 + k, kTaskName[k]);
    QV_Char_Init(memHeader, 3 + k, 0);
    QV_Bool_Init(memHeader, 3, 1);
    QV_Bool_Init(memHeader, 4, 1);

    QV_Bool_Init(memHeader, SL_BOOL_BASE + SL_CONVEYOR_ON, 1);
    QV_Bool_Init(memHeader, SL_BOOL_BASE + SL_FEED, 1);
    for (int v = SL_BOX_AT_STOP; v < SL_TOP_BOOLS; ++v) QV_Bool_Init(memHeader, SL_BOOL_BASE + v, 0);
    for (int v = 0; v < SL_TOP_INTS; ++v) QV_Int_Init(memHeader, SL_INT_BASE + v, 0);
    for (int v = 0; v < SL_TOP_REALS; ++v) QV_Float_Init(memHeader, SL_REAL_BASE + v, 0.0f);

    placeActor(SL_CONVEYOR, 0, 0, 0, SL_BELT_LENGTH, 1, SL_BELT_TOP);
    placeActor(SL_STOP, SL_STOP_X, 0, SL_BELT_TOP, 0.1, 1, 0.4);
    placeActor(SL_PUSHER, 5.0, SL_PUSHER_REST_Y, SL_BELT_TOP, 0.8, 0.1, 0.4);
    placeActor(SL_BIN, SL_BIN_X, SL_BIN_Y, SL_BIN_TOP - 1, SL_BIN_DX, SL_BIN_DY, 1);
    placeActor(SL_CHUTE, SL_CHUTE_X, 0, SL_CHUTE_TOP - 1, SL_CHUTE_DX, 1, 1);
}

void controlVariablesAccessInitialization(void) {
    traceon = boolAt(0);
    resettrace = boolAt(1);
    tracesnapshop = boolAt(2);
    allowpreconditions = boolAt(3);
    allowpostconditions = boolAt(4);
    execstatus = intAt(311);
    bpnoline = intAt(311 + 1);
    bpnoinstance = intAt(311 + 103);
    bpcurrentinstance = intAt(311 + 205);
    bpcurrentlocation = intAt(311 + 206);
    bpcurrentprepostcode = intAt(311 + 207);
    bpcurrenttypeerror = intAt(311 + 208);
    bpcurrentrank = intAt(311 + 209);
    signature = intAt(311 + 210);
    generationtime = intAt(311 + 211);
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
void initExecutionMode(unsigned char *delay) { (void)delay; }
int32_t getSignature(void) { return 20240611; }
int32_t getGenerationTime(void) { return 1718000000; }
