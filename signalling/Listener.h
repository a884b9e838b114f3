#pragma once

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "core/AppSettings.h"
#include "signalling/ListenerHost.h"
#include "signalling/ResetProbe.h"

// The listening socket on TCP 2201: panels' notifications arrive here,
// scrambled, one message per read. Lives on the UI thread.
class TNotificationListener : public QObject {
  Q_OBJECT
 public:
  static constexpr std::uint16_t DefaultPort = 2201;
  // Bounds that keep one LAN host from exhausting our descriptors or memory.
  static constexpr int MaxConnections = 256;
  static constexpr qint64 MaxMessage = 64 * 1024;
  // After a read reaches MaxMessage, the rest of that send is discarded until the connection
  // has been silent this long.
  static constexpr std::chrono::milliseconds OversizeQuiet{200};

  // settings: startMinimized is read at every "stop".
  TNotificationListener(IListenerHost& host, const TAppSettings& settings,
                        QObject* parent = nullptr);
  ~TNotificationListener() override;

  // Activates the listener on all IPv4 addresses. False when the port cannot be opened.
  bool activate(std::uint16_t port = DefaultPort);
  // Closes the listening socket and every connection.
  void deactivate();
  bool active() const;
  std::uint16_t port() const;
  int connectionCount() const;

  // How long a silent connection is kept (30 s; tests shorten it).
  void setIdleTimeout(std::chrono::milliseconds timeout);

  // The message handling of one read: unscramble, split, dispatch. Public for the fuzz target.
  void handleMessage(const std::string& text, const std::string& remoteAddress,
                     QTcpSocket* connection);

 private:
  struct TConnection {
    QTcpSocket* socket;
    std::chrono::steady_clock::time_point lastActive;  // when bytes last arrived
    bool discarding = false;                           // the tail of an oversized send
    std::unique_ptr<TResetProbe> resetProbe;
  };

  void onNewConnection();
  void onReadyRead(QTcpSocket* socket);
  void onSocketError(QTcpSocket* socket, QAbstractSocket::SocketError error);
  void dropConnection(QTcpSocket* socket);
  void closeIdle();
  void makeRoom();

  IListenerHost& m_host;
  const TAppSettings& m_settings;
  QTcpServer m_server;
  std::list<TConnection> m_connections;  // oldest first
  QTimer m_idleSweep;
  std::chrono::milliseconds m_idleTimeout{30000};
};
