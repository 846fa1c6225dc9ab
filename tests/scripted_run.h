// Runs voxline_scripted, the program built on the scripted platform, with a
// scenario, and reads back the trace of what the program asked of the platform.

#ifndef VOXLINE_TESTS_SCRIPTED_RUN_H_
#define VOXLINE_TESTS_SCRIPTED_RUN_H_

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host.h"

namespace voxline::testing {

struct TraceEntry {
  double time;       // virtual seconds
  std::string what;  // e.g. "stopEngine", "timer 2.5", "exit 0"
};

struct ScriptedRun : HostRun {
  std::vector<TraceEntry> trace;

  // The trace without times, for comparing orders.
  std::vector<std::string> calls() const;
  // How often a call occurs in the trace.
  int count(const std::string& what) const;
  // Where the call first occurs, or -1.
  int indexOf(const std::string& what) const;
  // The virtual time of the call's first occurrence, or -1.
  double timeOf(const std::string& what) const;
};

ScriptedRun runScripted(const nlohmann::json& scenario, const std::string& input = "",
                        Input mode = Input::keepOpen, OnLine onLine = {});

// A result step of a scenario's timeline.
nlohmann::json result(double at, const std::string& text, bool isFinal = false);
nlohmann::json failure(double at);

// The whole stream of a run that failed with the error code.
std::vector<nlohmann::json> errorLine(const std::string& code);

}  // namespace voxline::testing

#endif  // VOXLINE_TESTS_SCRIPTED_RUN_H_
