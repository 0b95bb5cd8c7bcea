// Canonical correlations and the matrix helpers under them.
#include "canoncorr.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "matinv.h"
#include "rsvd.h"

namespace {

using Matrix = std::vector<float>;  // column-major, 1-based through At()

float& At(Matrix& a, int ld, int i, int j) { return a[(i - 1) + (j - 1) * ld]; }
float At(const Matrix& a, int ld, int i, int j) { return a[(i - 1) + (j - 1) * ld]; }

// The series that column j of row k of the weights belongs to.
int Other(int k, int j) { return j + 1 == k ? 1 : j + 1; }

// Second moments about zero over all samples, as the level loop forms them.
// data[a][t]: sample t of series a.
Matrix Moments(const std::vector<std::vector<float>>& data) {
  const int n = static_cast<int>(data.size());
  const int count = static_cast<int>(data[0].size());
  Matrix c(n * n);
  for (int a = 1; a <= n; ++a) {
    for (int b = 1; b <= a; ++b) {
      double s = 0.0;
      for (int t = 0; t < count; ++t) s += double(data[a - 1][t]) * double(data[b - 1][t]);
      At(c, n, a, b) = At(c, n, b, a) = float(s / count);
    }
  }
  return c;
}

std::vector<std::vector<float>> RandomSeries(int n, int count, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<std::vector<float>> data(n, std::vector<float>(count));
  for (auto& series : data) {
    for (float& x : series) x = dist(gen);
  }
  return data;
}

struct Result {
  Matrix weights;  // N by N-1, leading dimension N
  std::vector<float> corr2;
};

Result Canon(const Matrix& cov, int n) {
  Result r{Matrix(n * (n - 1), -7.0f), std::vector<float>(n, -7.0f)};
  cc::CANONCORR(cov.data(), n, r.weights.data(), r.corr2.data());
  return r;
}

// Regression of series k on the others in the weights' order, solved in double
// by Gaussian elimination: returns the coefficients and sets the squared
// multiple correlation.
std::vector<double> Regression(const Matrix& cov, int n, int k, double& corr2) {
  const int m = n - 1;
  std::vector<std::vector<double>> a(m, std::vector<double>(m + 1));
  for (int i = 1; i <= m; ++i) {
    for (int j = 1; j <= m; ++j) a[i - 1][j - 1] = At(cov, n, Other(k, i), Other(k, j));
    a[i - 1][m] = At(cov, n, Other(k, i), k);
  }
  for (int c = 0; c < m; ++c) {
    int piv = c;
    for (int r = c + 1; r < m; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[piv][c])) piv = r;
    }
    std::swap(a[c], a[piv]);
    for (int r = 0; r < m; ++r) {
      if (r == c) continue;
      const double f = a[r][c] / a[c][c];
      for (int q = c; q <= m; ++q) a[r][q] -= f * a[c][q];
    }
  }
  std::vector<double> b(m);
  corr2 = 0.0;
  for (int i = 0; i < m; ++i) {
    b[i] = a[i][m] / a[i][i];
    corr2 += double(At(cov, n, k, Other(k, i + 1))) * b[i];
  }
  corr2 /= At(cov, n, k, k);
  return b;
}

// Row k of the weights equals the unit vector of `expected`, up to sign.
void ExpectRowAlong(const Result& r, int n, int k, const std::vector<double>& expected, double tol) {
  double len = 0.0;
  for (double e : expected) len += e * e;
  len = std::sqrt(len);
  const double sign = At(r.weights, n, k, 1) * expected[0] >= 0.0 ? 1.0 : -1.0;
  for (int j = 1; j <= n - 1; ++j) {
    EXPECT_NEAR(At(r.weights, n, k, j), sign * expected[j - 1] / len, tol)
        << "row " << k << ", column " << j << " (series " << Other(k, j) << ")";
  }
}

// Series 1 = 2 * series 2 + 3 * series 3 exactly, so every series is an exact
// combination of the other two with known, pairwise distinct coefficients.
TEST(CanonCorr, ExactRelationGivesItsCoefficientsInPositionOrder) {
  auto data = RandomSeries(3, 40, 11);
  for (int t = 0; t < 40; ++t) data[0][t] = 2.0f * data[1][t] + 3.0f * data[2][t];
  const Matrix cov = Moments(data);
  const Result r = Canon(cov, 3);

  // Row 1: series 2, 3. Row 2: series 1, 3. Row 3: series 2, 1.
  ExpectRowAlong(r, 3, 1, {2.0, 3.0}, 2e-4);
  ExpectRowAlong(r, 3, 2, {0.5, -1.5}, 2e-4);
  ExpectRowAlong(r, 3, 3, {-2.0 / 3.0, 1.0 / 3.0}, 2e-4);
  for (int k = 1; k <= 3; ++k) EXPECT_NEAR(r.corr2[k - 1], 1.0f, 1e-4f) << "series " << k;
}

