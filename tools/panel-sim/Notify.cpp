#include "tools/panel-sim/Notify.h"

#include "base/TimingMark.h"
#include "base/Vigenere.h"
#include "tools/panel-sim/Messages.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/SimLog.h"

namespace {

// Long enough for a busy workstation on a LAN, short enough that a wrong address is told soon.
constexpr std::chrono::milliseconds ConnectWait{5000};

// Enough for any answer a workstation gives ("probing;" and an address).
constexpr std::size_t MaxReply = 4096;

}  // namespace

TFd connectWorkstation(const sockaddr_in& to, const std::optional<in_addr>& from, int stopFd) {
  return connectTcp(to, from, ConnectWait, stopFd);
}

std::string notifyOn(int fd, const sockaddr_in& to, const std::string& clearText, bool awaitReply,
                     int stopFd, TReport report) {
  const std::string scrambled = cipherPass(clearText);
  // One send: the workstation takes whatever is waiting as one message.
  timingMark("notification-sent");
  if (!sendAll(fd, scrambled, stopFd))
    throw ENetError("sending to " + endpointText(to) + " failed");
  report("sent " + clearText + " to " + endpointText(to) + " from " +
         endpointText(localEndpoint(fd)) + " (" + std::to_string(scrambled.size()) +
         " bytes scrambled)");
  if (!awaitReply) return {};
  return receiveSome(fd, ReplyWait, MaxReply, stopFd);
}

std::string sendNotification(const sockaddr_in& to, const std::optional<in_addr>& from,
                             const std::string& clearText, bool awaitReply, int stopFd,
                             TReport report) {
  TFd fd = connectWorkstation(to, from, stopFd);
  return notifyOn(fd.get(), to, clearText, awaitReply, stopFd, report);
}

int runNotify(const TNotifyOptions& options) {
  if (options.verb != "raw") {
    std::string outside = charactersOutsideAlphabet(options.clearText);
    if (!outside.empty())
      errorLine("warning: \"" + outside +
                "\" cannot be scrambled and is sent unchanged; the workstation will misread it");
  }
  try {
    sockaddr_in to = resolveIpv4(options.to.host, options.to.port);
    std::string reply =
        sendNotification(to, options.from, options.clearText, options.awaitReply, -1, errorLine);
    if (options.awaitReply) {
      if (reply.empty())
        errorLine("no reply from the workstation within 2 s");
      else
        logLine(reply);
    }
    return 0;
  } catch (const ENetError& e) {
    errorLine(std::string("workstation not reachable: ") + e.what());
    return 1;
  }
}
