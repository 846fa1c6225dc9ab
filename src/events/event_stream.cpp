#include "events/event_stream.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace voxline {

void emit(const Event& event) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  for (const auto& entry : event) {
    std::visit([&](const auto& value) { object[entry.first] = value; }, entry.second);
  }
  std::string line;
  try {
    // The strict handler refuses text that is not valid UTF-8, so a line that
    // reaches the host always parses. Control characters come out escaped,
    // which keeps every event on a single line.
    line = object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
  } catch (const nlohmann::ordered_json::exception&) {
    return;
  }
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace voxline
