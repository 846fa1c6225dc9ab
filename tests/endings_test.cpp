// The ways listening ends: stop command, end of input, the listening limit,
// and the grace period after each, with capture stopped once and in order.

#include <gtest/gtest.h>

#include "scripted_run.h"

namespace voxline::testing {
namespace {

nlohmann::json stopAfterFirstPartial(const nlohmann::json& afterEndAudio) {
  return {{"results", nlohmann::json::array({result(1.0, "go forward")})},
          {"afterEndAudio", afterEndAudio},
          {"inputAt", nlohmann::json::array({1.0})}};
}

// Runs the scenario with a host that writes "stop" once the first partial
// result shows.
ScriptedRun runWithHost(const nlohmann::json& scenario) {
  bool stopped = false;
  return runScripted(scenario, "", Input::keepOpen,
                     [&stopped](const std::string& line, const std::shared_ptr<HostInput>& input) {
                       if (stopped || nlohmann::json::parse(line).value("final", true)) return;
                       stopped = true;
                       EXPECT_TRUE(input->write("stop\n"));
                     });
}

TEST(Stop, FinalResultWithinTheGraceIsTheLastLine) {
  ScriptedRun run = runWithHost(
      stopAfterFirstPartial(nlohmann::json::array({result(0.4, "go forward ten", true)})));
  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{
                           {{"state", "listening"}, {"onDevice", true}},
                           {{"text", "go forward"}, {"final", false}},
                           {{"text", "go forward ten"}, {"final", true}},
                       }));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.timeOf("stopEngine"), 1.0);
  EXPECT_DOUBLE_EQ(run.timeOf("exit 0"), 1.4);
  EXPECT_EQ(run.standardError, "");
}

TEST(Stop, CaptureEndsEngineThenTapThenRequestAndArmsTheGrace) {
  ScriptedRun run = runWithHost(stopAfterFirstPartial(nlohmann::json::array()));
  std::vector<std::string> calls = run.calls();
  int first = run.indexOf("stopEngine");
  ASSERT_GE(first, 0);
  EXPECT_EQ(std::vector<std::string>(calls.begin() + first, calls.begin() + first + 4),
            (std::vector<std::string>{"stopEngine", "removeTap bus=0", "endAudio buffers=3",
                                      "timer 2.5"}));
}

TEST(Stop, WithoutAFinalResultTheGraceEndsWithTheLastText) {
  ScriptedRun run = runWithHost(stopAfterFirstPartial(nlohmann::json::array()));
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_EQ(run.lines.back(), (nlohmann::json{{"text", "go forward"}, {"final", true}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_DOUBLE_EQ(run.timeOf("exit 0"), 3.5);
}

TEST(Stop, ResultsKeepComingWhileStopping) {
  ScriptedRun run = runWithHost(stopAfterFirstPartial(
      nlohmann::json::array({result(0.2, "go forward"), result(0.3, "go forward ten"),
                             result(1.0, "go forward ten meters", true)})));
  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{
                           {{"state", "listening"}, {"onDevice", true}},
                           {{"text", "go forward"}, {"final", false}},
                           {{"text", "go forward"}, {"final", false}},
                           {{"text", "go forward ten"}, {"final", false}},
                           {{"text", "go forward ten meters"}, {"final", true}},
                       }));
}

TEST(Stop, StopWrittenWhilePermissionsArePendingStopsRightAfterListeningBegins) {
  ScriptedRun run = runScripted({}, "stop\n");
  EXPECT_LT(run.indexOf("task"), run.indexOf("stopEngine"));
  EXPECT_EQ(run.timeOf("stopEngine"), 0);
  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{{{"state", "listening"}, {"onDevice", true}},
                                                    {{"text", ""}, {"final", true}}}));
}

TEST(Limit, NobodySpeaksAndNoStopComes) {
  ScriptedRun run = runScripted({});
  EXPECT_EQ(run.timeOf("stopEngine"), 60);
  EXPECT_DOUBLE_EQ(run.timeOf("exit 0"), 62.5);
  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{{{"state", "listening"}, {"onDevice", true}},
                                                    {{"text", ""}, {"final", true}}}));
}

TEST(Limit, TheWaitForPermissionsDoesNotCount) {
  ScriptedRun run = runScripted({{"results", nlohmann::json::array({result(59.9, "late words")})}});
  ASSERT_EQ(run.lines.size(), 3u);
  EXPECT_EQ(run.lines.back(), (nlohmann::json{{"text", "late words"}, {"final", true}}));
  EXPECT_LT(run.indexOf("reader"), run.indexOf("timer 60"));
}

TEST(Limit, StopThenLimitStopCaptureOnceAndScheduleFinishOnce) {
  // The host stops at 59 s; the limit fires inside the grace.
  nlohmann::json scenario = {{"results", nlohmann::json::array({result(59.0, "almost")})},
                             {"inputAt", nlohmann::json::array({59.0})}};
  ScriptedRun run = runWithHost(scenario);
  EXPECT_EQ(run.count("stopEngine"), 1);
  EXPECT_EQ(run.count("removeTap bus=0"), 1);
  EXPECT_EQ(run.count("endAudio buffers=3"), 1);
  EXPECT_EQ(run.count("timer 2.5"), 1);
  EXPECT_DOUBLE_EQ(run.timeOf("exit 0"), 61.5);
  EXPECT_EQ(run.lines.back(), (nlohmann::json{{"text", "almost"}, {"final", true}}));
}

}  // namespace
}  // namespace voxline::testing
