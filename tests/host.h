// Runs a voxline executable as a host would: a pipe on each standard stream,
// every output line parsed as JSON, the exit status, and standard error.

#ifndef VOXLINE_TESTS_HOST_H_
#define VOXLINE_TESTS_HOST_H_

#include <sys/types.h>

#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace voxline::testing {

enum class Input {
  keepOpen,    // the input is written, then the pipe stays open until the end
  closeAfter,  // the input is written, then the pipe is closed
  devNull,     // standard input is /dev/null
  closed,      // standard input is a closed descriptor
};

// The host's end of the program's standard input, and the program's process
// id. Safe to use from any thread, and after the run: once closed, writes do
// nothing.
class HostInput {
 public:
  HostInput(int fd, pid_t pid) : fd_(fd), pid_(pid) {}
  ~HostInput() { close(); }
  bool write(const std::string& text);
  void close();
  pid_t pid() const { return pid_; }

 private:
  std::mutex mutex_;
  int fd_;
  pid_t pid_;
};

using OnLine = std::function<void(const std::string& line, const std::shared_ptr<HostInput>&)>;
using OnText = std::function<void(const std::string& soFar, const std::shared_ptr<HostInput>&)>;

struct HostRun {
  std::vector<std::string> rawLines;
  // rawLines parsed; a line that does not parse fails the test unless the
  // program is no voxline (Launch::jsonLines).
  std::vector<nlohmann::json> lines;
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string standardError;
  bool timedOut = false;
};

struct Launch {
  std::string program;
  std::vector<std::string> arguments;
  // Added to the test's own environment; an empty value removes the variable.
  std::vector<std::pair<std::string, std::string>> environment;
  std::string input;
  Input mode = Input::keepOpen;
  double timeoutSeconds = 20;  // a safety net only: the process is killed after it
  // Called with each output line as it arrives, on the thread that reads the
  // output; may write to or close the program's standard input.
  OnLine onLine;
  // Called with all standard error so far whenever more arrives, likewise.
  OnText onStandardError;
  // Whether standard output is JSON lines; false for a host of voxline.
  bool jsonLines = true;
};

HostRun runHost(const Launch& launch);

}  // namespace voxline::testing

#endif  // VOXLINE_TESTS_HOST_H_
