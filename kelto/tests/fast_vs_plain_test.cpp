// The fast robust routines against their plain forms, bit for bit, on
// thousands of random windows: 3 to 12 channels, 9 to 1024 positions, with
// outliers, exact relations, zero and constant channels, heavy ties, and
// some NaN and infinities. Each routine runs on every instruction set this
// processor has, with one workspace per set reused across all windows of all
// sizes, as the program reuses it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "klanes.h"
#include "mregr.h"
#include "mregr_plain.h"
#include "robprinc.h"
#include "robprinc_plain.h"
#include "robust.h"
#include "robust_plain.h"
#include "workspace.h"

namespace {

std::uint32_t Bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// Same bits, or both NaN: the output prints every NaN alike, and which of two
// NaN operands an instruction passes on is not part of any result.
bool Same(float a, float b) { return Bits(a) == Bits(b) || (std::isnan(a) && std::isnan(b)); }

std::vector<rb::Isa> Isas() {
  std::vector<rb::Isa> isas = {rb::Isa::Baseline};
  if (rb::BestIsa() == rb::Isa::Avx2) isas.push_back(rb::Isa::Avx2);
  return isas;
}

const char* Name(rb::Isa isa) { return isa == rb::Isa::Avx2 ? "avx2" : "baseline"; }

enum class Kind { Normal, Outliers, HeavyTails, ExactRelation, ZeroChannel, Constant, Ties,
                  NonFinite, Count };

const char* KindName(Kind k) {
  static const char* names[] = {"normal", "outliers", "heavy tails", "exact relation",
                                "zero channel", "constant", "ties", "non-finite"};
  return names[int(k)];
}

struct Case {
  int M, L, n, J, JFIRST;
  Kind kind;
  std::vector<float> x;  // M by L, column-major
  std::string Describe() const {
    return std::string(KindName(kind)) + " M=" + std::to_string(M) + " n=" + std::to_string(n) +
           " J=" + std::to_string(J) + " JFIRST=" + std::to_string(JFIRST);
  }
};

// Window lengths 9..1024, most of them short so that the plain forms stay
// quick, a few long.
int RandomLength(std::mt19937& gen) {
  std::uniform_real_distribution<double> u(std::log(9.0), std::log(1025.0));
  const int n = int(std::exp(u(gen)));
  return n < 9 ? 9 : (n > 1024 ? 1024 : n);
}

Case RandomCase(std::mt19937& gen, Kind kind) {
  Case c;
  c.kind = kind;
  c.M = std::uniform_int_distribution<int>(3, 12)(gen);
  c.n = RandomLength(gen);
  const int before = std::uniform_int_distribution<int>(0, 5)(gen);
  const int after = std::uniform_int_distribution<int>(0, 5)(gen);
  c.L = before + c.n + after;
  c.J = before + 1;
  // The first window of a level writes all its positions, a later one only
  // its newest.
  c.JFIRST = std::bernoulli_distribution(0.3)(gen) ? c.J : c.J + 1;
  c.x.assign(std::size_t(c.M) * c.L, 0.0f);
  std::normal_distribution<float> nd(0.0f, 1.0f);
  std::cauchy_distribution<float> cd(0.0f, 1.0f);
  std::uniform_int_distribution<int> small(-3, 3);
  auto at = [&](int i, int k) -> float& { return c.x[std::size_t(k - 1) * c.M + (i - 1)]; };
  const float scale = std::ldexp(1.0f, std::uniform_int_distribution<int>(-20, 20)(gen));
  for (int k = 1; k <= c.L; ++k)
    for (int i = 1; i <= c.M; ++i) {
      float v = nd(gen);
      if (kind == Kind::HeavyTails) v = cd(gen);
      if (kind == Kind::Ties) v = float(small(gen)) * 0.5f;
      at(i, k) = v * scale;
    }
  switch (kind) {
    case Kind::Outliers:
      for (int q = 0; q < 1 + c.n / 20; ++q) {
        const int i = std::uniform_int_distribution<int>(1, c.M)(gen);
        const int k = std::uniform_int_distribution<int>(1, c.L)(gen);
        at(i, k) *= 50.0f;
      }
      break;
    case Kind::ExactRelation: {
      // One channel an exact dyadic combination of two others; sometimes
      // every channel from two (a rank-2 window).
      const bool rank2 = std::bernoulli_distribution(0.3)(gen);
      for (int k = 1; k <= c.L; ++k) {
        const float a = float(small(gen)), b = float(small(gen));
        at(1, k) = a;
        at(2, k) = b;
        at(3, k) = a + 0.5f * b;
        if (rank2)
          for (int i = 4; i <= c.M; ++i) at(i, k) = a - float(i) * b;
      }
      break;
    }
    case Kind::ZeroChannel: {
      const int i = std::uniform_int_distribution<int>(1, c.M)(gen);
      for (int k = 1; k <= c.L; ++k) at(i, k) = 0.0f;
      if (std::bernoulli_distribution(0.3)(gen))  // and a channel of signed zeros
        for (int k = 1; k <= c.L; ++k) at(1 + i % c.M, k) = (k % 3 == 0) ? -0.0f : 0.0f;
      break;
    }
    case Kind::Constant: {
      const int i = std::uniform_int_distribution<int>(1, c.M)(gen);
      for (int k = 1; k <= c.L; ++k) at(i, k) = 1.75f;
      break;
    }
    case Kind::NonFinite: {
      const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()};
      const int count = std::uniform_int_distribution<int>(1, 3)(gen);
      for (int q = 0; q < count; ++q) {
        const int i = std::uniform_int_distribution<int>(1, c.M)(gen);
        const int k = std::uniform_int_distribution<int>(c.J, c.J + c.n - 1)(gen);
        at(i, k) = bad[std::uniform_int_distribution<int>(0, 2)(gen)];
      }
      break;
    }
    default:
      break;
  }
  return c;
}

