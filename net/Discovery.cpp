#include "net/Discovery.h"

#include <QHostInfo>
#include <algorithm>
#include <stdexcept>

#include "base/Text.h"
#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "core/UiTexts.h"
#include "platform/SocketErrors.h"

namespace {

constexpr int kAddressNotAvailable = 10049;
constexpr int kNotConnected = 10057;

// Raised inside one interface's step of a pass; the pass logs it and goes on.
class EBroadcastFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The unicast destination for one entry of platines. Null when the entry names no usable IPv4
// destination; errorCode then says why.
QHostAddress resolveDestination(const std::string& entry, int& errorCode) {
  errorCode = kAddressNotAvailable;
  // An empty entry stands for 0.0.0.0, which names no host: it is reported as an address not
  // available, since Linux would deliver a datagram sent there to ourselves.
  if (entry.empty()) return {};
  QHostAddress address;
  if (entry[0] >= '0' && entry[0] <= '9') {
    if (!address.setAddress(
            QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size()))))
      return {};
  } else {
    QHostInfo info = QHostInfo::fromName(QString::fromStdString(cp1252ToUtf8(entry)));
    for (const QHostAddress& candidate : info.addresses()) {
      if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
        address = candidate;
        break;
      }
    }
    if (address.isNull()) {
      errorCode = winsockCode(QAbstractSocket::HostNotFoundError);
      return {};
    }
  }
  if (address.protocol() != QAbstractSocket::IPv4Protocol || address == QHostAddress::AnyIPv4)
    return {};
  return address;
}

}  // namespace

void TSniffedIPs::add(const std::string& address) {
  auto at = std::lower_bound(m_items.begin(), m_items.end(), address);
  if (at != m_items.end() && *at == address) return;
  m_items.insert(at, address);
}

void TSniffedIPs::clear() { m_items.clear(); }

bool TSniffedIPs::contains(const std::string& address) const {
  return std::binary_search(m_items.begin(), m_items.end(), address);
}

TDiscovery::TDiscovery(const TAppSettings& settings, const TNetworkState& network, ILedView& led)
    : m_settings(settings), m_network(network), m_led(led) {}

TDiscovery::~TDiscovery() { m_unicast.abort(); }

void TDiscovery::BCast() {
  for (std::size_t i = 0; i < m_network.BroadcastAddresses.size(); ++i) {
    // One socket per interface step, closed whatever happens in it.
    QUdpSocket broadcast;
    try {
      // The lists are parallel; a missing interface entry fails this step only.
      const std::string& address = m_network.InterfaceAddresses.at(i);
      debugLog(address + " is sending broadcast " + m_network.BroadcastAddresses[i]);

      QHostAddress local;
      if (!local.setAddress(
              QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size()))) ||
          local.protocol() != QAbstractSocket::IPv4Protocol)
        throw EBroadcastFailed("not an IPv4 address");
      // Address reuse, so that the port can be bound again at every pass and beside a panel
      // simulator listening on the same host.
      if (!broadcast.bind(local, DiscoveryPort,
                          QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint))
        throw EBroadcastFailed(broadcast.errorString().toStdString());
      const std::string announce = address + ";streamer";
      const auto size = static_cast<qint64>(announce.size());
      // Qt allows broadcasting on every UDP socket it creates.
      if (broadcast.writeDatagram(announce.data(), size, QHostAddress::Broadcast, DiscoveryPort) !=
          size)
        throw EBroadcastFailed(broadcast.errorString().toStdString());

      const std::string unicast = announce + "\r\n";
      for (const std::string& entry : splitFields(m_settings.platines, ';')) {
        debugLog("Beta: Sending UNICAST to " + entry);
        sendUnicast(entry, unicast);
      }
    } catch (const std::exception&) {
      debugLog(std::to_string(i) + " out of range");
    }
    broadcast.close();
    debugLog("Broadcast sent");
  }
}

void TDiscovery::openUnicast(const std::string& destination) {
  m_unicast.abort();
  m_unicastDestination = destination;
  m_unicastAddress.clear();
  int errorCode = 0;
  QHostAddress address = resolveDestination(destination, errorCode);
  if (address.isNull()) {
    onUdpSocketError(errorCode);
    return;
  }
  if (!m_unicast.bind(QHostAddress::AnyIPv4, 0)) {
    onUdpSocketError(winsockCode(m_unicast.error()));
    return;
  }
  m_unicastAddress = address;
}

void TDiscovery::sendUnicast(const std::string& destination, const std::string& payload) {
  // A destination that could not be opened is tried again rather than kept broken.
  if (destination != m_unicastDestination || m_unicastAddress.isNull()) openUnicast(destination);
  if (m_unicastAddress.isNull()) {
    onUdpSocketError(kNotConnected);
    return;
  }
  const auto size = static_cast<qint64>(payload.size());
  if (m_unicast.writeDatagram(payload.data(), size, m_unicastAddress, DiscoveryPort) != size)
    onUdpSocketError(winsockCode(m_unicast.error()));
}

void TDiscovery::onUdpSocketError(int code) {
  std::string suffix;
  if (code == kAddressNotAvailable)
    suffix =
        " [WSAEADDRNOTAVAIL] Cannot bind address, make sure you selected a valid interface in "
        "Tools/ Settings/ Preferences/ Network Interface(s)";
  else if (code == kNotConnected)
    suffix =
        " [WSAENOTCONN] Cannot send datagram on not connected socket. Please, check your network "
        "configuration.";
  debugLog("Socket error: " + std::to_string(code) + suffix);
}

void TDiscovery::onDiscoveryTick() {
  if (m_tickCounter == 1) {
    m_tickCounter = 0;
    debugLog("******* clear sniffedIP *******");
    m_sniffedIPs.clear();
  } else {
    ++m_tickCounter;
  }
  BCast();
}

void TDiscovery::ledStep() {
  if (m_sniffedIPs.empty()) {
    if (m_led.ledHint() != UiTexts.hintNoDoorphone) {
      // The counter is reset only when the LED turns on, so the empty ticks need not follow
      // each other.
      if (m_ledDelay > 4) {
        m_led.setLedIcon(false);
        m_led.setLedHint(UiTexts.hintNoDoorphone);
      } else {
        ++m_ledDelay;
      }
    }
  } else if (m_led.ledHint() != UiTexts.hintDoorphoneDetected) {
    debugLog("Switching LED");
    m_led.setLedIcon(true);
    m_led.setLedHint(UiTexts.hintDoorphoneDetected);
    m_ledDelay = 0;
  }
}
