// voxline: live transcription of one utterance from the microphone, written to
// standard output as JSON lines. See README.md for the protocol.

#include "platform/main_queue.h"
#include "platform/speech_services.h"
#include "recognition/recognition_state.h"

namespace platform = voxline::platform;

int main() {
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
