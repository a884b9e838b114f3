#include "tools/panel-sim/Messages.h"

#include <algorithm>

#include "base/Text.h"
#include "base/Vigenere.h"

std::string startMessage(const std::string& login, const std::string& password,
                         const std::string& videoPort, const std::vector<std::string>& identities) {
  std::vector<std::string> fields{"start", login, password, videoPort};
  for (std::string id : identities) {
    std::replace(id.begin(), id.end(), '@', '+');
    fields.push_back(std::move(id));
  }
  return joinFields(fields, ';');
}

std::string ntmyMessage(const std::string& address) { return "ntmy;" + address; }

std::string charactersOutsideAlphabet(const std::string& text) {
  std::string outside;
  for (char c : text)
    if (CipherAlphabet.find(c) == std::string_view::npos && outside.find(c) == std::string::npos)
      outside += c;
  return outside;
}
