// A sound server that misbehaves: it dies or loses the microphone while
// voxline listens, or is slow to answer at start.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "host.h"
#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

const nlohmann::json listening = {{"state", "listening"}, {"onDevice", true}};
const std::string recordings = "/usr/share/pocketsphinx/test/data/";

using ServerFaults = SpeechServerTest;

TEST_F(ServerFaults, KilledWhileSpeechPlaysEndsWithTheLastText) {
  std::thread player;
  bool killed = false;
  Launch launch = voxline();
  launch.onLine = [&](const std::string& line, const std::shared_ptr<HostInput>&) {
    nlohmann::json event = nlohmann::json::parse(line);
    if (event.contains("state")) {
      player = std::thread([this] { playIntoSink(server, recordings + "something.raw"); });
    } else if (event.value("final", true) == false && !event["text"].get<std::string>().empty() &&
               !killed) {
      killed = true;
      signalSoundServer(server, SIGKILL);
    }
  };
  // Standard input stays open: only the lost server can end this run before
  // the 60 s limit, and the safety net is well below it.
  HostRun run = runHost(launch);
  if (player.joinable()) player.join();

  EXPECT_FALSE(run.timedOut);
  ASSERT_GE(run.lines.size(), 3u);
  nlohmann::json lastPartial = run.lines[run.lines.size() - 2];
  EXPECT_EQ(run.lines.back(), (nlohmann::json{{"text", lastPartial["text"]}, {"final", true}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
}

TEST_F(ServerFaults, DefaultSourceRemovedWhileListeningEndsWithTheClosingLine) {
  // PipeWire always has a fallback source and moves the stream there, so
  // listening rightly goes on.
  if (onPipeWire()) GTEST_SKIP() << "PipeWire moves the stream to its fallback source";
  Launch launch = voxline();
  launch.onLine = [this](const std::string& line, const std::shared_ptr<HostInput>&) {
    if (!nlohmann::json::parse(line).contains("state")) return;
    // The sink goes, and its monitor, the only source, with it.
    pactl(server, "unload-module module-null-sink");
  };
  // Standard input stays open: only the lost source can end the run before the
  // 60 s limit, and the safety net is well below it.
  HostRun run = runHost(launch);

  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{listening, {{"text", ""}, {"final", true}}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
}

TEST_F(ServerFaults, ServerSlowToAnswerAtStartIsWaitedFor) {
  signalSoundServer(server, SIGSTOP);
  std::thread wake([this] {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    signalSoundServer(server, SIGCONT);
  });
  Launch launch = voxline();
  launch.input = "stop\n";
  HostRun run = runHost(launch);
  wake.join();

  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{listening, {{"text", ""}, {"final", true}}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
}

}  // namespace
}  // namespace voxline::testing
