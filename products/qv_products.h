/* Products at the boundary: the object table of actors and products that the model code
 * defines, the product lifecycle, the current object context and the per-cycle product
 * step. C linkage, usable from C and C++ model code. */
#ifndef QV_PRODUCTS_H
#define QV_PRODUCTS_H

#include <stdint.h>

#include "geometry/qv_geometry.h"
#include "runtime/executive/qv_executive.h"

#ifndef QV_REVISION
#error "QV_REVISION must be defined (1, 2 or 3)"
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One actor or product. The model code fills the indexes, the kind, the model (and,
 * revision 3, the contact filter), the initial status and the object number;
 * produitsInit fills the bases, the product step the box. */
typedef struct ActorProductEntry {
    int32_t boolIndex, intIndex, realIndex, charIndex;
    unsigned char *boolBase, *intBase, *realBase, *charBase;
    int32_t kind;                   /* equal for the entries of one model, never 0 or 1 */
    int32_t (*model)(void);         /* the actor's or product's model; its result is ignored */
#if QV_REVISION == 3
    int32_t (*contactFilter)(void); /* nonzero: tell me about contacts with otherModel */
#endif
    int32_t initialStatus;
    int32_t objectNumber;
    double box[6]; /* origin corner, then far corner, as of the last product step */
} ActorProductEntry;

/* Object status, integer slot 0 of the object. */
enum { QV_PRESENT = 1, QV_REMOVED = 2 };

/* ---- Owned by the model code -------------------------------------------------- */

extern ActorProductEntry TableActeursProduits[];
extern int32_t NbActeurs;           /* actors: entries 0 .. NbActeurs - 1 */
extern int32_t NbProduits;          /* not read by the runtime */
extern int32_t NbActeursEtProduits; /* products: entries NbActeurs .. NbActeursEtProduits - 1 */

/* ---- Owned by the runtime ------------------------------------------------------- */

/* The current object context of a product model call (self is the model code's). */
extern int32_t myself;         /* the product being stepped, or the actor of setMyselfFor */
extern int32_t other;          /* the other object of a contact call */
extern QV_Bases otherPointers; /* its bases */
extern int32_t otherModel;     /* 0 own step, 1 end, else the other object's kind */

/* Per object, the placement it had when it was last followed by joint2Object
 * (NbActeursEtProduits + 1 matrices, all zero until then). */
extern QV_Matrix *tabOldJointedMatrix;

/* Binds the object table's entries to the image at start-up. */
void produitsInit(void);

/* Brings a removed product of the given kind into the scene, unrotated, origin corner at
 * (x, y, z) and sizes (dx, dy, dz); its object index, or -1 when none of that kind is left. */
int32_t prodNew(int32_t model, double x, double y, double z, double dx, double dy, double dz);
/* Removes an object; its index, or -1 when it is out of range or already removed. */
int32_t prodKill(int32_t index);
/* The entry's kind, or -1 out of range. */
int32_t prodGetModel(int32_t index);
/* The object's status, or -1 out of range. */
int32_t prodGetStatus(int32_t index);
/* myself = the first actor whose object number is `number` (unchanged when none is). */
void setMyselfFor(int32_t number);

/* Once per cycle: refreshes every object's box, runs the product models and reports
 * contacts. */
void productsStep(void);

#ifdef __cplusplus
}
#endif

#endif /* QV_PRODUCTS_H */
