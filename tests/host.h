// Runs a voxline executable as a host would: a pipe on each standard stream,
// every output line parsed as JSON, the exit status, and standard error.

#ifndef VOXLINE_TESTS_HOST_H_
#define VOXLINE_TESTS_HOST_H_

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

struct HostRun {
  std::vector<std::string> rawLines;
  std::vector<nlohmann::json> lines;  // rawLines parsed; a line that does not parse fails the test
  int status = -1;                    // exit status, or -1 when the process did not exit normally
  std::string standardError;
  bool timedOut = false;
};

struct Launch {
  std::string program;
  std::vector<std::pair<std::string, std::string>> environment;  // added to the test's own
  std::string input;
  Input mode = Input::keepOpen;
  double timeoutSeconds = 20;  // a safety net only: the process is killed after it
  // Called with each output line as it arrives; may write to the process's
  // standard input through the descriptor it is given.
  std::function<void(const std::string& line, int inputFd)> onLine;
};

HostRun runHost(const Launch& launch);

}  // namespace voxline::testing

#endif  // VOXLINE_TESTS_HOST_H_
