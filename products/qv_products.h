/* Products at the boundary: the object table and the per-cycle product step. */
#ifndef QV_PRODUCTS_H
#define QV_PRODUCTS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Binds the object table's entries to the image at start-up. */
void produitsInit(void);

/* Once per cycle: refreshes every object's box, runs the product models and reports
 * contacts. */
void productsStep(void);

#ifdef __cplusplus
}
#endif

#endif /* QV_PRODUCTS_H */
