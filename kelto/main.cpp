// The program Kelto: the robust wavelet-aggregated signal of three or more
// series. Each window's coefficients are predicted channel by channel from the
// other channels by least-absolute-deviation regressions, and the predictions
// are projected on their robust principal direction.
//
// Built twice: Kelto with the fast routines, and, with KELTO_PLAIN defined,
// Kelto_plain with their plain forms, the reference that the fast ones match
// bit for bit.
#include <cstdint>
#include <vector>

#include "console.h"
#include "frame.h"
#include "matrix.h"
#include "runtime.h"
#ifdef KELTO_PLAIN
#include "mregr_plain.h"
#include "robprinc_plain.h"
#else
#include "mregr.h"
#include "robprinc.h"
#endif

// The reference build runs the straightforward forms of every routine.
#ifdef KELTO_PLAIN
constexpr bool kStraightforward = true;
#else
constexpr bool kStraightforward = false;
#endif

namespace {

void MainKelto() {
  rt::InstallRuntime();
  const agg::ProgramTraits traits{
      {"This is the program for estimating robust wavelet-aggregated",
       "signal of multidimensional time series ( 3 <= dim ).",
       "NB: the program is time-consuming because it use iteration",
       "procedures for calculating canonical and principal components",
       "in spaces of wavelet coefficients."},
      7,
      16,
      "Kelto.dat"};

  agg::RunParams run;
  std::vector<float> RSQ;                                   // after Nser
  std::vector<float> SerCoef, AggCoef, NormWork, PredCoef;  // after "Nfour="
  // The robust direction has a vector of its own rather than the first Nser
  // places of NormWork, so that more series than Nfour cannot overrun it.
  std::vector<float> Direction;
#ifndef KELTO_PLAIN
  rb::Workspace work;  // reused by every window
#endif

  agg::AllocationHooks hooks;
  hooks.afterNser = [&](const agg::RunParams& r) {
    RSQ = rt::AllocReals(r.Nser);
    Direction = rt::AllocReals(r.Nser);
  };
  hooks.afterNfour = [&](const agg::RunParams& r) {
    AggCoef = rt::AllocReals(r.Nfour);
    NormWork = rt::AllocReals(r.Nfour);
    PredCoef = rt::AllocReals(std::int64_t(r.Nser) * r.Nfour);
  };

  agg::RunDialogue(traits, run, SerCoef, hooks);
  agg::NormaliseAndTransform(run, SerCoef.data(), AggCoef.data(), NormWork.data(),
                             PredCoef.data(), kStraightforward);

  const int Nser = run.Nser;
  const int Nfour = run.Nfour;
  agg::LevelLoop(
      traits, run, AggCoef.data(),
      // Sub-pass A: robust predictions of every series from the others.
      [&](const agg::Window& w) {
#ifdef KELTO_PLAIN
        rb::plain::MREGR(SerCoef.data(), PredCoef.data(), w.LevStart, Nser, Nfour, w.WinCount,
                         w.WinStart, RSQ.data());
#else
        rb::MREGR(SerCoef.data(), PredCoef.data(), w.LevStart, Nser, Nfour, w.WinCount,
                  w.WinStart, RSQ.data(), work);
#endif
      },
      // Sub-pass B: the predictions projected on their robust direction.
      [&](const agg::Window& w) {
#ifdef KELTO_PLAIN
        rb::plain::ROBPRINC(PredCoef.data(), Nser, Nfour, w.WinStart, w.WinEnd, w.WinCount,
                            Direction.data());
#else
        rb::ROBPRINC(PredCoef.data(), Nser, Nfour, w.WinStart, w.WinEnd, w.WinCount,
                     Direction.data(), work);
#endif
        const wv::Vec d{Direction.data()};
        const wv::Mat pred{PredCoef.data(), Nser};
        const wv::Vec agg{AggCoef.data()};
        for (int k = w.first ? w.WinStart : w.WinEnd; k <= w.WinEnd; ++k) {
          double s = 0.0;
          for (int i = 1; i <= Nser; ++i) s += double(d(i)) * double(pred(i, k));
          agg(k) = float(s);
        }
      });

  agg::FinishRun(traits, run, AggCoef.data());
  rt::FinishConsole();
}

}  // namespace

// MAIN$KELTO
int main() {
  MainKelto();
  return 0;
}
