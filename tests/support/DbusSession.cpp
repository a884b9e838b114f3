#include "tests/support/DbusSession.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <algorithm>

TDbusSession::~TDbusSession() {
  if (m_daemon.state() != QProcess::NotRunning) {
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000)) m_daemon.kill();
    m_daemon.waitForFinished(5000);
  }
}

bool TDbusSession::start() {
  if (!m_dir.isValid()) {
    m_error = "no temporary folder";
    return false;
  }
  const QString socket = m_dir.filePath("bus");
  const QString config = m_dir.filePath("session.conf");
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) {
    m_error = "cannot write " + config.toStdString();
    return false;
  }
  // Anonymous clients too: a program run in a user namespace of its own shows another uid.
  file.write(
      "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
      "<busconfig>\n  <type>session</type>\n  <listen>unix:path=" +
      socket.toUtf8() +
      "</listen>\n  <auth>EXTERNAL</auth>\n  <auth>ANONYMOUS</auth>\n  <allow_anonymous/>\n"
      "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
      "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n    <allow user=\"*\"/>\n"
      "  </policy>\n</busconfig>\n");
  file.close();
  m_daemon.setProgram("dbus-daemon");
  m_daemon.setArguments({"--config-file=" + config, "--nofork", "--nopidfile", "--print-address"});
  m_daemon.start();
  if (!m_daemon.waitForStarted(10000)) {
    m_error = "dbus-daemon did not start: " + m_daemon.errorString().toStdString();
    return false;
  }
  QDeadlineTimer deadline(30000);
  while (!m_daemon.canReadLine() && !deadline.hasExpired() && m_daemon.state() == QProcess::Running)
    m_daemon.waitForReadyRead(200);
  const QString line = QString::fromUtf8(m_daemon.readLine()).trimmed();
  if (line.isEmpty()) {
    m_error = "dbus-daemon gave no address: " + m_daemon.readAllStandardError().toStdString();
    return false;
  }
  m_address = line;
  return true;
}

QDBusConnection TDbusSession::connect(const QString& name) const {
  return QDBusConnection::connectToBus(m_address, name);
}

TNotificationServer::TNotificationServer(QDBusConnection bus) : m_bus(std::move(bus)) {
  m_registered = m_bus.registerObject("/org/freedesktop/Notifications", this,
                                      QDBusConnection::ExportAllSlots) &&
                 m_bus.registerService("org.freedesktop.Notifications");
}

TNotificationServer::~TNotificationServer() {
  m_bus.unregisterService("org.freedesktop.Notifications");
  m_bus.unregisterObject("/org/freedesktop/Notifications");
}

uint TNotificationServer::Notify(const QString& appName, uint replacesId, const QString& icon,
                                 const QString& summary, const QString& body,
                                 const QStringList& actions, const QVariantMap& hints,
                                 int timeout) {
  TReceivedNotification n;
  n.appName = appName;
  n.icon = icon;
  n.summary = summary;
  n.body = body;
  n.replacesId = replacesId;
  n.actions = actions;
  n.hints = hints;
  n.timeout = timeout;
  if (hints.contains("image-data")) {
    const QDBusArgument argument = hints.value("image-data").value<QDBusArgument>();
    int stride = 0, bits = 0;
    bool alpha = false;
    argument.beginStructure();
    argument >> n.imageWidth >> n.imageHeight >> stride >> alpha >> bits >> n.imageChannels >>
        n.imageBytes;
    argument.endStructure();
  }
  received.push_back(n);
  return replacesId != 0 ? replacesId : m_nextId++;
}

void TNotificationServer::CloseNotification(uint id) {
  closed.push_back(id);
  QDBusMessage signal = QDBusMessage::createSignal(
      "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "NotificationClosed");
  signal << id << uint(3);
  m_bus.send(signal);
}

QStringList TNotificationServer::GetCapabilities() { return {"actions", "body", "body-images"}; }

void TNotificationServer::pressAction(uint id, const QString& key) {
  QDBusMessage signal = QDBusMessage::createSignal(
      "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
  signal << id << key;
  m_bus.send(signal);
}

TScreenSaverService::TScreenSaverService(QDBusConnection bus) : m_bus(std::move(bus)) {
  m_registered =
      m_bus.registerObject("/org/freedesktop/ScreenSaver", this, QDBusConnection::ExportAllSlots) &&
      m_bus.registerService("org.freedesktop.ScreenSaver");
}

TScreenSaverService::~TScreenSaverService() {
  m_bus.unregisterService("org.freedesktop.ScreenSaver");
  m_bus.unregisterObject("/org/freedesktop/ScreenSaver");
}

uint TScreenSaverService::Inhibit(const QString& application, const QString& reason) {
  (void)application;
  calls << "Inhibit:" + reason;
  active.push_back(m_nextCookie);
  return m_nextCookie++;
}

void TScreenSaverService::UnInhibit(uint cookie) {
  calls << "UnInhibit:" + QString::number(cookie);
  active.erase(std::remove(active.begin(), active.end(), cookie), active.end());
}

void TScreenSaverService::SimulateUserActivity() { calls << "SimulateUserActivity"; }
