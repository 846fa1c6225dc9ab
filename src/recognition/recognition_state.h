// The recognition state shared by the whole process, and the operations over it.
//
// One process performs exactly one recognition. main creates every field before
// any handler or worker runs; the fields live until the process exits and are
// never freed or reset. All of them are read and written on the main queue
// only, except `request`, which the tap handler also hands buffers to on the
// audio thread (the request accepts that from there).

#ifndef VOXLINE_RECOGNITION_RECOGNITION_STATE_H_
#define VOXLINE_RECOGNITION_RECOGNITION_STATE_H_

#include <string>
#include <string_view>

#include "platform/speech_services.h"

namespace voxline {

// Null when neither the user's locale nor "en-US" has a recognizer; start then
// reports "unavailable". Never changes after main.
extern platform::Recognizer* recognizer;
extern platform::AudioEngine* engine;
extern platform::RecognitionRequest* request;
// Keeps the running task referenced; nobody reads it.
extern platform::RecognitionTask* task;
// The text of the most recent result, or empty before the first one.
extern std::string& lastText;
// Set once by the first stopListening; never cleared.
extern bool stopping;

inline constexpr int inputBus = 0;
inline constexpr uint32_t tapBufferSize = 1024;  // frames
inline constexpr double listenLimit = 60;        // seconds from the end of start
inline constexpr double stopGrace = 2.5;         // seconds from stopListening

// Start-up: the answers to the two permission requests, on the main queue.
void onSpeechAuthorization(int status);
void onMicrophoneAccess(bool granted);

// Listening: checks the recognizer and the input, starts capture and
// recognition, writes the state event and arms both ways listening can end.
// Either ends the process with an error event or returns with listening under
// way. Main queue.
void start();

// The tap handler, on the audio thread: hands the buffer to the request.
void onAudioBuffer(const platform::AudioBuffer& buffer, const platform::AudioTime& when);

// The recognition task's handler, on the main queue.
void onRecognitionResult(const platform::RecognitionResult* result,
                         const platform::RecognitionError* error);

// Ends capture once, however often it is called; main queue.
void stopListening();

// Writes lastText as the final text event and ends the process.
[[noreturn]] void finish(int status);

// The command reader, on its background worker: reads standard input until
// "stop" or its end, then posts stopListening once.
void readCommands();

// Whether one line of standard input, without its line feed, is the stop
// command: "stop" once the carriage return of a CRLF ending is removed and
// tabs and Unicode space separators are trimmed from both ends. Exact and
// case-sensitive.
bool isStopCommand(std::string_view line);

}  // namespace voxline

#endif  // VOXLINE_RECOGNITION_RECOGNITION_STATE_H_
