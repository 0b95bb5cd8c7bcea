// Text files read line by line and the output file, with the fatal errors of
// opening, reading and writing.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace rt {

// A text file opened as an existing file for reading. Lines may end in LF or
// CR LF; the terminator is not part of the line; a last line without a
// terminator still counts.
class InputFile {
 public:
  // Opens `name`; failure is fatal (29 missing, 9 denied, 43 bad name, 30 other).
  explicit InputFile(const std::string& name);
  // Opens `name` if it can; null instead of a fatal error.
  static std::unique_ptr<InputFile> TryOpen(const std::string& name);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads the next line into `line`; false at end of file.
  bool ReadLine(std::string& line);
  // Goes back to the first line.
  void Rewind();

 private:
  InputFile() = default;
  std::FILE* fp_ = nullptr;
  std::string name_;
};

// The output file: created or truncated; open and write failures are fatal
// (9 denied, 43 bad name, 30 other open failure, 38 write error).
class OutputFile {
 public:
  explicit OutputFile(const std::string& name);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Writes `line` and the line terminator.
  void WriteLine(const std::string& line);
  // Flushes and closes; a failure is fatal 38.
  void Close();

 private:
  std::FILE* fp_ = nullptr;
  std::string name_;
};

}  // namespace rt
