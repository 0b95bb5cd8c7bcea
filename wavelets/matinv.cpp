// Gauss-Jordan inversion on columns with a pivot search along the current row;
// the column interchanges are undone on rows at the end. Every element is
// stored as a float after each operation.
#include "matinv.h"

#include <cmath>
#include <cstddef>
#include <cstring>
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

using lanes::D2;
typedef long long M2 __attribute__((vector_size(16)));

// Element `at` of a column is read as `value` wherever INVRSM stores that
// value into it just before the column operation. The pair holding it is then
// formed in registers: a float stored alone and read back in a pair would
// wait for the store to reach the cache, on the chain of every pivot step.
inline D2 WidenTaking(const float* x, int e, int at, double value) {
  const M2 hit = D2{double(e), double(e + 1)} == lanes::Splat(double(at));
  return hit ? lanes::Splat(value) : lanes::Widen(x + e);
}

// x(e) = x(e) * q with x(at) taken as 1: INVRSM's A(i,i) = 1 and scaling.
template <int NN>
void ScaleTakingOne(float* x, int count, int at, double q) {
  if (NN > 0) count = NN;
  const D2 qq = lanes::Splat(q);
  int e = 0;
#pragma GCC unroll 8
  for (; e + 2 <= count; e += 2) lanes::Narrow(x + e, WidenTaking(x, e, at, 1.0) * qq);
  if (e < count) x[e] = float((e == at ? 1.0 : double(x[e])) * q);
}

// x(e) = x(e) - z * y(e) with x(at) taken as 0: INVRSM's A(i,j) = 0 and
// elimination.
template <int NN>
void SubtractTakingZero(float* x, const float* y, int count, int at, double z) {
  if (NN > 0) count = NN;
  const D2 zz = lanes::Splat(z);
  int e = 0;
#pragma GCC unroll 8
  for (; e + 2 <= count; e += 2) {
    lanes::Narrow(x + e, WidenTaking(x, e, at, 0.0) - zz * lanes::Widen(y + e));
  }
  if (e < count) x[e] = float((e == at ? 0.0 : double(x[e])) - z * double(y[e]));
}

// Column exchange in the pairs the column operations use.
template <int NN>
void SwapColumns(float* x, float* y, int count) {
  if (NN > 0) count = NN;
  int e = 0;
#pragma GCC unroll 8
  for (; e + 2 <= count; e += 2) {
    double xx, yy;
    std::memcpy(&xx, x + e, sizeof xx);
    std::memcpy(&yy, y + e, sizeof yy);
    std::memcpy(x + e, &yy, sizeof yy);
    std::memcpy(y + e, &xx, sizeof xx);
  }
  if (e < count) {
    const float t = x[e];
    x[e] = y[e];
    y[e] = t;
  }
}

// INVRSM's pivot step i on the order n matrix in AINV; false where the row
// is zero from its diagonal on and INVRSM stops, the matrix partly reduced.
// NN > 0: the order is NN, known when compiled, so that the column loops
// unroll.
template <int NN>
bool PivotStep(int N, float* AINV, int* iperm, int i) {
  const int n = NN > 0 ? NN : N;
  const Mat a{AINV, n};
  float best = 0.0f;
  float pivot = 0.0f;
  int f = i;
  for (int c = i; c <= n; ++c) {
    const float value = a(i, c);
    const float size = std::fabs(value);
    const bool larger = size > best;  // strictly: ties keep the lower column
    best = larger ? size : best;
    pivot = larger ? value : pivot;
    f = larger ? c : f;
  }
  if (best == 0.0f) return false;
  float* const ci = &a(1, i);
  // The exchange is made even where f = i, where it changes nothing: which
  // column wins follows the data, and a branch on it would often be
  // mispredicted.
  SwapColumns<NN>(ci, &a(1, f), n);
  const int t = iperm[i - 1];
  iperm[i - 1] = iperm[f - 1];
  iperm[f - 1] = t;
  ScaleTakingOne<NN>(ci, n, i - 1, 1.0 / double(pivot));
  for (int j = 1; j <= n; ++j) {
    if (j == i) continue;
    SubtractTakingZero<NN>(&a(1, j), ci, n, i - 1, double(a(i, j)));
  }
  return true;
}

// The column interchanges undone on rows, after a full inversion.
void Unpermute(int n, float* AINV, int* iperm) {
  const Mat a{AINV, n};
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

// Pivot step i of every matrix in turn: the steps of one matrix are a chain of
// dependent divisions and eliminations, and those of different matrices
// overlap in the processor.
template <int NN>
void InvertInPlace(int count, int N, float* const* AINV, int* iperm, unsigned char* going) {
  const int n = NN > 0 ? NN : N;
  for (int c = 0; c < count; ++c) {
    for (int e = 1; e <= n; ++e) iperm[c * n + e - 1] = e;
    going[c] = 1;
  }
  for (int i = 1; i <= n; ++i) {
    for (int c = 0; c < count; ++c) {
      if (going[c]) going[c] = PivotStep<NN>(n, AINV[c], iperm + c * n, i);
    }
  }
  for (int c = 0; c < count; ++c) {
    if (going[c]) Unpermute(n, AINV[c], iperm + c * n);
  }
}

}  // namespace

void MATRINVBatch(int count, int N, float* const* AINV, MatInvWork& work) {
  if (N <= 0 || count <= 0) return;
  const std::size_t perms = static_cast<std::size_t>(count) * static_cast<std::size_t>(N);
  if (work.iperm.size() < perms) work.iperm.resize(perms);
  if (work.going.size() < static_cast<std::size_t>(count)) work.going.resize(static_cast<std::size_t>(count));
  int* const iperm = work.iperm.data();
  unsigned char* const going = work.going.data();
  switch (N) {
    case 3: InvertInPlace<3>(count, N, AINV, iperm, going); break;
    case 4: InvertInPlace<4>(count, N, AINV, iperm, going); break;
    case 5: InvertInPlace<5>(count, N, AINV, iperm, going); break;
    case 6: InvertInPlace<6>(count, N, AINV, iperm, going); break;
    case 7: InvertInPlace<7>(count, N, AINV, iperm, going); break;
    default: InvertInPlace<0>(count, N, AINV, iperm, going); break;
  }
}

void MATRINV(int N, const float* A, float* AINV, MatInvWork& work) {
  if (N <= 0) return;
  const std::size_t size = static_cast<std::size_t>(N) * static_cast<std::size_t>(N);
  for (std::size_t e = 0; e < size; ++e) AINV[e] = A[e];
  MATRINVBatch(1, N, &AINV, work);
}

}  // namespace wv
