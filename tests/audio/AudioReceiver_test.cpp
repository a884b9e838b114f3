#include "audio/AudioReceiver.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/Text.h"
#include "core/UiTexts.h"
#include "tests/support/QtTestSupport.h"

namespace {

using namespace std::chrono_literals;

// The player as the receiver sees it; the test plays its events.
class TFakePlayer final : public ILiveAudioPlayer {
 public:
  bool isActive = false;
  std::vector<int> formatIds;
  int activations = 0;
  int deactivations = 0;
  std::size_t queued = 0;
  std::string error = "no driver";
  bool active() const override { return isActive; }
  void setActive(bool active) override {
    if (active == isActive) return;
    isActive = active;
    (active ? activations : deactivations)++;
  }
  void setFormatId(int id) override { formatIds.push_back(id); }
  std::size_t queuedBytes() const override { return queued; }
  void dataArrived() override { ++arrivals; }
  int arrivals = 0;
  std::string errorText() const override { return error; }
};

struct TFakeControls final : public IAudioControls {
  bool listenVisible = true, listenEnabled = true, stopVisible = true, levelVisible = true;
  int level = -1;
  void setListenVisible(bool v) override { listenVisible = v; }
  void setListenEnabled(bool v) override { listenEnabled = v; }
  void setStopListeningVisible(bool v) override { stopVisible = v; }
  void setLevelVisible(bool v) override { levelVisible = v; }
  void setLevelPosition(int p) override { level = p; }
  // listen, stop, level: "L" visible, "-" hidden.
  std::string shown() const {
    return std::string(listenVisible ? "L" : "-") + (stopVisible ? "S" : "-") +
           (levelVisible ? "B" : "-");
  }
};

std::string le32(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// 8000 Hz, 16-bit, mono, as a WAVEFORMATEX.
const std::string MonoFormat =
    std::string("\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00\x00\x00", 18);
const std::string FormatBlock = le32(18) + MonoFormat;

// The panel's audio service on loopback, the receiver and its fakes.
class AudioReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    setLanguage("EN");
    ASSERT_TRUE(m_panel.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&m_panel, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = m_panel.nextPendingConnection()) m_connections.push_back(s);
    });
    settings.platines = "10.0.0.9;127.0.0.1";
    settings.priority = 1;
    makeReceiver(m_panel.serverPort());
  }

  void makeReceiver(std::uint16_t port) {
    receiver = std::make_unique<TAudioReceiver>(
        player, controls, dialogs, settings, [this] { return fullScreen; }, port);
  }

  // Listens and waits until the panel has the connection and the receiver knows it.
  QTcpSocket* listenAndAccept() {
    const std::size_t before = m_connections.size();
    receiver->onListenClicked();
    if (!waitUntil([&] { return m_connections.size() > before && receiver->connected(); }))
      return nullptr;
    return m_connections.back();
  }

  // Up to the player's activation and "READY".
  QTcpSocket* playing() {
    QTcpSocket* panel = listenAndAccept();
    if (panel == nullptr) return nullptr;
    panel->write(FormatBlock.data(), static_cast<qint64>(FormatBlock.size()));
    if (!waitUntil([&] { return player.isActive; })) return nullptr;
    receiver->onPlayerActivate();
    if (!waitUntil([&] { return panel->bytesAvailable() >= 5; })) return nullptr;
    return panel->readAll() == "READY" ? panel : nullptr;
  }

  // What one request of the player gets: the bytes, "<silence>" or "<end>".
  std::string feed() {
    void* buffer = nullptr;
    std::uint32_t loops = 0;
    bool freeIt = false;
    const std::uint32_t n = receiver->onPlayerDataPtr(buffer, loops, freeIt);
    if (n == 0) return "<end>";
    if (buffer == nullptr) return n == 10 ? "<silence>" : "<silence " + std::to_string(n) + ">";
    EXPECT_TRUE(freeIt);
    std::string bytes(static_cast<char*>(buffer), n);
    std::free(buffer);
    return bytes;
  }

  int count(const std::string& text) const {
    int n = 0;
    for (const auto& t : log.texts()) n += t == text;
    return n;
  }

  std::size_t connections() const { return m_connections.size(); }
  std::uint16_t panelPort() const { return m_panel.serverPort(); }
  QTcpSocket* lastPanel() const { return m_connections.back(); }

  TCapturedLog log;
  TAppSettings settings;
  TFakePlayer player;
  TFakeControls controls;
  TRecordingDialogs dialogs;
  bool fullScreen = false;
  std::unique_ptr<TAudioReceiver> receiver;

 private:
  QTcpServer m_panel;
  std::vector<QTcpSocket*> m_connections;  // owned by m_panel
};

