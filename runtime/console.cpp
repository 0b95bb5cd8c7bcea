// Console records on standard output and free-form answers from standard input.
#include "console.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "freeform.h"
#include "lineio.h"
#include "runtime.h"

namespace rt {

namespace {

// The process's one console. On a terminal, records are written as "\n" + text
// (new line) or "\r" + text (overwrite), so the last record's line stays open
// until the next record, a read or the end of the run closes it.
struct Console {
  bool ready = false;
  bool out_terminal = false;  // standard output is a terminal
  bool in_terminal = false;   // standard input is a terminal (echoes the Enter)
  bool line_open = false;     // terminal only: the cursor stands after a record
  bool quiet = false;         // a fatal error is under way: never report again
};

Console& TheConsole() {
  static Console console;
  if (!console.ready) {
    console.ready = true;
    console.out_terminal = isatty(STDOUT_FILENO) == 1;
    console.in_terminal = isatty(STDIN_FILENO) == 1;
    std::atexit(FinishConsole);
  }
  return console;
}

void Put(std::string_view text) {
  if (text.empty()) return;
  // A buffer flushed on the way (line buffering) may fail without a short count.
  bool failed = std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::ferror(stdout);
  if (failed && !TheConsole().quiet) FatalIo(kErrWrite, kConsoleOutUnit, "stdout");
}

void Flush() {
  bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
  if (failed && !TheConsole().quiet) FatalIo(kErrWrite, kConsoleOutUnit, "stdout");
}

// Reads one console line; end of input is fatal 24.
void ReadConsoleLine(std::string& line) {
  Console& console = TheConsole();
  Flush();
  LineStatus status = ReadTextLine(stdin, line);
  if (status == LineStatus::kEnd) FatalIo(kErrEndOfFile, kConsoleInUnit, "stdin");
  if (status == LineStatus::kError) FatalIo(kErrRead, kConsoleInUnit, "stdin");
  // A terminal on standard input echoed the Enter, which ended the open line.
  if (console.in_terminal) console.line_open = false;
}

// Reads `count` values, each converted by `parse(index, token)`; further lines
// are read while values are missing. False at the first value that does not
// convert; the rest of its line is dropped with it.
template <class Parse>
bool ReadValues(int count, Parse parse) {
  std::string line;
  ReadConsoleLine(line);
  std::size_t pos = 0;
  for (int k = 0; k < count; ++k) {
    std::string_view token;
    while (!NextToken(line, pos, token)) {
      ReadConsoleLine(line);
      pos = 0;
    }
    if (!parse(k, token)) return false;
  }
  return true;
}

}  // namespace

void WriteRecord(const std::string& record) {
  Console& console = TheConsole();
  if (!console.out_terminal) {
    Put(record);
    Put("\n");
    return;
  }
  std::string_view text = record;
  char control = text.empty() ? ' ' : text[0];
  if (!text.empty()) text.remove_prefix(1);
  if (control == '+') {
    Put("\r");
  } else if (console.line_open) {
    Put("\n");
  }
  Put(text);
  console.line_open = true;
  // Progress lines must show while the run goes on.
  Flush();
}

void WriteFree(const std::string& items) { WriteRecord(" " + items); }

std::string FreeInt(long long value) {
  std::string digits = std::to_string(value);
  if (digits.size() >= 12) return digits;
  return std::string(12 - digits.size(), ' ') + digits;
}

void WritePlainLine(const std::string& text) {
  Console& console = TheConsole();
  if (console.out_terminal && console.line_open) Put("\n");
  Put(text);
  Put("\n");
  console.line_open = false;
}

void FinishConsole() {
  Console& console = TheConsole();
  if (console.out_terminal && console.line_open) {
    console.line_open = false;
    Put("\n");
  }
  bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
  if (failed && !console.quiet) {
    // Also reached from exit(): report and leave without running exit again.
    console.quiet = true;
    std::fprintf(stderr, "%s\n", FatalText(kErrWrite, kConsoleOutUnit, "stdout").c_str());
    std::fflush(stderr);
    _exit(kErrWrite);
  }
}

void FinishConsoleQuietly() {
  Console& console = TheConsole();
  console.quiet = true;
  FinishConsole();
}

bool ReadInt(int& value) {
  return ReadValues(1, [&](int, std::string_view t) { return ParseInt(t, value); });
}

bool ReadDouble(double& value) {
  return ReadValues(1, [&](int, std::string_view t) { return ParseDouble(t, value); });
}

bool ReadRealPair(float& first, float& second) {
  float a = 0.0f;
  float b = 0.0f;
  if (!ReadValues(2, [&](int k, std::string_view t) { return ParseFloat(t, k == 0 ? a : b); })) return false;
  first = a;
  second = b;
  return true;
}

void WaitEnter() {
  std::string line;
  ReadConsoleLine(line);
}

}  // namespace rt
