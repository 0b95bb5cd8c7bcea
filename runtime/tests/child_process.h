// Runs a piece of code in a child process with its own standard streams, so
// that tests can see exactly what the console writes and how the process ends.
#pragma once

#include <functional>
#include <string>

namespace rt_test {

enum class Output {
  kPipe,      // standard output is a pipe (redirected output)
  kTerminal,  // standard output is a pseudo-terminal in raw mode
};

enum class Input {
  kFile,      // standard input is a file holding the given text
  kTerminal,  // standard input is the same pseudo-terminal (needs Output::kTerminal)
};

struct ChildResult {
  bool exited = false;  // ended by exit, not by a signal
  int status = -1;      // exit status
  std::string out;      // everything written on standard output
  std::string err;      // everything written on standard error
};

// Runs `body` in a child; the child ends by exit(0) when `body` returns.
ChildResult RunChild(const std::function<void()>& body, const std::string& input = "",
                     Output output = Output::kPipe, Input in = Input::kFile);

}  // namespace rt_test
