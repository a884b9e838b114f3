#include "audio/VoiceMessageBody.h"

#include <openssl/evp.h>

#include <cstdio>
#include <vector>

#include "api/RelayCommand.h"
#include "base/Text.h"

std::string encodeBase64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()));
  out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return out;
}

std::string voiceMessageBody(const std::string& base64) {
  return buildJsonObject({"type", "data", "loop"}, {"wav", base64, "1"});
}

std::string recordingClockText(std::chrono::steady_clock::duration elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  char text[32];
  std::snprintf(text, sizeof text, "%.2fs", seconds);
  std::string out = text;
  for (char& c : out)
    if (c == ',') c = '.';
  return out;
}

std::optional<std::string> voiceMessageTarget(const TAppSettings& settings, bool streamWanted,
                                              const std::string& watchedAddress) {
  if (streamWanted) {
    if (watchedAddress.empty()) return std::nullopt;
    return watchedAddress;
  }
  if (settings.platines.empty() || settings.priority < 0) return std::nullopt;
  const std::vector<std::string> entries = splitFields(settings.platines, ';');
  const auto index = static_cast<std::size_t>(settings.priority);
  if (index >= entries.size() || entries[index].empty()) return std::nullopt;
  return entries[index];
}