TEST(FastVsPlain, RegressionOnRandomWindows) {
  std::mt19937 gen(20240611);
  std::vector<rb::Workspace> works(Isas().size());
  for (std::size_t w = 0; w < works.size(); ++w) works[w].isa = Isas()[w];
  int compared = 0;
  for (int round = 0; round < 250; ++round) {
    for (int kind = 0; kind < int(Kind::Count); ++kind) {
      const Case c = RandomCase(gen, Kind(kind));
      const float mark = std::numeric_limits<float>::quiet_NaN();
      std::vector<float> wantPred(c.x.size(), -7.0f), wantRsq(c.M, mark);
      rb::plain::MREGR(c.x.data(), wantPred.data(), c.JFIRST, c.M, c.L, c.n, c.J,
                       wantRsq.data());
      for (rb::Workspace& ws : works) {
        std::vector<float> pred(c.x.size(), -7.0f), rsq(c.M, mark);
        rb::MREGR(c.x.data(), pred.data(), c.JFIRST, c.M, c.L, c.n, c.J, rsq.data(), ws);
        for (std::size_t q = 0; q < pred.size(); ++q)
          ASSERT_TRUE(Same(wantPred[q], pred[q]))
              << c.Describe() << " " << Name(ws.isa) << " cell " << q << ": " << wantPred[q]
              << " vs " << pred[q];
        for (int i = 0; i < c.M; ++i)
          ASSERT_TRUE(Same(wantRsq[i], rsq[i]))
              << c.Describe() << " " << Name(ws.isa) << " RSQ " << i;
      }
      ++compared;
    }
  }
  EXPECT_EQ(compared, 250 * int(Kind::Count));
}

TEST(FastVsPlain, PrincipalDirectionOnRandomWindows) {
  std::mt19937 gen(777);
  std::vector<rb::Workspace> works(Isas().size());
  for (std::size_t w = 0; w < works.size(); ++w) works[w].isa = Isas()[w];
  for (int round = 0; round < 250; ++round) {
    for (int kind = 0; kind < int(Kind::Count); ++kind) {
      const Case c = RandomCase(gen, Kind(kind));
      const int I1 = c.J, I2 = c.J + c.n - 1;
      std::vector<float> want(c.M + 1, 5.0f);
      rb::plain::ROBPRINC(c.x.data(), c.M, c.L, I1, I2, c.n, want.data());
      for (rb::Workspace& ws : works) {
        std::vector<float> y(c.M + 1, 5.0f);
        rb::ROBPRINC(c.x.data(), c.M, c.L, I1, I2, c.n, y.data(), ws);
        for (int i = 0; i <= c.M; ++i)
          ASSERT_TRUE(Same(want[i], y[i]))
              << c.Describe() << " " << Name(ws.isa) << " Y(" << i + 1 << "): " << want[i]
              << " vs " << y[i];
      }
    }
  }
}

