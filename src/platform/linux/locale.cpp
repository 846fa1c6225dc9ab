// The user's locale from the POSIX settings, resolved the way setlocale picks
// the messages category: LC_ALL, then LC_MESSAGES, then LANG.

#include <cstdlib>
#include <string>

#include "platform/linux/linux_backend.h"
#include "platform/speech_services.h"

namespace voxline::platform {

namespace linux_backend {

std::string localeIdentifierFromSetting(const std::string& setting) {
  // language[_territory][.codeset][@modifier]
  std::string name = setting.substr(0, setting.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return "";
  std::string identifier;
  bool territory = false;
  for (char c : name) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (c == '_' && !territory && !identifier.empty()) {
      territory = true;
      identifier.push_back('-');
    } else if (letter) {
      identifier.push_back(c);
    } else {
      // Anything else is no locale name we know, and it will become part of a
      // model path: refuse it whole.
      return "";
    }
  }
  return identifier.back() == '-' ? "" : identifier;
}

}  // namespace linux_backend

std::string currentLocaleIdentifier() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      return linux_backend::localeIdentifierFromSetting(value);
    }
  }
  return "";
}

}  // namespace voxline::platform
