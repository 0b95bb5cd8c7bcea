// The end of a run: the report of the last working level, the inverse
// transform, the running sum of difference series and the output file.
#include "console.h"
#include "edit.h"
#include "files.h"
#include "frame.h"
#include "matrix.h"
#include "pwt.h"

namespace agg {

void FinishRun(const ProgramTraits& traits, const RunParams& run, float* AggCoef) {
  rt::WriteFree("Last working MRA-level=" + rt::FreeInt(run.LastLevel));
  rt::WriteFree("It has " + rt::FreeInt(run.LastLevelCount) + " wavelet coefficients.");
  rt::WriteFree("Inverse FWT..");

  if (run.WAVORD == 2) {
    wv::HAAR(AggCoef, run.Nfour, -1);
  } else {
    wv::WT1(AggCoef, run.Nfour, -1);
  }

  const wv::Vec a{AggCoef};
  if (run.Idiff == 1) {
    for (int k = 2; k <= run.Leng; ++k) a(k) = float(double(a(k)) + double(a(k - 1)));
  }

  rt::OutputFile out(traits.outputName);
  // Each time mark comes from the record counter, so that no error of adding
  // Tstep up accumulates over a long output.
  double c = 0.0;
  for (int k = 1; k <= run.Leng; ++k) {
    const double t = run.Tstep * c + run.Tini;
    out.WriteLine(rt::EditG(double(a(k)), 15, 6) + rt::EditG(t, 20, 10));
    c = c + 1.0;
  }
  out.Close();
}

}  // namespace agg
