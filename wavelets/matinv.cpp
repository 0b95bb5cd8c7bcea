// Gauss-Jordan inversion on columns with a pivot search along the current row;
// the column interchanges are undone on rows at the end. Every element is
// stored as a float after each operation.
#include "matinv.h"

#include <cmath>
#include <cstddef>
#include <vector>

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

}  // namespace wv
