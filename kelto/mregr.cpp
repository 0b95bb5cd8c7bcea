// Robust regression of each channel of a window on the other channels, with
// the work of the plain form (mregr_plain.cpp) that repeats itself done once:
//  - the winsorised copy of a channel does not depend on which channel is the
//    response, so each channel is winsorised once per window;
//  - every element of one channel's normal equations is an element of the
//    single-precision Gram matrix of all winsorised channels, summed term by
//    term in the same order of positions (a product of two floats is exact in
//    double and commutes);
//  - the descents of the M channels run side by side, one lane each: every
//    line search makes the same number of passes whatever the data, so the
//    lanes stay in step, and their single-precision running sums, each a
//    chain of dependent roundings, overlap instead of leaving the core idle.
// Every lane does the arithmetic of the plain form in its order.
#include "mregr.h"

#include <cmath>

#include "klanes.h"
#include "matinv.h"
#include "mregr_plain.h"
#include "robust.h"
#include "search_constants.h"

namespace rb {

namespace {

using namespace rb::regression_search;

// Channel (0-based) of regressor j of the regression of channel i: channel
// j+1, with channel 0 in channel i's place.
inline int Regressor(int i, int j) { return (i >= 1 && j == i - 1) ? 0 : j + 1; }

struct Shape {
  int M, m, n, ld;
  double dn;
};

// Copies the window, winsorises every channel once and forms the start of
// every lane from the common Gram matrix.
void Starts(const float* X, int J, const Shape& s, Workspace& ws) {
  const int M = s.M, m = s.m, n = s.n, ld = s.ld;
  double* xt = ws.xt.data();
  double* xdn = ws.xdn.data();
  float* xw = ws.xw.data();
  for (int k = 0; k < n; ++k) {
    const float* col = X + static_cast<long>(J - 1 + k) * M;
    for (int c = 0; c < ld; ++c) {
      const float v = c < M ? col[c] : 0.0f;
      xt[k * ld + c] = double(v);
      xdn[k * ld + c] = double(v) / s.dn;
      xw[k * ld + c] = v;
    }
  }
  klanes::Vinzor(ws.isa, xw, ld, n, s.dn);
  klanes::GramFloat(ws.isa, xw, ld, n, M, ws.gall.data());

  const float* gall = ws.gall.data();
  float* G = ws.g.data();
  float* GI = ws.gi.data();
  float* B = ws.b.data();
  float* e = ws.e.data();
  for (int q = 0; q < m * ld; ++q) e[q] = 0.0f;
  for (int i = 0; i < M; ++i) {
    for (int j = 0; j < m; ++j) {
      const int cj = Regressor(i, j);
      B[j] = gall[i * ld + cj];
      for (int l = 0; l < m; ++l) G[j + l * m] = gall[cj * ld + Regressor(i, l)];
    }
    wv::MATRINV(m, G, GI, ws.matinv);
    for (int j = 0; j < m; ++j) {
      double acc = 0.0;
      for (int l = 0; l < m; ++l) acc += double(GI[j + l * m]) * double(B[l]);
      e[j * ld + i] = float(acc);
    }
  }
}

// Flags the lanes for which `want` holds; false when there is none.
template <class Want>
bool FlagLanes(const Shape& s, Workspace& ws, Want want) {
  bool any = false;
  for (int q = 0; q < s.ld; ++q) {
    const bool on = q < s.M && want(ws.lanes[q]);
    ws.laneFlags[q] = on;
    any |= on;
  }
  return any;
}

// Golden-section searches of every active lane along -SG, side by side.
void LineSearches(const Shape& s, Workspace& ws) {
  const int M = s.M, m = s.m, ld = s.ld;
  const float* e = ws.e.data();
  const float* sg = ws.sg.data();
  double* dd = ws.dd.data();
  float* fs = ws.fs.data();
  for (int i = 0; i < M; ++i) {
    LaneSearch& L = ws.lanes[i];
    L.searching = L.active;
    L.a = 0.0;
    L.b = kBracket;
    L.need1 = L.need2 = true;
  }
  while (FlagLanes(s, ws, [](const LaneSearch& L) { return L.searching; })) {
    // Every lane still searching is in the same pass: the first pass needs
    // both points, each later one a single point.
    int P = 1;
    for (int i = 0; i < M; ++i) {
      LaneSearch& L = ws.lanes[i];
      if (!L.searching) continue;
      L.width = L.b - L.a;
      int p = 0;
      if (L.need1) {
        L.xv1 = L.a + kLow * L.width;
        for (int j = 0; j < m; ++j)
          dd[(p * m + j) * ld + i] =
              double(float(double(e[j * ld + i]) - L.xv1 * double(sg[j * ld + i])));
        ++p;
      }
      if (L.need2) {
        L.xv2 = L.a + kHigh * L.width;
        for (int j = 0; j < m; ++j)
          dd[(p * m + j) * ld + i] =
              double(float(double(e[j * ld + i]) - L.xv2 * double(sg[j * ld + i])));
        ++p;
      }
      P = p;
    }
    klanes::RegressionProbe(ws.isa, ws.xt.data(), ld, s.n, m, P, ws.laneFlags.data(), dd,
                            s.dn, fs);
    for (int i = 0; i < M; ++i) {
      LaneSearch& L = ws.lanes[i];
      if (!L.searching) continue;
      int p = 0;
      if (L.need1) {
        L.F1 = fs[p * ld + i];
        L.x1 = float(L.xv1);
        ++p;
      }
      if (L.need2) {
        L.F2 = fs[p * ld + i];
        L.x2 = float(L.xv2);
      }
      if (L.width < kTol) {
        L.t = (L.a + L.b) * kHalf;
        L.Fnew = (double(L.F1) + double(L.F2)) * kHalf;
        L.searching = false;
      } else if (L.F1 < L.F2) {
        L.b = double(L.x2);
        L.x2 = L.x1;
        L.F2 = L.F1;
        L.need1 = true;
        L.need2 = false;
      } else {  // equal, or a NaN on either side: the lower end moves
        L.a = double(L.x1);
        L.x1 = L.x2;
        L.F1 = L.F2;
        L.need1 = false;
        L.need2 = true;
      }
    }
  }
}

// The least-absolute-deviation descents of all lanes from their starts.
void Descents(const Shape& s, Workspace& ws) {
  const int M = s.M, m = s.m, ld = s.ld;
  float* e = ws.e.data();
  float* sg = ws.sg.data();
  double* ed = ws.ed.data();
  double* sgd = ws.sgd.data();
  for (int q = 0; q < m * ld; ++q) {
    ed[q] = double(e[q]);
    sg[q] = 0.0f;
  }
  for (int i = 0; i < M; ++i) {
    ws.lanes[i] = LaneSearch{};
    ws.lanes[i].active = true;
  }
  while (FlagLanes(s, ws, [](const LaneSearch& L) { return L.active; })) {
    klanes::RegressionGradient(ws.isa, ws.xt.data(), ws.xdn.data(), ld, s.n, m,
                               ws.laneFlags.data(), ed, s.dn, ws.fd.data(), sgd,
                               ws.sgwork.data());
    for (int i = 0; i < M; ++i) {
      LaneSearch& L = ws.lanes[i];
      if (!L.active) continue;
      L.F = ws.fd[i];
      for (int j = 0; j < m; ++j) sg[j * ld + i] = float(sgd[j * ld + i]);
    }

    LineSearches(s, ws);

    for (int i = 0; i < M; ++i) {
      LaneSearch& L = ws.lanes[i];
      if (!L.active) continue;
      ++L.iter;
      const double rel = (L.Fnew - L.F) / L.F;
      if (rel >= 0.0 || std::isnan(rel)) {  // no promised decrease: no step
        L.active = false;
        continue;
      }
      for (int j = 0; j < m; ++j) {
        float& ej = e[j * ld + i];
        ej = float(double(ej) - L.t * double(sg[j * ld + i]));
        ed[j * ld + i] = double(ej);
      }
      if (L.iter > kMaxIter || !(rel < kMinGain)) L.active = false;
    }
  }
}

}  // namespace

void MREGR(const float* X, float* XPRED, int JFIRST, int M, int L, int NWIN, int JSTART,
           float* RSQ, Workspace& ws) {
  // Shapes the program never passes keep the plain form.
  if (M < 2 || NWIN < 1) {
    plain::MREGR(X, XPRED, JFIRST, M, L, NWIN, JSTART, RSQ);
    return;
  }
  Shape s;
  s.M = M;
  s.m = M - 1;
  s.n = NWIN;
  s.ld = (M + 3) / 4 * 4;
  s.dn = double(NWIN);
  const long nld = long(s.n) * s.ld, mld = long(s.m) * s.ld;
  Grow(ws.xt, nld);
  Grow(ws.xdn, nld);
  Grow(ws.xw, nld);
  Grow(ws.fit, nld);
  Grow(ws.gall, long(M) * s.ld);
  Grow(ws.g, long(s.m) * s.m);
  Grow(ws.gi, long(s.m) * s.m);
  Grow(ws.b, s.m);
  Grow(ws.e, mld);
  Grow(ws.sg, mld);
  Grow(ws.ed, mld);
  Grow(ws.sgd, mld);
  Grow(ws.dd, 2 * mld);
  Grow(ws.fd, s.ld);
  Grow(ws.fs, 2 * s.ld);
  Grow(ws.sgwork, 4L * s.m);
  Grow(ws.yrow, s.n);
  Grow(ws.fitrow, s.n);
  Grow(ws.laneFlags, s.ld);
  Grow(ws.lanes, M);

  const int J = JSTART;
  Starts(X, J, s, ws);
  Descents(s, ws);

  // Fit and score of every channel; the fitted values on the raw window.
  klanes::RegressionFit(ws.isa, ws.xt.data(), s.ld, s.n, s.m, ws.ed.data(), ws.fit.data());
  const bool firstWindow = (JSTART == JFIRST);
  float* yrow = ws.yrow.data();
  float* fitrow = ws.fitrow.data();
  for (int i = 0; i < M; ++i) {
    for (int k = 0; k < s.n; ++k) {
      yrow[k] = X[static_cast<long>(J - 1 + k) * M + i];
      fitrow[k] = ws.fit[static_cast<long>(k) * s.ld + i];
    }
    float R = 0.0f;
    ROBCORRCOEFF(NWIN, yrow, fitrow, R, ws.est);
    RSQ[i] = float(double(R) * double(R));
    if (firstWindow) {
      for (int k = 0; k < s.n; ++k) XPRED[static_cast<long>(J - 1 + k) * M + i] = fitrow[k];
    } else {
      XPRED[static_cast<long>(J - 1 + s.n - 1) * M + i] = fitrow[s.n - 1];
    }
  }
}

}  // namespace rb
