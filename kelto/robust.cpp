// Median absolute deviation and robust correlation without the heapsort.
#include "robust.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "robust_plain.h"

namespace rb {

namespace {

// Four floats side by side: the scans below have no order of their own to
// keep (counts, least and greatest values), so they run four values at a time.
typedef float F4 __attribute__((vector_size(16)));
typedef int I4 __attribute__((vector_size(16)));
typedef float F4u __attribute__((vector_size(16), aligned(4)));

inline F4 Load4(const float* p) { return *(const F4u*)p; }
inline I4 Below(F4 a, F4 b) { return a < b; }

bool HasNaN(int N, const float* w) {
  I4 nan = {0, 0, 0, 0};
  int i = 0;
  for (; i + 4 <= N; i += 4) {
    const F4 v = Load4(w + i);
    nan |= (v != v);
  }
  bool any = (nan[0] | nan[1] | nan[2] | nan[3]) != 0;
  for (; i < N; ++i) any |= (w[i] != w[i]);
  return any;
}

// Least and greatest of a[0..N), N >= 1, no NaN.
void Range(const float* a, int N, float& lo, float& hi) {
  F4 vlo = {a[0], a[0], a[0], a[0]}, vhi = vlo;
  int i = 0;
  for (; i + 4 <= N; i += 4) {
    const F4 v = Load4(a + i);
    vlo = Below(v, vlo) ? v : vlo;
    vhi = Below(vhi, v) ? v : vhi;
  }
  lo = vlo[0];
  hi = vhi[0];
  for (int q = 1; q < 4; ++q) {
    lo = vlo[q] < lo ? vlo[q] : lo;
    hi = vhi[q] > hi ? vhi[q] : hi;
  }
  for (; i < N; ++i) {
    lo = a[i] < lo ? a[i] : lo;
    hi = a[i] > hi ? a[i] : hi;
  }
}

// bucket[i] = the whole part of (a[i] - base) * scale, in double, clamped to
// 0..255, two values at a time and without branches; count[c] counts the
// values of bucket c.
void Buckets(const float* a, int N, double base, double scale, unsigned char* bucket,
             int* count) {
  int i = 0;
#if defined(__SSE2__)
  const __m128d b = _mm_set1_pd(base), s = _mm_set1_pd(scale);
  const __m128d zero = _mm_setzero_pd(), top = _mm_set1_pd(255.0);
  for (; i + 2 <= N; i += 2) {
    const __m128 v = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + i)));
    __m128d d = _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(v), b), s);
    d = _mm_min_pd(_mm_max_pd(d, zero), top);
    const __m128i c = _mm_cvttpd_epi32(d);
    const int c0 = _mm_cvtsi128_si32(c), c1 = _mm_cvtsi128_si32(_mm_srli_si128(c, 4));
    bucket[i] = static_cast<unsigned char>(c0);
    bucket[i + 1] = static_cast<unsigned char>(c1);
    ++count[c0];
    ++count[c1];
  }
#endif
  for (; i < N; ++i) {
    const double d = (double(a[i]) - base) * scale;
    const int c = d > 0.0 ? (d < 255.0 ? int(d) : 255) : 0;
    bucket[i] = static_cast<unsigned char>(c);
    ++count[c];
  }
}

// Value of rank t (0-based) of a few values, by counting for each value how
// many are smaller and how many equal.
float SmallRank(const float* a, int N, int t) {
  for (int i = 0; i < N; ++i) {
    const F4 x = {a[i], a[i], a[i], a[i]};
    I4 less4 = {0, 0, 0, 0}, equal4 = {0, 0, 0, 0};
    int j = 0;
    for (; j + 4 <= N; j += 4) {
      const F4 v = Load4(a + j);
      less4 -= Below(v, x);
      equal4 -= (v == x);
    }
    int less = less4[0] + less4[1] + less4[2] + less4[3];
    int equal = equal4[0] + equal4[1] + equal4[2] + equal4[3];
    for (; j < N; ++j) {
      less += a[j] < a[i];
      equal += a[j] == a[i];
    }
    if (less <= t && t < less + equal) return a[i];
  }
  return a[0];  // not reached: some value has rank t
}

