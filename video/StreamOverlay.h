#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "platform/Clock.h"

// What the small text over the video says about the stream.
enum class EOverlayState {
  Idle,        // nothing wanted, nothing to say
  Connecting,  // a stream was asked for and no frame has come yet
  Live,        // frames arrive: nothing to say
  Refused,     // the panel refused the request (its status line says why)
  Lost,        // no frame for LostAfter: the picture on screen is frozen
  Failed,      // a manual or favourite request failed (shown for a while, stream or not)
};

// Why a stream request to a panel's signalling port came to nothing.
enum class ERequestFailure { Unreachable, Refused };

// Keeps a frozen frame from looking live: follows the stream controller's events and a clock,
// and says in the current language what the picture cannot. Also keeps the statistics shown on
// demand. No widgets: the main window shows the texts. UI thread only; the clock is borrowed and
// must outlive this object.
class TStreamOverlay {
 public:
  static constexpr std::chrono::milliseconds LostAfter{2000};
  static constexpr std::chrono::milliseconds FailureShownFor{5000};

  explicit TStreamOverlay(const IClock& clock);

  // A new stream is wanted (a ring, a command, a wait-list pick); not the watchdog's restarts.
  void streamStarted(const std::string& address);
  // A frame with data went to the video area.
  void frameReceived();
  // The panel refused the stream's request; statusLine is its reply's first line.
  void refused(const std::string& statusLine);
  // The stream is no longer wanted.
  void streamStopped();
  // A stream request to a panel failed.
  void requestFailed(ERequestFailure why);
  // How many frames the video area has painted so far (sampled for the shown rate).
  void sampleFramesShown(std::uint64_t total);

  EOverlayState state() const;
  // The text over the video; empty when there is nothing to say. Windows-1252.
  std::string statusText() const;
  // One line per figure: received and shown frames per second, the age of the frame on screen,
  // the time from the ring to the first frame, the panel's address. Windows-1252.
  std::string statisticsText() const;

  // "401" and its reason from "HTTP/1.1 401 Unauthorized"; empty parts when there are none.
  static std::pair<std::string, std::string> statusCode(const std::string& statusLine);

 private:
  using TTime = std::chrono::steady_clock::time_point;
  double receivedRate(TTime now) const;

  const IClock& m_clock;
  bool m_active = false;
  std::string m_address;
  TTime m_started{};
  std::optional<TTime> m_lastFrame;
  std::optional<std::chrono::milliseconds> m_ringToFirstFrame;
  std::optional<std::string> m_refusedLine;
  std::optional<ERequestFailure> m_failure;
  TTime m_failedAt{};
  std::deque<TTime> m_frameTimes;  // the last second's frames
  std::deque<std::pair<TTime, std::uint64_t>> m_shownSamples;
};
