// The voice message: the real program on an X server of the test's own records from a private
// PulseAudio server whose default source is a sine generator (Qt does not offer a sink's monitor
// as an input), the user clicks the voice-message button twice, and the panel's API receives a
// WAV file that sox reads and that holds the sine.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <regex>
#include <thread>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/PulseServer.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/SoundAnalysis.h"

namespace {

// The voice-message button sits at (92, 280) of the client area, 24 x 25, under the menu bar.
constexpr int VoiceButtonX = 92 + 12;
constexpr int VoiceButtonY = 22 + 280 + 12;

constexpr double SineHz = 440.0;

// The body of the first request to the path in panel-sim's request log, or nothing yet.
std::optional<std::string> requestBody(const std::string& log, const std::string& path) {
  const std::size_t line = log.find(" " + path + " ");
  if (line == std::string::npos) return std::nullopt;
  const std::size_t start = log.find("\n\n", line);
  const std::size_t end = log.find("\napi: end of request", line);
  if (start == std::string::npos || end == std::string::npos || end < start) return std::nullopt;
  return log.substr(start + 2, end - start - 2);
}

class VoiceMessageE2e : public TScreenLanTest {
 protected:
  std::map<std::string, std::string> postSettings() const {
    return {{"interfaceSelected", "\"" + lan->address(1) + "\""},
            {"platines", "\"" + lan->address(2) + "\""},
            {"priority", "dword:00000000"},
            {"APIAuthtype", "dword:00000000"},
            {"APIMethod", "dword:00000001"}};
  }
  bool clickVoiceButton() {
    std::optional<std::string> window;
    if (!pollUntil([&] { return (window = x->findWindow("Ostrel Stream")).has_value(); }))
      return false;
    return x->click(*window, VoiceButtonX, VoiceButtonY);
  }
};

}  // namespace

// Two clicks about a second apart: a POST to /api/audio/ whose JSON carries, in Base64, a WAV
// of 8000 Hz, one channel, 8 bits and about that second, holding the input's tone.
TEST_F(VoiceMessageE2e, TwoClicksSendARecordedWavToThePanel) {
  if (IsSkipped()) return;
  TPulseServer pulse;
  if (!pulse.start()) GTEST_SKIP() << "no PulseAudio server: " << pulse.error();
  const std::string server = "--server=" + pulse.serverAddress();
  int loaded = -1;
  const std::string sine = runCommand(
      {"pactl", server, "load-module", "module-sine-source", "source_name=sine", "frequency=440"},
      &loaded);
  ASSERT_EQ(loaded, 0) << sine;
  runCommand({"pactl", server, "set-default-source", "sine"}, &loaded);
  ASSERT_EQ(loaded, 0);

  const std::string requests = path("api.log");
  TChild panel({panelSimPath(), "serve", "--api", "80", "--no-discovery", "--bind", lan->address(2),
                "--requests", requests},
               std::map<std::string, std::string>{}, panelNs, path("panel"));
  ASSERT_TRUE(pollUntil([&] { return panel.output().find("api: listening") != std::string::npos; }))
      << panel.errors();

  // The program reaches the server through PULSE_SERVER, which start() put in this process's
  // environment and the child inherits; its socket is a file, which no namespace hides.
  TProgramRun program(path("program"));
  program.writeSettings(postSettings());
  program.startOnDisplay(programNs, x->display());
  ASSERT_TRUE(program.waitForLog("Socket active port 2201")) << program.log();

  ASSERT_TRUE(clickVoiceButton());
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_TRUE(clickVoiceButton());

  std::optional<std::string> body;
  ASSERT_TRUE(pollUntil(
      [&] { return (body = requestBody(readFileBytes(requests), "/api/audio/")).has_value(); },
      std::chrono::seconds(30)))
      << readFileBytes(requests) << "\n"
      << program.log();
  EXPECT_NE(readFileBytes(requests).find("POST /api/audio/ HTTP/1.1"), std::string::npos);
  ASSERT_EQ(body->rfind("pl=", 0), 0u) << body->substr(0, 200);
  const QByteArray json = QByteArray::fromPercentEncoding(QByteArray::fromPercentEncoding(
      QByteArray::fromStdString(body->substr(3, body->find('&') - 3))));
  const QJsonObject object = QJsonDocument::fromJson(json).object();
  EXPECT_EQ(object.value("type").toString(), "wav");
  EXPECT_EQ(object.value("loop").toString(), "1");
  const QByteArray wav = QByteArray::fromBase64(object.value("data").toString().toLatin1(),
                                                QByteArray::AbortOnBase64DecodingErrors);
  ASSERT_GT(wav.size(), 44);
  const std::string file = path("received.wav");
  writeFileBytes(file, wav.toStdString());

  int status = -1;
  const std::string info = runCommand({"soxi", file}, &status);
  ASSERT_EQ(status, 0) << info;
  EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
  EXPECT_NE(info.find("Sample Rate    : 8000"), std::string::npos) << info;
  EXPECT_NE(info.find("Precision      : 8-bit"), std::string::npos) << info;
  std::smatch samples;
  ASSERT_TRUE(std::regex_search(info, samples, std::regex(R"(= (\d+) samples)"))) << info;
  const long count = std::stol(samples[1]);
  // About the second between the clicks; the bounds only catch an empty or a runaway file.
  EXPECT_GT(count, 8000 / 4) << info;
  EXPECT_LT(count, 8000 * 10) << info;
  EXPECT_NEAR(dominantFrequency(samplesOfU8(wav.toStdString().substr(44 + 800)), 8000), SineHz,
              SineHz * 0.02);
  EXPECT_TRUE(program.waitForLog("File encoded successfully")) << program.log();
  EXPECT_EQ(program.child().terminate(), 0) << program.child().errors();
}

// Without any sound server the program has no input: the first click logs why (and shows one
// error box) and nothing reaches the panel.
TEST_F(VoiceMessageE2e, WithoutSoundInputNothingIsSent) {
  if (IsSkipped()) return;
  // A server named but absent: the sound library neither finds one nor starts one of its own.
  ::setenv("PULSE_SERVER", ("unix:" + path("no-such-pulse-socket")).c_str(), 1);
  const std::string requests = path("api.log");
  TChild panel({panelSimPath(), "serve", "--api", "80", "--no-discovery", "--bind", lan->address(2),
                "--requests", requests},
               std::map<std::string, std::string>{}, panelNs, path("panel"));
  ASSERT_TRUE(pollUntil([&] { return panel.output().find("api: listening") != std::string::npos; }))
      << panel.errors();
  TProgramRun program(path("program"));
  program.writeSettings(postSettings());
  program.startOnDisplay(programNs, x->display());
  ASSERT_TRUE(program.waitForLog("Socket active port 2201")) << program.log();
  ASSERT_TRUE(clickVoiceButton());
  EXPECT_TRUE(program.waitForLog("**** Voice message: cannot record: no sound input device"))
      << program.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(readFileBytes(requests).find("/api/audio/"), std::string::npos);
  program.child().terminate();
}
