#include "platform/linux/model_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <initializer_list>
#include <string_view>

namespace voxline::platform::linux_backend {
namespace {

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// The file's first bytes, as many as it has up to count; empty when it cannot
// be read.
std::string head(const std::string& path, size_t count) {
  std::string bytes(count, '\0');
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  ssize_t got = pread(fd, bytes.data(), count, 0);
  close(fd);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

bool startsWithAny(const std::string& path, std::initializer_list<std::string_view> magics) {
  std::string bytes = head(path, 64);
  for (std::string_view magic : magics) {
    if (bytes.starts_with(magic)) return true;
  }
  return false;
}

// Sphinx-3 parameter files (means, variances, transition matrices, mixture
// weights) open with this line.
constexpr std::string_view sphinxParameters = "s3\n";

bool acousticModelLooksLoadable(const std::string& folder) {
  // The model definition: binary, or the older text form that opens with its
  // format version.
  if (!startsWithAny(folder + "/mdef", {"BMDF", "0.3\n"})) return false;
  for (const char* name : {"means", "variances", "transition_matrices"}) {
    if (!startsWithAny(folder + "/" + name, {sphinxParameters})) return false;
  }
  // Mixture weights come either compressed (sendump) or as parameters.
  if (head(folder + "/sendump", 1).empty() &&
      !startsWithAny(folder + "/mixture_weights", {sphinxParameters})) {
    return false;
  }
  return !head(folder + "/noisedict", 1).empty();
}

bool languageModelLooksLoadable(const std::string& path) {
  // The trie binary form, the older DMP binary form (after a length word), or
  // an ARPA text, which opens with its \data\ section after any comment.
  std::string bytes = head(path, 4096);
  return bytes.starts_with("Trie Language Model") ||
         (bytes.size() > 4 && bytes.substr(4).starts_with("Darpa Trigram LM binary file")) ||
         bytes.find("\\data\\") != std::string::npos;
}

bool dictionaryLooksLoadable(const std::string& path) {
  std::string bytes = head(path, 256);
  return !bytes.empty() && bytes.find('\0') == std::string::npos;
}

std::string describe(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return "";
  return path + " " + std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec);
}

}  // namespace

ModelFiles installedModel(const std::string& folder, const std::string& name) {
  std::string base = folder + "/" + name;
  return {base + "/" + name, base + "/" + name + ".lm.bin", base + "/cmudict-" + name + ".dict"};
}

bool isInstalled(const ModelFiles& model) {
  return exists(model.acoustic + "/mdef") && exists(model.language) && exists(model.dictionary);
}

bool looksLoadable(const ModelFiles& model) {
  return acousticModelLooksLoadable(model.acoustic) && languageModelLooksLoadable(model.language) &&
         dictionaryLooksLoadable(model.dictionary);
}

std::string derivedDictionaryHeader(const ModelFiles& model) {
  std::string language = describe(model.language);
  std::string dictionary = describe(model.dictionary);
  if (language.empty() || dictionary.empty()) return "";
  return "## the words of " + language + " from " + dictionary;
}

ModelFiles withDerivedDictionary(ModelFiles model, const std::string& derived) {
  std::string expected = derivedDictionaryHeader(model) + "\n";
  if (expected.size() > 1 && head(derived, expected.size()) == expected) model.dictionary = derived;
  return model;
}

}  // namespace voxline::platform::linux_backend
