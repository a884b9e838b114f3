#include "api/FormEncoding.h"

#include <cstring>

namespace {

void appendHex(std::string& out, unsigned char byte, const char* digits) {
  out += '%';
  out += digits[byte >> 4];
  out += digits[byte & 0x0f];
}

constexpr const char* kLowerHex = "0123456789abcdef";
constexpr const char* kUpperHex = "0123456789ABCDEF";

}  // namespace

std::string formEncode(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\0') break;
    auto byte = static_cast<unsigned char>(c);
    bool alnum = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                 (byte >= '0' && byte <= '9');
    if (alnum || std::strchr("!$'()*-.@_", c) != nullptr) {
      out += c;
    } else if (c == ' ') {
      out += '+';
    } else {
      appendHex(out, byte, kLowerHex);
    }
  }
  return out;
}

std::string fieldEncode(const std::string& field) {
  std::size_t eq = field.find('=');
  if (eq == std::string::npos) return field;
  std::string out = field.substr(0, eq + 1);
  for (std::size_t i = eq + 1; i < field.size(); ++i) {
    auto byte = static_cast<unsigned char>(field[i]);
    if (byte < 33 || byte > 128 || std::strchr("*#%<>[]", field[i]) != nullptr) {
      appendHex(out, byte, kUpperHex);
    } else {
      out += field[i];
    }
  }
  return out;
}

std::string urlVerbatim(const std::string& text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 32 || byte >= 127) {
      appendHex(out, byte, kUpperHex);
    } else {
      out += c;
    }
  }
  return out;
}

bool hasLineBreakOrNul(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}
