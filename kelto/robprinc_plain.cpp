// Robust principal direction of a window: from the leading singular vector of
// the winsorised second-moment matrix, climb the mean absolute projection of
// the raw columns along the tangent part of its gradient, with a golden-section
// search over the normalised points of each step. This is the plain form:
// every sum is written in the order and precision the results depend on.
#include "robprinc_plain.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "matrix.h"
#include "robust_plain.h"
#include "rsvd.h"
#include "runtime.h"
#include "search_constants.h"

namespace rb::plain {

namespace {

using namespace rb::direction_search;

struct Data {
  int M;
  int I1, I2;
  double dn;  // N as a floating-point divisor
  wv::Mat x;
};

// Projection of column k on w, in double from 0.
double Projection(const Data& d, const wv::Vec& w, int k) {
  double p = 0.0;
  for (int i = 1; i <= d.M; ++i) p += double(w(i)) * double(d.x(i, k));
  return p;
}

// Mean absolute projection on w as a single-precision running sum.
float Criterion(const Data& d, const wv::Vec& w) {
  float f = 0.0f;
  for (int k = d.I1; k <= d.I2; ++k)
    f = float(double(f) + std::fabs(Projection(d, w, k)) / d.dn);
  return f;
}

// Builds u(x) = (Dir + x Tang) / |Dir + x Tang| in y and returns F(u).
float Probe(const Data& d, const wv::Vec& dir, const wv::Vec& tang, double x, const wv::Vec& y,
            SearchTrace* trace) {
  for (int i = 1; i <= d.M; ++i) y(i) = float(double(dir(i)) + x * double(tang(i)));
  double ss = 0.0;
  for (int i = 1; i <= d.M; ++i) ss += double(y(i)) * double(y(i));
  const double nrm = std::sqrt(ss);
  for (int i = 1; i <= d.M; ++i) y(i) = float(double(y(i)) / nrm);
  if (trace) ++trace->probes;
  return Criterion(d, y);
}

}  // namespace

void ROBPRINC(const float* X, int M, int L, int I1, int I2, int N, float* Y) {
  ROBPRINC(X, M, L, I1, I2, N, Y, nullptr);
}

void ROBPRINC(const float* X, int M, int L, int I1, int I2, int N, float* Y,
              SearchTrace* trace) {
  (void)L;  // only bounds the column index
  const int m = M > 0 ? M : 0;
  const int n = N > 0 ? N : 0;
  std::vector<float> secMomBuf = rt::AllocReals(std::int64_t(m) * m);
  std::vector<float> svUBuf = rt::AllocReals(std::int64_t(m) * m);
  std::vector<float> svVBuf = rt::AllocReals(std::int64_t(m) * m);
  std::vector<float> svSBuf = rt::AllocReals(m);
  std::vector<float> dirBuf = rt::AllocReals(m), gradBuf = rt::AllocReals(m);
  std::vector<float> tangBuf = rt::AllocReals(m);
  std::vector<float> rowWinBuf = rt::AllocReals(n);
  std::vector<float> winZBuf = rt::AllocReals(std::int64_t(m) * n);
  const int cols = I2 >= I1 ? I2 - I1 + 1 : 0;
  std::vector<double> sign(std::size_t(cols), 1.0);

  // X is only read through this view.
  const wv::Mat x{const_cast<float*>(X), M};
  const wv::Mat secMom{secMomBuf.data(), m}, svU{svUBuf.data(), m};
  const wv::Mat winZ{winZBuf.data(), m};
  const wv::Vec dir{dirBuf.data()}, grad{gradBuf.data()}, tang{tangBuf.data()};
  const wv::Vec rowWin{rowWinBuf.data()}, y{Y};
  const Data data{M, I1, I2, double(N), x};

  // 1. Winsorised copy of the N columns from I1.
  for (int j = 1; j <= M; ++j) {
    for (int k = 1; k <= N; ++k) rowWin(k) = x(j, I1 + k - 1);
    VINZOR(N, rowWinBuf.data());
    for (int k = 1; k <= N; ++k) winZ(j, k) = rowWin(k);
  }

  // 2. Second moments, means not removed.
  for (int i = 1; i <= M; ++i) {
    for (int j = 1; j <= i; ++j) {
      double s = 0.0;
      for (int k = 1; k <= N; ++k) s += double(winZ(i, k)) * double(winZ(j, k));
      const float q = float(s / double(N));
      secMom(i, j) = q;
      secMom(j, i) = q;
    }
  }

  // 3. Start from the leading left singular vector, sign as delivered.
  wv::RSVD(secMomBuf.data(), M, M, M, M, 0, M, M, svSBuf.data(), svUBuf.data(), svVBuf.data());
  for (int i = 1; i <= M; ++i) dir(i) = svU(i, 1);
  int it = 0;

  // 4. Climb.
  for (;;) {
    // a. Criterion at Dir, with the projection signs for the gradient; a zero
    //    or undefined projection counts +1.
    float F0 = 0.0f;
    for (int k = I1; k <= I2; ++k) {
      const double p = Projection(data, dir, k);
      F0 = float(double(F0) + std::fabs(p) / data.dn);
      sign[std::size_t(k - I1)] = (p < 0.0) ? -1.0 : 1.0;
    }

    // b. Gradient, not divided by N.
    for (int j = 1; j <= M; ++j) {
      double s = 0.0;
      for (int k = I1; k <= I2; ++k) s += sign[std::size_t(k - I1)] * double(x(j, k));
      grad(j) = float(s);
    }

    // c. Tangent part.
    double dg = 0.0;
    for (int i = 1; i <= M; ++i) dg += double(dir(i)) * double(grad(i));
    for (int i = 1; i <= M; ++i) tang(i) = float(double(grad(i)) - dg * double(dir(i)));

    // d. Bracket of step lengths 0 to 1 beside Dir.
    double tt = 0.0;
    for (int i = 1; i <= M; ++i) tt += double(tang(i)) * double(tang(i));
    const double r = 1.0 / std::sqrt(tt);
    float a = 0.0f;
    float b = float(r);
    const float tol = float(r / 1000.0);
    // No usable bracket (Tang zero or without a finite norm): the search could
    // never end, so the current direction is the result.
    if (!std::isfinite(b) || !(tol > 0.0f)) {
      for (int i = 1; i <= M; ++i) y(i) = dir(i);
      return;
    }

    // e. Golden-section search for the maximum, probes built in Y.
    if (trace) ++trace->searches;
    float width = 0.0f, x1 = 0.0f, x2 = 0.0f, f1 = 0.0f, f2 = 0.0f;
    bool need1 = true, need2 = true;
    for (int pass = 1;; ++pass) {
      if (pass > kMaxPasses) {
        for (int i = 1; i <= M; ++i) y(i) = dir(i);
        return;
      }
      width = float(double(b) - double(a));
      if (need1) {
        const double xv = double(a) + kLow * double(width);
        f1 = Probe(data, dir, tang, xv, y, trace);
        x1 = float(xv);
      }
      if (need2) {
        const double xv = double(a) + kHigh * double(width);
        f2 = Probe(data, dir, tang, xv, y, trace);
        x2 = float(xv);
      }
      if (width < tol) break;
      if (f1 > f2) {
        b = x2;
        x2 = x1;
        f2 = f1;
        need1 = true;
        need2 = false;
      } else {  // equal, or unordered: the lower end moves
        a = x1;
        x1 = x2;
        f1 = f2;
        need1 = false;
        need2 = true;
      }
    }

    // f. Step from the final bracket.
    ++it;
    const double Fnew = (double(f1) + double(f2)) / 2.0;
    const double lambda = (double(a) + double(b)) / 2.0;
    const float rel = float((Fnew - double(F0)) / double(F0));

    // g. No gain: Dir stays; Y keeps the refused step's last probe.
    if (!(rel > 0.0f)) return;

    // h. Take the step and renormalise.
    for (int i = 1; i <= M; ++i) dir(i) = float(double(dir(i)) + lambda * double(tang(i)));
    double ss = 0.0;
    for (int i = 1; i <= M; ++i) ss += double(dir(i)) * double(dir(i));
    const double nrm = std::sqrt(ss);
    for (int i = 1; i <= M; ++i) dir(i) = float(double(dir(i)) / nrm);

    // i. At most 1001 iterations; go on only while the gain exceeds 1 %.
    if (it > kMaxIter) return;
    if (!(rel > kMinGain)) return;
  }
}

}  // namespace rb::plain
