// The square decomposition of the programs' calls (every dimension the order,
// no extra columns) in work storage the caller keeps, computing only the parts
// the caller reads. It makes RSVD's reflections, sign changes, rotations and
// exchanges in RSVD's order with RSVD's rounding points; what it leaves out
// (V, or the back-transformation of columns of U nobody reads) never feeds
// back into S or into the columns it delivers. Loops over independent
// elements run two elements at a time (lanes.h), or four with AVX2
// (rsvd_quad_avx2.cpp).
//
// No errno for square roots: their arguments are never negative. (The straight-line
// vectoriser, which miscompiles float roundings in GCC 12, is off project-wide.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-math-errno")
#endif

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "lanes.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "cpu.h"
#include "matrix.h"
#include "rsvd.h"
#include "rsvd_quad.h"

namespace wv {
namespace {

constexpr float kNormTol = quad::kNormTol;
constexpr float kRelTol = 1e-6f;
constexpr int kMaxSweeps = 10000;
constexpr int kBatch = 16;  // decompositions advanced side by side

// sgn(x) = x/|x|, +1 for 0. For finite x the quotient is exactly +1 or -1, so
// only infinities and NaN, whose quotient is a NaN, are divided.
double Sgn(double x) {
  if (x == 0.0) return 1.0;
  if (std::fabs(x) <= std::numeric_limits<double>::max()) return std::copysign(1.0, x);
  return x / std::fabs(x);
}

// -x when `negate`, else x, without a branch: the outcome follows the data
// and a mispredicted branch would throw away the work of the other
// decompositions in flight.
template <class T>
T NegatedIf(bool negate, T x) {
  using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
  Bits b;
  std::memcpy(&b, &x, sizeof b);
  b ^= Bits(negate) << (8 * sizeof(T) - 1);
  std::memcpy(&x, &b, sizeof b);
  return x;
}

// The quotients (a/c, b/c), formed together.
void DividePair(double a, double b, double c, double& qa, double& qb) {
  const lanes::D2 q = lanes::D2{a, b} / lanes::Splat(c);
  qa = q[0];
  qb = q[1];
}

// Reflector updates x_j = x_j - (d_j/h) y of the columns x_j, j = 0..count-1,
// `stride` floats apart, each d_j the dot product of y with x_j over `len`
// elements in ascending order. With FLIP, the first element of every column
// is first made float(t * x_j(0)), as a store before the update would make
// it; the value stays in a register, since a float stored alone and read
// back in a pair would wait for the store to reach the cache. The columns are
// independent; they go in pairs so that their quotients are formed together.
// LEN > 0: len is LEN, known when compiled, so that the loops over the
// elements unroll.
template <int LEN, bool FLIP>
void ReflectColumnsOf(float* x, std::ptrdiff_t stride, int count, const float* y, int len, double h,
                      double t) {
  if (LEN > 0) len = LEN;
  // x(0) - f y(0), x(1) - f y(1), ... with x(0) = first; the rest in pairs
  // from element 2 on, the pairs of the unflipped update.
  auto update = [&](float* xj, double first, double f) {
    if (len >= 2) {
      lanes::Narrow(xj, lanes::D2{first, double(xj[1])} - lanes::Splat(f) * lanes::Widen(y));
      lanes::SubtractMultiple<(LEN > 2 ? LEN - 2 : 0)>(xj + 2, y + 2, len - 2, f);
    } else {
      xj[0] = float(first - f * double(y[0]));
    }
  };
  int j = 0;
  for (; j + 2 <= count; j += 2) {
    float* const x0 = x + j * stride;
    float* const x1 = x0 + stride;
    const double a0 = FLIP ? double(float(t * double(x0[0]))) : double(x0[0]);
    const double a1 = FLIP ? double(float(t * double(x1[0]))) : double(x1[0]);
    double d0 = 0.0 + double(y[0]) * a0;
    double d1 = 0.0 + double(y[0]) * a1;
#pragma GCC unroll 8
    for (int e = 1; e < len; ++e) {
      d0 += double(y[e]) * double(x0[e]);
      d1 += double(y[e]) * double(x1[e]);
    }
    double f0, f1;
    DividePair(d0, d1, h, f0, f1);
    if (FLIP) {
      update(x0, a0, f0);
      update(x1, a1, f1);
    } else {
      lanes::SubtractMultiple<LEN>(x0, y, len, f0);
      lanes::SubtractMultiple<LEN>(x1, y, len, f1);
    }
  }
  if (j < count) {
    float* const x0 = x + j * stride;
    const double a0 = FLIP ? double(float(t * double(x0[0]))) : double(x0[0]);
    double d = 0.0 + double(y[0]) * a0;
#pragma GCC unroll 8
    for (int e = 1; e < len; ++e) d += double(y[e]) * double(x0[e]);
    if (FLIP) {
      update(x0, a0, d / h);
    } else {
      lanes::SubtractMultiple<LEN>(x0, y, len, d / h);
    }
  }
}

template <bool FLIP>
void ReflectColumns(float* x, std::ptrdiff_t stride, int count, const float* y, int len, double h,
                    double t) {
  switch (len) {
    case 1: ReflectColumnsOf<1, FLIP>(x, stride, count, y, len, h, t); break;
    case 2: ReflectColumnsOf<2, FLIP>(x, stride, count, y, len, h, t); break;
    case 3: ReflectColumnsOf<3, FLIP>(x, stride, count, y, len, h, t); break;
    case 4: ReflectColumnsOf<4, FLIP>(x, stride, count, y, len, h, t); break;
    case 5: ReflectColumnsOf<5, FLIP>(x, stride, count, y, len, h, t); break;
    case 6: ReflectColumnsOf<6, FLIP>(x, stride, count, y, len, h, t); break;
    default: ReflectColumnsOf<0, FLIP>(x, stride, count, y, len, h, t); break;
  }
}

// Every argument is a sum of squares (or one plus a square): never negative,
// so the root needs no check.
double Root(double x) { return std::sqrt(x); }

struct Square {
  int n;
  Mat a, u, v;
  Vec s, colnrm, rownrm, offdiag;
  double* sums;  // n doubles
  bool wantV;
  bool allOfU;
  // The rotations of U in the order of the sweeps. U is not read before the
  // sweeps end, so recording them and applying them afterwards, in the same
  // order, gives the same U; it keeps the chain of the sweeps short.
  std::vector<RsvdWork::Rotation>* rotations;
};

void RotateU(const Square& p, int first, int second, double cs, double sn) {
  p.rotations->push_back(RsvdWork::Rotation{first, second, cs, sn});
}

// The rotations of columns of N elements, N known when compiled (N > 0) so
// that the loop over the elements unrolls, or p.n.
template <int N>
void ApplyRotationsOf(const Square& p) {
  const int n = N > 0 ? N : p.n;
  float* const u = &p.u(1, 1);
  const std::ptrdiff_t ld = p.u.ld;
  for (const RsvdWork::Rotation& r : *p.rotations) {
    lanes::Rotate<N>(u + (r.first - 1) * ld, u + (r.second - 1) * ld, n, r.cs, r.sn);
  }
}

void ApplyRotations(const Square& p) {
  switch (p.n) {
    case 3: ApplyRotationsOf<3>(p); break;
    case 4: ApplyRotationsOf<4>(p); break;
    case 5: ApplyRotationsOf<5>(p); break;
    case 6: ApplyRotationsOf<6>(p); break;
    case 7: ApplyRotationsOf<7>(p); break;
    case 8: ApplyRotationsOf<8>(p); break;
    default: ApplyRotationsOf<0>(p); break;
  }
}

// Step 1, column step k.
void ColumnStep(const Square& p, int k) {
  const int n = p.n;
  const Mat& a = p.a;
  float* const ck = &a(k, k);  // column k from row k on
  const int len = n - k + 1;
  double z = 0.0;
  for (int e = 0; e < len; ++e) z += double(ck[e]) * double(ck[e]);
  p.colnrm(k) = 0.0f;
  if (z <= double(kNormTol)) return;  // (a NaN counts as larger)
  const double r = Root(z);
  p.colnrm(k) = float(r);
  const double old = ck[0];
  ck[0] = float(Sgn(old) * (r + std::fabs(old)));
  if (k == n) return;
  const double h = r * (r + std::fabs(old));
  ReflectColumns<false>(&a(k, k + 1), a.ld, n - k, ck, len, h, 1.0);
  const double t = -Sgn(ck[0]);
  for (int j = k + 1; j <= n; ++j) a(k, j) = float(t * double(a(k, j)));
}

// Step 1, row step k (k < n).
void RowStep(const Square& p, int k) {
  const int n = p.n;
  const Mat& a = p.a;
  double z = 0.0;
  for (int j = k + 1; j <= n; ++j) z += double(a(k, j)) * double(a(k, j));
  p.rownrm(k + 1) = 0.0f;
  if (z <= double(kNormTol)) return;
  const double r = Root(z);
  p.rownrm(k + 1) = float(r);
  const double old = a(k, k + 1);
  a(k, k + 1) = float(Sgn(old) * (r + std::fabs(old)));
  const double h = r * (r + std::fabs(old));
  // The dot products of rows k+1..n with row k are separate sums, each over
  // ascending columns; no row's update touches another row's sum.
  const int rows = n - k;
  double* const f = p.sums;
  for (int e = 0; e < rows; ++e) f[e] = 0.0;
  for (int j = k + 1; j <= n; ++j) lanes::AddTimesColumn(f, double(a(k, j)), &a(k + 1, j), rows);
  lanes::DivideAll(f, rows, h);
  for (int j = k + 1; j <= n; ++j) lanes::SubtractFactorsTimes(&a(k + 1, j), f, rows, double(a(k, j)));
  const double t = -Sgn(a(k, k + 1));
  float* const next = &a(k + 1, k + 1);
  for (int e = 0; e < rows; ++e) next[e] = float(t * double(next[e]));
}

// Step 1 for the decompositions in `live`, step by step in turn so that the
// chains of different decompositions overlap; each one's own steps keep
// their order.
void Bidiagonalise(const Square* p, const int* live, int count) {
  if (count == 0) return;
  const int n = p[live[0]].n;
  for (int c = 0; c < count; ++c) p[live[c]].rownrm(1) = 0.0f;  // no row step belongs to it
  for (int k = 1; k <= n; ++k) {
    for (int c = 0; c < count; ++c) ColumnStep(p[live[c]], k);
    if (k == n) break;
    for (int c = 0; c < count; ++c) RowStep(p[live[c]], k);
  }
}

// ---- Step 1 for two decompositions at once ----
// The two matrices are stored element by element side by side, and every
// operation of step 1 is done for both in the two lanes of one register:
// lane 0 is the first decomposition, lane 1 the second, each with exactly
// the operations of ColumnStep and RowStep. Where one of them skips a
// reflector (a norm at or below NORMTOL) and the other does not, the skipping
// lane keeps its stored values.

typedef long long M2 __attribute__((vector_size(16)));

lanes::D2 Load(const lanes::F2& x) { return lanes::Widen(reinterpret_cast<const float*>(&x)); }
void Store(lanes::F2& x, lanes::D2 v) { lanes::Narrow(reinterpret_cast<float*>(&x), v); }
// Stores v where `keep` is false, leaves x where it is true.
void StoreUnless(lanes::F2& x, M2 keep, lanes::D2 v) { Store(x, keep ? Load(x) : v); }

lanes::D2 Abs(lanes::D2 x) {
  const M2 bits = __builtin_bit_cast(M2, x) & ~(M2{1, 1} << 63);
  return __builtin_bit_cast(lanes::D2, bits);
}

// Root in both lanes; one instruction for the two where the processor has it.
lanes::D2 SquareRoot(lanes::D2 x) {
#if defined(__SSE2__)
  return _mm_sqrt_pd(x);
#else
  return lanes::D2{Root(x[0]), Root(x[1])};
#endif
}

// Sgn in both lanes, without a branch on the sign.
lanes::D2 SgnPair(lanes::D2 x) {
  const lanes::D2 one = lanes::Splat(1.0);
  const M2 sign = __builtin_bit_cast(M2, x) & (M2{1, 1} << 63);
  lanes::D2 s = __builtin_bit_cast(lanes::D2, __builtin_bit_cast(M2, one) | sign);
  s = x == lanes::Splat(0.0) ? one : s;
  const M2 finite = Abs(x) <= lanes::Splat(std::numeric_limits<double>::max());
  if (!finite[0] || !finite[1]) s = finite ? s : x / Abs(x);
  return s;
}

void StoreNorms(const Square& p0, const Square& p1, Vec Square::*norms, int k, M2 skip, lanes::D2 r) {
  (p0.*norms)(k) = skip[0] ? 0.0f : float(r[0]);
  (p1.*norms)(k) = skip[1] ? 0.0f : float(r[1]);
}

void ColumnStepPair(lanes::F2* m, int n, int k, const Square& p0, const Square& p1) {
  using lanes::D2;
  auto at = [&](int i, int j) -> lanes::F2& { return m[(i - 1) + (j - 1) * n]; };
  lanes::F2* const ck = &at(k, k);
  const int len = n - k + 1;
  D2 z = lanes::Splat(0.0);
  for (int e = 0; e < len; ++e) {
    const D2 v = Load(ck[e]);
    z = z + v * v;
  }
  const M2 skip = z <= lanes::Splat(double(kNormTol));  // a NaN counts as larger
  const D2 r = SquareRoot(z);
  StoreNorms(p0, p1, &Square::colnrm, k, skip, r);
  if (skip[0] && skip[1]) return;
  const D2 old = Load(ck[0]);
  StoreUnless(ck[0], skip, SgnPair(old) * (r + Abs(old)));
  if (k == n) return;
  const D2 h = r * (r + Abs(old));
  for (int j = k + 1; j <= n; ++j) {
    lanes::F2* const cj = &at(k, j);
    D2 d = lanes::Splat(0.0);
    for (int e = 0; e < len; ++e) d = d + Load(ck[e]) * Load(cj[e]);
    const D2 q = d / h;
    for (int e = 0; e < len; ++e) StoreUnless(cj[e], skip, Load(cj[e]) - q * Load(ck[e]));
  }
  const D2 t = -SgnPair(Load(ck[0]));
  for (int j = k + 1; j <= n; ++j) StoreUnless(at(k, j), skip, t * Load(at(k, j)));
}

void RowStepPair(lanes::F2* m, int n, int k, const Square& p0, const Square& p1, double* f) {
  using lanes::D2;
  auto at = [&](int i, int j) -> lanes::F2& { return m[(i - 1) + (j - 1) * n]; };
  D2 z = lanes::Splat(0.0);
  for (int j = k + 1; j <= n; ++j) {
    const D2 v = Load(at(k, j));
    z = z + v * v;
  }
  const M2 skip = z <= lanes::Splat(double(kNormTol));
  const D2 r = SquareRoot(z);
  StoreNorms(p0, p1, &Square::rownrm, k + 1, skip, r);
  if (skip[0] && skip[1]) return;
  const D2 old = Load(at(k, k + 1));
  StoreUnless(at(k, k + 1), skip, SgnPair(old) * (r + Abs(old)));
  const D2 h = r * (r + Abs(old));
  // One pair of factors per row, f[2(i-k-1)], f[2(i-k-1)+1].
  for (int i = k + 1; i <= n; ++i) {
    D2 d = lanes::Splat(0.0);
    for (int j = k + 1; j <= n; ++j) d = d + Load(at(k, j)) * Load(at(i, j));
    lanes::Put(f + 2 * (i - k - 1), d / h);
  }
  for (int j = k + 1; j <= n; ++j) {
    const D2 akj = Load(at(k, j));
    for (int i = k + 1; i <= n; ++i) {
      StoreUnless(at(i, j), skip, Load(at(i, j)) - lanes::Get(f + 2 * (i - k - 1)) * akj);
    }
  }
  const D2 t = -SgnPair(Load(at(k, k + 1)));
  for (int i = k + 1; i <= n; ++i) StoreUnless(at(i, k + 1), skip, t * Load(at(i, k + 1)));
}

// Step 1 for p0 and p1 together; `m` holds n*n pairs, `f` 2n doubles.
void BidiagonalisePair(const Square& p0, const Square& p1, lanes::F2* m, double* f) {
  const int n = p0.n;
  const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  for (std::size_t e = 0; e < size; ++e) m[e] = lanes::F2{p0.a.p[e], p1.a.p[e]};
  p0.rownrm(1) = 0.0f;
  p1.rownrm(1) = 0.0f;
  for (int k = 1; k <= n; ++k) {
    ColumnStepPair(m, n, k, p0, p1);
    if (k == n) break;
    RowStepPair(m, n, k, p0, p1, f);
  }
  for (std::size_t e = 0; e < size; ++e) {
    p0.a.p[e] = m[e][0];
    p1.a.p[e] = m[e][1];
  }
}

float SetUp(const Square& p) {
  double largest = 0.0;
  for (int k = 1; k <= p.n; ++k) {
    p.s(k) = p.colnrm(k);
    p.offdiag(k) = p.rownrm(k);
    const double sum = double(p.colnrm(k)) + double(p.rownrm(k));
    if (sum > largest) largest = sum;
  }
  const float eps = float(double(kRelTol) * largest);
  for (int j = 1; j <= p.n; ++j) {
    for (int i = 1; i <= p.n; ++i) p.u(i, j) = 0.0f;
    p.u(j, j) = 1.0f;
  }
  if (p.wantV) {
    for (int j = 1; j <= p.n; ++j) {
      for (int i = 1; i <= p.n; ++i) p.v(i, j) = 0.0f;
      p.v(j, j) = 1.0f;
    }
  }
  return eps;
}

void Cancel(const Square& p, int l, int k, float eps) {
  double cs = 0.0;
  double sn = 1.0;
  for (int i = l; i <= k; ++i) {
    const float f = float(sn * double(p.offdiag(i)));
    p.offdiag(i) = float(cs * double(p.offdiag(i)));
    if (std::fabs(f) <= eps) break;
    const float g = p.s(i);
    const double h = Root(double(f) * double(f) + double(g) * double(g));
    p.s(i) = float(h);
    DividePair(double(g), -double(f), h, cs, sn);
    RotateU(p, l - 1, i, cs, sn);
  }
}

// f and h hold stored (float) values.
void Givens(double f, double h, double z, double& cs, double& sn) {
  if (z == 0.0) {
    cs = 1.0;
    sn = 0.0;
  } else {
    DividePair(f, h, z, cs, sn);
  }
}

// Step 3 of one decomposition as a sequence of short steps, so that several
// independent decompositions can be advanced in turn: the QR sweeps are chains
// of dependent square roots and divisions, and steps of different
// decompositions overlap in the processor where one chain alone would wait.
// The steps are RSVD's, in RSVD's order.
struct Diagonalisation {
  const Square* p;
  float eps;
  int k;           // the singular value being converged; 0 when all are
  int sweeps;      // sweeps made for this k
  int l, i;        // sweep over l..k in progress at rotation i; i = 0: none
  double f, x;     // carried from one rotation of a sweep to the next: stored (float) values
  double cs, sn;
  bool failed;
};

// Split test, cancellation and convergence test for the current k; starts
// the next sweep (its shift) when S(k) has not converged.
void TestOrStartSweep(Diagonalisation& d) {
  const Square& p = *d.p;
  // A value that has converged is followed at once by the test of the next:
  // a test involves no root or quotient unless it cancels, and a step of its
  // own for each would only add to the loop over the decompositions.
  int k = d.k;
  int l = 1;
  for (;;) {
    // The split test runs from L = K down and stops at the first L with a
    // negligible OFFDIAG(L) (tested first) or S(L-1); OFFDIAG(1) is 0. That
    // is the largest such L, found here without a branch on each test.
    l = 1;
    bool cancel = false;
    for (int m = 2; m <= k; ++m) {
      const bool off = std::fabs(p.offdiag(m)) <= d.eps;
      const bool diag = std::fabs(p.s(m - 1)) <= d.eps;
      const bool hit = off | diag;  // both tests made: no branch on either
      l = hit ? m : l;
      cancel = hit ? !off : cancel;
    }
    if (cancel) Cancel(p, l, k, d.eps);
    if (l != k) break;
    const float sk = p.s(k);
    const bool negative = sk < 0.0f;
    p.s(k) = NegatedIf(negative, sk);
    if (p.wantV && negative) {
      for (int j = 1; j <= p.n; ++j) p.v(j, k) = -p.v(j, k);
    }
    d.k = --k;
    d.sweeps = 0;
    if (k == 0) return;
  }
  if (d.sweeps == kMaxSweeps) {
    d.failed = true;
    return;
  }
  const float x = p.s(l);
  const float y = p.s(k - 1);
  const float w = p.s(k);
  const float g = p.offdiag(k - 1);
  const float h = p.offdiag(k);
  const double xd = x, yd = y, wd = w, gd = g, hd = h;
  float f = float(((gd - hd) * (gd + hd) + (yd - wd) * (yd + wd)) / ((hd * 2.0) * yd));
  double shift = Root(double(f) * double(f) + 1.0);
  shift = NegatedIf(f < 0.0f, shift);
  d.f = float(((xd - wd) * (xd + wd) + (yd / (double(f) + shift) - hd) * hd) / xd);
  d.x = x;
  d.cs = 1.0;
  d.sn = 1.0;
  d.l = l;
  d.i = l + 1;
}

using lanes::Stored;

// Rotation i of the sweep in progress; the last one closes the sweep. The
// quantities of a rotation come in pairs, (h, g), (f, g), (h, y), (f, x), each
// pair formed in the two lanes of one register. A difference a - b is formed
// as a + (-b), the same value; only the sign of a NaN may differ, as it does
// wherever a compiler swaps the operands of a sum or product, and no result
// but a NaN depends on it.
void Rotation(Diagonalisation& d) {
  using lanes::D2;
  using lanes::Splat;
  const Square& p = *d.p;
  const int i = d.i;
  const double x = d.x;
  const double g0 = p.offdiag(i);
  const double y0 = p.s(i);
  // H = SN*G, then G = CS*G.
  const D2 hg = Stored(D2{d.sn, d.cs} * Splat(g0));
  double f = d.f;
  double h = hg[0];
  double g = hg[1];
  double z = Root(f * f + h * h);
  p.offdiag(i - 1) = float(z);
  double cs, sn;
  Givens(f, h, z, cs, sn);
  // F = X*CS + G*SN, G = G*CS - X*SN; then H = Y*SN, Y = Y*CS.
  const D2 fg = Stored(D2{x, g} * Splat(cs) + D2{g, -x} * Splat(sn));
  const D2 hy = Stored(Splat(y0) * D2{sn, cs});
  if (p.wantV) lanes::Rotate(&p.v(1, i - 1), &p.v(1, i), p.n, cs, sn);
  f = fg[0];
  g = fg[1];
  h = hy[0];
  const double y = hy[1];
  z = Root(f * f + h * h);
  p.s(i - 1) = float(z);
  Givens(f, h, z, cs, sn);
  // F = CS*G + SN*Y, X = CS*Y - SN*G.
  const D2 fx = Stored(Splat(cs) * D2{g, y} + Splat(sn) * D2{y, -g});
  d.f = fx[0];
  d.x = fx[1];
  d.cs = cs;
  d.sn = sn;
  RotateU(p, i - 1, i, cs, sn);
  if (i < d.k) {
    d.i = i + 1;
    return;
  }
  p.offdiag(d.l) = 0.0f;
  p.offdiag(d.k) = float(d.f);
  p.s(d.k) = float(d.x);
  d.i = 0;
  ++d.sweeps;
}

// Step 3 for all of `count` decompositions, a step of each in turn;
// afterwards each one has either converged or failed.
void Diagonalise(Diagonalisation* d, int count) {
  int active[kBatch];
  int left = 0;
  for (int c = 0; c < count; ++c) {
    if (d[c].k > 0 && !d[c].failed) active[left++] = c;
  }
  while (left > 0) {
    int kept = 0;
    for (int a = 0; a < left; ++a) {
      Diagonalisation& one = d[active[a]];
      if (one.i != 0) {
        Rotation(one);
      } else {
        TestOrStartSweep(one);
      }
      if (one.k > 0 && !one.failed) active[kept++] = active[a];
    }
    left = kept;
  }
}

void SwapColumns(const Mat& x, int rows, int c1, int c2) {
  for (int i = 1; i <= rows; ++i) {
    const float t = x(i, c1);
    x(i, c1) = x(i, c2);
    x(i, c2) = t;
  }
}

void Sort(const Square& p) {
  for (int k = 1; k <= p.n; ++k) {
    float largest = -1.0f;
    int jmax = k;
    for (int i = k; i <= p.n; ++i) {
      const float value = p.s(i);
      const bool larger = !(value <= largest);  // a NaN counts as larger
      largest = larger ? value : largest;
      jmax = larger ? i : jmax;
    }
    if (jmax == k) continue;
    p.s(jmax) = p.s(k);
    p.s(k) = largest;
    if (p.wantV) SwapColumns(p.v, p.n, jmax, k);
    SwapColumns(p.u, p.n, jmax, k);
  }
}

// Step 5 for U, reflector k. Each column of U is back-transformed on its own,
// so a caller that reads only the first column gets it without the others.
void BackTransformU(const Square& p, int k) {
  if (p.colnrm(k) == 0.0f) return;
  const int n = p.n;
  const float* const ck = &p.a(k, k);
  const int len = n - k + 1;
  const int ucols = p.allOfU ? n : 1;
  const double t = -Sgn(ck[0]);  // row k of U changes sign first
  const double h = double(p.colnrm(k)) * std::fabs(double(ck[0]));
  ReflectColumns<true>(&p.u(k, 1), p.u.ld, ucols, ck, len, h, t);
}

void BackTransformV(const Square& p) {
  const int n = p.n;
  const Mat& a = p.a;
  for (int k = n - 1; k >= 1; --k) {
    if (p.rownrm(k + 1) == 0.0f) continue;
    const double t = -Sgn(a(k, k + 1));
    for (int j = 1; j <= n; ++j) p.v(k + 1, j) = float(t * double(p.v(k + 1, j)));
    const double h = double(p.rownrm(k + 1)) * std::fabs(double(a(k, k + 1)));
    for (int j = 1; j <= n; ++j) {
      double d = 0.0;
      for (int c = k + 1; c <= n; ++c) d += double(a(k, c)) * double(p.v(c, j));
      const double f = d / h;
      for (int c = k + 1; c <= n; ++c) p.v(c, j) = float(double(p.v(c, j)) - f * double(a(k, c)));
    }
  }
}

// Steps 4 and 5 for the decompositions in `live`, the reflectors of U in turn
// across them.
void SortAndBackTransform(const Square* p, const int* live, int count, bool avx2) {
  if (count == 0) return;
  const int n = p[live[0]].n;
  bool rotated = false;
#if defined(WV_HAVE_AVX2_KERNELS)
  if (avx2 && n >= 4) {
    float* u[kBatch];
    const RsvdWork::Rotation* r[kBatch];
    int steps[kBatch];
    for (int c = 0; c < count; ++c) {
      const Square& q = p[live[c]];
      u[c] = &q.u(1, 1);
      r[c] = q.rotations->data();
      steps[c] = static_cast<int>(q.rotations->size());
    }
    quad::ApplyRotations(n, count, u, p[live[0]].u.ld, r, steps);
    rotated = true;
  }
#else
  (void)avx2;
#endif
  for (int c = 0; c < count && !rotated; ++c) ApplyRotations(p[live[c]]);
  for (int c = 0; c < count; ++c) Sort(p[live[c]]);
  for (int k = n; k >= 1; --k) {
    for (int c = 0; c < count; ++c) BackTransformU(p[live[c]], k);
  }
  for (int c = 0; c < count; ++c) {
    if (p[live[c]].wantV && n >= 2) BackTransformV(p[live[c]]);
  }
}

void FillNaN(const Square& p) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (int k = 1; k <= p.n; ++k) p.s(k) = nan;
  for (int j = 1; j <= p.n; ++j) {
    for (int i = 1; i <= p.n; ++i) p.u(i, j) = nan;
  }
  if (p.wantV) {
    for (int j = 1; j <= p.n; ++j) {
      for (int i = 1; i <= p.n; ++i) p.v(i, j) = nan;
    }
  }
}

template <class T>
T* Fit(std::vector<T>& x, int n) {
  if (x.size() < static_cast<std::size_t>(n)) x.resize(static_cast<std::size_t>(n));
  return x.data();
}

}  // namespace

