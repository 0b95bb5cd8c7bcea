// Robust principal direction of a window of multichannel data, in its plain
// form: the reference of the fast form (robprinc.h) and what Kelto_plain runs.
#pragma once

#include "robust_plain.h"

namespace rb::plain {

// X: M by L, column-major; window columns I1..I2, N = I2-I1+1. Writes the unit
// result vector Y(1..M).
void ROBPRINC(const float* X, int M, int L, int I1, int I2, int N, float* Y);

// The same, counting line searches and probes into `trace` (which may be null).
void ROBPRINC(const float* X, int M, int L, int I1, int I2, int N, float* Y,
              SearchTrace* trace);

}  // namespace rb::plain
