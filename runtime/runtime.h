// Process-level services shared by both programs: program stops, the fatal
// run-time errors with their exit statuses, checked square root and array
// allocation. Every function here that ends the process flushes standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rt {

// Fatal run-time error numbers; the process exits with the number itself.
enum FatalCode : int {
  kErrPermission = 9,     // "permission to access file denied, unit %d, file %s"
  kErrEndOfFile = 24,     // "end-of-file during read, unit %d, file %s"
  kErrFileNotFound = 29,  // "file not found, unit %d, file %s"
  kErrOpenFailure = 30,   // "open failure, unit %d, file %s"
  kErrRead = 39,          // "error during read, unit %d, file %s"
  kErrWrite = 38,         // "error during write, unit %d, file %s"
  kErrNoMemory = 41,      // "insufficient virtual memory"
  kErrFileName = 43,      // "invalid file name, unit %d, file %s"
  kErrArraySize = 179,    // "Cannot allocate array - overflow on array size calculation."
};

// Exit status of the square root of a negative number.
constexpr int kMathDomainStatus = 3;

// Unit numbers named in fatal-error lines.
constexpr int kFileUnit = 1;     // "list", the series files and the output file
constexpr int kConsoleInUnit = 5;
constexpr int kConsoleOutUnit = 6;

// Sets up the process for a run: the new-handler that turns a failed allocation
// into fatal error 41, and a floating-point environment with every exception
// masked and round-to-nearest.
void InstallRuntime();

// A program stop: writes `text` (or "Stop - Program terminated." when empty) on
// standard output as a line of its own, and exits with status 0.
[[noreturn]] void StopProgram(const std::string& text = "");

// Fatal error with a unit and file (9, 24, 29, 30, 38, 39, 43).
[[noreturn]] void FatalIo(int code, int unit, const std::string& file);
// Fatal error without unit and file (41, 179).
[[noreturn]] void Fatal(int code);
// The line a fatal error writes on standard error, without its line end.
std::string FatalText(int code, int unit, const std::string& file);

// Square root that ends the process (math-domain report, status 3) for a
// negative argument; a NaN passes through.
double CheckedSqrt(double x);

// Allocates `count` zeroed single-precision reals. The byte size must fit in
// 32 bits (else fatal 179); a failed allocation is fatal 41.
std::vector<float> AllocReals(std::int64_t count);
std::vector<int> AllocInts(std::int64_t count);

}  // namespace rt
