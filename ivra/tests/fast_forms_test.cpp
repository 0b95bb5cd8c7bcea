// The forms the program runs against the straightforward forms, bit for bit
// (any NaN equal to any NaN: which NaN a sum or product of two NaNs passes on
// follows the compiler's order of its operands, and the output shows every
// NaN alike): the matrix helpers and CANONCORR on thousands of second-moment
// matrices of 3 to 12 series, the second moments over sliding and jumping
// windows, and both passes over whole levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "canoncorr.h"
#include "frame.h"
#include "ivra_passes.h"
#include "matrix.h"

namespace {

using Matrix = std::vector<float>;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

::testing::AssertionResult SameBits(const float* got, const float* want, std::size_t count,
                                    const std::string& what) {
  for (std::size_t e = 0; e < count; ++e) {
    std::uint32_t g, w;
    std::memcpy(&g, &got[e], sizeof g);
    std::memcpy(&w, &want[e], sizeof w);
    if (g != w && !(std::isnan(got[e]) && std::isnan(want[e]))) {
      return ::testing::AssertionFailure() << what << " element " << e << ": " << got[e] << " vs "
                                           << want[e];
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameBits(const Matrix& got, const Matrix& want, const std::string& what) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << what << " sizes differ";
  return SameBits(got.data(), want.data(), got.size(), what);
}

// Series data X (n by count, column-major) of one of several kinds: a shared
// part plus noise; an exact linear relation; a series that is zero; a
// constant series; tiny or huge scales; a NaN or an infinity; magnitudes from
// 2^-20 to 2^20 where every second position repeats the one before with some
// series negated, so that large products cancel and the sums show the order
// of their terms.
Matrix Series(int n, int count, int kind, std::mt19937& gen) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  Matrix x(static_cast<std::size_t>(n) * count);
  const wv::Mat m{x.data(), n};
  for (int k = 1; k <= count; ++k) {
    const float common = unit(gen);
    for (int a = 1; a <= n; ++a) m(a, k) = 0.6f * common + unit(gen);
  }
  const int r = 1 + static_cast<int>(gen() % n);
  const int s = r % n + 1;
  switch (kind % 8) {
    case 1:  // series r an exact combination of two others
      for (int k = 1; k <= count; ++k) m(r, k) = float(2.0 * m(s, k) - 0.5 * m(s % n + 1, k));
      break;
    case 2:  // series r zero
      for (int k = 1; k <= count; ++k) m(r, k) = 0.0f;
      break;
    case 3:  // series r constant, series s a copy of it
      for (int k = 1; k <= count; ++k) m(r, k) = m(s, k) = 0.75f;
      break;
    case 4:  // tiny
      for (float& v : x) v *= 1e-18f;
      break;
    case 5:  // huge
      for (float& v : x) v *= 1e18f;
      break;
    case 6:  // a NaN or an infinity somewhere
      x[gen() % x.size()] = (gen() % 2) ? kNaN : kInf;
      break;
    case 7:  // wide magnitudes, cancelling in pairs of positions
      for (int k = 1; k <= count; ++k) {
        for (int a = 1; a <= n; ++a) {
          m(a, k) = k % 2 == 0 ? ((gen() % 2) ? -m(a, k - 1) : m(a, k - 1))
                               : std::ldexp(m(a, k), static_cast<int>(gen() % 41) - 20);
        }
      }
      break;
    default:
      break;
  }
  return x;
}

Matrix MomentsOf(const Matrix& x, int n, int count) {
  Matrix c(static_cast<std::size_t>(n) * n);
  ivra::plain::SecondMoments(x.data(), n, 1, count, count, c.data());
  return c;
}

TEST(FastForms, CanonCorrMatchesStepByStepForm) {
  std::mt19937 gen(31337);
  cc::CanonWork work;  // one for every order, as the program keeps it
  for (int trial = 0; trial < 2000; ++trial) {
    const int n = 3 + trial % 10;
    const int count = n + 1 + static_cast<int>(gen() % 40);
    const int kind = trial / 10 + trial % 3;
    const Matrix cov = MomentsOf(Series(n, count, kind, gen), n, count);
    Matrix wantW(static_cast<std::size_t>(n) * (n - 1), -7.0f), gotW = wantW;
    Matrix wantC(n, -7.0f), gotC = wantC;
    cc::plain::CANONCORR(cov.data(), n, wantW.data(), wantC.data());
    const Matrix kept = cov;
    cc::CANONCORR(cov.data(), n, gotW.data(), gotC.data(), work);
    const std::string where = "trial " + std::to_string(trial) + ", N " + std::to_string(n) +
                              ", kind " + std::to_string(kind % 8);
    EXPECT_TRUE(SameBits(gotW, wantW, "CanWeights, " + where));
    EXPECT_TRUE(SameBits(gotC, wantC, "CanCorr2, " + where));
    EXPECT_TRUE(SameBits(cov, kept, "CovMat, " + where));
  }
}

// Several windows' matrices side by side, of mixed kinds in one batch.
TEST(FastForms, CanonCorrBatchesMatchStepByStepForm) {
  std::mt19937 gen(4711);
  cc::CanonWork work;
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 3 + trial % 10;
    const int windows = 1 + static_cast<int>(gen() % 9);
    std::vector<Matrix> covs, gotW, gotC, wantW, wantC;
    for (int c = 0; c < windows; ++c) {
      const int count = n + 1 + static_cast<int>(gen() % 40);
      covs.push_back(MomentsOf(Series(n, count, static_cast<int>(gen() % 8), gen), n, count));
      wantW.emplace_back(static_cast<std::size_t>(n) * (n - 1), -7.0f);
      wantC.emplace_back(n, -7.0f);
      cc::plain::CANONCORR(covs.back().data(), n, wantW.back().data(), wantC.back().data());
      gotW.emplace_back(wantW.back().size(), -7.0f);
      gotC.emplace_back(n, -7.0f);
    }
    std::vector<const float*> pc;
    std::vector<float*> pw, pr;
    for (int c = 0; c < windows; ++c) {
      pc.push_back(covs[c].data());
      pw.push_back(gotW[c].data());
      pr.push_back(gotC[c].data());
    }
    cc::CANONCORRBatch(windows, pc.data(), n, pw.data(), pr.data(), work);
    for (int c = 0; c < windows; ++c) {
      const std::string where = "trial " + std::to_string(trial) + ", window " + std::to_string(c);
      EXPECT_TRUE(SameBits(gotW[c], wantW[c], "CanWeights, " + where));
      EXPECT_TRUE(SameBits(gotC[c], wantC[c], "CanCorr2, " + where));
    }
  }
}

TEST(FastForms, MatSqrMatchesStepByStepForm) {
  std::mt19937 gen(99);
  cc::CanonWork work;
  for (int trial = 0; trial < 1500; ++trial) {
    const int n = 1 + trial % 12;
    const int count = n + 1 + static_cast<int>(gen() % 30);
    Matrix a = MomentsOf(Series(n, count, trial / 12, gen), n, count);
    if (trial % 3 == 0) {  // the inverse, as CANONCORR hands it over
      Matrix inv(a.size());
      wv::MATRINV(n, a.data(), inv.data());
      a = inv;
    }
    Matrix want(a.size(), -7.0f), got = want;
    cc::plain::MATSQR(n, a.data(), want.data());
    cc::MATSQR(n, a.data(), got.data(), work);
    EXPECT_TRUE(SameBits(got, want, "trial " + std::to_string(trial) + ", N " + std::to_string(n)));
  }
}

TEST(FastForms, MatMulMatchesStepByStepForm) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int trial = 0; trial < 3000; ++trial) {
    // Rows up to 40 cover both the widened form (up to 16) and the blocks.
    const int na = 1 + static_cast<int>(gen() % (trial % 4 == 0 ? 40 : 13));
    const int ma = static_cast<int>(gen() % 13);
    const int mb = 1 + static_cast<int>(gen() % 12);
    Matrix a(static_cast<std::size_t>(na) * (ma > 0 ? ma : 1)), b(static_cast<std::size_t>(ma > 0 ? ma : 1) * mb);
    for (float& x : a) x = unit(gen);
    for (float& x : b) x = unit(gen) * ((gen() % 7 == 0) ? 1e30f : 1.0f);
    if (trial % 5 == 0) a[gen() % a.size()] = (gen() % 2) ? kNaN : -kInf;
    if (trial % 7 == 0) b[gen() % b.size()] = 0.0f * b[0] - 0.0f;
    Matrix want(static_cast<std::size_t>(na) * mb, -7.0f), got = want;
    cc::plain::MATMUL(a.data(), na, ma, b.data(), ma, mb, want.data());
    cc::MATMUL(a.data(), na, ma, b.data(), ma, mb, got.data());
    EXPECT_TRUE(SameBits(got, want, "trial " + std::to_string(trial)));
  }
}

