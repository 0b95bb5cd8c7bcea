// Fuzzes whole runs of Ivra and Kelto on a fuzzed "list" and fuzzed series
// files, with fixed answers to the dialogue.
//
// Input: byte 0 chooses the program (bit 2) and one of four answer sets (bits
// 0-1); the rest is split at "%%\n" into the content of "list" and of the
// series files "1", "2", ... (at most 8). A run is the program's main routine
// (its source compiled with main renamed) in a forked child, in a scratch
// folder, with a time-out. The child's coverage counters are copied back into
// the fuzzer's, so the search is guided by what the run reached.
//
// Checked: no crash, no sanitizer report, no hang; an exit status the
// programs give (0 or a file error); every console record starts with its
// carriage-control character; a stop ends the output; a finished run's output
// file holds the common length of lines of 35 characters with the expected
// time marks.
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

int IvraMain();   // ivra/main.cpp
int KeltoMain();  // kelto/main.cpp

namespace fs = std::filesystem;

namespace {

constexpr int kMaxSeries = 8;
constexpr int kTimeoutSeconds = 30;
constexpr const char* kSeparator = "%%\n";

const char* const kAnswers[4] = {
    "1\n100\n0\n100\n2\n3\n0\n1 1\n",    // Haar, one window per level
    "1\n128\n1\n40\n4\n5\n0\n1 1\n",     // Daubechies 4 on differences, sliding windows
    "3\n100\n0\n64\n110\n11\n0\n1 1\n",  // symlet 10 from sample 3
    "1\n64\n0\n5\n2\n3\n0\n1 1\n",       // no working level
};

// Child state: the exit status to leave with, once the counters are copied.
bool g_in_child = false;
int g_child_status = 0;
std::uint8_t* g_shared = nullptr;

// The inline 8-bit coverage counters, as the instrumentation registers them
// (one region: everything is linked statically).
std::uint8_t* g_counters = nullptr;
std::size_t g_counter_count = 0;

std::size_t CounterCount() { return g_counter_count; }

// Runs last among the child's own exit handlers and before the fuzzer's,
// which would report the exit as a failure of the target.
void ChildAtExit() {
  std::fflush(nullptr);
  if (g_shared != nullptr) std::memcpy(g_shared, g_counters, CounterCount());
  _exit(g_child_status);
}

[[noreturn]] void Fail(const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "run_fuzz: %s\n%s\n", what.c_str(), detail.c_str());
  std::abort();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteAll(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::vector<std::string> Split(const std::string& text, const std::string& sep) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    std::size_t next = text.find(sep, at);
    if (next == std::string::npos) {
      parts.push_back(text.substr(at));
      return parts;
    }
    parts.push_back(text.substr(at, next - at));
    at = next + sep.size();
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = Split(text, "\n");
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// The folders of one fuzzing process: the working folder and one for the
// child's standard streams.
struct Folders {
  std::string root;
  std::string work;
  std::string io;
};

void RemoveFolders();

// Kept for the whole process (never destroyed: the exit handler reads it).
const Folders& TheFolders() {
  static const Folders* folders = [] {
    char templ[] = "/tmp/wavagg-fuzz-XXXXXX";
    if (mkdtemp(templ) == nullptr) Fail("mkdtemp failed", "");
    auto* f = new Folders{templ, std::string(templ) + "/work", std::string(templ) + "/io"};
    fs::create_directory(f->work);
    fs::create_directory(f->io);
    // Registered before any child exists: a child leaves by its own handler
    // first and never gets here.
    std::atexit(RemoveFolders);
    return f;
  }();
  return *folders;
}

void RemoveFolders() {
  if (g_in_child) return;
  std::error_code ec;
  fs::remove_all(TheFolders().root, ec);
}

struct Outcome {
  int status = 0;
  std::string out, err;
};

Outcome RunChild(bool kelto, const std::string& answers) {
  const Folders& dirs = TheFolders();
  WriteAll(dirs.io + "/stdin", answers);
  const std::size_t n = CounterCount();
  if (n != 0) std::memset(g_shared, 0, n);
  std::fflush(nullptr);

  const pid_t pid = fork();
  if (pid < 0) Fail("fork failed", "");
  if (pid == 0) {
    g_in_child = true;
    std::atexit(ChildAtExit);
    std::FILE* in = std::freopen((dirs.io + "/stdin").c_str(), "r", stdin);
    std::FILE* out = std::freopen((dirs.io + "/stdout").c_str(), "w", stdout);
    std::FILE* err = std::freopen((dirs.io + "/stderr").c_str(), "w", stderr);
    if (in == nullptr || out == nullptr || err == nullptr || chdir(dirs.work.c_str()) != 0) _exit(126);
    std::exit(kelto ? KeltoMain() : IvraMain());
  }

  int wstatus = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
  for (;;) {
    const pid_t done = waitpid(pid, &wstatus, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      Fail("the run did not end within the time-out", ReadAll(dirs.io + "/stdout"));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  // The child's coverage becomes the fuzzer's.
  for (std::size_t i = 0; i < n; ++i)
    if (g_shared[i] > g_counters[i]) g_counters[i] = g_shared[i];

  Outcome r;
  r.out = ReadAll(dirs.io + "/stdout");
  r.err = ReadAll(dirs.io + "/stderr");
  if (!WIFEXITED(wstatus)) Fail("the run ended by signal " + std::to_string(WTERMSIG(wstatus)), r.err);
  r.status = WEXITSTATUS(wstatus);
  return r;
}

bool IsStopText(const std::string& line) {
  return line == "Stop - Program terminated." || line == "The real time window is too short !" ||
         line == "The real time window is too long !";
}

// Time field of record k with Tini 0 and Tstep 1: k-1 in general editing.
std::string TimeField(long k) {
  const long t = k - 1;
  if (t == 0) return "        0.0000000000";
  const int e = static_cast<int>(std::to_string(t).size());
  char buf[64];
  std::snprintf(buf, sizeof buf, "%16.*f    ", 10 - e, static_cast<double>(t));
  return buf;
}

void CheckOutcome(const Outcome& r, const std::string& outputName) {
  const std::string work = TheFolders().work;
  const std::vector<std::string> out = Lines(r.out);
  const std::string context = "stdout:\n" + r.out.substr(0, 4000) + "\nstderr:\n" + r.err;
  const bool stopped = !out.empty() && IsStopText(out.back());
  for (std::size_t i = 0; i + (stopped ? 1 : 0) < out.size(); ++i) {
    if (out[i].empty() || (out[i][0] != ' ' && out[i][0] != '+')) Fail("a record without carriage control", context);
  }
  const bool wrote = fs::exists(work + "/" + outputName);

  switch (r.status) {
    case 29:
    case 30:
    case 43:
      if (r.err.find("severe (" + std::to_string(r.status) + "): ") == std::string::npos || r.err.back() != '\n')
        Fail("a file error without its report", context);
      if (wrote) Fail("an output file after a file error", context);
      return;
    case 0:
      break;
    default:
      Fail("exit status " + std::to_string(r.status), context);
  }
  if (!r.err.empty()) Fail("standard error at exit status 0", context);
  if (stopped) {
    if (wrote) Fail("an output file after a stop", context);
    return;
  }
  if (!wrote) Fail("no output file and no stop", context);

  const std::string tag = " Real number of samples to be processed =";
  long leng = -1;
  for (const std::string& line : out)
    if (line.rfind(tag, 0) == 0) leng = std::stol(line.substr(tag.size()));
  if (leng < 64) Fail("a finished run without its common length", context);
  const std::string data = ReadAll(work + "/" + outputName);
  const std::vector<std::string> records = Lines(data);
  if (static_cast<long>(records.size()) != leng || data.back() != '\n')
    Fail("output file holds " + std::to_string(records.size()) + " records", context);
  for (long k = 1; k <= leng; ++k) {
    const std::string& rec = records[static_cast<std::size_t>(k - 1)];
    if (rec.size() != 35) Fail("a record of " + std::to_string(rec.size()) + " characters: " + rec, context);
    if (rec.substr(15) != TimeField(k)) Fail("time mark of record " + std::to_string(k) + ": " + rec, context);
  }
}

}  // namespace

extern "C" void __real_exit(int status);
extern "C" void __real___sanitizer_cov_8bit_counters_init(std::uint8_t* start, std::uint8_t* stop);

// With --wrap=__sanitizer_cov_8bit_counters_init the harness learns where the
// counters are before the fuzzer takes them over.
extern "C" void __wrap___sanitizer_cov_8bit_counters_init(std::uint8_t* start, std::uint8_t* stop) {
  if (g_counters == nullptr && start < stop) {
    g_counters = start;
    g_counter_count = static_cast<std::size_t>(stop - start);
  }
  __real___sanitizer_cov_8bit_counters_init(start, stop);
}

// With --wrap=exit every exit() of the program comes here first, so that the
// child's exit handler knows the status it has to leave with.
extern "C" void __wrap_exit(int status) {
  if (g_in_child) g_child_status = status;
  __real_exit(status);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::size_t n = CounterCount();
  if (n != 0) {
    void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) Fail("mmap failed", "");
    g_shared = static_cast<std::uint8_t*>(p);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 1) return -1;
  const bool kelto = (bytes[0] & 4) != 0;
  const char* answers = kAnswers[bytes[0] & 3];
  const std::vector<std::string> parts = Split(std::string(reinterpret_cast<const char*>(bytes) + 1, size - 1), kSeparator);
  if (parts.size() > kMaxSeries + 1) return -1;

  // Only small runs, and only files of the scratch folder: no name may
  // leave it (a fuzzed "/dev/zero" would be read for ever).
  const std::vector<std::string> names = Split(parts[0], "\n");
  const std::size_t series = names.size() - (names.back().empty() ? 1 : 0);
  if (series > kMaxSeries) return -1;
  for (const std::string& name : names)
    if (name.substr(0, 256).find('/') != std::string::npos) return -1;

  const std::string work = TheFolders().work;
  for (const auto& entry : fs::directory_iterator(work)) fs::remove_all(entry.path());
  WriteAll(work + "/list", parts[0]);
  for (std::size_t i = 1; i < parts.size(); ++i) WriteAll(work + "/" + std::to_string(i), parts[i]);

  CheckOutcome(RunChild(kelto, answers), kelto ? "Kelto.dat" : "Ivra.dat");
  return 0;
}
