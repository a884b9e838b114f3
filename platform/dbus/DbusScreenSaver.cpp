#include "platform/dbus/DbusScreenSaver.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "base/LogSink.h"

TDbusScreenSaver::TDbusScreenSaver(QDBusConnection bus) : m_bus(std::move(bus)) {}

TDbusScreenSaver::~TDbusScreenSaver() {
  // Best effort: the service also ends an inhibition when our connection goes.
  uninhibit();
}

void TDbusScreenSaver::call(const QString& method, const QList<QVariant>& arguments,
                            std::function<void(const QDBusMessage&)> onReply) {
  QDBusMessage message = QDBusMessage::createMethodCall(Service, Path, Service, method);
  message.setArguments(arguments);
  auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, onReply = std::move(onReply)](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            if (reply.type() == QDBusMessage::ErrorMessage) {
              if (!m_errorLogged)
                debugLog("**** Screen saver not reached: " + reply.errorMessage().toStdString());
              m_errorLogged = true;
            }
            if (onReply) onReply(reply);
          });
}

void TDbusScreenSaver::inhibit(const std::string& reason) {
  if (m_wanted) return;
  m_wanted = true;
  if (m_haveCookie || m_waitingForCookie) return;
  m_waitingForCookie = true;
  call("Inhibit", {QString("Ostrel Stream"), QString::fromStdString(reason)},
       [this](const QDBusMessage& reply) {
         m_waitingForCookie = false;
         if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
         m_cookie = reply.arguments().first().toUInt();
         m_haveCookie = true;
         // Given back at once when the call ended while we waited for the cookie.
         if (!m_wanted) uninhibit();
       });
}

void TDbusScreenSaver::uninhibit() {
  m_wanted = false;
  if (!m_haveCookie) return;
  m_haveCookie = false;
  QDBusMessage message = QDBusMessage::createMethodCall(Service, Path, Service, "UnInhibit");
  message << m_cookie;
  m_bus.asyncCall(message);
}

void TDbusScreenSaver::wake() { call("SimulateUserActivity", {}, nullptr); }
