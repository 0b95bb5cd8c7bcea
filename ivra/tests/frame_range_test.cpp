// The O(Leng) sliding range against the window scan, bit for bit, on data made
// to catch a wrong window edge or a wrong extreme: repeated values, zeros of
// both signs, infinities, long monotone runs and every window length.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "frame.h"

namespace {

bool SameBits(float a, float b) {
  if (std::isnan(a) && std::isnan(b)) return true;  // every NaN prints alike
  std::uint32_t x, y;
  std::memcpy(&x, &a, 4);
  std::memcpy(&y, &b, 4);
  return x == y;
}

std::vector<float> MakeSeries(std::mt19937& gen, int Leng, int kind) {
  const float inf = std::numeric_limits<float>::infinity();
  const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, 2.5f, 3e38f, -3e38f, 1e-45f, inf, -inf, 7.0f};
  std::uniform_int_distribution<int> pick(0, 10);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::vector<float> x(static_cast<std::size_t>(Leng));
  for (int k = 0; k < Leng; ++k) {
    switch (kind) {
      case 0: x[k] = normal(gen); break;
      case 1: x[k] = pool[pick(gen) % 4]; break;        // zeros and ones: many ties
      case 2: x[k] = pool[pick(gen)]; break;            // extremes and infinities
      case 3: x[k] = float(k % 17) - float(k % 5); break;  // saw teeth
      default: x[k] = float(Leng - k); break;           // monotone: the queue empties
    }
  }
  return x;
}

TEST(SlidingRange, FastFormEqualsTheWindowScan) {
  std::mt19937 gen(20261210);
  int cases = 0;
  for (int Leng : {1, 2, 3, 7, 64, 129, 300}) {
    for (int kind = 0; kind <= 4; ++kind) {
      const std::vector<float> work = MakeSeries(gen, Leng, kind);
      for (int Lwin = 1; Lwin <= Leng; Lwin += (Leng > 70 ? 13 : 1)) {
        std::vector<float> plain(work.size() + 4, 5.0f), fast(work.size() + 4, 5.0f);
        agg::DivideBySlidingRange(Leng, Lwin, plain.data(), work.data());
        agg::DivideBySlidingRangeFast(Leng, Lwin, fast.data(), work.data());
        for (std::size_t k = 0; k < plain.size(); ++k) {
          ASSERT_TRUE(SameBits(plain[k], fast[k]))
              << "Leng " << Leng << " Lwin " << Lwin << " kind " << kind << " k " << k + 1
              << ": " << plain[k] << " vs " << fast[k];
        }
        ++cases;
      }
    }
  }
  EXPECT_GT(cases, 0);
}

TEST(SlidingRange, NaNDataTakeTheScanWhoseResultDependsOnWhereTheNaNStands) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // The scan starts each window at its first value: a NaN there makes the
  // range NaN, a NaN further in is passed over.
  const std::vector<float> work = {nan, 1.0f, 3.0f, 2.0f, 6.0f};
  std::vector<float> plain(5), fast(5);
  agg::DivideBySlidingRange(5, 2, plain.data(), work.data());
  agg::DivideBySlidingRangeFast(5, 2, fast.data(), work.data());
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(SameBits(plain[k], fast[k])) << k;
  EXPECT_TRUE(std::isnan(fast[0]));
  EXPECT_EQ(fast[2], 3.0f / 2.0f);  // window (1, 3)
}

}  // namespace
