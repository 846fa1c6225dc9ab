// Speech recognition on Linux: PocketSphinx with an installed model, on this
// machine only.
//
// A recognizer is an installed model; its decoder loads on a thread of its own
// as soon as the recognizer is made. Nothing waits for that load but the
// task's decoder thread: capture starts and the request buffers audio while
// the model is still loading, and the decoder catches up once it is there.
// The request is a preallocated single-producer, single-consumer ring of 16 kHz
// mono samples: the audio thread writes it without a lock or an allocation,
// and the task's decoder thread reads it. The decoder thread feeds PocketSphinx
// as audio arrives, so little is left to decode when the audio ends, and posts
// every change of the transcription to the main queue.

#include <linux/futex.h>
#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/linux/display_text.h"
#include "platform/linux/linux_backend.h"
#include "platform/linux/model_files.h"
#include "platform/main_queue.h"
#include "platform/speech_services.h"

namespace voxline::platform {

struct Recognizer {
  bool available = false;
  // Null when the model could not be loaded after all. Only the task's
  // decoder thread waits for it.
  std::shared_future<ps_decoder_t*> decoder;
};

struct RecognitionError {};

struct RecognitionRequest {
  bool reportPartialResults = false;
  bool requiresOnDevice = false;

  // 2^20 samples: more than the whole listening limit and the grace at 16 kHz,
  // so even a decoder that fell far behind loses nothing.
  static constexpr size_t capacity = size_t{1} << 20;
  std::unique_ptr<int16_t[]> ring{new int16_t[capacity]};
  std::atomic<uint64_t> written{0};  // only the audio thread stores it
  std::atomic<uint64_t> taken{0};    // only the decoder thread stores it
  std::atomic<bool> ended{false};
  // Bumped after every append and at the end; the decoder thread sleeps on it
  // as a futex, so it wakes when audio arrives rather than on a timer.
  std::atomic<uint32_t> arrivals{0};
};
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

struct RecognitionTask {};

namespace linux_backend {
std::atomic<bool> captureLost{false};
}  // namespace linux_backend

namespace {

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Where the program keeps what it derives from a model at build time: in
// ../share/voxline once installed, beside the program in the build tree.
std::string derivedDictionary(const std::string& name) {
  char executable[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
  if (length <= 0) return "";
  std::string folder(executable, static_cast<size_t>(length));
  folder.erase(folder.rfind('/') + 1);
  std::string installed = folder + "../share/voxline/" + name + ".dict";
  return access(installed.c_str(), R_OK) == 0 ? installed : folder + name + ".dict";
}

// The promise of the load running on this thread, if any.
thread_local std::promise<ps_decoder_t*>* loading = nullptr;

// PocketSphinx ends the whole process (exit with status 1) on some damaged
// models instead of failing the load. Here that exit is turned back into a
// failed load: the loading thread answers "no decoder" and never returns, so
// the exit never completes, and the main queue ends the process the
// recognition's own way.
void failLoadInsteadOfExit() {
  if (loading == nullptr) return;
  loading->set_value(nullptr);
  for (;;) pause();
}

void loadDecoder(std::promise<ps_decoder_t*> decoder, linux_backend::ModelFiles model) {
  static const bool guarded = std::atexit(failLoadInsteadOfExit) == 0;
  // PocketSphinx logs to standard error unless told otherwise; the program's
  // standard error stays silent.
  err_set_logfp(nullptr);
  cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model.acoustic.c_str(), "-lm",
                                 model.language.c_str(), "-dict", model.dictionary.c_str(),
                                 "-logfn", "/dev/null", nullptr);
  if (config == nullptr) return decoder.set_value(nullptr);
  if (guarded) loading = &decoder;
  ps_decoder_t* loaded = ps_init(config);
  loading = nullptr;
  decoder.set_value(loaded);
}

// PocketSphinx's hypothesis as lexical words: single spaces, without fillers,
// noise markers or pronunciation variants.
std::string lexicalWords(const char* hypothesis) {
  std::string text;
  if (hypothesis == nullptr) return text;
  std::istringstream words(hypothesis);
  for (std::string word; words >> word;) {
    if (word.front() == '<' || word.front() == '[' || word.front() == '+') continue;
    if (size_t variant = word.find('('); variant != std::string::npos && variant > 0) {
      word.erase(variant);
    }
    if (!text.empty()) text.push_back(' ');
    text.append(word);
  }
  return text;
}

std::string joined(const std::string& earlier, const std::string& current) {
  if (earlier.empty()) return current;
  if (current.empty()) return earlier;
  return earlier + " " + current;
}

void post(ResultHandler handler, std::string text, bool isFinal) {
  postToMainQueue([handler, text = std::move(text), isFinal] {
    RecognitionResult result{text, isFinal};
    handler(&result, nullptr);
  });
}

void postError(ResultHandler handler) {
  postToMainQueue([handler] {
    RecognitionError error;
    handler(nullptr, &error);
  });
}

uint32_t* futexWord(std::atomic<uint32_t>& word) {
  return reinterpret_cast<uint32_t*>(&word);
}

// Sleeps until an arrival after `seen`, or at most 100 ms: a lost capture sets
// its flag without waking anyone, and is noticed on the next timeout.
void waitForArrival(RecognitionRequest* request, uint32_t seen) {
  timespec timeout{0, 100'000'000};
  syscall(SYS_futex, futexWord(request->arrivals), FUTEX_WAIT_PRIVATE, seen, &timeout, nullptr, 0);
}

// A single system call and no lock, so the audio thread may make it.
void signalArrival(RecognitionRequest* request) {
  request->arrivals.fetch_add(1, std::memory_order_release);
  syscall(SYS_futex, futexWord(request->arrivals), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// The task's thread. Utterances are split where PocketSphinx's voice activity
// detection hears speech end, as its own continuous decoder does; the text of
// finished utterances is kept so nothing heard earlier is lost across pauses.
//
// The audio is fed in steps of 2048 samples, the step PocketSphinx's own
// continuous decoder reads in: voice activity is looked at after each step, so
// the step decides where utterances split, and this one splits them where that
// decoder does (smaller steps cost accuracy on the same recording). A shorter
// step happens only at the end of the audio.
//
// Until the model has loaded, the ring fills with what is captured meanwhile;
// the backlog is decoded first, in the same steps.
void decode(Recognizer* recognizer, RecognitionRequest* request, ResultHandler handler) {
  ps_decoder_t* decoder = recognizer->decoder.get();
  if (decoder == nullptr) return postError(handler);
  constexpr size_t step = 2048;
  std::string finished;
  std::string posted;
  bool inSpeech = false;
  ps_start_utt(decoder);
  for (;;) {
    // Read before the ring, so an arrival after the look cannot be slept through.
    uint32_t seen = request->arrivals.load(std::memory_order_acquire);
    uint64_t taken = request->taken.load(std::memory_order_relaxed);
    uint64_t available = request->written.load(std::memory_order_acquire) - taken;
    if (available < step) {
      // Looked at only short of a whole step, so everything captured before
      // the end is decoded first. The last buffers may land just before the
      // end is set, so the ring is looked at once more after it.
      if (request->ended.load(std::memory_order_acquire)) {
        available = request->written.load(std::memory_order_acquire) - taken;
        if (available == 0) break;
      } else if (linux_backend::captureLost.load(std::memory_order_acquire)) {
        postError(handler);
        return;
      } else {
        waitForArrival(request, seen);
        continue;
      }
    }
    size_t start = taken % RecognitionRequest::capacity;
    size_t count = std::min<uint64_t>({available, step, RecognitionRequest::capacity - start});
    ps_process_raw(decoder, request->ring.get() + start, count, FALSE, FALSE);
    request->taken.store(taken + count, std::memory_order_release);

    bool speech = ps_get_in_speech(decoder) != 0;
    if (inSpeech && !speech) {
      ps_end_utt(decoder);
      finished = joined(finished, lexicalWords(ps_get_hyp(decoder, nullptr)));
      ps_start_utt(decoder);
    }
    inSpeech = speech;
    if (request->reportPartialResults) {
      // The whole text is formatted each time: a number or date may run on
      // across a pause.
      std::string text =
          linux_backend::displayText(joined(finished, lexicalWords(ps_get_hyp(decoder, nullptr))));
      if (text != posted) {
        posted = text;
        post(handler, text, false);
      }
    }
  }
  ps_end_utt(decoder);
  post(handler,
       linux_backend::displayText(joined(finished, lexicalWords(ps_get_hyp(decoder, nullptr)))),
       true);
}

}  // namespace

Recognizer* recognizerForLocale(const std::string& identifier) {
  if (identifier.empty()) return nullptr;
  std::string name = lowerCase(identifier);
  linux_backend::ModelFiles model = linux_backend::installedModel(VOXLINE_MODEL_DIR, name);
  if (!linux_backend::isInstalled(model)) return nullptr;
  auto* recognizer = new Recognizer;
  recognizer->available = linux_backend::looksLoadable(model);
  if (recognizer->available) {
    std::promise<ps_decoder_t*> decoder;
    recognizer->decoder = decoder.get_future().share();
    std::thread(loadDecoder, std::move(decoder),
                linux_backend::withDerivedDictionary(model, derivedDictionary(name)))
        .detach();
  }
  return recognizer;
}

bool isAvailable(Recognizer* recognizer) {
  return recognizer->available;
}

bool supportsOnDeviceRecognition(Recognizer*) {
  return true;
}

void requestSpeechAuthorization(SpeechAuthorizationHandler handler) {
  // Recognition never leaves this machine, and Linux has no consent gate for
  // that: the answer is always yes, delivered as the contract says.
  std::thread([handler] { handler(authorized); }).detach();
}

RecognitionRequest* createRecognitionRequest() {
  return new RecognitionRequest;
}

void setShouldReportPartialResults(RecognitionRequest* request, bool value) {
  request->reportPartialResults = value;
}

void setRequiresOnDeviceRecognition(RecognitionRequest* request, bool value) {
  request->requiresOnDevice = value;
}

bool requiresOnDeviceRecognition(RecognitionRequest* request) {
  return request->requiresOnDevice;
}

void appendAudioBuffer(RecognitionRequest* request, const AudioBuffer& buffer) {
  const auto* samples = static_cast<const int16_t*>(buffer.data);
  uint64_t written = request->written.load(std::memory_order_relaxed);
  uint64_t room =
      RecognitionRequest::capacity - (written - request->taken.load(std::memory_order_acquire));
  size_t count = std::min<uint64_t>(buffer.frameLength, room);
  size_t start = written % RecognitionRequest::capacity;
  size_t first = std::min(count, RecognitionRequest::capacity - start);
  std::memcpy(request->ring.get() + start, samples, first * sizeof(int16_t));
  std::memcpy(request->ring.get(), samples + first, (count - first) * sizeof(int16_t));
  request->written.store(written + count, std::memory_order_release);
  signalArrival(request);
}

void endAudio(RecognitionRequest* request) {
  request->ended.store(true, std::memory_order_release);
  signalArrival(request);
}

RecognitionTask* startRecognitionTask(Recognizer* recognizer, RecognitionRequest* request,
                                      ResultHandler handler) {
  std::thread(decode, recognizer, request, handler).detach();
  return new RecognitionTask;
}

}  // namespace voxline::platform
