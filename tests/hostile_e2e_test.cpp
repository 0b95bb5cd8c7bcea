// Hostile input for both programs, end to end: binary and oversized "list"
// files, series files that are folders, unreadable or odd in their text,
// values at and beyond the range of a float, the end of standard input at
// every read, series that yield NaNs, and runs with 100 series. Every run has
// a time-out, so a hang fails the test instead of stalling the suite.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e_util.h"

namespace {

using e2e::TempDir;

constexpr int kTimeout = 120;

struct Program {
  const char* name;        // as it names itself in fatal-error lines
  const char* binary;
  const char* outputName;  // "Ivra.dat" / "Kelto.dat"
  int countWidth;          // width of the per-file sample count
};

const Program kIvra{"Ivra", IVRA_BIN, "Ivra.dat", 10};
const Program kKelto{"Kelto", KELTO_BIN, "Kelto.dat", 7};

const char* const kStop = "Stop - Program terminated.\n";
const std::string kAnswers = "1\n100\n0\n100\n2\n3\n0\n1 1\n";

std::string Free(const std::string& text, long long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%12lld", value);
  return " " + text + buf + "\n";
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t nl = text.find('\n', at);
    lines.push_back(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
    at = nl == std::string::npos ? text.size() : nl + 1;
  }
  return lines;
}

// Deterministic, irregular samples, as floats.
float Sample(int k, int seed) {
  return static_cast<float>(10.0 * std::sin(0.37 * k * (seed + 1) + seed) + 3.0 * std::cos(0.05 * k * seed) +
                            0.01 * ((k * 7919 + seed * 104729) % 101));
}

// A float written with 9 significant digits reads back as the same float.
std::string Text(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  return buf;
}

std::vector<std::string> Values(int count, int seed) {
  std::vector<std::string> v;
  for (int k = 1; k <= count; ++k) v.push_back(Text(Sample(k, seed)));
  return v;
}

// "list" naming s1.dat .. sN.dat, each of `length` samples.
void WriteSeries(const TempDir& dir, int count = 3, int length = 100) {
  std::string list;
  for (int i = 1; i <= count; ++i) {
    const std::string name = "s" + std::to_string(i) + ".dat";
    list += name + "\n";
    dir.Write(name, e2e::Lines(Values(length, i)));
  }
  dir.Write("list", list);
}

class Hostile : public ::testing::TestWithParam<Program> {
 protected:
  const Program& P() const { return GetParam(); }

  e2e::RunResult Run(const TempDir& dir, const std::string& input) const {
    e2e::RunResult r = e2e::Run(P().binary, dir.path(), input, kTimeout);
    EXPECT_FALSE(r.timedOut) << "the run did not end";
    EXPECT_TRUE(r.exited) << "ended by signal " << r.signal << "\n" << r.err;
    return r;
  }

  std::string Fatal(int code, const std::string& text) const {
    return std::string(P().name) + ": severe (" + std::to_string(code) + "): " + text + "\n";
  }

  std::string Report(const std::string& name, int count) const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%*d", P().countWidth, count);
    std::string field = name.substr(0, 15);
    field.resize(15, ' ');
    return " From the serie " + field + buf + " samples were read.\n";
  }

  // The output of the baseline run (3 series of 100 samples, kAnswers).
  std::string BaselineOutput() const {
    TempDir dir;
    WriteSeries(dir);
    const e2e::RunResult r = Run(dir, kAnswers);
    EXPECT_EQ(r.status, 0);
    return dir.Read(P().outputName);
  }

  // Value fields of the output file; every record is checked for its width.
  std::vector<std::string> ValueFields(const TempDir& dir) const {
    std::vector<std::string> fields;
    for (const std::string& line : SplitLines(dir.Read(P().outputName))) {
      EXPECT_EQ(line.size(), 35u) << line;
      fields.push_back(line.substr(0, 15));
    }
    return fields;
  }
};

// ---------------------------------------------------------------------------
// A run in a child with privileges of its own, or with standard output on a
// device: what e2e::Run cannot set up.

struct Special {
  bool unprivileged = false;   // as root: run as "nobody", so that file modes bind
  const char* stdoutPath = nullptr;
};

