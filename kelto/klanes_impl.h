// Kernels over lanes of KL_W doubles (2 in the baseline build, 4 with AVX2),
// included into one namespace per instruction set (klanes_sse2.cpp,
// klanes_avx2.cpp). Every lane computes exactly what the scalar code computes
// for its own channel or position: the same operations on the same operands in
// the same order, each rounding to float where the scalar code stores. Vectors
// only run independent sums side by side; nothing is reassociated, fused or
// replaced by a reciprocal.
//
// This file is included inside a namespace and uses compiler built-ins only,
// and intrinsics (which are never compiled out of line), so that no inline
// library function is compiled for the wider instruction set and shared with
// code that must run on any x86-64. Lane counts `ld` are
// multiples of 4, and so of KL_W.

#define KL_INLINE inline __attribute__((always_inline))
#define KL_UNROLL _Pragma("GCC unroll 4")

typedef double V __attribute__((vector_size(8 * KL_W)));
typedef long long IV __attribute__((vector_size(8 * KL_W)));
typedef double Vu __attribute__((vector_size(8 * KL_W), aligned(8)));

namespace {

constexpr int W = KL_W;

KL_INLINE V Load(const double* p) { return *(const Vu*)p; }
KL_INLINE void Store(double* p, V v) { *(Vu*)p = v; }
// Every lane x (a copy: an addition to zero would turn -0 into +0).
KL_INLINE V Splat(double x) {
#if KL_W == 4
  return V{x, x, x, x};
#else
  return V{x, x};
#endif
}
#if KL_W == 4
KL_INLINE V LoadF(const float* p) { return (V)_mm256_cvtps_pd(_mm_loadu_ps(p)); }
KL_INLINE void StoreF(float* p, V v) { _mm_storeu_ps(p, _mm256_cvtpd_ps((__m256d)v)); }
// Rounds every lane to float and back: the store of a single-precision sum.
KL_INLINE V ToFloat(V v) { return (V)_mm256_cvtps_pd(_mm256_cvtpd_ps((__m256d)v)); }
#else
KL_INLINE V LoadF(const float* p) {
  return (V)_mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)p)));
}
KL_INLINE void StoreF(float* p, V v) {
  _mm_storel_epi64((__m128i*)p, _mm_castps_si128(_mm_cvtpd_ps((__m128d)v)));
}
KL_INLINE V ToFloat(V v) { return (V)_mm_cvtps_pd(_mm_cvtpd_ps((__m128d)v)); }
#endif
KL_INLINE V Abs(V v) {
  const long long m = 0x7fffffffffffffffLL;
#if KL_W == 4
  return (V)((IV)v & IV{m, m, m, m});
#else
  return (V)((IV)v & IV{m, m});
#endif
}
// Lane-wise choice: where mask is all ones, a; else b.
KL_INLINE V Select(IV mask, V a, V b) { return (V)((mask & (IV)a) | (~mask & (IV)b)); }
// Mask of lane q (0..W-1).
KL_INLINE IV LaneMask(int q) {
#if KL_W == 4
  const IV lane = {0, 1, 2, 3};
#else
  const IV lane = {0, 1};
#endif
  #if KL_W == 4
  return lane == IV{q, q, q, q};
#else
  return lane == IV{q, q};
#endif
}

}  // namespace

namespace {

// Winsorisation of the G lane groups from group g0 (see Vinzor).
template <int G>
KL_INLINE void VinzorChunk(float* w, int ld, int n, double dn, int g0) {
  V sum[G];
  KL_UNROLL
  for (int g = 0; g < G; ++g) sum[g] = Splat(0.0);
  for (int k = 0; k < n; ++k)
    KL_UNROLL
    for (int g = 0; g < G; ++g) sum[g] += LoadF(w + k * ld + W * (g0 + g));
  const V vdn = Splat(dn);
  for (int pass = 1; pass <= 20; ++pass) {
    V mean[G], ssq[G];
    KL_UNROLL
    for (int g = 0; g < G; ++g) {
      mean[g] = ToFloat(sum[g] / vdn);
      ssq[g] = Splat(0.0);
    }
    for (int k = 0; k < n; ++k)
      KL_UNROLL
      for (int g = 0; g < G; ++g) {
        const V d = LoadF(w + k * ld + W * (g0 + g)) - mean[g];
        ssq[g] += d * d;
      }
    V hi[G], lo[G];
    KL_UNROLL
    for (int g = 0; g < G; ++g) {
      const V var = ssq[g] / vdn;
      V sd;
      for (int q = 0; q < W; ++q) sd[q] = __builtin_sqrt(var[q]);
      hi[g] = mean[g] + Splat(3.0) * sd;
      lo[g] = mean[g] - Splat(3.0) * sd;
      sum[g] = Splat(0.0);
    }
    IV any = IV{};
    for (int k = 0; k < n; ++k)
      KL_UNROLL
      for (int g = 0; g < G; ++g) {
        float* p = w + k * ld + W * (g0 + g);
        V v = LoadF(p);
        const IV above = v > hi[g];
        v = Select(above, hi[g], v);
        const IV below = v < lo[g];
        v = Select(below, lo[g], v);
        any |= above | below;
        StoreF(p, v);
        sum[g] += ToFloat(v);
      }
    bool clipped = false;
    for (int q = 0; q < W; ++q) clipped |= (any[q] != 0);
    if (!clipped) return;
  }
}

}  // namespace

