// The square decompositions in kept work storage against RSVD, bit for bit:
// thousands of matrices of the kinds the programs hand over (second-moment
// matrices, their inverses, rank-one products), with exact relations, zero
// columns, tiny and huge entries, NaN and infinity; single calls and batches,
// with work storage reused across orders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "rsvd.h"

namespace {

using Matrix = std::vector<float>;  // column-major

std::uint32_t Bits(float x) {
  std::uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Equal bit patterns, element by element; any NaN equals any NaN. (Which NaN
// an operation on two NaNs passes on depends on the order in which the
// compiler puts the operands of a sum or product, so the sign and payload of
// a NaN are not part of a result; the output shows every NaN alike.)
::testing::AssertionResult SameBits(const float* got, const float* want, int count, const char* what) {
  for (int e = 0; e < count; ++e) {
    if (Bits(got[e]) != Bits(want[e]) && !(std::isnan(got[e]) && std::isnan(want[e]))) {
      return ::testing::AssertionFailure()
             << what << " element " << e << ": " << got[e] << " vs " << want[e];
    }
  }
  return ::testing::AssertionSuccess();
}

// One test matrix of order n of a kind chosen by `kind`.
Matrix MakeMatrix(int n, int kind, std::mt19937& gen) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  Matrix a(size);
  auto at = [&](int i, int j) -> float& { return a[(i - 1) + (j - 1) * n]; };
  switch (kind % 9) {
    case 0:  // general
      for (float& x : a) x = unit(gen);
      break;
    case 1:
    case 2: {  // second moments of series with a shared part; kind 2 with an exact relation
      const int count = n + 3 + static_cast<int>(gen() % 20);
      std::vector<std::vector<float>> x(n, std::vector<float>(count));
      for (int t = 0; t < count; ++t) {
        const float common = unit(gen);
        for (int i = 0; i < n; ++i) x[i][t] = 0.5f * common + unit(gen);
        if (kind % 9 == 2 && n >= 3) x[n - 1][t] = 2.0f * x[0][t] - x[1][t];
      }
      for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= i; ++j) {
          double s = 0.0;
          for (int t = 0; t < count; ++t) s += double(x[i - 1][t]) * double(x[j - 1][t]);
          at(i, j) = at(j, i) = float(s / count);
        }
      }
      break;
    }
    case 3: {  // rank one, w w^T times a scale
      std::vector<float> w(n);
      for (float& x : w) x = unit(gen);
      const float scale = (gen() % 2) ? 1.0f : -3.0f;
      for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) at(i, j) = float(scale * double(w[i - 1]) * w[j - 1]);
      }
      break;
    }
    case 4: {  // symmetric with zero rows and columns
      for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= i; ++j) at(i, j) = at(j, i) = unit(gen);
      }
      const int zero = 1 + static_cast<int>(gen() % n);
      for (int e = 1; e <= n; ++e) at(zero, e) = at(e, zero) = 0.0f;
      break;
    }
    case 5:  // tiny entries around the reflector threshold
      for (float& x : a) x = unit(gen) * 1e-10f;
      break;
    case 6:  // huge entries, some overflowing inside
      for (float& x : a) x = unit(gen) * 3e38f;
      break;
    case 7: {  // a NaN or an infinity somewhere
      for (float& x : a) x = unit(gen);
      const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()};
      a[gen() % size] = bad[gen() % 3];
      break;
    }
    default:  // small integers: ties, exact zeros and equal singular values
      for (float& x : a) x = float(static_cast<int>(gen() % 5) - 2);
      break;
  }
  return a;
}

struct Reference {
  Matrix s, u, v;
};

Reference Literal(Matrix a, int n) {
  Reference r{Matrix(n), Matrix(a.size()), Matrix(a.size())};
  wv::RSVD(a.data(), n, n, n, n, 0, n, n, r.s.data(), r.u.data(), r.v.data());
  return r;
}

TEST(RsvdSquare, SingleCallsMatchRsvdBitForBit) {
  std::mt19937 gen(20240611);
  wv::RsvdWork work;  // reused across every order and kind
  const wv::SvdParts all[] = {wv::SvdParts::kUAndV, wv::SvdParts::kU, wv::SvdParts::kFirstColumnOfU};
  for (int trial = 0; trial < 3000; ++trial) {
    const int n = 1 + trial % 12;
    const int kind = trial / 12;
    const Matrix a = MakeMatrix(n, kind, gen);
    const Reference want = Literal(a, n);
    const wv::SvdParts parts = all[trial % 3];
    Matrix copy = a, s(n, -7.0f), u(a.size(), -7.0f), v(a.size(), -7.0f);
    wv::RSVDSquare(copy.data(), n, parts, s.data(), u.data(), v.data(), work);
    SCOPED_TRACE("trial " + std::to_string(trial) + ", order " + std::to_string(n) + ", kind " +
                 std::to_string(kind % 9));
    EXPECT_TRUE(SameBits(s.data(), want.s.data(), n, "S"));
    const int ucount = parts == wv::SvdParts::kFirstColumnOfU ? n : n * n;
    EXPECT_TRUE(SameBits(u.data(), want.u.data(), ucount, "U"));
    if (parts == wv::SvdParts::kUAndV) {
      EXPECT_TRUE(SameBits(v.data(), want.v.data(), n * n, "V"));
    } else {
      EXPECT_EQ(v, Matrix(a.size(), -7.0f)) << "V touched";
    }
  }
}

// Batches of up to 40 (more than one group of side-by-side decompositions)
// mixing kinds, so that problems that converge at once, fail or sweep long
// share a batch. Both forms of the first step run: four matrices at a time
// with AVX2, where the processor has it, and two at a time without.
TEST(RsvdSquare, BatchesMatchRsvdBitForBit) {
  std::mt19937 gen(77);
  wv::RsvdWork work;
  const bool avx2 = work.avx2;
  for (int trial = 0; trial < 240; ++trial) {
    work.avx2 = avx2 && trial % 2 == 0;
    const int n = 1 + trial / 2 % 12;
    const int count = 1 + static_cast<int>(gen() % 40);
    const wv::SvdParts parts = trial / 24 % 2 ? wv::SvdParts::kU : wv::SvdParts::kFirstColumnOfU;
    std::vector<Matrix> a, s, u;
    std::vector<Reference> want;
    for (int c = 0; c < count; ++c) {
      a.push_back(MakeMatrix(n, static_cast<int>(gen() % 9), gen));
      want.push_back(Literal(a.back(), n));
      s.emplace_back(n, -7.0f);
      u.emplace_back(a.back().size(), -7.0f);
    }
    std::vector<float*> pa, ps, pu;
    for (int c = 0; c < count; ++c) {
      pa.push_back(a[c].data());
      ps.push_back(s[c].data());
      pu.push_back(u[c].data());
    }
    wv::RSVDSquareBatch(count, n, parts, pa.data(), ps.data(), pu.data(), nullptr, work);
    const int ucount = parts == wv::SvdParts::kFirstColumnOfU ? n : n * n;
    for (int c = 0; c < count; ++c) {
      SCOPED_TRACE("trial " + std::to_string(trial) + ", problem " + std::to_string(c) +
                   (work.avx2 ? ", AVX2" : ""));
      EXPECT_TRUE(SameBits(s[c].data(), want[c].s.data(), n, "S"));
      EXPECT_TRUE(SameBits(u[c].data(), want[c].u.data(), ucount, "U"));
    }
  }
}

}  // namespace
