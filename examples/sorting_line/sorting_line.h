/* A sorting line, an example scene model written in C against the runtime's headers.
 *
 * A conveyor carries products towards a stop. Boxes that reach the stop are pushed off
 * sideways by a pusher into a bin; trays, each carrying a part, make the stop open and
 * ride on to the end of the conveyor, where they fall into a chute. The part follows its
 * tray with joint2Object; the tray's contact filter ignores parts, so only the part hears
 * of their contact. Z is up; lengths in metres.
 *
 * The model declares its variables and objects in one table (sorting_line.c), from which
 * the SDK gives them their slots and writes the program's symbol description. This header
 * holds the scene's dimensions and kinds, and, for tests that read the image directly,
 * where the table's order puts the variables and the objects. */
#ifndef SORTING_LINE_H
#define SORTING_LINE_H

/* First slot of the model in each area (revision 3 image): the control slots come first. */
#define SL_BOOL_BASE 5
#define SL_INT_BASE 523
#define SL_REAL_BASE 17
#define SL_CHAR_BASE 53

/* The top model's booleans: two inputs, four outputs. */
enum {
    SL_CONVEYOR_ON,  /* in: the belt runs */
    SL_FEED,         /* in: new products are put on the belt */
    SL_BOX_AT_STOP,  /* out: a box lies against the stop */
    SL_TRAY_AT_STOP, /* out: a tray lies against the stop */
    SL_PUSHER_MOVING,
    SL_STOP_OPEN,
    SL_TOP_BOOLS
};

/* The top model's integers: four counters, then internal state. */
enum {
    SL_CREATED,
    SL_DELIVERED,       /* trays that reached the chute */
    SL_REJECTED,        /* boxes that reached the bin */
    SL_PARTS_DELIVERED, /* parts that reached the chute on their tray */
    SL_FEED_TIMER,
    SL_STOP_TIMER,
    SL_PUSH_PHASE,
    SL_NEXT_KIND,
    SL_TOP_INTS
};

/* The top model's reals: where the last box and the last tray ended (origin corner). */
enum {
    SL_LAST_REJECTED_X,
    SL_LAST_REJECTED_Y,
    SL_LAST_REJECTED_Z,
    SL_LAST_DELIVERED_X,
    SL_LAST_DELIVERED_Y,
    SL_LAST_DELIVERED_Z,
    SL_TOP_REALS
};

/* Objects: the actors, then four entries of each product kind. */
enum { SL_CONVEYOR, SL_STOP, SL_PUSHER, SL_BIN, SL_CHUTE, SL_ACTORS };
#define SL_PER_KIND 4
#define SL_FIRST_PART SL_ACTORS
#define SL_FIRST_TRAY (SL_FIRST_PART + SL_PER_KIND)
#define SL_FIRST_BOX (SL_FIRST_TRAY + SL_PER_KIND)
#define SL_OBJECTS (SL_FIRST_BOX + SL_PER_KIND)

/* Each object owns one boolean (its model's: resting on something this cycle), two
 * integers (the status, then one spare) and sixteen reals (its placement matrix). */
#define SL_OBJECT_BOOL(k) (SL_BOOL_BASE + SL_TOP_BOOLS + (k))
#define SL_OBJECT_INT(k) (SL_INT_BASE + SL_TOP_INTS + 2 * (k))
#define SL_OBJECT_MATRIX(k) (SL_REAL_BASE + SL_TOP_REALS + 16 * (k))

/* Kinds (the entries' kind identifiers) and the actors' object numbers. */
enum {
    SL_KIND_CONVEYOR = 10,
    SL_KIND_STOP,
    SL_KIND_PUSHER,
    SL_KIND_BIN,
    SL_KIND_CHUTE,
    SL_KIND_PART = 20,
    SL_KIND_TRAY,
    SL_KIND_BOX
};
enum { SL_NUMBER_CONVEYOR = 101, SL_NUMBER_STOP, SL_NUMBER_PUSHER, SL_NUMBER_BIN, SL_NUMBER_CHUTE };

/* The scene. */
#define SL_BELT_LENGTH 8.0
#define SL_BELT_TOP 0.5
#define SL_BELT_SPEED 0.05 /* per cycle */
#define SL_STOP_X 6.0
#define SL_STOP_LIFT 1.0
#define SL_STOP_OPEN_CYCLES 30
#define SL_PUSHER_REST_Y 1.0
#define SL_PUSHER_OUT_Y (-0.7)
#define SL_PUSH_SPEED 0.1
#define SL_FALL_SPEED 0.1
#define SL_FEED_PERIOD 40
#define SL_BIN_X 4.6
#define SL_BIN_Y (-1.6)
#define SL_BIN_DX 1.8
#define SL_BIN_DY 1.4
#define SL_BIN_TOP 0.0
#define SL_CHUTE_X 8.05
#define SL_CHUTE_DX 1.5
#define SL_CHUTE_TOP 0.3
#define SL_BOX_SIZE 0.5
#define SL_TRAY_SIZE 0.6
#define SL_TRAY_HEIGHT 0.1
#define SL_PART_SIZE 0.3
/* A part sits this much into its tray: placements are stored as REAL, and a part laid
 * exactly on the tray's top face can end up a rounding error above it, apart. */
#define SL_PART_SINK 0.001

#endif /* SORTING_LINE_H */