// Winsorisation of every lane column of w (n rows of ld floats): the twenty
// passes of the scalar routine, lane by lane. A pass that clips nothing in
// any lane leaves every value as it is, and so would every later pass: the
// lanes stop there. The sum of a pass is formed while the previous pass
// stores its values, in the same order.
void Vinzor(float* w, int ld, int n, double dn) {
  const int groups = ld / W;
  int g = 0;
  for (; g + 2 <= groups; g += 2) VinzorChunk<2>(w, ld, n, dn, g);
  if (g < groups) VinzorChunk<1>(w, ld, n, dn, g);
}

// G[a*ld + b] for a < M, b < ld: single-precision running sums over the n rows
// of w[k*ld + a] * w[k*ld + b], every term added to the stored float.
void GramFloat(const float* w, int ld, int n, int M, float* G) {
  const int groups = ld / W;
  for (int a = 0; a < M; ++a)
    for (int b = 0; b < ld; ++b) G[a * ld + b] = 0.0f;
  for (int k = 0; k < n; ++k) {
    const float* wk = w + k * ld;
    for (int a = 0; a < M; ++a) {
      const V wa = Splat(double(wk[a]));
      for (int g = 0; g < groups; ++g) {
        float* q = G + a * ld + W * g;
        StoreF(q, LoadF(q) + wa * LoadF(wk + W * g));
      }
    }
  }
}

// S[a*ld + b] = (sum over the n rows of w[k*ld + a] * w[k*ld + b], in double
// from 0) / dn, rounded to float; acc holds M*ld doubles of work.
void SecondMoments(const float* w, int ld, int n, int M, double dn, double* acc, float* S) {
  const int groups = ld / W;
  for (int q = 0; q < M * ld; ++q) acc[q] = 0.0;
  for (int k = 0; k < n; ++k) {
    const float* wk = w + k * ld;
    for (int a = 0; a < M; ++a) {
      const V wa = Splat(double(wk[a]));
      for (int g = 0; g < groups; ++g) {
        double* q = acc + a * ld + W * g;
        Store(q, Load(q) + wa * LoadF(wk + W * g));
      }
    }
  }
  for (int a = 0; a < M; ++a)
    for (int g = 0; g < groups; ++g)
      StoreF(S + a * ld + W * g, Load(acc + a * ld + W * g) / Splat(dn));
}

