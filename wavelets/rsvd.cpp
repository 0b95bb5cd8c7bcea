// Singular value decomposition by Householder bidiagonalisation and
// implicit-shift QR. The callers use the singular vectors as delivered, so the
// signs of their results rest on this exact sequence of reflections, sign
// changes, rotations and exchanges, and on the points where values are stored
// as floats: every element of A, U, V, S and the work vectors is a float, and
// rotation cosines and sines, reflector scales and sums stay in double.
#include "rsvd.h"

#include <cmath>
#include <limits>
#include <vector>

#include "matrix.h"
#include "runtime.h"

namespace wv {
namespace {

constexpr float kNormTol = 1e-20f;  // squared norm at or below which no reflector is built
constexpr float kRelTol = 1e-6f;    // relative tolerance of the negligibility tests
// A NaN produced from finite input keeps the sweeps from ending; no finite
// matrix needs anywhere near this many sweeps for one singular value.
constexpr int kMaxSweeps = 10000;

double sgn(double x) { return x == 0.0 ? 1.0 : x / std::fabs(x); }

// Dimensions and arrays of one call, so that the stages can be separate
// functions.
struct Problem {
  Mat a, u, v;
  Vec s, colnrm, rownrm, offdiag;
  int m, n, nextra, nu, nv;
};

// Rotation of a pair of stored values: (y, z) -> (y*cs + z*sn, z*cs - y*sn).
void Rotate(float& y, float& z, double cs, double sn) {
  const double yy = y;
  const double zz = z;
  y = float(yy * cs + zz * sn);
  z = float(zz * cs - yy * sn);
}

void Bidiagonalise(const Problem& p) {
  const Mat& a = p.a;
  const int last = p.n + p.nextra;
  for (int k = 1; k <= p.n; ++k) {
    // Column step.
    double z = 0.0;
    for (int i = k; i <= p.m; ++i) z += double(a(i, k)) * double(a(i, k));
    p.colnrm(k) = 0.0f;
    if (!(z <= double(kNormTol))) {
      const double r = rt::CheckedSqrt(z);
      p.colnrm(k) = float(r);
      const double old = a(k, k);
      a(k, k) = float(sgn(old) * (r + std::fabs(old)));
      if (k < last) {
        const double h = r * (r + std::fabs(old));
        for (int j = k + 1; j <= last; ++j) {
          double d = 0.0;
          for (int i = k; i <= p.m; ++i) d += double(a(i, k)) * double(a(i, j));
          const double f = d / h;
          for (int i = k; i <= p.m; ++i) a(i, j) = float(double(a(i, j)) - f * double(a(i, k)));
        }
        const double t = -sgn(a(k, k));
        for (int j = k + 1; j <= last; ++j) a(k, j) = float(t * double(a(k, j)));
      }
    }
    if (k == p.n) break;

    // Row step; it never touches the extra columns.
    z = 0.0;
    for (int j = k + 1; j <= p.n; ++j) z += double(a(k, j)) * double(a(k, j));
    p.rownrm(k + 1) = 0.0f;
    if (z <= double(kNormTol)) continue;
    const double r = rt::CheckedSqrt(z);
    p.rownrm(k + 1) = float(r);
    const double old = a(k, k + 1);
    a(k, k + 1) = float(sgn(old) * (r + std::fabs(old)));
    if (k < p.m) {
      const double h = r * (r + std::fabs(old));
      for (int i = k + 1; i <= p.m; ++i) {
        double d = 0.0;
        for (int j = k + 1; j <= p.n; ++j) d += double(a(k, j)) * double(a(i, j));
        const double f = d / h;
        for (int j = k + 1; j <= p.n; ++j) a(i, j) = float(double(a(i, j)) - f * double(a(k, j)));
      }
    }
    const double t = -sgn(a(k, k + 1));
    for (int i = k + 1; i <= p.m; ++i) a(i, k + 1) = float(t * double(a(i, k + 1)));
  }
}

// Step 2: working diagonal and superdiagonal, tolerance, unit U and V.
float SetUp(const Problem& p) {
  double largest = 0.0;
  for (int k = 1; k <= p.n; ++k) {
    p.s(k) = p.colnrm(k);
    p.offdiag(k) = p.rownrm(k);
    const double sum = double(p.colnrm(k)) + double(p.rownrm(k));
    if (sum > largest) largest = sum;  // a NaN sum never wins
  }
  const float eps = float(double(kRelTol) * largest);
  for (int j = 1; j <= p.nu; ++j) {
    for (int i = 1; i <= p.m; ++i) p.u(i, j) = 0.0f;
    p.u(j, j) = 1.0f;
  }
  for (int j = 1; j <= p.nv; ++j) {
    for (int i = 1; i <= p.n; ++i) p.v(i, j) = 0.0f;
    p.v(j, j) = 1.0f;
  }
  return eps;
}

// Step 3 item 2: S(L-1) is negligible; cancel OFFDIAG(L..K) by rotations
// against row L-1.
void Cancel(const Problem& p, int l, int k, float eps) {
  double cs = 0.0;
  double sn = 1.0;
  for (int i = l; i <= k; ++i) {
    const float f = float(sn * double(p.offdiag(i)));
    p.offdiag(i) = float(cs * double(p.offdiag(i)));
    if (std::fabs(f) <= eps) break;
    const float g = p.s(i);
    const double h = rt::CheckedSqrt(double(f) * double(f) + double(g) * double(g));
    p.s(i) = float(h);
    cs = double(g) / h;
    sn = -double(f) / h;
    if (p.nu != 0) {
      for (int j = 1; j <= p.n; ++j) Rotate(p.u(j, l - 1), p.u(j, i), cs, sn);
    }
    for (int j = p.n + 1; j <= p.n + p.nextra; ++j) Rotate(p.a(l - 1, j), p.a(i, j), cs, sn);
  }
}

// Cosine and sine that rotate (f, h) onto (z, 0); z = 0 would give 0/0 and
// there any rotation does, so the identity is used.
void Givens(float f, float h, double z, double& cs, double& sn) {
  if (z == 0.0) {
    cs = 1.0;
    sn = 0.0;
  } else {
    cs = double(f) / z;
    sn = double(h) / z;
  }
}

// Step 3 item 4: one implicit-shift QR sweep over L..K.
void Sweep(const Problem& p, int l, int k) {
  float x = p.s(l);
  float y = p.s(k - 1);
  const float w = p.s(k);
  float g = p.offdiag(k - 1);
  float h = p.offdiag(k);
  const double xd = x, yd = y, wd = w, gd = g, hd = h;
  float f = float(((gd - hd) * (gd + hd) + (yd - wd) * (yd + wd)) / ((hd * 2.0) * yd));
  double shift = rt::CheckedSqrt(double(f) * double(f) + 1.0);
  if (f < 0.0f) shift = -shift;
  f = float(((xd - wd) * (xd + wd) + (yd / (double(f) + shift) - hd) * hd) / xd);
  double cs = 1.0;
  double sn = 1.0;
  for (int i = l + 1; i <= k; ++i) {
    g = p.offdiag(i);
    y = p.s(i);
    h = float(sn * double(g));
    g = float(cs * double(g));
    double z = rt::CheckedSqrt(double(f) * double(f) + double(h) * double(h));
    p.offdiag(i - 1) = float(z);
    Givens(f, h, z, cs, sn);
    f = float(double(x) * cs + double(g) * sn);
    g = float(double(g) * cs - double(x) * sn);
    h = float(double(y) * sn);
    y = float(double(y) * cs);
    if (p.nv != 0) {
      for (int j = 1; j <= p.n; ++j) Rotate(p.v(j, i - 1), p.v(j, i), cs, sn);
    }
    z = rt::CheckedSqrt(double(f) * double(f) + double(h) * double(h));
    p.s(i - 1) = float(z);
    Givens(f, h, z, cs, sn);
    f = float(cs * double(g) + sn * double(y));
    x = float(cs * double(y) - sn * double(g));
    if (p.nu != 0) {
      for (int j = 1; j <= p.n; ++j) Rotate(p.u(j, i - 1), p.u(j, i), cs, sn);
    }
    for (int j = p.n + 1; j <= p.n + p.nextra; ++j) Rotate(p.a(i - 1, j), p.a(i, j), cs, sn);
  }
  p.offdiag(l) = 0.0f;
  p.offdiag(k) = f;
  p.s(k) = x;
}

// Step 3. Returns false when a singular value does not converge.
bool Diagonalise(const Problem& p, float eps) {
  for (int k = p.n; k >= 1; --k) {
    for (int sweeps = 0;; ++sweeps) {
      int l = k;
      for (; l >= 1; --l) {
        if (std::fabs(p.offdiag(l)) <= eps) break;
        if (std::fabs(p.s(l - 1)) <= eps) {
          Cancel(p, l, k, eps);
          break;
        }
      }
      if (l == k) {
        if (p.s(k) < 0.0f) {
          p.s(k) = -p.s(k);
          if (p.nv != 0) {
            for (int j = 1; j <= p.n; ++j) p.v(j, k) = -p.v(j, k);
          }
        }
        break;
      }
      if (sweeps == kMaxSweeps) return false;
      Sweep(p, l, k);
    }
  }
  return true;
}

void SwapColumns(const Mat& x, int rows, int c1, int c2) {
  for (int i = 1; i <= rows; ++i) {
    const float t = x(i, c1);
    x(i, c1) = x(i, c2);
    x(i, c2) = t;
  }
}

// Step 4: selection sort into descending order; the lowest index wins among
// equal values, and a NaN counts as greater than anything.
void Sort(const Problem& p) {
  for (int k = 1; k <= p.n; ++k) {
    float largest = -1.0f;
    int jmax = k;
    for (int i = k; i <= p.n; ++i) {
      if (!(p.s(i) <= largest)) {
        largest = p.s(i);
        jmax = i;
      }
    }
    if (jmax == k) continue;
    p.s(jmax) = p.s(k);
    p.s(k) = largest;
    if (p.nv != 0) SwapColumns(p.v, p.n, jmax, k);
    if (p.nu != 0) SwapColumns(p.u, p.n, jmax, k);
    for (int j = p.n + 1; j <= p.n + p.nextra; ++j) {
      const float t = p.a(jmax, j);
      p.a(jmax, j) = p.a(k, j);
      p.a(k, j) = t;
    }
  }
}

// Step 5: apply the stored reflectors to U, then to V.
void BackTransform(const Problem& p) {
  const Mat& a = p.a;
  if (p.nu != 0) {
    for (int k = p.n; k >= 1; --k) {
      if (p.colnrm(k) == 0.0f) continue;
      const double t = -sgn(a(k, k));
      for (int j = 1; j <= p.nu; ++j) p.u(k, j) = float(t * double(p.u(k, j)));
      const double h = double(p.colnrm(k)) * std::fabs(double(a(k, k)));
      for (int j = 1; j <= p.nu; ++j) {
        double d = 0.0;
        for (int i = k; i <= p.m; ++i) d += double(a(i, k)) * double(p.u(i, j));
        const double f = d / h;
        for (int i = k; i <= p.m; ++i) p.u(i, j) = float(double(p.u(i, j)) - f * double(a(i, k)));
      }
    }
  }
  if (p.nv != 0 && p.n >= 2) {
    for (int k = p.n - 1; k >= 1; --k) {
      if (p.rownrm(k + 1) == 0.0f) continue;
      const double t = -sgn(a(k, k + 1));
      for (int j = 1; j <= p.nv; ++j) p.v(k + 1, j) = float(t * double(p.v(k + 1, j)));
      const double h = double(p.rownrm(k + 1)) * std::fabs(double(a(k, k + 1)));
      for (int j = 1; j <= p.nv; ++j) {
        double d = 0.0;
        for (int c = k + 1; c <= p.n; ++c) d += double(a(k, c)) * double(p.v(c, j));
        const double f = d / h;
        for (int c = k + 1; c <= p.n; ++c) p.v(c, j) = float(double(p.v(c, j)) - f * double(a(k, c)));
      }
    }
  }
}

void FillNaN(const Problem& p) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (int k = 1; k <= p.n; ++k) p.s(k) = nan;
  for (int j = 1; j <= p.nu; ++j) {
    for (int i = 1; i <= p.m; ++i) p.u(i, j) = nan;
  }
  for (int j = 1; j <= p.nv; ++j) {
    for (int i = 1; i <= p.n; ++i) p.v(i, j) = nan;
  }
}

}  // namespace

void RSVD(float* A, int MDIM, int NDIM, int M, int N, int NEXTRA, int NU, int NV,
          float* S, float* U, float* V) {
  std::vector<float> colnrm(static_cast<std::size_t>(MDIM > 0 ? MDIM : 0), 0.0f);
  std::vector<float> rownrm(colnrm.size(), 0.0f);
  std::vector<float> offdiag(colnrm.size(), 0.0f);
  const Problem p{Mat{A, MDIM}, Mat{U, MDIM}, Mat{V, NDIM}, Vec{S},
                  Vec{colnrm.data()}, Vec{rownrm.data()}, Vec{offdiag.data()},
                  M, N, NEXTRA, NU, NV};

  // A NaN would keep the sweeps from ending and an infinity yields NaNs: such
  // input gets NaN results at once.
  for (int j = 1; j <= N + NEXTRA; ++j) {
    for (int i = 1; i <= M; ++i) {
      if (!std::isfinite(p.a(i, j))) {
        FillNaN(p);
        return;
      }
    }
  }

  Bidiagonalise(p);
  const float eps = SetUp(p);
  if (!Diagonalise(p, eps)) {
    FillNaN(p);
    return;
  }
  Sort(p);
  BackTransform(p);
}

}  // namespace wv
