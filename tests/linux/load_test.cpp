// Many programs at once on one server, and many in a row: each produces its
// full stream, and none leaves anything behind.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "host.h"
#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

class Load : public SpeechServerTest {
 protected:
  Launch voxline() const {
    Launch launch = SpeechServerTest::voxline();
    launch.timeoutSeconds = 60;
    return launch;
  }
};

TEST_F(Load, EightListeningAtOnceEachHearTheWholeRecording) {
  constexpr int programs = 8;
  std::mutex mutex;
  std::condition_variable allListening;
  std::vector<std::shared_ptr<HostInput>> inputs;
  std::vector<HostRun> runs(programs);
  std::vector<std::thread> hosts;
  for (int i = 0; i < programs; ++i) {
    hosts.emplace_back([&, i] {
      Launch launch = voxline();
      launch.onLine = [&](const std::string& line, const std::shared_ptr<HostInput>& input) {
        if (!nlohmann::json::parse(line).contains("state")) return;
        std::lock_guard lock(mutex);
        inputs.push_back(input);
        allListening.notify_all();
      };
      runs[i] = runHost(launch);
    });
  }
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(allListening.wait_for(lock, std::chrono::seconds(40),
                                      [&] { return inputs.size() == programs; }));
  }
  EXPECT_TRUE(playIntoSink(server, "/usr/share/pocketsphinx/test/data/goforward.raw"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  for (const auto& input : inputs) EXPECT_TRUE(input->write("stop\n"));
  for (std::thread& host : hosts) host.join();

  for (const HostRun& run : runs) {
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(),
              (nlohmann::json{{"text", "Go forward 10 meters"}, {"final", true}}));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardError, "");
  }
}

std::set<std::string> temporaryFiles() {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator("/tmp")) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// On each kind of sound server: runs in a row leave no stream or client
// behind on the server, and the server and the runs leave nothing in /tmp.
TEST(RunsInARow, AHundredLeaveNothingBehindOnEitherSoundServer) {
  for (const char* kind : {"pulseaudio", "pipewire"}) {
    SCOPED_TRACE(kind);
    setenv("VOXLINE_TEST_SOUND_SERVER", kind, 1);
    std::set<std::string> before = temporaryFiles();
    SoundServer server = startSpeechServer();
    for (int i = 0; i < 100; ++i) {
      Launch launch;
      launch.program = VOXLINE_PATH;
      launch.environment = server.clientEnvironment();
      launch.input = "stop\n";
      HostRun run = runHost(launch);
      ASSERT_EQ(run.rawLines.size(), 2u) << "run " << i;
      ASSERT_EQ(run.status, 0) << "run " << i;
      ASSERT_EQ(run.standardError, "") << "run " << i;
    }
    // No stream still open on the microphone, and no voxline still connected.
    EXPECT_EQ(pactl(server, "list short source-outputs"), "");
    std::string clients = pactl(server, "list short clients");
    EXPECT_EQ(clients.find("voxline"), std::string::npos) << clients;
    // Where a client keeps its files, only the sound client library's own
    // cookie, which it creates for the user when there is none.
    std::vector<std::string> files;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(server.folder + "/client")) {
      if (entry.is_regular_file())
        files.push_back(entry.path().lexically_relative(server.folder).string());
    }
    EXPECT_EQ(files, std::vector<std::string>{"client/pulse/cookie"});
    stopSoundServer(server);
    EXPECT_EQ(temporaryFiles(), before);
  }
  unsetenv("VOXLINE_TEST_SOUND_SERVER");
}

}  // namespace
}  // namespace voxline::testing
