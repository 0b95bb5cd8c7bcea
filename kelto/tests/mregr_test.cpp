// Robust regression of each channel of a window on the others, in its plain
// form; the fast form is held to it bit for bit in fast_vs_plain_test.cpp.
#include "mregr_plain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "matrix.h"

namespace {

std::uint32_t Bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

float Sentinel() {
  const std::uint32_t u = 0x7fc0beefu;  // a NaN no computation produces
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

// M by L matrix of normal values with a few large ones, so that the
// winsorisation and the descent both have work to do.
std::vector<float> RandomData(int M, int L, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<float> nd(0.0f, 1.0f);
  std::vector<float> x(std::size_t(M) * L);
  for (float& v : x) v = nd(gen);
  for (std::size_t i = 0; i < x.size(); i += 13) x[i] *= 8.0f;
  return x;
}

TEST(Mregr, ExactRelationsAreRecoveredFromTheLeastSquaresStart) {
  // Channels a + b, a, b with a = ones and b = alternating signs: every channel
  // is an exact combination of the other two, the Gram matrices have dyadic
  // inverses, so every start fits exactly (F = 0) and must not be moved, even
  // though the sign gradient is not zero.
  const int M = 3, L = 8, n = 8;
  std::vector<float> x(M * L);
  const wv::Mat X{x.data(), M};
  for (int k = 1; k <= L; ++k) {
    const float a = 1.0f, b = (k % 2 == 1) ? 1.0f : -1.0f;
    X(1, k) = a + b;
    X(2, k) = a;
    X(3, k) = b;
  }
  std::vector<float> pred(M * L, Sentinel()), rsq(M, Sentinel());
  rb::plain::SearchTrace trace;
  rb::plain::MREGR(x.data(), pred.data(), 1, M, L, n, 1, rsq.data(), &trace);

  for (std::size_t c = 0; c < x.size(); ++c) EXPECT_EQ(Bits(x[c]), Bits(pred[c])) << c;
  // One search per channel: F = 0 makes rel +inf or undefined, no step.
  EXPECT_EQ(trace.searches, M);
  EXPECT_EQ(trace.probes, 22 * M);
  // R = 1 for a + b; the constant a and the +-1 channel b have a zero scale
  // in ROBCORRCOEFF, which gives R = 0.
  EXPECT_EQ(rsq[0], 1.0f);
  EXPECT_EQ(Bits(rsq[1]), Bits(0.0f));
  EXPECT_EQ(Bits(rsq[2]), Bits(0.0f));
}

TEST(Mregr, WritesOnlyTheNamedPredictionCells) {
  struct Case {
    int M, L, n, J, JFIRST;
  };
  const Case cases[] = {
      {4, 40, 12, 11, 11},  // first window of a level: all n positions
      {4, 40, 12, 11, 5},   // later window: only the newest position
      {3, 16, 16, 1, 1},    // window over every column
      {6, 20, 3, 9, 2},     // fewer positions than regressors: singular Gram
      {6, 20, 3, 9, 9},
  };
  for (const Case& c : cases) {
    const std::vector<float> x = RandomData(c.M, c.L, 11u + unsigned(c.n));
    const std::vector<float> xBefore = x;
    std::vector<float> pred(std::size_t(c.M) * c.L, Sentinel());
    std::vector<float> rsq(std::size_t(c.M) + 2, Sentinel());
    rb::plain::MREGR(x.data(), pred.data(), c.JFIRST, c.M, c.L, c.n, c.J, rsq.data());

    const wv::Mat P{pred.data(), c.M};
    const int last = c.J + c.n - 1;
    for (int i = 1; i <= c.M; ++i) {
      for (int k = 1; k <= c.L; ++k) {
        const bool named = (c.J == c.JFIRST) ? (k >= c.J && k <= last) : (k == last);
        EXPECT_EQ(named, Bits(P(i, k)) != Bits(Sentinel()))
            << "M=" << c.M << " n=" << c.n << " cell (" << i << "," << k << ")";
      }
      EXPECT_NE(Bits(rsq[i - 1]), Bits(Sentinel())) << i;
    }
    EXPECT_EQ(Bits(rsq[c.M]), Bits(Sentinel()));
    for (std::size_t q = 0; q < x.size(); ++q) ASSERT_EQ(Bits(xBefore[q]), Bits(x[q]));
  }
}

TEST(Mregr, RegressorsStandInPositionOrder) {
  // Channel 3 of 5 is predicted from 2, 1, 4, 5, channel 1 from 2, 3, 4, 5.
  // Exchanging rows 1 and 3 of the data therefore exchanges the two regressions
  // exactly, bit for bit, although every sum rounds on the way.
  const int M = 5, L = 24, n = 20, J = 3;
  const std::vector<float> x = RandomData(M, L, 5u);
  std::vector<float> swapped = x;
  const wv::Mat S{swapped.data(), M};
  const wv::Mat Xv{const_cast<float*>(x.data()), M};
  for (int k = 1; k <= L; ++k) {
    S(1, k) = Xv(3, k);
    S(3, k) = Xv(1, k);
  }
  std::vector<float> p1(M * L, 0.0f), p2(M * L, 0.0f), r1(M), r2(M);
  rb::plain::MREGR(x.data(), p1.data(), J, M, L, n, J, r1.data());
  rb::plain::MREGR(swapped.data(), p2.data(), J, M, L, n, J, r2.data());
  const wv::Mat P1{p1.data(), M}, P2{p2.data(), M};
  for (int k = J; k < J + n; ++k) {
    EXPECT_EQ(Bits(P1(3, k)), Bits(P2(1, k))) << k;
    EXPECT_EQ(Bits(P1(1, k)), Bits(P2(3, k))) << k;
  }
  EXPECT_EQ(Bits(r1[2]), Bits(r2[0]));
  EXPECT_EQ(Bits(r1[0]), Bits(r2[2]));
}

TEST(Mregr, EverySearchMakesTwentyTwoEvaluations) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const int M = 4, L = 40, n = 32;
    const std::vector<float> x = RandomData(M, L, seed);
    std::vector<float> pred(M * L), rsq(M);
    rb::plain::SearchTrace trace;
    rb::plain::MREGR(x.data(), pred.data(), 1, M, L, n, 5, rsq.data(), &trace);
    EXPECT_EQ(trace.probes, 22 * trace.searches);
    EXPECT_GE(trace.searches, M);
    EXPECT_LE(trace.searches, 1001 * M);
  }
  // Non-finite data: the criteria are NaN, every comparison moves the lower
  // end, and the search still ends after its 21 passes; rel is NaN, no step.
  for (float bad : {std::nanf(""), INFINITY}) {
    const int M = 4, L = 30, n = 26;
    std::vector<float> x = RandomData(M, L, 8u);
    x[2 + 10 * M] = bad;
    std::vector<float> pred(M * L), rsq(M);
    rb::plain::SearchTrace trace;
    rb::plain::MREGR(x.data(), pred.data(), 3, M, L, n, 3, rsq.data(), &trace);
    EXPECT_EQ(trace.probes, 22 * trace.searches);
    EXPECT_EQ(trace.searches, M);
  }
}

