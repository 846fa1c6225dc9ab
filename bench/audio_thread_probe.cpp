// Counts what the tap handler costs the audio thread: heap allocations and
// lock acquisitions per captured buffer. It runs the program's own handler on
// a thread of its own, feeding the Linux request as capture would (1024-frame
// buffers while the real decoder thread drains them), with malloc and the
// pthread locks interposed and counted only while the handler runs.

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/speech_services.h"
#include "recognition/recognition_state.h"

namespace {

thread_local bool inHandler = false;
std::atomic<long> allocations{0};
std::atomic<long> locks{0};

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  static auto real = next<void* (*)(size_t)>("malloc");
  if (inHandler) ++allocations;
  return real(size);
}

void* calloc(size_t count, size_t size) {
  static auto real = next<void* (*)(size_t, size_t)>("calloc");
  // dlsym itself may call calloc before real is known.
  if (real == nullptr) return nullptr;
  if (inHandler) ++allocations;
  return real(count, size);
}

void* realloc(void* pointer, size_t size) {
  static auto real = next<void* (*)(void*, size_t)>("realloc");
  if (inHandler) ++allocations;
  return real(pointer, size);
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
  static auto real = next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
  if (inHandler) ++locks;
  return real(mutex);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
  static auto real = next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_wrlock");
  if (inHandler) ++locks;
  return real(lock);
}

}  // extern "C"

int main(int argc, char** argv) {
  long buffers = argc > 1 ? std::atol(argv[1]) : 1000;
  namespace platform = voxline::platform;
  voxline::recognizer = platform::recognizerForLocale("en-US");
  if (voxline::recognizer == nullptr || !platform::isAvailable(voxline::recognizer)) return 1;
  voxline::request = platform::createRecognitionRequest();
  platform::setShouldReportPartialResults(voxline::request, true);
  // The decoder drains the request meanwhile; its results are never looked at.
  platform::startRecognitionTask(
      voxline::recognizer, voxline::request,
      [](const platform::RecognitionResult*, const platform::RecognitionError*) {});
  // The same handler capture calls, on a thread that stands for the audio one.
  std::vector<int16_t> samples(1024);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i * 7919) % 2000);
  voxline::platform::AudioBuffer buffer{samples.data(), samples.size(), {16000, 1}};
  std::thread audio([&] {
    for (long i = 0; i < buffers; ++i) {
      inHandler = true;
      voxline::onAudioBuffer(buffer, voxline::platform::AudioTime{});
      inHandler = false;
      // Faster than real time, slow enough that the decoder keeps up mostly.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  audio.join();
  std::printf("{\"buffers\":%ld,\"allocationsPerBuffer\":%.4f,\"locksPerBuffer\":%.4f}\n", buffers,
              static_cast<double>(allocations) / buffers, static_cast<double>(locks) / buffers);
  return 0;
}
