// The two passes of the canonical aggregation over one window of a level.
#pragma once

#include "frame.h"

namespace ivra {

// WinCov (Nser by Nser) = second moments about zero of the rows of X (Nser by
// any number of columns) over the columns WinStart..WinEnd, divided by WinCount.
void SecondMoments(const float* X, int Nser, int WinStart, int WinEnd, int WinCount, float* WinCov);

// Pass 1: canonical weights of the window's SerCoef moments, and the canonical
// variates CanVar(., k) at the positions the window sets.
void CanonicalVariates(const agg::Window& w, int Nser, const float* SerCoef, float* WinCov,
                       float* WinCovWork, float* CanWeights, float* CanCorr2, float* SerVec,
                       float* CanVec, float* CanVar);

// Pass 2: first left singular vector of the window's CanVar moments, and the
// projection of the variates on it, AggCoef(k), at the positions the window sets.
void AggregateWindow(const agg::Window& w, int Nser, const float* CanVar, float* WinCov,
                     float* WinCovWork, float* CanVec, float* SvdU, float* SvdV, float* AggCoef);

}  // namespace ivra