TEST_F(AudioReceiverTest, ListenConnectsToThePriorityPanelSendsReadyOnActivationAndFeedsThePlayer) {
  EXPECT_EQ(controls.shown(), "L--") << "listen reachable from the start";
  QTcpSocket* panel = listenAndAccept();
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(controls.listenEnabled);
  EXPECT_EQ(controls.shown(), "-SB");
  EXPECT_EQ(feed(), "<silence>");

  // The block in three pieces, as TCP may deliver it.
  for (const std::string& piece :
       {FormatBlock.substr(0, 3), FormatBlock.substr(3, 7), FormatBlock.substr(10)}) {
    EXPECT_FALSE(player.isActive);
    panel->write(piece.data(), static_cast<qint64>(piece.size()));
    panel->flush();
    pumpEvents(50ms);
  }
  ASSERT_TRUE(waitUntil([&] { return player.isActive; }));
  EXPECT_EQ(player.formatIds, std::vector<int>{3});
  EXPECT_EQ(panel->bytesAvailable(), 0) << "READY only once the player has started";
  receiver->onPlayerActivate();
  ASSERT_TRUE(waitUntil([&] { return panel->bytesAvailable() >= 5; }));
  EXPECT_EQ(panel->readAll(), "READY");

  // Bytes that arrive while the player empties the FIFO go into a new block: none lost. Each
  // arrival asks the player to take them.
  EXPECT_EQ(player.arrivals, 0);
  std::string sent, played;
  for (int i = 0; i < 40; ++i) {
    const std::string chunk(200, static_cast<char>('a' + i % 26));
    sent += chunk;
    panel->write(chunk.data(), static_cast<qint64>(chunk.size()));
    panel->flush();
    pumpEvents(5ms);
    const std::string got = feed();
    if (got != "<silence>") played += got;
  }
  ASSERT_TRUE(waitUntil([&] {
    const std::string got = feed();
    if (got != "<silence>") played += got;
    return played.size() >= sent.size();
  }));
  EXPECT_TRUE(played == sent);
  EXPECT_GE(player.arrivals, 20);
  EXPECT_EQ(receiver->readErrorCount(), 0);
  receiver->onListenCooldownTick();
  EXPECT_TRUE(controls.listenEnabled);
}

TEST_F(AudioReceiverTest, WithoutAPriorityAddressOnlyTheMessageIsShown) {
  struct TCase {
    const char* platines;
    int priority;
  } cases[] = {{"", 0}, {"10.0.0.9", 1}, {"10.0.0.9", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.platines);
    dialogs.shown.clear();
    settings.platines = c.platines;
    settings.priority = c.priority;
    receiver->onListenClicked();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "No priority address found.");
    pumpEvents(50ms);
    EXPECT_EQ(connections(), 0u);
  }
}