constexpr uid_t kNobody = 65534;

e2e::RunResult RunSpecial(const std::string& binary, const std::string& dir, const std::string& input,
                          const Special& how) {
  TempDir io;
  chmod(io.path().c_str(), 0777);
  const std::string inPath = io.file("stdin");
  const std::string outPath = how.stdoutPath != nullptr ? std::string(how.stdoutPath) : io.file("stdout");
  const std::string errPath = io.file("stderr");
  e2e::WriteFile(inPath, input);

  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    const int in = open(inPath.c_str(), O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (how.unprivileged && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(125);
    }
    if (chdir(dir.c_str()) != 0) _exit(124);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  e2e::RunResult r;
  int wstatus = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeout);
  while (waitpid(pid, &wstatus, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      r.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  r.exited = !r.timedOut && WIFEXITED(wstatus);
  if (r.exited) r.status = WEXITSTATUS(wstatus);
  if (how.stdoutPath == nullptr) r.out = e2e::ReadFile(outPath);
  r.err = e2e::ReadFile(errPath);
  return r;
}

// ---------------------------------------------------------------------------
// "list" with hostile content.

std::string RandomBytes(std::size_t count, std::uint32_t seed, bool nameBytesOnly) {
  std::string s;
  while (s.size() < count) {
    seed = seed * 1664525u + 1013904223u;
    const unsigned char c = static_cast<unsigned char>(seed >> 24);
    // Name bytes: printable or high, no blank, "/" or line end.
    if (nameBytesOnly && (c <= 0x20 || c == '/')) continue;
    s.push_back(static_cast<char>(c));
  }
  return s;
}

TEST_P(Hostile, ListWithBinaryOrOversizedContent) {
  const std::string tooFew = " Number of series must be => 3 !\n Press <Enter> to terminate...\n" + std::string(kStop);
  const std::string r1 = RandomBytes(40, 1, true), r2 = RandomBytes(40, 2, true), r3 = RandomBytes(40, 3, true);
  const std::string longName(256, 'a');
  struct Case {
    const char* what;
    std::string list;
    int status;
    std::string err;      // exact standard error
    std::string outTail;  // standard output ends with this
  };
  const std::vector<Case> cases = {
      {"empty", "", 0, "", Free("Number of series to process =", 0) + tooFew},
      {"NUL bytes without a line end are one line", std::string(3, '\0'), 0, "",
       Free("Number of series to process =", 1) + tooFew},
      // A name the file system cannot take; the report shows it up to the NUL.
      {"names made of NUL bytes", std::string("\0\n\0\n\0\n", 6), 43,
       Fatal(43, "invalid file name, unit 1, file "), ""},
      {"NUL inside the first name", std::string("s1.dat\0x\ns2.dat\ns3.dat\n", 23), 43,
       Fatal(43, "invalid file name, unit 1, file s1.dat"), ""},
      {"random name bytes", r1 + "\n" + r2 + "\n" + r3 + "\n", 29, Fatal(29, "file not found, unit 1, file " + r1),
       ""},
      // Only 256 characters form the name, which is too long for a file name.
      {"a line of 1 MB", std::string(1 << 20, 'a') + "\ns2.dat\ns3.dat\n", 43,
       Fatal(43, "invalid file name, unit 1, file " + longName), ""},
      {"a first line of blanks only opens the empty name", std::string(300, ' ') + "\ns2.dat\ns3.dat\n", 29,
       Fatal(29, "file not found, unit 1, file "), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteSeries(dir);
    dir.Write("list", c.list);
    const e2e::RunResult r = Run(dir, kAnswers);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    ASSERT_GE(r.out.size(), c.outTail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - c.outTail.size()), c.outTail);
    EXPECT_FALSE(dir.Exists(P().outputName));
  }
  // Random bytes with NULs and line ends anywhere: whatever the first name,
  // the run ends at once with a file error or a stop, never with a crash.
  for (std::uint32_t seed = 10; seed < 16; ++seed) {
    SCOPED_TRACE(seed);
    TempDir dir;
    dir.Write("list", RandomBytes(3000, seed, false));
    const e2e::RunResult r = Run(dir, kAnswers + "\n");
    EXPECT_TRUE(r.status == 0 || r.status == 29 || r.status == 43) << r.status << r.err;
    EXPECT_FALSE(dir.Exists(P().outputName));
  }
}

// ---------------------------------------------------------------------------
// Series files that cannot be read.

TEST_P(Hostile, FolderInPlaceOfASeriesFileIsAnOpenFailure) {
  for (int which : {1, 3}) {
    SCOPED_TRACE(which);
    TempDir dir;
    WriteSeries(dir);
    const std::string name = "s" + std::to_string(which) + ".dat";
    std::filesystem::remove(dir.file(name));
    std::filesystem::create_directory(dir.file(name));
    const e2e::RunResult r = Run(dir, kAnswers);
    EXPECT_EQ(r.status, 30);
    EXPECT_EQ(r.err, Fatal(30, "open failure, unit 1, file " + name));
    // Series 1 fails in the probe, before any report line; series 3 after two.
    if (which == 1) {
      EXPECT_EQ(r.out.find("From the serie"), std::string::npos);
    } else {
      EXPECT_NE(r.out.find(Report("s2.dat", 100)), std::string::npos);
      EXPECT_EQ(r.out.substr(r.out.size() - Report("s2.dat", 100).size()), Report("s2.dat", 100));
    }
    EXPECT_FALSE(dir.Exists(P().outputName));
  }
}

TEST_P(Hostile, DeniedAccessIsFatal9) {
  // Root passes every file mode: the run drops to "nobody", and is skipped
  // when it cannot (no such user, or the binary out of its reach). The probe
  // is the missing-list stop in an empty folder.
  if (geteuid() == 0) {
    TempDir probe;
    chmod(probe.path().c_str(), 0777);
    const e2e::RunResult r = RunSpecial(P().binary, probe.path(), "\n", Special{true, nullptr});
    if (!r.exited || r.status != 0) GTEST_SKIP() << "cannot run " << P().binary << " as nobody";
  }
  struct Case {
    const char* what;
    void (*spoil)(const TempDir&, const Program&);
    int status;
    std::string file;  // named in the error line; empty: a stop
  };
  const std::vector<Case> cases = {
      {"series file without read permission",
       [](const TempDir& d, const Program&) { chmod(d.file("s2.dat").c_str(), 0); }, 9, "s2.dat"},
      {"existing output file without write permission",
       [](const TempDir& d, const Program& p) {
         d.Write(p.outputName, "old\n");
         chmod(d.file(p.outputName).c_str(), 0444);
       },
       9, ""},
      {"working folder without write permission",
       [](const TempDir& d, const Program&) { chmod(d.path().c_str(), 0555); }, 9, ""},
      {"unreadable list", [](const TempDir& d, const Program&) { chmod(d.file("list").c_str(), 0); }, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteSeries(dir);
    chmod(dir.path().c_str(), 0777);
    c.spoil(dir, P());
    const e2e::RunResult r = RunSpecial(P().binary, dir.path(), kAnswers, Special{true, nullptr});
    chmod(dir.path().c_str(), 0777);
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, c.status);
    if (c.status == 0) {
      // "list" that cannot be opened, for whatever reason: the missing-list stop.
      EXPECT_EQ(r.err, "");
      EXPECT_NE(r.out.find(" Press <Enter> to terminate the program...\n" + std::string(kStop)), std::string::npos);
      continue;
    }
    const std::string file = c.file.empty() ? std::string(P().outputName) : c.file;
    EXPECT_EQ(r.err, Fatal(9, "permission to access file denied, unit 1, file " + file));
    // The output file fails only after the whole computation.
    EXPECT_EQ(r.out.size() >= 15 && r.out.substr(r.out.size() - 15) == " Inverse FWT..\n", c.file.empty());
  }
}

TEST_P(Hostile, FailingStandardOutputIsFatal38) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteSeries(dir);
  const e2e::RunResult r = RunSpecial(P().binary, dir.path(), kAnswers, Special{false, "/dev/full"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, Fatal(38, "error during write, unit 6, file stdout"));
  EXPECT_FALSE(dir.Exists(P().outputName));
}

// ---------------------------------------------------------------------------
// Series values: what ends a series and what is read as a value.

TEST_P(Hostile, ValueTextsAtAndBeyondTheRangeOfAFloat) {
  struct Case {
    std::string line;  // line 70 of series 2
    int read;          // samples read from series 2
  };
  const std::vector<Case> cases = {
      // Not a number: the series ends at this line, silently.
      {"NaN", 69}, {"nan", 69}, {"-NaN", 69}, {"Infinity", 69}, {"-Infinity", 69}, {"inf", 69}, {"+Inf", 69},
      {"1e39", 69}, {"-1e39", 69}, {"1D39", 69}, {"3.4028236e38", 69}, {"0x10", 69}, {"1e", 69}, {"--1", 69},
      {std::string(1 << 20, '9'), 69},  // a 1 MB integer overflows a float
      // Numbers, however extreme: read (the largest float, a denormal, zero).
      {"1e38", 100}, {"-3.4028235e38", 100}, {"3.40282356e38", 100}, {"1e-45", 100}, {"1e-50", 100},
      {"0." + std::string(1 << 20, '0') + "1", 100}, {".5", 100}, {"5.", 100}, {"1.0d0", 100},
      {"1.5 NaN", 100}, {"1,NaN", 100}, {"\t 7", 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 20));
    TempDir dir;
    WriteSeries(dir);
    std::vector<std::string> v = Values(100, 2);
    v[69] = c.line;
    dir.Write("s2.dat", e2e::Lines(v));
    const e2e::RunResult r = Run(dir, kAnswers);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find(Report("s1.dat", 100) + Report("s2.dat", c.read) + Report("s3.dat", 100) +
                         Free("Real number of samples to be processed =", c.read)),
              std::string::npos);
    EXPECT_EQ(ValueFields(dir).size(), static_cast<std::size_t>(c.read));
  }
}

