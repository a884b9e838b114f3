#include "tools/panel-sim/VoiceInbox.h"

#include <openssl/evp.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <thread>

#include "tools/panel-sim/SimLog.h"

extern char** environ;

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XY" back to its byte; "+" back to a space, as the form encoding made it.
std::string percentDecode(const std::string& text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
        hexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
      i += 2;
    } else if (plusIsSpace && text[i] == '+') {
      out += ' ';
    } else {
      out += text[i];
    }
  }
  return out;
}

bool base64Decode(const std::string& text, std::string* bytes) {
  if (text.size() % 4 != 0) return false;
  std::string out(text.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  if (n < 0) return false;
  std::size_t size = static_cast<std::size_t>(n);
  // EVP_DecodeBlock counts the padding as zero bytes.
  if (!text.empty() && text.back() == '=') --size;
  if (text.size() >= 2 && text[text.size() - 2] == '=') --size;
  out.resize(size);
  *bytes = std::move(out);
  return true;
}

std::uint32_t le32(const std::string& s, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

std::uint16_t le16(const std::string& s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                    static_cast<unsigned char>(s[at + 1]) << 8);
}

TReceivedVoiceMessage fail(std::string why) {
  TReceivedVoiceMessage m;
  m.why = std::move(why);
  return m;
}

// The RIFF chunks of a WAVE file: a PCM "fmt " before the "data" chunk.
TReceivedVoiceMessage checkWave(std::string wav) {
  if (wav.size() < 12 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(8, 4, "WAVE") != 0)
    return fail("the data is no RIFF WAVE file");
  if (le32(wav, 4) != wav.size() - 8) return fail("the RIFF size does not match the file");
  TReceivedVoiceMessage m;
  std::uint32_t byteRate = 0;
  bool haveFormat = false;
  for (std::size_t at = 12; at + 8 <= wav.size();) {
    const std::string id = wav.substr(at, 4);
    const std::uint64_t size = le32(wav, at + 4);
    if (at + 8 + size > wav.size()) return fail("the chunk " + id + " runs past the end");
    if (id == "fmt ") {
      if (size < 16 || le16(wav, at + 8) != 1) return fail("the format is not PCM");
      m.channels = le16(wav, at + 10);
      m.sampleRate = static_cast<int>(le32(wav, at + 12));
      byteRate = le32(wav, at + 16);
      m.bitsPerSample = le16(wav, at + 22);
      haveFormat = byteRate != 0;
    } else if (id == "data") {
      if (!haveFormat) return fail("no usable format before the data");
      m.seconds = static_cast<double>(size) / byteRate;
      m.ok = true;
      m.wav = std::move(wav);
      return m;
    }
    at += 8 + size + size % 2;
  }
  return fail("the file holds no data chunk");
}

}  // namespace

TReceivedVoiceMessage readVoiceMessage(const std::string& formBody) {
  if (formBody.rfind("pl=", 0) != 0) return fail("the body has no pl field first");
  const std::string field = formBody.substr(3, formBody.find('&') - 3);
  // The field encoding went on last, over the form encoding.
  const std::string json = percentDecode(percentDecode(field, false), true);
  const std::string key = "\"data\":\"";
  const std::size_t start = json.find(key);
  if (start == std::string::npos) return fail("the JSON has no data member");
  const std::size_t end = json.find('"', start + key.size());
  if (end == std::string::npos) return fail("the data member is not closed");
  std::string wav;
  if (!base64Decode(json.substr(start + key.size(), end - start - key.size()), &wav))
    return fail("the data member is not Base64");
  return checkWave(std::move(wav));
}

TVoiceInbox::TVoiceInbox(std::string folder, bool play)
    : m_folder(std::move(folder)), m_play(play) {}

TReceivedVoiceMessage TVoiceInbox::receive(const std::string& formBody,
                                           unsigned long requestNumber) {
  TReceivedVoiceMessage m = readVoiceMessage(formBody);
  const std::string what = "api: voice message of request " + std::to_string(requestNumber);
  if (!m.ok) {
    logLine(what + " refused: " + m.why);
    return m;
  }
  const std::string path = m_folder + "/voice-" + std::to_string(requestNumber) + ".wav";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(m.wav.data(), static_cast<std::streamsize>(m.wav.size()));
  out.close();
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", m.seconds);
  logLine(what + ": " + seconds + " s, " + std::to_string(m.sampleRate) + " Hz, " +
          std::to_string(m.channels) + " channel(s), " + std::to_string(m.bitsPerSample) + "-bit" +
          (out ? ", written to " + path : ", NOT written to " + path));
  if (m_play && out) {
    pid_t pid = -1;
    const char* argv[] = {"paplay", path.c_str(), nullptr};
    if (posix_spawnp(&pid, "paplay", nullptr, nullptr, const_cast<char* const*>(argv), environ) ==
        0) {
      // Reaped when it ends, so no zombie outlives the message.
      std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    } else {
      logLine(what + " cannot be played: paplay did not start");
    }
  }
  return m;
}
