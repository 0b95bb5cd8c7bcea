// Canonical correlation of each series with all the others of a window.
//
// For series k the window's second-moment matrix is split into the block of k
// (S11), the block of the other series (S22) and the cross moments (S12, S21);
// the leading singular pair of M = S22^(-1/2) S21 S11^(-1) S12 S22^(-1/2)
// gives the squared correlation and, mapped back through S22^(-1/2), the
// weights. Every intermediate matrix is stored in single precision: the output
// depends on exactly where the products are rounded.
//
// This is the form the program runs: the same steps as canoncorr_plain.cpp,
// with the same sums in the same order and the same rounding points, but in
// work storage the caller keeps, with the blocks read straight from the
// exchanged positions, the decompositions computing only the vectors that are
// read, and independent sums going two at a time.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "canoncorr.h"
#include "console.h"
#include "lanes.h"
#include "matrix.h"
#include "runtime.h"

namespace cc {

namespace {

float* Fit(std::vector<float>& x, int rows, int cols) {
  const std::size_t size = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  if (x.size() < size) x.resize(size);
  return x.data();
}

// Series standing at position j+1 once series 1 and series k have changed
// places (j = 1..N-1).
int Other(int k, int j) { return j + 1 == k ? 1 : j + 1; }

bool AllFinite(const float* x, int count) {
  for (int e = 0; e < count; ++e) {
    if (!std::isfinite(x[e])) return false;
  }
  return true;
}

// Products with few rows: A widened to double once, in pairs of rows (an odd
// last row paired with zero), and each column of AB summed in registers.
constexpr int kMaxPairs = 8;
constexpr int kWideSize = 2048;  // doubles of widened A on the stack

// The sums of P pairs of rows of a column of AB, each pair rounded and stored
// together; an odd last row alone.
template <int P>
inline void StoreColumn(const wv::lanes::D2* acc, int Na, float* out) {
#pragma GCC unroll 8
  for (int q = 0; q < P; ++q) {
    if (2 * q + 2 <= Na) {
      wv::lanes::Narrow(out + 2 * q, acc[q]);
    } else {
      out[2 * q] = float(acc[q][0]);
    }
  }
}

// MA > 0: Ma is MA, known when compiled, so that the sum's terms unroll.
template <int P, int MA = 0>
void ColumnsOfProduct(const wv::lanes::D2* wide, int Na, int Ma, const wv::Mat& b, int Mb,
                      const wv::Mat& ab) {
  if (MA > 0) Ma = MA;
  for (int j = 1; j <= Mb; ++j) {
    wv::lanes::D2 acc[P];
#pragma GCC unroll 8
    for (int q = 0; q < P; ++q) acc[q] = wv::lanes::Splat(0.0);
    const wv::lanes::D2* col = wide;
#pragma GCC unroll 8
    for (int l = 1; l <= Ma; ++l, col += P) {
      const wv::lanes::D2 blj = wv::lanes::Splat(double(b(l, j)));
#pragma GCC unroll 8
      for (int q = 0; q < P; ++q) acc[q] = acc[q] + col[q] * blj;
    }
    StoreColumn<P>(acc, Na, &ab(1, j));
  }
}

// A product with one column of B: A's columns widened as they are used.
template <int P>
void OneColumnOfProduct(const wv::Mat& a, int Na, int Ma, const wv::Mat& b, const wv::Mat& ab) {
  const int pairs = Na / 2;
  wv::lanes::D2 acc[P];
#pragma GCC unroll 8
  for (int q = 0; q < P; ++q) acc[q] = wv::lanes::Splat(0.0);
  for (int l = 1; l <= Ma; ++l) {
    const wv::lanes::D2 bl = wv::lanes::Splat(double(b(l, 1)));
    const float* const al = &a(1, l);
#pragma GCC unroll 8
    for (int q = 0; q < P; ++q) {
      const wv::lanes::D2 col = q < pairs ? wv::lanes::Widen(al + 2 * q) : wv::lanes::D2{double(al[2 * q]), 0.0};
      acc[q] = acc[q] + col * bl;
    }
  }
  StoreColumn<P>(acc, Na, &ab(1, 1));
}

void OneColumnOfProduct(const wv::Mat& a, int Na, int Ma, const wv::Mat& b, const wv::Mat& ab) {
  switch ((Na + 1) / 2) {
    case 1: OneColumnOfProduct<1>(a, Na, Ma, b, ab); break;
    case 2: OneColumnOfProduct<2>(a, Na, Ma, b, ab); break;
    case 3: OneColumnOfProduct<3>(a, Na, Ma, b, ab); break;
    case 4: OneColumnOfProduct<4>(a, Na, Ma, b, ab); break;
    case 5: OneColumnOfProduct<5>(a, Na, Ma, b, ab); break;
    case 6: OneColumnOfProduct<6>(a, Na, Ma, b, ab); break;
    case 7: OneColumnOfProduct<7>(a, Na, Ma, b, ab); break;
    default: OneColumnOfProduct<kMaxPairs>(a, Na, Ma, b, ab); break;
  }
}

void Product(const wv::Mat& a, int Na, int Ma, const wv::Mat& b, int Mb, const wv::Mat& ab) {
  const int P = (Na + 1) / 2;
  wv::lanes::D2 wide[kWideSize / 2];
  const int pairs = Na / 2;  // whole pairs; an odd last row is paired with zero
  for (int l = 1; l <= Ma; ++l) {
    wv::lanes::D2* const col = wide + (l - 1) * P;
    const float* const al = &a(1, l);
    for (int q = 0; q < pairs; ++q) col[q] = wv::lanes::Widen(al + 2 * q);
    if (pairs < P) col[pairs] = wv::lanes::D2{double(al[2 * pairs]), 0.0};
  }
  switch (P) {
    case 1: ColumnsOfProduct<1>(wide, Na, Ma, b, Mb, ab); break;
    case 2: ColumnsOfProduct<2>(wide, Na, Ma, b, Mb, ab); break;
    case 3:
      // Order 5 or 6 products of the programs' usual series counts.
      if (Ma == 5) {
        ColumnsOfProduct<3, 5>(wide, Na, Ma, b, Mb, ab);
      } else if (Ma == 6) {
        ColumnsOfProduct<3, 6>(wide, Na, Ma, b, Mb, ab);
      } else if (Ma == 1) {
        ColumnsOfProduct<3, 1>(wide, Na, Ma, b, Mb, ab);
      } else {
        ColumnsOfProduct<3>(wide, Na, Ma, b, Mb, ab);
      }
      break;
    case 4: ColumnsOfProduct<4>(wide, Na, Ma, b, Mb, ab); break;
    case 5: ColumnsOfProduct<5>(wide, Na, Ma, b, Mb, ab); break;
    case 6: ColumnsOfProduct<6>(wide, Na, Ma, b, Mb, ab); break;
    case 7: ColumnsOfProduct<7>(wide, Na, Ma, b, Mb, ab); break;
    default: ColumnsOfProduct<kMaxPairs>(wide, Na, Ma, b, Mb, ab); break;
  }
}

}  // namespace

void MATMUL(const float* A, int Na, int Ma, const float* B, int Nb, int Mb, float* AB) {
  if (Ma != Nb) {
    rt::WriteFree("MatMul: Ma must be equal to Nb !");
    rt::WriteFree("Press <Enter> to terminate...");
    rt::WaitEnter();
    rt::StopProgram();
  }
  // The views only read A and B; the casts do not let anything write them.
  const wv::Mat a{const_cast<float*>(A), Na};
  const wv::Mat b{const_cast<float*>(B), Nb};
  const wv::Mat ab{AB, Na};
  if (Na <= 0 || Mb <= 0) return;
  // A widened once pays where its columns serve several columns of B; a
  // single column widens them as it goes.
  if (Mb == 1 && Na <= 2 * kMaxPairs) {
    OneColumnOfProduct(a, Na, Ma, b, ab);
    return;
  }
  if (Na <= 2 * kMaxPairs && (Na + 1) / 2 * 2 * std::max(Ma, 1) <= kWideSize) {
    Product(a, Na, Ma, b, Mb, ab);
    return;
  }
  // Each AB(i,j) is its own sum over ascending l; a block of rows of one
  // column of AB is summed together, term by term.
  constexpr int kBlock = 64;
  double sums[kBlock];
  for (int i0 = 1; i0 <= Na; i0 += kBlock) {
    const int rows = std::min(kBlock, Na - i0 + 1);
    for (int j = 1; j <= Mb; ++j) {
      for (int e = 0; e < rows; ++e) sums[e] = 0.0;
      for (int l = 1; l <= Ma; ++l) wv::lanes::AddColumnTimes(sums, &a(i0, l), rows, double(b(l, j)));
      for (int e = 0; e < rows; ++e) ab(i0 + e, j) = float(sums[e]);
    }
  }
}

namespace {

// The decompositions of `count` N by N blocks stored one after the other in
// `a`, side by side (RSVDSquareBatch).
void Decompose(int count, int N, wv::SvdParts parts, float* a, float* s, float* u, CanonWork& work) {
  const std::size_t size = static_cast<std::size_t>(N) * static_cast<std::size_t>(N);
  work.a.resize(static_cast<std::size_t>(count));
  work.vals.resize(static_cast<std::size_t>(count));
  work.vecs.resize(static_cast<std::size_t>(count));
  for (int c = 0; c < count; ++c) {
    work.a[c] = a + c * size;
    work.vals[c] = s + c * static_cast<std::size_t>(N);
    work.vecs[c] = u + c * size;
  }
  wv::RSVDSquareBatch(count, N, parts, work.a.data(), work.vals.data(), work.vecs.data(), nullptr,
                      work.svd);
}

// MATSQR of `count` N by N blocks of A into the blocks of R, the
// decompositions side by side.
void SymmetricRoots(int count, int N, const float* A, float* R, CanonWork& work) {
  const std::size_t size = static_cast<std::size_t>(N) * static_cast<std::size_t>(N);
  float* const w = Fit(work.w, count * N, N);
  float* const sv = Fit(work.sv, count, N);
  float* const su = Fit(work.su, count * N, N);
  float* const t = Fit(work.st, N, N);
  float* const ut = Fit(work.sut, N, N);
  std::copy(A, A + count * size, w);

  Decompose(count, N, wv::SvdParts::kU, w, sv, su, work);

  for (int c = 0; c < count; ++c) {
    float* const s = sv + c * static_cast<std::size_t>(N);
    float* const u = su + c * size;
    const wv::Mat W{w + c * size, N};
    const wv::Mat U{u, N};
    const wv::Mat T{t, N};
    const wv::Mat UT{ut, N};
    for (int j = 1; j <= N; ++j) s[j - 1] = float(rt::CheckedSqrt(double(s[j - 1])));  // the roots
    if (AllFinite(u, N * N) && AllFinite(s, N)) {
      // U diag(roots): in the sum over l every term but l = j is a finite
      // value times +0, which leaves the sum (started from +0) as it is.
      for (int j = 1; j <= N; ++j) {
        const double root = s[j - 1];
        for (int i = 1; i <= N; ++i) T(i, j) = float(0.0 + double(U(i, j)) * root);
      }
    } else {
      for (int j = 1; j <= N; ++j) {
        for (int i = 1; i <= N; ++i) W(i, j) = 0.0f;
        W(j, j) = s[j - 1];
      }
      MATMUL(u, N, N, &W(1, 1), N, N, t);
    }
    // Only the left vectors are used, so the root is symmetric whatever A is.
    for (int i = 1; i <= N; ++i) {
      for (int j = 1; j <= N; ++j) UT(i, j) = U(j, i);
    }
    MATMUL(t, N, N, ut, N, N, R + c * size);
  }
}

}  // namespace

void MATSQR(int N, const float* A, float* R, CanonWork& work) {
  if (N <= 0) return;
  SymmetricRoots(1, N, A, R, work);
}

void MATSQR(int N, const float* A, float* R) {
  CanonWork work;
  MATSQR(N, A, R, work);
}

// The N series of every matrix are independent problems, `count` * N of
// them; each step runs for all of them before the next, so that their
// inversions and decompositions go side by side. Every problem's own
// arithmetic is that of the step-by-step form.
void CANONCORRBatch(int count, const float* const* CovMat, int N, float* const* CanWeights,
                    float* const* CanCorr2, CanonWork& work) {
  const int m = N - 1;
  if (m <= 0 || count <= 0) return;
  const int problems = count * N;
  const std::size_t mm2 = static_cast<std::size_t>(m) * static_cast<std::size_t>(m);
  float* const s22inv = Fit(work.s22inv, problems * m, m);
  float* const s22isq = Fit(work.s22isq, problems * m, m);
  float* const s12 = Fit(work.s12, 1, m);
  float* const s21 = Fit(work.s21, m, 1);
  float* const t1 = Fit(work.t1, m, 1);
  float* const t2 = Fit(work.t2, m, 1);
  float* const t3 = Fit(work.t3, m, m);
  float* const mm = Fit(work.mm, problems * m, m);
  float* const s = Fit(work.s, problems, m);
  float* const u = Fit(work.u, problems * m, m);

  // The blocks of the matrix with series 1 and series k exchanged are read in
  // place: position 1 is series k, position j+1 series Other(k, j). Each S22
  // is inverted where it is stored.
  work.a.resize(static_cast<std::size_t>(problems));
  for (int c = 0; c < count; ++c) {
    const wv::Mat cov{const_cast<float*>(CovMat[c]), N};  // read only
    for (int k = 1; k <= N; ++k) {
      const int q = c * N + k - 1;
      const wv::Mat S22{s22inv + q * mm2, m};
      for (int j = 1; j <= m; ++j) {
        for (int i = 1; i <= m; ++i) S22(i, j) = cov(Other(k, i), Other(k, j));
      }
      work.a[q] = &S22(1, 1);
    }
  }
  wv::MATRINVBatch(problems, m, work.a.data(), work.inv);
  SymmetricRoots(problems, m, s22inv, s22isq, work);

  for (int c = 0; c < count; ++c) {
    const wv::Mat cov{const_cast<float*>(CovMat[c]), N};
    for (int k = 1; k <= N; ++k) {
      const int q = c * N + k - 1;
      float s11inv = float(1.0 / double(cov(k, k)));
      for (int j = 1; j <= m; ++j) s12[j - 1] = cov(k, Other(k, j));
      for (int i = 1; i <= m; ++i) s21[i - 1] = cov(Other(k, i), k);
      const float* const root = s22isq + q * mm2;
      MATMUL(root, m, m, s21, m, 1, t1);
      MATMUL(t1, m, 1, &s11inv, 1, 1, t2);
      MATMUL(t2, m, 1, s12, 1, m, t3);
      MATMUL(t3, m, m, root, m, m, mm + q * mm2);
    }
  }
  Decompose(problems, m, wv::SvdParts::kFirstColumnOfU, mm, s, u, work);

  for (int c = 0; c < count; ++c) {
    const wv::Mat weights{CanWeights[c], N};
    const wv::Vec corr2{CanCorr2[c]};
    for (int k = 1; k <= N; ++k) {
      const int q = c * N + k - 1;
      corr2(k) = s[q * static_cast<std::size_t>(m)];
      // S22^(-1/2) times the first left vector: a product's sums.
      MATMUL(s22isq + q * mm2, m, m, u + q * mm2, m, 1, t1);
      for (int i = 1; i <= m; ++i) weights(k, i) = t1[i - 1];
      // Unit Euclidean length, from the stored weights.
      double sumsq = 0.0;
      for (int i = 1; i <= m; ++i) sumsq += double(weights(k, i)) * double(weights(k, i));
      const double len = rt::CheckedSqrt(sumsq);
      for (int i = 1; i <= m; ++i) weights(k, i) = float(double(weights(k, i)) / len);
    }
  }
}

void CANONCORR(const float* CovMat, int N, float* CanWeights, float* CanCorr2, CanonWork& work) {
  CANONCORRBatch(1, &CovMat, N, &CanWeights, &CanCorr2, work);
}

void CANONCORR(const float* CovMat, int N, float* CanWeights, float* CanCorr2) {
  CanonWork work;
  CANONCORR(CovMat, N, CanWeights, CanCorr2, work);
}

}  // namespace cc
