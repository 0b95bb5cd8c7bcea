// The stored filter tables: the published end entries fix orientation and sign,
// and each table must be an orthonormal scaling filter (sum sqrt(2), unit
// energy, orthogonal to its even shifts) to single precision.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pwt.h"

namespace {

const int kOrders[] = {4, 6, 8, 10, 12, 14, 16, 18, 20, 108, 110, 112, 114, 116, 118, 120};

std::vector<double> Table(int order) {
  int count = 0;
  const float* t = wv::CoefficientTable(order, count);
  EXPECT_NE(t, nullptr) << order;
  if (t == nullptr) return {};
  return std::vector<double>(t, t + count);
}

TEST(CoefficientTables, EndEntriesOfDaubechiesTables) {
  struct Case {
    int order;
    float first, last;
  };
  const Case cases[] = {
      {4, 0.482962906f, -0.129409522f},      {6, 0.33267054f, 0.0352262929f},
      {8, 0.230377808f, -0.0105974022f},     {10, 0.160102397f, 0.00333572528f},
      {12, 0.111540742f, -0.0010773011f},    {14, 0.0778520554f, 0.000353713811f},
      {16, 0.0544158407f, -0.000117476782f}, {18, 0.0380779468f, 3.93473201e-05f},
      {20, 0.0266700573f, -1.32642026e-05f},
  };
  for (const Case& c : cases) {
    int count = 0;
    const float* t = wv::CoefficientTable(c.order, count);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(count, c.order);
    EXPECT_EQ(t[0], c.first) << c.order;
    EXPECT_EQ(t[count - 1], c.last) << c.order;
  }
  int count = 0;
  const float* d4 = wv::CoefficientTable(4, count);
  const float expected[] = {0.482962906f, 0.836516321f, 0.224143863f, -0.129409522f};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(d4[k], expected[k]);
}

TEST(CoefficientTables, SymletTablesAsPublished) {
  int count = 0;
  const float* s10 = wv::CoefficientTable(110, count);
  ASSERT_EQ(count, 10);
  const float expected[] = {0.0195388831f, -0.0211018343f, -0.175328091f, 0.0166021064f,
                            0.633978963f,  0.723407686f,   0.199397534f,  -0.0391342491f,
                            0.0295194909f, 0.0273330677f};
  for (int k = 0; k < 10; ++k) EXPECT_EQ(s10[k], expected[k]) << k;
  const float* s20 = wv::CoefficientTable(120, count);
  ASSERT_EQ(count, 20);
  EXPECT_EQ(s20[0], -0.000459329429f);
  EXPECT_EQ(s20[10], 0.769510031f);
  EXPECT_EQ(s20[19], 0.000770159822f);
}

TEST(CoefficientTables, OrthonormalScalingFilters) {
  for (int order : kOrders) {
    const std::vector<double> h = Table(order);
    const int n = static_cast<int>(h.size());
    ASSERT_EQ(n, order % 100) << order;
    double sum = 0.0;
    for (double x : h) sum += x;
    EXPECT_NEAR(sum, std::sqrt(2.0), 1e-6) << order;
    for (int shift = 0; shift < n; shift += 2) {
      double dot = 0.0;
      for (int i = 0; i + shift < n; ++i) dot += h[i] * h[i + shift];
      EXPECT_NEAR(dot, shift == 0 ? 1.0 : 0.0, 1e-6) << order << " shift " << shift;
    }
  }
}

// A symlet is another factorisation of the Daubechies product filter of the
// same length: both have the same autocorrelation.
TEST(CoefficientTables, SymletsShareTheDaubechiesProductFilter) {
  for (int n = 8; n <= 20; n += 2) {
    const std::vector<double> d = Table(n);
    const std::vector<double> s = Table(100 + n);
    for (int lag = 1; lag < n; lag += 2) {
      double ad = 0.0, as = 0.0;
      for (int i = 0; i + lag < n; ++i) {
        ad += d[i] * d[i + lag];
        as += s[i] * s[i + lag];
      }
      EXPECT_NEAR(ad, as, 1e-6) << n << " lag " << lag;
    }
  }
}

// Minimum phase: the partial energies of an extremal-phase filter are the
// largest of all filters with the same autocorrelation, so they dominate the
// symlet's of the same length at every index.
TEST(CoefficientTables, DaubechiesEnergyConcentratedAtTheStart) {
  for (int n = 8; n <= 20; n += 2) {
    const std::vector<double> d = Table(n);
    const std::vector<double> s = Table(100 + n);
    double ed = 0.0, es = 0.0;
    for (int i = 0; i < n - 1; ++i) {
      ed += d[i] * d[i];
      es += s[i] * s[i];
      EXPECT_GE(ed, es - 1e-6) << n << " index " << i;
    }
  }
}

TEST(CoefficientTables, NoTableForOtherOrders) {
  for (int order : {0, 2, 3, 7, 22, 100, 102, 104, 106, 107, 122, -4}) {
    int count = -1;
    EXPECT_EQ(wv::CoefficientTable(order, count), nullptr) << order;
    EXPECT_EQ(count, 0);
  }
}

}  // namespace
