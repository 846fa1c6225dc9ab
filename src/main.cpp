// voxline: live transcription of one utterance from the microphone, written to
// standard output as JSON lines. See README.md for the protocol.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/main_queue.h"
#include "platform/speech_services.h"
#include "recognition/recognition_state.h"

namespace platform = voxline::platform;

namespace {

// A host may start us with a standard stream closed. The next file opened
// would then take its number, and reading "standard input" would read the
// sound server's socket, say. /dev/null in its place keeps every stream
// what it should be: a closed input reads as its end.
void keepStandardStreamsOpen() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    // open takes the lowest free number, which is fd: the ones below are open.
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
}

}  // namespace

int main() {
  keepStandardStreamsOpen();
  // A host that stops reading must not turn the exit status into a signal:
  // failed writes to standard output are dropped like every other write error.
  signal(SIGPIPE, SIG_IGN);
  // The state is complete before anything is asked, so no handler can see it
  // half-made.
  voxline::recognizer = platform::recognizerForLocale(platform::currentLocaleIdentifier());
  if (voxline::recognizer == nullptr) voxline::recognizer = platform::recognizerForLocale("en-US");
  voxline::engine = platform::createAudioEngine();
  voxline::request = platform::createRecognitionRequest();

  platform::requestSpeechAuthorization([](int status) {
    platform::postToMainQueue([status] { voxline::onSpeechAuthorization(status); });
  });
  platform::runMainLoop();
  return 0;
}
