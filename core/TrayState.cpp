#include "core/TrayState.h"

#include <algorithm>

void TTrayState::callAdmitted(const std::string& panel, const std::string& caller,
                              ECallAdmitted how, bool windowUp) {
  (void)how;  // a waited call is missed the same way as a shown one
  m_lastCaller = caller;
  auto same = [&panel](const TCall& call) { return call.panel == panel; };
  m_calls.erase(std::remove_if(m_calls.begin(), m_calls.end(), same), m_calls.end());
  m_calls.push_back({panel, windowUp});
}

void TTrayState::callEnded(const std::string& panel) {
  auto found = std::find_if(m_calls.begin(), m_calls.end(),
                            [&panel](const TCall& call) { return call.panel == panel; });
  if (found == m_calls.end()) return;
  if (!found->seen) ++m_missed;
  m_calls.erase(found);
}

void TTrayState::windowBroughtUp() {
  for (TCall& call : m_calls) call.seen = true;
}

void TTrayState::journalOpened() { m_missed = 0; }

bool TTrayState::unseenCallUnderWay() const {
  return std::any_of(m_calls.begin(), m_calls.end(), [](const TCall& call) { return !call.seen; });
}

ETrayPicture TTrayState::picture() const {
  const bool watchingCall =
      !m_watched.empty() && std::any_of(m_calls.begin(), m_calls.end(), [this](const TCall& call) {
        return call.panel == m_watched;
      });
  if (watchingCall) return ETrayPicture::CallInProgress;
  if (m_missed > 0) return ETrayPicture::MissedCalls;
  if (m_panelDetected) return ETrayPicture::PanelDetected;
  return ETrayPicture::Idle;
}

std::string trayToolTip(const TTrayState& state, const std::string& lastCallerLabel,
                        const std::string& missedLabel) {
  std::string text = "Ostrel Stream";
  if (!state.lastCaller().empty()) text += "\n" + lastCallerLabel + " " + state.lastCaller();
  if (state.missedCount() > 0)
    text += "\n" + missedLabel + " " + std::to_string(state.missedCount());
  return text;
}
