#include "linux/sound_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>
#include <utility>

namespace voxline::testing {
namespace {

pid_t spawn(const std::vector<std::string>& arguments,
            const std::vector<std::pair<std::string, std::string>>& environment,
            const std::string& log) {
  pid_t child = fork();
  if (child == 0) {
    // A group of its own, so that everything it starts can be ended by id.
    setsid();
    int output = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

bool accepts(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool waitUntilAccepting(const SoundServer& server) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!accepts(server.socket)) {
    if (std::chrono::steady_clock::now() > deadline || waitpid(server.pid, nullptr, WNOHANG) != 0) {
      ADD_FAILURE() << "the sound server did not come up; see " << server.folder << "/server.log";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

SoundServer newServerFolder() {
  SoundServer server;
  char folder[] = "/tmp/voxline-sound-XXXXXX";
  server.folder = mkdtemp(folder);
  std::filesystem::create_directories(server.folder + "/client");
  std::filesystem::create_directories(server.folder + "/home");
  return server;
}

// PipeWire, its session manager and its PulseAudio server, on a session bus of
// their own, with the same null sink as the PulseAudio setup.
SoundServer startPipeWire() {
  SoundServer server = newServerFolder();
  server.socket = server.folder + "/pulse/native";
  // The session bus's socket goes in the server's folder too: the bus is
  // killed, not stopped, and would leave it in /tmp.
  std::string bus = server.folder + "/bus.conf";
  std::ofstream(bus)
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
         "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig><type>session</type><listen>unix:dir="
      << server.folder
      << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
         "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
         "<allow own=\"*\"/></policy></busconfig>\n";
  server.pid = spawn({"dbus-run-session", "--config-file=" + bus, "--", "sh", "-c",
                      "pipewire & sleep 0.2; wireplumber & exec pipewire-pulse"},
                     {{"HOME", server.folder + "/home"},
                      {"XDG_RUNTIME_DIR", server.folder},
                      {"XDG_CONFIG_HOME", server.folder + "/home"},
                      {"XDG_STATE_HOME", server.folder + "/home"},
                      {"PIPEWIRE_RUNTIME_DIR", server.folder},
                      {"PULSE_RUNTIME_PATH", server.folder + "/pulse"}},
                     server.folder + "/server.log");
  if (!waitUntilAccepting(server)) return server;
  pactl(server, "load-module module-null-sink sink_name=speech rate=16000");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pactl(server, "list short sources").find("speech.monitor") == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "PipeWire made no speech.monitor source";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pactl(server, "set-default-source speech.monitor");
  return server;
}

}  // namespace

bool onPipeWire() {
  const char* kind = std::getenv("VOXLINE_TEST_SOUND_SERVER");
  return kind != nullptr && std::string(kind) == "pipewire";
}

std::vector<std::pair<std::string, std::string>> SoundServer::clientEnvironment() const {
  return {{"PULSE_SERVER", "unix:" + socket},
          {"HOME", folder + "/client"},
          {"XDG_RUNTIME_DIR", folder + "/client"},
          {"XDG_CONFIG_HOME", folder + "/client"}};
}

SoundServer startSoundServer(const std::vector<std::string>& script) {
  SoundServer server = newServerFolder();
  server.socket = server.folder + "/native";
  std::ofstream file(server.folder + "/server.pa");
  for (const std::string& line : script) file << replaceAll(line, "$DIR", server.folder) << "\n";
  file.close();
  server.pid = spawn({"pulseaudio", "-n", "-F", server.folder + "/server.pa", "--daemonize=no",
                      "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr"},
                     {{"HOME", server.folder + "/home"},
                      {"XDG_RUNTIME_DIR", server.folder},
                      {"XDG_CONFIG_HOME", server.folder + "/home"},
                      {"PULSE_RUNTIME_PATH", server.folder},
                      {"PULSE_STATE_PATH", server.folder + "/home"}},
                     server.folder + "/server.log");
  waitUntilAccepting(server);
  return server;
}

SoundServer startSpeechServer() {
  if (onPipeWire()) return startPipeWire();
  return startSoundServer({
      "load-module module-native-protocol-unix auth-anonymous=1 socket=$DIR/native",
      "load-module module-null-sink sink_name=speech rate=16000",
      "set-default-source speech.monitor",
  });
}

void signalSoundServer(const SoundServer& server, int signal) {
  if (server.pid > 0) kill(-server.pid, signal);
}

void keepSinkCloseToRealTime(SoundServer& server) {
  // PipeWire's null sink follows its graph's clock and loses nothing when a
  // player starts; a second low-latency stream only shortens its cycles.
  if (onPipeWire()) return;
  server.players.push_back(
      spawn({"pacat", "--playback", "--raw", "--format=s16le", "--rate=16000", "--channels=1",
             "--device=speech", "--latency-msec=20", "/dev/zero"},
            server.clientEnvironment(), server.folder + "/silence.log"));
}

void stopSoundServer(SoundServer& server) {
  for (pid_t player : std::exchange(server.players, {})) {
    kill(player, SIGKILL);
    waitpid(player, nullptr, 0);
  }
  if (server.pid > 0) {
    signalSoundServer(server, SIGKILL);
    waitpid(server.pid, nullptr, 0);
    server.pid = -1;
  }
  if (!server.folder.empty() && !::testing::Test::HasFailure()) {
    std::filesystem::remove_all(server.folder);
  }
}

bool playIntoSink(const SoundServer& server, const std::string& recording) {
  pid_t player = spawn({"pacat", "--playback", "--raw", "--format=s16le", "--rate=16000",
                        "--channels=1", "--device=speech", recording},
                       server.clientEnvironment(), server.folder + "/player.log");
  int status = 0;
  waitpid(player, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

HostRun playWhenListening(Launch launch, const SoundServer& server, const std::string& recording) {
  std::thread player;
  launch.onLine = [&](const std::string& line, const std::shared_ptr<HostInput>& input) {
    if (player.joinable() || !nlohmann::json::parse(line).contains("state")) return;
    player = std::thread([&server, &recording, input] {
      EXPECT_TRUE(playIntoSink(server, recording));
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      input->write("stop\n");
    });
  };
  HostRun run = runHost(launch);
  if (player.joinable()) player.join();
  return run;
}

HostRun untilTheWordsAre(const std::string& words, const std::function<HostRun()>& run) {
  HostRun first = run();
  if (!onPipeWire() || first.lines.empty() || first.lines.back().value("text", "") == words) {
    return first;
  }
  std::cout << "PipeWire heard \"" << first.lines.back().value("text", "") << "\"; once more\n";
  return run();
}

std::string pactl(const SoundServer& server, const std::string& arguments) {
  std::string command = "PULSE_SERVER=unix:" + server.socket + " pactl " + arguments + " 2>&1";
  FILE* output = popen(command.c_str(), "r");
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, output)) > 0) text.append(buffer, n);
  pclose(output);
  return text;
}

int freeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace voxline::testing
