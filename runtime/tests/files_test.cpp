#include "files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

using rt_test::ChildResult;
using rt_test::RunChild;

// A fresh folder per test, removed afterwards.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/rt_files_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
  }
  void TearDown() override { std::system(("chmod -R u+rwx '" + dir_ + "'; rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
    return Path(name);
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static std::vector<std::string> ReadAll(rt::InputFile& f) {
    std::vector<std::string> out;
    std::string line = "stale";
    while (f.ReadLine(line)) out.push_back(line);
    return out;
  }

  std::string dir_;
};

using Lines = std::vector<std::string>;

TEST_F(FilesTest, LinesEndInLfOrCrLfAndALastLineNeedsNoEnd) {
  struct Case {
    std::string content;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\n\n  \nb", {"a", "", "  ", "b"}},
      {"x\ry\r\n", {"x\ry"}},  // only the CR before the LF belongs to the line end
      {std::string("n\0ul\n", 5), {std::string("n\0ul", 4)}},
      // Lines around the size of a read block, the last without an end.
      {std::string(127, 'a') + "\n" + std::string(128, 'b') + "\r\n" + std::string(129, 'c') + "\n" +
           std::string(256, 'd'),
       {std::string(127, 'a'), std::string(128, 'b'), std::string(129, 'c'), std::string(256, 'd')}},
  };
  for (const Case& c : cases) {
    rt::InputFile f(Write("in", c.content));
    EXPECT_EQ(ReadAll(f), c.lines) << c.content;
  }
}

TEST_F(FilesTest, VeryLongLineAndRewind) {
  std::string long_line(1 << 20, '7');
  rt::InputFile f(Write("in", "first\n" + long_line + "\nlast"));
  EXPECT_EQ(ReadAll(f), (Lines{"first", long_line, "last"}));
  std::string line;
  EXPECT_FALSE(f.ReadLine(line));
  f.Rewind();
  ASSERT_TRUE(f.ReadLine(line));
  EXPECT_EQ(line, "first");
}

TEST_F(FilesTest, OpenFailuresOfAnInputFileAreFatalByCause) {
  Write("plain", "x\n");
  ASSERT_EQ(mkdir(Path("folder").c_str(), 0755), 0);
  struct Case {
    std::string name;
    int status;
    const char* text;
  } cases[] = {
      {Path("missing"), 29, "file not found"},
      {Path("nofolder/x"), 29, "file not found"},
      {Path("plain/x"), 29, "file not found"},  // ENOTDIR
      {"", 29, "file not found"},
      {Path(std::string(5000, 'n')), 43, "invalid file name"},
      {Path("folder"), 30, "open failure"},
  };
  for (const Case& c : cases) {
    ChildResult r = RunChild([&] { rt::InputFile f(c.name); });
    EXPECT_TRUE(r.exited) << c.name;
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, "runtime_tests: severe (" + std::to_string(c.status) + "): " + c.text + ", unit 1, file " +
                         c.name + "\n");
    EXPECT_EQ(rt::InputFile::TryOpen(c.name), nullptr) << c.name;
  }
}

TEST_F(FilesTest, NameWithNulIsAFileNameError) {
  std::string name = Path("plain") + std::string(1, '\0') + "tail";
  Write("plain", "x\n");  // the part before the NUL exists: it must not be opened
  ChildResult r = RunChild([&] { rt::InputFile f(name); });
  EXPECT_EQ(r.status, 43);
  EXPECT_EQ(rt::InputFile::TryOpen(name), nullptr);
  r = RunChild([&] { rt::OutputFile f(name); });
  EXPECT_EQ(r.status, 43);
}

// Permissions do not bind root: the child drops to an ordinary user first.
void DropPrivileges() {
  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(99);
}

TEST_F(FilesTest, DeniedAccessIsFatal9) {
  std::string locked = Write("locked", "x\n");
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  ChildResult r = RunChild([&] {
    DropPrivileges();
    rt::InputFile f(locked);
  });
  EXPECT_EQ(r.status, 9);
  EXPECT_EQ(r.err, "runtime_tests: severe (9): permission to access file denied, unit 1, file " + locked + "\n");
  r = RunChild([&] {
    DropPrivileges();
    if (rt::InputFile::TryOpen(locked) == nullptr) std::_Exit(5);
  });
  EXPECT_EQ(r.status, 5);
  r = RunChild([&] {
    DropPrivileges();
    rt::OutputFile f(locked);
  });
  EXPECT_EQ(r.status, 9);
}

TEST_F(FilesTest, ReadFailureMidFileIsFatal39) {
  // Reading /proc/self/mem from offset 0 fails with EIO.
  ChildResult r = RunChild([] {
    rt::InputFile f("/proc/self/mem");
    std::string line;
    f.ReadLine(line);
  });
  EXPECT_EQ(r.status, 39);
  EXPECT_EQ(r.err, "runtime_tests: severe (39): error during read, unit 1, file /proc/self/mem\n");
}

TEST_F(FilesTest, OutputFileIsTruncatedAndWrittenLineByLine) {
  std::string path = Write("out.dat", std::string(1000, 'o') + "\nold\n");
  {
    rt::OutputFile out(path);
    out.WriteLine("    1.00000        0.0000000000");
    out.WriteLine("");
    out.WriteLine("last");
    out.Close();
    out.Close();  // a second close does nothing
  }
  EXPECT_EQ(Slurp(path), "    1.00000        0.0000000000\n\nlast\n");
  {
    rt::OutputFile out(Path("new.dat"));
    out.WriteLine("x");
  }  // closed on destruction
  EXPECT_EQ(Slurp(Path("new.dat")), "x\n");
}

TEST_F(FilesTest, OutputFileFailuresAreFatal) {
  ASSERT_EQ(mkdir(Path("folder").c_str(), 0755), 0);
  struct Case {
    std::string name;
    int status;
    const char* text;
  } cases[] = {
      {Path("nofolder/out.dat"), 30, "open failure"},
      {Path("folder"), 30, "open failure"},
      {Path(std::string(5000, 'n')), 43, "invalid file name"},
  };
  for (const Case& c : cases) {
    ChildResult r = RunChild([&] { rt::OutputFile f(c.name); });
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, "runtime_tests: severe (" + std::to_string(c.status) + "): " + c.text + ", unit 1, file " +
                         c.name + "\n");
  }
}

TEST_F(FilesTest, WriteFailureOfTheOutputFileIsFatal38) {
  ChildResult r = RunChild([] {
    rt::OutputFile out("/dev/full");
    out.WriteLine("x");
    out.Close();
    std::fputs("not reached\n", stderr);
  });
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "runtime_tests: severe (38): error during write, unit 1, file /dev/full\n");
  // A failure of a large write shows before the close.
  r = RunChild([] {
    rt::OutputFile out("/dev/full");
    std::string big(1 << 16, 'x');
    for (int i = 0; i < 4; ++i) out.WriteLine(big);
    std::fputs("not reached\n", stderr);
    std::_Exit(0);
  });
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "runtime_tests: severe (38): error during write, unit 1, file /dev/full\n");
}

}  // namespace
