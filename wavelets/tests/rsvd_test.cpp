// Singular value decomposition: the documented small cases with their signs,
// decomposition properties on general matrices, the extra columns, and the
// guards for non-finite values, 0/0 rotations and endless sweeps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "rsvd.h"

namespace {

struct Svd {
  int m, n, nextra, nu, nv;
  std::vector<float> a, s, u, v;
  float A(int i, int j) const { return a[(i - 1) + (j - 1) * m]; }
  float U(int i, int j) const { return u[(i - 1) + (j - 1) * m]; }
  float V(int i, int j) const { return v[(i - 1) + (j - 1) * n]; }
};

// Decomposes the M by N matrix given row by row (plus extra columns) with
// MDIM = M and NDIM = N.
Svd Decompose(int m, int n, const std::vector<float>& rows, int nextra = 0, int nu = -1,
              int nv = -1) {
  Svd r{m, n, nextra, nu < 0 ? n : nu, nv < 0 ? n : nv, {}, {}, {}, {}};
  const int cols = n + nextra;
  r.a.assign(static_cast<std::size_t>(m * cols), 0.0f);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < cols; ++j) r.a[i + j * m] = rows[i * cols + j];
  }
  r.s.assign(static_cast<std::size_t>(n), -7.0f);
  r.u.assign(static_cast<std::size_t>(m * (r.nu > 0 ? r.nu : 1)), -7.0f);
  r.v.assign(static_cast<std::size_t>(n * (r.nv > 0 ? r.nv : 1)), -7.0f);
  wv::RSVD(r.a.data(), m, n, m, n, nextra, r.nu, r.nv, r.s.data(), r.u.data(), r.v.data());
  return r;
}

void ExpectDecomposition(const Svd& d, const std::vector<float>& rows, double tol) {
  const int cols = d.n + d.nextra;
  for (int k = 1; k <= d.n; ++k) {
    EXPECT_GE(d.s[k - 1], 0.0f);
    if (k > 1) {
      EXPECT_LE(d.s[k - 1], d.s[k - 2]);
    }
  }
  for (int i = 1; i <= d.m; ++i) {
    for (int j = 1; j <= d.n; ++j) {
      double x = 0.0;
      for (int k = 1; k <= d.n; ++k) x += double(d.U(i, k)) * d.s[k - 1] * d.V(j, k);
      EXPECT_NEAR(x, rows[(i - 1) * cols + (j - 1)], tol) << i << "," << j;
    }
  }
  for (int p = 1; p <= d.nu; ++p) {
    for (int q = 1; q <= d.nu; ++q) {
      double x = 0.0;
      for (int i = 1; i <= d.m; ++i) x += double(d.U(i, p)) * d.U(i, q);
      EXPECT_NEAR(x, p == q ? 1.0 : 0.0, 1e-5) << "U " << p << "," << q;
    }
  }
  for (int p = 1; p <= d.nv; ++p) {
    for (int q = 1; q <= d.nv; ++q) {
      double x = 0.0;
      for (int i = 1; i <= d.n; ++i) x += double(d.V(i, p)) * d.V(i, q);
      EXPECT_NEAR(x, p == q ? 1.0 : 0.0, 1e-5) << "V " << p << "," << q;
    }
  }
}

