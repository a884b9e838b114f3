#pragma once

#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/AudioBuffer.h"
#include "audio/AudioControls.h"
#include "audio/AudioStreamReader.h"
#include "audio/LivePlayer.h"
#include "core/AppSettings.h"
#include "platform/Dialogs.h"

// Live sound from the priority panel: the TCP client of the panel's audio service, its format
// block, "READY" once the player has started, the PCM FIFO the player drains, the level bar and
// the listen/stop buttons, and the audio part of the one-second watchdog.
//
// Owned by the station. Everything runs on the UI thread except onPlayerDataPtr, which may be
// called from the player's own callback context. Dialogs are shown from a queued call, never
// from inside a socket or timer handler.
class TAudioReceiver : public QObject {
  Q_OBJECT
 public:
  static constexpr std::uint16_t DefaultPort = 3333;
  // A watchdog restart or retry waits this long before connecting again.
  static constexpr int ReconnectDelayMs = 100;
  // Read-error count at which the watchdog gives up.
  static constexpr int MaxReadErrors = 10;
  static constexpr int MaxLevelEvents = 100;

  // settings (platines, priority), dialogs, player and controls must outlive this object.
  // fullScreen: whether the video is shown full screen. port: the panels' audio port.
  TAudioReceiver(ILiveAudioPlayer& player, IAudioControls& controls, IDialogs& dialogs,
                 const TAppSettings& settings, std::function<bool()> fullScreen,
                 std::uint16_t port = DefaultPort, QObject* parent = nullptr);
  ~TAudioReceiver() override;

  // User commands.
  void onListenClicked();
  void onStopListeningClicked();
  // The station's timers: the one-second watchdog and the 4 s listen cooldown.
  void onWatchdogTick();
  void onListenCooldownTick();
  // Entering or leaving full screen.
  void onFullScreenChanged();
  // The window closes: a connected socket is closed and the controls hidden.
  void closeForExit();

  // The player's events.
  void onPlayerActivate();
  void onPlayerDeactivate();
  void onPlayerError();
  void onPlayerLevel(int level);
  // Hands over the pending format block (std::malloc'ed, freeIt true), or nullptr when none.
  void onPlayerFormat(void*& format, bool& freeIt);
  // The player asks for more: a block it then owns and frees with std::free (freeIt true), or
  // no block and 10 (10 ms of silence), or 0 when the connection is gone (end of data). Any
  // thread.
  std::uint32_t onPlayerDataPtr(void*& buffer, std::uint32_t& numLoops, bool& freeIt);

  bool connected() const;
  int readErrorCount() const { return m_readErrors; }
  int levelEventCount() const { return m_levelEvents; }
  int watchdogTickCount() const { return m_watchdogTicks; }
  const TAudioBuffer& fifo() const { return m_fifo; }
  const TAudioFormat& playingFormat() const { return m_reader.format(); }

 private:
  void onAudioConnected();
  void onAudioDisconnected();
  void onAudioReadyRead();
  void onAudioSocketError(QAbstractSocket::SocketError error);

  void connectAudio();
  void connectAudioSoon();
  void closeAudio();
  void resetCounts();
  // At least one second of sound at the playing format has arrived on this connection.
  bool soundArriving() const;
  void readFailed();
  // Shows the controls for the connection's state (all hidden in full screen).
  void showControls();
  void showLater(const std::string& text, EDialogIcon icon);

  ILiveAudioPlayer& m_player;
  IAudioControls& m_controls;
  IDialogs& m_dialogs;
  const TAppSettings& m_settings;
  std::function<bool()> m_fullScreen;
  std::uint16_t m_port;
  std::string m_host;
  int m_readErrors = 0;
  int m_levelEvents = 0;
  int m_watchdogTicks = 0;
  std::atomic<bool> m_connected{false};  // read by onPlayerDataPtr on any thread
  std::vector<char> m_pendingFormat;     // the last format block, until the player takes it
  TAudioBuffer m_fifo;
  TAudioStreamReader m_reader;
  QTimer m_reconnect;
  QTcpSocket m_socket;  // last: its signals must not outlive what they reach
};
