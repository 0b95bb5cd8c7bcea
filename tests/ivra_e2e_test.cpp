// Ivra driven through standard input: dialogue transcripts (standard output
// redirected, so every record shows its first character), stops, re-asked
// prompts, the reading of "list" and of the series files, fatal errors, the
// output file, and the reference runs compared byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_util.h"

namespace {

using e2e::TempDir;

const char* const kBanner =
    " This is the program for computing wavelet-aggregated signal\n"
    " of multidimensional time series ( 3 <= dim ).\n"
    "  \n"
    " ---------------------------------------------------\n";
const char* const kStop = "Stop - Program terminated.\n";

const char* const kPrompt1 = " What is the number of sample to start from = ?\n";
const char* const kPrompt2 =
    " What is the desirable number of samples to be processed ?\n"
    " 64 <= Leng\n";
const char* const kPrompt3 = " Do you want to come to incremental (diff.) series (0/1) ?\n";
const char* const kPrompt4 = " Length of adaptation window (number of samples) = ?\n";
const char* const kPrompt5 =
    " Wavelet order= ? (2,4,6,8,10,12,14,16,18,20) - for usual Daubechies wavelets,\n"
    "                (108,110,112,114,116,118,120) - for symlets of order = m-100\n"
    " (Sym_02 is Haar, Sym_04 and Sym_06 are Daub_04 and Daub_06).\n";
const char* const kPrompt6Head =
    " What is the value of Lmin - minimal number\n"
    " of wavelet coefficients on the last MRA-level,\n"
    " which is sufficient for estimating covariational matrices ?\n";
const char* const kPrompt7 =
    " What is the initial value for time marks in the output files Tini = ?\n";
const char* const kPrompt8 =
    " Introduce the step for time marks in the output files: Tstep = Tscale/dT.\n"
    " What are the values of Tscale and dT ?\n";

std::string Prompt6(int bound) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " (%12d  <= *    )\n", bound);
  return kPrompt6Head + std::string(buf);
}

// A free-form record of a text and an integer.
std::string Free(const std::string& text, long long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%12lld", value);
  return " " + text + buf + "\n";
}

std::string Report(const std::string& name, int count) {
  char buf[128];
  std::snprintf(buf, sizeof buf, " From the serie %-15.15s%10d samples were read.\n", name.c_str(),
                count);
  return buf;
}

std::string Repeat(const std::string& s, int times) {
  std::string r;
  for (int n = 0; n < times; ++n) r += s;
  return r;
}

// Deterministic, irregular samples.
std::string Value(int k, int seed) {
  char buf[32];
  const double x = 10.0 * std::sin(0.37 * k * (seed + 1) + seed) + 3.0 * std::cos(0.05 * k * seed) +
                   0.01 * ((k * 7919 + seed * 104729) % 101);
  std::snprintf(buf, sizeof buf, "%.4f", x);
  return buf;
}

std::vector<std::string> Values(int count, int seed) {
  std::vector<std::string> v;
  for (int k = 1; k <= count; ++k) v.push_back(Value(k, seed));
  return v;
}

std::string SeriesFile(int count, int seed) { return e2e::Lines(Values(count, seed)); }

e2e::RunResult Ivra(const TempDir& dir, const std::string& input) {
  return e2e::Run(IVRA_BIN, dir.path(), input);
}

// A working directory with "list" naming s1.dat, s2.dat, s3.dat of 100 samples each.
void WriteBaseline(const TempDir& dir) {
  dir.Write("list", "s1.dat\ns2.dat\ns3.dat\n");
  for (int i = 1; i <= 3; ++i) dir.Write("s" + std::to_string(i) + ".dat", SeriesFile(100, i));
}

// The answers of the baseline run, one string per prompt.
std::vector<std::string> BaselineAnswers() {
  return {"1\n", "100\n", "0\n", "100\n", "2\n", "3\n", "0\n", "1 1\n"};
}

std::string Join(const std::vector<std::string>& parts) {
  std::string s;
  for (const auto& p : parts) s += p;
  return s;
}

