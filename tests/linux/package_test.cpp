// The Debian package the build makes: what it holds, and the program it
// installs transcribing end to end, unpacked into a scratch root and, where
// the tests run as root, installed and removed with dpkg.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "host.h"
#include "linux/sound_server.h"

namespace voxline::testing {
namespace {

namespace fs = std::filesystem;

std::string packagePath() {
  for (const auto& entry : fs::directory_iterator(VOXLINE_PACKAGE_DIR)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with("voxline_") && name.ends_with(".deb")) return entry.path().string();
  }
  return "";
}

int run(const std::string& command) {
  int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Package : public SpeechServerTest {
 protected:
  void SetUp() override {
    SpeechServerTest::SetUp();
    package = packagePath();
    ASSERT_NE(package, "") << "no package in " << VOXLINE_PACKAGE_DIR;
  }

  // The installed program hears the shipped recording as the build's does.
  void expectTranscribes(const std::string& program) {
    Launch launch = voxline();
    launch.program = program;
    HostRun run = untilTheWordsAre("Go forward 10 meters", [&] {
      return playWhenListening(launch, server, "/usr/share/pocketsphinx/test/data/goforward.raw");
    });
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(),
              (nlohmann::json{{"text", "Go forward 10 meters"}, {"final", true}}));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardError, "");
  }

  std::string package;
};

TEST_F(Package, UnpackedHoldsTheProgramItsDocumentsAndItsDictionary) {
  std::string root = server.folder + "/root";
  ASSERT_EQ(run("dpkg-deb -x " + package + " " + root), 0);
  for (const char* file :
       {"usr/bin/voxline", "usr/share/man/man1/voxline.1.gz", "usr/share/doc/voxline/copyright",
        "usr/share/doc/voxline/changelog.gz", "usr/share/doc/voxline/README.md",
        "usr/share/doc/voxline/examples/host.py", "usr/share/doc/voxline/examples/host.mjs",
        "usr/share/voxline/en-us.dict"}) {
    EXPECT_TRUE(fs::is_regular_file(root + "/" + file)) << file;
  }
  expectTranscribes(root + "/usr/bin/voxline");
}

TEST_F(Package, DependsOnWhatItLinksAndTheModel) {
  FILE* pipe = popen(("dpkg-deb -f " + package + " Depends").c_str(), "r");
  char buffer[4096] = {};
  size_t n = fread(buffer, 1, sizeof buffer - 1, pipe);
  pclose(pipe);
  std::string depends(buffer, n);
  for (const char* dependency : {"libpulse0", "libpocketsphinx3", "libsphinxbase3",
                                 "pocketsphinx-en-us", "libc6", "libstdc++6"}) {
    EXPECT_NE(depends.find(dependency), std::string::npos) << depends;
  }
}

TEST_F(Package, InstallsRunsAndRemovesCleanly) {
  if (geteuid() != 0) GTEST_SKIP() << "installing takes root";
  if (run("dpkg -s voxline") == 0) GTEST_SKIP() << "a voxline package is installed already";
  ASSERT_EQ(run("dpkg -i " + package), 0);
  expectTranscribes("/usr/bin/voxline");
  EXPECT_EQ(run("dpkg --purge voxline"), 0);
  for (const char* path : {"/usr/bin/voxline", "/usr/share/voxline", "/usr/share/doc/voxline",
                           "/usr/share/man/man1/voxline.1.gz"}) {
    EXPECT_FALSE(fs::exists(path)) << path;
  }
}

}  // namespace
}  // namespace voxline::testing
