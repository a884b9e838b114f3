#pragma once

#include <QDBusConnection>
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/DesktopNotifier.h"

// Notifications through org.freedesktop.Notifications on a D-Bus bus (the session bus in the
// program, a private one in tests). Every call is asynchronous: the UI thread never waits for
// the notification server. A server that is missing or refuses is logged once per kind of
// error, and the program goes on without notifications.
//
// Thread contract: UI thread only. Ownership: holds its connection (shared, as QtDBus does).
class TDbusNotifier final : public QObject, public IDesktopNotifier {
  Q_OBJECT
 public:
  static constexpr const char* Service = "org.freedesktop.Notifications";
  static constexpr const char* Path = "/org/freedesktop/Notifications";
  // The longest side of the picture sent: big enough for a notification, small on the bus.
  static constexpr int ImageSide = 320;

  explicit TDbusNotifier(QDBusConnection bus);
  ~TDbusNotifier() override;

  void notify(const TDesktopNotification& notification) override;
  void withdraw() override;
  void setOnAction(std::function<void(const std::string& key)> onAction) override {
    m_onAction = std::move(onAction);
  }

 private slots:
  void onActionInvoked(uint id, const QString& key);
  void onNotificationClosed(uint id, uint reason);

 private:
  void logError(const QString& name, const QString& message);

  QDBusConnection m_bus;
  // The server's number for the notification on screen, 0 for none; a withdraw asked before
  // the number came back is done when it comes.
  uint m_id = 0;
  bool m_waitingForId = false;
  bool m_withdrawWhenKnown = false;
  QString m_lastErrorName;
  std::function<void(const std::string&)> m_onAction;
};
