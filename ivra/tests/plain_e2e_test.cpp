// Ivra against Ivra_plain, the same program on the straightforward passes:
// both binaries run on the same generated cases, and their standard output
// and output files must agree byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e_util.h"

namespace {

struct Case {
  const char* name;
  int series, samples, idiff, lwin, order, lmin;
  int constantSeries;  // 1-based; 0: none (a constant stretch has a zero range)
  int constantUpTo;    // the stretch: samples 1..constantUpTo
  int relatedSeries;   // 1-based; 0: none (else the sum of series 1 and 2)
};

std::string Sample(const Case& c, int i, int k, unsigned& state) {
  state = state * 1103515245u + 12345u;
  const double noise = double(state >> 8) / double(1u << 24) - 0.5;
  double x = (1.0 + 0.3 * i) * std::sin(k / (17.0 + i)) + 0.5 * std::sin(k / 5.0) + noise;
  if (i == c.constantSeries && k <= c.constantUpTo) x = 2.5;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", x);
  return buf;
}

void WriteCase(const e2e::TempDir& dir, const Case& c) {
  std::string list;
  std::vector<std::vector<std::string>> values(c.series);
  for (int i = 1; i <= c.series; ++i) {
    unsigned state = 977u * i;
    for (int k = 1; k <= c.samples; ++k) values[i - 1].push_back(Sample(c, i, k, state));
  }
  if (c.relatedSeries > 0) {
    for (int k = 0; k < c.samples; ++k) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.6g", std::stod(values[0][k]) + std::stod(values[1][k]));
      values[c.relatedSeries - 1][k] = buf;
    }
  }
  for (int i = 1; i <= c.series; ++i) {
    const std::string name = "s" + std::to_string(i) + ".dat";
    list += name + "\n";
    dir.Write(name, e2e::Lines(values[i - 1]));
  }
  dir.Write("list", list);
}

std::string Answers(const Case& c) {
  return "1\n" + std::to_string(c.samples) + "\n" + std::to_string(c.idiff) + "\n" +
         std::to_string(c.lwin) + "\n" + std::to_string(c.order) + "\n" + std::to_string(c.lmin) +
         "\n0\n1 1\n";
}

class SameAsPlain : public ::testing::TestWithParam<Case> {};

TEST_P(SameAsPlain, OutputFileAndTranscriptByteForByte) {
  const Case& c = GetParam();
  e2e::TempDir fast, plain;
  WriteCase(fast, c);
  WriteCase(plain, c);
  const e2e::RunResult f = e2e::Run(IVRA_BIN, fast.path(), Answers(c));
  const e2e::RunResult p = e2e::Run(IVRA_PLAIN_BIN, plain.path(), Answers(c));
  ASSERT_TRUE(p.exited && p.status == 0) << p.err;
  ASSERT_TRUE(f.exited && f.status == 0) << f.err;
  EXPECT_EQ(f.out, p.out);
  ASSERT_TRUE(plain.Exists("Ivra.dat"));
  const std::string want = plain.Read("Ivra.dat");
  EXPECT_GT(want.size(), 0u);
  EXPECT_TRUE(fast.Read("Ivra.dat") == want) << "Ivra.dat differs";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameAsPlain,
    ::testing::Values(Case{"three_series", 3, 300, 0, 128, 4, 5, 0, 0, 0},
                      Case{"differences_symlet", 7, 1000, 1, 256, 110, 11, 0, 0, 0},
                      Case{"constant_series_one_window", 4, 256, 0, 256, 2, 3, 3, 256, 0},
                      Case{"constant_stretch", 4, 1000, 0, 64, 4, 5, 2, 400, 0},
                      Case{"twelve_series", 12, 600, 0, 200, 8, 9, 0, 0, 0},
                      Case{"related_series", 5, 2048, 0, 512, 6, 7, 0, 0, 4}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