TEST(Mregr, OutlierInTheTargetHardlyMovesTheFit) {
  // y = 2 u - v + tiny noise, with one gross outlier in y. Least squares on
  // the raw window is pulled far off; the robust fit stays on the relation.
  const int M = 3, L = 40, n = 40;
  std::mt19937 gen(3);
  std::normal_distribution<float> nd(0.0f, 1.0f);
  std::vector<float> x(M * L);
  const wv::Mat X{x.data(), M};
  for (int k = 1; k <= L; ++k) {
    X(2, k) = nd(gen);
    X(3, k) = nd(gen);
    X(1, k) = 2.0f * X(2, k) - X(3, k) + 0.01f * nd(gen);
  }
  const float clean7 = X(1, 7);
  X(1, 7) = clean7 + 60.0f;
  std::vector<float> pred(M * L), rsq(M);
  rb::plain::MREGR(x.data(), pred.data(), 1, M, L, n, 1, rsq.data());
  const wv::Mat P{pred.data(), M};

  double worst = 0.0;
  for (int k = 1; k <= L; ++k) {
    const double clean = (k == 7) ? clean7 : X(1, k);
    worst = std::fmax(worst, std::fabs(double(P(1, k)) - clean));
  }
  EXPECT_LT(worst, 0.1);
  EXPECT_GT(rsq[0], 0.99f);
}

}  // namespace
