// The fixed report of every way the program can fail: an error code on the
// stream and the exit status that goes with it.
//
// A failure is decided where it happens, by calling fail; nothing carries it
// back to a caller. The program ends only with exitNormal or one of the
// statuses below.

#ifndef VOXLINE_EVENTS_EXIT_STATUS_H_
#define VOXLINE_EVENTS_EXIT_STATUS_H_

namespace voxline {

inline constexpr int exitNormal = 0;

enum Failure {
  speechPermission,      // "speech-permission", status 2
  microphonePermission,  // "microphone-permission", status 2
  unavailable,           // "unavailable", status 3
  noMicrophone,          // "no-microphone", status 5
  microphoneFailed,      // "microphone", status 5
};

// The error code written for the failure.
const char* errorCode(Failure failure);

// The exit status the failure ends the process with.
int exitStatus(Failure failure);

// Writes the failure's error event and ends the process with its status.
// Called on the main queue.
[[noreturn]] void fail(Failure failure);

}  // namespace voxline

#endif  // VOXLINE_EVENTS_EXIT_STATUS_H_
