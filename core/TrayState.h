#pragma once

#include <string>
#include <vector>

// What the tray icon's picture says, most urgent first in the order picture() chooses.
enum class ETrayPicture { Idle, PanelDetected, CallInProgress, MissedCalls };

// How call admission took a call in.
enum class ECallAdmitted { Shown, Waited };

// The calls under way and the missed ones, without any widget. A call is missed when it was
// admitted while the main window was minimised or hidden and the window was not brought up
// before the call ended; the count goes back to 0 when the journal is opened. Calls are told
// apart by their panel's address: a new call from a panel replaces the one it had.
// UI thread only.
class TTrayState {
 public:
  // windowUp: the main window was on screen (shown and not minimised) at that moment.
  void callAdmitted(const std::string& panel, const std::string& caller, ECallAdmitted how,
                    bool windowUp);
  // The panel said the call is over (its "stop"); unknown panels are ignored.
  void callEnded(const std::string& panel);
  // The user has the window on screen: every call under way has been seen.
  void windowBroughtUp();
  void journalOpened();
  // The panel whose stream is wanted now, "" when none.
  void setWatchedPanel(const std::string& panel) { m_watched = panel; }
  void setPanelDetected(bool detected) { m_panelDetected = detected; }

  ETrayPicture picture() const;
  int missedCount() const { return m_missed; }
  // The caller of the last admitted call, "" before any.
  const std::string& lastCaller() const { return m_lastCaller; }
  // A call admitted while the window was down that nobody has seen yet.
  bool unseenCallUnderWay() const;

 private:
  struct TCall {
    std::string panel;
    bool seen = false;
  };
  std::vector<TCall> m_calls;
  std::string m_watched;
  std::string m_lastCaller;
  int m_missed = 0;
  bool m_panelDetected = false;
};

// The tooltip: the program's name, the last caller and the missed count (each line only when
// there is something to say). Texts are Windows-1252; the labels come from the text table.
std::string trayToolTip(const TTrayState& state, const std::string& lastCallerLabel,
                        const std::string& missedLabel);
