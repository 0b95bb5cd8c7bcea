// Gauss-Jordan inversion: the documented pivoting cases, early stops on zero
// pivot rows, and inverses of general matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "matinv.h"

namespace {

// Column-major storage from rows.
std::vector<float> FromRows(int n, const std::vector<float>& rows) {
  std::vector<float> a(rows.size());
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) a[i + j * n] = rows[i * n + j];
  }
  return a;
}

TEST(Invrsm, DocumentedCases) {
  struct Case {
    const char* name;
    std::vector<float> rows, result_rows;
    int count;
    std::vector<int> iperm;
  };
  const Case cases[] = {
      {"interchange", {0, 2, 3, 0}, {0, float(1.0 / 3.0), 0.5f, 0}, 2, {1, 2}},
      {"singular after one step", {1, 2, 2, 4}, {0.5f, -0.5f, 2, 0}, 1, {2, 1}},
      {"zero first row", {0, 0, 1, 4}, {0, 0, 1, 4}, 0, {1, 2}},
      {"tie keeps lower column", {1, -1, 2, 5}, {float(5.0 / 7.0), float(1.0 / 7.0),
                                                 float(-2.0 / 7.0), float(1.0 / 7.0)}, 2, {1, 2}},
      {"tie, then singular", {1, -1, -1, 1}, {1, 1, -1, 0}, 1, {1, 2}},
  };
  for (const Case& c : cases) {
    std::vector<float> a = FromRows(2, c.rows);
    int n = 2;
    std::vector<int> iperm(2, -1);
    wv::INVRSM(a.data(), n, iperm.data());
    EXPECT_EQ(n, c.count) << c.name;
    EXPECT_EQ(iperm, c.iperm) << c.name;
    const std::vector<float> expected = FromRows(2, c.result_rows);
    for (int e = 0; e < 4; ++e) EXPECT_NEAR(a[e], expected[e], 1e-7) << c.name << " " << e;
  }
}

// Exact values where the arithmetic is exact, and the one rounding of 1/3.
TEST(Invrsm, InterchangeBitForBit) {
  std::vector<float> a = FromRows(2, {0, 2, 3, 0});
  int n = 2;
  std::vector<int> iperm(2);
  wv::INVRSM(a.data(), n, iperm.data());
  EXPECT_EQ(a, FromRows(2, {0, float(1.0 / 3.0), 0.5f, 0}));
}

// The pivot column is scaled by the double reciprocal; a reciprocal stored as
// a float gives 1.66666675 instead of 1.66666663 for 5/3. Row 2 then is zero
// from its diagonal on, so the state after the first step is returned.
TEST(Invrsm, PivotReciprocalHeldInDouble) {
  std::vector<float> a = FromRows(3, {3, 0, 0, 5, 0, 0, 7, 1, 2});
  int n = 3;
  std::vector<int> iperm(3);
  wv::INVRSM(a.data(), n, iperm.data());
  EXPECT_EQ(n, 1);
  const double q = 1.0 / 3.0;
  EXPECT_EQ(a, FromRows(3, {float(q), 0, 0, float(5 * q), 0, 0, float(7 * q), 1, 2}));
  EXPECT_NE(float(5 * q), float(5 * float(q)));
}

TEST(Invrsm, OrderOneAndEmpty) {
  for (float x : {4.0f, -0.25f, 3.0f}) {
    float a = x;
    int n = 1, iperm = 0;
    wv::INVRSM(&a, n, &iperm);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(a, float(1.0 / x));
  }
  float z = 0.0f;
  int n = 1, iperm = 0;
  wv::INVRSM(&z, n, &iperm);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(z, 0.0f);
  for (int order : {0, -3}) {
    n = order;
    wv::INVRSM(&z, n, &iperm);
    EXPECT_EQ(n, 0);
  }
}

TEST(Invrsm, GeneralMatricesWithPivoting) {
  std::mt19937 gen(9);
  std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
  for (int n = 2; n <= 7; ++n) {
    std::vector<float> a(static_cast<std::size_t>(n * n));
    for (float& x : a) x = dist(gen);
    a[0] = 0.0f;  // forces an interchange in the first row
    const std::vector<float> input = a;
    int count = n;
    std::vector<int> iperm(static_cast<std::size_t>(n));
    wv::INVRSM(a.data(), count, iperm.data());
    EXPECT_EQ(count, n);
    for (int c = 0; c < n; ++c) EXPECT_EQ(iperm[c], c + 1);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        double x = 0.0;
        for (int k = 0; k < n; ++k) x += double(input[i + k * n]) * a[k + j * n];
        EXPECT_NEAR(x, i == j ? 1.0 : 0.0, 1e-4) << n << " " << i << "," << j;
      }
    }
  }
}

