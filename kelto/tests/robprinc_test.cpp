// Robust principal direction of a window, in its plain form; the fast form is
// held to it bit for bit in fast_vs_plain_test.cpp.
#include "robprinc_plain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "matrix.h"
#include "rsvd.h"

namespace {

std::uint32_t Bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

double Norm(const std::vector<float>& y, int M) {
  double s = 0.0;
  for (int i = 0; i < M; ++i) s += double(y[i]) * double(y[i]);
  return std::sqrt(s);
}

TEST(Robprinc, UnitResultWrittenOnlyIntoYAndDataKept) {
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    const int M = 4, L = 30, I1 = 5, I2 = 24, N = I2 - I1 + 1;
    std::mt19937 gen(seed);
    std::normal_distribution<float> nd(0.0f, 1.0f);
    std::vector<float> x(M * L);
    for (float& v : x) v = nd(gen);
    const std::vector<float> before = x;
    std::vector<float> y(M + 3, 77.0f);
    rb::plain::SearchTrace trace;
    rb::plain::ROBPRINC(x.data(), M, L, I1, I2, N, y.data(), &trace);

    EXPECT_NEAR(Norm(y, M), 1.0, 1e-6);
    for (int i = M; i < M + 3; ++i) EXPECT_EQ(y[i], 77.0f);
    for (std::size_t q = 0; q < x.size(); ++q) ASSERT_EQ(Bits(before[q]), Bits(x[q]));
    // Every line search over a finite bracket: 16 passes, 17 probes.
    EXPECT_GE(trace.searches, 1);
    EXPECT_LE(trace.searches, 1001);
    EXPECT_EQ(trace.probes, 17 * trace.searches);
  }
}

TEST(Robprinc, ZeroTangentReturnsTheSingularVector) {
  // Only channel 1 is non-zero: the start is +-e1, the gradient is parallel to
  // it and its tangent part is exactly zero. No search can be made; the result
  // is the start vector with the sign RSVD gave it.
  const int M = 4, L = 10, I1 = 2, I2 = 9, N = I2 - I1 + 1;
  std::vector<float> x(M * L, 0.0f);
  const wv::Mat X{x.data(), M};
  const float row[] = {0.5f, -1.0f, 2.0f, 0.25f, -0.75f, 1.5f, -2.0f, 1.0f, 3.0f, -0.5f};
  for (int k = 1; k <= L; ++k) X(1, k) = row[k - 1];

  // The start as the routine forms it: no value of 8 is clipped at 3 sigma.
  std::vector<float> a(M * M, 0.0f), s(M), u(M * M), v(M * M);
  double s11 = 0.0;
  for (int k = I1; k <= I2; ++k) s11 += double(X(1, k)) * double(X(1, k));
  a[0] = float(s11 / N);
  wv::RSVD(a.data(), M, M, M, M, 0, M, M, s.data(), u.data(), v.data());

  std::vector<float> y(M, 9.0f);
  rb::plain::SearchTrace trace;
  rb::plain::ROBPRINC(x.data(), M, L, I1, I2, N, y.data(), &trace);
  EXPECT_EQ(trace.searches, 0);
  for (int i = 0; i < M; ++i) EXPECT_EQ(Bits(u[i]), Bits(y[i])) << i;
  EXPECT_EQ(std::fabs(y[0]), 1.0f);
}

TEST(Robprinc, AllZeroWindowGivesAUnitVectorAtOnce) {
  const int M = 5, L = 12, I1 = 3, I2 = 12, N = I2 - I1 + 1;
  std::vector<float> x(M * L, 0.0f);
  for (int i = 0; i < M * 2; ++i) x[i] = 4.0f;  // columns outside the window
  std::vector<float> y(M, 9.0f);
  rb::plain::SearchTrace trace;
  rb::plain::ROBPRINC(x.data(), M, L, I1, I2, N, y.data(), &trace);
  EXPECT_EQ(trace.searches, 0);
  for (int i = 0; i < M; ++i) EXPECT_TRUE(std::isfinite(y[i])) << i;
  EXPECT_NEAR(Norm(y, M), 1.0, 1e-6);
}

TEST(Robprinc, FindsTheDominantDirectionOfNoisyData) {
  // Columns c_k * v plus small noise in every channel, with a few large c_k
  // that the start clips but the climb sees in full.
  const int M = 3, L = 60, I1 = 1, I2 = 60, N = 60;
  const double v[3] = {0.6, 0.0, -0.8};
  std::mt19937 gen(9);
  std::normal_distribution<float> nd(0.0f, 1.0f);
  std::vector<float> x(M * L);
  const wv::Mat X{x.data(), M};
  for (int k = 1; k <= L; ++k) {
    const float c = (k % 17 == 0) ? 12.0f : nd(gen);
    for (int i = 1; i <= M; ++i) X(i, k) = float(c * v[i - 1]) + 0.05f * nd(gen);
  }
  std::vector<float> y(M);
  rb::plain::ROBPRINC(x.data(), M, L, I1, I2, N, y.data());
  double dot = 0.0;
  for (int i = 0; i < M; ++i) dot += y[i] * v[i];
  EXPECT_GT(std::fabs(dot), 0.999);
}

TEST(Robprinc, NonFiniteWindowEndsWithoutASearch) {
  // A NaN or an infinity reaches the start matrix; no finite bracket exists
  // and the routine must come back instead of searching forever.
  for (float bad : {std::nanf(""), INFINITY, -INFINITY}) {
    const int M = 4, L = 30, I1 = 3, I2 = 28, N = 26;
    std::mt19937 gen(1);
    std::normal_distribution<float> nd(0.0f, 1.0f);
    std::vector<float> x(M * L);
    for (float& v : x) v = nd(gen);
    x[2 + 10 * M] = bad;
    std::vector<float> y(M);
    rb::plain::SearchTrace trace;
    rb::plain::ROBPRINC(x.data(), M, L, I1, I2, N, y.data(), &trace);
    EXPECT_EQ(trace.searches, 0) << bad;
  }
}

}  // namespace
