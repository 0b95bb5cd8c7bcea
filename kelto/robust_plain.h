// Robust location, scale and correlation estimators and the heapsort beneath
// them, in their plain form: step by step as the estimators are defined. It is
// the reference of the fast forms (robust.h) and what Kelto_plain runs.
// Vectors are arrays of N floats, element 1 at x[0].
#pragma once

namespace rb::plain {

void VINZOR(int N, float* X);                                   // 3-sigma winsorisation, 20 passes
float AMO(int N, const float* X);                               // median absolute deviation
void ROBCORRCOEFF(int N, const float* X, const float* Y, float& R);
void TREEUP(float* A, int N);                                   // ascending heapsort
void UP(float* A, int K);
void DOWN(float* A, int M);
void SWAP(float& A, float& B);

// Counts kept by the iterative routines when asked to: line searches made and
// criterion evaluations (probes) over all of them. Tests use it to check the
// fixed shape of the searches; the programs pass no trace.
struct SearchTrace {
  long searches = 0;
  long probes = 0;
};

}  // namespace rb::plain
