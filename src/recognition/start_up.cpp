#include "events/exit_status.h"
#include "platform/main_queue.h"
#include "recognition/recognition_state.h"

namespace voxline {

void onSpeechAuthorization(int status) {
  if (status != platform::authorized) fail(speechPermission);
  platform::requestMicrophoneAccess(
      [](bool granted) { platform::postToMainQueue([granted] { onMicrophoneAccess(granted); }); });
}

void onMicrophoneAccess(bool granted) {
  if (!granted) fail(microphonePermission);
  start();
}

}  // namespace voxline
