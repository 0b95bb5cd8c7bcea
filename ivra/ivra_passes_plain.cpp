// The two passes in their straightforward form: the reference of the fast
// passes in ivra_passes.cpp, and what Ivra_plain runs.
#include "ivra_passes.h"

#include <utility>

#include "canoncorr.h"
#include "matrix.h"
#include "rsvd.h"

namespace ivra::plain {

namespace {

void Copy(const float* from, int count, float* to) {
  for (int n = 0; n < count; ++n) to[n] = from[n];
}

// First and last position a window sets: all of the level's first window,
// only the newest position of every later one.
int FirstPosition(const agg::Window& w) { return w.first ? w.WinStart : w.WinEnd; }

}  // namespace

void SecondMoments(const float* X, int Nser, int WinStart, int WinEnd, int WinCount, float* WinCov) {
  const wv::Mat x{const_cast<float*>(X), Nser};
  const wv::Mat c{WinCov, Nser};
  for (int a = 1; a <= Nser; ++a) {
    for (int b = 1; b <= a; ++b) {
      double s = 0.0;
      for (int k = WinStart; k <= WinEnd; ++k) s = s + double(x(a, k)) * double(x(b, k));
      const float m = float(s / double(WinCount));
      c(a, b) = m;
      c(b, a) = m;
    }
  }
}

void CanonicalVariates(const agg::Window& w, int Nser, const float* SerCoef, float* WinCov,
                       float* WinCovWork, float* CanWeights, float* CanCorr2, float* SerVec,
                       float* CanVec, float* CanVar) {
  SecondMoments(SerCoef, Nser, w.WinStart, w.WinEnd, w.WinCount, WinCov);
  Copy(WinCov, Nser * Nser, WinCovWork);
  cc::plain::CANONCORR(WinCovWork, Nser, CanWeights, CanCorr2);

  const wv::Mat ser{const_cast<float*>(SerCoef), Nser};
  const wv::Mat weights{CanWeights, Nser};
  const wv::Mat var{CanVar, Nser};
  const wv::Vec v{SerVec};
  const wv::Vec out{CanVec};
  for (int k = FirstPosition(w); k <= w.WinEnd; ++k) {
    for (int i = 1; i <= Nser; ++i) {
      // The weights of series i stand in the order of the other series once
      // series 1 and series i have changed places.
      for (int l = 1; l <= Nser; ++l) v(l) = ser(l, k);
      std::swap(v(1), v(i));
      double s = 0.0;
      for (int l = 1; l <= Nser - 1; ++l) s = s + double(weights(i, l)) * double(v(l + 1));
      out(i) = float(s);
    }
    for (int i = 1; i <= Nser; ++i) var(i, k) = out(i);
  }
}

void AggregateWindow(const agg::Window& w, int Nser, const float* CanVar, float* WinCov,
                     float* WinCovWork, float* CanVec, float* SvdU, float* SvdV, float* AggCoef) {
  SecondMoments(CanVar, Nser, w.WinStart, w.WinEnd, w.WinCount, WinCov);
  Copy(WinCov, Nser * Nser, WinCovWork);
  wv::RSVD(WinCovWork, Nser, Nser, Nser, Nser, 0, Nser, Nser, CanVec, SvdU, SvdV);

  const wv::Mat var{const_cast<float*>(CanVar), Nser};
  const wv::Mat u{SvdU, Nser};
  const wv::Vec agg{AggCoef};
  for (int k = FirstPosition(w); k <= w.WinEnd; ++k) {
    double s = 0.0;
    for (int i = 1; i <= Nser; ++i) s = s + double(u(i, 1)) * double(var(i, k));
    agg(k) = float(s);
  }
}

}  // namespace ivra::plain