// The whole transcript of the baseline run.
std::string BaselineTranscript() {
  return kBanner + Free("Number of series to process =", 3) + kPrompt1 + kPrompt2 +
         Free("Nfour=", 128) + Report("s1.dat", 100) + Report("s2.dat", 100) +
         Report("s3.dat", 100) + Free("Real number of samples to be processed =", 100) + kPrompt3 +
         kPrompt4 + kPrompt5 + Prompt6(3) + kPrompt7 + kPrompt8 + "  \n" +
         "+Transformation for series # 1\n+Transformation for series # 2\n"
         "+Transformation for series # 3\n  \n"
         "+Direct FWT for series # 1\n+Direct FWT for series # 2\n+Direct FWT for series # 3\n" +
         Free("Last working MRA-level=", 5) + " It has            3 wavelet coefficients.\n" +
         " Inverse FWT..\n";
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// ---------------------------------------------------------------------------
// A complete run.

TEST(IvraRun, BaselineTranscriptAndOutputFile) {
  TempDir dir;
  WriteBaseline(dir);
  const auto r = Ivra(dir, Join(BaselineAnswers()));
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, BaselineTranscript());
  EXPECT_EQ(r.err, "");
  const auto lines = SplitLines(dir.Read("Ivra.dat"));
  ASSERT_EQ(lines.size(), 100u);
  for (const auto& l : lines) EXPECT_EQ(l.size(), 35u) << l;
  EXPECT_EQ(lines[0].substr(15), "        0.0000000000");
  EXPECT_EQ(lines[1].substr(15), "     1.000000000    ");
  EXPECT_EQ(lines[99].substr(15), "     99.00000000    ");
}

// ---------------------------------------------------------------------------
// Prompts: refused answers repeat all of the prompt's lines; accepted variants
// give the baseline run unchanged.

struct Reask {
  const char* name;
  int prompt;                    // 1..8
  std::vector<std::string> bad;  // refused answers, in order
  std::string good;              // the accepted answer that follows
};

std::string PromptBlock(int prompt) {
  switch (prompt) {
    case 1: return kPrompt1;
    case 2: return kPrompt2;
    case 3: return kPrompt3;
    case 4: return kPrompt4;
    case 5: return kPrompt5;
    case 6: return Prompt6(3);
    case 7: return kPrompt7;
    default: return kPrompt8;
  }
}

TEST(IvraDialogue, RefusedAnswersAskAgainAndAcceptedVariantsChangeNothing) {
  const std::vector<Reask> cases = {
      {"start not positive or not a number", 1, {"0\n", "-3\n", "abc\n", "1.5\n"}, "1\n"},
      {"start after blank lines", 1, {}, "\n\n  \n1\n"},
      {"length below 64 or not an integer", 2, {"63\n", "x\n", "1e2\n", "99999999999\n"}, "100\n"},
      {"length with a second value on the line", 2, {}, "100 200\n"},
      {"length with separators", 2, {}, "\t100,7\n"},
      {"difference option", 3, {"2\n", "-1\n", "0.5\n", "yes\n"}, "0\n"},
      {"window below one sample", 4, {"0\n", "-5\n", "ten\n"}, "100\n"},
      {"window longer than the series is cut", 4, {}, "5000\n"},
      {"wavelet order", 5, {"21\n", "107\n", "7\n", "122\n", "0\n", "-2\n", "3\n", "1\n"}, "2\n"},
      {"Lmin below the order plus one", 6, {"2\n", "-3\n", "abc\n"}, "3\n"},
      {"Tini not a number", 7, {"abc\n", "nan\n", "1e999\n"}, "0\n"},
      {"Tini as 0.0d0", 7, {}, "0.0d0\n"},
      {"Tscale and dT", 8, {"1 0\n", "-1 2\n", "0 5\n", "1 -1\n", "a b\n", "1 x\n"}, "1 1\n"},
      {"Tscale and dT with a comma", 8, {}, "2,2\n"},
      {"Tscale and dT on two lines", 8, {}, "3\n\n3\n"},
  };
  TempDir base;
  WriteBaseline(base);
  const auto baseline = Ivra(base, Join(BaselineAnswers()));
  ASSERT_EQ(baseline.out, BaselineTranscript());
  const std::string baselineDat = base.Read("Ivra.dat");

  for (const Reask& c : cases) {
    SCOPED_TRACE(c.name);
    auto answers = BaselineAnswers();
    answers[c.prompt - 1] = Join(c.bad) + c.good;
    std::string expected = BaselineTranscript();
    const std::string block = PromptBlock(c.prompt);
    const std::size_t at = expected.find(block);
    ASSERT_NE(at, std::string::npos);
    expected.insert(at, Repeat(block, static_cast<int>(c.bad.size())));

    TempDir dir;
    WriteBaseline(dir);
    const auto r = Ivra(dir, Join(answers));
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(dir.Read("Ivra.dat"), baselineDat);
  }
}