TEST(CanonCorr, MatchesTheRegressionOfEachSeriesOnTheOthers) {
  for (int n : {2, 3, 4, 6}) {
    SCOPED_TRACE("N = " + std::to_string(n));
    auto data = RandomSeries(n, 50, 100 + n);
    // Some dependence, so that the correlations are far from 0.
    for (int t = 0; t < 50; ++t) data[n - 1][t] += 0.7f * data[0][t];
    const Matrix cov = Moments(data);
    const Result r = Canon(cov, n);
    for (int k = 1; k <= n; ++k) {
      SCOPED_TRACE("series " + std::to_string(k));
      double corr2 = 0.0;
      const std::vector<double> b = Regression(cov, n, k, corr2);
      ExpectRowAlong(r, n, k, b, 1e-4);
      EXPECT_NEAR(r.corr2[k - 1], corr2, 1e-5);

      double sumsq = 0.0;
      for (int j = 1; j <= n - 1; ++j) sumsq += double(At(r.weights, n, k, j)) * At(r.weights, n, k, j);
      EXPECT_NEAR(sumsq, 1.0, 4.0 * n * FLT_EPSILON);
      EXPECT_GE(r.corr2[k - 1], -1e-6f);
      EXPECT_LE(r.corr2[k - 1], 1.0f + 1e-6f);
    }
  }
}

TEST(CanonCorr, LeavesCovMatUnchangedAndWritesEveryWeight) {
  const int n = 5;
  const Matrix cov = Moments(RandomSeries(n, 30, 7));
  Matrix copy = cov;
  Matrix weights(n * (n - 1), NAN);
  std::vector<float> corr2(n, NAN);
  cc::CANONCORR(copy.data(), n, weights.data(), corr2.data());
  EXPECT_EQ(0, std::memcmp(copy.data(), cov.data(), cov.size() * sizeof(float)));
  for (float w : weights) EXPECT_TRUE(std::isfinite(w));
  for (float c : corr2) EXPECT_TRUE(std::isfinite(c));
}

// A series that is zero throughout the window: its row divides by a zero
// second moment and comes out as NaN, and the call still returns.
TEST(CanonCorr, ZeroSeriesGivesNaNRowWithoutHanging) {
  auto data = RandomSeries(3, 20, 5);
  for (float& x : data[1]) x = 0.0f;
  const Result r = Canon(Moments(data), 3);
  EXPECT_TRUE(std::isnan(r.corr2[1]));
  EXPECT_TRUE(std::isnan(At(r.weights, 3, 2, 1)));
  EXPECT_TRUE(std::isnan(At(r.weights, 3, 2, 2)));
}

// ---- Bit-exact cross-check against a direct transcription of the steps ----

// Each product element summed from 0 in double, stored once in float.
Matrix Product(const Matrix& a, int rows, int inner, const Matrix& b, int cols) {
  Matrix c(rows * cols);
  for (int i = 1; i <= rows; ++i) {
    for (int j = 1; j <= cols; ++j) {
      double s = 0.0;
      for (int l = 1; l <= inner; ++l) s += double(At(a, rows, i, l)) * double(At(b, inner, l, j));
      At(c, rows, i, j) = float(s);
    }
  }
  return c;
}

Matrix SymmetricRoot(const Matrix& a, int m) {
  Matrix w = a, u(m * m), v(m * m);
  std::vector<float> s(m);
  wv::RSVD(w.data(), m, m, m, m, 0, m, m, s.data(), u.data(), v.data());
  Matrix d(m * m, 0.0f), ut(m * m);
  for (int j = 1; j <= m; ++j) At(d, m, j, j) = float(std::sqrt(double(s[j - 1])));
  for (int i = 1; i <= m; ++i) {
    for (int j = 1; j <= m; ++j) At(ut, m, i, j) = At(u, m, j, i);
  }
  return Product(Product(u, m, m, d, m), m, m, ut, m);
}

