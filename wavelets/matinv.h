// Matrix inversion by Gauss-Jordan elimination with pivot search along rows.
#pragma once

#include <vector>

namespace wv {

// Inverts the N by N matrix A in place. On return N holds the number of pivot
// steps completed (the order after a full inversion); a zero pivot row stops
// early and leaves A partly reduced. IPERM: N ints of work.
void INVRSM(float* A, int& N, int* IPERM);

// AINV = inverse of A (A unchanged), through INVRSM on a copy; no status.
void MATRINV(int N, const float* A, float* AINV);

// Work storage of the MATRINV below, kept by the caller from call to call.
struct MatInvWork {
  std::vector<int> iperm;
  std::vector<unsigned char> going;
};

// MATRINV without allocations: the inversion runs in AINV itself, with the
// column operations two elements at a time; AINV is bit for bit the same.
void MATRINV(int N, const float* A, float* AINV, MatInvWork& work);

// The same inversion of `count` independent N by N matrices, each held in
// AINV[c] on entry and inverted in place, side by side.
void MATRINVBatch(int count, int N, float* const* AINV, MatInvWork& work);

}  // namespace wv
