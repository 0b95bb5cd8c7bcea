// The run that both programs share: banner, "list", the dialogue, the series
// files, the adaptive normalisation and forward transforms, the skeleton of the
// level loop, the inverse transform and the output file. A program supplies its
// texts and numbers (ProgramTraits), its array allocations and its two passes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace agg {

struct ProgramTraits {
  std::vector<std::string> banner;  // lines before the blank line and the dashes
  int countWidth;                   // width of the per-file sample count
  int progressInterval;             // progress line when WinStart is a multiple of it
  std::string outputName;           // output file in the working directory
};

struct RunParams {
  int Nser = 0;
  int Nstart = 0;
  int Leng = 0;
  int p = 0;      // Nfour = 2^p
  int Nfour = 0;
  int Idiff = 0;
  int Lwin = 0;
  int WAVORD = 0;  // lowered by 100 for symlets
  int Lmin = 0;
  double Tini = 0.0;
  float Tscale = 0.0f;
  float dT = 0.0f;
  double Tstep = 0.0;
  int LastLevel = 0;
  int LastLevelCount = 0;
};

// Allocation points of the dialogue: right after Nser passed its test, and
// right after "Nfour=" is written.
struct AllocationHooks {
  std::function<void(const RunParams&)> afterNser;
  std::function<void(const RunParams&)> afterNfour;
};

// Banner, "list", prompts, probe, series files, common length, zero tail,
// prompts 3 to 8 and the closing blank line. On return SerCoef (Nser by Nfour,
// column-major) holds the samples, zero beyond Leng. Stops and fatal errors
// end the process from inside.
void RunDialogue(const ProgramTraits& traits, RunParams& run, std::vector<float>& SerCoef,
                 const AllocationHooks& hooks);

// Transform length for Leng: p and Nfour = 2^p, the smallest power of two not
// below Leng (at least 2). False, with p and Nfour untouched, when Leng is
// above 2^30 and Nfour would leave the 32-bit range.
bool TransformLength(int Leng, int& p, int& Nfour);

// Normalisation phase, transform phase and clearing step. `Cleared` is the
// Nser by Nfour matrix of the program's first pass (CanVar / PredCoef).
// `straightforward` selects the literal sliding range of the reference builds.
void NormaliseAndTransform(const RunParams& run, float* SerCoef, float* AggCoef,
                           float* NormWork, float* Cleared, bool straightforward = false);

// Divides AggCoef(1..Leng) by the range of the Lwin samples of NormWork ending
// at each sample (the first Lwin by the first window's range): the window scan
// as written, and the same results in O(Leng).
void DivideBySlidingRange(int Leng, int Lwin, float* AggCoef, const float* NormWork);
void DivideBySlidingRangeFast(int Leng, int Lwin, float* AggCoef, const float* NormWork);

// One window of a level, as the passes of the level loop see it.
struct Window {
  int j;           // MRA level
  int LevStart;
  int LevEnd;
  int LevRealEnd;
  int LevWin;
  int WinStart;
  int WinEnd;
  int WinCount;
  bool first;      // WinStart == LevStart: the window sets all its positions
};

// The level loop: levels 1..p-1, the level test, pass 1 and pass 2 over the
// windows with their progress lines and blank lines, LastLevel and
// LastLevelCount. The pass texts are those of the canonical passes.
using PassFn = std::function<void(const Window&)>;
void LevelLoop(const ProgramTraits& traits, RunParams& run, float* AggCoef,
               const PassFn& pass1, const PassFn& pass2);

// Report lines, inverse transform, running sum for difference series, and the
// output file.
void FinishRun(const ProgramTraits& traits, const RunParams& run, float* AggCoef);

}  // namespace agg
