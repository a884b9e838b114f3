#include "signalling/StartAnswer.h"

#include <vector>

#include "base/Text.h"
#include "base/Vigenere.h"

TStartAnswer readStartAnswer(const std::string& received, const std::string& remote) {
  TStartAnswer answer;
  const std::vector<std::string> fields = splitFields(decipherPass(received), ';');
  answer.saysStart = fields[0] == "start";
  if (!answer.saysStart || fields.size() != 4) return answer;
  TStreamTarget target;
  target.Address = remote;
  target.Login = fields[1];
  target.Password = fields[2];
  target.Port = fields[3];
  target.DisplayName = remote;
  answer.target = target;
  return answer;
}
