// The live sound as the station wires it: the listen button, the player on a null output whose
// clock the test moves, the panel's audio service as a loopback server, the window's controls,
// the volume and mute, and closing.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cstring>

#include "app/Station.h"
#include "platform/NullWaveOut.h"
#include "platform/RegStore.h"
#include "tests/app/RecordingStationWindow.h"
#include "tests/app/StationTestSupport.h"

namespace {

// The format block of 8000 Hz 16-bit mono PCM, as a panel sends it.
QByteArray formatBlock() {
  const unsigned char block[] = {18, 0,    0,    0, 1, 0, 1, 0,  0x40, 0x1F, 0,
                                 0,  0x80, 0x3E, 0, 0, 2, 0, 16, 0,    0,    0};
  return QByteArray(reinterpret_cast<const char*>(block), sizeof block);
}

// 100 ms of a loud square wave.
QByteArray loudPcm() {
  QByteArray pcm(1600, 0);
  for (int i = 0; i < pcm.size() / 2; ++i) {
    const std::int16_t v = (i / 10) % 2 ? 20000 : -20000;
    std::memcpy(pcm.data() + 2 * i, &v, 2);
  }
  return pcm;
}

class StationLiveAudioTest : public ::testing::Test, public TStationFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(panel.listen(QHostAddress::LocalHost));
    chooseInterface("192.168.1.10",
                    "\"platines\"=\"127.0.0.1\"\r\n\"priority\"=dword:00000000\r\n"
                    "\"liveVolume\"=dword:00000028\r\n");
    registerWaveOutBackends(backends);
  }
  std::unique_ptr<TStation> start(const char* backend) {
    TStationServices s = services();
    s.waveOutBackends = &backends;
    s.waveOutBackend = backend;
    s.panelAudioPort = panel.serverPort();
    auto station = std::make_unique<TStation>(s, window);
    station->runStartUp();
    return station;
  }
  // Listens with a panel that sends its format block and answers READY with sound.
  QTcpSocket* listenAndPlay(TStation& station) {
    station.onListenClicked();
    if (!waitUntil([&] { return panel.hasPendingConnections(); })) return nullptr;
    QTcpSocket* peer = panel.nextPendingConnection();
    peer->write(formatBlock());
    if (!waitUntil([&] {
          received += peer->readAll();
          return received.contains("READY");
        }))
      return nullptr;
    peer->write(loudPcm());
    return peer;
  }
  std::string settingsFile() const {
    return dir.path().toStdString() + "/config/Halvex/HalvexStream.reg";
  }

  QTcpServer panel;
  TWaveOutBackends backends;
  TRecordingStationWindow window;
  QByteArray received;
};

}  // namespace

// No sound output at all: one clear error at the click, logged, and no connection to the panel.
TEST_F(StationLiveAudioTest, WithoutSoundOutputTheListenButtonSaysSoOnce) {
  auto station = start("no-such-output");
  const std::size_t before = dialogs.shown.size();
  station->onListenClicked();
  pumpEvents(std::chrono::milliseconds(200));
  ASSERT_EQ(dialogs.shown.size(), before + 1);
  EXPECT_EQ(dialogs.shown.back().text, "No sound output device");
  EXPECT_EQ(dialogs.shown.back().icon, EDialogIcon::Error);
  EXPECT_TRUE(captured.contains("No sound output device, live audio unavailable"));
  EXPECT_FALSE(panel.hasPendingConnections());
  EXPECT_FALSE(station->audioConnected());
}

// The panel's sound reaches the player, the level bar moves, the user's volume from the
// settings file is on the device, a change of volume or mute is applied and saved, and closing
// the window closes the connection and hides the controls.
TEST_F(StationLiveAudioTest, ListeningPlaysWithTheSavedVolumeUntilTheWindowCloses) {
  auto station = start(kWaveOutNull);
  auto& device = dynamic_cast<TNullWaveOutSystem&>(station->liveOutput()->system());
  TWaveOutCaps caps;
  caps.volume = true;
  device.setCapabilities(caps);
  EXPECT_TRUE(window.visible[EVideoControl::ListenButton]);

  QTcpSocket* peer = listenAndPlay(*station);
  ASSERT_NE(peer, nullptr) << "no READY from the program";
  EXPECT_FALSE(window.enabled[EVideoControl::ListenButton]);
  ASSERT_TRUE(waitUntil([&] {
    device.advance(10);
    const auto& levels = window.audioLevels;
    return std::find(levels.begin(), levels.end(), 100) != levels.end();
  })) << "the loud sound never reached the level bar";
  EXPECT_TRUE(window.visible[EVideoControl::AudioLevelBar]);
  EXPECT_TRUE(window.visible[EVideoControl::StopListeningButton]);
  EXPECT_FALSE(window.visible[EVideoControl::ListenButton]);
  EXPECT_EQ(device.openDevices(), 1);
  EXPECT_NEAR(device.lastVolume() & 0xFFFF, 40 * 65535 / 100, 1) << "40 % from the settings file";

  station->setLiveVolume(70, true);
  EXPECT_EQ(device.lastVolume() & 0xFFFF, 0u) << "muted";
  station->setLiveVolume(70, false);
  EXPECT_NEAR(device.lastVolume() & 0xFFFF, 70 * 65535 / 100, 1);
  TRegStore store(settingsFile());
  ASSERT_TRUE(store.open());
  EXPECT_EQ(store.readDword("liveVolume"), 70u);
  EXPECT_EQ(store.readDword("liveMute"), 0u);
  EXPECT_EQ(store.readString("platines"), "127.0.0.1") << "other values kept";

  station->onCloseRequested();
  EXPECT_FALSE(station->audioConnected());
  EXPECT_FALSE(window.visible[EVideoControl::ListenButton]);
  EXPECT_FALSE(window.visible[EVideoControl::StopListeningButton]);
  EXPECT_FALSE(window.visible[EVideoControl::AudioLevelBar]);
  EXPECT_TRUE(waitUntil([&] { return peer->state() != QAbstractSocket::ConnectedState; }));
  // The closed connection stops the player, which closes its device.
  EXPECT_TRUE(waitUntil([&] { return device.openDevices() == 0; }));
}

// The stop button ends the connection; the one-second watchdog and the 4 s cooldown reach the
// receiver through the station's timers.
TEST_F(StationLiveAudioTest, StopAndTheStationsTimersReachTheReceiver) {
  auto station = start(kWaveOutNull);
  QTcpSocket* peer = listenAndPlay(*station);
  ASSERT_NE(peer, nullptr);
  station->onStopListeningClicked();
  EXPECT_TRUE(waitUntil([&] { return peer->state() != QAbstractSocket::ConnectedState; }));
  EXPECT_TRUE(captured.contains("Audio disconnected"));
  EXPECT_TRUE(window.visible[EVideoControl::ListenButton]);
  EXPECT_FALSE(window.enabled[EVideoControl::ListenButton]);
  station->listenCooldownTimer()->start(10);
  EXPECT_TRUE(waitUntil([&] { return window.enabled[EVideoControl::ListenButton]; }));

  // A panel that never sends its format block is restarted by the watchdog's third tick.
  station->onListenClicked();
  ASSERT_TRUE(waitUntil([&] { return panel.hasPendingConnections(); }));
  panel.nextPendingConnection();
  for (int tick = 0; tick < 3; ++tick) station->onWatchdogTick();
  EXPECT_TRUE(captured.contains("Probably no or insufficient audio incomming, restarting"));
}
