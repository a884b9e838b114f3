#pragma once

#include <string>
#include <vector>

#include "platform/JournalRecord.h"

// The rows the crash helper writes and the crash test checks: row n names itself and carries
// a picture of 20,000 bytes that all depend on n.
inline TJournalEntry crashRow(std::int64_t n) {
  TJournalEntry entry;
  entry.ringTimeMs = 1'700'000'000'000 + n;
  entry.day = "2023-11-14";
  entry.panel = "192.168.1.21";
  entry.calling = "gen-" + std::to_string(n);
  entry.called = "100@host";
  return entry;
}

inline std::vector<unsigned char> crashPicture(std::int64_t n) {
  std::vector<unsigned char> bytes(20000);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<unsigned char>((n * 131 + static_cast<std::int64_t>(i)) & 0xff);
  return bytes;
}
