// Captures what a piece of the run writes on standard output (the tests run
// with standard output redirected, so records show their first character).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace agg_test {

inline std::string CaptureStdout(const std::function<void()>& body) {
  std::fflush(stdout);
  std::FILE* tmp = std::tmpfile();
  const int saved = dup(1);
  dup2(fileno(tmp), 1);
  body();
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string text;
  std::rewind(tmp);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) text.append(buf, n);
  std::fclose(tmp);
  return text;
}

}  // namespace agg_test
