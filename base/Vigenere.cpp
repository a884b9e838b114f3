#include "base/Vigenere.h"

#include <cstdint>

#include "base/LogSink.h"

namespace {

// The loaded table with its reverse lookups: position (1..71) of each byte in the alphabet
// and in each row, 0 where the byte is not a symbol. 256 entries per row, so any byte of a
// corrupted message indexes inside the table.
struct TCipherTable {
  bool loaded = false;
  std::array<std::uint8_t, 256> alphabetPos{};
  std::array<std::array<std::uint8_t, 256>, 71> rowPos{};
};

TCipherTable& table() {
  static TCipherTable t;
  return t;
}

enum class EDirection { Forward, Backward };

std::string pass(const std::string& text, EDirection direction) {
  const TCipherTable& t = table();
  std::string out(text.size(), ' ');
  std::size_t row = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (!t.loaded) {
      // No row can be used: the position stays blank and the row does not advance.
      debugLog(std::string(direction == EDirection::Forward
                               ? "Error while trying to cipher string : "
                               : "Error while trying to decipher string : ") +
               "\"" + text + "\"");
      continue;
    }
    auto byte = static_cast<unsigned char>(text[k]);
    std::uint8_t p = direction == EDirection::Forward ? t.alphabetPos[byte] : t.rowPos[row][byte];
    if (p == 0) {
      // Not a symbol: no position to map, so the byte passes as it is.
      out[k] = text[k];
    } else {
      out[k] = direction == EDirection::Forward ? kCipherRows[row][p - 1] : CipherAlphabet[p - 1];
    }
    row = (row + 1) % kCipherRows.size();
  }
  return out;
}

std::string repeat(const std::string& text, EDirection direction) {
  std::string out = text;
  for (std::size_t i = 0; i < text.size(); ++i) out = pass(out, direction);
  return out;
}

}  // namespace

void loadCipherTable() {
  TCipherTable& t = table();
  t.alphabetPos.fill(0);
  for (std::size_t i = 0; i < CipherAlphabet.size(); ++i)
    t.alphabetPos[static_cast<unsigned char>(CipherAlphabet[i])] = static_cast<std::uint8_t>(i + 1);
  for (std::size_t r = 0; r < kCipherRows.size(); ++r) {
    t.rowPos[r].fill(0);
    for (std::size_t i = 0; i < kCipherRows[r].size(); ++i)
      t.rowPos[r][static_cast<unsigned char>(kCipherRows[r][i])] = static_cast<std::uint8_t>(i + 1);
  }
  t.loaded = true;
}

void unloadCipherTable() { table().loaded = false; }

std::string cipherPass(const std::string& text) { return pass(text, EDirection::Forward); }

std::string decipherPass(const std::string& text) { return pass(text, EDirection::Backward); }

std::string cipherString(const std::string& text) { return repeat(text, EDirection::Forward); }

std::string decipherString(const std::string& text) { return repeat(text, EDirection::Backward); }