namespace {

// Fitted values of the W lanes from lane0 at K consecutive positions (rows
// xk, xk + ld, ...), for P coefficient sets D + p*dstride (m rows of ld
// lanes), each summed in double from 0 in the order of the regressors.
// Regressor l of the lane of channel c (0-based) is channel l+1, except in
// lane l+1, where channel 0 takes the place of the lane's own channel: only
// the regressors l in [lane0-1, lane0+W-1) have such a lane in this group.
// The K positions are independent sums, formed side by side so that their
// chains of additions overlap.
template <int K, int P>
KL_INLINE void Fitted(const double* xk, int ld, int m, int lane0, const double* D, int dstride,
                      V (&acc)[K][P]) {
  KL_UNROLL
  for (int q = 0; q < K; ++q)
    KL_UNROLL
    for (int p = 0; p < P; ++p) acc[q][p] = Splat(0.0);
  const int s0 = lane0 - 1 > 0 ? lane0 - 1 : 0;
  const int s1 = lane0 + W - 1 < m ? lane0 + W - 1 : m;
  int l = 0;
  for (; l < s0; ++l) {
    KL_UNROLL
    for (int q = 0; q < K; ++q) {
      const V v = Splat(xk[q * ld + l + 1]);
      KL_UNROLL
      for (int p = 0; p < P; ++p) acc[q][p] += Load(D + p * dstride + l * ld + lane0) * v;
    }
  }
  for (; l < s1; ++l) {
    const IV mask = LaneMask(l + 1 - lane0);
    KL_UNROLL
    for (int q = 0; q < K; ++q) {
      const V v = Select(mask, Splat(xk[q * ld]), Splat(xk[q * ld + l + 1]));
      KL_UNROLL
      for (int p = 0; p < P; ++p) acc[q][p] += Load(D + p * dstride + l * ld + lane0) * v;
    }
  }
  for (; l < m; ++l) {
    KL_UNROLL
    for (int q = 0; q < K; ++q) {
      const V v = Splat(xk[q * ld + l + 1]);
      KL_UNROLL
      for (int p = 0; p < P; ++p) acc[q][p] += Load(D + p * dstride + l * ld + lane0) * v;
    }
  }
}

// K positions from row k of the probe sums of G lane groups from group g0:
// each term is added to the single-precision running sum in the order of
// positions.
template <int K, int G, int P>
KL_INLINE void ProbeStep(const double* xt, int ld, int m, int g0, const double* D, V vdn, int k,
                         V (&f)[G][P]) {
  const double* xk = xt + k * ld;
  KL_UNROLL
  for (int g = 0; g < G; ++g) {
    const int lane0 = W * (g0 + g);
    V acc[K][P];
    Fitted<K, P>(xk, ld, m, lane0, D, m * ld, acc);
    KL_UNROLL
    for (int q = 0; q < K; ++q) {
      const V y = Load(xk + q * ld + lane0);
      KL_UNROLL
      for (int p = 0; p < P; ++p) f[g][p] = ToFloat(f[g][p] + Abs(y - acc[q][p]) / vdn);
    }
  }
}

// Mean absolute residuals of P coefficient sets for G lane groups from group
// g0, as single-precision running sums.
template <int G, int P>
KL_INLINE void ProbeChunk(const double* xt, int ld, int n, int m, int g0, const double* D,
                          double dn, float* F) {
  V f[G][P];
  KL_UNROLL
  for (int g = 0; g < G; ++g)
    KL_UNROLL
    for (int p = 0; p < P; ++p) f[g][p] = Splat(0.0);
  const V vdn = Splat(dn);
  int k = 0;
  for (; k + 2 <= n; k += 2) ProbeStep<2, G, P>(xt, ld, m, g0, D, vdn, k, f);
  if (k < n) ProbeStep<1, G, P>(xt, ld, m, g0, D, vdn, k, f);
  KL_UNROLL
  for (int g = 0; g < G; ++g)
    KL_UNROLL
    for (int p = 0; p < P; ++p) StoreF(F + p * ld + W * (g0 + g), f[g][p]);
}

// K consecutive positions from k.
template <int K>
struct Positions {
  static constexpr int value = K;
  int k;
};

// A group of W lanes is worked on when one of its lanes is flagged.
KL_INLINE bool GroupActive(const unsigned char* active, int g) {
  bool on = false;
  for (int q = 0; q < W; ++q) on |= (active[W * g + q] != 0);
  return on;
}

template <int P>
void ProbeAll(const double* xt, int ld, int n, int m, const unsigned char* active,
              const double* D, double dn, float* F) {
  const int groups = ld / W;
  int g = 0;
  while (g < groups) {
    if (!GroupActive(active, g)) {
      ++g;
      continue;
    }
    if (g + 1 < groups && GroupActive(active, g + 1)) {
      ProbeChunk<2, P>(xt, ld, n, m, g, D, dn, F);
      g += 2;
    } else {
      ProbeChunk<1, P>(xt, ld, n, m, g, D, dn, F);
      g += 1;
    }
  }
}

}  // namespace

// Criterion of the regression descent at P (1 or 2) coefficient sets per
// lane. xt: n rows of ld doubles (channel c of position k at xt[k*ld + c]);
// D: P sets of m rows of ld lanes, D[(p*m + l)*ld + q]; F: P rows of ld.
// Groups of lanes none of whose flags in `active` (ld flags) is set are
// skipped; their results are left as they were.
void RegressionProbe(const double* xt, int ld, int n, int m, int P, const unsigned char* active,
                     const double* D, double dn, float* F) {
  if (P == 2)
    ProbeAll<2>(xt, ld, n, m, active, D, dn, F);
  else
    ProbeAll<1>(xt, ld, n, m, active, D, dn, F);
}

