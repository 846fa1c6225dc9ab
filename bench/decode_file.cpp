// Runs the Linux recognition task on a 16 kHz mono 16-bit raw file, fed in
// 1024-frame buffers as capture feeds it, and prints the final text. Lets the
// benchmark tell the pipeline's own cost and accuracy from what the live
// audio around the speech does to the decoder.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/main_queue.h"
#include "platform/speech_services.h"

namespace platform = voxline::platform;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream file(argv[1], std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto* samples = reinterpret_cast<const int16_t*>(bytes.data());
  size_t frames = bytes.size() / sizeof(int16_t);

  platform::Recognizer* recognizer = platform::recognizerForLocale("en-US");
  if (recognizer == nullptr || !platform::isAvailable(recognizer)) return 1;
  platform::RecognitionRequest* request = platform::createRecognitionRequest();
  platform::setShouldReportPartialResults(request, true);
  platform::startRecognitionTask(
      recognizer, request,
      [](const platform::RecognitionResult* result, const platform::RecognitionError*) {
        if (result == nullptr || !result->isFinal) return;
        std::printf("%s\n", result->formattedString.c_str());
        platform::exitProcess(0);
      });
  // The ring holds more than a minute, so the whole file fits at once.
  for (size_t at = 0; at < frames; at += 1024) {
    size_t count = std::min<size_t>(1024, frames - at);
    platform::appendAudioBuffer(request, {samples + at, count, {16000, 1}});
  }
  platform::endAudio(request);
  platform::runMainLoop();
}
