#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// The end of the desktop session reaches a Linux program as SIGTERM (from the session manager
// or systemd) or, under a session manager speaking XSMP, as Qt's commit-data request. Either
// one is turned into a single signal delivered on the UI thread.
// One instance per process; create it on the UI thread.
class TSessionEndWatcher : public QObject {
  Q_OBJECT
 public:
  explicit TSessionEndWatcher(QObject* parent = nullptr);
  ~TSessionEndWatcher() override;

 signals:
  void endRequested();

 private:
  void readSignal();
  int m_fds[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> m_notifier;
};
