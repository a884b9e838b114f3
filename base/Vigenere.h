#pragma once

#include <array>
#include <string>
#include <string_view>

// The position-dependent substitution shared with the panels. Not encryption: the table is the
// only key. Every operation returns a text of exactly its input's length.

// The 71 symbols that survive scrambling, numbered 1 to 71 in this order.
inline constexpr std::string_view CipherAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ!?*-+ .;:abcdefghijklmnopqrstuvwxyz0123456789";

// The constant rows (CipherTable.cpp).
extern const std::array<std::string_view, 71> kCipherRows;

// Loads the rows into the process-wide table, in their stored order (start-up). Until then
// every position fails and is logged.
void loadCipherTable();
// Forgets the table again (for tests of the unloaded case).
void unloadCipherTable();

// One forward pass: the k-th character is looked up in the alphabet and replaced by the symbol
// at that position of row (k-1) mod 71.
std::string cipherPass(const std::string& text);
// One inverse pass.
std::string decipherPass(const std::string& text);
// cipherPass applied as many times as the text has characters (stored secrets).
std::string cipherString(const std::string& text);
// decipherPass applied as many times as the text has characters.
std::string decipherString(const std::string& text);
