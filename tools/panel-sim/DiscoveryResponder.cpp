#include "tools/panel-sim/DiscoveryResponder.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "base/Text.h"
#include "tools/panel-sim/Messages.h"
#include "tools/panel-sim/Notify.h"
#include "tools/panel-sim/SimLog.h"

namespace {

// A broadcast every ten seconds per workstation interface, plus unicasts: a handful at once is
// plenty, and a flood of datagrams must not become a flood of threads.
constexpr std::size_t MaxAnswers = 16;

// Shows a datagram on one line whatever bytes it holds.
std::string printable(const std::string& bytes) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 32 || c >= 127 || c == '\\') {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::optional<in_addr> parseDiscoveryDatagram(const std::string& payload) {
  std::string text = payload;
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
    text.resize(text.size() - 2);
  auto fields = splitFields(text, ';');
  if (fields.size() != 2 || fields[1] != "streamer") return std::nullopt;
  return parseIpv4(fields[0]);
}

TDiscoveryResponder::TDiscoveryResponder(const in_addr& bind, std::uint16_t port,
                                         std::uint16_t notifyPort, std::optional<in_addr> announce,
                                         std::optional<in_addr> source, const TStopSignal& stop)
    : m_notifyPort(notifyPort),
      m_announce(announce),
      m_source(source),
      m_stop(stop),
      m_socket(bindUdp(bind, port)) {}

TDiscoveryResponder::~TDiscoveryResponder() {
  if (m_receiver.joinable()) m_receiver.join();
}

sockaddr_in TDiscoveryResponder::endpoint() const { return localEndpoint(m_socket.get()); }

void TDiscoveryResponder::start() {
  m_receiver = std::thread([this] { receiveLoop(); });
}

void TDiscoveryResponder::receiveLoop() {
  std::string buffer(2048, '\0');
  while (!m_stop.stopped()) {
    pollfd p[2] = {{m_socket.get(), POLLIN, 0}, {m_stop.fd(), POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents & POLLIN) return;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    ssize_t n = ::recvfrom(m_socket.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) continue;
    const std::string payload = buffer.substr(0, static_cast<std::size_t>(n));
    auto workstation = parseDiscoveryDatagram(payload);
    if (!workstation) {
      logLine("discovery: ignored \"" + printable(payload) + "\" from " + endpointText(from));
      continue;
    }
    logLine("discovery: \"" + printable(payload) + "\" from " + endpointText(from));
    const in_addr target = *workstation;
    if (!m_answers.launch([this, target] { answer(target); }, MaxAnswers))
      logLine("discovery: too many answers under way, \"" + printable(payload) + "\" dropped");
  }
}

void TDiscoveryResponder::answer(const in_addr& workstation) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr = workstation;
  to.sin_port = htons(m_notifyPort);
  try {
    TFd fd = connectWorkstation(to, m_source, m_stop.fd());
    // Without an address to announce, the one the workstation sees us connect from is ours.
    const std::string own = ipText(m_announce ? *m_announce : localEndpoint(fd.get()).sin_addr);
    const std::string reply = notifyOn(fd.get(), to, ntmyMessage(own), true, m_stop.fd());
    logLine("discovery: workstation " + endpointText(to) +
            (reply.empty() ? " did not reply" : " replied " + reply));
  } catch (const ENetError& e) {
    errorLine("discovery: " + std::string(e.what()));
  }
}
