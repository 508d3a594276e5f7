// The object table of actors and products, as generated model code lays it out. The
// three component programs declare no actors or products.
#pragma once

#include <cstdint>

namespace qv::models {

struct ActorProductEntry {
    int32_t boolIndex, intIndex, realIndex, charIndex;
    unsigned char *boolBase, *intBase, *realBase, *charBase;
    int32_t kind;                  // equal for the entries of one model, never 0 or 1
    int32_t (*model)(void);        // the actor's or product's model; its result is ignored
#if QV_REVISION == 3
    int32_t (*contactFilter)(void);
#endif
    int32_t initialStatus;
    int32_t objectNumber;
    double box[6];  // origin corner, then far corner, as of the last product step
};

}  // namespace qv::models

// Defined by the model code (models/glue/program.cpp): one unused entry, counts 0.
extern "C" {
extern qv::models::ActorProductEntry TableActeursProduits[];
extern int32_t NbActeurs;
extern int32_t NbProduits;
extern int32_t NbActeursEtProduits;
}
