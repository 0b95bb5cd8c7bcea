// The skeleton of the level loop with recording passes: levels, windows,
// progress lines, blank lines and the last working level.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "frame.h"
#include "frame_capture.h"

namespace {

struct Visit {
  int pass;
  agg::Window w;
};

struct LoopRun {
  std::vector<Visit> visits;
  std::vector<float> AggCoef;
  agg::RunParams run;
  std::string out;
};

// Runs the loop with passes that only record their windows; AggCoef starts
// with a sentinel so that every position the skeleton writes shows.
LoopRun RunLoop(int p, int Leng, int Lwin, int Lmin, int interval) {
  LoopRun r;
  r.run.p = p;
  r.run.Nfour = 1 << p;
  r.run.Leng = Leng;
  r.run.Lwin = Lwin;
  r.run.Lmin = Lmin;
  r.run.Nser = 3;
  r.AggCoef.assign(r.run.Nfour, 7.0f);
  const agg::ProgramTraits traits{{"banner"}, 10, interval, "out.dat"};
  r.out = agg_test::CaptureStdout([&] {
    agg::LevelLoop(
        traits, r.run, r.AggCoef.data(), [&](const agg::Window& w) { r.visits.push_back({1, w}); },
        [&](const agg::Window& w) { r.visits.push_back({2, w}); });
  });
  return r;
}

std::vector<agg::Window> Windows(const LoopRun& r, int pass, int j) {
  std::vector<agg::Window> ws;
  for (const auto& v : r.visits)
    if (v.pass == pass && v.w.j == j) ws.push_back(v.w);
  return ws;
}

std::string ProgressLines(const char* text, int j, const std::vector<int>& starts) {
  std::string s;
  char buf[128];
  for (int start : starts) {
    std::snprintf(buf, sizeof buf, "+%s%7d  MRA-sample #%10d\n", text, j, start);
    s += buf;
  }
  return s;
}

std::vector<int> Multiples(int of, int from, int to) {
  std::vector<int> v;
  for (int x = from; x <= to; ++x)
    if (x % of == 0) v.push_back(x);
  return v;
}

// Both passes of a level with the given progress positions and blank lines.
std::string LevelOutput(int j, const std::vector<int>& starts, bool blank) {
  const std::string b = blank ? "  \n" : "";
  return ProgressLines("MRA level=", j, starts) + b +
         ProgressLines("Comp.aggr.sign.: MRA level", j, starts) + b;
}

struct Level {
  int j, LevStart, LevEnd, LevRealEnd, LevWin, windows;
};

// Every window of a working level, in both passes: consecutive first
// positions from LevStart, full length, the first one marked, the last one
// ending at LevRealEnd.
void ExpectLevel(const LoopRun& r, const Level& lv) {
  for (int pass = 1; pass <= 2; ++pass) {
    SCOPED_TRACE("level " + std::to_string(lv.j) + " pass " + std::to_string(pass));
    const auto ws = Windows(r, pass, lv.j);
    ASSERT_EQ(static_cast<int>(ws.size()), lv.windows);
    for (int n = 0; n < lv.windows; ++n) {
      const agg::Window& w = ws[n];
      EXPECT_EQ(w.LevStart, lv.LevStart);
      EXPECT_EQ(w.LevEnd, lv.LevEnd);
      EXPECT_EQ(w.LevRealEnd, lv.LevRealEnd);
      EXPECT_EQ(w.LevWin, lv.LevWin);
      EXPECT_EQ(w.WinStart, lv.LevStart + n);
      EXPECT_EQ(w.WinEnd, w.WinStart + lv.LevWin - 1);
      EXPECT_EQ(w.WinCount, lv.LevWin);
      EXPECT_EQ(w.first, n == 0);
    }
    EXPECT_EQ(ws.back().WinEnd, lv.LevRealEnd);
  }
}

// Levels are visited in ascending order, and pass 1 of a level ends before
// its pass 2 begins.
void ExpectPassOrder(const LoopRun& r) {
  for (std::size_t n = 1; n < r.visits.size(); ++n) {
    const Visit& a = r.visits[n - 1];
    const Visit& b = r.visits[n];
    EXPECT_TRUE(a.w.j < b.w.j || (a.w.j == b.w.j && a.pass <= b.pass)) << "visit " << n;
  }
}

// Positions 1 and 2 are never the loop's; a failing level is zeroed over all
// its positions; a working level is left to its passes.
void ExpectAggCoef(const LoopRun& r, int lastWorking) {
  EXPECT_EQ(r.AggCoef[0], 7.0f);
  EXPECT_EQ(r.AggCoef[1], 7.0f);
  for (int j = 1; j <= r.run.p - 1; ++j) {
    const int start = r.run.Nfour / (1 << j) + 1;
    const int end = r.run.Nfour / (1 << (j - 1));
    const float expected = j <= lastWorking ? 7.0f : 0.0f;
    for (int k = start; k <= end; ++k) ASSERT_EQ(r.AggCoef[k - 1], expected) << "j " << j << " k " << k;
  }
}

TEST(LevelLoop, WorkedExampleWithProgressEvery64) {
  const LoopRun r = RunLoop(10, 1000, 200, 9, 64);
  ExpectLevel(r, {1, 513, 1024, 1012, 100, 401});
  ExpectLevel(r, {2, 257, 512, 506, 50, 201});
  ExpectLevel(r, {3, 129, 256, 253, 25, 101});
  ExpectLevel(r, {4, 65, 128, 126, 12, 51});
  for (int j = 5; j <= 9; ++j) EXPECT_TRUE(Windows(r, 1, j).empty() && Windows(r, 2, j).empty());
  ExpectPassOrder(r);
  ExpectAggCoef(r, 4);
  EXPECT_EQ(r.run.LastLevel, 4);
  EXPECT_EQ(r.run.LastLevelCount, 12);

  EXPECT_EQ(r.out.substr(0, 43), "+MRA level=      1  MRA-sample #       576\n");
  EXPECT_EQ(r.out, LevelOutput(1, {576, 640, 704, 768, 832, 896}, true) +
                       LevelOutput(2, {320, 384, 448}, false) + LevelOutput(3, {192}, false));
}

TEST(LevelLoop, WorkedExampleWithProgressEvery16) {
  const LoopRun r = RunLoop(10, 1000, 200, 9, 16);
  ExpectLevel(r, {1, 513, 1024, 1012, 100, 401});
  ExpectLevel(r, {4, 65, 128, 126, 12, 51});
  EXPECT_EQ(r.run.LastLevel, 4);
  EXPECT_EQ(r.run.LastLevelCount, 12);

  const auto level1 = Multiples(16, 514, 913);
  ASSERT_EQ(level1.size(), 25u);
  EXPECT_EQ(level1.front(), 528);
  EXPECT_EQ(level1.back(), 912);
  const auto level2 = Multiples(16, 258, 457);
  EXPECT_EQ(level2.size(), 12u);
  const auto level3 = Multiples(16, 130, 229);
  EXPECT_EQ(level3.size(), 6u);
  EXPECT_EQ(Multiples(16, 66, 115), (std::vector<int>{80, 96, 112}));
  EXPECT_EQ(r.out, LevelOutput(1, level1, true) + LevelOutput(2, level2, false) +
                       LevelOutput(3, level3, false) + LevelOutput(4, {80, 96, 112}, false));
}

TEST(LevelLoop, NoLevelWorksWhenHalfTheWindowIsBelowLmin) {
  const LoopRun r = RunLoop(8, 200, 9, 5, 64);
  EXPECT_TRUE(r.visits.empty());
  EXPECT_EQ(r.out, "");
  ExpectAggCoef(r, 0);
  EXPECT_EQ(r.run.LastLevel, 0);
  EXPECT_EQ(r.run.LastLevelCount, 0);
}

TEST(LevelLoop, WindowAsLongAsTheSeriesGivesOneWindowPerLevelAndNoLines) {
  const LoopRun r = RunLoop(8, 200, 200, 5, 64);
  ExpectLevel(r, {1, 129, 256, 228, 100, 1});
  ExpectLevel(r, {2, 65, 128, 114, 50, 1});
  ExpectLevel(r, {5, 9, 16, 14, 6, 1});
  EXPECT_TRUE(Windows(r, 1, 6).empty());
  EXPECT_EQ(r.out, "");
  ExpectAggCoef(r, 5);
  EXPECT_EQ(r.run.LastLevel, 5);
  EXPECT_EQ(r.run.LastLevelCount, 6);
}

TEST(LevelLoop, LongWindowWithoutProgressStillEndsEachPassWithABlankLine) {
  // Lwin/2^5 = 5 = Lmin: the level works.
  const LoopRun r = RunLoop(8, 200, 190, 5, 64);
  ExpectLevel(r, {1, 129, 256, 228, 95, 6});
  ExpectLevel(r, {5, 9, 16, 14, 5, 2});
  EXPECT_TRUE(Windows(r, 1, 6).empty());
  EXPECT_EQ(r.out, "  \n  \n");
  ExpectAggCoef(r, 5);
  EXPECT_EQ(r.run.LastLevel, 5);
  EXPECT_EQ(r.run.LastLevelCount, 5);
}

TEST(LevelLoop, NoProgressLineFollowsTheLastWindow) {
  // Level 1's last window starts at 143: the next first position, 144, would
  // be a multiple of 16, but no window follows.
  const LoopRun r = RunLoop(8, 200, 172, 5, 16);
  ExpectLevel(r, {1, 129, 256, 228, 86, 15});
  ExpectLevel(r, {2, 65, 128, 114, 43, 8});
  EXPECT_EQ(r.out.find('+'), std::string::npos);
  EXPECT_EQ(r.out, "  \n  \n");
}

TEST(LevelLoop, ShortWindowsWriteNoBlankLineSoPassTwoOverwritesPassOne) {
  // 63 coefficients per window on level 1: progress lines, but no blank line.
  const LoopRun r = RunLoop(10, 1000, 126, 9, 64);
  ExpectLevel(r, {1, 513, 1024, 1012, 63, 438});
  EXPECT_EQ(r.out.substr(0, 2 * 43), ProgressLines("MRA level=", 1, {576, 640}));
  EXPECT_EQ(r.out.find("  \n"), std::string::npos);

  // 64 coefficients: the blank lines are back.
  const LoopRun r64 = RunLoop(10, 1000, 128, 9, 64);
  ExpectLevel(r64, {1, 513, 1024, 1012, 64, 437});
  const std::string level1 = LevelOutput(1, {576, 640, 704, 768, 832, 896}, true);
  EXPECT_EQ(r64.out.substr(0, level1.size()), level1);
}

TEST(TransformLength, SmallestPowerOfTwoNotBelowLeng) {
  struct Case {
    int Leng, p, Nfour;
  };
  for (const Case& c : {Case{1, 1, 2}, Case{2, 1, 2}, Case{3, 2, 4}, Case{64, 6, 64}, Case{65, 7, 128},
                        Case{1000, 10, 1024}, Case{1 << 30, 30, 1 << 30}}) {
    int p = 0, Nfour = 0;
    ASSERT_TRUE(agg::TransformLength(c.Leng, p, Nfour)) << c.Leng;
    EXPECT_EQ(p, c.p) << c.Leng;
    EXPECT_EQ(Nfour, c.Nfour) << c.Leng;
  }
  int p = -1, Nfour = -1;
  EXPECT_FALSE(agg::TransformLength((1 << 30) + 1, p, Nfour));
  EXPECT_FALSE(agg::TransformLength(2147483647, p, Nfour));
  EXPECT_EQ(p, -1);
  EXPECT_EQ(Nfour, -1);
}

}  // namespace
