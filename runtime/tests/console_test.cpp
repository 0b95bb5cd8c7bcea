#include "console.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "child_process.h"

namespace {

using rt_test::ChildResult;
using rt_test::Input;
using rt_test::Output;
using rt_test::RunChild;

const std::string kEof24 = "runtime_tests: severe (24): end-of-file during read, unit 5, file stdin\n";

// Reads integers as a prompt loop does, reporting every attempt on standard
// output ("ok <v>" or "error").
void ReadIntsReporting(int count) {
  for (int i = 0; i < count; ++i) {
    int v = 0;
    bool ok = rt::ReadInt(v);
    rt::WriteFree(ok ? "ok " + std::to_string(v) : "error");
  }
}

TEST(ConsoleRecords, RedirectedOutputKeepsTheControlCharacter) {
  ChildResult r = RunChild([] {
    rt::WriteFree("Nfour=" + rt::FreeInt(64));
    rt::WriteFree(" ");
    rt::WriteRecord("+ 1   10");
    rt::WriteRecord("+ 2   20");
    rt::WriteRecord("");
    rt::WriteFree("The " + rt::FreeInt(3) + "-th serie is finished.");
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            " Nfour=          64\n"
            "  \n"
            "+ 1   10\n"
            "+ 2   20\n"
            "\n"
            " The            3-th serie is finished.\n");
  EXPECT_EQ(r.err, "");
}

TEST(ConsoleRecords, FreeIntIsRightJustifiedIn12) {
  EXPECT_EQ(rt::FreeInt(64), "          64");
  EXPECT_EQ(rt::FreeInt(0), "           0");
  EXPECT_EQ(rt::FreeInt(-2147483647 - 1), " -2147483648");
  EXPECT_EQ(rt::FreeInt(2147483647), "  2147483647");
}

TEST(ConsoleRecords, TerminalHidesControlAndOverwritesWithPlus) {
  ChildResult r = RunChild(
      [] {
        rt::WriteFree("Banner");
        rt::WriteFree(" ");
        rt::WriteRecord("+ 1 of 3");
        rt::WriteRecord("+ 2 of 3");
        rt::WriteFree("Done");
      },
      "", Output::kTerminal);
  EXPECT_EQ(r.status, 0);
  // Each new-line record ends the open line first; the run's end closes the last.
  EXPECT_EQ(r.out, "Banner\n \r 1 of 3\r 2 of 3\nDone\n");
}

TEST(ConsoleRecords, TerminalLineIsClosedByAnEchoedEnter) {
  // Standard input on the same terminal: the user's Enter ended the prompt line.
  ChildResult r = RunChild(
      [] {
        rt::WriteFree("Prompt = ?");
        int v = 0;
        rt::ReadInt(v);
        rt::WriteFree("Got " + rt::FreeInt(v));
        rt::WriteRecord("+progress");
        rt::WaitEnter();
        rt::WriteFree("After");
      },
      "42\r\n\n", Output::kTerminal, Input::kTerminal);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Prompt = ?Got           42\rprogressAfter\n");
}

TEST(ConsoleRecords, TerminalLineStaysOpenWhenInputIsAFile) {
  // Nothing echoes an Enter, so the next record must start a new line itself.
  ChildResult r = RunChild(
      [] {
        rt::WriteFree("Prompt = ?");
        int v = 0;
        rt::ReadInt(v);
        rt::WriteFree("Got " + rt::FreeInt(v));
      },
      "42\n", Output::kTerminal);
  EXPECT_EQ(r.out, "Prompt = ?\nGot           42\n");
}

TEST(ConsoleRecords, WriteFailureOnStandardOutputIsFatal38) {
  ChildResult r = RunChild([] {
    int fd = open("/dev/full", O_WRONLY);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    rt::WriteFree("lost");
    rt::FinishConsole();
    std::fputs("not reached\n", stderr);
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "runtime_tests: severe (38): error during write, unit 6, file stdout\n");
}

TEST(ConsoleRecords, WriteFailureAtTheNormalEndIsFatal38) {
  ChildResult r = RunChild([] {
    int fd = open("/dev/full", O_WRONLY);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    rt::WriteFree("lost");
  });
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "runtime_tests: severe (38): error during write, unit 6, file stdout\n");
}

TEST(ConsoleReads, ReadErrorsAreReportedAndTheNextReadTakesANewLine) {
  ChildResult r = RunChild([] { ReadIntsReporting(7); },
                           "0\n"
                           "-3 junk\n"
                           "abc 5\n"
                           "1.5\n"
                           "\n"
                           "  \t , \n"
                           "100 200\n"
                           "2147483648\n"
                           "-2147483648,\n"
                           "7");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            " ok 0\n"
            " ok -3\n"
            " error\n"
            " error\n"
            " ok 100\n"  // blank lines passed over, the 200 ignored
            " error\n"
            " ok -2147483648\n");
}

TEST(ConsoleReads, LastLineWithoutEndAndCrLfLines) {
  ChildResult r = RunChild([] { ReadIntsReporting(3); }, "12\r\n\r\n13\r\n14");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, " ok 12\n ok 13\n ok 14\n");
}