TEST_P(Hostile, DenormalIsReadAsTheNearestFloat) {
  // Series 3 is zero but for one sample. The normalisation divides by the
  // window's range, so a denormal spike gives the same output as a spike of
  // 1, while a spike that reads as zero leaves a zero range and NaNs.
  auto run = [&](const std::string& spike) {
    TempDir dir;
    WriteSeries(dir);
    std::vector<std::string> v(100, "0");
    v[49] = spike;
    dir.Write("s3.dat", e2e::Lines(v));
    EXPECT_EQ(Run(dir, kAnswers).status, 0);
    return dir.Read(P().outputName);
  };
  const std::string one = run("1");
  EXPECT_EQ(one.find("NaN"), std::string::npos);
  EXPECT_EQ(run("1e-45"), one);
  EXPECT_EQ(run("1.4e-45"), one);
  for (const std::string& f : SplitLines(run("1e-46"))) EXPECT_EQ(f.substr(0, 15), "            NaN");
}

TEST_P(Hostile, HugeSamplesGiveTheOutputOfTheirScaledDownSeries) {
  // Every sample times 2^123 (up to about 1.6e38): read exactly, and the
  // normalisation divides the factor out again without overflow.
  TempDir dir;
  WriteSeries(dir);
  for (int i = 1; i <= 3; ++i) {
    std::vector<std::string> v;
    for (int k = 1; k <= 100; ++k) v.push_back(Text(std::ldexp(Sample(k, i), 123)));
    dir.Write("s" + std::to_string(i) + ".dat", e2e::Lines(v));
  }
  EXPECT_EQ(Run(dir, kAnswers).status, 0);
  EXPECT_EQ(dir.Read(P().outputName), BaselineOutput());
}

