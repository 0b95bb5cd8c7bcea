#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace rt_test {

namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

// Reads both streams until both are closed (a pseudo-terminal reports EIO
// once the child's side is gone).
void Drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

ChildResult RunChild(const std::function<void()>& body, const std::string& input, Output output, Input in) {
  std::fflush(nullptr);
  int out_read = -1;
  int out_write = -1;
  if (output == Output::kPipe) {
    int p[2];
    Check(pipe(p) == 0, "pipe");
    out_read = p[0];
    out_write = p[1];
  } else {
    out_read = posix_openpt(O_RDWR | O_NOCTTY);
    Check(out_read >= 0 && grantpt(out_read) == 0 && unlockpt(out_read) == 0, "posix_openpt");
    out_write = open(ptsname(out_read), O_RDWR | O_NOCTTY);
    Check(out_write >= 0, "open pty slave");
    termios t;
    Check(tcgetattr(out_write, &t) == 0, "tcgetattr");
    cfmakeraw(&t);  // bytes pass unchanged, no echo
    Check(tcsetattr(out_write, TCSANOW, &t) == 0, "tcsetattr");
  }
  int err_pipe[2];
  Check(pipe(err_pipe) == 0, "pipe");

  int in_fd = -1;
  if (in == Input::kFile) {
    std::FILE* f = std::tmpfile();
    Check(f != nullptr, "tmpfile");
    std::fwrite(input.data(), 1, input.size(), f);
    std::fflush(f);
    in_fd = dup(fileno(f));
    std::fclose(f);
    lseek(in_fd, 0, SEEK_SET);
  } else {
    Check(output == Output::kTerminal, "terminal input needs terminal output");
    Check(write(out_read, input.data(), input.size()) == static_cast<ssize_t>(input.size()), "write pty");
    in_fd = dup(out_write);
  }

  pid_t pid = fork();
  Check(pid >= 0, "fork");
  if (pid == 0) {
    dup2(in_fd, STDIN_FILENO);
    dup2(out_write, STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    close(in_fd);
    close(out_write);
    close(out_read);
    close(err_pipe[0]);
    close(err_pipe[1]);
    body();
    std::exit(0);
  }
  close(in_fd);
  close(out_write);
  close(err_pipe[1]);
  ChildResult r;
  Drain(out_read, err_pipe[0], r.out, r.err);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exited = WIFEXITED(status);
  r.status = r.exited ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace rt_test
