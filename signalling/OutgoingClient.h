#pragma once

#include <QObject>
#include <QTcpSocket>
#include <cstdint>
#include <functional>
#include <string>

#include "core/StreamControl.h"
#include "core/StreamRequests.h"
#include "signalling/ResetProbe.h"

// The client socket that asks a panel for its video: it sends "favstream" and
// the host's address in clear to the panel's signalling port and turns the panel's scrambled
// four-field "start" answer into a stream target. Only the first answer on a connection is
// used; a request is never repeated. Owned by the main window; UI thread only.
class TOutgoingClient : public QObject, public IStreamRequests {
  Q_OBJECT
 public:
  static constexpr std::uint16_t DefaultPort = 2201;
  // The most read as one answer; an answer is a few dozen bytes.
  static constexpr qint64 MaxAnswer = 64 * 1024;

  // streams: where the answer starts the video. hostIP: the workstation's address, asked at
  // every send. Both must outlive this object.
  TOutgoingClient(IStreamControl& streams, std::function<std::string()> hostIP,
                  QObject* parent = nullptr);
  ~TOutgoingClient() override;

  // The favourite button's request to the panel at target (an address or host name): a
  // connection still open, answered or not, is closed and a new one is opened.
  void favouriteRequest(const std::string& target) override;
  // The manual-stream command's request. Empty: nothing. While a connection is established and
  // unanswered, the request goes out again on that connection and address is not used.
  void manualRequest(const std::string& address) override;

  // Sends PendingCommand + ";" + HostIP, in clear and without terminator, on the connection.
  void CSocketSend();

  // Established and not yet closed; a pending attempt does not count.
  bool connected() const;
  const std::string& PendingCommand() const { return m_pendingCommand; }
  // The panel's signalling port (2201; tests point it at their own server).
  void setRemotePort(std::uint16_t port) { m_remotePort = port; }
  std::uint16_t remotePort() const { return m_remotePort; }
  // Told when a request came to nothing: unreachable (a connection error) or refused (an answer
  // that is not a stream). The handler may not destroy this client.
  void setOnFailure(std::function<void(bool unreachable)> handler) {
    m_onFailure = std::move(handler);
  }

 private:
  void open(const std::string& host);
  void onConnected();
  void onReadyRead();
  void onSocketError(QAbstractSocket::SocketError error);

  IStreamControl& m_streams;
  std::function<std::string()> m_hostIP;
  std::string m_pendingCommand;
  std::string m_remoteHost;
  std::uint16_t m_remotePort = DefaultPort;
  std::function<void(bool unreachable)> m_onFailure;
  QTcpSocket m_socket;
  TResetProbe m_resetProbe;  // declared after the socket: released before it goes
};