TEST_P(Hostile, SeriesWithoutRangeGiveNaNsAndEnd) {
  struct Case {
    const char* what;
    std::string series2;
    std::string answers;
  };
  const std::vector<Case> cases = {
      {"constant series", e2e::Lines(std::vector<std::string>(100, "2.5")), kAnswers},
      {"series of zeros", e2e::Lines(std::vector<std::string>(100, "0")), kAnswers},
      // Differences of a constant series are zeros; sliding windows on level 1.
      {"constant series on differences", e2e::Lines(std::vector<std::string>(100, "-7")),
       "1\n100\n1\n40\n4\n5\n0\n1 1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteSeries(dir);
    dir.Write("s2.dat", c.series2);
    const e2e::RunResult r = Run(dir, c.answers);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> fields = ValueFields(dir);
    EXPECT_EQ(fields.size(), 100u);
    for (const std::string& f : fields) EXPECT_EQ(f, "            NaN");
  }
}

// ---------------------------------------------------------------------------
// The text of the files: line ends, long lines, no final line end.

TEST_P(Hostile, TextVariantsReadTheSameSamples) {
  const std::string baseline = BaselineOutput();
  // A megabyte of text on every 25th line only: enough to cross any buffer.
  struct Case {
    const char* what;
    std::string (*line)(const std::string& value, bool big);  // a sample's line
    const char* end;                                          // line end
    bool finalEnd;                                            // after the last line
  };
  const std::vector<Case> cases = {
      {"CR LF", [](const std::string& v, bool) { return v; }, "\r\n", true},
      {"no final line end", [](const std::string& v, bool) { return v; }, "\n", false},
      {"CR LF and no final line end", [](const std::string& v, bool) { return v; }, "\r\n", false},
      {"1 MB of blanks after the value",
       [](const std::string& v, bool big) { return big ? v + std::string(1 << 20, ' ') : v; }, "\n", true},
      {"1 MB of text after the value",
       [](const std::string& v, bool big) { return big ? v + " " + std::string(1 << 20, 'x') : v; }, "\n", true},
      {"1 MB of blanks and tabs before the value",
       [](const std::string& v, bool big) { return big ? std::string(1 << 19, ' ') + std::string(1 << 19, '\t') + v : v; },
       "\n", true},
      {"1 MB of zero digits ending the value",
       [](const std::string& v, bool big) {
         if (!big || v.find('e') != std::string::npos) return v;
         return v + (v.find('.') == std::string::npos ? "." : "") + std::string(1 << 20, '0');
       },
       "\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string list;
    for (int i = 1; i <= 3; ++i) {
      const std::string name = "s" + std::to_string(i) + ".dat";
      list += name + (i < 3 || c.finalEnd ? c.end : "");
      std::string text;
      const std::vector<std::string> v = Values(100, i);
      for (std::size_t k = 0; k < v.size(); ++k)
        text += c.line(v[k], k % 25 == 0 || k + 1 == v.size()) + (k + 1 < v.size() || c.finalEnd ? c.end : "");
      dir.Write(name, text);
    }
    dir.Write("list", list);
    const e2e::RunResult r = Run(dir, kAnswers);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(Report("s3.dat", 100)), std::string::npos);
    EXPECT_EQ(dir.Read(P().outputName), baseline);
  }
}

// ---------------------------------------------------------------------------
// Standard input.

TEST_P(Hostile, EndOfInputAtEveryReadIsFatal24) {
  const std::string eof = Fatal(24, "end-of-file during read, unit 5, file stdin");
  const std::vector<std::string> answers = SplitLines(kAnswers);
  struct Case {
    std::string what;
    std::string input;
    std::string list;  // empty: the three series
  };
  std::vector<Case> cases;
  for (std::size_t given = 0; given < answers.size(); ++given) {
    std::string input;
    for (std::size_t k = 0; k < given; ++k) input += answers[k] + "\n";
    cases.push_back({"before answer " + std::to_string(given + 1), input, ""});
  }
  cases.push_back({"between the two values of prompt 8", "1\n100\n0\n100\n2\n3\n0\n1\n", ""});
  cases.push_back({"after refused answers", "1\n100\n7\n-1\nabc\n", ""});
  cases.push_back({"after binary answers", std::string("\0\xff\x01\n\x7f,\t\n", 7), ""});
  cases.push_back({"at the Enter wait of too few series", "", "s1.dat\ns2.dat\n"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteSeries(dir);
    if (!c.list.empty()) dir.Write("list", c.list);
    const e2e::RunResult r = Run(dir, c.input);
    EXPECT_EQ(r.status, 24);
    EXPECT_EQ(r.err, eof);
    EXPECT_FALSE(dir.Exists(P().outputName));
  }
  // At the Enter wait of a missing "list".
  TempDir none;
  const e2e::RunResult r = Run(none, "");
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.err, eof);

  // The last answer without a line end is still an answer.
  TempDir dir;
  WriteSeries(dir);
  const e2e::RunResult done = Run(dir, kAnswers.substr(0, kAnswers.size() - 1));
  EXPECT_EQ(done.status, 0);
  EXPECT_EQ(done.err, "");
  EXPECT_EQ(dir.Read(P().outputName), BaselineOutput());
}

TEST_P(Hostile, ExtremeAnswers) {
  struct Case {
    const char* what;
    std::string answers;
    std::string time1, time2;  // time fields of records 1 and 2
  };
  const std::vector<Case> cases = {
      // Refused as not numbers or out of their type's range, then answered.
      {"overflowing and non-numeric answers",
       "99999999999\n1\n1e3\n2147483648\n100\n0\n-5\n0\n100\n2\n3\nNaN\nInfinity\n1e309\n0\ninf 1\n1 NaN\n1e39 1\n1 1\n",
       "        0.0000000000", "     1.000000000    "},
      // Leng far beyond the files is lowered by the probe; Lwin cut to Leng.
      {"largest Leng and Lwin", "1\n2147483647\n0\n2147483647\n2\n3\n0\n1 1\n", "        0.0000000000",
       "     1.000000000    "},
      {"time marks with three-digit exponents", "1\n100\n0\n100\n2\n3\n-1e300\n3e38 1e-45\n",
       "   -0.1000000000+301", "   -0.1000000000+301"},
      {"denormal time step", "1\n100\n0\n100\n2\n3\n0\n1e-45 1e38\n", "        0.0000000000",
       "    0.1401298509E-82"},
  };
  const std::string baseline = BaselineOutput();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteSeries(dir);
    const e2e::RunResult r = Run(dir, c.answers);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = SplitLines(dir.Read(P().outputName));
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines[0].substr(15), c.time1);
    EXPECT_EQ(lines[1].substr(15), c.time2);
    // The values are those of the baseline run.
    const std::vector<std::string> base = SplitLines(baseline);
    for (std::size_t k = 0; k < lines.size(); ++k) EXPECT_EQ(lines[k].substr(0, 15), base[k].substr(0, 15));
  }
  // The first sample beyond every file: the probe's stop.
  TempDir dir;
  WriteSeries(dir);
  const e2e::RunResult r = Run(dir, "2147483647\n64\n");
  EXPECT_EQ(r.status, 0);
  const std::string stop = std::string(" The file #1 is finished when missing first records !\n") + kStop;
  ASSERT_GE(r.out.size(), stop.size());
  EXPECT_EQ(r.out.substr(r.out.size() - stop.size()), stop);
}

