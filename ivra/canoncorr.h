// Canonical correlations of every series with the others from a window's
// second-moment matrix, and the two matrix helpers under it.
#pragma once

namespace cc {

// CovMat: N by N (kept). CanWeights: N rows by N-1 columns, leading dimension
// N: row k holds the unit-length canonical weights of the other series of k in
// the order 2, ..., k-1, 1, k+1, ..., N. CanCorr2: N squared correlations.
void CANONCORR(const float* CovMat, int N, float* CanWeights, float* CanCorr2);

// AB (Na by Mb) = A (Na by Ma) * B (Nb by Mb); stops the program when Ma != Nb.
void MATMUL(const float* A, int Na, int Ma, const float* B, int Nb, int Mb, float* AB);

// R = U diag(sqrt(s)) U^T with A = U diag(s) V^T; A (N by N) kept.
void MATSQR(int N, const float* A, float* R);

}  // namespace cc
