// Audio capture on Linux, from the sound server through libpulse (PulseAudio,
// or PipeWire's PulseAudio server).
//
// One connection serves the whole process. Asking for microphone access opens
// it; the server's verdict is the answer: a server that refuses the client
// (authentication, access policy) is a refusal, while an unreachable server is
// no refusal but an input with 0 channels. Before answering, the default
// source's sample format is fetched, so the main queue never waits for
// it. The tap is a record stream on the default source; its callbacks run on
// libpulse's mainloop thread, which is the audio thread, under the mainloop
// lock. Every operation of the main queue takes that lock too, which is what
// makes "after stop returns, the tap is called no more" hold.

#include <pulse/pulseaudio.h>

#include <thread>
#include <utility>

#include "platform/linux/linux_backend.h"
#include "platform/speech_services.h"

namespace voxline::platform {

struct InputNode {};

struct AudioEngine {
  InputNode input;
};

namespace {

struct Server {
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  // Until the access request is answered.
  MicrophoneAccessHandler answer = nullptr;
  AudioFormat sourceFormat;  // 0 channels: no server, or no default source

  pa_stream* stream = nullptr;
  TapHandler tap = nullptr;
  uint32_t tapFrames = 0;
  bool stopped = false;
  uint64_t framesCaptured = 0;
};

// Never destroyed: the mainloop thread uses it until the process ends.
Server& server = *new Server;

// Mainloop thread, lock held.
void answer(bool granted) {
  if (MicrophoneAccessHandler handler = std::exchange(server.answer, nullptr)) handler(granted);
}

bool isRefusal(int error) {
  return error == PA_ERR_ACCESS || error == PA_ERR_AUTHKEY;
}

void onSourceInfo(pa_context*, const pa_source_info* info, int last, void*) {
  if (last == 0 && info != nullptr) {
    server.sourceFormat = {static_cast<double>(info->sample_spec.rate), info->sample_spec.channels};
    return;
  }
  // The end of the list, or no such source.
  answer(true);
}

void onServerInfo(pa_context* context, const pa_server_info* info, void*) {
  if (info == nullptr || info->default_source_name == nullptr) {
    answer(true);
    return;
  }
  pa_operation_unref(pa_context_get_source_info_by_name(context, info->default_source_name,
                                                        onSourceInfo, nullptr));
}

void onContextState(pa_context* context, void*) {
  switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
      pa_operation_unref(pa_context_get_server_info(context, onServerInfo, nullptr));
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      // A context that fails while capturing fails its stream too, and the
      // stream's state says the capture is lost.
      if (server.answer != nullptr) answer(!isRefusal(pa_context_errno(context)));
      break;
    default:
      break;
  }
  pa_threaded_mainloop_signal(server.loop, 0);
}

void onStreamState(pa_stream* stream, void*) {
  pa_stream_state_t state = pa_stream_get_state(stream);
  if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && !server.stopped) {
    linux_backend::captureLost = true;
  }
  pa_threaded_mainloop_signal(server.loop, 0);
}

// The audio thread.
void onReadable(pa_stream* stream, size_t, void*) {
  const void* data;
  size_t bytes;
  while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 &&
         bytes > 0) {
    // data is null for a hole in the stream: nothing was captured there.
    if (data != nullptr && server.tap != nullptr) {
      size_t frames = bytes / sizeof(int16_t);
      AudioBuffer buffer{
          data, frames, {linux_backend::decoderRate, linux_backend::decoderChannels}};
      server.tap(buffer, AudioTime{static_cast<double>(server.framesCaptured) /
                                   linux_backend::decoderRate});
      server.framesCaptured += frames;
    }
    pa_stream_drop(stream);
  }
}

// The answer when the connection could not even be attempted; still later and
// from another thread, as promised.
void answerFromThread(MicrophoneAccessHandler handler, bool granted) {
  std::thread([handler, granted] { handler(granted); }).detach();
}

}  // namespace

void requestMicrophoneAccess(MicrophoneAccessHandler handler) {
  server.loop = pa_threaded_mainloop_new();
  if (server.loop == nullptr) return answerFromThread(handler, true);
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "voxline");
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "phone");
  server.context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(server.loop),
                                                "voxline", properties);
  pa_proplist_free(properties);
  if (server.context == nullptr) return answerFromThread(handler, true);

  pa_threaded_mainloop_lock(server.loop);
  server.answer = handler;
  pa_context_set_state_callback(server.context, onContextState, nullptr);
  // Never start a server of our own: the user's session owns that decision.
  if (pa_context_connect(server.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 &&
      server.answer != nullptr) {
    server.answer = nullptr;
    answerFromThread(handler, !isRefusal(pa_context_errno(server.context)));
  }
  pa_threaded_mainloop_unlock(server.loop);
  pa_threaded_mainloop_start(server.loop);
}

AudioEngine* createAudioEngine() {
  return new AudioEngine;
}

InputNode* inputNode(AudioEngine* engine) {
  return &engine->input;
}

AudioFormat outputFormatForBus(InputNode*, int bus) {
  if (bus != 0 || server.loop == nullptr) return {};
  pa_threaded_mainloop_lock(server.loop);
  AudioFormat format = server.sourceFormat;
  pa_threaded_mainloop_unlock(server.loop);
  return format;
}

void installTapOnBus(InputNode*, int, uint32_t bufferSize, AudioFormat, TapHandler handler) {
  pa_threaded_mainloop_lock(server.loop);
  server.tap = handler;
  server.tapFrames = bufferSize;
  pa_threaded_mainloop_unlock(server.loop);
}

void removeTapOnBus(InputNode*, int) {
  pa_threaded_mainloop_lock(server.loop);
  server.tap = nullptr;
  pa_threaded_mainloop_unlock(server.loop);
}

void prepareEngine(AudioEngine*) {
  pa_threaded_mainloop_lock(server.loop);
  // The server converts the source's own format to the decoder's.
  pa_sample_spec spec{PA_SAMPLE_S16LE, linux_backend::decoderRate,
                      static_cast<uint8_t>(linux_backend::decoderChannels)};
  server.stream = pa_stream_new(server.context, "speech", &spec, nullptr);
  if (server.stream != nullptr) {
    pa_stream_set_state_callback(server.stream, onStreamState, nullptr);
    pa_stream_set_read_callback(server.stream, onReadable, nullptr);
  }
  pa_threaded_mainloop_unlock(server.loop);
}

bool startEngine(AudioEngine*) {
  pa_threaded_mainloop_lock(server.loop);
  bool started = false;
  if (server.stream != nullptr && pa_context_get_state(server.context) == PA_CONTEXT_READY) {
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(-1);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = server.tapFrames * sizeof(int16_t) * linux_backend::decoderChannels;
    if (pa_stream_connect_record(server.stream, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY) ==
        0) {
      for (;;) {
        pa_stream_state_t state = pa_stream_get_state(server.stream);
        if (state == PA_STREAM_READY) {
          started = true;
          break;
        }
        if (!PA_STREAM_IS_GOOD(state)) break;
        pa_threaded_mainloop_wait(server.loop);
      }
    }
  }
  pa_threaded_mainloop_unlock(server.loop);
  return started;
}

void stopEngine(AudioEngine*) {
  pa_threaded_mainloop_lock(server.loop);
  server.stopped = true;
  if (server.stream != nullptr) {
    pa_stream_set_read_callback(server.stream, nullptr, nullptr);
    pa_stream_disconnect(server.stream);
  }
  pa_threaded_mainloop_unlock(server.loop);
}

}  // namespace voxline::platform
