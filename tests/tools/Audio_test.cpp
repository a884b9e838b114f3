#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "tests/support/SoundAnalysis.h"
#include "tests/tools/PanelSimSupport.h"

namespace {

std::string le(std::uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// A length, then the WAVEFORMATEX of a PCM format.
std::string formatBlock(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels,
                        std::uint32_t length = 18) {
  const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
  return le(length, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) +
         le(align, 2) + le(bits, 2) + le(0, 2);
}

// A panel-sim serving audio on loopback, and a workstation's connection to it.
class AudioTest : public ::testing::Test {
 protected:
  TConnection serve(std::vector<std::string> extra) {
    std::vector<std::string> args{"serve", "--audio", "0", "--bind", "127.0.0.1", "--no-discovery"};
    args.insert(args.end(), extra.begin(), extra.end());
    m_sim = std::make_unique<TPanelSim>(args);
    return connectTo("127.0.0.1", listeningPort(*m_sim, "audio"));
  }
  std::unique_ptr<TPanelSim> m_sim;
};

TEST_F(AudioTest, TheFormatBlockAnnouncesWhatIsSentAndNothingFollowsBeforeReady) {
  struct TCase {
    const char* name;
    std::vector<std::string> args;
    std::string block;
  };
  const TCase cases[] = {
      {"default: 8000 Hz 16-bit mono", {}, formatBlock(8000, 16, 1)},
      {"as asked", {"--rate", "22050", "--bits", "8", "--channels", "2"}, formatBlock(22050, 8, 2)},
      {"oversized", {"--audio-oversized-format"}, formatBlock(8000, 16, 1, 16 * 1024 * 1024)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TConnection ws = serve(c.args);
    EXPECT_EQ(ws.readExactly(c.block.size()), c.block);
    m_sim->waitForLine("connected");
    EXPECT_EQ(ws.readExactly(1, std::chrono::milliseconds(300)), "") << "PCM before READY";
  }
}

TEST_F(AudioTest, AfterReadyTheToneOrSilenceFlows) {
  struct TCase {
    std::vector<std::string> args;
    double hz;  // 0: silence
  };
  const TCase cases[] = {{{}, 440}, {{"--tone", "1000"}, 1000}, {{"--audio-silence"}, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hz);
    TConnection ws = serve(c.args);
    ws.readExactly(22);
    ws.send("READY");
    const auto samples = samplesOfS16le(ws.readExactly(8000));  // half a second
    ASSERT_EQ(samples.size(), 4000u);
    if (c.hz == 0) {
      EXPECT_EQ(rms(samples), 0);
    } else {
      EXPECT_NEAR(dominantFrequency(samples, 8000), c.hz, c.hz * 0.01);
      EXPECT_NEAR(rms(samples), 16383 / std::sqrt(2.0), 300);  // half of full scale
    }
  }
}

// The clicks over a quiet room: between them a faint 440 Hz tone, never digital silence, far
// below a click.
TEST_F(AudioTest, ClicksOverAFloorComeOverAFaintTone) {
  TConnection ws = serve({"--audio-clicks", "100", "--audio-floor"});
  ws.readExactly(22);
  ws.send("READY");
  const auto samples = samplesOfS16le(ws.readExactly(2 * 4000));
  ASSERT_EQ(samples.size(), 4000u);
  EXPECT_EQ(samples[800], 32767);
  const std::vector<std::int16_t> between(samples.begin() + 100, samples.begin() + 800);
  EXPECT_NEAR(dominantFrequency(between, 8000), 440, 440 * 0.02);
  EXPECT_NEAR(rms(between), 327 / std::sqrt(2.0), 30);  // 1 % of full scale
}

// Clicks over silence, for the latency benchmark: where they are in the stream, and a log line
// with each one's send time.
TEST_F(AudioTest, ClicksComeEveryIntervalOverSilenceAndEachIsLogged) {
  TConnection ws = serve({"--audio-clicks", "100"});
  ws.readExactly(22);
  ws.send("READY");
  const auto samples = samplesOfS16le(ws.readExactly(2 * 4000));  // half a second
  ASSERT_EQ(samples.size(), 4000u);
  std::vector<std::size_t> loud;
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (samples[i] != 0) loud.push_back(i);
  std::vector<std::size_t> expected;
  for (std::size_t click = 800; click < 4000; click += 800)
    for (std::size_t i = 0; i < 8; ++i) expected.push_back(click + i);
  EXPECT_EQ(loud, expected);
  EXPECT_EQ(samples[800], 32767);

  // Every click read was logged before it was sent; the lines are all there once the panel
  // has seen the connection go.
  ws = TConnection();
  m_sim->waitForLine("disconnected");
  const std::string& out = m_sim->out();
  long long previous = 0;
  std::size_t at = 0;
  for (int n = 1; n <= 4; ++n) {
    SCOPED_TRACE(n);
    at = out.find(" click ", at);
    ASSERT_NE(at, std::string::npos) << out;
    at += 7;
    const long long sent = std::stoll(out.substr(at));
    EXPECT_GT(sent, previous);
    previous = sent;
  }
}

TEST_F(AudioTest, NoFormatBlockMeansNoReadyAndNoSound) {
  TConnection ws = serve({"--audio-no-format"});
  m_sim->waitForLine("connected");
  EXPECT_EQ(ws.readExactly(1, std::chrono::milliseconds(300)), "");
  EXPECT_FALSE(ws.peerClosed());
}

TEST_F(AudioTest, CloseAfterSendsExactlyThatManyBytes) {
  TConnection ws = serve({"--audio-close-after", "1001"});
  ws.readExactly(22);
  ws.send("READY");
  EXPECT_EQ(ws.readUntilClosed().size(), 1001u);
  EXPECT_NE(m_sim->waitForLine("disconnected"), "");
}

TEST_F(AudioTest, AWavFileIsSentInItsFormatOverAndOver) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/sound.wav";
  std::string samples;
  for (int i = 0; i < 300; ++i) samples += static_cast<char>(i * 7);
  const std::string fmt = le(1, 2) + le(2, 2) + le(11025, 4) + le(22050, 4) + le(2, 2) + le(8, 2);
  std::ofstream(path, std::ios::binary)
      << "RIFF" << le(static_cast<std::uint32_t>(4 + 8 + 16 + 8 + samples.size()), 4) << "WAVE"
      << "fmt " << le(16, 4) << fmt << "data" << le(300, 4) << samples;
  TConnection ws = serve({"--wav", path});
  EXPECT_EQ(ws.readExactly(22), formatBlock(11025, 8, 2));
  ws.send("READY");
  EXPECT_EQ(ws.readExactly(900), samples + samples + samples);
}

}  // namespace