TEST(IvraDialogue, TimeStepIsTheQuotientOfTscaleByDT) {
  struct Case {
    const char* answer;
    const char* line2;  // time field of the second record
    const char* line3;
  };
  for (const Case& c : {Case{"1,4\n", "    0.2500000000    ", "    0.5000000000    "},
                        Case{"3\n2\n", "     1.500000000    ", "     3.000000000    "},
                        Case{"1 20\n", "    0.5000000000E-01", "    0.1000000000    "}}) {
    SCOPED_TRACE(c.answer);
    TempDir dir;
    WriteBaseline(dir);
    auto answers = BaselineAnswers();
    answers[7] = c.answer;
    const auto r = Ivra(dir, Join(answers));
    ASSERT_EQ(r.status, 0);
    const auto lines = SplitLines(dir.Read("Ivra.dat"));
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines[0].substr(15), "        0.0000000000");
    EXPECT_EQ(lines[1].substr(15), c.line2);
    EXPECT_EQ(lines[2].substr(15), c.line3);
  }
}

TEST(IvraDialogue, SymletOrderIsLoweredBeforeTheLminBound) {
  TempDir dir;
  WriteBaseline(dir);
  auto answers = BaselineAnswers();
  answers[4] = "108\n";
  answers[5] = "8\n9\n";
  const auto r = Ivra(dir, Join(answers));
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(std::string(kPrompt5) + Prompt6(9) + Prompt6(9) + kPrompt7), std::string::npos);
  // Windows of 100/2^j coefficients against Lmin 9: levels 1 to 3 work.
  EXPECT_NE(r.out.find(Free("Last working MRA-level=", 3) + " It has           12 wavelet coefficients.\n"),
            std::string::npos);
  EXPECT_EQ(SplitLines(dir.Read("Ivra.dat")).size(), 100u);
}

TEST(IvraDialogue, EndOfInputAtAnyReadIsFatal24) {
  const std::string eof = "Ivra: severe (24): end-of-file during read, unit 5, file stdin\n";
  TempDir dir;
  WriteBaseline(dir);
  const auto answers = BaselineAnswers();
  for (int given : {0, 1, 3, 7}) {
    SCOPED_TRACE(given);
    std::vector<std::string> part(answers.begin(), answers.begin() + given);
    const auto r = Ivra(dir, Join(part));
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 24);
    EXPECT_EQ(r.err, eof);
    EXPECT_FALSE(dir.Exists("Ivra.dat"));
  }
  // In the middle of the two values of prompt 8.
  auto part = answers;
  part[7] = "1\n";
  const auto r = Ivra(dir, Join(part));
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.err, eof);
  // At the Enter wait of a stop.
  TempDir empty;
  const auto wait = Ivra(empty, "");
  EXPECT_EQ(wait.status, 24);
  EXPECT_EQ(wait.err, eof);
}

// ---------------------------------------------------------------------------
// The program's own stops: their lines, one Enter wait where they have one,
// the stop text, exit status 0 and no output file.

TEST(IvraStops, MissingListWaitsForEnter) {
  const std::string expected = std::string(kBanner) +
                               " Input file \"list\" with list of filenames,\n"
                               " where time series are located, is absent.\n"
                               " Press <Enter> to terminate the program...\n" +
                               kStop;
  TempDir none;
  auto r = Ivra(none, "anything at all\n1\n");
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(none.Exists("Ivra.dat"));

  // "list" that cannot be opened as a file is the same stop.
  TempDir dir;
  std::filesystem::create_directory(dir.file("list"));
  r = Ivra(dir, "\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);
}

TEST(IvraStops, FewerThanThreeSeries) {
  for (const auto& [list, count] :
       std::vector<std::pair<std::string, int>>{{"", 0}, {"a.dat\n", 1}, {"a.dat\nb.dat\n", 2}, {"a.dat\nb.dat", 2}}) {
    SCOPED_TRACE(count);
    TempDir dir;
    dir.Write("list", list);
    const auto r = Ivra(dir, "\n");
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + Free("Number of series to process =", count) +
                         " Number of series must be => 3 !\n Press <Enter> to terminate...\n" + kStop);
  }
}

