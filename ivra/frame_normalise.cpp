// Adaptive normalisation by the range of a sliding window, the forward
// transforms, and the clearing of the level loop's arrays.
#include <cmath>
#include <string>
#include <vector>

#include "console.h"
#include "edit.h"
#include "frame.h"
#include "matrix.h"
#include "pwt.h"

namespace agg {

namespace {

void SeriesProgress(const std::string& text, int i) { rt::WriteRecord("+" + text + rt::EditI(i, 2)); }

// Loads row i of SerCoef into a: samples 1..Leng, zeros up to Nfour.
void LoadRow(const RunParams& run, const wv::Mat& S, int i, const wv::Vec& a) {
  for (int k = 1; k <= run.Leng; ++k) a(k) = S(i, k);
  for (int k = run.Leng + 1; k <= run.Nfour; ++k) a(k) = 0.0f;
}

void StoreRow(const RunParams& run, const wv::Mat& S, int i, const wv::Vec& a) {
  for (int k = 1; k <= run.Nfour; ++k) S(i, k) = a(k);
}


}  // namespace

// Divides every sample by the range of the Lwin samples ending at it (the
// first Lwin samples by the range of the first window). The ranges are taken
// from `work`, a copy of the samples, so that none is taken over values already
// divided.
void DivideBySlidingRange(int Leng, int Lwin, float* AggCoef, const float* NormWork) {
  const wv::Vec a{AggCoef};
  const wv::Vec work{const_cast<float*>(NormWork)};
  int WinStart = 1;
  int WinEnd = Lwin;
  for (;;) {
    float lo = work(WinStart);
    float hi = work(WinStart);
    for (int k = WinStart + 1; k <= WinEnd; ++k) {
      if (work(k) < lo) lo = work(k);
      if (work(k) > hi) hi = work(k);
    }
    const double WinRange = double(hi) - double(lo);
    if (WinStart == 1) {
      for (int k = 1; k <= Lwin; ++k) a(k) = float(double(work(k)) / WinRange);
    } else {
      a(WinEnd) = float(double(work(WinEnd)) / WinRange);
    }
    if (WinEnd >= Leng) break;
    ++WinStart;
    ++WinEnd;
  }
}


// The same quotients in O(Leng): the extremes of each window come from two
// monotonic queues of positions. The window's extreme values are the same as
// the scan's; only which of two equal values is kept may differ, and equal
// values that differ at all are zeros of opposite sign, whose choice changes
// neither a nonzero range nor the NaN of an all-zero window. A NaN would make
// the scan's result depend on its position, so such data take the scan.
void DivideBySlidingRangeFast(int Leng, int Lwin, float* AggCoef, const float* NormWork) {
  for (int k = 0; k < Leng; ++k) {
    if (std::isnan(NormWork[k])) {
      DivideBySlidingRange(Leng, Lwin, AggCoef, NormWork);
      return;
    }
  }
  const wv::Vec a{AggCoef};
  const wv::Vec work{const_cast<float*>(NormWork)};
  std::vector<int> lowQ(static_cast<std::size_t>(Leng));
  std::vector<int> highQ(static_cast<std::size_t>(Leng));
  int lowHead = 0, lowTail = 0, highHead = 0, highTail = 0;
  for (int k = 1; k <= Leng; ++k) {
    while (lowTail > lowHead && work(lowQ[lowTail - 1]) > work(k)) --lowTail;
    lowQ[lowTail++] = k;
    while (highTail > highHead && work(highQ[highTail - 1]) < work(k)) --highTail;
    highQ[highTail++] = k;
    if (k < Lwin) continue;
    const int WinStart = k - Lwin + 1;
    while (lowQ[lowHead] < WinStart) ++lowHead;
    while (highQ[highHead] < WinStart) ++highHead;
    const double WinRange = double(work(highQ[highHead])) - double(work(lowQ[lowHead]));
    if (WinStart == 1) {
      for (int m = 1; m <= Lwin; ++m) a(m) = float(double(work(m)) / WinRange);
    } else {
      a(k) = float(double(work(k)) / WinRange);
    }
  }
}

void NormaliseAndTransform(const RunParams& run, float* SerCoef, float* AggCoef,
                           float* NormWork, float* Cleared, bool straightforward) {
  const wv::Mat S{SerCoef, run.Nser};
  const wv::Vec a{AggCoef};
  const wv::Vec work{NormWork};

  for (int i = 1; i <= run.Nser; ++i) {
    SeriesProgress("Transformation for series #", i);
    LoadRow(run, S, i, a);
    if (run.Idiff == 1) {
      // Ascending, so that every difference uses the sample after it unchanged.
      for (int k = 1; k <= run.Leng - 1; ++k) a(k) = float(double(a(k + 1)) - double(a(k)));
      a(run.Leng) = 0.0f;
    }
    for (int k = 1; k <= run.Nfour; ++k) work(k) = a(k);
    if (straightforward) {
      DivideBySlidingRange(run.Leng, run.Lwin, AggCoef, NormWork);
    } else {
      DivideBySlidingRangeFast(run.Leng, run.Lwin, AggCoef, NormWork);
    }
    StoreRow(run, S, i, a);
  }
  rt::WriteFree(" ");

  for (int i = 1; i <= run.Nser; ++i) {
    SeriesProgress("Direct FWT for series #", i);
    LoadRow(run, S, i, a);
    if (run.WAVORD == 2) {
      wv::HAAR(AggCoef, run.Nfour, 1);
    } else {
      wv::WT1(AggCoef, run.Nfour, 1);
    }
    StoreRow(run, S, i, a);
  }

  const wv::Mat C{Cleared, run.Nser};
  for (int k = 1; k <= run.Nfour; ++k) {
    for (int i = 1; i <= run.Nser; ++i) C(i, k) = 0.0f;
  }
  for (int k = 1; k <= run.Nfour; ++k) a(k) = 0.0f;
  if (run.Lwin < run.Leng) rt::WriteFree(" ");
}

}  // namespace agg
