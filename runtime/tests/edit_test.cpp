#include "edit.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

struct Case {
  double x;
  const char* text;
};

void ExpectAll(const std::vector<Case>& cases, int w, int d) {
  for (const Case& c : cases) {
    std::string got = rt::EditG(c.x, w, d);
    EXPECT_EQ(got, c.text) << "x = " << std::hexfloat << c.x;
    EXPECT_EQ(got.size(), static_cast<std::size_t>(w));
  }
}

TEST(EditG, ValueFieldExamples) {
  ExpectAll({{1.0f, "    1.00000    "},
             {0.5f, "   0.500000    "},
             {-2.5f, "   -2.50000    "},
             {123.456f, "    123.456    "},
             {1234567.0f, "   0.123457E+07"},
             {0.01f, "   0.100000E-01"},
             {-0.0123f, "  -0.123000E-01"},
             {0.0f, "       0.000000"},
             {0.1f, "   0.100000    "},
             {999999.4f, "    999999.    "},
             {-999999.4f, "   -999999.    "},
             {1e-45f, "   0.140130E-44"},  // the smallest denormal float
             {FLT_MAX, "   0.340282E+39"},
             {-FLT_MAX, "  -0.340282E+39"},
             {DBL_MAX, "   0.179769+309"},
             {-1e-300, "  -0.100000-299"}},
            15, 6);
}

TEST(EditG, TimeMarkFieldExamples) {
  ExpectAll({{1.0, "     1.000000000    "},
             {2008.5, "     2008.500000    "},
             {0.05, "    0.5000000000E-01"},
             {0.1, "    0.1000000000    "},
             {1.0e10, "    0.1000000000E+11"},
             {-1.0e10, "   -0.1000000000E+11"},
             {1234567890.0, "     1234567890.    "},
             {0.0, "        0.0000000000"},
             {1e100, "    0.1000000000+101"},
             {1e-100, "    0.1000000000E-99"},
             {1e-101, "    0.1000000000-100"},
             {DBL_MAX, "    0.1797693135+309"},
             {-DBL_MAX, "   -0.1797693135+309"},
             {4.9406564584124654e-324, "    0.4940656458-323"}},
            20, 10);
}

TEST(EditG, RoundingCarryCanChangeTheForm) {
  ExpectAll({{0.09999996, "   0.100000    "},  // carry up to 0.1: fixed form
             {0.0999999, "   0.999999E-01"},   // six digits already: no rounding
             {999999.5f, "   0.100000E+07"},   // carry past 10^6: exponent form
             {9.9999996, "    10.0000    "},
             {-0.0999999951, "  -0.100000    "}},
            15, 6);
  EXPECT_EQ(rt::EditG(9.5, 8, 1), " 0.1E+02");
}

TEST(EditG, ExactTiesRoundTheMagnitudeUp) {
  // printf would round these ties to even.
  ExpectAll({{100000.5f, "    100001.    "},
             {-100000.5f, "   -100001.    "},
             {0.001953125, "   0.195313E-02"},  // 2^-9
             {2.5, "    2.50000    "}},         // no tie at 6 digits
            15, 6);
  EXPECT_EQ(rt::EditG(3.0517578125e-5, 20, 10), "    0.3051757813E-04");  // 2^-15
  EXPECT_EQ(rt::EditG(0.125, 10, 2), "  0.13    ");
  EXPECT_EQ(rt::EditG(-0.125, 10, 2), " -0.13    ");
  EXPECT_EQ(rt::EditG(2.5, 6, 1), "3.    ");
  EXPECT_EQ(rt::EditG(1.5, 6, 1), "2.    ");  // rounded magnitude 2 lies in [0.1, 10^1): fixed form
  EXPECT_EQ(rt::EditG(0.25, 10, 1), "   0.3    ");
}

TEST(EditG, InfinityNaNAndNegativeZero) {
  EXPECT_EQ(rt::EditG(INFINITY, 15, 6), "       Infinity");
  EXPECT_EQ(rt::EditG(-INFINITY, 15, 6), "      -Infinity");
  EXPECT_EQ(rt::EditG(NAN, 15, 6), "            NaN");
  EXPECT_EQ(rt::EditG(-NAN, 20, 10), "                 NaN");
  EXPECT_EQ(rt::EditG(-0.0, 15, 6), "      -0.000000");
  EXPECT_EQ(rt::EditG(-0.0, 20, 10), "       -0.0000000000");
}

TEST(EditG, TextThatDoesNotFitFillsTheFieldWithAsterisks) {
  EXPECT_EQ(rt::EditG(123456.0, 8, 6), "********");   // fixed text of 7 in 4 positions
  EXPECT_EQ(rt::EditG(123456.0, 11, 6), "123456.    ");  // exactly fits
  EXPECT_EQ(rt::EditG(1e10, 10, 6), "**********");
  EXPECT_EQ(rt::EditG(-1e10, 13, 6), "-0.100000E+11");
  EXPECT_EQ(rt::EditG(INFINITY, 5, 6), "*****");
  EXPECT_EQ(rt::EditG(0.0, 5, 6), "*****");
}

