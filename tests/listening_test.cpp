// Starting to listen: the checks before capture, the wiring of the tap, the
// state event, and the shape of the stream that follows.

#include <gtest/gtest.h>

#include "scripted_run.h"

namespace voxline::testing {
namespace {

TEST(Start, NoInputChannelsFailsBeforeAnyCapture) {
  ScriptedRun run = runScripted({{"channels", 0}});
  EXPECT_EQ(run.lines, errorLine("no-microphone"));
  EXPECT_EQ(run.status, 5);
  for (const std::string& call : run.calls()) {
    EXPECT_FALSE(call.starts_with("tap ")) << call;
    EXPECT_FALSE(call.starts_with("startEngine")) << call;
  }
  EXPECT_EQ(run.standardError, "");
}

TEST(Start, EngineThatFailsToStartWritesOnlyItsError) {
  ScriptedRun run = runScripted({{"engineStarts", false}});
  EXPECT_EQ(run.lines, errorLine("microphone"));
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.count("task"), 0);
  EXPECT_EQ(run.count("reader"), 0);
  EXPECT_EQ(run.standardError, "");
}

TEST(Start, WiresCaptureThenAnnouncesThenRecognizesThenArmsTheEndings) {
  ScriptedRun run = runScripted({{"channels", 2}}, "stop\n");
  std::vector<std::string> calls = run.calls();
  std::vector<std::string> start(calls.begin() + run.indexOf("partialResults on"),
                                 calls.begin() + run.indexOf("timer 60") + 1);
  EXPECT_EQ(start, (std::vector<std::string>{"partialResults on", "requireOnDevice on",
                                             "tap bus=0 size=1024 channels=2", "prepare",
                                             "startEngine ok", "task", "reader", "timer 60"}));
  EXPECT_EQ(run.count("endAudio buffers=3"), 1) << "captured buffers reach the request";
}

TEST(Start, StateEventCarriesWhetherRecognitionStaysOnTheDevice) {
  for (bool supported : {true, false}) {
    ScriptedRun run = runScripted({{"onDevice", supported}}, "stop\n");
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), (nlohmann::json{{"state", "listening"}, {"onDevice", supported}}));
    EXPECT_EQ(run.count("requireOnDevice on"), supported ? 1 : 0);
  }
}

TEST(Stream, StateFirstThenEveryResultThenOneFinalLast) {
  ScriptedRun run =
      runScripted({{"results",
                    {result(0.5, "go"), result(1.0, "go forward"), result(1.5, "go forward"),
                     result(2.0, "go forward ten", true), result(3.0, "never written")}}});
  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{
                           {{"state", "listening"}, {"onDevice", true}},
                           {{"text", "go"}, {"final", false}},
                           {{"text", "go forward"}, {"final", false}},
                           {{"text", "go forward"}, {"final", false}},
                           {{"text", "go forward ten"}, {"final", true}},
                       }));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.timeOf("exit 0"), 2.0);
  EXPECT_EQ(run.count("stopEngine"), 0) << "a final result ends the process at once";
  EXPECT_EQ(run.standardError, "");
}

}  // namespace
}  // namespace voxline::testing
