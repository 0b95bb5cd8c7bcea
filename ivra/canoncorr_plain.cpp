// Canonical correlation of each series with all the others of a window: the
// straightforward form, step by step with every work array allocated per
// call. It is the reference the fast form in canoncorr.cpp is checked against
// bit for bit, and what Ivra_plain runs.
//
// For series k the window's second-moment matrix is split into the block of k
// (S11), the block of the other series (S22) and the cross moments (S12, S21);
// the leading singular pair of M = S22^(-1/2) S21 S11^(-1) S12 S22^(-1/2)
// gives the squared correlation and, mapped back through S22^(-1/2), the
// weights. Every intermediate matrix is stored in single precision: the output
// depends on exactly where the products are rounded.
#include "canoncorr.h"

#include <cstddef>
#include <vector>

#include "console.h"
#include "matinv.h"
#include "matrix.h"
#include "rsvd.h"
#include "runtime.h"

namespace cc::plain {

namespace {

std::vector<float> Reals(int rows, int cols) {
  return std::vector<float>(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
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
  for (int i = 1; i <= Na; ++i) {
    for (int j = 1; j <= Mb; ++j) {
      double sum = 0.0;
      for (int l = 1; l <= Ma; ++l) sum += double(a(i, l)) * double(b(l, j));
      ab(i, j) = float(sum);
    }
  }
}

void MATSQR(int N, const float* A, float* R) {
  std::vector<float> w(A, A + static_cast<std::size_t>(N) * static_cast<std::size_t>(N));
  std::vector<float> s(static_cast<std::size_t>(N));
  std::vector<float> u = Reals(N, N);
  std::vector<float> v = Reals(N, N);
  std::vector<float> t = Reals(N, N);

  wv::RSVD(w.data(), N, N, N, N, 0, N, N, s.data(), u.data(), v.data());

  const wv::Mat W{w.data(), N};
  const wv::Mat U{u.data(), N};
  const wv::Mat V{v.data(), N};
  const wv::Vec S{s.data()};
  for (int j = 1; j <= N; ++j) {
    for (int i = 1; i <= N; ++i) W(i, j) = 0.0f;
    W(j, j) = float(rt::CheckedSqrt(double(S(j))));
  }
  // Only the left vectors are used, so the root is symmetric whatever A is.
  for (int i = 1; i <= N; ++i) {
    for (int j = 1; j <= N; ++j) V(i, j) = U(j, i);
  }
  MATMUL(u.data(), N, N, w.data(), N, N, t.data());
  MATMUL(t.data(), N, N, v.data(), N, N, R);
}

void CANONCORR(const float* CovMat, int N, float* CanWeights, float* CanCorr2) {
  const int m = N - 1;
  std::vector<float> p = Reals(N, N);
  std::vector<float> xch(static_cast<std::size_t>(N));
  std::vector<float> s12 = Reals(1, m);
  std::vector<float> s21 = Reals(m, 1);
  std::vector<float> s22 = Reals(m, m);
  std::vector<float> s22inv = Reals(m, m);
  std::vector<float> s22isq = Reals(m, m);
  std::vector<float> t1 = Reals(m, 1);
  std::vector<float> t2 = Reals(m, 1);
  std::vector<float> t3 = Reals(m, m);
  std::vector<float> mm = Reals(m, m);
  std::vector<float> s(static_cast<std::size_t>(m));
  std::vector<float> u = Reals(m, m);
  std::vector<float> v = Reals(m, m);

  const wv::Mat cov{const_cast<float*>(CovMat), N};  // read only
  const wv::Mat P{p.data(), N};
  const wv::Vec X{xch.data()};
  const wv::Mat S12{s12.data(), 1};
  const wv::Mat S21{s21.data(), m};
  const wv::Mat S22{s22.data(), m};
  const wv::Mat S22isq{s22isq.data(), m};
  const wv::Mat U{u.data(), m};
  const wv::Mat weights{CanWeights, N};
  const wv::Vec corr2{CanCorr2};

  for (int k = 1; k <= N; ++k) {
    for (int j = 1; j <= N; ++j) {
      for (int i = 1; i <= N; ++i) P(i, j) = cov(i, j);
    }
    // Series 1 and series k change places: series k comes first, the others
    // follow in the order in which the caller applies the weights.
    if (k != 1) {
      for (int j = 1; j <= N; ++j) X(j) = P(k, j);
      for (int j = 1; j <= N; ++j) P(k, j) = P(1, j);
      for (int j = 1; j <= N; ++j) P(1, j) = X(j);
      for (int i = 1; i <= N; ++i) X(i) = P(i, k);
      for (int i = 1; i <= N; ++i) P(i, k) = P(i, 1);
      for (int i = 1; i <= N; ++i) P(i, 1) = X(i);
    }

    float s11inv = float(1.0 / double(P(1, 1)));
    for (int j = 1; j <= m; ++j) {
      for (int i = 1; i <= m; ++i) S22(i, j) = P(i + 1, j + 1);
    }
    wv::MATRINV(m, s22.data(), s22inv.data());
    for (int j = 1; j <= m; ++j) S12(1, j) = P(1, j + 1);
    for (int i = 1; i <= m; ++i) S21(i, 1) = P(i + 1, 1);
    MATSQR(m, s22inv.data(), s22isq.data());

    MATMUL(s22isq.data(), m, m, s21.data(), m, 1, t1.data());
    MATMUL(t1.data(), m, 1, &s11inv, 1, 1, t2.data());
    MATMUL(t2.data(), m, 1, s12.data(), 1, m, t3.data());
    MATMUL(t3.data(), m, m, s22isq.data(), m, m, mm.data());

    wv::RSVD(mm.data(), m, m, m, m, 0, m, m, s.data(), u.data(), v.data());
    corr2(k) = s[0];

    for (int i = 1; i <= m; ++i) {
      double sum = 0.0;
      for (int j = 1; j <= m; ++j) sum += double(S22isq(i, j)) * double(U(j, 1));
      weights(k, i) = float(sum);
    }
    // Unit Euclidean length, from the stored weights.
    double sumsq = 0.0;
    for (int i = 1; i <= m; ++i) sumsq += double(weights(k, i)) * double(weights(k, i));
    const double len = rt::CheckedSqrt(sumsq);
    for (int i = 1; i <= m; ++i) weights(k, i) = float(double(weights(k, i)) / len);
  }
}

}  // namespace cc::plain
