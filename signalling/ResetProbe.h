#pragma once

#include <QtGlobal>

// Tells a connection reset by its peer from one the peer closed normally. Qt reports both as
// RemoteHostClosedError and closes its descriptor before saying so; this keeps a duplicate of
// the descriptor, whose TCP state survives Qt's close: a reset leaves it CLOSED, a normal close
// CLOSE_WAIT. The duplicate holds the connection open on our side, so release() must follow the
// socket's own close. Not copyable; UI thread only.
class TResetProbe {
 public:
  TResetProbe() = default;
  ~TResetProbe();
  TResetProbe(const TResetProbe&) = delete;
  TResetProbe& operator=(const TResetProbe&) = delete;

  // Watches the connected socket descriptor (replacing any earlier one). -1 watches nothing.
  void attach(qintptr descriptor);
  // True when the watched connection was reset by its peer.
  bool wasReset() const;
  // Closes the duplicate; the connection then ends on our side too.
  void release();

 private:
  int m_fd = -1;
};
