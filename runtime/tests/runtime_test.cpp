#include "runtime.h"

#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "child_process.h"
#include "console.h"

namespace {

using rt_test::ChildResult;
using rt_test::Input;
using rt_test::Output;
using rt_test::RunChild;

TEST(Stop, WritesTheStopTextAsAPlainLineAndExitsZero) {
  ChildResult r = RunChild([] {
    rt::WriteFree("Number of series must be => 3 !");
    rt::StopProgram();
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " Number of series must be => 3 !\nStop - Program terminated.\n");
  EXPECT_EQ(r.err, "");

  r = RunChild([] { rt::StopProgram("The real time window is too short !"); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "The real time window is too short !\n");
}

TEST(Stop, OnATerminalTheStopTextTakesALineOfItsOwn) {
  ChildResult r = RunChild([] {
    rt::WriteFree("Press <Enter> to terminate...");
    rt::StopProgram();
  }, "", Output::kTerminal);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Press <Enter> to terminate...\nStop - Program terminated.\n");

  // After an echoed Enter no line is open.
  r = RunChild([] {
    rt::WriteFree("Press <Enter> to terminate...");
    rt::WaitEnter();
    rt::StopProgram();
  }, "\n", Output::kTerminal, Input::kTerminal);
  EXPECT_EQ(r.out, "Press <Enter> to terminate...Stop - Program terminated.\n");
}

TEST(Fatal, ReportsOneLineOnStandardErrorAndExitsWithTheNumber) {
  struct Case {
    void (*raise)();
    int status;
    const char* line;
  } cases[] = {
      {[] { rt::FatalIo(rt::kErrFileNotFound, 1, "series 1.txt"); }, 29,
       "runtime_tests: severe (29): file not found, unit 1, file series 1.txt\n"},
      {[] { rt::FatalIo(rt::kErrOpenFailure, 1, "Ivra.dat"); }, 30,
       "runtime_tests: severe (30): open failure, unit 1, file Ivra.dat\n"},
      {[] { rt::FatalIo(rt::kErrEndOfFile, 5, "stdin"); }, 24,
       "runtime_tests: severe (24): end-of-file during read, unit 5, file stdin\n"},
      {[] { rt::Fatal(rt::kErrNoMemory); }, 41, "runtime_tests: severe (41): insufficient virtual memory\n"},
      {[] { rt::Fatal(rt::kErrArraySize); }, 179,
       "runtime_tests: severe (179): Cannot allocate array - overflow on array size calculation.\n"},
  };
  for (const Case& c : cases) {
    ChildResult r = RunChild([&] {
      rt::WriteFree("before");
      c.raise();
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.line);
    EXPECT_EQ(r.out, " before\n");  // buffered output is flushed first
  }
  EXPECT_EQ(rt::FatalText(rt::kErrPermission, 1, "x") + "\n",
            "runtime_tests: severe (9): permission to access file denied, unit 1, file x\n");
  EXPECT_EQ(rt::FatalText(rt::kErrFileName, 1, "y"), "runtime_tests: severe (43): invalid file name, unit 1, file y");
  EXPECT_EQ(rt::FatalText(rt::kErrWrite, 6, "stdout"), "runtime_tests: severe (38): error during write, unit 6, file stdout");
}

TEST(Fatal, DeathTestFormOfAMissingFile) {
  EXPECT_EXIT(rt::FatalIo(rt::kErrFileNotFound, 1, "absent"), ::testing::ExitedWithCode(29),
              "^runtime_tests: severe \\(29\\): file not found, unit 1, file absent\n$");
}

TEST(CheckedSqrt, NegativeArgumentEndsTheProcessWithStatus3) {
  EXPECT_EQ(rt::CheckedSqrt(4.0), 2.0);
  EXPECT_EQ(rt::CheckedSqrt(0.0), 0.0);
  EXPECT_TRUE(std::signbit(rt::CheckedSqrt(-0.0)));
  EXPECT_TRUE(std::isnan(rt::CheckedSqrt(std::nan(""))));
  EXPECT_TRUE(std::isinf(rt::CheckedSqrt(INFINITY)));
  ChildResult r = RunChild([] {
    rt::WriteFree("before");
    volatile double x = -1e-300;
    rt::CheckedSqrt(x);
  });
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "runtime_tests: math domain error: sqrt of a negative number\n");
  EXPECT_EQ(r.out, " before\n");
}

TEST(Alloc, ZeroedArraysWithinThe32BitByteLimit) {
  std::vector<float> a = rt::AllocReals(5);
  EXPECT_EQ(a, std::vector<float>(5, 0.0f));
  EXPECT_TRUE(rt::AllocInts(0).empty());
  struct Case {
    bool reals;
    std::int64_t count;
  } too_big[] = {{true, 1073741824}, {false, 1073741824}, {true, -1}, {true, INT64_MAX}, {false, INT64_MIN}};
  for (const Case& c : too_big) {
    ChildResult r = RunChild([&] { c.reals ? (void)rt::AllocReals(c.count) : (void)rt::AllocInts(c.count); });
    EXPECT_EQ(r.status, 179) << c.count;
    EXPECT_EQ(r.err, "runtime_tests: severe (179): Cannot allocate array - overflow on array size calculation.\n");
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressLimitUsable = false;
#else
constexpr bool kAddressLimitUsable = true;
#endif

void LimitAddressSpace() {
  rlimit lim{rlim_t{512} << 20, rlim_t{512} << 20};
  setrlimit(RLIMIT_AS, &lim);
}

TEST(Alloc, FailedAllocationIsFatal41) {
  if (!kAddressLimitUsable) GTEST_SKIP() << "address-space limit conflicts with the sanitizer";
  // The largest array the size check lets through (just under 4 GiB).
  ChildResult r = RunChild([] {
    LimitAddressSpace();
    rt::AllocReals(1073741823);
  });
  EXPECT_EQ(r.status, 41);
  EXPECT_EQ(r.err, "runtime_tests: severe (41): insufficient virtual memory\n");
  // Any other allocation fails the same way once the run-time is installed.
  r = RunChild([] {
    rt::InstallRuntime();
    LimitAddressSpace();
    volatile char* p = new char[std::size_t{1} << 31];
    p[0] = 1;
  });
  EXPECT_EQ(r.status, 41);
  EXPECT_EQ(r.err, "runtime_tests: severe (41): insufficient virtual memory\n");
}

TEST(InstallRuntime, FloatingPointNeverTrapsAndRoundsToNearest) {
  ChildResult r = RunChild([] {
    std::fesetround(FE_UPWARD);
    feenableexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
    rt::InstallRuntime();
    volatile double zero = 0.0;
    volatile double big = 1e308;
    double inf = 1.0 / zero;
    double nan = zero / zero;
    double over = big * 10.0;
    volatile double one = 1.0;
    volatile double three = 3.0;
    double third = one / three;
    bool ok = std::isinf(inf) && std::isnan(nan) && std::isinf(over) && std::fegetround() == FE_TONEAREST &&
              fegetexcept() == 0 && third == 0.33333333333333331;
    std::_Exit(ok ? 0 : 1);
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
}

TEST(InstallRuntime, ClosedPipeOnStandardOutputIsFatal38) {
  ChildResult r = RunChild([] {
    rt::InstallRuntime();
    int p[2];
    if (pipe(p) != 0) std::_Exit(99);
    close(p[0]);
    dup2(p[1], STDOUT_FILENO);
    close(p[1]);
    rt::WriteFree("nobody reads this");
    rt::FinishConsole();
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "runtime_tests: severe (38): error during write, unit 6, file stdout\n");
}

}  // namespace
