#pragma once

#include <QDBusConnection>
#include <QObject>
#include <string>

#include "platform/ScreenSaver.h"

// The screen saver through org.freedesktop.ScreenSaver on a D-Bus bus: Inhibit/UnInhibit with
// the cookie the service gives, SimulateUserActivity to wake the screen. Asynchronous; a
// missing service is logged once and then ignored.
//
// Thread contract: UI thread only.
class TDbusScreenSaver final : public QObject, public IScreenSaver {
  Q_OBJECT
 public:
  static constexpr const char* Service = "org.freedesktop.ScreenSaver";
  static constexpr const char* Path = "/org/freedesktop/ScreenSaver";

  explicit TDbusScreenSaver(QDBusConnection bus);
  ~TDbusScreenSaver() override;

  void inhibit(const std::string& reason) override;
  void uninhibit() override;
  void wake() override;

 private:
  void call(const QString& method, const QList<QVariant>& arguments,
            std::function<void(const QDBusMessage&)> onReply);

  QDBusConnection m_bus;
  // Asked for (true from inhibit to uninhibit), and the cookie once the service gave it.
  bool m_wanted = false;
  bool m_waitingForCookie = false;
  uint m_cookie = 0;
  bool m_haveCookie = false;
  bool m_errorLogged = false;
};