TEST_F(AudioReceiverTest, APanelThatNeverSendsItsFormatIsRestartedOnTheThirdTickEachTime) {
  ASSERT_NE(listenAndAccept(), nullptr);
  for (int restart = 1; restart <= 2; ++restart) {
    SCOPED_TRACE(restart);
    receiver->onWatchdogTick();
    receiver->onWatchdogTick();
    EXPECT_EQ(connections(), static_cast<std::size_t>(restart));
    receiver->onWatchdogTick();
    EXPECT_EQ(count("Probably no or insufficient audio incomming, restarting"), restart);
    EXPECT_FALSE(controls.listenEnabled);
    EXPECT_EQ(receiver->watchdogTickCount(), 0);
    ASSERT_TRUE(waitUntil([&] {
      return connections() == static_cast<std::size_t>(restart) + 1 && receiver->connected();
    }));
  }
}

TEST_F(AudioReceiverTest, AConnectionWithEnoughLevelEventsIsLeftAlone) {
  ASSERT_NE(playing(), nullptr);
  for (int i = 0; i < 10; ++i) receiver->onPlayerLevel(3);
  for (int i = 0; i < 5; ++i) receiver->onWatchdogTick();
  pumpEvents(200ms);
  EXPECT_EQ(connections(), 1u);
  EXPECT_EQ(count("Probably no or insufficient audio incomming, restarting"), 0);
}

