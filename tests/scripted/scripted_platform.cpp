// A scripted implementation of both platform contracts, for tests.
//
// Linked into voxline_scripted, a build of the real program. The scenario comes
// as JSON in VOXLINE_SCENARIO; every call the logic makes is written with its
// virtual time to the file named by VOXLINE_TRACE, so tests can check order and
// absence.
//
// Time is virtual. The clock only moves when the program is idle: nothing is
// posted, no permission answer is on its way, and the command reader is either
// not running or waiting in a read with nothing to read. Then the earliest
// timer (timers include the scripted recognition results) fires and the clock
// jumps to its deadline. That makes every run of a scenario take the same path,
// and 60 virtual seconds take no real time.
//
// Input the host writes at the start may take several reads to arrive; the
// scenario's "inputBytes" says how much there is, and the reader does not count
// as waiting until it has taken that much.
//
// A host that answers an output line with input (a "stop" once a partial result
// shows) races the clock. The scenario's "inputAt" lists the virtual times at
// which the host will write: the clock holds at each of them until the reader
// has taken something from standard input.

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/main_queue.h"
#include "platform/speech_services.h"

namespace voxline::platform {

struct Recognizer {};
struct RecognitionTask {};
struct InputNode {};
struct RecognitionError {};

struct RecognitionRequest {
  bool onDevice = false;
  std::atomic<int> buffers{0};
};

struct AudioEngine {
  InputNode input;
  TapHandler tap = nullptr;
  AudioFormat tapFormat;
  // Set once the capture thread has delivered its buffers.
  std::atomic<bool> captured{true};
};

namespace {

enum ReaderState { readerAbsent, readerRunning, readerWaiting, readerDone };

struct Script {
  nlohmann::json scenario;
  FILE* trace = nullptr;

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> ready;
  std::map<std::pair<double, uint64_t>, std::function<void()>> timers;
  uint64_t timerCount = 0;
  double now = 0;
  int answersOnTheirWay = 0;
  ReaderState reader = readerAbsent;
  std::deque<double> inputAt;
  size_t inputBytes = 0;
  size_t inputTaken = 0;