void RSVDSquareBatch(int count, int N, SvdParts parts, float* const* A, float* const* S,
                     float* const* U, float* const* V, RsvdWork& work) {
  if (N <= 0) return;
  const bool wantV = parts == SvdParts::kUAndV;
  const bool allOfU = parts != SvdParts::kFirstColumnOfU;
  const std::size_t size = static_cast<std::size_t>(N) * static_cast<std::size_t>(N);
  for (int c0 = 0; c0 < count; c0 += kBatch) {
    const int batch = count - c0 < kBatch ? count - c0 : kBatch;
    float* const colnrm = Fit(work.colnrm, batch * N);
    float* const rownrm = Fit(work.rownrm, batch * N);
    float* const offdiag = Fit(work.offdiag, batch * N);
    double* const sums = Fit(work.sums, (batch > 4 ? batch : 4) * N);
    if (work.rotations.size() < static_cast<std::size_t>(batch)) work.rotations.resize(static_cast<std::size_t>(batch));
    Square p[kBatch];
    Diagonalisation d[kBatch];
    int live[kBatch];
    int nlive = 0;
    for (int b = 0; b < batch; ++b) {
      const int c = c0 + b;
      p[b] = Square{N,
                    Mat{A[c], N},
                    Mat{U[c], N},
                    Mat{wantV ? V[c] : nullptr, N},
                    Vec{S[c]},
                    Vec{colnrm + b * N},
                    Vec{rownrm + b * N},
                    Vec{offdiag + b * N},
                    sums + b * N,
                    wantV,
                    allOfU,
                    &work.rotations[b]};
      work.rotations[b].clear();
      d[b] = Diagonalisation{&p[b], 0.0f, N, 0, 0, 0, 0.0f, 0.0f, 1.0, 1.0, false};
      bool finite = true;
      for (std::size_t e = 0; e < size && finite; ++e) finite = std::isfinite(A[c][e]);
      if (finite) {
        live[nlive++] = b;
      } else {
        d[b].failed = true;
      }
    }
    // Groups of four (with AVX2) or two decompositions go through step 1
    // together, a last one alone.
    lanes::F2* const m = reinterpret_cast<lanes::F2*>(Fit(work.pairs, 4 * N * N));
    int paired = 0;
#if defined(WV_HAVE_AVX2_KERNELS)
    for (; work.avx2 && paired + 3 <= nlive; paired += 4) {
      float* a[4];
      float* cn[4];
      float* rn[4];
      for (int w = 0; w < 4; ++w) {
        const bool on = paired + w < nlive;
        const Square* const q = on ? &p[live[paired + w]] : nullptr;
        a[w] = on ? q->a.p : nullptr;
        cn[w] = on ? &q->colnrm(1) : nullptr;
        rn[w] = on ? &q->rownrm(1) : nullptr;
      }
      quad::Bidiagonalise(N, a, cn, rn, reinterpret_cast<float*>(m), sums);
    }
    if (paired > nlive) paired = nlive;
#endif
    for (; paired + 2 <= nlive; paired += 2) {
      BidiagonalisePair(p[live[paired]], p[live[paired + 1]], m, sums);
    }
    Bidiagonalise(p, live + paired, nlive - paired);
    for (int c = 0; c < nlive; ++c) d[live[c]].eps = SetUp(p[live[c]]);
    Diagonalise(d, batch);
    nlive = 0;
    for (int b = 0; b < batch; ++b) {
      if (d[b].failed) {
        FillNaN(p[b]);
      } else {
        live[nlive++] = b;
      }
    }
    SortAndBackTransform(p, live, nlive, work.avx2);
  }
}

RsvdWork::RsvdWork() {
#if defined(WV_HAVE_AVX2_KERNELS)
  avx2 = HasAvx2();
#else
  avx2 = false;
#endif
}

void RSVDSquare(float* A, int N, SvdParts parts, float* S, float* U, float* V, RsvdWork& work) {
  RSVDSquareBatch(1, N, parts, &A, &S, &U, &V, work);
}

}  // namespace wv