// Value of rank t (0-based) of a[0..N), none of them NaN. Each round spreads
// the values over 256 buckets of equal width between their least and
// greatest value and keeps the bucket that holds rank t. The bucket number is
// a monotone function of the value (every step of it rounds monotonically),
// so a bucket holds a contiguous part of the sorted values; the least value
// falls in the first bucket and the greatest in the last, so every round
// keeps fewer values. Infinities are settled first, since they leave no
// finite width. a, buf (N floats) and bucket
// (N bytes) are overwritten.
float RankValue(float* a, int N, int t, float* buf, unsigned char* bucket) {
  for (;;) {
    if (N <= 16) return SmallRank(a, N, t);
    float lo, hi;
    Range(a, N, lo, hi);
    if (lo == hi) return lo;
    if (std::isinf(lo) || std::isinf(hi)) {
      int below = 0, above = 0, kept = 0;
      for (int i = 0; i < N; ++i) {
        below += a[i] == -INFINITY;
        above += a[i] == INFINITY;
        buf[kept] = a[i];
        kept += !std::isinf(a[i]);
      }
      if (t < below) return -INFINITY;
      if (t >= N - above) return INFINITY;
      t -= below;
      std::swap(a, buf);
      N = kept;
      continue;
    }
    const double base = double(lo);
    const double scale = 256.0 / (double(hi) - base);
    int count[256] = {};
    Buckets(a, N, base, scale, bucket, count);
    int chosen = 0, below = 0;
    while (below + count[chosen] <= t) below += count[chosen++];
    t -= below;
    int kept = 0;
    for (int i = 0; i < N; ++i) {
      buf[kept] = a[i];
      kept += bucket[i] == chosen;
    }
    std::swap(a, buf);
    N = kept;
  }
}

// Median by the rule of the plain form: the middle value for odd N, else the
// mean of the two middle values, formed in double and not rounded. w is
// permuted. Signed zeros may land in other places than the heapsort puts
// them; the callers only use |x - median| and medians of absolute values,
// which do not see the sign of a zero. A vector with a NaN is sorted by the
// plain heapsort, whose placement rules decide which values lie in the middle.
double Median(int N, float* w, EstimatorWork& work) {
  if (HasNaN(N, w)) {
    plain::TREEUP(w, N);
    if (N % 2 == 1) return double(w[N / 2]);
    return (double(w[N / 2 - 1]) + double(w[N / 2])) * 0.5;
  }
  Grow(work.sel, N);
  Grow(work.buf, N);
  Grow(work.bucket, N);
  float* a = work.sel.data();
  for (int i = 0; i < N; ++i) a[i] = w[i];
  const float upper = RankValue(a, N, N / 2, work.buf.data(), work.bucket.data());
  if (N % 2 == 1) return double(upper);
  // The lower middle value: the upper one again if it occurs below rank N/2,
  // else the largest value under it.
  const F4 up = {upper, upper, upper, upper};
  const F4 none = {-INFINITY, -INFINITY, -INFINITY, -INFINITY};
  I4 under4 = {0, 0, 0, 0};
  F4 lower4 = none;
  int i = 0;
  for (; i + 4 <= N; i += 4) {
    const F4 v = Load4(w + i);
    const I4 less = Below(v, up);
    under4 -= less;
    const F4 cand = less ? v : none;
    lower4 = Below(lower4, cand) ? cand : lower4;
  }
  int under = under4[0] + under4[1] + under4[2] + under4[3];
  float lower = -INFINITY;
  for (int q = 0; q < 4; ++q) lower = lower4[q] > lower ? lower4[q] : lower;
  for (; i < N; ++i) {
    if (w[i] < upper) {
      ++under;
      lower = w[i] > lower ? w[i] : lower;
    }
  }
  if (under >= N / 2) return (double(lower) + double(upper)) * 0.5;
  return (double(upper) + double(upper)) * 0.5;
}

}  // namespace

float AMO(int N, const float* X, EstimatorWork& work) {
  Grow(work.w, N);
  float* w = work.w.data();
  for (int i = 0; i < N; ++i) w[i] = X[i];
  const double med = Median(N, w, work);
  for (int i = 0; i < N; ++i) w[i] = float(std::fabs(double(X[i]) - med));
  return float(Median(N, w, work));
}

void ROBCORRCOEFF(int N, const float* X, const float* Y, float& R, EstimatorWork& work) {
  const float sx = AMO(N, X, work);
  const float sy = AMO(N, Y, work);
  if (sx == 0.0f || sy == 0.0f) {
    R = 0.0f;
    return;
  }
  const double a = 1.0 / double(sx);
  const double b = 1.0 / double(sy);
  Grow(work.u, N);
  Grow(work.v, N);
  float* U = work.u.data();
  float* V = work.v.data();
  for (int i = 0; i < N; ++i) {
    const double s = a * double(X[i]) + b * double(Y[i]);
    U[i] = float(s * s);
  }
  for (int i = 0; i < N; ++i) {
    const double d = a * double(X[i]) - b * double(Y[i]);
    V[i] = float(d * d);
  }
  const float su = AMO(N, U, work);
  const float sv = AMO(N, V, work);
  const double total = double(su) + double(sv);
  if (total == 0.0) {
    R = 0.0f;
    return;
  }
  R = float((double(su) - double(sv)) / total);
}

}  // namespace rb
