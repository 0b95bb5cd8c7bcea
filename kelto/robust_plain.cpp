// Robust location, scale and correlation estimators and the heapsort beneath
// them. Every comparison is written out with its behaviour on ties and on
// unordered (NaN) operands, because the position a NaN ends up at in a sorted
// vector decides which value a median picks.
#include "robust_plain.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "matrix.h"
#include "runtime.h"

namespace rb::plain {

namespace {

// Median of a vector sorted ascending: the middle value, or the mean of the two
// middle values formed in double and not rounded.
double SortedMedian(int N, const wv::Vec& w) {
  if (N % 2 == 1) return double(w(N / 2 + 1));
  return (double(w(N / 2)) + double(w(N / 2 + 1))) * 0.5;
}

}  // namespace

void VINZOR(int N, float* X) {
  const wv::Vec x{X};
  const double dn = double(N);
  for (int pass = 1; pass <= 20; ++pass) {
    double sum = 0.0;
    for (int i = 1; i <= N; ++i) sum += double(x(i));
    const float mean = float(sum / dn);

    double ssq = 0.0;
    for (int i = 1; i <= N; ++i) {
      const double d = double(x(i)) - double(mean);
      ssq += d * d;
    }
    const double sd = std::sqrt(ssq / dn);
    const double hi = double(mean) + 3.0 * sd;
    const double lo = double(mean) - 3.0 * sd;

    // Strict tests: a value on a bound stays, and a NaN (value or bound)
    // fails both tests and is left as it is.
    for (int i = 1; i <= N; ++i) {
      double v = double(x(i));
      if (v > hi) v = hi;
      if (v < lo) v = lo;
      x(i) = float(v);
    }
  }
}

float AMO(int N, const float* X) {
  std::vector<float> work = rt::AllocReals(N);
  const wv::Vec w{work.data()};
  for (int i = 1; i <= N; ++i) w(i) = X[i - 1];
  TREEUP(work.data(), N);
  const double med = SortedMedian(N, w);

  for (int i = 1; i <= N; ++i) w(i) = float(std::fabs(double(X[i - 1]) - med));
  TREEUP(work.data(), N);
  return float(SortedMedian(N, w));
}

void ROBCORRCOEFF(int N, const float* X, const float* Y, float& R) {
  const float sx = AMO(N, X);
  const float sy = AMO(N, Y);
  if (sx == 0.0f || sy == 0.0f) {
    R = 0.0f;
    return;
  }
  const double a = 1.0 / double(sx);
  const double b = 1.0 / double(sy);

  std::vector<float> uv = rt::AllocReals(2 * std::int64_t(N));
  float* U = uv.data();
  float* V = uv.data() + N;
  for (int i = 0; i < N; ++i) {
    const double s = a * double(X[i]) + b * double(Y[i]);
    U[i] = float(s * s);
  }
  for (int i = 0; i < N; ++i) {
    const double d = a * double(X[i]) - b * double(Y[i]);
    V[i] = float(d * d);
  }

  const float su = AMO(N, U);
  const float sv = AMO(N, V);
  const double total = double(su) + double(sv);
  if (total == 0.0) {
    R = 0.0f;
    return;
  }
  R = float((double(su) - double(sv)) / total);
}

void TREEUP(float* A, int N) {
  const wv::Vec a{A};
  for (int k = 2; k <= N; ++k) UP(A, k);
  for (int m = N - 1; m >= 1; --m) {
    SWAP(a(1), a(m + 1));
    DOWN(A, m);
  }
}

void UP(float* A, int K) {
  const wv::Vec a{A};
  int k = K;
  while (k != 1) {
    const int p = k / 2;
    // Climb on "greater" and on an unordered pair; equal values stop.
    if (a(k) > a(p) || std::isunordered(a(k), a(p))) {
      SWAP(a(p), a(k));
      k = p;
    } else {
      return;
    }
  }
}

void DOWN(float* A, int M) {
  if (M <= 1) return;
  const wv::Vec a{A};
  // 64-bit child index: doubling must not wrap for heaps beyond 2^30 values.
  std::int64_t p = 1;
  std::int64_t c = 2;
  while (c <= M) {
    // The right child only when strictly greater; a tie or NaN keeps the left.
    if (c + 1 <= M && a(int(c + 1)) > a(int(c))) c = c + 1;
    // Stop only on an ordered "not smaller"; an unordered pair sinks further.
    if (a(int(p)) >= a(int(c))) return;
    SWAP(a(int(p)), a(int(c)));
    p = c;
    c = 2 * c;
  }
}

void SWAP(float& A, float& B) {
  const float t = A;
  A = B;
  B = t;
}

}  // namespace rb::plain
