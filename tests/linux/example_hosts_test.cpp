// The example hosts in examples/ run as their users run them: the voxline the
// build made, a recording played into the microphone, Enter to stop.

#include <gtest/gtest.h>

#include <thread>

#include "host.h"
#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

struct ExampleHost {
  const char* name;
  const char* interpreter;
  const char* script;
};

void PrintTo(const ExampleHost& c, std::ostream* os) {
  *os << c.name;
}

// What a terminal shows at the end: the text after the host's last
// clear-line sequence.
std::string shownLast(const std::string& line) {
  size_t clear = line.rfind("\x1b[K");
  return clear == std::string::npos ? line : line.substr(clear + 3);
}

class ExampleHosts : public SpeechServerTest, public ::testing::WithParamInterface<ExampleHost> {
 protected:
  Launch host() const {
    Launch launch;
    launch.program = GetParam().interpreter;
    launch.arguments = {std::string(VOXLINE_SOURCE_DIR) + "/" + GetParam().script, VOXLINE_PATH};
    launch.environment = server.clientEnvironment();
    launch.jsonLines = false;
    return launch;
  }
};

TEST_P(ExampleHosts, ShowTheWordsAndStopOnEnter) {
  HostRun run = untilTheWordsAre("Go forward 10 meters", [&] {
    std::thread player;
    Launch launch = host();
    launch.onStandardError = [&](const std::string& soFar,
                                 const std::shared_ptr<HostInput>& input) {
      if (player.joinable() || soFar.find("listening") == std::string::npos) return;
      player = std::thread([this, input] {
        EXPECT_TRUE(playIntoSink(server, "/usr/share/pocketsphinx/test/data/goforward.raw"));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(input->write("\n"));
      });
    };
    HostRun run = runHost(launch);
    if (player.joinable()) player.join();
    // The words as the host shows them, for untilTheWordsAre.
    if (!run.rawLines.empty()) run.lines = {{{"text", shownLast(run.rawLines.back())}}};
    return run;
  });

  ASSERT_EQ(run.lines.size(), 1u) << run.standardError;
  EXPECT_EQ(run.lines[0]["text"], "Go forward 10 meters");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "listening; press Enter to stop\n");
}

TEST_P(ExampleHosts, TellWhyVoxlineFailedAndExitWithItsStatus) {
  stopSoundServer(server);  // no sound server at all: no microphone
  HostRun run = runHost(host());

  EXPECT_EQ(run.rawLines, std::vector<std::string>{});
  EXPECT_EQ(run.standardError, "voxline failed: no-microphone\nthe microphone cannot be used\n");
  EXPECT_EQ(run.status, 5);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleHosts,
                         ::testing::Values(ExampleHost{"Python", "python3", "examples/host.py"},
                                           ExampleHost{"Node", "node", "examples/host.mjs"}),
                         [](const ::testing::TestParamInfo<ExampleHost>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace voxline::testing