Result Reference(const Matrix& cov, int n) {
  const int m = n - 1;
  Result r{Matrix(n * m), std::vector<float>(n)};
  for (int k = 1; k <= n; ++k) {
    Matrix s22(m * m), s12(m), s21(m);
    for (int i = 1; i <= m; ++i) {
      for (int j = 1; j <= m; ++j) At(s22, m, i, j) = At(cov, n, Other(k, i), Other(k, j));
      s12[i - 1] = At(cov, n, k, Other(k, i));
      s21[i - 1] = At(cov, n, Other(k, i), k);
    }
    const Matrix s11inv{float(1.0 / double(At(cov, n, k, k)))};
    Matrix s22inv(m * m);
    wv::MATRINV(m, s22.data(), s22inv.data());
    const Matrix root = SymmetricRoot(s22inv, m);
    const Matrix t1 = Product(root, m, m, s21, 1);
    const Matrix t2 = Product(t1, m, 1, s11inv, 1);
    const Matrix t3 = Product(t2, m, 1, s12, m);
    Matrix mm = Product(t3, m, m, root, m);

    Matrix u(m * m), v(m * m);
    std::vector<float> s(m);
    wv::RSVD(mm.data(), m, m, m, m, 0, m, m, s.data(), u.data(), v.data());
    r.corr2[k - 1] = s[0];

    std::vector<float> w(m);
    double len = 0.0;
    for (int i = 1; i <= m; ++i) {
      double sum = 0.0;
      for (int j = 1; j <= m; ++j) sum += double(At(root, m, i, j)) * double(At(u, m, j, 1));
      w[i - 1] = float(sum);
      len += double(w[i - 1]) * double(w[i - 1]);
    }
    len = std::sqrt(len);
    for (int i = 1; i <= m; ++i) At(r.weights, n, k, i) = float(double(w[i - 1]) / len);
  }
  return r;
}

TEST(CanonCorr, BitExactAgainstDirectTranscription) {
  const std::vector<Matrix> cases = {
      // rows (4, 2, 0.6), (2, 2, 0.5), (0.6, 0.5, 3)
      {4.0f, 2.0f, 0.6f, 2.0f, 2.0f, 0.5f, 0.6f, 0.5f, 3.0f},
      Moments(RandomSeries(3, 17, 3)),
      Moments(RandomSeries(4, 25, 4)),
  };
  for (const Matrix& cov : cases) {
    const int n = static_cast<int>(std::lround(std::sqrt(double(cov.size()))));
    SCOPED_TRACE("N = " + std::to_string(n));
    const Result got = Canon(cov, n);
    const Result want = Reference(cov, n);
    for (std::size_t i = 0; i < want.weights.size(); ++i) {
      EXPECT_EQ(std::memcmp(&got.weights[i], &want.weights[i], sizeof(float)), 0)
          << "weight " << i << ": " << got.weights[i] << " vs " << want.weights[i];
    }
    for (int k = 0; k < n; ++k) {
      EXPECT_EQ(std::memcmp(&got.corr2[k], &want.corr2[k], sizeof(float)), 0)
          << "CanCorr2 " << k + 1 << ": " << got.corr2[k] << " vs " << want.corr2[k];
    }
  }
}

// ---- MATSQR ----

TEST(MatSqr, RootsOfDiagonalMatricesAreExact) {
  const std::vector<std::pair<Matrix, Matrix>> cases = {
      {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
      {{4, 0, 0, 9}, {2, 0, 0, 3}},  // the decomposition reorders and may flip signs
      {{16}, {4}},
  };
  for (const auto& [a, want] : cases) {
    const int n = static_cast<int>(std::lround(std::sqrt(double(a.size()))));
    Matrix r(a.size(), -1.0f);
    cc::MATSQR(n, a.data(), r.data());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(r[i], want[i]) << "N = " << n << ", element " << i;
  }
}

TEST(MatSqr, SquareOfRootGivesSymmetricPositiveDefiniteInput) {
  const int n = 4;
  const Matrix a = Moments(RandomSeries(n, 30, 21));
  const Matrix kept = a;
  Matrix r(n * n);
  cc::MATSQR(n, a.data(), r.data());
  EXPECT_EQ(0, std::memcmp(a.data(), kept.data(), a.size() * sizeof(float)));
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      EXPECT_NEAR(At(r, n, i, j), At(r, n, j, i), 1e-7);  // symmetric up to rounding
      double s = 0.0;
      for (int l = 1; l <= n; ++l) s += double(At(r, n, i, l)) * At(r, n, l, j);
      EXPECT_NEAR(s, At(a, n, i, j), 1e-5);
    }
  }
}

