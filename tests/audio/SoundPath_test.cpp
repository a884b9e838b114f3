#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

#include "tests/support/PulseServer.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/SoundAnalysis.h"
#include "tests/support/SoundRecorder.h"

namespace {

using namespace std::chrono_literals;

// The real sound path the program's own test will use: panel-sim's tone, read from its socket
// after "READY", played by pacat into the null sink, recorded from its monitor with parec.
// Proves the recording and analysis helpers on sound nobody here produced by hand.
TEST(SoundPathTest, PanelSimsToneThroughPacatIsFoundInTheMonitor) {
  ensureQtApplication();
  TPulseServer pulse;
  ASSERT_TRUE(pulse.start()) << pulse.error();

  QProcess sim;
  sim.start(PANEL_SIM_PATH, {"serve", "--audio", "0", "--bind", "127.0.0.1", "--no-discovery"});
  ASSERT_TRUE(sim.waitForStarted(10000));
  QString listening;
  ASSERT_TRUE(waitUntil([&] {
    while (sim.canReadLine()) {
      const QString line = QString::fromUtf8(sim.readLine());
      if (line.startsWith("audio: listening on")) listening = line;
    }
    return !listening.isEmpty();
  }));
  const auto port = QRegularExpression(R"(127\.0\.0\.1:(\d+))").match(listening).captured(1);

  QProcess pacat;
  pacat.setProcessEnvironment(pulse.environment());
  // A comfortable latency: this proves the helpers, not our latency.
  pacat.start("pacat", {"--playback", "--raw", "--format=s16le", "--rate=8000", "--channels=1",
                        "--latency-msec=200"});
  ASSERT_TRUE(pacat.waitForStarted(10000));

  QTcpSocket panel;
  panel.connectToHost("127.0.0.1", port.toUShort());
  ASSERT_TRUE(waitUntil([&] { return panel.bytesAvailable() >= 22; })) << "no format block";
  panel.read(22);
  panel.write("READY");
  qint64 played = 0;
  QObject::connect(&panel, &QTcpSocket::readyRead, [&] {
    const QByteArray bytes = panel.readAll();
    played += bytes.size();
    pacat.write(bytes);
  });
  // Recording starts once the sound is on its way.
  ASSERT_TRUE(waitUntil([&] { return played >= 3200; }));
  std::string error;
  const auto samples = recordSeconds(pulse.environment(), 8000, 3.0, &error);
  ASSERT_TRUE(samples) << error << pulse.log();

  EXPECT_NEAR(dominantFrequency(*samples, 8000), 440, 440 * 0.02);
  EXPECT_LE(longestGapMs(*samples, 8000, 300), 30);
  // The analysis tells silence from sound: the gap measure is not blind.
  const std::vector<std::int16_t> silence(8000, 0);
  EXPECT_GE(longestGapMs(silence, 8000, 300), 699);

  pacat.closeWriteChannel();
  pacat.kill();
  pacat.waitForFinished();
  sim.terminate();
  sim.waitForFinished();
}

}  // namespace
