// Two double-precision lanes for loops whose iterations are independent sums or
// updates of separate elements. Each lane does exactly the scalar operations
// of its own element (float widened to double, double products and sums,
// rounded to float where stored), so results are the same bit for bit as the
// one-element-at-a-time loop; only unrelated elements share a register.
#pragma once

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wv::lanes {

typedef double D2 __attribute__((vector_size(16)));
typedef float F2 __attribute__((vector_size(8)));

// Two adjacent floats, widened. (The processor's conversions, where it has
// them, are one instruction for both lanes; the general vector conversion
// takes one per lane and more.)
inline D2 Widen(const float* p) {
#if defined(__SSE2__)
  double pair;
  std::memcpy(&pair, p, sizeof pair);
  return _mm_cvtps_pd(_mm_castpd_ps(_mm_set_sd(pair)));
#else
  F2 f;
  std::memcpy(&f, p, sizeof f);
  return __builtin_convertvector(f, D2);
#endif
}

// Two adjacent floats, each rounded once from its lane.
inline void Narrow(float* p, D2 x) {
#if defined(__SSE2__)
  const double pair = _mm_cvtsd_f64(_mm_castps_pd(_mm_cvtpd_ps(x)));
  std::memcpy(p, &pair, sizeof pair);
#else
  const F2 f = __builtin_convertvector(x, F2);
  std::memcpy(p, &f, sizeof f);
#endif
}

// Both lanes rounded to float, as stored values, and widened again.
inline D2 Stored(D2 x) {
#if defined(__SSE2__)
  return _mm_cvtps_pd(_mm_cvtpd_ps(x));
#else
  return __builtin_convertvector(__builtin_convertvector(x, F2), D2);
#endif
}

inline D2 Get(const double* p) {
  D2 x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

inline void Put(double* p, D2 x) { std::memcpy(p, &x, sizeof x); }

inline D2 Splat(double x) { return D2{x, x}; }

// (y, z) -> (y*cs + z*sn, z*cs - y*sn) for count pairs of stored floats;
// COUNT > 0: count is COUNT, known when compiled.
template <int COUNT = 0>
inline void Rotate(float* y, float* z, int count, double cs, double sn) {
  if (COUNT > 0) count = COUNT;
  const D2 c = Splat(cs);
  const D2 s = Splat(sn);
  int e = 0;
#pragma GCC unroll 8
  for (; e + 2 <= count; e += 2) {
    const D2 yy = Widen(y + e);
    const D2 zz = Widen(z + e);
    Narrow(y + e, yy * c + zz * s);
    Narrow(z + e, zz * c - yy * s);
  }
  for (; e < count; ++e) {
    const double yy = y[e];
    const double zz = z[e];
    y[e] = float(yy * cs + zz * sn);
    z[e] = float(zz * cs - yy * sn);
  }
}

// x(e) = x(e) - f * y(e), each rounded to float: the reflector update of one
// column. COUNT > 0: count is COUNT, known when compiled, so that the loop
// unrolls.
template <int COUNT = 0>
inline void SubtractMultiple(float* x, const float* y, int count, double f) {
  if (COUNT > 0) count = COUNT;
  const D2 ff = Splat(f);
  int e = 0;
#pragma GCC unroll 8
  for (; e + 2 <= count; e += 2) Narrow(x + e, Widen(x + e) - ff * Widen(y + e));
  for (; e < count; ++e) x[e] = float(double(x[e]) - f * double(y[e]));
}

// One more term of count separate sums in double, the operands of each product
// in the order of the scalar code (which decides the NaN a product of two NaNs
// passes on): acc(e) + y(e) * s, and acc(e) + s * y(e).
inline void AddColumnTimes(double* acc, const float* y, int count, double s) {
  const D2 ss = Splat(s);
  int e = 0;
  for (; e + 2 <= count; e += 2) Put(acc + e, Get(acc + e) + Widen(y + e) * ss);
  for (; e < count; ++e) acc[e] = acc[e] + double(y[e]) * s;
}

inline void AddTimesColumn(double* acc, double s, const float* y, int count) {
  const D2 ss = Splat(s);
  int e = 0;
  for (; e + 2 <= count; e += 2) Put(acc + e, Get(acc + e) + ss * Widen(y + e));
  for (; e < count; ++e) acc[e] = acc[e] + s * double(y[e]);
}

// x(e) = x(e) - f(e) * y, each rounded to float: updates with one factor per
// element.
inline void SubtractFactorsTimes(float* x, const double* f, int count, double y) {
  const D2 yy = Splat(y);
  int e = 0;
  for (; e + 2 <= count; e += 2) Narrow(x + e, Widen(x + e) - Get(f + e) * yy);
  for (; e < count; ++e) x[e] = float(double(x[e]) - f[e] * y);
}

// f(e) = f(e) / h.
inline void DivideAll(double* f, int count, double h) {
  const D2 hh = Splat(h);
  int e = 0;
  for (; e + 2 <= count; e += 2) Put(f + e, Get(f + e) / hh);
  for (; e < count; ++e) f[e] = f[e] / h;
}

}  // namespace wv::lanes
