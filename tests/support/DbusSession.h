#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <string>
#include <vector>

// A private D-Bus session bus: dbus-daemon with a configuration of its own, listening on a
// socket file in a temporary folder (a file, not an abstract socket, so that a program in
// another network namespace reaches it too). The daemon ends with the object.
class TDbusSession {
 public:
  TDbusSession() = default;
  ~TDbusSession();
  TDbusSession(const TDbusSession&) = delete;
  TDbusSession& operator=(const TDbusSession&) = delete;

  // False, with the reason in error(), when dbus-daemon is missing or does not start.
  bool start();
  const std::string& error() const { return m_error; }
  // The value of DBUS_SESSION_BUS_ADDRESS for a client.
  QString address() const { return m_address; }
  // A connection of this process to the bus under its own name.
  QDBusConnection connect(const QString& name) const;

 private:
  QTemporaryDir m_dir;
  QProcess m_daemon;
  QString m_address;
  std::string m_error;
};

// What a notification server received in one Notify call.
struct TReceivedNotification {
  QString appName, icon, summary, body;
  uint replacesId = 0;
  QStringList actions;
  QVariantMap hints;
  int timeout = 0;
  // The image-data hint, decoded; 0 × 0 when there was none.
  int imageWidth = 0, imageHeight = 0, imageChannels = 0;
  QByteArray imageBytes;
};

// A small org.freedesktop.Notifications server on a bus that records what arrives and can press
// a notification's button.
class TNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  explicit TNotificationServer(QDBusConnection bus);
  ~TNotificationServer() override;
  bool registered() const { return m_registered; }

  std::vector<TReceivedNotification> received;
  std::vector<uint> closed;

  // Sends ActionInvoked for the notification numbered id.
  void pressAction(uint id, const QString& key);

 public slots:
  uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints,
              int timeout);
  void CloseNotification(uint id);
  QStringList GetCapabilities();

 private:
  QDBusConnection m_bus;
  bool m_registered = false;
  uint m_nextId = 1;
};

// A small org.freedesktop.ScreenSaver service that records the calls it receives.
class TScreenSaverService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
 public:
  explicit TScreenSaverService(QDBusConnection bus);
  ~TScreenSaverService() override;
  bool registered() const { return m_registered; }

  // "Inhibit:<reason>", "UnInhibit:<cookie>", "SimulateUserActivity", in order.
  QStringList calls;
  // Cookies given and not yet handed back.
  std::vector<uint> active;

 public slots:
  uint Inhibit(const QString& application, const QString& reason);
  void UnInhibit(uint cookie);
  void SimulateUserActivity();

 private:
  QDBusConnection m_bus;
  bool m_registered = false;
  uint m_nextCookie = 40;
};
