#pragma once

#include <string>
#include <vector>

// What the notification listener needs from the rest of the program. Implemented by the main
// window (which delegates) and by test fakes. Called on the UI thread only.
class IListenerHost {
 public:
  virtual ~IListenerHost() = default;
  // A "start" of at least 4 fields, "+" already turned into "@" in fields 4 and 5.
  virtual void admitCall(const std::vector<std::string>& fields,
                         const std::string& panelAddress) = 0;
  virtual void minimizeMainWindow() = 0;
  // Address of the current (or last) stream's panel.
  virtual std::string decoderAddress() const = 0;
  virtual void stopStream() = 0;
  // After every "stop": the call from that panel has ended; wasWatched when it was the stream
  // being watched (stopped just before). Nothing by default.
  virtual void callEnded(const std::string& address, bool wasWatched) {
    (void)address;
    (void)wasWatched;
  }
  virtual std::string hostIP() const = 0;
  virtual void addSniffedIP(const std::string& address) = 0;
};
