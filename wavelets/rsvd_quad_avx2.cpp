// Step 1 of the square decomposition for four matrices in the lanes of one
// AVX register, and the rotations of U four rows at a time (this file is
// built with -mavx2 and without FMA). In step 1 lane w makes
// exactly the operations of ColumnStep and RowStep (rsvd_square.cpp) for its
// own matrix, on the same operands in the same order, rounding to float where
// they store; where one lane skips a reflector (a norm at or below NORMTOL)
// and another does not, the skipping lane keeps its stored values.
//
// Only compiler built-ins and intrinsics here: no inline library function may
// be compiled for the wider instruction set and shared with baseline code.
#include <immintrin.h>

#include "rsvd_quad.h"

namespace wv::quad {
namespace {

#define QD_INLINE inline __attribute__((always_inline))

typedef double V __attribute__((vector_size(32)));
typedef long long M __attribute__((vector_size(32)));

constexpr double kLargest = 1.7976931348623157e308;  // the largest finite double

QD_INLINE V Splat(double x) { return _mm256_set1_pd(x); }
QD_INLINE V Load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
QD_INLINE void Store(float* p, V v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
// Stores v where `keep` is false, leaves p where it is true; SKIPS false:
// no lane keeps its values.
template <bool SKIPS>
QD_INLINE void StoreUnless(float* p, M keep, V v) {
  if (SKIPS) {
    Store(p, keep ? Load(p) : v);
  } else {
    Store(p, v);
  }
}
// Two adjacent floats, widened, and stored back rounded.
QD_INLINE __m128d LoadPair(const float* p) {
  double pair;
  __builtin_memcpy(&pair, p, sizeof pair);
  return _mm_cvtps_pd(_mm_castpd_ps(_mm_set_sd(pair)));
}
QD_INLINE void StorePair(float* p, __m128d v) {
  const double pair = _mm_cvtsd_f64(_mm_castps_pd(_mm_cvtpd_ps(v)));
  __builtin_memcpy(p, &pair, sizeof pair);
}
QD_INLINE bool All(M m) { return _mm256_movemask_pd(__m256d(m)) == 0xF; }
QD_INLINE bool Any(M m) { return _mm256_movemask_pd(__m256d(m)) != 0; }
QD_INLINE V Abs(V x) { return V(M(x) & ~(M{} + (1LL << 63))); }

// The arguments are sums of squares, never negative.
QD_INLINE V SquareRoot(V x) { return _mm256_sqrt_pd(x); }

// sgn(x) = x/|x|, +1 for 0, in every lane; only non-finite x are divided.
QD_INLINE V Sgn(V x) {
  const V one = Splat(1.0);
  V s = V(M(one) | (M(x) & (M{} + (1LL << 63))));
  s = x == Splat(0.0) ? one : s;
  const M finite = Abs(x) <= Splat(kLargest);
  if (!All(finite)) s = finite ? s : x / Abs(x);
  return s;
}

struct Quad {
  int n;
  float* m;  // element (i, j) of lane w at m[4*((i-1) + (j-1)*n) + w]
  double* f;
  float* const* colnrm;
  float* const* rownrm;

  float* at(int i, int j) const { return m + 4 * ((i - 1) + (j - 1) * n); }

  void StoreNorms(float* const* norms, int k, M skip, V r) const {
    for (int w = 0; w < 4; ++w) {
      if (norms[w] != nullptr) norms[w][k - 1] = skip[w] ? 0.0f : float(r[w]);
    }
  }

  void ColumnStep(int k) const {
    float* const ck = at(k, k);
    const int len = n - k + 1;
    V z = Splat(0.0);
    for (int e = 0; e < len; ++e) {
      const V v = Load(ck + 4 * e);
      z = z + v * v;
    }
    const M skip = z <= Splat(double(kNormTol));  // a NaN counts as larger
    const V r = SquareRoot(z);
    StoreNorms(colnrm, k, skip, r);
    if (All(skip)) return;
    if (Any(skip)) {
      ColumnReflection<true>(k, skip, r);
    } else {
      ColumnReflection<false>(k, skip, r);
    }
  }

  template <bool SKIPS>
  void ColumnReflection(int k, M skip, V r) const {
    float* const ck = at(k, k);
    const int len = n - k + 1;
    const V old = Load(ck);
    StoreUnless<SKIPS>(ck, skip, Sgn(old) * (r + Abs(old)));
    if (k == n) return;
    const V h = r * (r + Abs(old));
    for (int j = k + 1; j <= n; ++j) {
      float* const cj = at(k, j);
      V d = Splat(0.0);
      for (int e = 0; e < len; ++e) d = d + Load(ck + 4 * e) * Load(cj + 4 * e);
      const V q = d / h;
      for (int e = 0; e < len; ++e) {
        StoreUnless<SKIPS>(cj + 4 * e, skip, Load(cj + 4 * e) - q * Load(ck + 4 * e));
      }
    }
    const V t = -Sgn(Load(ck));
    for (int j = k + 1; j <= n; ++j) StoreUnless<SKIPS>(at(k, j), skip, t * Load(at(k, j)));
  }

  void RowStep(int k) const {
    V z = Splat(0.0);
    for (int j = k + 1; j <= n; ++j) {
      const V v = Load(at(k, j));
      z = z + v * v;
    }
    const M skip = z <= Splat(double(kNormTol));
    const V r = SquareRoot(z);
    StoreNorms(rownrm, k + 1, skip, r);
    if (All(skip)) return;
    if (Any(skip)) {
      RowReflection<true>(k, skip, r);
    } else {
      RowReflection<false>(k, skip, r);
    }
  }

  template <bool SKIPS>
  void RowReflection(int k, M skip, V r) const {
    const V old = Load(at(k, k + 1));
    StoreUnless<SKIPS>(at(k, k + 1), skip, Sgn(old) * (r + Abs(old)));
    const V h = r * (r + Abs(old));
    // One factor per row and lane, f[4(i-k-1) + w].
    for (int i = k + 1; i <= n; ++i) {
      V d = Splat(0.0);
      for (int j = k + 1; j <= n; ++j) d = d + Load(at(k, j)) * Load(at(i, j));
      _mm256_storeu_pd(f + 4 * (i - k - 1), d / h);
    }
    for (int j = k + 1; j <= n; ++j) {
      const V akj = Load(at(k, j));
      for (int i = k + 1; i <= n; ++i) {
        const V fi = _mm256_loadu_pd(f + 4 * (i - k - 1));
        StoreUnless<SKIPS>(at(i, j), skip, Load(at(i, j)) - fi * akj);
      }
    }
    const V t = -Sgn(Load(at(k, k + 1)));
    for (int i = k + 1; i <= n; ++i) StoreUnless<SKIPS>(at(i, k + 1), skip, t * Load(at(i, k + 1)));
  }
};

}  // namespace

void Bidiagonalise(int n, float* const* a, float* const* colnrm, float* const* rownrm, float* m,
                   double* f) {
  const int size = n * n;
  // Each element's four lanes are put together in a register and stored at
  // once: four separate stores read back as one would wait for the cache.
  const float zero = 0.0f;
  const float* const from[4] = {a[0] != nullptr ? a[0] : &zero, a[1] != nullptr ? a[1] : &zero,
                                a[2] != nullptr ? a[2] : &zero, a[3] != nullptr ? a[3] : &zero};
  const int step[4] = {a[0] != nullptr, a[1] != nullptr, a[2] != nullptr, a[3] != nullptr};
  for (int e = 0; e < size; ++e) {
    _mm_storeu_ps(m + 4 * e, _mm_set_ps(from[3][e * step[3]], from[2][e * step[2]], from[1][e * step[1]],
                                        from[0][e * step[0]]));
  }
  for (int w = 0; w < 4; ++w) {
    if (rownrm[w] != nullptr) rownrm[w][0] = 0.0f;
  }
  const Quad q{n, m, f, colnrm, rownrm};
  for (int k = 1; k <= n; ++k) {
    q.ColumnStep(k);
    if (k == n) break;
    q.RowStep(k);
  }
  for (int e = 0; e < size; ++e) {
    for (int w = 0; w < 4; ++w) {
      if (a[w] != nullptr) a[w][e] = m[4 * e + w];
    }
  }
}

namespace {

// The rotations of columns of N elements, N known when compiled (N > 0) so
// that the loops over the elements unroll, or n: quads of rows, then a pair,
// then a single row.
template <int N>
void ApplyRotationsOf(int n, int count, float* const* u, long ld, const RsvdWork::Rotation* const* r,
                      const int* steps) {
  if (N > 0) n = N;
  const int quads = n / 4;
  const int pair = (n % 4) / 2;
  const int single = n % 2;
  int longest = 0;
  for (int c = 0; c < count; ++c) longest = steps[c] > longest ? steps[c] : longest;
  // Rotation t of every matrix in turn: the rotations of one matrix are a
  // chain through its columns, those of different matrices are not.
  for (int t = 0; t < longest; ++t) {
    for (int c = 0; c < count; ++c) {
      if (t >= steps[c]) continue;
      const RsvdWork::Rotation& rt = r[c][t];
      float* const y = u[c] + (rt.first - 1) * ld;
      float* const z = u[c] + (rt.second - 1) * ld;
      const double cs = rt.cs;
      const double sn = rt.sn;
      const V vc = Splat(cs);
      const V vs = Splat(sn);
#pragma GCC unroll 4
      for (int q = 0; q < quads; ++q) {
        const V yy = Load(y + 4 * q);
        const V zz = Load(z + 4 * q);
        Store(y + 4 * q, yy * vc + zz * vs);
        Store(z + 4 * q, zz * vc - yy * vs);
      }
      int e = 4 * quads;
      if (pair) {
        const __m128d c2 = _mm_set1_pd(cs);
        const __m128d s2 = _mm_set1_pd(sn);
        const __m128d yy = LoadPair(y + e);
        const __m128d zz = LoadPair(z + e);
        StorePair(y + e, _mm_add_pd(_mm_mul_pd(yy, c2), _mm_mul_pd(zz, s2)));
        StorePair(z + e, _mm_sub_pd(_mm_mul_pd(zz, c2), _mm_mul_pd(yy, s2)));
        e += 2;
      }
      if (single) {
        const double yy = y[e];
        const double zz = z[e];
        y[e] = float(yy * cs + zz * sn);
        z[e] = float(zz * cs - yy * sn);
      }
    }
  }
}

}  // namespace

void ApplyRotations(int n, int count, float* const* u, long ld, const RsvdWork::Rotation* const* r,
                    const int* steps) {
  switch (n) {
    case 4: ApplyRotationsOf<4>(n, count, u, ld, r, steps); break;
    case 5: ApplyRotationsOf<5>(n, count, u, ld, r, steps); break;
    case 6: ApplyRotationsOf<6>(n, count, u, ld, r, steps); break;
    case 7: ApplyRotationsOf<7>(n, count, u, ld, r, steps); break;
    case 8: ApplyRotationsOf<8>(n, count, u, ld, r, steps); break;
    default: ApplyRotationsOf<0>(n, count, u, ld, r, steps); break;
  }
}

}  // namespace wv::quad
