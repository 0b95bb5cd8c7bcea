// Singular value decomposition A = U diag(S) V^T of an M by N single-precision
// matrix (M >= N) by Householder bidiagonalisation and implicit-shift QR.
#pragma once

#include <vector>

namespace wv {

// A: MDIM rows declared, N + NEXTRA columns (destroyed / extra columns
// transformed); S: N values, descending; U: MDIM by NU; V: NDIM by NV.
// For non-finite input, or when the sweeps do not converge, S and the
// requested columns of U and V are NaN.
void RSVD(float* A, int MDIM, int NDIM, int M, int N, int NEXTRA, int NU, int NV,
          float* S, float* U, float* V);

// Work storage of RSVDSquare: grown to the order when needed and kept by the
// caller from call to call, so that a run of calls allocates nothing.
struct RsvdWork {
  RsvdWork();
  // Step 1 four matrices at a time, and the rotations of U four rows at a
  // time, in AVX registers where the processor has AVX2; both ways give the
  // same bits.
  bool avx2;
  std::vector<float> colnrm, rownrm, offdiag;
  std::vector<double> sums;
  // The plane rotations of the columns of U, recorded during the sweeps of
  // each decomposition of a batch and applied to U after them.
  struct Rotation {
    int first, second;  // the columns
    double cs, sn;
  };
  std::vector<std::vector<Rotation>> rotations;
  std::vector<float> pairs;  // two matrices element by element
};

// The parts of a square decomposition a caller uses besides S.
enum class SvdParts {
  kUAndV,           // S, U and V
  kU,               // S and U; V is not touched
  kFirstColumnOfU,  // S and column 1 of U; columns 2..N of U are scratch, V is not touched
};

// The square call RSVD(A, N, N, N, N, 0, N, N, S, U, V), computing only the
// requested parts; each of them is bit for bit what RSVD delivers, except that
// a NaN may carry another sign (as the order of a product's operands decides).
void RSVDSquare(float* A, int N, SvdParts parts, float* S, float* U, float* V, RsvdWork& work);

// `count` independent square decompositions of order N, decomposition c
// exactly as RSVDSquare(A[c], N, parts, S[c], U[c], V[c], work) gives it. They
// are worked on side by side: the QR sweeps of one decomposition are a chain
// of dependent square roots and divisions, and those of several overlap. V may
// be null unless parts is kUAndV.
void RSVDSquareBatch(int count, int N, SvdParts parts, float* const* A, float* const* S,
                     float* const* U, float* const* V, RsvdWork& work);

}  // namespace wv
