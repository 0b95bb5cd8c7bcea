#include "freeform.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Tokens(std::string_view line) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  std::string_view token;
  while (rt::NextToken(line, pos, token)) out.emplace_back(token);
  EXPECT_EQ(pos, line.size());
  return out;
}

TEST(NextToken, SplitsOnBlanksTabsAndCommas) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Tokens(""), V{});
  EXPECT_EQ(Tokens("   \t , ,"), V{});
  EXPECT_EQ(Tokens("100 200"), (V{"100", "200"}));
  EXPECT_EQ(Tokens("  1,4  "), (V{"1", "4"}));
  EXPECT_EQ(Tokens("1,,2"), (V{"1", "2"}));  // an empty value between commas is no value
  EXPECT_EQ(Tokens("\t-3.5e2\t x"), (V{"-3.5e2", "x"}));
  EXPECT_EQ(Tokens("1 / 2"), (V{"1", "/", "2"}));
  EXPECT_EQ(Tokens("3*1.5"), (V{"3*1.5"}));
}

TEST(NextToken, ResumesWhereTheLastTokenEnded) {
  std::string_view line = "12 ab";
  std::size_t pos = 0;
  std::string_view token;
  ASSERT_TRUE(rt::NextToken(line, pos, token));
  EXPECT_EQ(token, "12");
  EXPECT_EQ(pos, 2u);
  ASSERT_TRUE(rt::NextToken(line, pos, token));
  EXPECT_EQ(token, "ab");
  EXPECT_FALSE(rt::NextToken(line, pos, token));
}

TEST(ParseInt, AcceptsSignedDecimalsInThe32BitRange) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"0", 0},           {"1", 1},
               {"+64", 64},        {"-3", -3},
               {"007", 7},         {"2147483647", 2147483647},
               {"-2147483648", -2147483647 - 1}, {"-0", 0},
               {"000000000000000000001", 1}};
  for (const Case& c : cases) {
    int v = 12345;
    EXPECT_TRUE(rt::ParseInt(c.text, v)) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(ParseInt, RefusesEverythingElse) {
  for (const char* text : {"", "+", "-", "1.5", "1.", "1e3", "abc", "12abc", "2147483648", "-2147483649",
                           "99999999999999999999", "0x10", "1 ", " 1", "1d2", "/", "3*1", "--1", "+-1"}) {
    int v = 12345;
    EXPECT_FALSE(rt::ParseInt(text, v)) << text;
    EXPECT_EQ(v, 12345) << text;
  }
}

std::uint32_t Bits(float f) {
  std::uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

TEST(ParseFloat, AcceptsTheUsualFormsAndTheDExponent) {
  struct Case {
    const char* text;
    float value;
  } cases[] = {{"1", 1.0f},         {"-1", -1.0f},        {"1.", 1.0f},         {".5", 0.5f},
               {"+2", 2.0f},        {"1.5e3", 1500.0f},   {"1.5E-3", 1.5e-3f},  {"1.5d3", 1500.0f},
               {"1.5D-3", 1.5e-3f}, {"2e+2", 200.0f},     {"-.25", -0.25f},     {"0.1", 0.1f},
               {"3.4028235e38", FLT_MAX}, {"1e-45", 1.40129846e-45f}, {"1e-50", 0.0f},
               {"0e99999", 0.0f}};
  for (const Case& c : cases) {
    float v = 7.0f;
    EXPECT_TRUE(rt::ParseFloat(c.text, v)) << c.text;
    EXPECT_EQ(Bits(v), Bits(c.value)) << c.text;
  }
  float v = 0.0f;
  ASSERT_TRUE(rt::ParseFloat("-0", v));
  EXPECT_TRUE(std::signbit(v));
}

TEST(ParseFloat, RoundsOnceStraightFromTheDecimal) {
  // 1.00000005960464477539062500000001 lies just above the midpoint of 1 and
  // the next float: it must round up. Through double it would first become
  // the midpoint exactly and then round to even, down to 1.
  float v = 0.0f;
  ASSERT_TRUE(rt::ParseFloat("1.00000005960464477539062500000001", v));
  EXPECT_EQ(Bits(v), Bits(1.0f) + 1);
  ASSERT_TRUE(rt::ParseFloat("1.000000059604644775390625", v));  // the midpoint itself: to even
  EXPECT_EQ(Bits(v), Bits(1.0f));
}

// Agrees bit for bit with strtof on the decimal text, for random digit
// strings of every length a data file has and exponents across the float
// range, subnormals and underflow included.
TEST(ParseFloat, MatchesStrtofOnRandomDecimals) {
  std::mt19937 gen(7);
  for (int trial = 0; trial < 20000; ++trial) {
    std::string text = gen() % 2 ? "-" : "";
    const int digits = 1 + static_cast<int>(gen() % 24);
    const int point = static_cast<int>(gen() % (digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + gen() % 10);
    }
    text += "e" + std::to_string(static_cast<int>(gen() % 85) - 70);  // below 1e38
    float v = 0.0f;
    const float want = std::strtof(text.c_str(), nullptr);
    ASSERT_TRUE(rt::ParseFloat(text, v)) << text;
    EXPECT_EQ(Bits(v), Bits(want)) << text;
  }
}

TEST(ParseFloat, RefusesNonNumbersAndOverflow) {
  for (const char* text : {"", "+", "-", ".", "e5", ".e5", "1e", "1e+", "1.5x", "abc", "NaN", "nan", "Infinity",
                           "inf", "-INF", "0x1p3", "0x10", "1e39", "-1e39", "3.40282357e38", "1e99999999999999",
                           "1,5", "/", "3*1.5", "1.5.2", "1e2.5", "1+5", "d3", " 1"}) {
    float v = 7.0f;
    EXPECT_FALSE(rt::ParseFloat(text, v)) << text;
    EXPECT_EQ(v, 7.0f) << text;
  }
}

TEST(ParseDouble, UsesTheFullDoubleRange) {
  double v = 0.0;
  ASSERT_TRUE(rt::ParseDouble("1e39", v));
  EXPECT_EQ(v, 1e39);
  ASSERT_TRUE(rt::ParseDouble("2008.5d0", v));
  EXPECT_EQ(v, 2008.5);
  ASSERT_TRUE(rt::ParseDouble("0.1", v));
  EXPECT_EQ(v, 0.1);
  ASSERT_TRUE(rt::ParseDouble("4.9406564584124654e-324", v));
  EXPECT_EQ(v, 4.9406564584124654e-324);
  for (const char* text : {"1e309", "-1e309", "NaN", "Infinity", "0x1p3", "1.5q3", "abc"}) {
    v = 7.0;
    EXPECT_FALSE(rt::ParseDouble(text, v)) << text;
    EXPECT_EQ(v, 7.0) << text;
  }
}

}  // namespace