// ---------------------------------------------------------------------------
// Many series.

TEST_P(Hostile, HundredSeriesFillTheProgressFieldsWithAsterisks) {
  // 100 series of 64 samples: more series than Nfour, and series numbers of
  // three digits in the two-character progress field. One working level.
  TempDir dir;
  WriteSeries(dir, 100, 64);
  const e2e::RunResult r = Run(dir, "1\n64\n0\n64\n2\n32\n0\n1 1\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find(Free("Number of series to process =", 100)), std::string::npos);
  EXPECT_NE(r.out.find(Report("s100.dat", 64) + Free("Real number of samples to be processed =", 64)),
            std::string::npos);
  EXPECT_NE(r.out.find("+Transformation for series #99\n+Transformation for series #**\n  \n"), std::string::npos);
  EXPECT_NE(r.out.find("+Direct FWT for series #99\n+Direct FWT for series #**\n"), std::string::npos);
  EXPECT_NE(r.out.find(Free("Last working MRA-level=", 1) + " It has           32 wavelet coefficients.\n"),
            std::string::npos);
  const std::vector<std::string> fields = ValueFields(dir);
  EXPECT_EQ(fields.size(), 64u);
  for (const std::string& f : fields) EXPECT_EQ(f.find_first_of("N*I"), std::string::npos) << f;
}

INSTANTIATE_TEST_SUITE_P(Programs, Hostile, ::testing::Values(kIvra, kKelto),
                         [](const ::testing::TestParamInfo<Program>& info) { return std::string(info.param.name); });

}  // namespace
