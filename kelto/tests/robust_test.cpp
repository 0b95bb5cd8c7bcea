// Robust estimators and the heapsort beneath them, in their plain form; the
// fast forms are held to the plain ones bit for bit in fast_vs_plain_test.cpp.
#include "robust_plain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t Bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// Element-wise bit equality, so that NaNs and signed zeros are compared too.
void ExpectSameBits(const std::vector<float>& want, const std::vector<float>& got) {
  ASSERT_EQ(want.size(), got.size());
  for (std::size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(Bits(want[i]), Bits(got[i])) << "element " << i + 1 << ": want " << want[i]
                                           << ", got " << got[i];
}

std::string Sig7(float f) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", double(f));
  return buf;
}

TEST(Vinzor, ValueOnTheThreeSigmaBoundStays) {
  // Mean 10, population sd 30: hi is exactly 100.
  std::vector<float> x(10, 0.0f);
  x[6] = 100.0f;
  const std::vector<float> before = x;
  rb::plain::VINZOR(10, x.data());
  ExpectSameBits(before, x);
}

TEST(Vinzor, OutlierIsClippedInEveryOneOfTwentyPasses) {
  // First pass clips 110 to 10 + 3*sqrt(1000); the population divisor and the
  // twenty passes lead to 42.30834. A sample divisor or an early stop would not.
  std::vector<float> x(11, 0.0f);
  x[3] = 110.0f;
  rb::plain::VINZOR(11, x.data());
  EXPECT_EQ(Sig7(x[3]), "42.30834");
  for (int i = 0; i < 11; ++i) {
    if (i != 3) {
      EXPECT_EQ(Bits(x[i]), Bits(0.0f)) << i;
    }
  }
}

TEST(Vinzor, ConstantDataAndNaNMeanLeaveTheVectorUnchanged) {
  std::vector<float> c(7, 3.7f);
  rb::plain::VINZOR(7, c.data());
  ExpectSameBits(std::vector<float>(7, 3.7f), c);

  // A NaN makes the mean NaN: no bound, nothing clipped, the NaN stays.
  std::vector<float> n = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1000.0f, kNaN};
  const std::vector<float> before = n;
  rb::plain::VINZOR(int(n.size()), n.data());
  ExpectSameBits(before, n);
}

TEST(Amo, MedianAbsoluteDeviationWithoutFactor) {
  struct Case {
    std::vector<float> x;
    float want;
  };
  const Case cases[] = {
      {{1, 2, 3, 4, 100}, 1.0f},
      {{4, 100, 1, 3, 2}, 1.0f},
      {{1, 2, 3, 4}, 1.0f},  // median 2.5, deviations 1.5, 0.5, 0.5, 1.5
      {{7.5f}, 0.0f},
      {{5, 5, 5, 1, 9}, 0.0f},
      // The even median 1 + 2^-24 is kept in double: deviations 2^-24, 2^-24,
      // 1 and 4 give 0.5. A median rounded to float would give 0.5 + 2^-24.
      {{0.0f, 1.0f, 1.0f + 0x1p-23f, 5.0f}, 0.5f},
  };
  for (const Case& c : cases) {
    const std::vector<float> before = c.x;
    EXPECT_EQ(Bits(rb::plain::AMO(int(c.x.size()), c.x.data())), Bits(c.want)) << Sig7(c.x[0]);
    ExpectSameBits(before, c.x);  // input keeps its order
  }
}

TEST(RobCorrCoeff, SignAndDegenerateCases) {
  const std::vector<float> x = {0.5f, -1.25f, 3.0f, 2.0f, -0.75f, 4.5f, 1.0f};
  std::vector<float> neg(x.size()), scaled(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    neg[i] = -x[i];
    scaled[i] = 2.5f * x[i];
  }
  const int n = int(x.size());
  float r = 9.0f;
  rb::plain::ROBCORRCOEFF(n, x.data(), x.data(), r);
  EXPECT_EQ(r, 1.0f);
  rb::plain::ROBCORRCOEFF(n, x.data(), neg.data(), r);
  EXPECT_EQ(r, -1.0f);
  rb::plain::ROBCORRCOEFF(n, x.data(), scaled.data(), r);
  EXPECT_EQ(r, 1.0f);

  // More than half the values equal: zero scale of X, R = 0.
  const std::vector<float> flat = {2, 2, 2, 2, 9, -3, 5};
  r = 9.0f;
  rb::plain::ROBCORRCOEFF(n, flat.data(), x.data(), r);
  EXPECT_EQ(Bits(r), Bits(0.0f));
  r = 9.0f;
  rb::plain::ROBCORRCOEFF(n, x.data(), flat.data(), r);
  EXPECT_EQ(Bits(r), Bits(0.0f));
}

