// The command language on standard input: which lines stop listening, which
// are ignored, and what the end of input does.

#include <gtest/gtest.h>

#include <string>

#include "recognition/recognition_state.h"
#include "scripted_run.h"

namespace voxline::testing {
namespace {

struct LineCase {
  const char* line;
  bool stops;
};

TEST(StopCommand, MatchesOnlyTheTrimmedLowerCaseWord) {
  const LineCase cases[] = {
      {"stop", true},
      {"  stop\t", true},
      {"stop\r", true},  // the CR of a CRLF terminator
      {"\tstop ", true},
      {"\u00a0stop\u3000", true},  // multi-byte space separators
      {"\u2009\u202fstop\u205f\u1680", true},
      {"STOP", false},
      {"Stop", false},
      {"stop now", false},
      {"stopping", false},
      {"s top", false},
      {"", false},
      {"   ", false},
      {"stop\r\r", false},
      {"stop\v", false},      // a line break is not whitespace here
      {"\u200bstop", false},  // zero width space is no space separator
      {"\xffstop", false},    // not UTF-8
      {"stop\xc2", false},    // a cut multi-byte sequence
      {"\xef\xbc\xb3top", false},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(isStopCommand(c.line), c.stops) << "line: " << nlohmann::json(c.line).dump();
  }
}

TEST(StopCommand, StringsWithNulAreNotTheCommand) {
  EXPECT_FALSE(isStopCommand(std::string("stop\0", 5)));
  EXPECT_FALSE(isStopCommand(std::string("\0stop", 5)));
}

struct InputCase {
  const char* name;
  std::string input;
  Input mode;
  double stopsAt;  // virtual seconds: 0 for the input, 60 for the limit
};

void PrintTo(const InputCase& c, std::ostream* os) {
  *os << c.name;
}

class ReaderInput : public ::testing::TestWithParam<InputCase> {};

TEST_P(ReaderInput, StopsListeningWhenTheInputSaysSo) {
  const InputCase& c = GetParam();
  ScriptedRun run = runScripted({}, c.input, c.mode);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.count("stopEngine"), 1);
  EXPECT_EQ(run.timeOf("stopEngine"), c.stopsAt);
  EXPECT_EQ(run.timeOf("exit 0"), c.stopsAt + 2.5);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back(), (nlohmann::json{{"text", ""}, {"final", true}}));
  EXPECT_EQ(run.standardError, "");
}

const std::string megabytes(8 << 20, 'x');

INSTANTIATE_TEST_SUITE_P(
    Lines, ReaderInput,
    ::testing::Values(InputCase{"Stop", "stop\n", Input::keepOpen, 0},
                      InputCase{"Padded", "   stop\t\n", Input::keepOpen, 0},
                      InputCase{"Crlf", "stop\r\n", Input::keepOpen, 0},
                      InputCase{"AfterIgnoredLines", "STOP\nstop now\nstopping\n\n\xff\xfe\nstop\n",
                                Input::keepOpen, 0},
                      InputCase{"OnlyIgnoredLines", "STOP\nstop now\nstopping\n\n\xffstop\n",
                                Input::keepOpen, 60},
                      InputCase{"NoTerminatorYet", "stop", Input::keepOpen, 60},
                      InputCase{"LastLineWithoutTerminator", "hello\nstop", Input::closeAfter, 0},
                      InputCase{"HugeLineThenStop", megabytes + "\nstop\n", Input::keepOpen, 0},
                      InputCase{"HugeLineEndingInStop", megabytes + "stop\n", Input::keepOpen, 60},
                      InputCase{"HugePaddingIsNoCommand", std::string(5000, ' ') + "stop\n",
                                Input::keepOpen, 60},
                      InputCase{"EmptyAndClosed", "", Input::closeAfter, 0},
                      InputCase{"EndWithoutStop", "hello\n", Input::closeAfter, 0},
                      InputCase{"DevNull", "", Input::devNull, 0},
                      InputCase{"ClosedDescriptor", "", Input::closed, 0}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voxline::testing
