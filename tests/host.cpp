#include "host.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace voxline::testing {

bool HostInput::write(const std::string& text) {
  std::lock_guard lock(mutex_);
  size_t done = 0;
  while (fd_ >= 0 && done < text.size()) {
    ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return fd_ >= 0;
}

void HostInput::close() {
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {

void splitLines(std::string& pending, const Launch& launch, HostRun& run,
                const std::shared_ptr<HostInput>& input) {
  size_t end;
  while ((end = pending.find('\n')) != std::string::npos) {
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    run.rawLines.push_back(line);
    if (launch.jsonLines) {
      try {
        run.lines.push_back(nlohmann::json::parse(line));
      } catch (const nlohmann::json::exception& e) {
        ADD_FAILURE() << "not a JSON line: " << line << " (" << e.what() << ")";
      }
    }
    if (launch.onLine) launch.onLine(line, input);
  }
}

}  // namespace

HostRun runHost(const Launch& launch) {
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe";
    return {};
  }
  pid_t child = fork();
  if (child == 0) {
    switch (launch.mode) {
      case Input::keepOpen:
      case Input::closeAfter:
        dup2(in[0], STDIN_FILENO);
        break;
      case Input::devNull:
        dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
        break;
      case Input::closed:
        close(STDIN_FILENO);
        break;
    }
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (const auto& [name, value] : launch.environment) {
      if (value.empty()) {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    std::vector<char*> argv = {const_cast<char*>(launch.program.c_str())};
    for (const std::string& argument : launch.arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);

  auto input = std::make_shared<HostInput>(in[1], child);
  if (launch.mode == Input::keepOpen || launch.mode == Input::closeAfter) {
    // Written from a thread of its own: a large input must not stall reading
    // the output.
    std::thread([text = launch.input, mode = launch.mode, input] {
      input->write(text);
      if (mode == Input::closeAfter) input->close();
    }).detach();
  } else {
    input->close();
  }

  HostRun run;
  std::string pendingOut;
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::milliseconds(static_cast<int>(launch.timeoutSeconds * 1000));
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timedOut = true;
      kill(child, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (pollfd& fd : fds) {
      if (fd.fd < 0 || fd.revents == 0) continue;
      char buffer[65536];
      ssize_t n = read(fd.fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fd.fd);
        fd.fd = -1;
        --open;
      } else if (fd.fd == out[0]) {
        pendingOut.append(buffer, static_cast<size_t>(n));
        splitLines(pendingOut, launch, run, input);
      } else {
        run.standardError.append(buffer, static_cast<size_t>(n));
        if (launch.onStandardError) launch.onStandardError(run.standardError, input);
      }
    }
  }
  for (pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  if (!pendingOut.empty() && launch.jsonLines) {
    ADD_FAILURE() << "output ends without a line feed: " << pendingOut;
  }
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  input->close();
  return run;
}

}  // namespace voxline::testing
