#pragma once

#include <QAbstractSocket>

// The Winsock code that panels' installers know from the log, for a Qt socket error.
int winsockCode(QAbstractSocket::SocketError error);