// The exact decimal digits of |x| as glibc prints them (every double has at
// most 767 significant digits), to tell exact ties from the rest.
bool IsTie(double x, int d) {
  static char buf[1200];
  std::snprintf(buf, sizeof buf, "%.900e", std::fabs(x));
  std::string s(buf, std::strchr(buf, 'e'));
  s.erase(1, 1);  // the point
  if (s[static_cast<std::size_t>(d)] != '5') return false;
  return s.find_first_not_of('0', static_cast<std::size_t>(d) + 1) == std::string::npos;
}

// Reads a general-edited field back as a number.
double ReadBack(std::string text) {
  std::size_t signpos = text.find_first_of("+-", text.find('.'));
  if (signpos != std::string::npos && text[signpos - 1] != 'E') text.insert(signpos, "E");
  return std::strtod(text.c_str(), nullptr);
}

TEST(EditG, AgreesWithCorrectRoundingAcrossTheWholeRange) {
  std::mt19937_64 gen(20240611);
  int checked = 0;
  for (int i = 0; i < 40000; ++i) {
    std::uint64_t bits = gen();
    double x;
    if (i % 2 == 0) {
      std::memcpy(&x, &bits, sizeof x);
    } else {
      std::uint32_t b32 = static_cast<std::uint32_t>(bits);
      float f;
      std::memcpy(&f, &b32, sizeof f);
      x = f;
    }
    if (!std::isfinite(x) || x == 0.0) continue;
    for (auto [w, d] : {std::pair{15, 6}, std::pair{20, 10}}) {
      if (IsTie(x, d)) continue;
      // Away from ties, correct rounding to d digits is what printf does.
      char ref[64];
      std::snprintf(ref, sizeof ref, "%.*e", d - 1, x);
      std::string got = rt::EditG(x, w, d);
      ASSERT_EQ(got.size(), static_cast<std::size_t>(w));
      ASSERT_EQ(ReadBack(got), std::strtod(ref, nullptr)) << got << " vs " << ref;
      ++checked;
    }
  }
  EXPECT_GT(checked, 70000);
}

// The value of x rounded to d significant digits, a next digit of 5 or more
// rounding up, from printf's exact expansion (every double has at most 767
// significant digits).
double RoundedHalfUp(double x, int d) {
  static char text[900];
  std::snprintf(text, sizeof text, "%.780e", std::fabs(x));
  std::string digits;
  const char* p = text;
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  const int exponent = std::atoi(p + 1) + 1;  // 0.digits * 10^exponent
  const bool up = digits[static_cast<std::size_t>(d)] >= '5';
  std::string kept = digits.substr(0, static_cast<std::size_t>(d));
  int e = exponent;
  if (up) {
    // One unit in the last kept digit, added in decimal.
    int i = d - 1;
    while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9') kept[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0) {
      ++kept[static_cast<std::size_t>(i)];
    } else {
      kept.insert(kept.begin(), '1');
      kept.pop_back();
      ++e;
    }
  }
  const std::string value = "0." + kept + "e" + std::to_string(e);
  const double r = std::strtod(value.c_str(), nullptr);
  return std::signbit(x) ? -r : r;
}

// Values of every size and of the sizes data have (few significant bits,
// moderate exponents), exact ties among them, for the digits counts the
// programs use and more.
TEST(EditG, RoundsTheExactValueHalfUp) {
  std::mt19937_64 gen(777);
  for (int i = 0; i < 30000; ++i) {
    double x;
    switch (i % 3) {
      case 0: {  // any double
        const std::uint64_t bits = gen();
        std::memcpy(&x, &bits, sizeof x);
        break;
      }
      case 1: {  // a float of moderate size
        x = std::ldexp(static_cast<double>(gen() % (1u << 24)), static_cast<int>(gen() % 100) - 70);
        x = static_cast<float>(x);
        break;
      }
      default:  // a short decimal: exact ties at some digit count
        x = std::ldexp(static_cast<double>(gen() % 2000 + 1) * 5.0, -static_cast<int>(gen() % 12));
        break;
    }
    if (gen() % 2) x = -x;
    if (!std::isfinite(x) || x == 0.0) continue;
    for (auto [w, d] : {std::pair{15, 6}, std::pair{15, 7}, std::pair{20, 10}, std::pair{26, 17}}) {
      const std::string got = rt::EditG(x, w, d);
      ASSERT_EQ(ReadBack(got), RoundedHalfUp(x, d)) << got << " for " << x << ", " << d << " digits";
    }
  }
}

TEST(EditI, RightJustifiedOrAsterisks) {
  EXPECT_EQ(rt::EditI(5, 2), " 5");
  EXPECT_EQ(rt::EditI(99, 2), "99");
  EXPECT_EQ(rt::EditI(100, 2), "**");
  EXPECT_EQ(rt::EditI(-5, 2), "-5");
  EXPECT_EQ(rt::EditI(-10, 2), "**");
  EXPECT_EQ(rt::EditI(0, 1), "0");
  EXPECT_EQ(rt::EditI(-2147483648LL, 12), " -2147483648");
}

}  // namespace