// At the current coefficients E (m rows of ld lanes): the double mean absolute
// residual F and the sign gradient SG (m rows of ld), with xdn = xt / dn.
// sg holds 4*m doubles of work.
void RegressionGradient(const double* xt, const double* xdn, int ld, int n, int m,
                        const unsigned char* active, const double* E, double dn, double* F,
                        double* SG, double* sg) {
  const int groups = ld / W;
  const V vdn = Splat(dn);
  for (int g = 0; g < groups; ++g) {
    if (!GroupActive(active, g)) continue;
    const int lane0 = W * g;
    V f = Splat(0.0);
    for (int l = 0; l < m; ++l) Store(sg + W * l, Splat(0.0));
    const int s0 = lane0 - 1 > 0 ? lane0 - 1 : 0;
    const int s1 = lane0 + W - 1 < m ? lane0 + W - 1 : m;
    // Two positions at a time, their terms subtracted in the order of
    // positions; each term s * x / n is formed as s * (x / n), the same value.
    auto step = [&](auto kk) {
      constexpr int K = decltype(kk)::value;
      const int k = kk.k;
      const double* xk = xt + k * ld;
      const double* dk = xdn + k * ld;
      V acc[K][1];
      Fitted<K, 1>(xk, ld, m, lane0, E, 0, acc);
      V s[K];
      KL_UNROLL
      for (int q = 0; q < K; ++q) {
        const V r = Load(xk + q * ld + lane0) - acc[q][0];
        f += Abs(r) / vdn;
        s[q] = Select(r < Splat(0.0), Splat(-1.0), Splat(1.0));
      }
      int l = 0;
      for (; l < s0; ++l) {
        V a = Load(sg + W * l);
        KL_UNROLL
        for (int q = 0; q < K; ++q) a = a - s[q] * Splat(dk[q * ld + l + 1]);
        Store(sg + W * l, a);
      }
      for (; l < s1; ++l) {
        const IV mask = LaneMask(l + 1 - lane0);
        V a = Load(sg + W * l);
        KL_UNROLL
        for (int q = 0; q < K; ++q)
          a = a - s[q] * Select(mask, Splat(dk[q * ld]), Splat(dk[q * ld + l + 1]));
        Store(sg + W * l, a);
      }
      for (; l < m; ++l) {
        V a = Load(sg + W * l);
        KL_UNROLL
        for (int q = 0; q < K; ++q) a = a - s[q] * Splat(dk[q * ld + l + 1]);
        Store(sg + W * l, a);
      }
    };
    int k = 0;
    for (; k + 2 <= n; k += 2) step(Positions<2>{k});
    if (k < n) step(Positions<1>{k});
    Store(F + lane0, f);
    for (int l = 0; l < m; ++l) Store(SG + l * ld + lane0, Load(sg + W * l));
  }
}

// Fitted values at E for every lane: fit[k*ld + q], rounded to float.
void RegressionFit(const double* xt, int ld, int n, int m, const double* E, float* fit) {
  const int groups = ld / W;
  for (int k = 0; k < n; ++k) {
    const double* xk = xt + k * ld;
    for (int g = 0; g < groups; ++g) {
      const int lane0 = W * g;
      V acc[1][1];
      Fitted<1, 1>(xk, ld, m, lane0, E, 0, acc);
      StoreF(fit + k * ld + lane0, acc[0][0]);
    }
  }
}

// Mean absolute projection on y (M doubles) of the n columns of xr, whose
// channel i is the row xr[i*ldr ..], as a single-precision running sum over
// the positions in order. With sign not null, sign[k] = -1 where the
// projection is negative, else +1.
float ProjectionCriterion(const double* xr, int ldr, int n, int M, const double* y, double dn,
                          double* sign) {
  const V vdn = Splat(dn);
  float f = 0.0f;
  int k = 0;
  for (; k + W <= n; k += W) {
    V p = Splat(0.0);
    for (int i = 0; i < M; ++i) p += Splat(y[i]) * Load(xr + i * ldr + k);
    const V t = Abs(p) / vdn;
    if (sign) Store(sign + k, Select(p < Splat(0.0), Splat(-1.0), Splat(1.0)));
    for (int q = 0; q < W; ++q) f = float(double(f) + t[q]);
  }
  for (; k < n; ++k) {
    double p = 0.0;
    for (int i = 0; i < M; ++i) p += y[i] * xr[i * ldr + k];
    if (sign) sign[k] = (p < 0.0) ? -1.0 : 1.0;
    f = float(double(f) + __builtin_fabs(p) / dn);
  }
  return f;
}

// grad[c] = sum over the n rows of sign[k] * xc[k*ld + c], in double from 0.
void SignedColumnSums(const double* xc, int ld, int n, const double* sign, double* grad) {
  const int groups = ld / W;
  for (int g0 = 0; g0 < groups; g0 += 4) {
    const int gc = (groups - g0) >= 4 ? 4 : groups - g0;
    V acc[4] = {Splat(0.0), Splat(0.0), Splat(0.0), Splat(0.0)};
    for (int k = 0; k < n; ++k) {
      const V s = Splat(sign[k]);
      for (int g = 0; g < gc; ++g) acc[g] += s * Load(xc + k * ld + W * (g0 + g));
    }
    for (int g = 0; g < gc; ++g) Store(grad + W * (g0 + g), acc[g]);
  }
}
