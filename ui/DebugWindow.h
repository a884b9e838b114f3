#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <cstdint>

#include "core/DebugLog.h"

// The debug window: shows the log's history, following new lines unless the user has clicked
// into the text. Touched on the UI thread only; the log reaches it through refreshFromLog,
// which other threads queue.
class TDebugWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TDebugWindow(TDebugLog& log, QWidget* parent = nullptr);

  // Opens to the right of the main window.
  void placeBeside(const QWidget& mainWindow);
  // Appends every history entry not shown yet.
  void ShowDebug();
  QPlainTextEdit* logView() const { return m_memo; }

 public slots:
  // One displayed entry was logged: trim, show what is new, bring the window up.
  void refreshFromLog();

 private:
  TDebugLog& m_log;
  QPlainTextEdit* m_memo;
  std::uint64_t m_firstShown = 0;  // absolute log index of the memo's first line
  std::uint64_t m_endShown = 0;    // absolute log index one past the memo's last line
};
