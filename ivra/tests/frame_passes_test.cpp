// The canonical passes over one window: second moments, canonical variates
// with the exchanged coefficient vector, and the projection on the first
// singular vector, each setting only the positions its window owns.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "frame.h"
#include "ivra_passes.h"
#include "matrix.h"

namespace {

constexpr float kSentinel = -123.0f;

agg::Window LevelWindow(int WinStart, int LevWin) {
  // Level 1 of Nfour = 16: positions 9..16, all real.
  agg::Window w{};
  w.j = 1;
  w.LevStart = 9;
  w.LevEnd = 16;
  w.LevRealEnd = 16;
  w.LevWin = LevWin;
  w.WinStart = WinStart;
  w.WinEnd = WinStart + LevWin - 1;
  w.WinCount = LevWin;
  w.first = WinStart == w.LevStart;
  return w;
}

TEST(SecondMoments, AboutZeroOverTheWindowDividedByItsCount) {
  // Two series, four positions; the window is 2..4.
  std::vector<float> X = {1, 2, 2, 0, 3, 1, 4, 1};
  std::vector<float> C(4, kSentinel);
  ivra::PassWork work;
  ivra::SecondMoments(X.data(), 2, 2, 4, 3, C.data(), work);
  EXPECT_EQ(C[0], float(29.0 / 3.0));
  EXPECT_EQ(C[1], float(7.0 / 3.0));
  EXPECT_EQ(C[2], float(7.0 / 3.0));
  EXPECT_EQ(C[3], float(2.0 / 3.0));
}

// Three series on positions 9..16 with series 3 = 2 * series 1 - series 2, so
// every series is an exact combination of the other two.
std::vector<float> DependentSeries() {
  const float s1[] = {0.3f, -1.2f, 0.8f, 2.1f, -0.4f, 1.5f, -0.9f, 0.6f};
  const float s2[] = {1.1f, 0.2f, -0.7f, 0.5f, 1.9f, -1.4f, 0.3f, -0.2f};
  std::vector<float> S(3 * 16, 0.0f);
  const wv::Mat m{S.data(), 3};
  for (int k = 9; k <= 16; ++k) {
    m(1, k) = s1[k - 9];
    m(2, k) = s2[k - 9];
    m(3, k) = float(2.0 * double(s1[k - 9]) - double(s2[k - 9]));
  }
  return S;
}

struct CanonWork {
  std::vector<float> WinCov = std::vector<float>(9), WinCovWork = std::vector<float>(9),
                     CanWeights = std::vector<float>(6), CanCorr2 = std::vector<float>(3),
                     SerVec = std::vector<float>(3), CanVec = std::vector<float>(3),
                     SvdU = std::vector<float>(9);
  ivra::PassWork work;
};

void Variates(const agg::Window& w, const std::vector<float>& S, CanonWork& a,
              std::vector<float>& CanVar) {
  ivra::CanonicalVariates(w, 3, S.data(), a.WinCov.data(), a.WinCovWork.data(), a.CanWeights.data(),
                          a.CanCorr2.data(), a.SerVec.data(), a.CanVec.data(), CanVar.data(), a.work);
}

TEST(CanonicalVariates, WeightsApplyToTheOtherSeriesInExchangedOrder) {
  const std::vector<float> S = DependentSeries();
  std::vector<float> CanVar(3 * 16, kSentinel);
  CanonWork a;
  const agg::Window w = LevelWindow(9, 6);
  Variates(w, S, a, CanVar);

  std::vector<float> moments(9);
  ivra::SecondMoments(S.data(), 3, 9, 14, 6, moments.data(), a.work);
  EXPECT_EQ(a.WinCov, moments);

  const wv::Mat x{const_cast<float*>(S.data()), 3};
  const wv::Mat W{a.CanWeights.data(), 3};
  const wv::Mat v{CanVar.data(), 3};
  for (int k = 9; k <= 14; ++k) {
    EXPECT_EQ(v(1, k), float(double(W(1, 1)) * x(2, k) + double(W(1, 2)) * x(3, k))) << k;
    EXPECT_EQ(v(2, k), float(double(W(2, 1)) * x(1, k) + double(W(2, 2)) * x(3, k))) << k;
    EXPECT_EQ(v(3, k), float(double(W(3, 1)) * x(2, k) + double(W(3, 2)) * x(1, k))) << k;
  }
  // The variate reproduces its series up to the length of the combination:
  // x1 = (x2 + x3)/2, x2 = 2 x1 - x3, x3 = -x2 + 2 x1.
  const double factor[] = {std::sqrt(2.0), 1.0 / std::sqrt(5.0), 1.0 / std::sqrt(5.0)};
  for (int i = 1; i <= 3; ++i)
    for (int k = 9; k <= 14; ++k)
      EXPECT_NEAR(std::fabs(v(i, k)), std::fabs(x(i, k)) * factor[i - 1], 1e-4) << i << " " << k;
  for (int k : {1, 8, 15, 16})
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(v(i, k), kSentinel);
}

TEST(CanonicalVariates, LaterWindowSetsOnlyItsNewestPosition) {
  const std::vector<float> S = DependentSeries();
  std::vector<float> CanVar(3 * 16, kSentinel);
  CanonWork a;
  Variates(LevelWindow(10, 6), S, a, CanVar);
  const wv::Mat v{CanVar.data(), 3};
  for (int k = 1; k <= 16; ++k)
    for (int i = 1; i <= 3; ++i) {
      if (k == 15)
        EXPECT_NE(v(i, k), kSentinel);
      else
        EXPECT_EQ(v(i, k), kSentinel) << i << " " << k;
    }
}

TEST(AggregateWindow, ProjectsOnTheCommonDirection) {
  // Rank one: CanVar(i, k) = c(i) z(k); the first singular vector is c/|c|
  // up to sign, so the projection is |c| z(k) up to sign.
  const double c[] = {0.6, -0.3, 0.9};
  const double z[] = {1.0, -2.0, 0.5, 3.0, -1.5, 0.25, 2.0, -0.75};
  std::vector<float> CanVar(3 * 16, 0.0f);
  const wv::Mat v{CanVar.data(), 3};
  for (int k = 9; k <= 16; ++k)
    for (int i = 1; i <= 3; ++i) v(i, k) = float(c[i - 1] * z[k - 9]);
  const double norm = std::sqrt(0.36 + 0.09 + 0.81);

  CanonWork a;
  std::vector<float> AggCoef(16, kSentinel);
  const agg::Window first = LevelWindow(9, 6);
  ivra::AggregateWindow(first, 3, CanVar.data(), a.WinCov.data(), a.WinCovWork.data(),
                        a.CanVec.data(), a.SvdU.data(), AggCoef.data(), a.work);
  const wv::Mat U{a.SvdU.data(), 3};
  for (int k = 9; k <= 14; ++k) {
    EXPECT_NEAR(std::fabs(AggCoef[k - 1]), norm * std::fabs(z[k - 9]), 1e-5) << k;
    EXPECT_EQ(AggCoef[k - 1], float(double(U(1, 1)) * v(1, k) + double(U(2, 1)) * v(2, k) +
                                    double(U(3, 1)) * v(3, k)));
  }
  for (int k : {1, 8, 15, 16}) EXPECT_EQ(AggCoef[k - 1], kSentinel);

  ivra::AggregateWindow(LevelWindow(11, 6), 3, CanVar.data(), a.WinCov.data(), a.WinCovWork.data(),
                        a.CanVec.data(), a.SvdU.data(), AggCoef.data(), a.work);
  EXPECT_NEAR(std::fabs(AggCoef[15]), norm * 0.75, 1e-5);
  EXPECT_EQ(AggCoef[14], kSentinel);
}

}  // namespace
