// Filter set-up, the periodic filter step, the pyramid driver and the Haar
// transform. Every accumulation adds an exact float product in double and
// stores the sum as a float before the next term.
#include "pwt.h"

#include <string>
#include <vector>

#include "matrix.h"
#include "runtime.h"

namespace wv {

WaveletFilter WFILT{};

void PWTSET(int& WAVORD) {
  // NTAPS is stored before the table is looked up: a stop for an unknown
  // order leaves it set, and orders <= 0 or exactly 100 copy nothing.
  WFILT.NTAPS = WAVORD < 100 ? WAVORD : WAVORD - 100;
  float s = -1.0f;
  const int ntaps = WFILT.NTAPS;
  for (int k = 1; k <= ntaps; ++k) {
    int count = 0;
    const float* table = CoefficientTable(WAVORD, count);
    if (table == nullptr) {
      rt::StopProgram("unimplemented value " + std::to_string(WAVORD) + " in pwtset");
    }
    Vec clo{WFILT.CLO};
    Vec chi{WFILT.CHI};
    clo(k) = table[k - 1];
    chi(ntaps + 1 - k) = s * clo(k);
    s = -s;
  }
  if (WAVORD > 100) WAVORD -= 100;
  WFILT.LOOFF = -(WAVORD / 2);
  WFILT.HIOFF = -(WAVORD / 2);
}

void PWT(float* A, int N, int IDIR) {
  if (N < 4) return;
  std::vector<float> work(static_cast<std::size_t>(N), 0.0f);
  Vec a{A};
  Vec w{work.data()};
  Vec clo{WFILT.CLO};
  Vec chi{WFILT.CHI};
  const int ntaps = WFILT.NTAPS;
  const int half = N / 2;
  const int mask = N - 1;
  // The AND with N-1 is the periodic remainder for N a power of two; adding
  // NTAPS*N first keeps the operand positive.
  const int bias = ntaps * N;
  if (IDIR >= 0) {
    for (int j = 1; j <= half; ++j) {
      for (int k = 1; k <= ntaps; ++k) {
        const int m = ((2 * j + k - 1 + WFILT.LOOFF + bias) & mask) + 1;
        w(j) = float(double(w(j)) + double(clo(k)) * double(a(m)));
        const int mh = ((2 * j + k - 1 + WFILT.HIOFF + bias) & mask) + 1;
        w(half + j) = float(double(w(half + j)) + double(chi(k)) * double(a(mh)));
      }
    }
  } else {
    for (int j = 1; j <= half; ++j) {
      for (int k = 1; k <= ntaps; ++k) {
        const int m = ((2 * j + k - 1 + WFILT.LOOFF + bias) & mask) + 1;
        w(m) = float(double(w(m)) + double(clo(k)) * double(a(j)));
        const int mh = ((2 * j + k - 1 + WFILT.HIOFF + bias) & mask) + 1;
        w(mh) = float(double(w(mh)) + double(chi(k)) * double(a(half + j)));
      }
    }
  }
  for (int i = 1; i <= N; ++i) a(i) = w(i);
}

void WT1(float* A, int N, int IDIR) {
  if (N < 4) return;
  if (IDIR >= 0) {
    for (int m = N; m >= 4; m /= 2) PWT(A, m, IDIR);
  } else {
    for (int m = 4; m <= N; m *= 2) PWT(A, m, IDIR);
  }
}

void HAAR(float* A, int N, int IDIR) {
  // Level count by halving until 2 is met. Lengths for which halving never
  // meets 2 (N < 2, and N from 3*2^k to 4*2^k-1) have no level count: they are
  // left unchanged rather than looping forever.
  int levels = 1;
  if (N != 2) {
    int q = N;
    do {
      q /= 2;
      ++levels;
    } while (q > 2);
    if (q != 2) return;
  }
  if (IDIR != 1 && IDIR != -1) return;
  std::vector<float> work(static_cast<std::size_t>(N), 0.0f);
  Vec a{A};
  Vec t{work.data()};
  const double r = double(1.41421354f);
  if (IDIR == 1) {
    for (int i = 1; i <= levels; ++i) {
      const int g = N >> i;
      for (int k = 1; k <= g; ++k) {
        const double x1 = a(2 * k - 1);
        const double x2 = a(2 * k);
        t(g + k) = float((x2 - x1) / r);
        t(k) = float((x1 + x2) / r);
      }
      for (int k = 1; k <= 2 * g; ++k) a(k) = t(k);
    }
  } else {
    for (int i = levels; i >= 1; --i) {
      const int g = N >> i;
      for (int k = 1; k <= g; ++k) {
        const double s = a(k);
        const double d = a(g + k);
        t(2 * k - 1) = float((s - d) / r);
        t(2 * k) = float((s + d) / r);
      }
      for (int k = 1; k <= 2 * g; ++k) a(k) = t(k);
    }
  }
}

}  // namespace wv
