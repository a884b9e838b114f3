#include "platform/dbus/DbusNotifier.h"

#include <QBuffer>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QImage>
#include <QStringList>
#include <QVariantMap>
#include <optional>

#include "base/LogSink.h"

namespace {

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, bytes.
struct TDbusImage {
  int width = 0;
  int height = 0;
  int rowStride = 0;
  bool hasAlpha = false;
  int bitsPerSample = 8;
  int channels = 3;
  QByteArray data;
};

QDBusArgument& operator<<(QDBusArgument& out, const TDbusImage& image) {
  out.beginStructure();
  out << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
      << image.channels << image.data;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, TDbusImage& image) {
  in.beginStructure();
  in >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample >>
      image.channels >> image.data;
  in.endStructure();
  return in;
}

}  // namespace

Q_DECLARE_METATYPE(TDbusImage)

namespace {

// The first picture, decoded and made small enough for a notification; nothing when it cannot
// be decoded.
std::optional<TDbusImage> imageHint(const std::vector<unsigned char>& jpeg) {
  if (jpeg.empty()) return std::nullopt;
  QImage picture;
  if (!picture.loadFromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG"))
    return std::nullopt;
  if (picture.width() > TDbusNotifier::ImageSide || picture.height() > TDbusNotifier::ImageSide)
    picture = picture.scaled(TDbusNotifier::ImageSide, TDbusNotifier::ImageSide,
                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
  picture = picture.convertToFormat(QImage::Format_RGB888);
  TDbusImage image;
  image.width = picture.width();
  image.height = picture.height();
  image.rowStride = static_cast<int>(picture.bytesPerLine());
  image.data = QByteArray(reinterpret_cast<const char*>(picture.constBits()),
                          static_cast<qsizetype>(picture.sizeInBytes()));
  return image;
}

QString utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TDbusNotifier::TDbusNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {
  qDBusRegisterMetaType<TDbusImage>();
  // Any sender: the server answers from its unique name, not from the well-known one.
  m_bus.connect(QString(), Path, Service, "ActionInvoked", this,
                SLOT(onActionInvoked(uint, QString)));
  m_bus.connect(QString(), Path, Service, "NotificationClosed", this,
                SLOT(onNotificationClosed(uint, uint)));
}

TDbusNotifier::~TDbusNotifier() {
  m_bus.disconnect(QString(), Path, Service, "ActionInvoked", this,
                   SLOT(onActionInvoked(uint, QString)));
  m_bus.disconnect(QString(), Path, Service, "NotificationClosed", this,
                   SLOT(onNotificationClosed(uint, uint)));
}

void TDbusNotifier::notify(const TDesktopNotification& notification) {
  QStringList actions;
  for (const auto& [key, label] : notification.actions) actions << utf8(key) << utf8(label);
  QVariantMap hints;
  // A visitor at the door does not time out: critical notifications stay until dismissed.
  hints.insert("urgency", QVariant::fromValue(static_cast<uchar>(2)));
  hints.insert("desktop-entry", QString("ostrel-stream"));
  if (auto image = imageHint(notification.jpeg))
    hints.insert("image-data", QVariant::fromValue(*image));
  QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, "Notify");
  call << QString("Ostrel Stream") << m_id << QString("ostrel-stream") << utf8(notification.summary)
       << utf8(notification.body) << actions << hints << -1;
  m_waitingForId = true;
  m_withdrawWhenKnown = false;
  auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    QDBusPendingReply<uint> reply = *w;
    m_waitingForId = false;
    if (reply.isError()) {
      logError(reply.error().name(), reply.error().message());
      return;
    }
    m_id = reply.value();
    if (m_withdrawWhenKnown) withdraw();
  });
}

void TDbusNotifier::withdraw() {
  if (m_waitingForId) {
    m_withdrawWhenKnown = true;
    return;
  }
  if (m_id == 0) return;
  QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, "CloseNotification");
  call << m_id;
  m_id = 0;
  m_bus.asyncCall(call);
}

void TDbusNotifier::onActionInvoked(uint id, const QString& key) {
  if (id == 0 || id != m_id) return;
  if (m_onAction) m_onAction(key.toStdString());
}

void TDbusNotifier::onNotificationClosed(uint id, uint reason) {
  (void)reason;
  if (id == m_id) m_id = 0;
}

void TDbusNotifier::logError(const QString& name, const QString& message) {
  if (name == m_lastErrorName) return;
  m_lastErrorName = name;
  debugLog("**** Desktop notification not shown: " + message.toStdString());
}
