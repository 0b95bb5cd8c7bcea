// Periodic orthonormal wavelet transforms: filter set-up, one filter step, the
// multi-level pyramid and the Haar transform. Vectors are arrays of N floats
// (element 1 at a[0]); transforms work in place.
#pragma once

namespace wv {

// The current wavelet filter, one per process; zero until PWTSET runs.
struct WaveletFilter {
  float CLO[50];  // low-pass (scaling) filter, entries 1..NTAPS used
  float CHI[50];  // high-pass (wavelet) filter
  int NTAPS;
  int LOOFF;
  int HIOFF;
};
extern WaveletFilter WFILT;

// Sets the filter for WAVORD (4..20 Daubechies, 108..120 symlets, lowered by
// 100 in place). An order without a table stops the program with
// "unimplemented value n in pwtset".
void PWTSET(int& WAVORD);

// Number of supported tables and access to them (for tests and tools).
// Returns the table of `order` (4..20 or 108..120) and its length, or nullptr.
const float* CoefficientTable(int order, int& count);

void PWT(float* A, int N, int IDIR);   // one periodic step (IDIR >= 0 forward)
void WT1(float* A, int N, int IDIR);   // whole pyramid by repeated PWT
void HAAR(float* A, int N, int IDIR);  // Haar pyramid (IDIR 1 forward, -1 inverse)

}  // namespace wv
