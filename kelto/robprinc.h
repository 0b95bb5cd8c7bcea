// Robust principal direction of a window: the fast form, bit for bit the plain
// one (robprinc_plain.h).
#pragma once

#include "workspace.h"

namespace rb {

// X: M by L, column-major; window columns I1..I2, N = I2-I1+1. Writes the unit
// result vector Y(1..M).
void ROBPRINC(const float* X, int M, int L, int I1, int I2, int N, float* Y, Workspace& ws);

}  // namespace rb
