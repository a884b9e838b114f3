#include "net/NetworkWait.h"

#include "net/AdapterInfo.h"
#include "net/InterfaceCheck.h"

TNetworkWait::TNetworkWait(const INetInterfaces& net, const IClock& clock)
    : m_net(net), m_clock(clock), m_since(clock.steadyNow()) {}

TNetworkWait::EState TNetworkWait::poll() {
  m_hostIP = getHostIP(m_net);
  if (isUsableHostIP(m_hostIP)) return EState::Ready;
  return m_clock.steadyNow() - m_since >= Limit ? EState::GaveUp : EState::Waiting;
}
