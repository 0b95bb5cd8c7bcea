// Robust principal direction of a window: the climb of the plain form
// (robprinc_plain.cpp) with its sums over the window's positions run as lane
// kernels. The winsorisation handles all channels side by side, projections
// are formed for four positions at a time (each position keeps its order of
// channels), and the gradient sums all channels side by side; the
// single-precision running sum of a criterion still adds its terms one by one
// in the order of positions.
#include "robprinc.h"

#include <cmath>

#include "klanes.h"
#include "robprinc_plain.h"
#include "rsvd.h"
#include "search_constants.h"

namespace rb {

namespace {

using namespace rb::direction_search;

struct Data {
  int M, n, ld;
  double dn;
};

// Builds u(x) = (Dir + x Tang) / |Dir + x Tang| in y and returns F(u).
float Probe(const Data& d, const float* dir, const float* tang, double x, float* y,
            Workspace& ws) {
  double* yD = ws.yD.data();
  for (int i = 0; i < d.M; ++i) y[i] = float(double(dir[i]) + x * double(tang[i]));
  double ss = 0.0;
  for (int i = 0; i < d.M; ++i) ss += double(y[i]) * double(y[i]);
  const double nrm = std::sqrt(ss);
  for (int i = 0; i < d.M; ++i) {
    y[i] = float(double(y[i]) / nrm);
    yD[i] = double(y[i]);
  }
  return klanes::ProjectionCriterion(ws.isa, ws.xr.data(), d.n, d.n, d.M, yD, d.dn, nullptr);
}

}  // namespace

void ROBPRINC(const float* X, int M, int L, int I1, int I2, int N, float* Y, Workspace& ws) {
  // Shapes the program never passes keep the plain form.
  if (M < 1 || N < 1 || N != I2 - I1 + 1) {
    plain::ROBPRINC(X, M, L, I1, I2, N, Y);
    return;
  }
  const int ld = (M + 3) / 4 * 4;
  const Data d{M, N, ld, double(N)};
  const long nld = long(N) * ld;
  Grow(ws.xt, nld);
  Grow(ws.xw, nld);
  Grow(ws.xr, long(M) * N);
  Grow(ws.macc, long(M) * ld);
  Grow(ws.secMomLd, long(M) * ld);
  Grow(ws.secMom, long(M) * M);
  Grow(ws.svU, long(M) * M);
  Grow(ws.svS, M);
  Grow(ws.dir, M);
  Grow(ws.grad, M);
  Grow(ws.tang, M);
  Grow(ws.dirD, M);
  Grow(ws.yD, M);
  Grow(ws.gradD, ld);
  Grow(ws.sign, N);

  // The window by positions (xt, xw) and by channels (xr).
  double* xc = ws.xt.data();
  double* xr = ws.xr.data();
  float* wz = ws.xw.data();
  for (int k = 0; k < N; ++k) {
    const float* col = X + static_cast<long>(I1 - 1 + k) * M;
    for (int c = 0; c < ld; ++c) {
      const float v = c < M ? col[c] : 0.0f;
      xc[k * ld + c] = double(v);
      wz[k * ld + c] = v;
      if (c < M) xr[static_cast<long>(c) * N + k] = double(v);
    }
  }

  // 1-2. Winsorised copy and its second moments, means not removed.
  klanes::Vinzor(ws.isa, wz, ld, N, d.dn);
  klanes::SecondMoments(ws.isa, wz, ld, N, M, d.dn, ws.macc.data(), ws.secMomLd.data());
  float* secMom = ws.secMom.data();
  for (int i = 0; i < M; ++i)
    for (int j = 0; j < M; ++j) secMom[i + j * M] = ws.secMomLd[i * ld + j];

  // 3. Start from the leading left singular vector, sign as delivered.
  // Only the first column of U is read: the square decomposition computes S
  // and that column, bit for bit as RSVD delivers them.
  wv::RSVDSquare(secMom, M, wv::SvdParts::kFirstColumnOfU, ws.svS.data(), ws.svU.data(), nullptr,
                 ws.rsvd);
  float* dir = ws.dir.data();
  float* grad = ws.grad.data();
  float* tang = ws.tang.data();
  double* dirD = ws.dirD.data();
  for (int i = 0; i < M; ++i) dir[i] = ws.svU[i];
  int it = 0;

  // 4. Climb.
  for (;;) {
    // a-b. Criterion at Dir with the projection signs, and the gradient.
    for (int i = 0; i < M; ++i) dirD[i] = double(dir[i]);
    const float F0 =
        klanes::ProjectionCriterion(ws.isa, xr, N, N, M, dirD, d.dn, ws.sign.data());
    klanes::SignedColumnSums(ws.isa, xc, ld, N, ws.sign.data(), ws.gradD.data());
    for (int j = 0; j < M; ++j) grad[j] = float(ws.gradD[j]);

    // c. Tangent part.
    double dg = 0.0;
    for (int i = 0; i < M; ++i) dg += double(dir[i]) * double(grad[i]);
    for (int i = 0; i < M; ++i) tang[i] = float(double(grad[i]) - dg * double(dir[i]));

    // d. Bracket of step lengths 0 to 1 beside Dir.
    double tt = 0.0;
    for (int i = 0; i < M; ++i) tt += double(tang[i]) * double(tang[i]);
    const double r = 1.0 / std::sqrt(tt);
    float a = 0.0f;
    float b = float(r);
    const float tol = float(r / 1000.0);
    // No usable bracket (Tang zero or without a finite norm): the search could
    // never end, so the current direction is the result.
    if (!std::isfinite(b) || !(tol > 0.0f)) {
      for (int i = 0; i < M; ++i) Y[i] = dir[i];
      return;
    }

    // e. Golden-section search for the maximum, probes built in Y.
    float width = 0.0f, x1 = 0.0f, x2 = 0.0f, f1 = 0.0f, f2 = 0.0f;
    bool need1 = true, need2 = true;
    for (int pass = 1;; ++pass) {
      if (pass > kMaxPasses) {
        for (int i = 0; i < M; ++i) Y[i] = dir[i];
        return;
      }
      width = float(double(b) - double(a));
      if (need1) {
        const double xv = double(a) + kLow * double(width);
        f1 = Probe(d, dir, tang, xv, Y, ws);
        x1 = float(xv);
      }
      if (need2) {
        const double xv = double(a) + kHigh * double(width);
        f2 = Probe(d, dir, tang, xv, Y, ws);
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
    for (int i = 0; i < M; ++i) dir[i] = float(double(dir[i]) + lambda * double(tang[i]));
    double ss = 0.0;
    for (int i = 0; i < M; ++i) ss += double(dir[i]) * double(dir[i]);
    const double nrm = std::sqrt(ss);
    for (int i = 0; i < M; ++i) dir[i] = float(double(dir[i]) / nrm);

    // i. At most 1001 iterations; go on only while the gain exceeds 1 %.
    if (it > kMaxIter) return;
    if (!(rel > kMinGain)) return;
  }
}

}  // namespace rb