  ResultHandler results = nullptr;
};

// Never destroyed: detached threads may use it until the process ends.
Script& script = *new Script;

template <typename T>
T setting(const char* key, T fallback) {
  return script.scenario.contains(key) ? script.scenario[key].get<T>() : fallback;
}

void trace(const std::string& what) {
  if (script.trace == nullptr) return;
  std::fprintf(script.trace, "%.3f %s\n", script.now, what.c_str());
  std::fflush(script.trace);
}

void load() {
  if (const char* text = std::getenv("VOXLINE_SCENARIO")) {
    script.scenario = nlohmann::json::parse(text);
  } else {
    script.scenario = nlohmann::json::object();
  }
  script.inputBytes = setting<size_t>("inputBytes", 0);
  for (double at : setting<std::vector<double>>("inputAt", {})) script.inputAt.push_back(at);
  if (const char* path = std::getenv("VOXLINE_TRACE")) script.trace = std::fopen(path, "w");
}

// Caller holds the mutex.
bool idle() {
  if (!script.ready.empty() || script.answersOnTheirWay > 0) return false;
  switch (script.reader) {
    case readerAbsent:
    case readerDone:
      return true;
    case readerRunning:
      return false;
    case readerWaiting: {
      if (script.inputTaken < script.inputBytes) return false;
      // Data or the end of input is there: the reader is about to wake up.
      pollfd input{STDIN_FILENO, POLLIN, 0};
      return poll(&input, 1, 0) == 0;
    }
  }
  return false;
}

// Caller holds the mutex.
void addTimer(double delay, std::function<void()> work) {
  script.timers.emplace(std::make_pair(script.now + delay, script.timerCount++), std::move(work));
}

// Delivers an answer from a thread of its own, as a platform would.
template <typename Handler, typename Value>
void answerLater(Handler handler, Value value) {
  {
    std::lock_guard lock(script.mutex);
    ++script.answersOnTheirWay;
  }
  std::thread([handler, value] {
    handler(value);
    std::lock_guard lock(script.mutex);
    --script.answersOnTheirWay;
    script.wake.notify_one();
  }).detach();
}

// Caller holds the mutex.
void scheduleResults(const nlohmann::json& timeline) {
  for (const nlohmann::json& step : timeline) {
    addTimer(step.value("at", 0.0), [step] {
      RecognitionResult result;
      bool hasResult = step.contains("text");
      if (hasResult) {
        result.formattedString = step["text"].get<std::string>();
        result.isFinal = step.value("final", false);
      }
      RecognitionError error;
      bool hasError = step.value("error", false);
      script.results(hasResult ? &result : nullptr, hasError ? &error : nullptr);
    });
  }
}

}  // namespace

std::string currentLocaleIdentifier() {
  load();
  return setting<std::string>("locale", "en-US");
}

Recognizer* recognizerForLocale(const std::string& identifier) {
  std::vector<std::string> known = setting<std::vector<std::string>>("recognizers", {"en-US"});
  bool found = std::find(known.begin(), known.end(), identifier) != known.end();
  trace("recognizer " + identifier + (found ? " found" : " missing"));
  return found ? new Recognizer : nullptr;
}

bool isAvailable(Recognizer*) {
  return setting("available", true);
}

bool supportsOnDeviceRecognition(Recognizer*) {
  return setting("onDevice", true);
}

void requestSpeechAuthorization(SpeechAuthorizationHandler handler) {
  trace("askSpeech");
  answerLater(handler, setting("speechStatus", 3));
}

void requestMicrophoneAccess(MicrophoneAccessHandler handler) {
  trace("askMicrophone");
  answerLater(handler, setting("microphoneGranted", true));
}

AudioEngine* createAudioEngine() {
  return new AudioEngine;
}

RecognitionRequest* createRecognitionRequest() {
  return new RecognitionRequest;
}

void setShouldReportPartialResults(RecognitionRequest*, bool value) {
  trace(std::string("partialResults ") + (value ? "on" : "off"));
}

void setRequiresOnDeviceRecognition(RecognitionRequest* request, bool value) {
  trace(std::string("requireOnDevice ") + (value ? "on" : "off"));
  request->onDevice = value;
}

bool requiresOnDeviceRecognition(RecognitionRequest* request) {
  return request->onDevice;
}

void appendAudioBuffer(RecognitionRequest* request, const AudioBuffer&) {
  ++request->buffers;
}

void endAudio(RecognitionRequest* request) {
  trace("endAudio buffers=" + std::to_string(request->buffers.load()));
  std::lock_guard lock(script.mutex);
  scheduleResults(setting("afterEndAudio", nlohmann::json::array()));
}

RecognitionTask* startRecognitionTask(Recognizer*, RecognitionRequest*, ResultHandler handler) {
  trace("task");
  std::lock_guard lock(script.mutex);
  script.results = handler;
  scheduleResults(setting("results", nlohmann::json::array()));
  return new RecognitionTask;
}

InputNode* inputNode(AudioEngine* engine) {
  return &engine->input;
}

AudioFormat outputFormatForBus(InputNode*, int) {
  return AudioFormat{16000, setting<uint32_t>("channels", 1)};
}

void installTapOnBus(InputNode* node, int bus, uint32_t bufferSize, AudioFormat format,
                     TapHandler handler) {
  trace("tap bus=" + std::to_string(bus) + " size=" + std::to_string(bufferSize) +
        " channels=" + std::to_string(format.channelCount));
  AudioEngine* engine = reinterpret_cast<AudioEngine*>(node);
  engine->tap = handler;
  engine->tapFormat = format;
}

void removeTapOnBus(InputNode* node, int bus) {
  trace("removeTap bus=" + std::to_string(bus));
  reinterpret_cast<AudioEngine*>(node)->tap = nullptr;
}

void prepareEngine(AudioEngine*) {
  trace("prepare");
}

bool startEngine(AudioEngine* engine) {
  bool starts = setting("engineStarts", true);
  trace(std::string("startEngine ") + (starts ? "ok" : "failed"));
  if (!starts) return false;
  // A few buffers from a thread of its own, as capture would deliver them.
  int count = setting("buffers", 3);
  engine->captured = false;
  // Detached: a final result may end the process while it still runs.
  std::thread([engine, count] {
    static const int16_t silence[1024] = {};
    for (int i = 0; i < count && engine->tap != nullptr; ++i) {
      engine->tap(AudioBuffer{silence, 1024, engine->tapFormat}, AudioTime{i * 1024 / 16000.0});
    }
    engine->captured = true;
    engine->captured.notify_all();
  }).detach();
  return true;
}

void stopEngine(AudioEngine* engine) {
  trace("stopEngine");
  engine->captured.wait(false);
}

void postToMainQueue(std::function<void()> work) {
  std::lock_guard lock(script.mutex);
  script.ready.push_back(std::move(work));
  script.wake.notify_one();
}

void postToMainQueueAfter(double seconds, std::function<void()> work) {
  char delay[32];
  std::snprintf(delay, sizeof delay, "%g", seconds);
  trace(std::string("timer ") + delay);
  std::lock_guard lock(script.mutex);
  addTimer(seconds, std::move(work));
}

void runOnBackgroundWorker(std::function<void()> work) {
  trace("reader");
  std::lock_guard lock(script.mutex);
  script.reader = readerRunning;
  std::thread([work = std::move(work)] {
    work();
    std::lock_guard lock(script.mutex);
    script.reader = readerDone;
    script.wake.notify_one();
  }).detach();
}

ssize_t readStandardInput(char* buffer, size_t capacity) {
  {
    std::lock_guard lock(script.mutex);
    script.reader = readerWaiting;
  }
  ssize_t count = read(STDIN_FILENO, buffer, capacity);
  std::lock_guard lock(script.mutex);
  script.reader = readerRunning;
  if (count > 0) script.inputTaken += static_cast<size_t>(count);
  if (!script.inputAt.empty() && script.now >= script.inputAt.front()) script.inputAt.pop_front();
  return count;
}

void runMainLoop() {
  std::unique_lock lock(script.mutex);
  for (;;) {
    if (!script.ready.empty()) {
      std::function<void()> work = std::move(script.ready.front());
      script.ready.pop_front();
      lock.unlock();
      work();
      lock.lock();
    } else if (idle()) {
      if (script.timers.empty()) {
        // The real program would wait here forever.
        trace("hang");
        _exit(70);
      }
      auto due = script.timers.begin();
      if (!script.inputAt.empty() && due->first.first > script.inputAt.front()) {
        // The host writes before this timer is due: wait for its input.
        script.now = std::max(script.now, script.inputAt.front());
        script.wake.wait_for(lock, std::chrono::milliseconds(1));
        continue;
      }
      script.now = due->first.first;
      script.ready.push_back(std::move(due->second));
      script.timers.erase(due);
    } else {
      // Someone else may post: a reader that has data, an answer on its way.
      script.wake.wait_for(lock, std::chrono::milliseconds(1));
    }
  }
}

void exitProcess(int status) {
  trace("exit " + std::to_string(status));
  std::fflush(stdout);
  _exit(status);
}

}  // namespace voxline::platform
