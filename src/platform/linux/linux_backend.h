// What the parts of the Linux backend share with each other, and nothing else
// includes.

#ifndef VOXLINE_PLATFORM_LINUX_LINUX_BACKEND_H_
#define VOXLINE_PLATFORM_LINUX_LINUX_BACKEND_H_

#include <atomic>
#include <string>

namespace voxline::platform::linux_backend {

// The decoder's input format. The sound server converts the microphone's audio
// to it, so nothing on our side resamples.
inline constexpr uint32_t decoderRate = 16000;
inline constexpr uint32_t decoderChannels = 1;

// Set by the sound-server side when capture ends without stopEngine (the server
// went away, the source was removed); the recognition task then reports an
// error instead of waiting for audio that will never come.
extern std::atomic<bool> captureLost;

// "en_US.UTF-8" -> "en-US"; "C", "POSIX", empty or malformed -> "".
std::string localeIdentifierFromSetting(const std::string& setting);

}  // namespace voxline::platform::linux_backend

#endif  // VOXLINE_PLATFORM_LINUX_LINUX_BACKEND_H_
