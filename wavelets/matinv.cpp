// Gauss-Jordan inversion on columns with a pivot search along the current row;
// the column interchanges are undone on rows at the end. Every element is
// stored as a float after each operation.
#include "matinv.h"

#include <cmath>
#include <cstddef>
#include <vector>

#include "lanes.h"
#include "matrix.h"

namespace wv {

void INVRSM(float* A, int& N, int* IPERM) {
  const int n = N;
  const Mat a{A, n};
  int count = 0;
  for (int c = 1; c <= n; ++c) IPERM[c - 1] = c;
  for (int i = 1; i <= n; ++i) {
    float best = 0.0f;
    int f = i;
    for (int c = i; c <= n; ++c) {
      if (std::fabs(a(i, c)) > best) {
        best = std::fabs(a(i, c));
        f = c;
      }
    }
    if (best == 0.0f) {
      // Row i is zero from its diagonal on: stop with the matrix partly reduced.
      N = count;
      return;
    }
    if (f > i) {
      for (int r = 1; r <= n; ++r) {
        const float t = a(r, i);
        a(r, i) = a(r, f);
        a(r, f) = t;
      }
      const int t = IPERM[i - 1];
      IPERM[i - 1] = IPERM[f - 1];
      IPERM[f - 1] = t;
    }
    const float p = a(i, i);
    a(i, i) = 1.0f;
    ++count;
    const double q = 1.0 / double(p);
    for (int r = 1; r <= n; ++r) a(r, i) = float(double(a(r, i)) * q);
    for (int j = 1; j <= n; ++j) {
      if (j == i) continue;
      const double z = a(i, j);
      a(i, j) = 0.0f;
      for (int r = 1; r <= n; ++r) a(r, j) = float(double(a(r, j)) - z * double(a(r, i)));
    }
  }
  for (int j = 1; j <= n; ++j) {
    if (IPERM[j - 1] == j) continue;
    int k = j + 1;
    while (IPERM[k - 1] != j) ++k;
    for (int c = 1; c <= n; ++c) {
      const float t = a(j, c);
      a(j, c) = a(k, c);
      a(k, c) = t;
    }
    IPERM[k - 1] = IPERM[j - 1];
    IPERM[j - 1] = j;
  }
  N = count;
}

void MATRINV(int N, const float* A, float* AINV) {
  if (N <= 0) return;
  const std::size_t size = static_cast<std::size_t>(N) * static_cast<std::size_t>(N);
  std::vector<float> work(A, A + size);
  std::vector<int> iwork(static_cast<std::size_t>(N));
  int order = N;
  INVRSM(work.data(), order, iwork.data());
  for (std::size_t e = 0; e < size; ++e) AINV[e] = work[e];
}

namespace {

// INVRSM's steps on AINV, which holds A; a column operation treats every row
// alike, so its elements go two at a time. NN > 0: the order is NN, known
// when compiled, so that the column loops unroll.
template <int NN>
void InvertInPlace(int N, float* AINV, int* iperm) {
  const int n = NN > 0 ? NN : N;
  const Mat a{AINV, n};
  for (int c = 1; c <= n; ++c) iperm[c - 1] = c;
  for (int i = 1; i <= n; ++i) {
    float best = 0.0f;
    int f = i;
    for (int c = i; c <= n; ++c) {
      const float size = std::fabs(a(i, c));
      const bool larger = size > best;  // strictly: ties keep the lower column
      best = larger ? size : best;
      f = larger ? c : f;
    }
    if (best == 0.0f) return;  // partly reduced, as INVRSM leaves it
    float* const ci = &a(1, i);
    if (f > i) {
      float* const cf = &a(1, f);
      for (int r = 0; r < n; ++r) {
        const float t = ci[r];
        ci[r] = cf[r];
        cf[r] = t;
      }
      const int t = iperm[i - 1];
      iperm[i - 1] = iperm[f - 1];
      iperm[f - 1] = t;
    }
    const float p = ci[i - 1];
    ci[i - 1] = 1.0f;
    lanes::Scale<NN>(ci, n, 1.0 / double(p));
    for (int j = 1; j <= n; ++j) {
      if (j == i) continue;
      const double z = a(i, j);
      a(i, j) = 0.0f;
      lanes::SubtractMultiple<NN>(&a(1, j), ci, n, z);
    }
  }
  for (int j = 1; j <= n; ++j) {
    if (iperm[j - 1] == j) continue;
    int k = j + 1;
    while (iperm[k - 1] != j) ++k;
    for (int c = 1; c <= n; ++c) {
      const float t = a(j, c);
      a(j, c) = a(k, c);
      a(k, c) = t;
    }
    iperm[k - 1] = iperm[j - 1];
    iperm[j - 1] = j;
  }
}

}  // namespace

void MATRINV(int N, const float* A, float* AINV, MatInvWork& work) {
  if (N <= 0) return;
  const std::size_t size = static_cast<std::size_t>(N) * static_cast<std::size_t>(N);
  if (work.iperm.size() < static_cast<std::size_t>(N)) work.iperm.resize(static_cast<std::size_t>(N));
  int* const iperm = work.iperm.data();
  for (std::size_t e = 0; e < size; ++e) AINV[e] = A[e];
  switch (N) {
    case 3: InvertInPlace<3>(N, AINV, iperm); break;
    case 4: InvertInPlace<4>(N, AINV, iperm); break;
    case 5: InvertInPlace<5>(N, AINV, iperm); break;
    case 6: InvertInPlace<6>(N, AINV, iperm); break;
    case 7: InvertInPlace<7>(N, AINV, iperm); break;
    default: InvertInPlace<0>(N, AINV, iperm); break;
  }
}

}  // namespace wv
