// The program Ivra: the wavelet-aggregated signal of three or more series by
// canonical correlations and first singular vectors, window by window.
#include <cstdint>
#include <vector>

#include "console.h"
#include "frame.h"
#include "ivra_passes.h"
#include "runtime.h"

// The reference build runs the straightforward forms of every routine.
#ifdef IVRA_PLAIN
constexpr bool kStraightforward = true;
#else
constexpr bool kStraightforward = false;
#endif

namespace {

void MainIvra() {
  rt::InstallRuntime();
  const agg::ProgramTraits traits{
      {"This is the program for computing wavelet-aggregated signal",
       "of multidimensional time series ( 3 <= dim )."},
      10,
      64,
      "Ivra.dat"};

  agg::RunParams run;
  std::vector<float> WinCov, WinCovWork, SvdU, SvdV, CanWeights;  // stage 2
  std::vector<float> SerVec, CanCorr2, CanVec;                    // stage 3
  std::vector<float> SerCoef, CanVar, AggCoef, NormWork;          // stage 4

  agg::AllocationHooks hooks;
  hooks.afterNser = [&](const agg::RunParams& r) {
    const std::int64_t n = r.Nser;
    WinCov = rt::AllocReals(n * n);
    WinCovWork = rt::AllocReals(n * n);
    SvdU = rt::AllocReals(n * n);
    SvdV = rt::AllocReals(n * n);
    CanWeights = rt::AllocReals(n * (n - 1));
    SerVec = rt::AllocReals(n);
    CanCorr2 = rt::AllocReals(n);
    CanVec = rt::AllocReals(n);
  };
  hooks.afterNfour = [&](const agg::RunParams& r) {
    const std::int64_t n = r.Nser;
    CanVar = rt::AllocReals(n * r.Nfour);
    AggCoef = rt::AllocReals(r.Nfour);
    NormWork = rt::AllocReals(r.Nfour);
  };

  agg::RunDialogue(traits, run, SerCoef, hooks);
  agg::NormaliseAndTransform(run, SerCoef.data(), AggCoef.data(), NormWork.data(), CanVar.data(),
                             kStraightforward);

  const int Nser = run.Nser;
#ifdef IVRA_PLAIN
  // The straightforward passes, the reference for timing and output checks.
  agg::LevelLoop(
      traits, run, AggCoef.data(),
      [&](const agg::Window& w) {
        ivra::plain::CanonicalVariates(w, Nser, SerCoef.data(), WinCov.data(), WinCovWork.data(),
                                       CanWeights.data(), CanCorr2.data(), SerVec.data(),
                                       CanVec.data(), CanVar.data());
      },
      [&](const agg::Window& w) {
        ivra::plain::AggregateWindow(w, Nser, CanVar.data(), WinCov.data(), WinCovWork.data(),
                                     CanVec.data(), SvdU.data(), SvdV.data(), AggCoef.data());
      });
#else
  ivra::PassWork work;
  agg::LevelLoop(
      traits, run, AggCoef.data(),
      [&](const agg::Window& w) {
        ivra::CanonicalVariatesInBatches(w, Nser, SerCoef.data(), WinCov.data(), WinCovWork.data(),
                                         CanWeights.data(), CanCorr2.data(), SerVec.data(),
                                         CanVec.data(), CanVar.data(), work);
      },
      [&](const agg::Window& w) {
        ivra::AggregateWindowInBatches(w, Nser, CanVar.data(), WinCov.data(), WinCovWork.data(),
                                       CanVec.data(), SvdU.data(), AggCoef.data(), work);
      });
#endif

  agg::FinishRun(traits, run, AggCoef.data());
  rt::FinishConsole();
}

}  // namespace

// MAIN$IVRA
int main() {
  MainIvra();
  return 0;
}
