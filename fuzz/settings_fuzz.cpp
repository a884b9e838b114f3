// Arbitrary bytes as the settings file: reading never fails, and what is read, written back and
// read again is the same (a save never changes or loses what the file held).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/RegStore.h"

namespace {

bool sameValues(const TRegStore::TContent& a, const TRegStore::TContent& b) {
  if (a.values.size() != b.values.size() || a.foreignLines != b.foreignLines) return false;
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const TRegStore::TValue& x = a.values[i];
    const TRegStore::TValue& y = b.values[i];
    if (x.name != y.name || x.type != y.type) return false;
    if (x.type == TRegStore::EType::Dword ? x.number != y.number : x.text != y.text) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const TRegStore::TContent first = TRegStore::parse(bytes);
  const std::string written = TRegStore::format(first);
  const TRegStore::TContent second = TRegStore::parse(written);
  if (!sameValues(first, second)) __builtin_trap();
  if (!second.damagedLines.empty()) __builtin_trap();
  // Writing is stable from the first save on.
  if (TRegStore::format(second) != written) __builtin_trap();
  return 0;
}
