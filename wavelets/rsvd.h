// Singular value decomposition A = U diag(S) V^T of an M by N single-precision
// matrix (M >= N) by Householder bidiagonalisation and implicit-shift QR.
#pragma once

namespace wv {

// A: MDIM rows declared, N + NEXTRA columns (destroyed / extra columns
// transformed); S: N values, descending; U: MDIM by NU; V: NDIM by NV.
// For non-finite input, or when the sweeps do not converge, S and the
// requested columns of U and V are NaN.
void RSVD(float* A, int MDIM, int NDIM, int M, int N, int NEXTRA, int NU, int NV,
          float* S, float* U, float* V);

}  // namespace wv
