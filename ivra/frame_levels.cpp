// The skeleton of the level loop: levels from the finest to the coarsest, the
// level test, two passes of sliding windows, progress and blank lines.
#include <algorithm>
#include <string>

#include "console.h"
#include "edit.h"
#include "frame.h"
#include "matrix.h"

namespace agg {

namespace {

// A blank line ends the overwritten progress line only after a pass whose
// windows are long enough to have shown one.
void PassEnd(const RunParams& run, int WinCount) {
  if (WinCount >= 64 && run.Lwin < run.Leng) rt::WriteFree(" ");
}

void Progress(const std::string& text, int j, int WinStart) {
  rt::WriteRecord("+" + text + rt::EditI(j, 7) + "  MRA-sample #" + rt::EditI(WinStart, 10));
}

// Slides the window along the level from its first position until a window
// reaches the level's last real position. Returns the last window's count.
// Pass 1 checks the level test before every window: false when it failed.
bool RunPass(const ProgramTraits& traits, const RunParams& run, Window w, bool levelTest,
             const std::string& text, const PassFn& pass, int& WinCount) {
  w.WinStart = w.LevStart;
  for (;;) {
    w.WinEnd = std::min(w.WinStart + w.LevWin - 1, w.LevRealEnd);
    w.WinCount = w.WinEnd - w.WinStart + 1;
    WinCount = w.WinCount;
    if (levelTest && w.WinCount < run.Lmin) return false;
    w.first = w.WinStart == w.LevStart;
    pass(w);
    if (w.WinEnd >= w.LevRealEnd) return true;
    ++w.WinStart;
    if (w.WinStart % traits.progressInterval == 0) Progress(text, w.j, w.WinStart);
  }
}

}  // namespace

void LevelLoop(const ProgramTraits& traits, RunParams& run, float* AggCoef, const PassFn& pass1,
               const PassFn& pass2) {
  const wv::Vec agg{AggCoef};
  for (int j = 1; j <= run.p - 1; ++j) {
    const int scale = 1 << j;
    Window w{};
    w.j = j;
    w.LevStart = run.Nfour / scale + 1;
    w.LevEnd = run.Nfour / (scale / 2);
    w.LevRealEnd = w.LevStart + run.Leng / scale - 1;
    w.LevWin = run.Lwin / scale;

    int WinCount = 0;
    if (!RunPass(traits, run, w, true, "MRA level=", pass1, WinCount)) {
      for (int k = w.LevStart; k <= w.LevEnd; ++k) agg(k) = 0.0f;
      continue;
    }
    PassEnd(run, WinCount);
    RunPass(traits, run, w, false, "Comp.aggr.sign.: MRA level", pass2, WinCount);
    PassEnd(run, WinCount);
    run.LastLevel = j;
    run.LastLevelCount = WinCount;
  }
}

}  // namespace agg
