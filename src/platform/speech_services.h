// Speech recognition and audio capture, as the recognition logic needs them.
//
// The logic never talks to a sound server or a decoder itself; it holds the
// handles declared here and calls the operations below. Each backend (the Linux
// one in platform/linux, the scripted one the tests use) defines the handle types
// and every operation, and exactly one backend is linked into an executable.
//
// Threading: every operation is called on the main queue (see main_queue.h),
// except appendAudioBuffer, which the tap handler calls on the audio thread. The
// permission answers and the tap handler arrive on threads of the backend's own;
// result handlers always run on the main queue, which is what lets the logic
// share its state with them without a lock.
//
// Ownership: handles are created once and owned by the backend for the life of
// the process. Nobody frees them; the process exit ends them.
//
// Failure: no operation reports an error value beyond what is stated for it
// (an absent recognizer, a refused permission, 0 channels, a failed start, an
// error passed to the result handler). Backends drop the details.

#ifndef VOXLINE_PLATFORM_SPEECH_SERVICES_H_
#define VOXLINE_PLATFORM_SPEECH_SERVICES_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace voxline::platform {

struct Recognizer;
struct RecognitionRequest;
struct RecognitionTask;
struct AudioEngine;
struct InputNode;

// What the backend passes to a result handler when recognition fails. Opaque:
// the logic only looks at whether there is one.
struct RecognitionError;

// The format of the audio an input node delivers on a bus.
struct AudioFormat {
  double sampleRate = 0;
  uint32_t channelCount = 0;
};

// A view of captured audio, valid only during the tap handler's call.
struct AudioBuffer {
  const void* data = nullptr;
  size_t frameLength = 0;
  AudioFormat format;
};

// When a buffer was captured, in seconds on the backend's capture clock.
struct AudioTime {
  double sampleTime = 0;
};

// One recognition result: the whole transcription so far as display text.
struct RecognitionResult {
  std::string formattedString;
  bool isFinal = false;
};

// Answers to the speech-recognition authorization request. Only `authorized`
// lets the program go on.
enum SpeechAuthorizationStatus : int {
  notDetermined = 0,
  denied = 1,
  restricted = 2,
  authorized = 3,
};

using SpeechAuthorizationHandler = void (*)(int status);
using MicrophoneAccessHandler = void (*)(bool granted);
using TapHandler = void (*)(const AudioBuffer& buffer, const AudioTime& when);
// Either pointer may be null; both are valid only during the call.
using ResultHandler = void (*)(const RecognitionResult* result, const RecognitionError* error);

// The user's language and region as an identifier such as "en-US", or the
// empty string when the user has set none.
std::string currentLocaleIdentifier();

// A recognizer for the identified locale, or null when the locale is not
// supported. The recognizer may still turn out unavailable (isAvailable).
Recognizer* recognizerForLocale(const std::string& identifier);

// Whether the recognizer can be used: what it needs is installed and looks
// sound. Answers at once, without waiting for work the backend started in
// recognizerForLocale (loading a model); read once. A recognizer that passes
// and still fails to load reports that to the task's result handler as an error.
bool isAvailable(Recognizer* recognizer);

// Whether the recognizer can keep recognition on this machine.
bool supportsOnDeviceRecognition(Recognizer* recognizer);

// Asks whether speech recognition may be used. The handler is called exactly
// once, later, on any thread, with a SpeechAuthorizationStatus value.
void requestSpeechAuthorization(SpeechAuthorizationHandler handler);

// Asks whether the microphone may be used. The handler is called exactly once,
// later, on any thread.
void requestMicrophoneAccess(MicrophoneAccessHandler handler);

AudioEngine* createAudioEngine();

// A request fed with audio buffers. A new one does not report partial results
// and does not require on-device recognition.
RecognitionRequest* createRecognitionRequest();

void setShouldReportPartialResults(RecognitionRequest* request, bool value);
void setRequiresOnDeviceRecognition(RecognitionRequest* request, bool value);
// Reads back what setRequiresOnDeviceRecognition set, or the default.
bool requiresOnDeviceRecognition(RecognitionRequest* request);

// Hands a captured buffer to the request. Called on the audio thread while the
// task runs; it neither blocks nor allocates. The buffer is not kept.
void appendAudioBuffer(RecognitionRequest* request, const AudioBuffer& buffer);

// No more audio follows. Everything appended before is still recognized; the
// task may then deliver a final result or an error.
void endAudio(RecognitionRequest* request);

// Starts recognizing the request's audio, returning at once even while the
// recognizer is still getting ready: audio appended meanwhile is kept and
// recognized in order once it is. The handler runs on the main queue, zero or
// more times; partial results come with isFinal false. The task handle only
// keeps the recognition referenced.
RecognitionTask* startRecognitionTask(Recognizer* recognizer, RecognitionRequest* request,
                                      ResultHandler handler);

InputNode* inputNode(AudioEngine* engine);

// The format the node delivers on the bus; 0 channels when there is no usable
// input.
AudioFormat outputFormatForBus(InputNode* node, int bus);

// Routes every captured buffer of the bus to the handler, on the audio thread,
// once the engine runs. bufferSize is a request in frames, not a promise.
void installTapOnBus(InputNode* node, int bus, uint32_t bufferSize, AudioFormat format,
                     TapHandler handler);

// After this returns the tap handler of the bus is never called again.
void removeTapOnBus(InputNode* node, int bus);

void prepareEngine(AudioEngine* engine);

// Starts capture. Returns false when it fails; buffers flow only after true.
bool startEngine(AudioEngine* engine);

// Ends capture; after this returns no tap handler is called again.
void stopEngine(AudioEngine* engine);

}  // namespace voxline::platform

#endif  // VOXLINE_PLATFORM_SPEECH_SERVICES_H_
