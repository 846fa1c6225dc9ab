// Fuzzes the event encoder: arbitrary bytes as the text of a text event. Valid
// UTF-8 must come out as exactly one line that a JSON parser reads back to the
// same event; anything else must write nothing.
//
// Input: one byte for the "final" flag, then the text.

#include <stdio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "events/event_stream.h"

namespace {

FILE* capture = nullptr;

// Well-formed UTF-8 as RFC 3629 defines it: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool isUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    auto b = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = b(i);
    size_t length;
    uint32_t c;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, c = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((b(i + k) & 0xC0) != 0x80) return false;
      c = (c << 6) | (b(i + k) & 0x3F);
    }
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string written() {
  std::fflush(stdout);
  std::string text;
  std::rewind(capture);
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0) text.append(buffer, n);
  std::rewind(capture);
  if (ftruncate(fileno(capture), 0) != 0) std::abort();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (capture == nullptr) {
    capture = std::tmpfile();
    dup2(fileno(capture), STDOUT_FILENO);
  }
  bool isFinal = data[0] & 1;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  voxline::emit({{"text", text}, {"final", isFinal}});
  std::string line = written();

  if (!isUtf8(text)) {
    if (!line.empty()) std::abort();
    return 0;
  }
  if (line.empty() || line.back() != '\n') std::abort();
  line.pop_back();
  if (line.find_first_of("\r\n") != std::string::npos) std::abort();
  if (nlohmann::json::parse(line) != nlohmann::json{{"text", text}, {"final", isFinal}}) {
    std::abort();
  }
  return 0;
}
