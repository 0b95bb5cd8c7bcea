// End-to-end runs of Kelto: the reference runs compared byte for byte, and
// runs at the limits of the robust aggregation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e_util.h"

namespace {

const std::string kReference = std::string(TEST_DATA_DIR) + "/reference/";

class KeltoReference : public ::testing::TestWithParam<const char*> {};

TEST_P(KeltoReference, StdoutAndOutputFileMatchByteForByte) {
  const std::string ref = kReference + GetParam() + "/";
  e2e::TempDir dir;
  e2e::CopyFiles(ref + "input", dir.path());
  const e2e::RunResult r = e2e::Run(KELTO_BIN, dir.path(), e2e::ReadFile(ref + "answers.txt"));
  ASSERT_TRUE(r.exited) << "signal " << r.signal << (r.timedOut ? " (timed out)" : "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, e2e::ReadFile(ref + "kelto.stdout"));
  ASSERT_TRUE(dir.Exists("Kelto.dat"));
  EXPECT_EQ(dir.Read("Kelto.dat"), e2e::ReadFile(ref + "Kelto.dat"));
  EXPECT_FALSE(dir.Exists("Ivra.dat"));
}

INSTANTIATE_TEST_SUITE_P(Runs, KeltoReference,
                         ::testing::Values("small-daub4", "haar-spikes", "symlet-diff"));

// Writes `count` series of `length` samples and their "list".
void WriteSeries(const e2e::TempDir& dir, int count, int length) {
  std::string list;
  for (int s = 1; s <= count; ++s) {
    char name[32];
    std::snprintf(name, sizeof name, "x%03d.dat", s);
    list += std::string(name) + "\n";
    std::vector<std::string> lines;
    for (int k = 0; k < length; ++k) {
      char v[32];
      std::snprintf(v, sizeof v, "%.5f",
                    std::sin(0.3 * k + s) + 0.2 * std::cos(1.7 * k * (s + 1)));
      lines.push_back(v);
    }
    dir.Write(name, e2e::Lines(lines));
  }
  dir.Write("list", list);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t nl = text.find('\n', at);
    lines.push_back(text.substr(at, nl - at));
    at = nl == std::string::npos ? text.size() : nl + 1;
  }
  return lines;
}

TEST(KeltoRun, NoWorkingLevelGivesAZeroSignal) {
  // Lwin / 2 = 2 is below Lmin = 3: every level is abandoned at its first window.
  e2e::TempDir dir;
  WriteSeries(dir, 3, 80);
  const e2e::RunResult r = e2e::Run(KELTO_BIN, dir.path(), "1\n80\n0\n5\n2\n3\n0\n1 1\n");
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("MRA level"), std::string::npos);
  EXPECT_NE(r.out.find(" Last working MRA-level=           0\n"), std::string::npos);
  EXPECT_NE(r.out.find(" It has            0 wavelet coefficients.\n"), std::string::npos);
  const std::vector<std::string> lines = SplitLines(dir.Read("Kelto.dat"));
  ASSERT_EQ(lines.size(), 80u);
  for (const std::string& l : lines) EXPECT_EQ(l.substr(0, 15), "       0.000000") << l;
}

TEST(KeltoRun, MoreSeriesThanTransformPositions) {
  // 70 series of 64 samples: Nfour = 64 < Nser. The robust direction of 70
  // values must not depend on the 64 places of the normalisation work vector.
  e2e::TempDir dir;
  WriteSeries(dir, 70, 64);
  const e2e::RunResult r = e2e::Run(KELTO_BIN, dir.path(), "1\n64\n0\n64\n2\n3\n0\n1 1\n");
  ASSERT_TRUE(r.exited) << "signal " << r.signal;
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" Number of series to process =          70\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Last working MRA-level=           4\n"), std::string::npos);
  const std::vector<std::string> lines = SplitLines(dir.Read("Kelto.dat"));
  ASSERT_EQ(lines.size(), 64u);
  for (const std::string& l : lines) ASSERT_EQ(l.size(), 35u) << l;
}

}  // namespace
