// A private sound server for end-to-end tests: no system or user
// configuration and its own runtime folder. PulseAudio by default; PipeWire
// with its PulseAudio server when VOXLINE_TEST_SOUND_SERVER is "pipewire".

#ifndef VOXLINE_TESTS_LINUX_SOUND_SERVER_H_
#define VOXLINE_TESTS_LINUX_SOUND_SERVER_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host.h"

namespace voxline::testing {

struct SoundServer {
  std::string folder;          // runtime folder, removed at the end
  pid_t pid = -1;              // leads the process group of the server's processes
  std::string socket;          // where clients connect
  std::vector<pid_t> players;  // background streams, ended with the server
  // The environment a client of this server runs with.
  std::vector<std::pair<std::string, std::string>> clientEnvironment() const;
};

// Whether the tests run against PipeWire rather than PulseAudio.
bool onPipeWire();

// Starts a PulseAudio server running the script's lines; "$DIR" in them stands for the
// runtime folder. Waits until the server accepts clients.
SoundServer startSoundServer(const std::vector<std::string>& script);

// The usual test server: a null sink "speech" whose monitor is the default
// source, so what is played into the sink is what the microphone hears.
SoundServer startSpeechServer();

// Keeps the sink rendering close to real time, as a microphone delivers, with
// a low-latency stream of silence until the server stops. Otherwise the sink
// renders far ahead while idle and takes that back when a player starts, so
// the player's first moments never reach the monitor: fine for recordings
// that open with quiet, not for speech from the first sample.
void keepSinkCloseToRealTime(SoundServer& server);

// Sends the signal to every process of the server.
void signalSoundServer(const SoundServer& server, int signal);

// Kills the server's processes by their group id and waits for them.
void stopSoundServer(SoundServer& server);

// Plays a 16 kHz mono 16-bit raw recording into the sink "speech", in real
// time, and returns whether it has all been played.
bool playIntoSink(const SoundServer& server, const std::string& recording);

// Runs voxline as a host would: once the listening line is out, the recording
// is played into the sink, and half a second after it the host writes "stop".
HostRun playWhenListening(Launch launch, const SoundServer& server, const std::string& recording);

// Makes the run, and on PipeWire once more when its final words are not these.
// Without real-time scheduling on a loaded machine, PipeWire's graph now and
// then misses a cycle and plays tens of milliseconds of silence into a word
// (PulseAudio does not), which is no fault of the program's.
HostRun untilTheWordsAre(const std::string& words, const std::function<HostRun()>& run);

// What `pactl ARGUMENTS` prints as a client of the server.
std::string pactl(const SoundServer& server, const std::string& arguments);

// A TCP port on the loopback that nobody listens on right now.
int freeLoopbackPort();

// A test with a speech server of its own, and voxline launched as its client.
class SpeechServerTest : public ::testing::Test {
 protected:
  void SetUp() override { server = startSpeechServer(); }
  void TearDown() override { stopSoundServer(server); }

  Launch voxline() const {
    Launch launch;
    launch.program = VOXLINE_PATH;
    launch.environment = server.clientEnvironment();
    return launch;
  }

  SoundServer server;
};

}  // namespace voxline::testing

#endif  // VOXLINE_TESTS_LINUX_SOUND_SERVER_H_
