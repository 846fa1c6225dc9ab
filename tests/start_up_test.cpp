// Start-up: the locale rule for the recognizer and the two permissions, asked
// in order, each refusal ending the process with one line.

#include <gtest/gtest.h>

#include "scripted_run.h"

namespace voxline::testing {
namespace {

const nlohmann::json listening = {{"state", "listening"}, {"onDevice", true}};

TEST(SpeechPermission, AnythingButAuthorizedIsARefusal) {
  for (int status : {0, 1, 2}) {
    ScriptedRun run = runScripted({{"speechStatus", status}});
    EXPECT_EQ(run.lines, errorLine("speech-permission")) << "status " << status;
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.count("askSpeech"), 1);
    EXPECT_EQ(run.count("askMicrophone"), 0);
    EXPECT_EQ(run.indexOf("tap bus=0 size=1024 channels=1"), -1);
    EXPECT_EQ(run.standardError, "");
  }
}

TEST(MicrophonePermission, RefusalAfterSpeechGrantWritesOnlyItsError) {
  ScriptedRun run = runScripted({{"microphoneGranted", false}});
  EXPECT_EQ(run.lines, errorLine("microphone-permission"));
  EXPECT_EQ(run.status, 2);
  EXPECT_LT(run.indexOf("askSpeech"), run.indexOf("askMicrophone"));
  EXPECT_EQ(run.indexOf("startEngine ok"), -1);
  EXPECT_EQ(run.standardError, "");
}

TEST(Permissions, BothGrantedLeadToListeningAfterBothAsks) {
  ScriptedRun run = runScripted({}, "stop\n");
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.front(), listening);
  EXPECT_EQ(run.status, 0);
  EXPECT_LT(run.indexOf("askSpeech"), run.indexOf("askMicrophone"));
  EXPECT_LT(run.indexOf("askMicrophone"), run.indexOf("partialResults on"));
}

struct LocaleCase {
  const char* name;
  nlohmann::json scenario;
  std::vector<std::string> lookups;
  bool listens;
};

void PrintTo(const LocaleCase& c, std::ostream* os) {
  *os << c.name;
}

class RecognizerChoice : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(RecognizerChoice, FallsBackToUsEnglishAndReportsAbsenceOnlyAfterThePermissions) {
  const LocaleCase& c = GetParam();
  ScriptedRun run = runScripted(c.scenario, "stop\n");

  std::vector<std::string> lookups;
  for (const std::string& call : run.calls()) {
    if (call.starts_with("recognizer ")) lookups.push_back(call);
  }
  EXPECT_EQ(lookups, c.lookups);
  EXPECT_EQ(run.count("askSpeech"), 1);
  EXPECT_EQ(run.count("askMicrophone"), 1);
  if (c.listens) {
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), listening);
    EXPECT_EQ(run.status, 0);
  } else {
    EXPECT_EQ(run.lines, errorLine("unavailable"));
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.indexOf("partialResults on"), -1);
  }
  EXPECT_EQ(run.standardError, "");
}

INSTANTIATE_TEST_SUITE_P(
    Locales, RecognizerChoice,
    ::testing::Values(LocaleCase{"UsersOwn",
                                 {{"locale", "de-DE"}, {"recognizers", {"de-DE", "en-US"}}},
                                 {"recognizer de-DE found"},
                                 true},
                      LocaleCase{"UnsupportedFallsBackToEnglish",
                                 {{"locale", "fr-FR"}, {"recognizers", {"en-US"}}},
                                 {"recognizer fr-FR missing", "recognizer en-US found"},
                                 true},
                      LocaleCase{"NoLocaleSet",
                                 {{"locale", ""}, {"recognizers", {"en-US"}}},
                                 {"recognizer  missing", "recognizer en-US found"},
                                 true},
                      LocaleCase{"NeitherHasOne",
                                 {{"locale", "fr-FR"}, {"recognizers", nlohmann::json::array()}},
                                 {"recognizer fr-FR missing", "recognizer en-US missing"},
                                 false},
                      LocaleCase{"PresentButUnavailable",
                                 {{"locale", "en-US"}, {"available", false}},
                                 {"recognizer en-US found"},
                                 false}),
    [](const ::testing::TestParamInfo<LocaleCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voxline::testing
