// The real program against a real sound server: recorded speech played into a
// null sink whose monitor is the default source, transcribed by PocketSphinx.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "host.h"
#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

const std::string recordings = "/usr/share/pocketsphinx/test/data/";
const nlohmann::json listening = {{"state", "listening"}, {"onDevice", true}};

using Environment = std::vector<std::pair<std::string, std::string>>;

Environment withLocale(Environment environment, const std::string& lang) {
  environment.insert(environment.end(), {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", lang}});
  return environment;
}

enum class Ending { stopCommand, closeInput };

struct Speech {
  const char* name;
  std::vector<std::string> recordings;  // played one after the other, with pauses between
  const char* lang;
  Ending ending;
  const char* expected;
};

void PrintTo(const Speech& c, std::ostream* os) {
  *os << c.name;
}

// The recordings joined into one, with 1.5 s of silence between them.
std::string joinedRecording(const SoundServer& server, const std::vector<std::string>& parts) {
  std::string path = server.folder + "/speech.raw";
  std::ofstream joined(path, std::ios::binary);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined << std::string(16000 * 3, '\0');
    std::ifstream part(recordings + parts[i], std::ios::binary);
    joined << part.rdbuf();
  }
  return path;
}

// Runs voxline as a host would: once the listening line is out, the recording
// is played into the sink, and half a second after it the host ends listening.
HostRun listenTo(const SoundServer& server, const Speech& speech) {
  std::thread host;
  Launch launch;
  launch.program = VOXLINE_PATH;
  launch.environment = withLocale(server.clientEnvironment(), speech.lang);
  launch.onLine = [&](const std::string& line, const std::shared_ptr<HostInput>& input) {
    if (host.joinable() || !nlohmann::json::parse(line).contains("state")) return;
    host = std::thread([&server, &speech, input] {
      EXPECT_TRUE(playIntoSink(server, joinedRecording(server, speech.recordings)));
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (speech.ending == Ending::stopCommand) {
        EXPECT_TRUE(input->write("stop\n"));
      } else {
        input->close();
      }
    });
  };
  HostRun run = runHost(launch);
  if (host.joinable()) host.join();
  return run;
}

class Transcription : public SpeechServerTest, public ::testing::WithParamInterface<Speech> {};

TEST_P(Transcription, StreamsPartialsAndEndsWithTheRecordingsWords) {
  HostRun run = untilTheWordsAre(GetParam().expected, [&] { return listenTo(server, GetParam()); });

  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.front(), listening);
  int finals = 0, partials = 0;
  for (size_t i = 1; i < run.lines.size(); ++i) {
    ASSERT_TRUE(run.lines[i].contains("text")) << run.rawLines[i];
    (run.lines[i]["final"].get<bool>() ? finals : partials)++;
  }
  EXPECT_EQ(finals, 1);
  EXPECT_GE(partials, 1);
  EXPECT_EQ(run.lines.back(), (nlohmann::json{{"text", GetParam().expected}, {"final", true}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
  EXPECT_FALSE(run.timedOut);
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, Transcription,
    ::testing::Values(Speech{"StopCommand",
                             {"goforward.raw"},
                             "en_US.UTF-8",
                             Ending::stopCommand,
                             "Go forward 10 meters"},
                      Speech{"ClosedInput",
                             {"something.raw"},
                             "en_US.UTF-8",
                             Ending::closeInput,
                             "Go somewhere and do something"},
                      Speech{"LocaleWithoutModelUsesEnglish",
                             {"goforward.raw"},
                             "fr_FR.UTF-8",
                             Ending::stopCommand,
                             "Go forward 10 meters"},
                      Speech{"NothingLostAcrossPauses",
                             {"goforward.raw", "something.raw"},
                             "C",
                             Ending::stopCommand,
                             "Go forward 10 meters go somewhere and do something"}),
    [](const ::testing::TestParamInfo<Speech>& info) { return std::string(info.param.name); });

struct Fault {
  const char* name;
  std::vector<std::string> script;  // empty: no server at all
  const char* error;
  int status;
};

void PrintTo(const Fault& c, std::ostream* os) {
  *os << c.name;
}

class StartFaults : public ::testing::TestWithParam<Fault> {};

TEST_P(StartFaults, WriteOnlyTheirErrorLine) {
  if (onPipeWire()) GTEST_SKIP() << "these faults are made with PulseAudio's own modules";
  const Fault& fault = GetParam();
  SoundServer server;
  Environment environment;
  if (fault.script.empty()) {
    char folder[] = "/tmp/voxline-noserver-XXXXXX";
    server.folder = mkdtemp(folder);
    server.socket = server.folder + "/native";
    environment = server.clientEnvironment();
  } else {
    int port = freeLoopbackPort();
    std::vector<std::string> script;
    for (std::string line : fault.script) {
      if (size_t at = line.find("$PORT"); at != std::string::npos) {
        line.replace(at, 5, std::to_string(port));
      }
      script.push_back(line);
    }
    server = startSoundServer(script);
    environment = server.clientEnvironment();
    if (std::string(fault.name).starts_with("Cookie")) {
      // A client that reaches the server over TCP with a cookie it does not accept.
      std::string cookie = server.folder + "/client/cookie";
      std::ofstream(cookie) << std::string(256, 'x');
      environment.push_back({"PULSE_SERVER", "tcp:127.0.0.1:" + std::to_string(port)});
      environment.push_back({"PULSE_COOKIE", cookie});
    }
  }
  Launch launch;
  launch.program = VOXLINE_PATH;
  launch.environment = withLocale(environment, "en_US.UTF-8");
  launch.input = "stop\n";
  HostRun run = runHost(launch);
  stopSoundServer(server);

  std::vector<nlohmann::json> onlyTheError = {nlohmann::json{{"error", fault.error}}};
  EXPECT_EQ(run.lines, onlyTheError);
  EXPECT_EQ(run.status, fault.status);
  EXPECT_EQ(run.standardError, "");
}

INSTANTIATE_TEST_SUITE_P(
    Servers, StartFaults,
    ::testing::Values(
        Fault{"NoServer", {}, "no-microphone", 5},
        Fault{"ServerWithoutSource",
              {"load-module module-native-protocol-unix auth-anonymous=1 socket=$DIR/native"},
              "no-microphone",
              5},
        Fault{"CookieTheServerRefuses",
              {"load-module module-native-protocol-unix auth-anonymous=1 socket=$DIR/native",
               "load-module module-native-protocol-tcp port=$PORT listen=127.0.0.1 "
               "auth-anonymous=0 auth-cookie=$DIR/cookie",
               "load-module module-null-sink sink_name=speech"},
              "microphone-permission",
              2}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

using ChosenSource = SpeechServerTest;

// The sound server's own setting chooses the microphone. PulseAudio cannot
// capture from one that does not exist; PipeWire captures from its fallback
// source instead.
TEST_F(ChosenSource, ThatDoesNotExistIsAMicrophoneThatCannotStart) {
  Launch launch = voxline();
  launch.environment.push_back({"PULSE_SOURCE", "no-such-source"});
  launch.input = "stop\n";
  HostRun run = runHost(launch);

  std::vector<nlohmann::json> expected = {nlohmann::json{{"error", "microphone"}}};
  if (onPipeWire()) expected = {listening, {{"text", ""}, {"final", true}}};
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(run.status, onPipeWire() ? 0 : 5);
  EXPECT_EQ(run.standardError, "");
}

}  // namespace
}  // namespace voxline::testing
