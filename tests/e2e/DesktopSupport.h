#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tests/e2e/E2eSupport.h"

// A desktop of the test's own: an X server and a real window manager (openbox) on it, so that
// frames, positions and window states are what a user's desktop makes of them.
class TDesktop;

// A TRecordedLanTest with a desktop of its own (Xvfb and openbox); skipped, saying why, without
// one. A failing test leaves a screenshot of the desktop beside its outputs.
class TDesktopLanTest : public TRecordedLanTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Starts the program on this desktop with these settings, its interface the LAN's first
  // address, and waits for its listener and for its main window to have a state (or the state
  // wanted, e.g. "Iconic"). The window's id; empty, with a test failure, when it never came.
  std::string startOnDesktop(TProgramRun& program, std::map<std::string, std::string> settings,
                             const std::string& wantedState = "");
  std::unique_ptr<TDesktop> desktop;
};

class TDesktop {
 public:
  // Nothing when either cannot be started; `why` then says what failed.
  static std::unique_ptr<TDesktop> start(const std::string& outputPrefix, std::string& why);
  ~TDesktop();

  const std::string& display() const { return m_x->display(); }
  TXServer& x() { return *m_x; }

  struct TRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const TRect&) const = default;
    std::string describe() const;
  };
  // A top-level client window with exactly this title, mapped or not.
  std::optional<std::string> findWindow(const std::string& title) const;
  // The client area's rectangle on the screen (without the frame the manager adds).
  std::optional<TRect> clientRect(const std::string& window) const;
  // The frame's sizes left, right, top and bottom as the manager announces them.
  std::optional<TRect> frameExtents(const std::string& window) const;
  TRect screenRect() const { return {0, 0, 1024, 768}; }
  // "Normal", "Iconic" or "Withdrawn" (WM_STATE), empty when the window has none yet.
  std::string wmState(const std::string& window) const;
  // Gives the window the focus through the manager, then types the keys ("ctrl+t", "Escape").
  bool type(const std::string& window, const std::string& keys) const;

 private:
  TDesktop() = default;
  std::string x11(const std::vector<std::string>& argv, int* status = nullptr) const;
  std::unique_ptr<TXServer> m_x;
  std::unique_ptr<TChild> m_manager;
};