// The output may take seconds to start while the panel's sound already arrives: only the two
// silence buffers of the activation give level events. A panel that has sent a second of sound
// is left alone; one that sends nothing or a trickle is restarted as before.
TEST_F(AudioReceiverTest, WhileTheOutputStartsOnlyAPanelSendingTooLittleIsRestarted) {
  struct TCase {
    const char* name;
    std::size_t pcmBytes;
    bool restarted;
  };
  const TCase cases[] = {
      {"nothing after READY", 0, true},
      {"half a second", 8000, true},
      {"just under a second", 15998, true},
      {"one second", 16000, false},
      {"three seconds, beyond the FIFO's bound", 48000, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    receiver.reset();
    const int restartsBefore = count("Probably no or insufficient audio incomming, restarting");
    player = TFakePlayer{};
    makeReceiver(panelPort());
    QTcpSocket* panel = playing();
    ASSERT_NE(panel, nullptr);
    const std::size_t before = connections();
    receiver->onPlayerLevel(0);
    receiver->onPlayerLevel(0);
    const std::string pcm(c.pcmBytes, '\x01');
    panel->write(pcm.data(), static_cast<qint64>(pcm.size()));
    ASSERT_TRUE(waitUntil(
        [&] { return receiver->fifo().size() + receiver->fifo().droppedBytes() == c.pcmBytes; }));
    for (int i = 0; i < 3; ++i) receiver->onWatchdogTick();
    EXPECT_EQ(count("Probably no or insufficient audio incomming, restarting") - restartsBefore,
              c.restarted ? 1 : 0);
    if (c.restarted) {
      EXPECT_TRUE(waitUntil([&] { return connections() == before + 1 && receiver->connected(); }));
    } else {
      pumpEvents(200ms);
      EXPECT_EQ(connections(), before);
      EXPECT_TRUE(receiver->connected());
    }
  }
}

TEST_F(AudioReceiverTest, ThePanelClosingStopsTheSoundAndIsNotReconnected) {
  QTcpSocket* panel = playing();
  ASSERT_NE(panel, nullptr);
  panel->write("abcd", 4);
  ASSERT_TRUE(waitUntil([&] { return receiver->fifo().size() == 4; }));
  panel->disconnectFromHost();
  ASSERT_TRUE(waitUntil([&] { return log.contains("Audio disconnected"); }));
  EXPECT_FALSE(player.isActive);
  EXPECT_EQ(receiver->fifo().size(), 0u);
  EXPECT_EQ(feed(), "<end>");
  EXPECT_EQ(controls.shown(), "L--");
  // The player's closing level event does not bring the bar back.
  receiver->onPlayerLevel(0);
  EXPECT_EQ(controls.shown(), "L--");
  EXPECT_EQ(controls.level, 0);
  for (int i = 0; i < 3; ++i) receiver->onWatchdogTick();
  pumpEvents(300ms);
  EXPECT_EQ(connections(), 1u);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(AudioReceiverTest, SocketErrorsAreLoggedAndShownAfterTheHandlerReturns) {
  // Nothing listens on this port once the server is gone: refused. A broadcast address cannot
  // be connected to at all, which our own stack reports at once with another code (which one
  // depends on the routes: 10065 or 10053).
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const std::uint16_t port = closed.serverPort();
  closed.close();
  makeReceiver(port);
  const std::string refusedDetail =
      "Erreur de socket asynchrone, veuillez v\xE9rifier l'\xE9tat de la platine, "
      "configuration TCP IP / Port";
  for (const char* host : {"127.0.0.1", "255.255.255.255"}) {
    SCOPED_TRACE(host);
    dialogs.shown.clear();
    const std::size_t logged = log.texts().size();
    settings.platines = host;
    settings.priority = 0;
    receiver->onListenClicked();
    ASSERT_TRUE(waitUntil([&] { return !dialogs.shown.empty(); }));
    std::vector<std::string> errors;
    for (std::size_t i = logged; i < log.texts().size(); ++i)
      if (startsWith(log.texts()[i], "Error ")) errors.push_back(log.texts()[i]);
    ASSERT_EQ(errors.size(), 1u);
    const bool refused = std::string(host) == "127.0.0.1";
    EXPECT_EQ(errors[0] == "Error 10061", refused);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, errors[0] + "\r\n" + (refused ? refusedDetail : ""));
    EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
    EXPECT_EQ(controls.shown(), "L--");
    // Socket errors are not retried.
    receiver->onWatchdogTick();
    pumpEvents(200ms);
    EXPECT_EQ(dialogs.shown.size(), 1u);
  }
}

TEST_F(AudioReceiverTest, FailedReadsAreRetriedByTheWatchdogUntilTheTenthThenTheUserIsTold) {
  ASSERT_NE(listenAndAccept(), nullptr);
  for (int n = 1; n <= 10; ++n) {
    SCOPED_TRACE(n);
    // Every connection announces a format block far beyond 64 KiB.
    lastPanel()->write(le32(0x7FFFFFFF).data(), 4);
    ASSERT_TRUE(
        waitUntil([&] { return receiver->readErrorCount() == n && !receiver->connected(); }));
    EXPECT_EQ(count("Error while getting audio stream, please try again"), n);
    EXPECT_FALSE(player.isActive);
    if (n == 10) break;
    const std::size_t before = connections();
    receiver->onWatchdogTick();
    EXPECT_EQ(
        count("Error while getting audio stream, retrying... try number " + std::to_string(n)), 1);
    ASSERT_TRUE(waitUntil([&] { return connections() == before + 1 && receiver->connected(); }));
  }
  receiver->onWatchdogTick();
  EXPECT_TRUE(dialogs.shown.empty()) << "shown from a queued call, not inside the tick";
  ASSERT_TRUE(waitUntil([&] { return !dialogs.shown.empty(); }));
  EXPECT_EQ(dialogs.shown[0].text, "Error while getting audio stream, please try again");
  EXPECT_EQ(receiver->readErrorCount(), 0);
  receiver->onWatchdogTick();
  pumpEvents(200ms);
  EXPECT_EQ(connections(), 10u);
}

TEST_F(AudioReceiverTest, AnUnusableFormatFallsBackToTheDefaultWithOneLogLine) {
  QTcpSocket* panel = listenAndAccept();
  ASSERT_NE(panel, nullptr);
  std::string alaw = MonoFormat;
  alaw[0] = 6;
  const std::string block = le32(18) + alaw;
  panel->write(block.data(), static_cast<qint64>(block.size()));
  ASSERT_TRUE(waitUntil([&] { return player.isActive; }));
  EXPECT_EQ(player.formatIds, std::vector<int>{3});
  EXPECT_EQ(count("Audio format announced by the panel not used, playing 8000 Hz 16-bit mono"), 1);
  // The block is still what the player would be handed if it asked.
  void* format = nullptr;
  bool freeIt = false;
  receiver->onPlayerFormat(format, freeIt);
  ASSERT_NE(format, nullptr);
  EXPECT_TRUE(freeIt);
  EXPECT_EQ(std::string(static_cast<char*>(format), 18), alaw);
  std::free(format);
}

TEST_F(AudioReceiverTest, AFastPanelNeverBuildsUpMoreThanOneSecond) {
  QTcpSocket* panel = playing();
  ASSERT_NE(panel, nullptr);
  player.queued = 4000;  // a quarter of a second already on the device
  const std::string threeSeconds(48000, 'x');
  panel->write(threeSeconds.data(), static_cast<qint64>(threeSeconds.size()));
  std::size_t most = 0;
  ASSERT_TRUE(waitUntil([&] {
    most = std::max(most, receiver->fifo().size());
    return receiver->fifo().droppedBytes() + receiver->fifo().size() == threeSeconds.size();
  }));
  EXPECT_LE(most + player.queued, 16000u);
  const std::string taken = feed();
  EXPECT_EQ(taken.size(), 12000u);
  EXPECT_EQ(count(TAudioBuffer::DropLogText), 1);
}

TEST_F(AudioReceiverTest, LevelEventsMoveTheBarAndCountUpTo100) {
  ASSERT_NE(playing(), nullptr);
  const std::pair<int, int> levels[] = {{7, 70}, {10, 100}, {55, 100}, {0, 0}, {1, 10}};
  for (auto [level, position] : levels) {
    receiver->onPlayerLevel(level);
    EXPECT_EQ(controls.level, position) << level;
  }
  for (int i = 0; i < 200; ++i) receiver->onPlayerLevel(3);
  EXPECT_EQ(receiver->levelEventCount(), 100);
  EXPECT_EQ(controls.shown(), "-SB");
}

TEST_F(AudioReceiverTest, TheControlsFollowTheConnectionAndFullScreenHidesThemAll) {
  receiver->onWatchdogTick();
  EXPECT_EQ(controls.shown(), "L--") << "listen reachable whenever not connected";
  ASSERT_NE(playing(), nullptr);
  EXPECT_EQ(controls.shown(), "-SB");
  fullScreen = true;
  receiver->onFullScreenChanged();
  EXPECT_EQ(controls.shown(), "---");
  receiver->onPlayerLevel(5);
  EXPECT_EQ(controls.shown(), "---");
  fullScreen = false;
  receiver->onFullScreenChanged();
  EXPECT_EQ(controls.shown(), "-SB");

  receiver->onStopListeningClicked();
  EXPECT_FALSE(receiver->connected());
  EXPECT_FALSE(player.isActive);
  EXPECT_EQ(controls.shown(), "L--");
  EXPECT_TRUE(log.contains("Audio disconnected"));
  fullScreen = true;
  receiver->onFullScreenChanged();
  EXPECT_EQ(controls.shown(), "---");
  fullScreen = false;
  receiver->onFullScreenChanged();
  EXPECT_EQ(controls.shown(), "L--");
}

TEST_F(AudioReceiverTest, APlayerErrorClosesTheConnectionAndShowsItsText) {
  ASSERT_NE(playing(), nullptr);
  receiver->onPlayerError();
  EXPECT_FALSE(receiver->connected());
  EXPECT_TRUE(dialogs.shown.empty());
  ASSERT_TRUE(waitUntil([&] { return !dialogs.shown.empty(); }));
  EXPECT_EQ(dialogs.shown[0].text, "no driver");
  EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
}

TEST_F(AudioReceiverTest, ClosingTheWindowClosesTheConnectionAndHidesEverything) {
  ASSERT_NE(playing(), nullptr);
  receiver->closeForExit();
  EXPECT_FALSE(receiver->connected());
  EXPECT_EQ(controls.shown(), "---");
  ASSERT_TRUE(waitUntil([&] { return lastPanel()->state() != QAbstractSocket::ConnectedState; }));
}

}  // namespace