TEST(FastVsPlain, WinsorisationOfAllChannelsAtOnce) {
  std::mt19937 gen(31);
  for (int round = 0; round < 150; ++round) {
    const Case c = RandomCase(gen, Kind(round % int(Kind::Count)));
    const int ld = (c.M + 3) / 4 * 4;
    std::vector<float> lanes(std::size_t(c.n) * ld, 0.0f);
    for (int k = 0; k < c.n; ++k)
      for (int i = 0; i < c.M; ++i) lanes[k * ld + i] = c.x[std::size_t(c.J - 1 + k) * c.M + i];
    for (rb::Isa isa : Isas()) {
      std::vector<float> got = lanes;
      rb::klanes::Vinzor(isa, got.data(), ld, c.n, double(c.n));
      for (int i = 0; i < c.M; ++i) {
        std::vector<float> row(c.n);
        for (int k = 0; k < c.n; ++k) row[k] = lanes[k * ld + i];
        rb::plain::VINZOR(c.n, row.data());
        for (int k = 0; k < c.n; ++k)
          ASSERT_TRUE(Same(row[k], got[k * ld + i]))
              << c.Describe() << " " << Name(isa) << " channel " << i << " position " << k;
      }
    }
  }
}

TEST(FastVsPlain, EstimatorsWithTiesZerosAndNonFiniteValues) {
  std::mt19937 gen(5);
  rb::EstimatorWork work;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (int round = 0; round < 4000; ++round) {
    const int N = std::uniform_int_distribution<int>(1, round < 2500 ? 40 : 1500)(gen);
    std::vector<float> x(N), y(N);
    const int style = round % 8;
    for (int i = 0; i < N; ++i) {
      std::normal_distribution<float> nd(0.0f, 1.0f);
      switch (style) {
        case 0: x[i] = nd(gen); y[i] = nd(gen) + x[i]; break;
        case 1:  // many ties and signed zeros
          x[i] = float(std::uniform_int_distribution<int>(-2, 2)(gen)) * 0.0f +
                 float(std::uniform_int_distribution<int>(-1, 1)(gen));
          y[i] = (i % 2) ? -0.0f : 0.0f;
          if (std::bernoulli_distribution(0.5)(gen)) y[i] = float(i % 3);
          break;
        case 2:  // infinities, more than half of them sometimes
          x[i] = std::bernoulli_distribution(0.6)(gen) ? inf : nd(gen);
          y[i] = std::bernoulli_distribution(0.2)(gen) ? -inf : nd(gen);
          break;
        case 3:  // NaNs
          x[i] = std::bernoulli_distribution(0.1)(gen) ? nan : nd(gen);
          y[i] = nd(gen);
          break;
        case 4: x[i] = nd(gen) * 1e-40f; y[i] = nd(gen) * 1e30f; break;  // subnormal, huge
        case 5: x[i] = nd(gen); y[i] = -2.0f * x[i]; break;
        case 6:  // spread over the whole exponent range, both signs
          x[i] = std::ldexp(nd(gen) > 0 ? 1.0f : -1.0f,
                            std::uniform_int_distribution<int>(-149, 127)(gen));
          y[i] = std::ldexp(1.0f + 0x1p-23f * float(i % 4), -(i % 140));
          break;
        default:  // near-ties around a lone extreme value
          x[i] = 1.0f + 0x1p-23f * float(std::uniform_int_distribution<int>(0, 3)(gen));
          y[i] = (i == N / 3) ? 3e38f : std::nextafter(5.0f, 6.0f) * float(i % 2);
          break;
      }
    }
    const std::vector<float> xKeep = x, yKeep = y;
    ASSERT_TRUE(Same(rb::plain::AMO(N, x.data()), rb::AMO(N, x.data(), work)))
        << "style " << style << " N " << N;
    float want = 9.0f, got = 8.0f;
    rb::plain::ROBCORRCOEFF(N, x.data(), y.data(), want);
    rb::ROBCORRCOEFF(N, x.data(), y.data(), got, work);
    ASSERT_TRUE(Same(want, got)) << "style " << style << " N " << N;
    for (int i = 0; i < N; ++i) ASSERT_EQ(Bits(xKeep[i]), Bits(x[i]));
    for (int i = 0; i < N; ++i) ASSERT_EQ(Bits(yKeep[i]), Bits(y[i]));
  }
}

}  // namespace
