#include "events/event_stream.h"
#include "events/exit_status.h"
#include "platform/main_queue.h"
#include "recognition/recognition_state.h"

namespace voxline {

void start() {
  if (recognizer == nullptr || !platform::isAvailable(recognizer)) fail(unavailable);
  platform::setShouldReportPartialResults(request, true);
  if (platform::supportsOnDeviceRecognition(recognizer)) {
    platform::setRequiresOnDeviceRecognition(request, true);
  }
  platform::InputNode* input = platform::inputNode(engine);
  platform::AudioFormat format = platform::outputFormatForBus(input, inputBus);
  if (format.channelCount == 0) fail(noMicrophone);
  platform::installTapOnBus(input, inputBus, tapBufferSize, format, onAudioBuffer);
  platform::prepareEngine(engine);
  if (!platform::startEngine(engine)) fail(microphoneFailed);
  // Written after capture runs and before the task exists, so it precedes every
  // text event.
  emit({{"state", std::string("listening")},
        {"onDevice", platform::requiresOnDeviceRecognition(request)}});
  task = platform::startRecognitionTask(recognizer, request, onRecognitionResult);
  // Both ways of ending start only now, so waiting for the permissions does not
  // count against the limit and early stop lines wait in the pipe.
  platform::runOnBackgroundWorker(readCommands);
  platform::postToMainQueueAfter(listenLimit, stopListening);
}

void onAudioBuffer(const platform::AudioBuffer& buffer, const platform::AudioTime&) {
  platform::appendAudioBuffer(request, buffer);
}

void onRecognitionResult(const platform::RecognitionResult* result,
                         const platform::RecognitionError* error) {
  if (result != nullptr) {
    lastText = result->formattedString;
    emit({{"text", lastText}, {"final", result->isFinal}});
    if (result->isFinal) platform::exitProcess(exitNormal);
  }
  // Posted rather than called, so that the handler returns to the task first.
  if (error != nullptr) platform::postToMainQueue([] { finish(exitNormal); });
}

void stopListening() {
  if (stopping) return;
  stopping = true;
  platform::stopEngine(engine);
  platform::removeTapOnBus(platform::inputNode(engine), inputBus);
  platform::endAudio(request);
  platform::postToMainQueueAfter(stopGrace, [] { finish(exitNormal); });
}

void finish(int status) {
  emit({{"text", lastText}, {"final", true}});
  platform::exitProcess(status);
}

}  // namespace voxline
