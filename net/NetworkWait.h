#pragma once

#include <chrono>
#include <string>

#include "platform/Clock.h"
#include "platform/NetInterfaces.h"

// Started with the session, the program may come up before the network: this says, each time
// it is asked, whether the host has a usable address yet, and when to stop waiting for one.
// The interface table and the clock are borrowed and must outlive this object. UI thread.
class TNetworkWait {
 public:
  static constexpr std::chrono::seconds Limit{60};
  enum class EState { Ready, Waiting, GaveUp };

  TNetworkWait(const INetInterfaces& net, const IClock& clock);

  // Ready as soon as the host's address is usable, GaveUp once Limit has passed since this
  // object was made without one, Waiting in between.
  EState poll();
  // The address found by the last poll.
  const std::string& hostIP() const { return m_hostIP; }

 private:
  const INetInterfaces& m_net;
  const IClock& m_clock;
  std::chrono::steady_clock::time_point m_since;
  std::string m_hostIP;
};
