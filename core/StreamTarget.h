#pragma once

#include <string>

// One stream target: which panel to watch and how. Held by each wait-list entry, copied aside
// by the stream watchdog, and set on the decoder by every road into a stream.
struct TStreamTarget {
  std::string Address;      // the panel's IPv4 address or host name
  std::string DisplayName;  // the text shown over the video
  std::string Login;
  std::string Password;
  std::string Port;  // decimal text

  bool operator==(const TStreamTarget&) const = default;
};