std::uint32_t Bits(float x) {
  std::uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

std::vector<float> Identity(int n) {
  std::vector<float> e(static_cast<std::size_t>(n * n), 0.0f);
  for (int i = 0; i < n; ++i) e[i * n + i] = 1.0f;
  return e;
}

TEST(Rsvd, ZeroMatrixGivesIdentityVectors) {
  for (int n = 1; n <= 4; ++n) {
    const Svd d = Decompose(n, n, std::vector<float>(static_cast<std::size_t>(n * n), 0.0f));
    const std::vector<float> e = Identity(n);
    EXPECT_EQ(d.s, std::vector<float>(static_cast<std::size_t>(n), 0.0f));
    EXPECT_EQ(d.u, e);
    EXPECT_EQ(d.v, e);
  }
}

TEST(Rsvd, OneByOne) {
  const Svd pos = Decompose(1, 1, {2});
  EXPECT_EQ(pos.s[0], 2.0f);
  EXPECT_EQ(pos.u[0], 1.0f);
  EXPECT_EQ(pos.v[0], 1.0f);
  const Svd neg = Decompose(1, 1, {-2});
  EXPECT_EQ(neg.s[0], 2.0f);
  EXPECT_EQ(neg.u[0], -1.0f);
  EXPECT_EQ(neg.v[0], 1.0f);
}

TEST(Rsvd, SmallTwoByTwoCases) {
  struct Case {
    const char* name;
    std::vector<float> rows;
    float s1, s2;
    std::vector<float> u, v;  // column-major
  };
  const Case cases[] = {
      {"identity", {1, 0, 0, 1}, 1, 1, {1, 0, 0, 1}, {1, 0, 0, 1}},
      {"diag(1,3)", {1, 0, 0, 3}, 3, 1, {0, 1, 1, 0}, {0, 1, 1, 0}},
      {"anti-diagonal", {0, 1, 1, 0}, 1, 1, {0, 1, 1, 0}, {1, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    const Svd d = Decompose(2, 2, c.rows);
    EXPECT_NEAR(d.s[0], c.s1, 1e-6) << c.name;
    EXPECT_NEAR(d.s[1], c.s2, 1e-6) << c.name;
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(d.u[i], c.u[i], 1e-6) << c.name << " U " << i;
      EXPECT_NEAR(d.v[i], c.v[i], 1e-6) << c.name << " V " << i;
    }
  }
  const Svd d = Decompose(2, 2, {2, 1, 1, 2});
  EXPECT_NEAR(d.s[0], 3.0, 3e-7);
  EXPECT_NEAR(d.s[1], 1.0, 2e-7);
  EXPECT_NEAR(d.U(1, 1), std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(d.U(2, 1), std::sqrt(0.5), 1e-6);
}

// The sign of the leading vector of w w^T is what the programs' output sign
// rests on.
TEST(Rsvd, RankOneSigns) {
  struct Case {
    std::vector<float> w;
    float scale;       // the matrix is scale * w w^T
    float usign, vsign;  // first columns of U and V as multiples of w/|w|
  };
  const Case cases[] = {
      {{1, -2, 0.5f, 3}, 1, -1, -1},
      {{3, 0.5f, -2, 1}, 1, 1, 1},
      {{1, -2, 0.5f, 3}, -1, 1, -1},
  };
  for (const Case& c : cases) {
    std::vector<float> rows(16);
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) rows[i * 4 + j] = c.scale * c.w[i] * c.w[j];
    }
    const Svd d = Decompose(4, 4, rows);
    EXPECT_NEAR(d.s[0], 14.25, 14.25 * 1e-6);
    const double norm = std::sqrt(14.25);
    for (int i = 1; i <= 4; ++i) {
      EXPECT_NEAR(d.U(i, 1), c.usign * c.w[i - 1] / norm, 1e-6) << c.w[0] << " " << i;
      EXPECT_NEAR(d.V(i, 1), c.vsign * c.w[i - 1] / norm, 1e-6) << c.w[0] << " " << i;
    }
    ExpectDecomposition(d, rows, 1e-5);
  }
  // The first case in figures.
  std::vector<float> rows(16);
  const float w[] = {1, -2, 0.5f, 3};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) rows[i * 4 + j] = w[i] * w[j];
  }
  const Svd d = Decompose(4, 4, rows);
  const double u1[] = {-0.26491, 0.52981, -0.13245, -0.79472};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(d.u[i], u1[i], 1e-5);
}

TEST(Rsvd, SymmetricThreeByThree) {
  const std::vector<float> rows{4, 2, 0.6f, 2, 2, 0.5f, 0.6f, 0.5f, 3};
  const Svd d = Decompose(3, 3, rows);
  const double s[] = {5.47765, 2.76415, 0.75820};
  const double u1[] = {0.80827, 0.50771, 0.29819};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(d.s[i], s[i], 1e-5);
    EXPECT_NEAR(d.u[i], u1[i], 1e-5);
  }
  ExpectDecomposition(d, rows, 1e-5);
}

// Equal values keep the order of the sweeps: the identity's vectors stay.
TEST(Rsvd, EqualSingularValuesNotExchanged) {
  const std::vector<float> e = Identity(3);
  const Svd d = Decompose(3, 3, e);
  EXPECT_EQ(d.s, std::vector<float>(3, 1.0f));
  EXPECT_EQ(d.u, e);
  EXPECT_EQ(d.v, e);
}

// In the sweep for (1 2; 0 0) the rotation of (0, 0) would be 0/0.
TEST(Rsvd, ZeroRotationPairUsesIdentity) {
  const std::vector<float> rows{1, 2, 0, 0};
  const Svd d = Decompose(2, 2, rows);
  for (float x : d.s) EXPECT_TRUE(std::isfinite(x));
  for (float x : d.u) EXPECT_TRUE(std::isfinite(x));
  for (float x : d.v) EXPECT_TRUE(std::isfinite(x));
  EXPECT_NEAR(d.s[0], std::sqrt(5.0), 1e-6);
  EXPECT_EQ(d.s[1], 0.0f);
  ExpectDecomposition(d, rows, 1e-6);
}

