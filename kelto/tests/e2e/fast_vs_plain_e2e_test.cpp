// Kelto and Kelto_plain driven through standard input on the same working
// folders: their standard output and Kelto.dat must be identical byte for
// byte, on the reference runs (which Kelto_plain must also reproduce) and on
// generated runs that reach the limits of the robust aggregation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "e2e_util.h"

namespace {

const std::string kReference = std::string(TEST_DATA_DIR) + "/reference/";

struct Outputs {
  std::string out, dat;
};

Outputs RunIn(const char* binary, const e2e::TempDir& dir, const std::string& answers) {
  const e2e::RunResult r = e2e::Run(binary, dir.path(), answers, 600);
  EXPECT_TRUE(r.exited) << binary << ": signal " << r.signal << (r.timedOut ? " (timed out)" : "");
  EXPECT_EQ(r.status, 0) << binary;
  EXPECT_EQ(r.err, "") << binary;
  return {r.out, dir.Exists("Kelto.dat") ? dir.Read("Kelto.dat") : std::string()};
}

class ReferenceRun : public ::testing::TestWithParam<const char*> {};

TEST_P(ReferenceRun, PlainFormReproducesTheReference) {
  const std::string ref = kReference + GetParam() + "/";
  e2e::TempDir dir;
  e2e::CopyFiles(ref + "input", dir.path());
  const Outputs plain = RunIn(KELTO_PLAIN_BIN, dir, e2e::ReadFile(ref + "answers.txt"));
  EXPECT_EQ(plain.out, e2e::ReadFile(ref + "kelto.stdout"));
  EXPECT_EQ(plain.dat, e2e::ReadFile(ref + "Kelto.dat"));
}

INSTANTIATE_TEST_SUITE_P(Runs, ReferenceRun,
                         ::testing::Values("small-daub4", "haar-spikes", "symlet-diff"));

// Series sharing a component, with noise and, where asked, spikes; `special`
// series are replaced by a constant (a zero range in the normalisation).
void WriteSeries(const e2e::TempDir& dir, int count, int length, unsigned seed, bool spikes,
                 const std::vector<int>& constant = {}) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> nd(0.0, 1.0);
  std::string list;
  for (int s = 1; s <= count; ++s) {
    char name[32];
    std::snprintf(name, sizeof name, "s%02d.dat", s);
    list += std::string(name) + "\n";
    bool flat = false;
    for (int c : constant) flat |= (c == s);
    std::string text;
    for (int k = 0; k < length; ++k) {
      double v = (1.0 + 0.1 * s) * std::sin(0.05 * k) + 0.3 * std::sin(0.31 * k + s) +
                 0.2 * nd(gen);
      if (spikes && (k * 7 + s * 13) % 97 == 0) v += 40.0 * nd(gen);
      if (flat) v = 2.5;
      char line[48];
      std::snprintf(line, sizeof line, "%.6g\n", v);
      text += line;
    }
    dir.Write(name, text);
  }
  dir.Write("list", list);
}

struct Generated {
  const char* name;
  int series, length;
  bool spikes;
  std::vector<int> constant;
  std::string answers;  // Nstart, Leng, Idiff, Lwin, order, Lmin, Tini, Tscale dT
};

class GeneratedRun : public ::testing::TestWithParam<Generated> {};

TEST_P(GeneratedRun, FastAndPlainWriteTheSameBytes) {
  const Generated& g = GetParam();
  e2e::TempDir fastDir, plainDir;
  WriteSeries(fastDir, g.series, g.length, 17u + unsigned(g.series), g.spikes, g.constant);
  WriteSeries(plainDir, g.series, g.length, 17u + unsigned(g.series), g.spikes, g.constant);
  const Outputs plain = RunIn(KELTO_PLAIN_BIN, plainDir, g.answers);
  const Outputs fast = RunIn(KELTO_BIN, fastDir, g.answers);
  ASSERT_FALSE(plain.dat.empty());
  EXPECT_EQ(plain.out, fast.out);
  EXPECT_EQ(plain.dat, fast.dat);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, GeneratedRun,
    ::testing::Values(
        Generated{"three_series_haar", 3, 700, false, {}, "1\n700\n0\n128\n2\n3\n0\n1 1\n"},
        Generated{"five_spiky_daub8", 5, 1500, true, {}, "1\n1500\n0\n256\n8\n9\n0\n1 1\n"},
        Generated{"eight_differences_symlet", 8, 1200, true, {},
                  "3\n1100\n1\n200\n110\n11\n2000.25\n1 12\n"},
        Generated{"twelve_daub20", 12, 600, false, {}, "1\n600\n0\n160\n20\n21\n0\n2 1\n"},
        Generated{"window_is_whole_record", 6, 512, true, {}, "1\n512\n0\n512\n4\n5\n0\n1 1\n"},
        Generated{"constant_series", 4, 400, false, {2}, "1\n400\n0\n100\n6\n7\n0\n1 1\n"},
        Generated{"seventy_series", 70, 64, true, {}, "1\n64\n0\n64\n2\n3\n0\n1 1\n"}),
    [](const ::testing::TestParamInfo<Generated>& info) { return std::string(info.param.name); });

}  // namespace
