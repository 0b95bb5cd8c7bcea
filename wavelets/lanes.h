// Two double-precision lanes for loops whose iterations are independent sums or
// updates of separate elements. Each lane does exactly the scalar operations
// of its own element (float widened to double, double products and sums,
// rounded to float where stored), so results are the same bit for bit as the
// one-element-at-a-time loop; only unrelated elements share a register.
#pragma once

#include <cstring>

namespace wv::lanes {

typedef double D2 __attribute__((vector_size(16)));
typedef float F2 __attribute__((vector_size(8)));

// Two adjacent floats, widened.
inline D2 Widen(const float* p) {
  F2 f;
  std::memcpy(&f, p, sizeof f);
  return __builtin_convertvector(f, D2);
}

// Two adjacent floats, each rounded once from its lane.
inline void Narrow(float* p, D2 x) {
  const F2 f = __builtin_convertvector(x, F2);
  std::memcpy(p, &f, sizeof f);
}

inline D2 Get(const double* p) {
  D2 x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

inline void Put(double* p, D2 x) { std::memcpy(p, &x, sizeof x); }

inline D2 Splat(double x) { return D2{x, x}; }

// (y, z) -> (y*cs + z*sn, z*cs - y*sn) for count pairs of stored floats.
inline void Rotate(float* y, float* z, int count, double cs, double sn) {
  const D2 c = Splat(cs);
  const D2 s = Splat(sn);
  int e = 0;
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

// x(e) = x(e) * q, each rounded to float.
inline void Scale(float* x, int count, double q) {
  const D2 qq = Splat(q);
  int e = 0;
  for (; e + 2 <= count; e += 2) Narrow(x + e, Widen(x + e) * qq);
  for (; e < count; ++e) x[e] = float(double(x[e]) * q);
}

// x(e) = x(e) - f * y(e), each rounded to float: the reflector update of one
// column.
inline void SubtractMultiple(float* x, const float* y, int count, double f) {
  const D2 ff = Splat(f);
  int e = 0;
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