TEST(Rsvd, ZeroColumnGivesZeroValueLast) {
  const std::vector<float> rows{1, 0, 2, -3, 0, 1, 0.5f, 0, 4};
  const Svd d = Decompose(3, 3, rows);
  EXPECT_EQ(d.s[2], 0.0f);
  EXPECT_GT(d.s[1], 0.0f);
  ExpectDecomposition(d, rows, 1e-5);
}

TEST(Rsvd, GeneralMatrices) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
  for (int trial = 0; trial < 40; ++trial) {
    const int n = 1 + trial % 6;
    const int m = (trial % 3 == 0) ? n + trial % 4 : n;
    const bool symmetric = trial % 2 == 1 && m == n;
    std::vector<float> rows(static_cast<std::size_t>(m * n));
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < n; ++j) {
        rows[i * n + j] = (symmetric && j < i) ? rows[j * n + i] : dist(gen);
      }
    }
    SCOPED_TRACE(trial);
    ExpectDecomposition(Decompose(m, n, rows), rows, 2e-5);
  }
}

// M > N with the full U, and two extra columns that must come back as U^T b.
TEST(Rsvd, FullLeftVectorsAndExtraColumns) {
  const int m = 5, n = 3, nextra = 2;
  std::mt19937 gen(3);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> rows(static_cast<std::size_t>(m * (n + nextra)));
  for (float& x : rows) x = dist(gen);
  const Svd d = Decompose(m, n, rows, nextra, m, n);
  ExpectDecomposition(d, rows, 1e-5);
  for (int e = 1; e <= nextra; ++e) {
    for (int k = 1; k <= m; ++k) {
      double x = 0.0;
      for (int i = 1; i <= m; ++i) x += double(d.U(i, k)) * rows[(i - 1) * (n + nextra) + n + e - 1];
      EXPECT_NEAR(d.A(k, n + e), x, 1e-5) << "extra " << e << " row " << k;
    }
  }
}

TEST(Rsvd, NoVectorsRequestedLeavesUAndVAlone) {
  const std::vector<float> rows{4, 2, 0.6f, 2, 2, 0.5f, 0.6f, 0.5f, 3};
  const Svd full = Decompose(3, 3, rows);
  const Svd bare = Decompose(3, 3, rows, 0, 0, 0);
  EXPECT_EQ(bare.s, full.s);
  EXPECT_EQ(bare.u, std::vector<float>(3, -7.0f));
  EXPECT_EQ(bare.v, std::vector<float>(3, -7.0f));
}

TEST(Rsvd, NonFiniteInputGivesNaN) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (float bad : {nan, inf, -inf}) {
    const Svd d = Decompose(3, 3, {1, 2, 3, 4, bad, 6, 7, 8, 10});
    for (float x : d.s) EXPECT_TRUE(std::isnan(x));
    for (float x : d.u) EXPECT_TRUE(std::isnan(x));
    for (float x : d.v) EXPECT_TRUE(std::isnan(x));
  }
  // A non-finite extra column counts as well.
  const Svd d = Decompose(2, 1, {1, nan, 2, 3}, 1, 1, 1);
  EXPECT_TRUE(std::isnan(d.s[0]));
  EXPECT_TRUE(std::isnan(d.u[0]));
  EXPECT_TRUE(std::isnan(d.u[1]));
  EXPECT_TRUE(std::isnan(d.v[0]));
}

// Finite entries near the float limit overflow inside the reduction, and the
// NaNs that follow keep the sweeps from converging: the call must still end.
TEST(Rsvd, OverflowInsideEndsWithNaN) {
  const Svd d = Decompose(2, 2, {2e38f, 1, 2e38f, 1});
  EXPECT_TRUE(std::isnan(d.s[0]));
  EXPECT_TRUE(std::isnan(d.s[1]));
  for (float x : d.u) EXPECT_TRUE(std::isnan(x));
  for (float x : d.v) EXPECT_TRUE(std::isnan(x));
}

