// Helpers of the end-to-end tests: a scratch working directory, and a run of a
// real program binary in it with a given standard input, its standard output,
// standard error and exit status captured.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct RunResult {
  bool exited = false;    // ended by exit (not by a signal or the time-out)
  int status = -1;        // exit status when `exited`
  int signal = 0;         // terminating signal otherwise
  bool timedOut = false;  // killed after the time-out
  std::string out;        // standard output, byte for byte
  std::string err;        // standard error
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes `content` to `name` inside the directory (created or replaced).
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Copies the regular files of `from` (not its sub-directories) into `to`.
void CopyFiles(const std::string& from, const std::string& to);

// Runs `binary` with no arguments in the working directory `dir`, standard
// input fed from `input`. A child still running after `timeoutSeconds` is
// killed and reported as timed out.
RunResult Run(const std::string& binary, const std::string& dir, const std::string& input,
              int timeoutSeconds = 120);

// A series file: one value per line, as the given texts.
std::string Lines(const std::vector<std::string>& lines);

}  // namespace e2e
