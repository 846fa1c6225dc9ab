// What the Linux backend tells about a model from its files alone: whether it
// looks loadable, and whether a derived dictionary was made from it.

#include "platform/linux/model_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace voxline::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

void write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A model laid out as Debian installs one, with files that are nothing but
// their formats' openings.
class ModelFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/voxline-model-XXXXXX";
    folder = mkdtemp(name);
    model = installedModel(folder, "xx-yy");
    fs::create_directories(model.acoustic);
    write(model.acoustic + "/mdef", std::string("BMDF\1\0\0\0", 8) + "BEGIN FILE FORMAT");
    for (const char* name : {"means", "variances", "transition_matrices"}) {
      write(model.acoustic + "/" + name, "s3\nversion 1.0\n");
    }
    write(model.acoustic + "/sendump", std::string("\0\0\0\x10", 4));
    write(model.acoustic + "/noisedict", "<s> SIL\n");
    write(model.language, "Trie Language Model\3");
    write(model.dictionary, "a AH\nabout AH B AW T\n");
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string folder;
  ModelFiles model;
};

TEST_F(ModelFolder, LooksLoadableByItsFilesOpenings) {
  struct Case {
    const char* name;
    std::function<void(const ModelFiles&)> change;
    bool loadable;
  };
  const Case cases[] = {
      {"as installed", [](const ModelFiles&) {}, true},
      {"text model definition", [](auto& m) { write(m.acoustic + "/mdef", "0.3\n"); }, true},
      {"mixture weights as parameters",
       [](auto& m) {
         fs::remove(m.acoustic + "/sendump");
         write(m.acoustic + "/mixture_weights", "s3\n");
       },
       true},
      {"older binary language model",
       [](auto& m) {
         write(m.language, std::string("\x1d\0\0\0", 4) + "Darpa Trigram LM binary file");
       },
       true},
      {"text language model", [](auto& m) { write(m.language, "# made by hand\n\n\\data\\\n"); },
       true},
      {"model definition replaced", [](auto& m) { write(m.acoustic + "/mdef", "garbage"); }, false},
      {"means empty", [](auto& m) { write(m.acoustic + "/means", ""); }, false},
      {"variances missing", [](auto& m) { fs::remove(m.acoustic + "/variances"); }, false},
      {"no mixture weights", [](auto& m) { fs::remove(m.acoustic + "/sendump"); }, false},
      {"noise dictionary missing", [](auto& m) { fs::remove(m.acoustic + "/noisedict"); }, false},
      {"language model of another kind", [](auto& m) { write(m.language, "PK\3\4zip"); }, false},
      {"language model a folder",
       [](auto& m) {
         fs::remove(m.language);
         fs::create_directory(m.language);
       },
       false},
      {"dictionary empty", [](auto& m) { write(m.dictionary, ""); }, false},
      {"dictionary binary", [](auto& m) { write(m.dictionary, std::string("a\0b", 3)); }, false},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    ASSERT_TRUE(isInstalled(model));
    c.change(model);
    EXPECT_EQ(looksLoadable(model), c.loadable) << c.name;
  }
}

TEST_F(ModelFolder, IsInstalledOnlyWithAllThreeParts) {
  EXPECT_TRUE(isInstalled(model));
  EXPECT_FALSE(isInstalled(installedModel(folder, "zz-zz")));
  fs::remove(model.dictionary);
  EXPECT_FALSE(isInstalled(model));
}

TEST_F(ModelFolder, DerivedDictionaryServesOnlyTheFilesItWasMadeFrom) {
  std::string derived = folder + "/derived.dict";
  auto derive = [&] { write(derived, derivedDictionaryHeader(model) + "\na AH\n"); };
  struct Case {
    const char* name;
    std::function<void()> change;
    bool used;
  };
  const Case cases[] = {
      {"made from these files", [] {}, true},
      {"missing", [&] { fs::remove(derived); }, false},
      {"dictionary grown since",
       [&] { write(model.dictionary, "a AH\nabout AH B AW T\nb B IY\n"); }, false},
      {"language model replaced since, same size",
       [&] {
         fs::last_write_time(model.language,
                             fs::last_write_time(model.language) - std::chrono::hours(24));
       },
       false},
      {"first line cut short",
       [&] {
         std::string header = derivedDictionaryHeader(model);
         write(derived, header.substr(0, header.size() - 1) + "\n");
       },
       false},
      {"no header line", [&] { write(derived, "a AH\n"); }, false},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    derived = folder + "/derived.dict";
    derive();
    c.change();
    ModelFiles chosen = withDerivedDictionary(model, derived);
    EXPECT_EQ(chosen.dictionary, c.used ? derived : model.dictionary) << c.name;
    EXPECT_EQ(chosen.acoustic, model.acoustic);
    EXPECT_EQ(chosen.language, model.language);
  }
}

TEST_F(ModelFolder, DerivedDictionaryHeaderIsAPocketSphinxComment) {
  std::string header = derivedDictionaryHeader(model);
  EXPECT_TRUE(header.starts_with("##")) << header;
  EXPECT_EQ(header.find('\n'), std::string::npos);
  fs::remove(model.language);
  EXPECT_EQ(derivedDictionaryHeader(model), "");
}

}  // namespace
}  // namespace voxline::platform::linux_backend
