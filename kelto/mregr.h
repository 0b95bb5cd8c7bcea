// Robust regression of every channel of a window on the other channels: the
// fast form, bit for bit the plain one (mregr_plain.h).
#pragma once

#include "workspace.h"

namespace rb {

// X, XPRED: M by L, column-major. Writes RSQ(1..M) and, for every channel i,
// XPRED(i, JSTART..JSTART+NWIN-1) when JSTART == JFIRST, else only
// XPRED(i, JSTART+NWIN-1).
void MREGR(const float* X, float* XPRED, int JFIRST, int M, int L, int NWIN, int JSTART,
           float* RSQ, Workspace& ws);

}  // namespace rb
