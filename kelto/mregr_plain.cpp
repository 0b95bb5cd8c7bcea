// Robust regression of each channel of a window on the other channels: a
// least-squares start on winsorised copies, improved by a sign-gradient descent
// on the mean absolute residual of the raw window with a golden-section line
// search on [0, 10]. This is the plain form: every sum is written in the order
// and precision the results depend on.
#include "mregr_plain.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "matinv.h"
#include "matrix.h"
#include "robust_plain.h"
#include "runtime.h"
#include "search_constants.h"

namespace rb::plain {

namespace {

using namespace rb::regression_search;

// Window of one channel: the raw response and regressors.
struct Window {
  int m;      // regressors
  int n;      // positions
  double dn;  // NWIN as a floating-point divisor
  wv::Vec yt;
  wv::Mat xr;
};

// Fitted value of position k for coefficients c, in double from 0.
double Fitted(const Window& w, const wv::Vec& c, int k) {
  double fit = 0.0;
  for (int l = 1; l <= w.m; ++l) fit += double(c(l)) * double(w.xr(l, k));
  return fit;
}

// Mean absolute residual at c as a single-precision running sum (F1, F2).
float MeanAbsResidualSingle(const Window& w, const wv::Vec& c) {
  float f = 0.0f;
  for (int k = 1; k <= w.n; ++k)
    f = float(double(f) + std::fabs(double(w.yt(k)) - Fitted(w, c, k)) / w.dn);
  return f;
}

// Mean absolute residual at c summed in double (F).
double MeanAbsResidualDouble(const Window& w, const wv::Vec& c) {
  double f = 0.0;
  for (int k = 1; k <= w.n; ++k) f += std::fabs(double(w.yt(k)) - Fitted(w, c, k)) / w.dn;
  return f;
}

// D = E - x * SG with the unrounded probe point x, then the criterion at D.
float Probe(const Window& w, const wv::Vec& e, const wv::Vec& sg, double x, const wv::Vec& d,
            SearchTrace* trace) {
  for (int j = 1; j <= w.m; ++j) d(j) = float(double(e(j)) - x * double(sg(j)));
  if (trace) ++trace->probes;
  return MeanAbsResidualSingle(w, d);
}

// Least-absolute-deviation descent from the start in e; e holds the result.
void Descend(const Window& w, const wv::Vec& e, const wv::Vec& sg, const wv::Vec& d,
             std::vector<double>& sign, SearchTrace* trace) {
  int iter = 0;
  for (;;) {
    const double F = MeanAbsResidualDouble(w, e);

    // Residual signs once per iteration; a zero or NaN residual counts +1.
    for (int k = 1; k <= w.n; ++k) {
      const double r = double(w.yt(k)) - Fitted(w, e, k);
      sign[k - 1] = (r < 0.0) ? -1.0 : 1.0;
    }
    for (int j = 1; j <= w.m; ++j) {
      double s = 0.0;
      for (int k = 1; k <= w.n; ++k) s -= sign[k - 1] * double(w.xr(j, k)) / w.dn;
      sg(j) = float(s);
    }

    // Golden-section search for the step t along -SG.
    if (trace) ++trace->searches;
    double a = 0.0;
    double b = kBracket;
    float x1 = 0.0f, x2 = 0.0f, F1 = 0.0f, F2 = 0.0f;
    bool need1 = true, need2 = true;
    double t = 0.0, Fnew = 0.0;
    for (;;) {
      const double width = b - a;
      if (need1) {
        const double x = a + kLow * width;
        F1 = Probe(w, e, sg, x, d, trace);
        x1 = float(x);
      }
      if (need2) {
        const double x = a + kHigh * width;
        F2 = Probe(w, e, sg, x, d, trace);
        x2 = float(x);
      }
      if (width < kTol) {
        t = (a + b) * kHalf;
        Fnew = (double(F1) + double(F2)) * kHalf;
        break;
      }
      if (F1 < F2) {
        b = double(x2);
        x2 = x1;
        F2 = F1;
        need1 = true;
        need2 = false;
      } else {  // equal, or a NaN on either side: the lower end moves
        a = double(x1);
        x1 = x2;
        F1 = F2;
        need1 = false;
        need2 = true;
      }
    }

    ++iter;
    const double rel = (Fnew - F) / F;
    if (rel >= 0.0 || std::isnan(rel)) return;  // no promised decrease: no step
    for (int j = 1; j <= w.m; ++j) e(j) = float(double(e(j)) - t * double(sg(j)));
    if (iter > kMaxIter) return;
    if (!(rel < kMinGain)) return;  // less than 1 %: keep this step, go no further
  }
}

}  // namespace

void MREGR(const float* X, float* XPRED, int JFIRST, int M, int L, int NWIN, int JSTART,
           float* RSQ) {
  MREGR(X, XPRED, JFIRST, M, L, NWIN, JSTART, RSQ, nullptr);
}

void MREGR(const float* X, float* XPRED, int JFIRST, int M, int L, int NWIN, int JSTART,
           float* RSQ, SearchTrace* trace) {
  (void)L;  // only sizes the matrices
  if (M < 1) return;
  const bool firstWindow = (JSTART == JFIRST);
  const int n = NWIN > 0 ? NWIN : 0;
  const int m = M - 1 > 0 ? M - 1 : 0;
  const std::int64_t mn = std::int64_t(m) * n;

  std::vector<float> ytBuf = rt::AllocReals(n), xrBuf = rt::AllocReals(mn);
  std::vector<float> ywBuf = rt::AllocReals(n), xwBuf = rt::AllocReals(mn);
  std::vector<float> wBuf = rt::AllocReals(n);
  std::vector<float> gBuf = rt::AllocReals(std::int64_t(m) * m);
  std::vector<float> giBuf = rt::AllocReals(std::int64_t(m) * m);
  std::vector<float> bBuf = rt::AllocReals(m), eBuf = rt::AllocReals(m);
  std::vector<float> sgBuf = rt::AllocReals(m), dBuf = rt::AllocReals(m);
  std::vector<double> sign(std::size_t(n), 1.0);

  // X is only read through this view.
  const wv::Mat x{const_cast<float*>(X), M};
  const wv::Mat xpred{XPRED, M};
  const wv::Vec yt{ytBuf.data()}, yw{ywBuf.data()}, wk{wBuf.data()};
  const wv::Mat xr{xrBuf.data(), m}, xw{xwBuf.data(), m};
  const wv::Mat G{gBuf.data(), m}, GI{giBuf.data(), m};
  const wv::Vec B{bBuf.data()}, E{eBuf.data()}, SG{sgBuf.data()}, D{dBuf.data()};
  const int J = JSTART;
  const Window win{m, n, double(NWIN), yt, xr};

  for (int i = 1; i <= M; ++i) {
    // 1. The window: channel i, and the others in position order (channel 1
    //    in channel i's place).
    for (int k = 1; k <= n; ++k) yt(k) = x(i, J + k - 1);
    for (int j = 1; j <= m; ++j) {
      const int c = (i >= 2 && j == i - 1) ? 1 : j + 1;
      for (int k = 1; k <= n; ++k) xr(j, k) = x(c, J + k - 1);
    }

    // 2. Winsorised copies for the start.
    for (int k = 1; k <= n; ++k) yw(k) = yt(k);
    VINZOR(NWIN, ywBuf.data());
    for (int j = 1; j <= m; ++j) {
      for (int k = 1; k <= n; ++k) wk(k) = xr(j, k);
      VINZOR(NWIN, wBuf.data());
      for (int k = 1; k <= n; ++k) xw(j, k) = wk(k);
    }

    // 3. Normal equations without intercept, summed in single precision.
    for (int j = 1; j <= m; ++j) {
      B(j) = 0.0f;
      for (int l = 1; l <= m; ++l) G(j, l) = 0.0f;
    }
    for (int k = 1; k <= n; ++k) {
      for (int j = 1; j <= m; ++j) {
        B(j) = float(double(B(j)) + double(yw(k)) * double(xw(j, k)));
        for (int l = 1; l <= j; ++l)
          G(j, l) = float(double(G(j, l)) + double(xw(j, k)) * double(xw(l, k)));
      }
    }
    for (int j = 1; j <= m; ++j)
      for (int l = 1; l < j; ++l) G(l, j) = G(j, l);

    // 4. Least-squares start, on the inverse as delivered (singular or not).
    wv::MATRINV(m, gBuf.data(), giBuf.data());
    for (int j = 1; j <= m; ++j) {
      double s = 0.0;
      for (int l = 1; l <= m; ++l) s += double(GI(j, l)) * double(B(l));
      E(j) = float(s);
    }

    // 5. Descent on the raw window.
    Descend(win, E, SG, D, sign, trace);

    // 6. Fit and score; W now holds the fitted values.
    for (int k = 1; k <= n; ++k) {
      double s = 0.0;
      for (int j = 1; j <= m; ++j) s += double(xr(j, k)) * double(E(j));
      wk(k) = float(s);
    }
    float R = 0.0f;
    ROBCORRCOEFF(NWIN, ytBuf.data(), wBuf.data(), R);
    RSQ[i - 1] = float(double(R) * double(R));

    // 7. Predictions: the whole first window of a level, else its newest position.
    if (firstWindow) {
      for (int k = 1; k <= n; ++k) xpred(i, J + k - 1) = wk(k);
    } else if (n >= 1) {
      xpred(i, J + n - 1) = wk(n);
    }
  }
}

}  // namespace rb::plain
