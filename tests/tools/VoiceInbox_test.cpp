// panel-sim's voice-message inbox: POST /api/audio/ bodies from curl, their two encodings and
// Base64 undone, the WAV checked, written and its length logged.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/wait.h>

#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/WavFile.h"
#include "tests/tools/PanelSimSupport.h"

namespace {

std::string base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// The workstation's two encodings: the form encoding ("%xx" for all but a few characters),
// then the field encoding, which turns each "%" into "%25".
std::string postBody(const std::string& json) {
  std::string form;
  for (unsigned char c : json) {
    if (std::isalnum(c) ||
        std::string("!$'()*-.@_").find(static_cast<char>(c)) != std::string::npos) {
      form += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02x", c);
      form += hex;
    }
  }
  std::string field;
  for (char c : form) field += c == '%' ? std::string("%25") : std::string(1, c);
  return "pl=" + field + "&login=&password=";
}

std::string voiceJson(const std::string& data) {
  return "{\"type\":\"wav\",\"data\":\"" + data + "\",\"loop\":\"1\"}";
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// POSTs the body with curl and returns the status it saw.
std::string curlPost(std::uint16_t port, const std::string& bodyFile) {
  const std::string command =
      "curl -s -o /dev/null -w '%{http_code}' --noproxy '*' --max-time 20 --data-binary @" +
      bodyFile + " http://127.0.0.1:" + std::to_string(port) + "/api/audio/";
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return "popen failed";
  std::string out;
  char buffer[64];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
  return out;
}

}  // namespace

TEST(VoiceInboxTest, KeepsRealWavesAndRefusesEverythingElse) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  TPanelSim sim({"serve", "--api", "0", "--bind", "127.0.0.1", "--no-discovery", "--voice-dir",
                 folder, "--requests", folder + "/requests.log"});
  const std::uint16_t port = listeningPort(sim, "api");

  const std::string oneSecond = wavFileBytes(std::string(8000, '\x80'));
  const std::string odd = wavFileBytes(std::string(4001, '\x10'));  // padded data chunk
  std::string notRiff = oneSecond;
  notRiff.replace(0, 4, "RIFX");
  std::string shortened = oneSecond.substr(0, oneSecond.size() - 100);
  struct TCase {
    const char* guards;
    std::string body;
    const char* status;
    const char* logged;  // in panel-sim's output
  } cases[] = {
      {"a second of 8 kHz 8-bit mono", postBody(voiceJson(base64(oneSecond))), "200",
       "1.00 s, 8000 Hz, 1 channel(s), 8-bit, written to "},
      {"an odd data size with its pad byte", postBody(voiceJson(base64(odd))), "200",
       "0.50 s, 8000 Hz"},
      {"another container", postBody(voiceJson(base64(notRiff))), "400", "no RIFF WAVE file"},
      {"a file cut short", postBody(voiceJson(base64(shortened))), "400",
       "the RIFF size does not match"},
      {"Base64 spoilt", postBody(voiceJson("UklGR!==")), "400", "not Base64"},
      {"no data member", postBody("{\"type\":\"wav\"}"), "400", "no data member"},
  };
  int number = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.guards);
    ++number;
    const std::string bodyFile = folder + "/body";
    std::ofstream(bodyFile, std::ios::binary) << c.body;
    EXPECT_EQ(curlPost(port, bodyFile), c.status);
    EXPECT_NE(sim.waitForLine(c.logged), "") << sim.out();
    const std::string kept = fileBytes(folder + "/voice-" + std::to_string(number) + ".wav");
    if (std::string(c.status) == "200") {
      EXPECT_EQ(kept, number == 1 ? oneSecond : odd);
    } else {
      EXPECT_TRUE(kept.empty()) << "a refused message is not kept";
    }
  }
}
