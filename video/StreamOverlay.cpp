#include "video/StreamOverlay.h"

#include <cstdio>

#include "core/UiTexts.h"

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

constexpr std::chrono::seconds RateWindow{1};

std::string figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

TStreamOverlay::TStreamOverlay(const IClock& clock) : m_clock(clock) {}

void TStreamOverlay::streamStarted(const std::string& address) {
  m_active = true;
  m_address = address;
  m_started = m_clock.steadyNow();
  m_lastFrame.reset();
  m_ringToFirstFrame.reset();
  m_refusedLine.reset();
  m_failure.reset();
  m_frameTimes.clear();
}

void TStreamOverlay::frameReceived() {
  if (!m_active) return;
  const TTime now = m_clock.steadyNow();
  if (!m_ringToFirstFrame) m_ringToFirstFrame = duration_cast<milliseconds>(now - m_started);
  m_lastFrame = now;
  m_refusedLine.reset();
  m_frameTimes.push_back(now);
  while (!m_frameTimes.empty() && now - m_frameTimes.front() >= RateWindow)
    m_frameTimes.pop_front();
}

void TStreamOverlay::refused(const std::string& statusLine) {
  if (m_active) m_refusedLine = statusLine;
}

void TStreamOverlay::streamStopped() {
  m_active = false;
  m_lastFrame.reset();
  m_refusedLine.reset();
  m_frameTimes.clear();
}

void TStreamOverlay::requestFailed(ERequestFailure why) {
  m_failure = why;
  m_failedAt = m_clock.steadyNow();
}

void TStreamOverlay::sampleFramesShown(std::uint64_t total) {
  const TTime now = m_clock.steadyNow();
  m_shownSamples.emplace_back(now, total);
  // Keep one sample at least a window old, so the rate spans a whole second.
  while (m_shownSamples.size() > 2 && now - m_shownSamples[1].first >= RateWindow)
    m_shownSamples.pop_front();
}

EOverlayState TStreamOverlay::state() const {
  const TTime now = m_clock.steadyNow();
  // A failed request is news until it is old, whatever the picture does.
  if (m_failure && now - m_failedAt < FailureShownFor) return EOverlayState::Failed;
  if (!m_active) return EOverlayState::Idle;
  if (m_refusedLine) return EOverlayState::Refused;
  if (!m_lastFrame) return EOverlayState::Connecting;
  if (now - *m_lastFrame >= LostAfter) return EOverlayState::Lost;
  return EOverlayState::Live;
}

std::pair<std::string, std::string> TStreamOverlay::statusCode(const std::string& statusLine) {
  const std::size_t first = statusLine.find(' ');
  if (first == std::string::npos) return {};
  const std::size_t second = statusLine.find(' ', first + 1);
  std::string code = statusLine.substr(
      first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  std::string reason = second == std::string::npos ? "" : statusLine.substr(second + 1);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n')) reason.pop_back();
  return {code, reason};
}

std::string TStreamOverlay::statusText() const {
  switch (state()) {
    case EOverlayState::Idle:
    case EOverlayState::Live:
      return {};
    case EOverlayState::Connecting:
      return UiTexts.ovlConnecting;
    case EOverlayState::Failed:
      return *m_failure == ERequestFailure::Unreachable ? UiTexts.ovlUnreachable
                                                        : UiTexts.ovlRefused;
    case EOverlayState::Refused: {
      const auto [code, reason] = statusCode(*m_refusedLine);
      if (code == "401") return UiTexts.ovlAccessRefused + " (401)";
      // A reply that is not HTTP at all, or has no reason, still says it was refused.
      const std::string why = reason.empty() ? code : code + " " + reason;
      return why.empty() ? UiTexts.ovlRefused : UiTexts.ovlRefused + " (" + why + ")";
    }
    case EOverlayState::Lost: {
      const auto age = duration_cast<std::chrono::seconds>(m_clock.steadyNow() - *m_lastFrame);
      return UiTexts.ovlVideoLost + " (" + std::to_string(age.count()) + " s)";
    }
  }
  return {};
}

double TStreamOverlay::receivedRate(TTime now) const {
  std::size_t recent = 0;
  for (const TTime& t : m_frameTimes)
    if (now - t < RateWindow) ++recent;
  return static_cast<double>(recent);
}

std::string TStreamOverlay::statisticsText() const {
  const TTime now = m_clock.steadyNow();
  double shown = 0;
  if (m_shownSamples.size() >= 2) {
    const auto& [from, fromCount] = m_shownSamples.front();
    const auto& [to, toCount] = m_shownSamples.back();
    const double seconds = std::chrono::duration<double>(to - from).count();
    if (seconds > 0) shown = static_cast<double>(toCount - fromCount) / seconds;
  }
  const std::string none = "-";
  std::string text = UiTexts.statsReceived + ": " + figure(m_active ? receivedRate(now) : 0) +
                     "\n" + UiTexts.statsShown + ": " + figure(m_active ? shown : 0) + "\n";
  text += UiTexts.statsAge + ": " +
          (m_active && m_lastFrame
               ? std::to_string(duration_cast<milliseconds>(now - *m_lastFrame).count()) + " ms"
               : none) +
          "\n";
  text += UiTexts.statsRingToFrame + ": " +
          (m_active && m_ringToFirstFrame ? std::to_string(m_ringToFirstFrame->count()) + " ms"
                                          : none) +
          "\n";
  text += UiTexts.statsPanel + ": " + (m_active ? m_address : none);
  return text;
}
