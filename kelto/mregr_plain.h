// Robust regression of every channel of a window on the other channels, in
// its plain form: the reference of the fast form (mregr.h) and what
// Kelto_plain runs.
#pragma once

#include "robust_plain.h"

namespace rb::plain {

// X, XPRED: M by L, column-major. Writes RSQ(1..M) and, for every channel i,
// XPRED(i, JSTART..JSTART+NWIN-1) when JSTART == JFIRST, else only
// XPRED(i, JSTART+NWIN-1).
void MREGR(const float* X, float* XPRED, int JFIRST, int M, int L, int NWIN, int JSTART,
           float* RSQ);

// The same, counting line searches and criterion evaluations into `trace`
// (which may be null).
void MREGR(const float* X, float* XPRED, int JFIRST, int M, int L, int NWIN, int JSTART,
           float* RSQ, SearchTrace* trace);

}  // namespace rb::plain
