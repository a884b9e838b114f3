// Arbitrary bytes as a panel's answer to "favstream": a target only from "start" with exactly
// four fields, and its address always the panel's own, whatever the answer says.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Vigenere.h"
#include "signalling/StartAnswer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  loadCipherTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string received(reinterpret_cast<const char*>(data), size);
  const TStartAnswer answer = readStartAnswer(received, "192.168.1.50");
  if (answer.target) {
    if (!answer.saysStart) __builtin_trap();
    if (answer.target->Address != "192.168.1.50" || answer.target->DisplayName != "192.168.1.50")
      __builtin_trap();
    const std::size_t carried =
        answer.target->Login.size() + answer.target->Password.size() + answer.target->Port.size();
    if (carried > size) __builtin_trap();
  }
  return 0;
}
