#include <cstring>
#include <string>
#include <string_view>

#include "platform/main_queue.h"
#include "recognition/recognition_state.h"

namespace voxline {
namespace {

// The longest line still compared. Far longer than the command with any
// reasonable padding; a longer line cannot be the command and is skipped as it
// streams by instead of being held in memory.
constexpr size_t maxCommandLine = 4096;

// The UTF-8 encodings of the horizontal tab and the Unicode space separators
// (general category Zs). Line breaks are not among them.
constexpr std::string_view whitespace[] = {
    "\t",           " ",
    "\xC2\xA0",     "\xE1\x9A\x80",
    "\xE2\x80\x80", "\xE2\x80\x81",
    "\xE2\x80\x82", "\xE2\x80\x83",
    "\xE2\x80\x84", "\xE2\x80\x85",
    "\xE2\x80\x86", "\xE2\x80\x87",
    "\xE2\x80\x88", "\xE2\x80\x89",
    "\xE2\x80\x8A", "\xE2\x80\xAF",
    "\xE2\x81\x9F", "\xE3\x80\x80",
};

// Removes one whitespace character from the front or the back of the text.
bool trimOne(std::string_view& text, bool front) {
  for (std::string_view space : whitespace) {
    if (front ? text.starts_with(space) : text.ends_with(space)) {
      front ? text.remove_prefix(space.size()) : text.remove_suffix(space.size());
      return true;
    }
  }
  return false;
}

}  // namespace

bool isStopCommand(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  while (trimOne(line, true)) {
  }
  while (trimOne(line, false)) {
  }
  return line == "stop";
}

void readCommands() {
  char chunk[4096];
  std::string line;
  line.reserve(maxCommandLine);
  bool overlong = false;
  for (;;) {
    ssize_t count = platform::readStandardInput(chunk, sizeof chunk);
    // The end of input, or a failed read, acts as the command. A last line
    // without a terminator needs no look: the end follows it either way.
    if (count <= 0) break;
    std::string_view rest(chunk, static_cast<size_t>(count));
    bool stop = false;
    while (!rest.empty() && !stop) {
      size_t end = rest.find('\n');
      std::string_view piece = rest.substr(0, end);
      if (!overlong && line.size() + piece.size() <= maxCommandLine) {
        line.append(piece);
      } else {
        overlong = true;
        line.clear();
      }
      if (end == std::string_view::npos) break;
      stop = !overlong && isStopCommand(line);
      line.clear();
      overlong = false;
      rest.remove_prefix(end + 1);
    }
    if (stop) break;
  }
  platform::postToMainQueue(stopListening);
}

}  // namespace voxline
