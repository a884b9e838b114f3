#include "platform/SocketErrors.h"

int winsockCode(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return 10061;
    case QAbstractSocket::SocketAddressNotAvailableError:
      return 10049;
    case QAbstractSocket::SocketTimeoutError:
      return 10060;
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::HostNotFoundError:
      return 10065;
    case QAbstractSocket::RemoteHostClosedError:
      return 10054;
    case QAbstractSocket::OperationError:
      return 10057;
    default:
      return 10053;
  }
}
