// Listening begins before the model has loaded: what is said meanwhile is
// kept, a stop meanwhile still ends with the recognizer's words, and a model
// that cannot be loaded after all ends the run the normal way.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "host.h"
#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

const nlohmann::json listening = {{"state", "listening"}, {"onDevice", true}};
const std::string recordings = "/usr/share/pocketsphinx/test/data/";

using ModelLoad = SpeechServerTest;

// The recording with only 150 ms of the quiet before its first word, so that
// speech starts well before the model has loaded.
std::string speechRightAway(const SoundServer& server, const std::string& name) {
  std::ifstream in(recordings + name, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t first = 0;
  for (; first + 1 < bytes.size(); first += 2) {
    int16_t sample = static_cast<int16_t>(static_cast<uint8_t>(bytes[first]) |
                                          static_cast<uint8_t>(bytes[first + 1]) << 8);
    if (sample > 500 || sample < -500) break;
  }
  std::string path = server.folder + "/" + name;
  std::ofstream(path, std::ios::binary)
      << bytes.substr(first - std::min<size_t>(first, 16000 * 2 * 15 / 100));
  return path;
}

TEST_F(ModelLoad, SpeechFromTheListeningLineOnIsAllHeard) {
  keepSinkCloseToRealTime(server);
  std::string speech = speechRightAway(server, "goforward.raw");
  HostRun run = untilTheWordsAre("Go forward 10 meters",
                                 [&] { return playWhenListening(voxline(), server, speech); });

  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.front(), listening);
  EXPECT_EQ(run.lines.back(), (nlohmann::json{{"text", "Go forward 10 meters"}, {"final", true}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
}

TEST_F(ModelLoad, StopRightAfterTheListeningLineEndsWithOneFinalLine) {
  Launch launch = voxline();
  launch.onLine = [](const std::string& line, const std::shared_ptr<HostInput>& input) {
    if (nlohmann::json::parse(line).contains("state")) input->write("stop\n");
  };
  HostRun run = runHost(launch);

  std::vector<nlohmann::json> expected = {listening, {{"text", ""}, {"final", true}}};
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
}

struct Damage {
  const char* name;
  const char* lang;  // picks one of the damaged models the build made
  std::vector<nlohmann::json> lines;
  int status;
};

void PrintTo(const Damage& c, std::ostream* os) {
  *os << c.name;
}

class DamagedModel : public SpeechServerTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedModel, EndsAsItsProtocolSays) {
  Launch launch = voxline();
  launch.program = VOXLINE_TEST_MODELS_PATH;
  launch.environment.insert(launch.environment.end(),
                            {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", GetParam().lang}});
  // Input stays open: only the failed load can end a run that is listening.
  HostRun run = runHost(launch);

  EXPECT_EQ(run.lines, GetParam().lines);
  EXPECT_EQ(run.status, GetParam().status);
  EXPECT_EQ(run.standardError, "");
  EXPECT_FALSE(run.timedOut);
}

INSTANTIATE_TEST_SUITE_P(
    Models, DamagedModel,
    ::testing::Values(
        // The decoder library reports this load as failed. (A language model
        // cut short it reads past its end, which no look at the file can
        // make safe.)
        Damage{"ModelDefinitionCutShort",
               "zz_ZZ.UTF-8",
               {listening, {{"text", ""}, {"final", true}}},
               0},
        // The decoder library ends the process itself on this one.
        Damage{"TransitionMatricesCutShort",
               "zy_ZY.UTF-8",
               {listening, {{"text", ""}, {"final", true}}},
               0},
        // Refused before listening by a look at its files.
        Damage{"ModelDefinitionReplaced", "zx_ZX.UTF-8", {{{"error", "unavailable"}}}, 3}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voxline::testing
