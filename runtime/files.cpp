// Text files read line by line, and the output file.
#include "files.h"

#include <sys/stat.h>

#include <cerrno>

#include "lineio.h"
#include "runtime.h"

namespace rt {

LineStatus ReadTextLine(std::FILE* fp, std::string& line) {
  line.clear();
  bool any = false;
  // Characters gather in a small buffer and join the line a block at a time.
  char block[128];
  std::size_t used = 0;
  for (;;) {
    int c = getc_unlocked(fp);
    if (c == EOF) {
      line.append(block, used);
      used = 0;
      if (std::ferror(fp)) return LineStatus::kError;
      if (!any) return LineStatus::kEnd;
      break;
    }
    any = true;
    if (c == '\n') break;
    block[used++] = static_cast<char>(c);
    if (used == sizeof block) {
      line.append(block, used);
      used = 0;
    }
  }
  line.append(block, used);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return LineStatus::kLine;
}

namespace {

bool HasNul(const std::string& name) { return name.find('\0') != std::string::npos; }

int OpenErrorCode(int err, bool reading) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      // A missing file is "not found" when reading; a missing folder for the
      // output file is an open failure.
      return reading ? kErrFileNotFound : kErrOpenFailure;
    case EACCES:
    case EPERM:
      return kErrPermission;
    case ENAMETOOLONG:
      return kErrFileName;
    default:
      return kErrOpenFailure;
  }
}

// Opens `name` for reading; 0 and the stream on success, else the fatal code.
int OpenForReading(const std::string& name, std::FILE*& fp) {
  fp = nullptr;
  if (HasNul(name)) return kErrFileName;
  std::FILE* f = std::fopen(name.c_str(), "r");
  if (f == nullptr) return OpenErrorCode(errno, true);
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    return kErrOpenFailure;
  }
  fp = f;
  return 0;
}

}  // namespace

InputFile::InputFile(const std::string& name) : name_(name) {
  int code = OpenForReading(name, fp_);
  if (code != 0) FatalIo(code, kFileUnit, name);
}

std::unique_ptr<InputFile> InputFile::TryOpen(const std::string& name) {
  std::FILE* fp = nullptr;
  if (OpenForReading(name, fp) != 0) return nullptr;
  std::unique_ptr<InputFile> file(new InputFile());
  file->fp_ = fp;
  file->name_ = name;
  return file;
}

InputFile::~InputFile() {
  if (fp_ != nullptr) std::fclose(fp_);
}

bool InputFile::ReadLine(std::string& line) {
  switch (ReadTextLine(fp_, line)) {
    case LineStatus::kLine: return true;
    case LineStatus::kEnd: return false;
    case LineStatus::kError: break;
  }
  // Taking a failed read for the end of the file would silently shorten a series.
  FatalIo(kErrRead, kFileUnit, name_);
}

void InputFile::Rewind() {
  std::rewind(fp_);
}

OutputFile::OutputFile(const std::string& name) : name_(name) {
  if (HasNul(name)) FatalIo(kErrFileName, kFileUnit, name);
  fp_ = std::fopen(name.c_str(), "w");
  if (fp_ == nullptr) FatalIo(OpenErrorCode(errno, false), kFileUnit, name);
}

OutputFile::~OutputFile() {
  if (fp_ != nullptr) Close();
}

void OutputFile::WriteLine(const std::string& line) {
  bool failed = std::fwrite(line.data(), 1, line.size(), fp_) != line.size() || std::fputc('\n', fp_) == EOF ||
                std::ferror(fp_);
  if (failed) FatalIo(kErrWrite, kFileUnit, name_);
}

void OutputFile::Close() {
  if (fp_ == nullptr) return;
  std::FILE* fp = fp_;
  fp_ = nullptr;
  bool failed = std::ferror(fp) != 0;
  if (std::fclose(fp) != 0 || failed) FatalIo(kErrWrite, kFileUnit, name_);
}

}  // namespace rt