// Results of the literal steps, every bit: the rounding points, the order of
// the operations and sgn(0) = +1 all show in these. (A NaN-free change such as
// keeping the shift F or the cancelled F in double, or F = 0 taking the
// negative root, alters some of these bits while every tolerance test passes.)
TEST(Rsvd, ExactResultsOfTheLiteralSteps) {
  struct Case {
    const char* name;
    int n;
    std::vector<float> rows, s, u, v;
  };
  const Case cases[] = {
      {"zero first column", 4, {0, 0, -2, -2, 0, 1, -2, -1, 0, 2, -1, -1, 0, -2, 1, 1},
       {0x1.28da2p+2, 0x1.03fc3ap+1, 0x1.336e12p-1, 0x0p+0},  // S
       {0x1.07bcd6p-1, 0x1.065858p-1, 0x1.f1844ep-2, -0x1.f1844ep-2, -0x1.77a404p-1, -0x1.35007ap-3, 0x1.dfbadep-2, -0x1.dfbadep-2, 0x1.c5c94ep-2, -0x1.b0d75p-1, 0x1.afda3cp-3, -0x1.afda3cp-3, 0x1.22d38ap-30, -0x1.9a940cp-31, 0x1.6a09e6p-1, 0x1.6a09e6p-1},  // U
       {0x0p+0, 0x1.0f15dap-1, -0x1.4e1accp-1, -0x1.158b54p-1, 0x0p+0, 0x1.b257dep-1, 0x1.a3858cp-2, 0x1.57748cp-2, 0x0p+0, -0x1.a5725ap-9, 0x1.465f26p-1, -0x1.8a7d96p-1, 0x1p+0, -0x0p+0, 0x0p+0, 0x0p+0},  // V
      },
      {"general 3 by 3", 3, {-1, 0, -1, -1, 1, 0, 0, -2, 0},
       {0x1.2753fcp+1, 0x1.891a14p+0, 0x1.210734p-1},  // S
       {-0x1.4f76f6p-3, -0x1.16b89ep-1, 0x1.a537ecp-1, 0x1.bdf332p-1, 0x1.3f3c06p-2, 0x1.84d194p-2, 0x1.da4bb6p-2, -0x1.8eb95cp-1, -0x1.b13d32p-2},  // U
       {0x1.3a4d72p-2, -0x1.e5ed9ep-1, 0x1.22cabp-4, -0x1.8a5d2ap-1, -0x1.2a86bp-2, -0x1.226a98p-1, 0x1.1e3986p-1, 0x1.e9224cp-4, -0x1.a418b6p-1},  // V
      },
      {"symmetric 3 by 3", 3, {4, 2, 0.6, 2, 2, 0.5, 0.6, 0.5, 3},
       {0x1.5e91cp+2, 0x1.61cfaap+1, 0x1.843362p-1},  // S
       {0x1.9dd624p-1, 0x1.03f2f6p-1, 0x1.3159fep-2, 0x1.1fe358p-2, 0x1.cb93f2p-4, -0x1.e7fabep-1, 0x1.08e24ep-1, -0x1.b55838p-1, 0x1.aa629ep-5},  // U
       {0x1.9dd61ep-1, 0x1.03f2f8p-1, 0x1.3159fep-2, 0x1.1fe356p-2, 0x1.cb93f2p-4, -0x1.e7fabcp-1, 0x1.08e25p-1, -0x1.b55836p-1, 0x1.aa62dep-5},  // V
      },
  };
  for (const Case& c : cases) {
    const Svd d = Decompose(c.n, c.n, c.rows);
    for (int k = 0; k < c.n; ++k) EXPECT_EQ(Bits(d.s[k]), Bits(c.s[k])) << c.name << " S " << k;
    for (int e = 0; e < c.n * c.n; ++e) {
      EXPECT_EQ(Bits(d.u[e]), Bits(c.u[e])) << c.name << " U " << e;
      EXPECT_EQ(Bits(d.v[e]), Bits(c.v[e])) << c.name << " V " << e;
    }
  }
}

// The update A(i,J) - F*A(i,K) of the column step, with F a double quotient,
// is a product and a sum rounded separately; a fused multiply-add gives a
// different float here. M = 2, N = 1 and one extra column make the column step
// the whole computation, so the test sees the library's own compiled code.
TEST(Rsvd, ColumnStepRoundsProductAndSumSeparately) {
  const float a = 3.0f, b = 2.25f, c = 2.13208246f, d = 1.59906185f;
  const Svd svd = Decompose(2, 1, {a, c, b, d}, 1, 0, 0);

  const double r = std::sqrt(double(a) * a + double(b) * b);
  const float a11 = float(r + a);
  const double h = r * (r + a);
  const double dot = double(a11) * c + double(b) * d;
  const double f = dot / h;
  volatile double p1 = f * a11;  // volatile: each product rounded on its own
  volatile double p2 = f * b;
  const float top = float(-1.0 * float(double(c) - p1));
  const float bottom = float(double(d) - p2);
  EXPECT_EQ(svd.s[0], float(r));
  EXPECT_EQ(svd.A(1, 2), top);
  EXPECT_EQ(svd.A(2, 2), bottom);
  // The case is sensitive: the fused forms differ.
  EXPECT_NE(float(std::fma(-f, double(a11), double(c))), -top);
  EXPECT_NE(float(std::fma(-f, double(b), double(d))), bottom);
}

}  // namespace
