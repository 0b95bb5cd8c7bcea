// Filter set-up, the periodic step, the pyramid and the Haar transform.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pwt.h"

namespace {

const int kOrders[] = {4, 6, 8, 10, 12, 14, 16, 18, 20, 108, 110, 112, 114, 116, 118, 120};

std::uint32_t Bits(float x) {
  std::uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

std::vector<float> RandomVector(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> v(static_cast<std::size_t>(n));
  for (float& x : v) x = dist(gen);
  return v;
}

// One filter step written from the description of the filter's position
// (pair j starts at 2j+1-NTAPS/2, wrapping modulo N), with the float storage
// after every term.
std::vector<float> ReferenceStep(const std::vector<float>& a, int idir) {
  const int n = static_cast<int>(a.size());
  const int ntaps = wv::WFILT.NTAPS;
  std::vector<float> w(a.size(), 0.0f);
  auto wrap = [n](int pos) { return ((pos - 1) % n + n) % n; };  // 1-based to 0-based
  for (int j = 1; j <= n / 2; ++j) {
    for (int k = 1; k <= ntaps; ++k) {
      const int pos = wrap(2 * j + 1 - ntaps / 2 + k - 1);
      const double lo = wv::WFILT.CLO[k - 1];
      const double hi = wv::WFILT.CHI[k - 1];
      if (idir >= 0) {
        w[j - 1] = float(w[j - 1] + lo * a[pos]);
        w[n / 2 + j - 1] = float(w[n / 2 + j - 1] + hi * a[pos]);
      } else {
        w[pos] = float(w[pos] + lo * a[j - 1]);
        w[pos] = float(w[pos] + hi * a[n / 2 + j - 1]);
      }
    }
  }
  return w;
}

TEST(Pwtset, SymletOrderIsLoweredAndCopied) {
  int order = 110;
  wv::PWTSET(order);
  EXPECT_EQ(order, 10);
  EXPECT_EQ(wv::WFILT.NTAPS, 10);
  EXPECT_EQ(wv::WFILT.LOOFF, -5);
  EXPECT_EQ(wv::WFILT.HIOFF, -5);
  int count = 0;
  const float* sym10 = wv::CoefficientTable(110, count);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(wv::WFILT.CLO[k], sym10[k]);
  EXPECT_EQ(wv::WFILT.CHI[9], -wv::WFILT.CLO[0]);
  EXPECT_EQ(wv::WFILT.CHI[0], wv::WFILT.CLO[9]);
}

TEST(Pwtset, Daub04HighPassFilter) {
  int order = 4;
  wv::PWTSET(order);
  EXPECT_EQ(order, 4);
  EXPECT_EQ(wv::WFILT.NTAPS, 4);
  EXPECT_EQ(wv::WFILT.LOOFF, -2);
  EXPECT_EQ(wv::WFILT.HIOFF, -2);
  const float chi[] = {-0.129409522f, -0.224143863f, 0.836516321f, -0.482962906f};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(wv::WFILT.CHI[k], chi[k]) << k;
}

TEST(Pwtset, EveryOrder) {
  for (int wavord : kOrders) {
    int order = wavord;
    wv::PWTSET(order);
    const int n = wavord % 100;
    EXPECT_EQ(order, n);
    EXPECT_EQ(wv::WFILT.NTAPS, n);
    EXPECT_EQ(wv::WFILT.LOOFF, -n / 2);
    EXPECT_EQ(wv::WFILT.HIOFF, -n / 2);
    int count = 0;
    const float* table = wv::CoefficientTable(wavord, count);
    for (int k = 1; k <= n; ++k) {
      EXPECT_EQ(Bits(wv::WFILT.CLO[k - 1]), Bits(table[k - 1])) << wavord;
      const float sign = (k % 2 == 1) ? -1.0f : 1.0f;
      EXPECT_EQ(Bits(wv::WFILT.CHI[n - k]), Bits(sign * table[k - 1])) << wavord << " k " << k;
    }
  }
}

TEST(Pwtset, NonPositiveOrderAnd100CopyNothing) {
  struct Case {
    int order, ntaps, off;
  };
  for (const Case c : {Case{0, 0, 0}, Case{100, 0, -50}, Case{-4, -4, 2}}) {
    int order = 4;
    wv::PWTSET(order);
    order = c.order;
    wv::PWTSET(order);
    EXPECT_EQ(order, c.order);
    EXPECT_EQ(wv::WFILT.NTAPS, c.ntaps);
    EXPECT_EQ(wv::WFILT.LOOFF, c.off);
    EXPECT_EQ(wv::WFILT.HIOFF, c.off);
    EXPECT_EQ(wv::WFILT.CLO[0], 0.482962906f);  // the earlier filter's entries stay
    std::vector<float> a{1, 2, 3, 4, 5, 6, 7, 8};
    wv::PWT(a.data(), 8, 1);
    for (float x : a) EXPECT_EQ(x, 0.0f);
  }
}

// Runs PWTSET in a child whose standard output goes to a pipe; returns what
// it wrote and its exit status.
std::string StopOutput(int order, int& status) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    int wavord = order;
    wv::PWTSET(wavord);
    _exit(99);  // PWTSET returned: no stop
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  ssize_t got;
  while ((got = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(got));
  close(fds[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return out;
}

TEST(Pwtset, OrderWithoutTableStops) {
  for (int order : {2, 7, 102, 22, 121}) {
    int status = -1;
    const std::string out = StopOutput(order, status);
    EXPECT_EQ(status, 0) << order;
    EXPECT_EQ(out, "unimplemented value " + std::to_string(order) + " in pwtset\n");
  }
}

TEST(Pwt, ForwardDaub04OnOneToEight) {
  int order = 4;
  wv::PWTSET(order);
  std::vector<float> a{1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<float> expected = ReferenceStep(a, 1);
  wv::PWT(a.data(), 8, 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Bits(a[i]), Bits(expected[i])) << i;
  const double approx[] = {2.310789, 5.139216, 7.967643, 10.0382, 0, 0, 0, -2.828427};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(a[i], approx[i], 1e-5) << i;
  for (int i = 4; i < 7; ++i) EXPECT_NEAR(a[i], 0.0, 1e-6) << i;
  EXPECT_NEAR(a[7], approx[7], 1e-5);
}

// Both directions against the reference step, bit for bit, for every filter;
// N = 4 makes the long filters wrap more than once.
TEST(Pwt, StepsMatchTheFilterPositions) {
  for (int wavord : kOrders) {
    int order = wavord;
    wv::PWTSET(order);
    for (int n : {4, 8, 32}) {
      for (int idir : {1, -1}) {
        std::vector<float> a = RandomVector(n, static_cast<unsigned>(wavord * 100 + n));
        const std::vector<float> expected = ReferenceStep(a, idir);
        wv::PWT(a.data(), n, idir);
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(Bits(a[i]), Bits(expected[i])) << wavord << " n " << n << " dir " << idir << " i " << i;
        }
      }
    }
  }
}

TEST(Pwt, ConstantVectorGivesScaledSmoothAndZeroDetails) {
  for (int wavord : kOrders) {
    int order = wavord;
    wv::PWTSET(order);
    const float c = 3.0f;
    std::vector<float> a(16, c);
    wv::PWT(a.data(), 16, 1);
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(a[i], c * std::sqrt(2.0), 4e-6) << wavord;
    for (int i = 8; i < 16; ++i) EXPECT_NEAR(a[i], 0.0, 4e-6) << wavord;
  }
}

TEST(Pwt, ShortVectorsUnchanged) {
  int order = 4;
  wv::PWTSET(order);
  for (int n : {0, 1, 2, 3}) {
    std::vector<float> a{1.5f, -2.0f, 3.25f};
    const std::vector<float> before = a;
    wv::PWT(a.data(), n, 1);
    wv::WT1(a.data(), n, -1);
    EXPECT_EQ(a, before) << n;
  }
}

TEST(Pwt, NoFilterYieldsZeros) {
  const wv::WaveletFilter saved = wv::WFILT;
  wv::WFILT = wv::WaveletFilter{};
  std::vector<float> a = RandomVector(16, 5);
  wv::PWT(a.data(), 16, 1);
  for (float x : a) EXPECT_EQ(x, 0.0f);
  wv::WFILT = saved;
}

TEST(Wt1, RoundTripAndEnergyForEveryFilter) {
  for (int wavord : kOrders) {
    int order = wavord;
    wv::PWTSET(order);
    const std::vector<float> input = RandomVector(256, static_cast<unsigned>(wavord));
    std::vector<float> a = input;
    wv::WT1(a.data(), 256, 1);
    double e_in = 0.0, e_out = 0.0;
    for (int i = 0; i < 256; ++i) {
      e_in += double(input[i]) * input[i];
      e_out += double(a[i]) * a[i];
    }
    EXPECT_NEAR(e_out, e_in, 1e-5 * e_in) << wavord;
    wv::WT1(a.data(), 256, -1);
    for (int i = 0; i < 256; ++i) ASSERT_NEAR(a[i], input[i], 2e-6) << wavord << " i " << i;
  }
}

// WT1 is exactly the sequence of steps on N, N/2, ..., 4 (forward) and
// 4, ..., N (inverse); with 20 taps the short steps wrap.
TEST(Wt1, PyramidOfSteps) {
  int order = 20;
  wv::PWTSET(order);
  const std::vector<float> input = RandomVector(64, 11);
  std::vector<float> a = input;
  std::vector<float> b = input;
  wv::WT1(a.data(), 64, 1);
  for (int m : {64, 32, 16, 8, 4}) wv::PWT(b.data(), m, 1);
  EXPECT_EQ(a, b);
  wv::WT1(a.data(), 64, -1);
  for (int m : {4, 8, 16, 32, 64}) wv::PWT(b.data(), m, -1);
  EXPECT_EQ(a, b);
}

TEST(Haar, OneToFourBitForBit) {
  std::vector<float> a{1, 2, 3, 4};
  wv::HAAR(a.data(), 4, 1);
  EXPECT_EQ(Bits(a[0]), Bits(5.00000048f));
  EXPECT_NE(a[0], 5.0f);
  EXPECT_EQ(a[1], 2.0f);
  EXPECT_EQ(Bits(a[2]), Bits(0.707106769f));
  EXPECT_EQ(Bits(a[3]), Bits(0.707106769f));
}

TEST(Haar, TwoValues) {
  const float r = 1.41421354f;
  std::vector<float> a{0.3f, 1.7f};
  wv::HAAR(a.data(), 2, 1);
  EXPECT_EQ(Bits(a[0]), Bits(float((double(0.3f) + double(1.7f)) / r)));
  EXPECT_EQ(Bits(a[1]), Bits(float((double(1.7f) - double(0.3f)) / r)));
}

// Haar layout: position 1 the smooth value, 2 the coarsest detail, then the
// details of each level, finest last; checked with sums that are exact.
TEST(Haar, PyramidLayout) {
  std::vector<float> a{1, 1, 1, 1, 3, 3, 5, 7};
  wv::HAAR(a.data(), 8, 1);
  const double r = 1.41421354f;
  EXPECT_NEAR(a[0], 22 / (r * r * r), 1e-6);
  EXPECT_NEAR(a[1], 14 / (r * r * r), 1e-6);
  EXPECT_NEAR(a[2], 0.0, 1e-6);
  EXPECT_NEAR(a[3], 6 / (r * r), 1e-6);
  for (int i = 4; i < 7; ++i) EXPECT_EQ(a[i], 0.0f);
  EXPECT_NEAR(a[7], 2 / r, 1e-6);
}

TEST(Haar, RoundTripAndEnergy) {
  for (int n : {2, 4, 64, 1024}) {
    const std::vector<float> input = RandomVector(n, static_cast<unsigned>(n));
    std::vector<float> a = input;
    wv::HAAR(a.data(), n, 1);
    double e_in = 0.0, e_out = 0.0;
    for (int i = 0; i < n; ++i) {
      e_in += double(input[i]) * input[i];
      e_out += double(a[i]) * a[i];
    }
    EXPECT_NEAR(e_out, e_in, 1e-5 * e_in) << n;
    wv::HAAR(a.data(), n, -1);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], input[i], 2e-6) << n << " i " << i;
  }
}

TEST(Haar, OtherDirectionsAndLengthsWithoutLevelCountUnchanged) {
  const std::vector<float> input{1, 2, 3, 4, 5, 6, 7};
  for (int idir : {0, 2, -2}) {
    std::vector<float> a = input;
    wv::HAAR(a.data(), 4, idir);
    EXPECT_EQ(a, input) << idir;
  }
  for (int n : {0, 1, 3, 6, 7}) {
    std::vector<float> a = input;
    wv::HAAR(a.data(), n, 1);
    EXPECT_EQ(a, input) << n;
  }
}

}  // namespace
