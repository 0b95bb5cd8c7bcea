#include "e2e_util.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::string MakeTempDir() {
  std::string templ = (fs::temp_directory_path() / "wavagg-e2e-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return templ;
}

}  // namespace

TempDir::TempDir() : path_(MakeTempDir()) {}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
  WriteFile(file(name), content);
}

std::string TempDir::Read(const std::string& name) const { return ReadFile(file(name)); }

bool TempDir::Exists(const std::string& name) const { return fs::exists(file(name)); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << content;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void CopyFiles(const std::string& from, const std::string& to) {
  for (const auto& entry : fs::directory_iterator(from)) {
    if (entry.is_regular_file())
      fs::copy_file(entry.path(), fs::path(to) / entry.path().filename(),
                    fs::copy_options::overwrite_existing);
  }
}

RunResult Run(const std::string& binary, const std::string& dir, const std::string& input,
              int timeoutSeconds) {
  // Standard input and the two outputs go through files of a scratch directory
  // of their own, so nothing appears in the program's working directory and no
  // pipe can fill up.
  TempDir io;
  const std::string inPath = io.file("stdin");
  const std::string outPath = io.file("stdout");
  const std::string errPath = io.file("stderr");
  WriteFile(inPath, input);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open(inPath.c_str(), O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close(in);
    close(out);
    close(err);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }

  RunResult r;
  int wstatus = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    const pid_t done = waitpid(pid, &wstatus, WNOHANG);
    if (done == pid) break;
    if (done < 0) throw std::runtime_error("waitpid failed");
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      r.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!r.timedOut && WIFEXITED(wstatus)) {
    r.exited = true;
    r.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    r.signal = WTERMSIG(wstatus);
  }
  r.out = ReadFile(outPath);
  r.err = ReadFile(errPath);
  return r;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

}  // namespace e2e