TEST(IvraStops, FirstFileEndsWithinTheSkippedLines) {
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("s1.dat", "1\n2\n3\n4\n");
  const auto r = Ivra(dir, "6\n100\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + Free("Number of series to process =", 3) + kPrompt1 + kPrompt2 +
                       " The file #1 is finished when missing first records !\n" + kStop);
  // Exactly Nstart-1 lines: nothing is left to count, but nothing is missing.
  const auto r2 = Ivra(dir, "5\n100\n");
  EXPECT_EQ(r2.out.find("finished"), std::string::npos);
  EXPECT_NE(r2.out.find(Free("Real number of samples to be processed <=", 0)), std::string::npos);
}

TEST(IvraStops, LaterSeriesEndsWithinTheSkippedLines) {
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("s2.dat", "1\n2\n");
  const auto r = Ivra(dir, "4\n90\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + Free("Number of series to process =", 3) + kPrompt1 + kPrompt2 +
                       Free("Nfour=", 128) + Report("s1.dat", 90) +
                       " The            2-th serie is finished.\n" + kStop);
}

TEST(IvraStops, CommonLengthBelow64) {
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("s2.dat", SeriesFile(63, 2));
  const auto r = Ivra(dir, "1\n100\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + Free("Number of series to process =", 3) + kPrompt1 + kPrompt2 +
                       Free("Nfour=", 128) + Report("s1.dat", 100) + Report("s2.dat", 63) +
                       Report("s3.dat", 100) + Free("Real number of samples to be processed =", 63) +
                       "The real time window is too short !\n");
  EXPECT_FALSE(dir.Exists("Ivra.dat"));
}

TEST(IvraStops, ProbeLowersLengthAndNfourFollowsIt) {
  // Series 1 holds 2 skipped lines and 40 samples; 100 are asked for.
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("s1.dat", "header\nheader\n" + SeriesFile(40, 1));
  const auto r = Ivra(dir, "3\n100\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + Free("Number of series to process =", 3) + kPrompt1 + kPrompt2 +
                       Free("Real number of samples to be processed <=", 40) + Free("Nfour=", 64) +
                       Report("s1.dat", 40) + Report("s2.dat", 40) + Report("s3.dat", 40) +
                       Free("Real number of samples to be processed =", 40) +
                       "The real time window is too short !\n");
}

// ---------------------------------------------------------------------------
// "list" and the series files.

TEST(IvraFiles, ShortestSeriesSetsTheLengthButNotNfour) {
  TempDir dir;
  dir.Write("list", "a.dat\nb.dat\nc.dat\n");
  dir.Write("a.dat", SeriesFile(300, 1));
  dir.Write("b.dat", SeriesFile(150, 2));
  dir.Write("c.dat", SeriesFile(280, 3));
  const auto r = Ivra(dir, "1\n1000\n0\n1000\n4\n5\n0\n1 1\n");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(kPrompt2 + Free("Real number of samples to be processed <=", 300) +
                       Free("Nfour=", 512) + Report("a.dat", 300) + Report("b.dat", 150) +
                       Report("c.dat", 280) + Free("Real number of samples to be processed =", 150)),
            std::string::npos);
  EXPECT_EQ(SplitLines(dir.Read("Ivra.dat")).size(), 150u);
}

TEST(IvraFiles, SeriesLinesAreReadByTheirFirstValue) {
  // Series 2 written with CR LF ends, blank lines, trailing text and commas,
  // and series 3 under a name with leading and trailing blanks: the same
  // samples, so the same output as the baseline.
  TempDir base;
  WriteBaseline(base);
  ASSERT_EQ(Ivra(base, Join(BaselineAnswers())).status, 0);

  TempDir dir;
  WriteBaseline(dir);
  dir.Write("list", "s1.dat\r\ns2.dat\r\n   s3.dat   \r\n");
  std::string s2;
  const auto v = Values(100, 2);
  for (int k = 0; k < 100; ++k) {
    if (k % 10 == 3) s2 += "\r\n \t\r\n";
    s2 += (k % 3 == 0 ? v[k] + "  12.5 text" : k % 3 == 1 ? " " + v[k] + ",7" : "\t" + v[k]) + "\r\n";
  }
  dir.Write("s2.dat", s2 + "trailing words\r\n");
  const auto r = Ivra(dir, Join(BaselineAnswers()));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, BaselineTranscript());
  EXPECT_EQ(dir.Read("Ivra.dat"), base.Read("Ivra.dat"));
}

