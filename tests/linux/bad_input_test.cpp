// Junk on standard input, against the real program: it is never the command,
// it never costs memory in proportion to its size, and "stop" still works
// after it.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>
#include <utility>

#include "host.h"
#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

// The peak resident memory of the process, in KiB.
long peakMemory(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

// The peak once it has stopped growing: listening begins while the model is
// still loading, and the load's memory is no part of what input costs.
long settledPeakMemory(pid_t pid) {
  long peak = peakMemory(pid);
  for (int steady = 0, rounds = 0; steady < 3 && rounds < 100; ++rounds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    long now = std::exchange(peak, peakMemory(pid));
    steady = now == peak ? steady + 1 : 0;
  }
  return peak;
}

std::string randomBytes(size_t size) {
  std::mt19937 generator(20261210);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(byte(generator));
  return bytes;
}

class BadInput : public SpeechServerTest {
 protected:
  // Once listening, writes the junk, then "stop" on a line of its own. Records
  // the peak memory before and after the junk, and whether the final line came
  // before the stop did.
  HostRun feed(const std::string& junk) {
    std::thread host;
    Launch launch = voxline();
    launch.onLine = [&](const std::string& line, const std::shared_ptr<HostInput>& input) {
      nlohmann::json event = nlohmann::json::parse(line);
      if (event.value("final", false) && !stopSent) endedBeforeStop = true;
      if (!event.contains("state")) return;
      host = std::thread([this, &junk, input] {
        memoryBefore = settledPeakMemory(input->pid());
        EXPECT_TRUE(input->write(junk));
        // The reader has taken all but what the pipe still holds.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        memoryAfter = peakMemory(input->pid());
        stopSent = true;
        EXPECT_TRUE(input->write("\nstop\n"));
      });
    };
    HostRun run = runHost(launch);
    if (host.joinable()) host.join();
    return run;
  }

  std::atomic<bool> stopSent = false;
  std::atomic<bool> endedBeforeStop = false;
  long memoryBefore = -1;
  long memoryAfter = -1;
};

TEST_F(BadInput, HugeLineWithoutBreakIsSkippedInBoundedMemory) {
  HostRun run = feed(std::string(64 << 20, 'x'));
  EXPECT_FALSE(endedBeforeStop);
  ASSERT_GT(memoryBefore, 0);
  // Holding the line would cost 64 MiB; skipping it costs nothing.
  EXPECT_LT(memoryAfter - memoryBefore, 8 * 1024) << "KiB";
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back()["final"], true);
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.standardError, "");
}

TEST_F(BadInput, BinaryWithNulAndInvalidUtf8IsIgnored) {
  HostRun run = feed(randomBytes(4 << 20));
  EXPECT_FALSE(endedBeforeStop);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back()["final"], true);
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.standardError, "");
}

class EmptyInput : public ::testing::TestWithParam<Input> {};

TEST_P(EmptyInput, EndsAsTheEndOfInputDoes) {
  SoundServer server = startSpeechServer();
  Launch launch;
  launch.program = VOXLINE_PATH;
  launch.environment = server.clientEnvironment();
  launch.mode = GetParam();
  HostRun run = runHost(launch);
  stopSoundServer(server);

  EXPECT_EQ(run.lines, (std::vector<nlohmann::json>{{{"state", "listening"}, {"onDevice", true}},
                                                    {{"text", ""}, {"final", true}}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.standardError, "");
}

std::string inputName(const ::testing::TestParamInfo<Input>& info) {
  switch (info.param) {
    case Input::devNull:
      return "DevNull";
    case Input::closed:
      return "ClosedDescriptor";
    default:
      return "ClosedPipe";
  }
}

INSTANTIATE_TEST_SUITE_P(Descriptors, EmptyInput,
                         ::testing::Values(Input::devNull, Input::closed, Input::closeAfter),
                         inputName);

}  // namespace
}  // namespace voxline::testing
