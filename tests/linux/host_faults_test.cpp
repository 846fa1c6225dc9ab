// Hosts that misbehave while voxline listens: the program must end promptly,
// with a status of its own, and leave nothing behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

struct Listening {
  pid_t pid = -1;
  int input = -1;   // our end of its standard input
  int output = -1;  // our end of its standard output
  int error = -1;   // our end of its standard error
};

// Starts voxline on the server and returns once it has written its listening
// line.
Listening startListening(const SoundServer& server) {
  int in[2], out[2], err[2];
  EXPECT_EQ(pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC) | pipe2(err, O_CLOEXEC), 0);
  Listening listening;
  listening.pid = fork();
  if (listening.pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (const auto& [name, value] : server.clientEnvironment()) {
      setenv(name.c_str(), value.c_str(), 1);
    }
    execl(VOXLINE_PATH, VOXLINE_PATH, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  listening.input = in[1];
  listening.output = out[0];
  listening.error = err[0];
  std::string line;
  char c;
  while (read(listening.output, &c, 1) == 1 && c != '\n') line.push_back(c);
  EXPECT_EQ(line, "{\"state\":\"listening\",\"onDevice\":true}");
  return listening;
}

// Waits for the process to end; -1 when it is still there after the wait.
int waitForExit(pid_t pid, std::chrono::seconds patience) {
  auto deadline = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < deadline) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

// Well inside the 60 s limit: ending by the limit would fail these tests.
constexpr std::chrono::seconds patience{10};

using HostFaults = SpeechServerTest;

TEST_F(HostFaults, ClosingStandardOutputEndsListeningWithStatusZero) {
  Listening voxline = startListening(server);
  close(voxline.output);
  int status = waitForExit(voxline.pid, patience);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal or not at all: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(drain(voxline.error), "");
  close(voxline.input);
}

TEST_F(HostFaults, ClosingBothPipesEndsListeningWithStatusZero) {
  Listening voxline = startListening(server);
  close(voxline.output);
  close(voxline.input);
  int status = waitForExit(voxline.pid, patience);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal or not at all: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(drain(voxline.error), "");
}

TEST_F(HostFaults, KilledHostLeavesNoProcessBehind) {
  // The orphaned voxline becomes our child, so we can see it end.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  pid_t host = fork();
  if (host == 0) {
    close(report[0]);
    Listening voxline = startListening(server);
    ssize_t written = write(report[1], &voxline.pid, sizeof voxline.pid);
    (void)written;
    pause();
    _exit(0);
  }
  close(report[1]);
  pid_t voxline = -1;
  ASSERT_EQ(read(report[0], &voxline, sizeof voxline), static_cast<ssize_t>(sizeof voxline));
  close(report[0]);
  kill(host, SIGKILL);
  waitpid(host, nullptr, 0);

  int status = waitForExit(voxline, patience);
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal or not at all: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace voxline::testing
