#pragma once

#include <string>

// The stream commands' road to the panels: ask a panel (port 2201) for its stream. The panel's
// answer comes back as a target and a launchStream. Implemented by the outgoing client.
// UI thread only.
class IStreamRequests {
 public:
  virtual ~IStreamRequests() = default;
  virtual void favouriteRequest(const std::string& address) = 0;
  // Does nothing for an empty address.
  virtual void manualRequest(const std::string& address) = 0;
};
