// The user's locale as the POSIX settings give it, turned into an identifier.

#include <gtest/gtest.h>

#include "platform/linux/linux_backend.h"

namespace voxline::platform::linux_backend {
namespace {

TEST(LocaleIdentifier, FromPosixSettings) {
  const std::pair<const char*, const char*> cases[] = {
      {"en_US.UTF-8", "en-US"},
      {"en_US", "en-US"},
      {"de_DE.utf8@euro", "de-DE"},
      {"fr_FR@euro", "fr-FR"},
      {"pt_BR.ISO-8859-1", "pt-BR"},
      {"en", "en"},
      {"C", ""},
      {"C.UTF-8", ""},
      {"POSIX", ""},
      {"", ""},
      {"en_", ""},
      {"_US", ""},
      {"../../etc", ""},
      {"en/US", ""},
      {"en_US_x", ""},
  };
  for (const auto& [setting, identifier] : cases) {
    EXPECT_EQ(localeIdentifierFromSetting(setting), identifier) << "setting " << setting;
  }
}

}  // namespace
}  // namespace voxline::platform::linux_backend