TEST(RobCorrCoeff, ScalesAreDeviationsOfTheSquaredValues) {
  // sx = 1, sy = 2; U = (36, 1, 4, 25, 1) has AMO 3, V = (4, 9, 0, 1, 1) has
  // AMO 1, so R = (3 - 1) / (3 + 1). Squared deviations of the sums and
  // differences would give 0.8 instead.
  const std::vector<float> x = {4, 1, 1, 3, 0};
  const std::vector<float> y = {4, -4, 2, 4, -2};
  float r = 0.0f;
  rb::plain::ROBCORRCOEFF(5, x.data(), y.data(), r);
  EXPECT_EQ(r, 0.5f);
  rb::plain::ROBCORRCOEFF(5, y.data(), x.data(), r);
  EXPECT_EQ(r, 0.5f);
}

TEST(Treeup, SortsAscendingWithTheHeapTieRules) {
  struct Case {
    std::vector<float> in, out;
  };
  const Case cases[] = {
      {{3, 1, 2}, {1, 2, 3}},
      {{2, 2, 1}, {1, 2, 2}},
      {{-4.5f}, {-4.5f}},
      // Ties keep their places in the heap: signed zeros show where each went.
      {{-0.0f, 0.0f, -0.0f}, {0.0f, -0.0f, -0.0f}},
      {{0.0f, -0.0f, 0.0f, -0.0f, 1.0f}, {0.0f, 0.0f, -0.0f, -0.0f, 1.0f}},
      // An unordered pair climbs in UP and sinks in DOWN; the right child is
      // taken only when strictly greater.
      {{kNaN, 1, 2}, {1, kNaN, 2}},
      {{1, 2, kNaN}, {1, 2, kNaN}},
      {{3, kNaN, 1, 2}, {kNaN, 2, 3, 1}},
      {{5, 4, kNaN, 3, 2, 1}, {1, 2, 3, 4, 5, kNaN}},
      {{2, kNaN, 1, 3, 0}, {kNaN, 0, 2, 1, 3}},
  };
  for (const Case& c : cases) {
    std::vector<float> a = c.in;
    rb::plain::TREEUP(a.data(), int(a.size()));
    ExpectSameBits(c.out, a);
  }
}

TEST(Treeup, MatchesAFullSortOnRandomData) {
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> val(-20, 20);  // many repeated values
  for (int n : {2, 3, 8, 31, 64, 257}) {
    std::vector<float> a(n);
    for (float& v : a) v = float(val(gen)) * 0.25f;
    std::vector<float> want = a;
    std::sort(want.begin(), want.end());
    rb::plain::TREEUP(a.data(), n);
    EXPECT_EQ(want, a) << "n = " << n;
  }
}

TEST(HeapPrimitives, UpAndDownMoveOneElement) {
  // UP lifts element K along its parents while it is greater.
  std::vector<float> h = {9, 5, 8, 1, 2, 7, 6, 4};
  rb::plain::UP(h.data(), 8);  // 4 > parent 1 (pos 4), 4 < 5 (pos 2): stops at 4
  EXPECT_EQ((std::vector<float>{9, 5, 8, 4, 2, 7, 6, 1}), h);
  // DOWN sinks the root within the first M elements only.
  std::vector<float> d = {0, 5, 8, 1, 2, 7, 6, 100};
  rb::plain::DOWN(d.data(), 7);
  EXPECT_EQ((std::vector<float>{8, 5, 7, 1, 2, 0, 6, 100}), d);
  std::vector<float> one = {0, 5};
  rb::plain::DOWN(one.data(), 1);
  EXPECT_EQ((std::vector<float>{0, 5}), one);

  float a = kNaN, b = -0.0f;
  rb::plain::SWAP(a, b);
  EXPECT_EQ(Bits(a), Bits(-0.0f));
  EXPECT_TRUE(std::isnan(b));
}

}  // namespace
