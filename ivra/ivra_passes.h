// The two passes of the canonical aggregation over one window of a level.
#pragma once

#include <vector>

#include "canoncorr.h"
#include "cpu.h"
#include "frame.h"
#include "moment_lanes.h"
#include "rsvd.h"

namespace ivra {

// The products X(a,k) X(b,k), b <= a, of the positions of the latest windows
// over one array. A product of two floats is exact in double, so a window's
// sums can add the kept products in place of forming them again; each window
// still sums all of its positions afresh, in ascending order.
struct MomentProducts {
  const float* source = nullptr;  // the array they were formed from
  int nser = 0;
  int capacity = 0;   // positions kept: position k in slot k mod capacity
  int lo = 0, hi = -1;  // positions lo..hi are kept
  std::vector<double> slots;  // the products of each position, padded to quads
  void Forget() { source = nullptr; }
};

// Work storage of the passes, kept by the main routine for the whole level
// loop so that no window allocates.
struct PassWork {
  cc::CanonWork canon;
  wv::RsvdWork svd;
  MomentProducts products;
  std::vector<double> sums;  // the second-moment sums of a window
  bool avx2 = wv::HasAvx2();  // the sums four at a time
  // Windows whose decompositions wait to be made side by side.
  struct Pending {
    std::vector<agg::Window> windows;
    // Per window: moments (then scratch in pass 2); pass 2: S, U; pass 1:
    // squared correlations, weights.
    std::vector<float> a, s, u;
    std::vector<float*> pa, ps, pu;
  };
  Pending pending;       // pass 2
  Pending pendingCanon;  // pass 1
};

// WinCov (Nser by Nser) = second moments about zero of the rows of X (Nser by
// any number of columns) over the columns WinStart..WinEnd, divided by WinCount.
// Products of earlier calls on the same X are reused: call
// work.products.Forget() when columns of X it has seen may have changed.
void SecondMoments(const float* X, int Nser, int WinStart, int WinEnd, int WinCount, float* WinCov,
                   PassWork& work);

// Pass 1: canonical weights of the window's SerCoef moments, and the canonical
// variates CanVar(., k) at the positions the window sets.
void CanonicalVariates(const agg::Window& w, int Nser, const float* SerCoef, float* WinCov,
                       float* WinCovWork, float* CanWeights, float* CanCorr2, float* SerVec,
                       float* CanVec, float* CanVar, PassWork& work);

// CanonicalVariates with the same results, for a caller that runs pass 1 over
// whole levels: the canonical correlations of consecutive windows are formed
// side by side, and the CanVar positions of a window are set once a batch is
// full or the level's last window (WinEnd >= LevRealEnd) has come; after that
// window the work arrays hold what CanonicalVariates leaves there.
void CanonicalVariatesInBatches(const agg::Window& w, int Nser, const float* SerCoef, float* WinCov,
                                float* WinCovWork, float* CanWeights, float* CanCorr2, float* SerVec,
                                float* CanVec, float* CanVar, PassWork& work);

// Pass 2: first left singular vector of the window's CanVar moments, and the
// projection of the variates on it, AggCoef(k), at the positions the window
// sets. Only column 1 of SvdU is formed; the right vectors are not.
void AggregateWindow(const agg::Window& w, int Nser, const float* CanVar, float* WinCov,
                     float* WinCovWork, float* CanVec, float* SvdU, float* AggCoef, PassWork& work);

// AggregateWindow with the same results, for a caller that runs pass 2 over
// whole levels: the decompositions of consecutive windows are made side by
// side, and the AggCoef positions of a window are set once a batch is full or
// the level's last window (WinEnd >= LevRealEnd) has come; after that window
// WinCov, WinCovWork, CanVec and SvdU hold what AggregateWindow leaves there.
void AggregateWindowInBatches(const agg::Window& w, int Nser, const float* CanVar, float* WinCov,
                              float* WinCovWork, float* CanVec, float* SvdU, float* AggCoef,
                              PassWork& work);

// The passes in their straightforward form (every sum one after the other,
// the full decompositions, work arrays allocated per call): the reference of
// the passes above, which give the same results bit for bit.
namespace plain {
void SecondMoments(const float* X, int Nser, int WinStart, int WinEnd, int WinCount, float* WinCov);
void CanonicalVariates(const agg::Window& w, int Nser, const float* SerCoef, float* WinCov,
                       float* WinCovWork, float* CanWeights, float* CanCorr2, float* SerVec,
                       float* CanVec, float* CanVar);
void AggregateWindow(const agg::Window& w, int Nser, const float* CanVar, float* WinCov,
                     float* WinCovWork, float* CanVec, float* SvdU, float* SvdV, float* AggCoef);
}  // namespace plain

}  // namespace ivra
