// Matrix inversion by Gauss-Jordan elimination with pivot search along rows.
#pragma once

namespace wv {

// Inverts the N by N matrix A in place. On return N holds the number of pivot
// steps completed (the order after a full inversion); a zero pivot row stops
// early and leaves A partly reduced. IPERM: N ints of work.
void INVRSM(float* A, int& N, int* IPERM);

// AINV = inverse of A (A unchanged), through INVRSM on a copy; no status.
void MATRINV(int N, const float* A, float* AINV);

}  // namespace wv
