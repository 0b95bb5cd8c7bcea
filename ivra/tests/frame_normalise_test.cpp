// Adaptive normalisation, forward transforms and the clearing step on small
// hand-computed cases.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "frame.h"
#include "frame_capture.h"
#include "matrix.h"
#include "pwt.h"

namespace {

struct Phase {
  agg::RunParams run;
  std::vector<float> SerCoef, AggCoef, NormWork, Cleared;
  std::string out;
};

// rows: the samples of each series (Leng of them); the tail up to Nfour is
// filled with junk that the phases must ignore.
Phase RunPhase(const std::vector<std::vector<float>>& rows, int Nfour, int Lwin, int Idiff,
               int WAVORD) {
  Phase ph;
  ph.run.Nser = static_cast<int>(rows.size());
  ph.run.Leng = static_cast<int>(rows[0].size());
  ph.run.Nfour = Nfour;
  ph.run.Lwin = Lwin;
  ph.run.Idiff = Idiff;
  ph.run.WAVORD = WAVORD;
  ph.SerCoef.assign(static_cast<std::size_t>(ph.run.Nser) * Nfour, 0.0f);
  const wv::Mat S{ph.SerCoef.data(), ph.run.Nser};
  for (int i = 1; i <= ph.run.Nser; ++i)
    for (int k = 1; k <= ph.run.Leng; ++k) S(i, k) = rows[i - 1][k - 1];
  ph.AggCoef.assign(Nfour, 99.0f);
  ph.NormWork.assign(Nfour, 99.0f);
  ph.Cleared.assign(ph.SerCoef.size(), 99.0f);
  ph.out = agg_test::CaptureStdout([&] {
    agg::NormaliseAndTransform(ph.run, ph.SerCoef.data(), ph.AggCoef.data(), ph.NormWork.data(),
                               ph.Cleared.data());
  });
  return ph;
}

float Q(double x, double range) { return float(x / range); }

// The forward Haar transform of a normalised row padded with zeros.
std::vector<float> HaarOf(std::vector<float> v, int Nfour) {
  v.resize(Nfour, 0.0f);
  wv::HAAR(v.data(), Nfour, 1);
  return v;
}

void ExpectRow(const Phase& ph, int i, const std::vector<float>& expected) {
  const wv::Mat S{const_cast<float*>(ph.SerCoef.data()), ph.run.Nser};
  for (int k = 1; k <= ph.run.Nfour; ++k)
    EXPECT_EQ(S(i, k), expected[k - 1]) << "series " << i << " k " << k;
}

const std::vector<float> kWiggly = {1, 3, 2, 5, 4, 0, 6, 2, 2, 8, 1, 1};
const std::vector<float> kRising = {0, 1, 3, 6, 10, 15, 21, 28, 36, 45, 55, 66};
const std::vector<float> kFalling = {9, 7, 8, 3, 3, 1, 2, 0, 4, 1, 2, 5};

TEST(NormaliseAndTransform, SlidingRangeOfFiveSamples) {
  const Phase ph = RunPhase({kWiggly, kRising, kFalling}, 16, 5, 0, 2);
  // Series 1: 1..5 by the range 4 of the first window, then sample k by the
  // range of k-4..k: 5, 6, 6, 6, 8, 7, 7.
  const std::vector<float> norm1 = {Q(1, 4), Q(3, 4), Q(2, 4), Q(5, 4), Q(4, 4), Q(0, 5),
                                    Q(6, 6), Q(2, 6), Q(2, 6), Q(8, 8), Q(1, 7), Q(1, 7)};
  ExpectRow(ph, 1, HaarOf(norm1, 16));
  // Series 2 rises: the range ending at k is x(k) - x(k-4).
  std::vector<float> norm2;
  for (int k = 1; k <= 12; ++k) {
    const double x = kRising[k - 1];
    norm2.push_back(k <= 5 ? Q(x, 10) : Q(x, x - kRising[k - 5]));
  }
  ExpectRow(ph, 2, HaarOf(norm2, 16));

  for (float v : ph.Cleared) ASSERT_EQ(v, 0.0f);
  for (float v : ph.AggCoef) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(ph.out,
            "+Transformation for series # 1\n+Transformation for series # 2\n"
            "+Transformation for series # 3\n  \n"
            "+Direct FWT for series # 1\n+Direct FWT for series # 2\n+Direct FWT for series # 3\n"
            "  \n");
}

TEST(NormaliseAndTransform, DifferencesEndInAZeroThatTakesPartInTheRange) {
  // One window over the whole series. The differences of the rising series
  // are 1..11 and the zero of sample 12, so the range is 11, not 10.
  const Phase ph = RunPhase({kWiggly, kRising, kFalling}, 16, 12, 1, 2);
  std::vector<float> norm2;
  for (int k = 1; k <= 11; ++k) norm2.push_back(Q(k, 11));
  norm2.push_back(0.0f);
  ExpectRow(ph, 2, HaarOf(norm2, 16));
  // Series 1: differences 2 -1 3 -1 -4 6 -4 0 6 -7 0 0, range 13.
  const std::vector<double> d1 = {2, -1, 3, -1, -4, 6, -4, 0, 6, -7, 0, 0};
  std::vector<float> norm1;
  for (double d : d1) norm1.push_back(Q(d, 13));
  ExpectRow(ph, 1, HaarOf(norm1, 16));
  // No blank line before the level loop when the window is the whole series.
  EXPECT_EQ(ph.out.substr(ph.out.size() - 28), "\n+Direct FWT for series # 3\n");
}

TEST(NormaliseAndTransform, WindowOneShortOfTheSeriesUsesTwoRanges) {
  const Phase ph = RunPhase({kWiggly, kRising, kFalling}, 16, 11, 0, 2);
  // Series 3: samples 1..11 by the range 9 - 0 of 1..11; sample 12 by the
  // range 8 - 0 of 2..12.
  std::vector<float> norm3;
  for (int k = 1; k <= 11; ++k) norm3.push_back(Q(kFalling[k - 1], 9));
  norm3.push_back(Q(5, 8));
  ExpectRow(ph, 3, HaarOf(norm3, 16));
}

TEST(NormaliseAndTransform, DaubechiesOrdersUseTheFilterTransform) {
  int order = 4;
  wv::PWTSET(order);
  const Phase ph = RunPhase({kWiggly, kRising, kFalling}, 16, 12, 0, 4);
  std::vector<float> norm1;
  for (float x : kWiggly) norm1.push_back(Q(x, 8));
  norm1.resize(16, 0.0f);
  wv::WT1(norm1.data(), 16, 1);
  ExpectRow(ph, 1, norm1);
}

TEST(NormaliseAndTransform, ConstantSeriesGivesInfinitiesAndNaNs) {
  const std::vector<float> flat(12, 2.0f);
  std::vector<float> withZero(12, 0.0f);
  const Phase ph = RunPhase({flat, kRising, withZero}, 16, 12, 0, 2);
  const wv::Mat S{const_cast<float*>(ph.SerCoef.data()), 3};
  EXPECT_TRUE(std::isinf(S(1, 3)) || std::isnan(S(1, 3)));
  EXPECT_TRUE(std::isnan(S(3, 1)));
  EXPECT_TRUE(std::isfinite(S(2, 1)));
}

TEST(NormaliseAndTransform, SeriesNumbersFromOneHundredShowAsAsterisks) {
  std::vector<std::vector<float>> rows(100, std::vector<float>{1, 2, 3, 4});
  const Phase ph = RunPhase(rows, 4, 4, 0, 2);
  EXPECT_NE(ph.out.find("+Transformation for series #99\n+Transformation for series #**\n  \n"),
            std::string::npos);
  EXPECT_NE(ph.out.find("+Direct FWT for series # 9\n+Direct FWT for series #10\n"), std::string::npos);
  EXPECT_EQ(ph.out.substr(ph.out.size() - 28), "\n+Direct FWT for series #**\n");
}

}  // namespace
