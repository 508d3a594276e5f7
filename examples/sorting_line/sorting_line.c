/* The sorting line of sorting_line.h: a model written in C on the SDK, with actors,
 * products, product models, contact filters and the controller of the line as its step. */
#include <math.h>
#include <stddef.h>
#include <stdint.h>

#include "sdk/qv_model.h"
#include "sorting_line.h"

/* ---- The declaration table ------------------------------------------------------------------
 * The line's variables, then its actors and products (each object owns one boolean, its
 * status and a spare integer, and its placement). The slots that sorting_line.h names follow
 * from this order. */

#define SORTING_LINE_TABLE(VARIABLE, OBJECT)                                                          \
    VARIABLE(conveyorOn, BOOL, INPUT, 1, 1, "the belt runs")                                          \
    VARIABLE(feed, BOOL, INPUT, 1, 1, "new products are put on the belt")                             \
    VARIABLE(boxAtStop, BOOL, OUTPUT, 0, 1, "a box lies against the stop")                            \
    VARIABLE(trayAtStop, BOOL, OUTPUT, 0, 1, "a tray lies against the stop")                          \
    VARIABLE(pusherMoving, BOOL, OUTPUT, 0, 1, "the pusher is out or on its way")                    \
    VARIABLE(stopOpen, BOOL, OUTPUT, 0, 1, "the stop is lifted")                                      \
    VARIABLE(created, DINT, OUTPUT, 0, 1, "products put on the belt")                                 \
    VARIABLE(delivered, DINT, OUTPUT, 0, 1, "trays that reached the chute")                           \
    VARIABLE(rejected, DINT, OUTPUT, 0, 1, "boxes that reached the bin")                              \
    VARIABLE(partsDelivered, DINT, OUTPUT, 0, 1, "parts that reached the chute on their tray")        \
    VARIABLE(lastRejected, REAL, OUTPUT, 0, 3, "where the last box ended (origin corner x, y, z)")    \
    VARIABLE(lastDelivered, REAL, OUTPUT, 0, 3, "where the last tray ended (origin corner x, y, z)")  \
    VARIABLE(feedTimer, DINT, INTERNAL, 0, 1, "cycles since the last product was fed")                \
    VARIABLE(stopTimer, DINT, INTERNAL, 0, 1, "cycles the stop stays open")                           \
    VARIABLE(pushPhase, DINT, INTERNAL, 0, 1, "0 at rest, 1 pushing out, 2 coming back")              \
    VARIABLE(nextKind, DINT, INTERNAL, 0, 1, "0 a box comes next, 1 a tray with its part")            \
    OBJECT(conveyor, ACTOR, SL_KIND_CONVEYOR, 1, "#7f8c8d", actorModel, NULL, SL_NUMBER_CONVEYOR)     \
    OBJECT(stop, ACTOR, SL_KIND_STOP, 1, "#c0392b", actorModel, NULL, SL_NUMBER_STOP)                 \
    OBJECT(pusher, ACTOR, SL_KIND_PUSHER, 1, "#2980b9", actorModel, NULL, SL_NUMBER_PUSHER)           \
    OBJECT(bin, ACTOR, SL_KIND_BIN, 1, "#8e44ad", actorModel, NULL, SL_NUMBER_BIN)                    \
    OBJECT(chute, ACTOR, SL_KIND_CHUTE, 1, "#16a085", actorModel, NULL, SL_NUMBER_CHUTE)              \
    OBJECT(part, PRODUCT, SL_KIND_PART, SL_PER_KIND, "#f1c40f", partModel, partFilter, 0)             \
    OBJECT(tray, PRODUCT, SL_KIND_TRAY, SL_PER_KIND, "#bdc3c7", trayModel, trayFilter, 0)             \
    OBJECT(box, PRODUCT, SL_KIND_BOX, SL_PER_KIND, "#d35400", boxModel, boxFilter, 0)

QV_DECLARE_VARIABLES(SORTING_LINE_TABLE)

static int isSet(const unsigned char *b) { return qv_bool(b); }
static void setBool(unsigned char *b, int value) { qv_set_bool(b, value); }
static void addTo(int32_t *counter, int32_t n) { qv_set_int(counter, *counter + n); }

/* ---- The objects' models ------------------------------------------------------------------- */

static int32_t actorModel(void) { return 0; }
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

static void remember(float *where) {
    qv_set_real(qv_real_element(where, 0), (float)getPositionX(myself));
    qv_set_real(qv_real_element(where, 1), (float)getPositionY(myself));
    qv_set_real(qv_real_element(where, 2), (float)getPositionZ(myself));
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

/* ---- Start-up ---------------------------------------------------------------------------------- */

static int32_t controlLine(void) {
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

/* An actor's initial placement: unrotated, origin corner and sizes. */
static void placeActor(int k, double x, double y, double z, double dx, double dy, double dz) {
    const double m[16] = {dx, 0, 0, x, 0, dy, 0, y, 0, 0, dz, z, 0, 0, 0, 1};
    for (int e = 0; e < 16; ++e) QV_Float_Init(memHeader, SL_OBJECT_MATRIX(k) + e, (float)m[e]);
}

/* After the object table has put every object at the unit cube. */
static void placeActors(void) {
    placeActor(QV_OBJECT_conveyor, 0, 0, 0, SL_BELT_LENGTH, 1, SL_BELT_TOP);
    placeActor(QV_OBJECT_stop, SL_STOP_X, 0, SL_BELT_TOP, 0.1, 1, 0.4);
    placeActor(QV_OBJECT_pusher, 5.0, SL_PUSHER_REST_Y, SL_BELT_TOP, 0.8, 0.1, 0.4);
    placeActor(QV_OBJECT_bin, SL_BIN_X, SL_BIN_Y, SL_BIN_TOP - 1, SL_BIN_DX, SL_BIN_DY, 1);
    placeActor(QV_OBJECT_chute, SL_CHUTE_X, 0, SL_CHUTE_TOP - 1, SL_CHUTE_DX, 1, 1);
}

QV_MODEL(sorting_line, SORTING_LINE_TABLE, .step = controlLine, .initialValues = placeActors,
         .signature = 20240611, .generationTime = 1718000000)
