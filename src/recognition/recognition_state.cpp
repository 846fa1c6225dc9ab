#include "recognition/recognition_state.h"

namespace voxline {

platform::Recognizer* recognizer = nullptr;
platform::AudioEngine* engine = nullptr;
platform::RecognitionRequest* request = nullptr;
platform::RecognitionTask* task = nullptr;
// Never destroyed: worker threads may still be running when the process ends.
std::string& lastText = *new std::string;
bool stopping = false;

}  // namespace voxline