TEST(IvraFiles, SkippedLinesHoldAnything) {
  TempDir base;
  WriteBaseline(base);
  ASSERT_EQ(Ivra(base, Join(BaselineAnswers())).status, 0);

  TempDir dir;
  WriteBaseline(dir);
  for (int i = 1; i <= 3; ++i)
    dir.Write("s" + std::to_string(i) + ".dat", "time value\n\n1e99 junk\n" + SeriesFile(100, i));
  auto answers = BaselineAnswers();
  answers[0] = "4\n";
  const auto r = Ivra(dir, Join(answers));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, BaselineTranscript());
  EXPECT_EQ(dir.Read("Ivra.dat"), base.Read("Ivra.dat"));
}

TEST(IvraFiles, ProbeCountsEveryLineButReadingCountsValues) {
  // Series 1: 100 samples among 10 blank lines. The probe finds the 105 lines
  // asked for; the reading pass finds 100 values.
  TempDir dir;
  WriteBaseline(dir);
  std::string s1;
  const auto v = Values(100, 1);
  for (int k = 0; k < 100; ++k) s1 += (k % 10 == 5 ? "\n" : "") + v[k] + "\n";
  dir.Write("s1.dat", s1);
  auto answers = BaselineAnswers();
  answers[1] = "105\n";
  const auto r = Ivra(dir, Join(answers));
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(kPrompt2 + Free("Nfour=", 128) + Report("s1.dat", 100) + Report("s2.dat", 100) +
                       Report("s3.dat", 100) + Free("Real number of samples to be processed =", 100)),
            std::string::npos);
}

TEST(IvraFiles, LineThatDoesNotBeginWithANumberEndsTheSeries) {
  TempDir dir;
  WriteBaseline(dir);
  auto v = Values(100, 3);
  v[69] = "abc 1.0";
  dir.Write("s3.dat", e2e::Lines(v));
  const auto r = Ivra(dir, Join(BaselineAnswers()));
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(Report("s3.dat", 69) + Free("Real number of samples to be processed =", 69)),
            std::string::npos);
  EXPECT_EQ(SplitLines(dir.Read("Ivra.dat")).size(), 69u);
}

TEST(IvraFiles, ReportShowsFifteenCharactersOfTheName) {
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("list", "s1.dat\nabcdefghijklmnopqrst\ns3.dat\n");
  dir.Write("abcdefghijklmnopqrst", SeriesFile(100, 2));
  const auto r = Ivra(dir, Join(BaselineAnswers()));
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" From the serie abcdefghijklmno       100 samples were read.\n"),
            std::string::npos);
}

TEST(IvraFiles, NameIsTheFirst256CharactersOfItsLine) {
  // A path of exactly 256 characters (in nested folders); its line in "list"
  // goes on beyond it.
  TempDir dir;
  WriteBaseline(dir);
  std::string path;
  while (path.size() + 10 < 256) {
    path += "abcdefghi";
    std::filesystem::create_directory(dir.file(path));
    path += "/";
  }
  path += std::string(256 - path.size(), 'x');
  ASSERT_EQ(path.size(), 256u);
  dir.Write(path, SeriesFile(100, 3));
  dir.Write("list", "s1.dat\ns2.dat\n" + path + "tail beyond the name\n");
  const auto r = Ivra(dir, Join(BaselineAnswers()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(Report(path, 100)), std::string::npos);
}

TEST(IvraFiles, BlankLineInListCountsAsASeries) {
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("list", "s1.dat\n\ns3.dat\n");
  const auto r = Ivra(dir, Join(BaselineAnswers()));
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 29);
  EXPECT_EQ(r.err, "Ivra: severe (29): file not found, unit 1, file \n");
  EXPECT_NE(r.out.find(Free("Number of series to process =", 3) + kPrompt1), std::string::npos);
  EXPECT_NE(r.out.find(Report("s1.dat", 100)), std::string::npos);
}

