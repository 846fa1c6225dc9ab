// Fuzzes the command reader: bytes on standard input, delivered in chunks of
// random sizes, against a model of the command language written separately
// from the reader. Checks that the reader posts exactly once, stops right after
// the first line that is the command, and otherwise reads to the end.
//
// Input: two bytes seeding the chunk sizes, then the bytes of standard input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>

#include "platform/main_queue.h"
#include "recognition/recognition_state.h"

namespace {

std::string_view input;
size_t taken = 0;
size_t lastChunk = 0;
bool sawEnd = false;
uint32_t seed = 0;
int posts = 0;
size_t takenAtPost = 0;

constexpr size_t longestCommandLine = 4096;

// The code points trimmed around the command: tab and the space separators.
bool isTrimmed(uint32_t c) {
  return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes the code point of a well-formed, shortest-form sequence at the start
// of text; returns its length, or 0.
size_t decodeFront(std::string_view text, uint32_t& c) {
  if (text.empty()) return 0;
  auto b = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  size_t length = b(0) < 0x80 ? 1 : (b(0) >> 5) == 6 ? 2 : (b(0) >> 4) == 14 ? 3 : 0;
  if (length == 0 || text.size() < length) return 0;
  c = length == 1 ? b(0) : length == 2 ? b(0) & 0x1F : b(0) & 0x0F;
  for (size_t i = 1; i < length; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(i) & 0x3F);
  }
  // An overlong form (a tab in three bytes, say) is not the character it
  // spells; the reader must not trim it.
  if ((length == 2 && c < 0x80) || (length == 3 && c < 0x800)) return 0;
  return length;
}

bool isCommand(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  uint32_t c;
  for (size_t n; (n = decodeFront(line, c)) > 0 && isTrimmed(c);) line.remove_prefix(n);
  // From the back: try each sequence length that could end the line.
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    for (size_t n = 1; n <= 3 && n <= line.size(); ++n) {
      std::string_view tail = line.substr(line.size() - n);
      if (decodeFront(tail, c) == n && isTrimmed(c)) {
        line.remove_suffix(n);
        trimmed = true;
        break;
      }
    }
  }
  return line == "stop";
}

}  // namespace

namespace voxline {
void stopListening() {}
}  // namespace voxline

namespace voxline::platform {

ssize_t readStandardInput(char* buffer, size_t capacity) {
  seed = seed * 1103515245 + 12345;
  size_t size = std::min({capacity, input.size() - taken, size_t{1} + (seed >> 16) % 6000});
  std::memcpy(buffer, input.data() + taken, size);
  taken += size;
  lastChunk = size;
  if (size == 0) sawEnd = true;
  return static_cast<ssize_t>(size);
}

void postToMainQueue(std::function<void()>) {
  ++posts;
  takenAtPost = taken;
}

}  // namespace voxline::platform

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  seed = data[0] | (data[1] << 8);
  input = std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2);
  taken = lastChunk = 0;
  sawEnd = false;
  posts = 0;

  size_t stopAt = 0;  // the end of the first command line, or 0
  for (size_t start = 0, end; (end = input.find('\n', start)) != std::string_view::npos;
       start = end + 1) {
    std::string_view line = input.substr(start, end - start);
    if (line.size() <= longestCommandLine && isCommand(line)) {
      stopAt = end + 1;
      break;
    }
  }

  voxline::readCommands();

  if (posts != 1) std::abort();
  if (stopAt > 0) {
    // Stopped by the chunk that held the command's line feed.
    if (sawEnd || takenAtPost < stopAt || takenAtPost - lastChunk >= stopAt) std::abort();
  } else if (!sawEnd || takenAtPost != input.size()) {
    std::abort();
  }
  return 0;
}