// Windows of a level in the program's order, then jumps: back, forward past
// the kept positions, longer and shorter windows, another array, and the
// same array changed after Forget; the sums four at a time with AVX2, where
// the processor has it, and two at a time.
TEST(FastForms, SecondMomentsOverSlidingAndJumpingWindows) {
  std::mt19937 gen(8);
  for (const bool avx2 : {true, false}) {
    ivra::PassWork work;
    work.avx2 = avx2 && work.avx2;
    SCOPED_TRACE(work.avx2 ? "AVX2" : "baseline");
    for (int n : {1, 2, 3, 6, 7, 12}) {
      Matrix x = Series(n, 300, 7, gen);
      const Matrix y = Series(n, 300, 0, gen);
      struct W {
        const Matrix* data;
        int start, end;
      };
      std::vector<W> windows;
      for (int s = 1; s + 63 <= 200; ++s) windows.push_back({&x, s, s + 63});
      windows.push_back({&x, 10, 73});     // back
      windows.push_back({&x, 150, 170});   // shorter, inside
      windows.push_back({&x, 171, 300});   // longer, past the end
      windows.push_back({&y, 171, 300});   // another array
      windows.push_back({&x, 172, 301 - 1});
      windows.push_back({&x, 50, 49});     // empty
      for (const W& w : windows) {
        Matrix want(static_cast<std::size_t>(n) * n, -7.0f), got = want;
        const int count = w.end - w.start + 1;
        ivra::plain::SecondMoments(w.data->data(), n, w.start, w.end, count > 0 ? count : 1, want.data());
        ivra::SecondMoments(w.data->data(), n, w.start, w.end, count > 0 ? count : 1, got.data(), work);
        EXPECT_TRUE(SameBits(got, want, "N " + std::to_string(n) + ", window " + std::to_string(w.start) +
                                            ".." + std::to_string(w.end)));
      }
      // Changed data: kept products are stale until forgotten.
      for (float& v : x) v = -v * 0.5f;
      work.products.Forget();
      Matrix want(static_cast<std::size_t>(n) * n), got = want;
      ivra::plain::SecondMoments(x.data(), n, 172, 300, 129, want.data());
      ivra::SecondMoments(x.data(), n, 172, 300, 129, got.data(), work);
      EXPECT_TRUE(SameBits(got, want, "N " + std::to_string(n) + " after Forget"));
    }
  }
}