TEST(ConsoleReads, RealPairMaySpanLines) {
  ChildResult r = RunChild(
      [] {
        for (int i = 0; i < 5; ++i) {
          float a = 0.0f;
          float b = 0.0f;
          bool ok = rt::ReadRealPair(a, b);
          char buf[64];
          std::snprintf(buf, sizeof buf, "%d %.9g %.9g", ok ? 1 : 0, a, b);
          rt::WriteFree(buf);
        }
      },
      "1 0\n"
      "1,4\n"
      "3\n"
      "\n"
      "2 trailing words\n"
      "1 x\n"
      "1e39 1\n"
      "2.5d0\t-0.5\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            " 1 1 0\n"
            " 1 1 4\n"
            " 1 3 2\n"
            " 0 0 0\n"  // a failed pair leaves both values as they were
            " 0 0 0\n");
}

TEST(ConsoleReads, DoubleTakesAnyNumberButNoNaNOrInfinity) {
  ChildResult r = RunChild(
      [] {
        for (int i = 0; i < 5; ++i) {
          double v = -1.0;
          bool ok = rt::ReadDouble(v);
          char buf[64];
          std::snprintf(buf, sizeof buf, "%d %.17g", ok ? 1 : 0, v);
          rt::WriteFree(buf);
        }
      },
      "NaN\nInfinity\n-inf\n2008.5\n1e39,\n");
  EXPECT_EQ(r.out, " 0 -1\n 0 -1\n 0 -1\n 1 2008.5\n 1 9.9999999999999994e+38\n");
}

TEST(ConsoleReads, EnterWaitConsumesOneWholeLine) {
  ChildResult r = RunChild(
      [] {
        rt::WaitEnter();
        rt::WaitEnter();
        ReadIntsReporting(1);
      },
      "5 6 7\n\n8\n");
  EXPECT_EQ(r.out, " ok 8\n");
}

TEST(ConsoleReads, EndOfInputIsFatal24AtEveryKindOfRead) {
  struct Case {
    const char* name;
    std::string input;
    void (*body)();
  } cases[] = {
      {"int at once", "", [] { int v; rt::ReadInt(v); }},
      {"int after blank lines", "\n  \n", [] { int v; rt::ReadInt(v); }},
      {"second value of a pair", "1.5\n", [] { float a, b; rt::ReadRealPair(a, b); }},
      {"double", "", [] { double v; rt::ReadDouble(v); }},
      {"Enter wait", "", [] { rt::WaitEnter(); }},
      {"Enter wait after a read", "3\n", [] { int v; rt::ReadInt(v); rt::WaitEnter(); }},
  };
  for (const Case& c : cases) {
    ChildResult r = RunChild([&] {
      rt::WriteFree("before");
      c.body();
      rt::WriteFree("not reached");
    }, c.input);
    EXPECT_TRUE(r.exited) << c.name;
    EXPECT_EQ(r.status, 24) << c.name;
    EXPECT_EQ(r.err, kEof24) << c.name;
    EXPECT_EQ(r.out, " before\n") << c.name;  // output written before the read is not lost
  }
}

TEST(ConsoleReads, EndOfInputOnATerminalEndsTheOpenLineFirst) {
  ChildResult r = RunChild([] {
    rt::WriteFree("Prompt = ?");
    rt::WaitEnter();
  }, "", Output::kTerminal);
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.out, "Prompt = ?\n");
  EXPECT_EQ(r.err, kEof24);
}

}  // namespace