TEST(IvraFiles, MissingSeriesFileIsFatal29) {
  struct Case {
    const char* list;
    const char* file;  // as named in the error line
    bool probed;       // series 1: fails in the probe, before any report line
  };
  for (const Case& c : {Case{"s1.dat\nnosuch.dat\ns3.dat\n", "nosuch.dat", false},
                        Case{"   s1.dat\ns2.dat\ns3.dat\n", "   s1.dat", true}}) {
    SCOPED_TRACE(c.list);
    TempDir dir;
    WriteBaseline(dir);
    dir.Write("list", c.list);
    const auto r = Ivra(dir, Join(BaselineAnswers()));
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 29);
    EXPECT_EQ(r.err, std::string("Ivra: severe (29): file not found, unit 1, file ") + c.file + "\n");
    EXPECT_EQ(r.out.find("From the serie") == std::string::npos, c.probed);
    EXPECT_FALSE(dir.Exists("Ivra.dat"));
  }
  // The reading pass opens the first name without its leading blanks.
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("list", "  s1.dat\ns2.dat\ns3.dat\n");
  dir.Write("  s1.dat", SeriesFile(100, 1));
  std::filesystem::rename(dir.file("s1.dat"), dir.file("moved.dat"));
  const auto r = Ivra(dir, Join(BaselineAnswers()));
  EXPECT_EQ(r.status, 29);
  EXPECT_EQ(r.err, "Ivra: severe (29): file not found, unit 1, file s1.dat\n");
}

// ---------------------------------------------------------------------------
// The level loop and the output file.

TEST(IvraOutput, NoWorkingLevelGivesZeros) {
  TempDir dir;
  WriteBaseline(dir);
  auto answers = BaselineAnswers();
  answers[3] = "5\n";  // windows of 2 coefficients on level 1, below Lmin 3
  const auto r = Ivra(dir, Join(answers));
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("+Direct FWT for series # 3\n  \n" + Free("Last working MRA-level=", 0) +
                       " It has            0 wavelet coefficients.\n Inverse FWT..\n"),
            std::string::npos);
  const auto lines = SplitLines(dir.Read("Ivra.dat"));
  ASSERT_EQ(lines.size(), 100u);
  for (const auto& l : lines) EXPECT_EQ(l.substr(0, 15), "       0.000000");
}

TEST(IvraOutput, ProgressAndBlankLinesOfTheLevelLoop) {
  // Leng 200 of Nfour 256, Lwin 190, Lmin 5: six windows on level 1 of 95
  // coefficients, no progress line, a blank line after each pass.
  TempDir dir;
  dir.Write("list", "s1.dat\ns2.dat\ns3.dat\n");
  for (int i = 1; i <= 3; ++i) dir.Write("s" + std::to_string(i) + ".dat", SeriesFile(200, i));
  const auto r = Ivra(dir, "1\n200\n0\n190\n4\n5\n0\n1 1\n");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("+Direct FWT for series # 3\n  \n  \n  \n" + Free("Last working MRA-level=", 5) +
                       " It has            5 wavelet coefficients.\n"),
            std::string::npos);
  EXPECT_EQ(r.out.find("MRA-sample"), std::string::npos);
}

TEST(IvraOutput, ExistingOutputFileIsReplaced) {
  TempDir base;
  WriteBaseline(base);
  ASSERT_EQ(Ivra(base, Join(BaselineAnswers())).status, 0);
  TempDir dir;
  WriteBaseline(dir);
  dir.Write("Ivra.dat", Repeat(std::string(80, '#') + "\n", 500));
  ASSERT_EQ(Ivra(dir, Join(BaselineAnswers())).status, 0);
  EXPECT_EQ(dir.Read("Ivra.dat"), base.Read("Ivra.dat"));
}

// ---------------------------------------------------------------------------
// Reference runs: stdout and Ivra.dat byte for byte.

class IvraReference : public ::testing::TestWithParam<const char*> {};

TEST_P(IvraReference, MatchesByteForByte) {
  const std::string ref = std::string(TEST_DATA_DIR) + "/reference/" + GetParam();
  TempDir dir;
  e2e::CopyFiles(ref + "/input", dir.path());
  const auto r = Ivra(dir, e2e::ReadFile(ref + "/answers.txt"));
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, e2e::ReadFile(ref + "/ivra.stdout"));
  EXPECT_EQ(dir.Read("Ivra.dat"), e2e::ReadFile(ref + "/Ivra.dat"));
}

INSTANTIATE_TEST_SUITE_P(Runs, IvraReference,
                         ::testing::Values("haar-spikes", "small-daub4", "symlet-diff"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return n;
                         });

}  // namespace
