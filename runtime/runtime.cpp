// Program stops, fatal run-time errors, checked square root and allocation.
#include "runtime.h"

#include <errno.h>  // program_invocation_short_name

#include <cfenv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "console.h"

namespace rt {

namespace {

const char* ProgramName() { return program_invocation_short_name; }

const char* FatalFormat(int code) {
  switch (code) {
    case kErrPermission: return "permission to access file denied, unit %d, file %s";
    case kErrEndOfFile: return "end-of-file during read, unit %d, file %s";
    case kErrFileNotFound: return "file not found, unit %d, file %s";
    case kErrOpenFailure: return "open failure, unit %d, file %s";
    case kErrWrite: return "error during write, unit %d, file %s";
    case kErrRead: return "error during read, unit %d, file %s";
    case kErrNoMemory: return "insufficient virtual memory";
    case kErrFileName: return "invalid file name, unit %d, file %s";
    case kErrArraySize: return "Cannot allocate array - overflow on array size calculation.";
    default: return "unexpected run-time error";
  }
}

// Ends the process with `status` after one line on standard error: the
// program's name, then `format` filled with the unit and file (a format
// without conversions ignores them). Works without allocating, so that it can
// also report a failed allocation.
[[noreturn]] void Die(int status, const char* format, int unit, const char* file) {
  // Whatever the program wrote before stays ahead of the report; standard
  // output may itself be the failing stream, so its failure is not reported.
  FinishConsoleQuietly();
  std::fprintf(stderr, "%s: ", ProgramName());
  std::fprintf(stderr, format, unit, file);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::exit(status);
}

void OutOfMemory() { Fatal(kErrNoMemory); }

// "severe (<n>): " before the text of error <n>.
std::string SevereFormat(int code) {
  return "severe (" + std::to_string(code) + "): " + FatalFormat(code);
}

}  // namespace

std::string FatalText(int code, int unit, const std::string& file) {
  std::string format = SevereFormat(code);
  std::string text(format.size() + file.size() + 32, '\0');
  int n = std::snprintf(text.data(), text.size(), format.c_str(), unit, file.c_str());
  text.resize(static_cast<std::size_t>(n));
  return std::string(ProgramName()) + ": " + text;
}

void InstallRuntime() {
  std::set_new_handler(OutOfMemory);
  std::fesetround(FE_TONEAREST);
  fedisableexcept(FE_ALL_EXCEPT);
  // A closed pipe on standard output is a write error (fatal 38), not a
  // silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
}

void StopProgram(const std::string& text) {
  WritePlainLine(text.empty() ? std::string("Stop - Program terminated.") : text);
  FinishConsole();
  std::exit(0);
}

void FatalIo(int code, int unit, const std::string& file) {
  char format[128];
  std::snprintf(format, sizeof format, "severe (%d): %s", code, FatalFormat(code));
  Die(code, format, unit, file.c_str());
}

void Fatal(int code) { FatalIo(code, 0, ""); }

double CheckedSqrt(double x) {
  if (x < 0.0) Die(kMathDomainStatus, "math domain error: sqrt of a negative number", 0, "");
  return std::sqrt(x);
}

namespace {

// The byte size of an array must fit in 32 bits.
void CheckArraySize(std::int64_t count, std::int64_t element_size) {
  if (count < 0 || count > static_cast<std::int64_t>(0xFFFFFFFFLL) / element_size) Fatal(kErrArraySize);
}

template <class T>
std::vector<T> Alloc(std::int64_t count) {
  CheckArraySize(count, static_cast<std::int64_t>(sizeof(T)));
  try {
    return std::vector<T>(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    Fatal(kErrNoMemory);
  }
}

}  // namespace

std::vector<float> AllocReals(std::int64_t count) { return Alloc<float>(count); }
std::vector<int> AllocInts(std::int64_t count) { return Alloc<int>(count); }

}  // namespace rt
