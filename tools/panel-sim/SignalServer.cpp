#include "tools/panel-sim/SignalServer.h"

#include <chrono>

#include "base/Text.h"
#include "base/Vigenere.h"
#include "tools/panel-sim/SimLog.h"

namespace {

// The request is one short line sent right after connecting.
constexpr std::chrono::milliseconds RequestWait{5000};
constexpr std::size_t MaxRequest = 4096;

}  // namespace

void serveSignalClient(TFd client, const sockaddr_in& peer, const std::string& clearAnswer,
                       const TStopSignal& stop) {
  const std::string who = "signal: " + endpointText(peer);
  const std::string request = receiveSome(client.get(), RequestWait, MaxRequest, stop.fd());
  if (request.empty()) {
    logLine(who + " sent nothing");
    return;
  }
  // A line end is not part of the grammar, but a person typing into nc sends one.
  std::string text = request;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  auto fields = splitFields(text, ';');
  if (fields[0] != "favstream") {
    logLine(who + " sent " + request + ": ignored");
    finishConnection(client.get(), RequestWait, stop.fd());
    return;
  }
  const std::string answer = cipherPass(clearAnswer);
  if (!sendAll(client.get(), answer, stop.fd())) {
    logLine(who + " asked " + text + " and went away before the answer");
    return;
  }
  logLine(who + " asked " + text + "; answered " + clearAnswer + " (" +
          std::to_string(answer.size()) + " bytes scrambled)");
  // The workstation closes after the first answer; closing first could reset the connection
  // over bytes it sent that we did not read, and lose the answer.
  finishConnection(client.get(), RequestWait, stop.fd());
}
