// Canonical correlations of every series with the others from a window's
// second-moment matrix, and the two matrix helpers under it.
#pragma once

#include <vector>

#include "matinv.h"
#include "rsvd.h"

namespace cc {

// Work storage of CANONCORR and MATSQR, kept by the caller from window to
// window so that the calls allocate nothing; sized on first use. CANONCORR
// works on the N series of every matrix side by side, so most arrays hold a
// block per series and matrix.
struct CanonWork {
  std::vector<float> s22inv, s22isq, s12, s21, t1, t2, t3, mm, s, u;  // CANONCORR
  std::vector<float> w, sv, su, st, sut;                              // MATSQR
  std::vector<float*> a, vals, vecs;  // the blocks handed to the inversions and decompositions
  wv::RsvdWork svd;
  wv::MatInvWork inv;
};

// CovMat: N by N (kept). CanWeights: N rows by N-1 columns, leading dimension
// N: row k holds the unit-length canonical weights of the other series of k in
// the order 2, ..., k-1, 1, k+1, ..., N. CanCorr2: N squared correlations.
void CANONCORR(const float* CovMat, int N, float* CanWeights, float* CanCorr2, CanonWork& work);
// The same for `count` matrices CovMat[c] of one order N side by side, with
// the results of matrix c in CanWeights[c] and CanCorr2[c].
void CANONCORRBatch(int count, const float* const* CovMat, int N, float* const* CanWeights,
                    float* const* CanCorr2, CanonWork& work);
void CANONCORR(const float* CovMat, int N, float* CanWeights, float* CanCorr2);

// AB (Na by Mb) = A (Na by Ma) * B (Nb by Mb); stops the program when Ma != Nb.
void MATMUL(const float* A, int Na, int Ma, const float* B, int Nb, int Mb, float* AB);

// R = U diag(sqrt(s)) U^T with A = U diag(s) V^T; A (N by N) kept.
void MATSQR(int N, const float* A, float* R, CanonWork& work);
void MATSQR(int N, const float* A, float* R);

// The same three routines in their straightforward form, with the work arrays
// of every call allocated on entry: the reference of the forms above, which
// give the same results bit for bit.
namespace plain {
void CANONCORR(const float* CovMat, int N, float* CanWeights, float* CanCorr2);
void MATMUL(const float* A, int Na, int Ma, const float* B, int Nb, int Mb, float* AB);
void MATSQR(int N, const float* A, float* R);
}  // namespace plain

}  // namespace cc
