#include "events/exit_status.h"

#include "events/event_stream.h"
#include "platform/main_queue.h"

namespace voxline {
namespace {

struct FailureEntry {
  const char* code;
  int status;
};

// Indexed by Failure.
constexpr FailureEntry failureTable[] = {
    {"speech-permission", 2}, {"microphone-permission", 2},
    {"unavailable", 3},       {"no-microphone", 5},
    {"microphone", 5},
};

}  // namespace

const char* errorCode(Failure failure) {
  return failureTable[failure].code;
}

int exitStatus(Failure failure) {
  return failureTable[failure].status;
}

void fail(Failure failure) {
  emit({{"error", std::string(errorCode(failure))}});
  platform::exitProcess(exitStatus(failure));
}

}  // namespace voxline
