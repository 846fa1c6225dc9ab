// Which files a PocketSphinx model is loaded from, and what can be told about
// them without loading them. Pure file inspection: no decoder, no threads.

#ifndef VOXLINE_PLATFORM_LINUX_MODEL_FILES_H_
#define VOXLINE_PLATFORM_LINUX_MODEL_FILES_H_

#include <string>

namespace voxline::platform::linux_backend {

struct ModelFiles {
  std::string acoustic;    // the acoustic model's folder
  std::string language;    // the language model
  std::string dictionary;  // the pronunciation dictionary
};

// Debian's layout of a pocketsphinx-<name> package under the model folder:
// <folder>/<name>/{<name>/, <name>.lm.bin, cmudict-<name>.dict}.
ModelFiles installedModel(const std::string& folder, const std::string& name);

// Whether the files a model needs are all there.
bool isInstalled(const ModelFiles& model);

// Whether every file is readable and starts the way its format starts. A few
// small reads: it cannot promise that the load will succeed, only rule out a
// model that surely cannot.
bool looksLoadable(const ModelFiles& model);

// The first line of a dictionary derived from the model's language model and
// dictionary: names them with their sizes and modification times, so that a
// derived file made from other files (the model was upgraded) is recognised.
// A comment to PocketSphinx. Empty when either file cannot be examined.
std::string derivedDictionaryHeader(const ModelFiles& model);

// The model with the derived dictionary in place of its own when the derived
// file exists and was made from exactly these files; otherwise the model as
// it is.
ModelFiles withDerivedDictionary(ModelFiles model, const std::string& derived);

}  // namespace voxline::platform::linux_backend

#endif  // VOXLINE_PLATFORM_LINUX_MODEL_FILES_H_
