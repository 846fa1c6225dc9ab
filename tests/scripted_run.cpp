#include "scripted_run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace voxline::testing {

std::vector<std::string> ScriptedRun::calls() const {
  std::vector<std::string> names;
  for (const TraceEntry& entry : trace) names.push_back(entry.what);
  return names;
}

int ScriptedRun::count(const std::string& what) const {
  return static_cast<int>(std::count_if(trace.begin(), trace.end(),
                                        [&](const TraceEntry& e) { return e.what == what; }));
}

int ScriptedRun::indexOf(const std::string& what) const {
  for (size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].what == what) return static_cast<int>(i);
  }
  return -1;
}

double ScriptedRun::timeOf(const std::string& what) const {
  int index = indexOf(what);
  return index < 0 ? -1 : trace[static_cast<size_t>(index)].time;
}

ScriptedRun runScripted(const nlohmann::json& scenario, const std::string& input, Input mode,
                        OnLine onLine) {
  char tracePath[] = "/tmp/voxline-trace-XXXXXX";
  int fd = mkstemp(tracePath);
  close(fd);
  Launch launch;
  launch.program = VOXLINE_SCRIPTED_PATH;
  nlohmann::json script = scenario.is_null() ? nlohmann::json::object() : scenario;
  if (mode == Input::keepOpen) script["inputBytes"] = input.size();
  launch.environment = {{"VOXLINE_SCENARIO", script.dump()}, {"VOXLINE_TRACE", tracePath}};
  launch.input = input;
  launch.mode = mode;
  launch.onLine = std::move(onLine);
  ScriptedRun run;
  static_cast<HostRun&>(run) = runHost(launch);
  std::ifstream file(tracePath);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    TraceEntry entry;
    fields >> entry.time;
    fields.get();
    std::getline(fields, entry.what);
    run.trace.push_back(entry);
  }
  unlink(tracePath);
  return run;
}

nlohmann::json result(double at, const std::string& text, bool isFinal) {
  return {{"at", at}, {"text", text}, {"final", isFinal}};
}

nlohmann::json failure(double at) {
  return {{"at", at}, {"error", true}};
}

std::vector<nlohmann::json> errorLine(const std::string& code) {
  return {nlohmann::json{{"error", code}}};
}

}  // namespace voxline::testing