// Both passes over whole levels, window by window as the level loop calls
// them: the canonical variates and then the aggregated coefficients, both
// also with the work of consecutive windows side by side (levels of 41 to 100
// windows: full batches and a part-filled last one).
TEST(FastForms, PassesOverWholeLevelsMatchStepByStepForm) {
  std::mt19937 gen(2024);
  ivra::PassWork work, batchWork;
  for (int trial = 0; trial < 80; ++trial) {
    const int n = 3 + (trial / 8) % 10;
    const int levStart = 33, levRealEnd = 33 + 40 + static_cast<int>(gen() % 60);
    const int levWin = 8 + static_cast<int>(gen() % 30);
    const int total = levRealEnd + 5;
    const Matrix ser = Series(n, total, trial % 8, gen);
    Matrix varWant(static_cast<std::size_t>(n) * total, 0.0f), varGot = varWant, varBatched = varWant;
    Matrix aggWant(total, 0.0f), aggGot = aggWant, aggBatched = aggWant;
    Matrix cov(static_cast<std::size_t>(n) * n), covWork = cov, weights(static_cast<std::size_t>(n) * (n - 1)),
        corr2(n), serVec(n), canVec(n), svdU(cov.size()), svdV(cov.size());
    auto windowAt = [&](int start) {
      agg::Window w{};
      w.j = 1;
      w.LevStart = levStart;
      w.LevEnd = total;
      w.LevRealEnd = levRealEnd;
      w.LevWin = levWin;
      w.WinStart = start;
      w.WinEnd = std::min(start + levWin - 1, levRealEnd);
      w.WinCount = w.WinEnd - w.WinStart + 1;
      w.first = start == levStart;
      return w;
    };
    for (int pass = 1; pass <= 2; ++pass) {
      for (int start = levStart;; ++start) {
        const agg::Window w = windowAt(start);
        if (pass == 1) {
          ivra::plain::CanonicalVariates(w, n, ser.data(), cov.data(), covWork.data(), weights.data(),
                                         corr2.data(), serVec.data(), canVec.data(), varWant.data());
          ivra::CanonicalVariates(w, n, ser.data(), cov.data(), covWork.data(), weights.data(),
                                  corr2.data(), serVec.data(), canVec.data(), varGot.data(), work);
          Matrix covB(cov.size()), covWorkB(cov.size()), weightsB(weights.size()), corr2B(n), serVecB(n),
              canVecB(n);
          ivra::CanonicalVariatesInBatches(w, n, ser.data(), covB.data(), covWorkB.data(), weightsB.data(),
                                           corr2B.data(), serVecB.data(), canVecB.data(), varBatched.data(),
                                           batchWork);
          if (w.WinEnd >= levRealEnd) {
            EXPECT_TRUE(SameBits(covB, cov, "pass 1 WinCov"));
            EXPECT_TRUE(SameBits(covWorkB, covWork, "pass 1 WinCovWork"));
            EXPECT_TRUE(SameBits(weightsB, weights, "CanWeights"));
            EXPECT_TRUE(SameBits(corr2B, corr2, "CanCorr2"));
            EXPECT_TRUE(SameBits(serVecB, serVec, "SerVec"));
            EXPECT_TRUE(SameBits(canVecB, canVec, "pass 1 CanVec"));
          }
        } else {
          ivra::plain::AggregateWindow(w, n, varWant.data(), cov.data(), covWork.data(), canVec.data(),
                                       svdU.data(), svdV.data(), aggWant.data());
          ivra::AggregateWindow(w, n, varGot.data(), cov.data(), covWork.data(), canVec.data(),
                                svdU.data(), aggGot.data(), work);
          Matrix covB(cov.size()), covWorkB(cov.size()), canVecB(n), svdUB(cov.size());
          ivra::AggregateWindowInBatches(w, n, varGot.data(), covB.data(), covWorkB.data(), canVecB.data(),
                                         svdUB.data(), aggBatched.data(), batchWork);
          if (w.WinEnd >= levRealEnd) {
            // The last window leaves the work arrays as the one-window form does.
            EXPECT_TRUE(SameBits(covB, cov, "WinCov"));
            EXPECT_TRUE(SameBits(covWorkB, covWork, "WinCovWork"));
            EXPECT_TRUE(SameBits(canVecB, canVec, "CanVec"));
            EXPECT_TRUE(SameBits(Matrix(svdUB.begin(), svdUB.begin() + n), Matrix(svdU.begin(), svdU.begin() + n),
                                 "SvdU column 1"));
          }
        }
        if (w.WinEnd >= levRealEnd) break;
      }
    }
    const std::string where = "trial " + std::to_string(trial) + ", N " + std::to_string(n);
    EXPECT_TRUE(SameBits(varGot, varWant, "CanVar, " + where));
    EXPECT_TRUE(SameBits(varBatched, varWant, "CanVar side by side, " + where));
    EXPECT_TRUE(SameBits(aggGot, aggWant, "AggCoef, " + where));
    EXPECT_TRUE(SameBits(aggBatched, aggWant, "AggCoef side by side, " + where));
  }
}

}  // namespace