TEST(Matrinv, LeavesInputAndCopiesPartialResult) {
  struct Case {
    std::vector<float> rows, result_rows;
  };
  const Case cases[] = {
      {{1, 2, 2, 4}, {0.5f, -0.5f, 2, 0}},
      {{0, 0, 1, 4}, {0, 0, 1, 4}},
      {{0, 2, 3, 0}, {0, float(1.0 / 3.0), 0.5f, 0}},
  };
  for (const Case& c : cases) {
    const std::vector<float> a = FromRows(2, c.rows);
    std::vector<float> copy = a;
    std::vector<float> inv(4, -9.0f);
    wv::MATRINV(2, copy.data(), inv.data());
    EXPECT_EQ(copy, a);
    EXPECT_EQ(inv, FromRows(2, c.result_rows));
  }
  // The same bits as INVRSM on a copy for a general matrix.
  const std::vector<float> a = FromRows(3, {2, -1, 0.5f, 1, 3, -2, 0.25f, 4, 1});
  std::vector<float> inv(9);
  wv::MATRINV(3, a.data(), inv.data());
  std::vector<float> direct = a;
  int n = 3;
  std::vector<int> iperm(3);
  wv::INVRSM(direct.data(), n, iperm.data());
  EXPECT_EQ(inv, direct);
}

TEST(Matrinv, NonPositiveOrderLeavesResultAlone) {
  float a = 2.0f, inv = -9.0f;
  wv::MATRINV(0, &a, &inv);
  EXPECT_EQ(inv, -9.0f);
}

// A test matrix of order n: general, singular after some steps (a row
// repeated or zero), with tied pivot candidates, tiny and huge entries, or a
// NaN or an infinity.
std::vector<float> MakeMatrix(int n, int kind, std::mt19937& gen) {
  std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> a(static_cast<std::size_t>(n * n));
  for (float& x : a) x = dist(gen);
  auto at = [&](int i, int j) -> float& { return a[(i - 1) + (j - 1) * n]; };
  const int r = 1 + static_cast<int>(gen() % n);
  switch (kind) {
    case 1:  // row r repeats row 1: singular
      for (int j = 1; j <= n; ++j) at(r, j) = at(1, j);
      break;
    case 2:  // row r zero from some column on
      for (int j = 1 + static_cast<int>(gen() % n); j <= n; ++j) at(r, j) = 0.0f;
      break;
    case 3:  // small integers: ties between pivot candidates
      for (float& x : a) x = float(static_cast<int>(gen() % 5) - 2);
      break;
    case 4:  // magnitudes far apart
      for (float& x : a) x *= (gen() % 2) ? 1e-30f : 1e30f;
      break;
    case 5:  // a NaN or an infinity
      a[gen() % a.size()] = (gen() % 2) ? nan : -inf;
      break;
    default:
      break;
  }
  return a;
}

// Equal bit patterns, any NaN equal to any NaN.
::testing::AssertionResult SameBits(const std::vector<float>& got, const std::vector<float>& want) {
  for (std::size_t e = 0; e < want.size(); ++e) {
    std::uint32_t g, w;
    std::memcpy(&g, &got[e], sizeof g);
    std::memcpy(&w, &want[e], sizeof w);
    if (g != w && !(std::isnan(got[e]) && std::isnan(want[e]))) {
      return ::testing::AssertionFailure() << "element " << e << ": " << got[e] << " vs " << want[e];
    }
  }
  return ::testing::AssertionSuccess();
}

// The MATRINV with kept work storage against MATRINV, bit for bit, on
// thousands of matrices of every kind, with one work storage for every order.
TEST(Matrinv, WorkStorageFormGivesTheSameBits) {
  std::mt19937 gen(4242);
  wv::MatInvWork work;
  for (int trial = 0; trial < 4000; ++trial) {
    const int n = 1 + trial % 12;
    const int kind = (trial / 12) % 6;
    const std::vector<float> a = MakeMatrix(n, kind, gen);
    const std::vector<float> kept = a;
    std::vector<float> want(a.size(), -9.0f), got(a.size(), -9.0f);
    wv::MATRINV(n, a.data(), want.data());
    wv::MATRINV(n, a.data(), got.data(), work);
    ASSERT_EQ(0, std::memcmp(a.data(), kept.data(), a.size() * sizeof(float)));
    EXPECT_TRUE(SameBits(got, want)) << "trial " << trial << ", order " << n << ", kind " << kind;
  }
}

// Batches mixing kinds, so that inversions that stop early share a batch with
// full ones: each matrix as MATRINV leaves it.
TEST(Matrinv, BatchesGiveTheSameBits) {
  std::mt19937 gen(99);
  wv::MatInvWork work;
  for (int trial = 0; trial < 600; ++trial) {
    const int n = 1 + trial % 12;
    const int count = 1 + static_cast<int>(gen() % 9);
    std::vector<std::vector<float>> got, want;
    std::vector<float*> blocks;
    for (int c = 0; c < count; ++c) {
      const std::vector<float> a = MakeMatrix(n, static_cast<int>(gen() % 6), gen);
      want.emplace_back(a.size(), -9.0f);
      wv::MATRINV(n, a.data(), want.back().data());
      got.push_back(a);
    }
    for (std::vector<float>& g : got) blocks.push_back(g.data());
    wv::MATRINVBatch(count, n, blocks.data(), work);
    for (int c = 0; c < count; ++c) {
      EXPECT_TRUE(SameBits(got[c], want[c])) << "trial " << trial << ", order " << n << ", matrix " << c;
    }
  }
}

}  // namespace
