// The encoding of events: one line each, parseable, exact, and nothing at all
// for text that is not valid UTF-8.

#include "events/event_stream.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

namespace voxline {
namespace {

// What emit writes to standard output while the work runs.
template <typename Work>
std::string captureStandardOutput(Work work) {
  std::fflush(stdout);
  FILE* capture = std::tmpfile();
  int saved = dup(STDOUT_FILENO);
  dup2(fileno(capture), STDOUT_FILENO);
  work();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string written;
  std::rewind(capture);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0) written.append(buffer, n);
  std::fclose(capture);
  return written;
}

struct TextCase {
  const char* name;
  std::string text;
};

void PrintTo(const TextCase& c, std::ostream* os) {
  *os << c.name;
}

class TextRoundTrip : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextRoundTrip, IsOneLineThatDecodesToTheSameText) {
  const std::string& text = GetParam().text;
  std::string written = captureStandardOutput([&] { emit({{"text", text}, {"final", false}}); });

  ASSERT_FALSE(written.empty());
  ASSERT_EQ(written.back(), '\n');
  std::string line = written.substr(0, written.size() - 1);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\r'), std::string::npos);
  nlohmann::json decoded = nlohmann::json::parse(line);
  EXPECT_EQ(decoded, (nlohmann::json{{"text", text}, {"final", false}}));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextRoundTrip,
    ::testing::Values(TextCase{"Plain", "go forward ten meters"}, TextCase{"Empty", ""},
                      TextCase{"Quotes", "she said \"stop\""},
                      TextCase{"Backslashes", "C:\\path\\ and \\\" and \\\\"},
                      TextCase{"LineBreaks", "one\ntwo\r\nthree\rfour"},
                      TextCase{"ControlCharacters", std::string("tab\there\x01\x1f\x7f") +
                                                        std::string(1, '\0') + "end"},
                      TextCase{"Solidus", "either/or </script>"},
                      TextCase{"NonAscii", "naïve café, Grüße, 日本語, 🎤"},
                      TextCase{"LineSeparators", "a\u2028b\u2029c"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

TEST(EventEncoding, TextThatIsNotUtf8WritesNothing) {
  for (const std::string& text :
       {std::string("\xff"), std::string("caf\xe9"), std::string("cut \xe2\x82"),
        std::string("overlong \xc0\xaf"), std::string("surrogate \xed\xa0\x80")}) {
    EXPECT_EQ(captureStandardOutput([&] {
                emit({{"text", text}, {"final", true}});
              }),
              "")
        << "for " << nlohmann::json::binary({text.begin(), text.end()}).dump();
  }
}

TEST(EventEncoding, KeepsKindsAndValuesAndWritesEveryEvent) {
  std::string written = captureStandardOutput([] {
    emit({{"state", std::string("listening")}, {"onDevice", true}});
    emit({{"text", std::string("same")}, {"final", false}});
    emit({{"text", std::string("same")}, {"final", false}});
    emit({{"error", std::string("no-microphone")}});
  });
  EXPECT_EQ(written,
            "{\"state\":\"listening\",\"onDevice\":true}\n"
            "{\"text\":\"same\",\"final\":false}\n"
            "{\"text\":\"same\",\"final\":false}\n"
            "{\"error\":\"no-microphone\"}\n");
}

}  // namespace
}  // namespace voxline