// Only the left singular vectors enter: for (0 1; 1 0) they are the exchange
// matrix while the right ones are the identity, and the result is the root of
// the absolute values of the eigenvalues, the identity.
TEST(MatSqr, IndefiniteInputUsesLeftVectorsOnly) {
  const Matrix a = {0, 1, 1, 0};
  Matrix r(4, -1.0f);
  cc::MATSQR(2, a.data(), r.data());
  EXPECT_EQ(r, (Matrix{1, 0, 0, 1}));
}

// ---- MATMUL ----

TEST(MatMul, ProductsAreSummedInDoubleAndRoundedOnce) {
  const float tiny = std::ldexp(1.0f, -60);
  const float small = 4e-8f;  // below half a unit of 1.0f, twice it is above
  // A is 3 by 3, B is 3 by 1.
  const Matrix a = {1, tiny, 2,  small, 1, 3,  small, -1, 4};
  const Matrix b = {1, 1, 1};
  Matrix ab(3, NAN);
  cc::MATMUL(a.data(), 3, 3, b.data(), 3, 1, ab.data());
  EXPECT_EQ(ab[0], float(1.0 + 2.0 * double(small)));  // one rounding, not three
  EXPECT_GT(ab[0], 1.0f);
  EXPECT_EQ(ab[1], 0.0f);  // (tiny + 1) - 1 in ascending order loses tiny
  EXPECT_EQ(ab[2], 9.0f);
}

TEST(MatMul, ShapesAndDegenerateDimensions) {
  {  // a column times a 1 by 1 matrix scales the column
    const Matrix a = {1.5f, -2.0f, 0.25f}, b = {4.0f};
    Matrix ab(3, NAN);
    cc::MATMUL(a.data(), 3, 1, b.data(), 1, 1, ab.data());
    EXPECT_EQ(ab, (Matrix{6.0f, -8.0f, 1.0f}));
  }
  {  // 2 by 3 times 3 by 2, column-major
    const Matrix a = {1, 4, 2, 5, 3, 6}, b = {7, 9, 11, 8, 10, 12};
    Matrix ab(4, NAN);
    cc::MATMUL(a.data(), 2, 3, b.data(), 3, 2, ab.data());
    EXPECT_EQ(ab, (Matrix{58, 139, 64, 154}));
  }
  {  // an empty inner dimension gives zeros
    const Matrix a = {1}, b = {1};
    Matrix ab(2, NAN);
    cc::MATMUL(a.data(), 2, 0, b.data(), 0, 1, ab.data());
    EXPECT_EQ(ab, (Matrix{0, 0}));
  }
  {  // no rows or no columns: nothing written
    const Matrix a = {1}, b = {1};
    Matrix ab(1, -3.0f);
    cc::MATMUL(a.data(), 0, 1, b.data(), 1, 1, ab.data());
    cc::MATMUL(a.data(), 1, 1, b.data(), 1, 0, ab.data());
    EXPECT_EQ(ab[0], -3.0f);
  }
}

std::string TempPath(const char* tag) {
  static const unsigned run = std::random_device{}();
  return ::testing::TempDir() + "canoncorr_" + tag + "_" + std::to_string(run);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Inner dimensions 3 and 2 differ: the child gets one input line, writes the
// two guard records, consumes the line and stops with status 0.
void MismatchedProduct(const std::string& in, const std::string& out) {
  if (!std::freopen(in.c_str(), "r", stdin) || !std::freopen(out.c_str(), "w", stdout)) std::_Exit(99);
  const Matrix a(3, 1.0f), b(2, 1.0f);
  Matrix ab(1);
  cc::MATMUL(a.data(), 1, 3, b.data(), 2, 1, ab.data());
  std::_Exit(98);  // not reached
}

TEST(MatMulDeathTest, MismatchedDimensionsWaitForEnterAndStop) {
  const std::string in = TempPath("in"), out = TempPath("out");
  { std::ofstream(in) << "\n"; }
  EXPECT_EXIT(MismatchedProduct(in, out), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile(out),
            " MatMul: Ma must be equal to Nb !\n"
            " Press <Enter> to terminate...\n"
            "Stop - Program terminated.\n");
  std::remove(in.c_str());
  std::remove(out.c_str());
}

// Without an input line the Enter wait meets the end of input, which is
// fatal: the stop really waits for a line.
TEST(MatMulDeathTest, MismatchedDimensionsWithoutInputLineIsEndOfFile) {
  const std::string in = TempPath("empty"), out = TempPath("out2");
  { std::ofstream create(in); }
  EXPECT_EXIT(MismatchedProduct(in, out), ::testing::ExitedWithCode(24), "");
  std::remove(in.c_str());
  std::remove(out.c_str());
}

}  // namespace
