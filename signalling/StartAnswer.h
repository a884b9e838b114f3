#pragma once

#include <optional>
#include <string>

#include "core/StreamTarget.h"

// What a panel answered to "favstream", read on its own (no socket) so that any bytes a panel
// sends can be checked in isolation.
struct TStartAnswer {
  bool saysStart = false;               // the first field, unscrambled, is "start"
  std::optional<TStreamTarget> target;  // set only for "start" with exactly four fields
};

// received: the bytes as they came, scrambled. remote: the panel's address, which becomes the
// target's address and the name shown (no SIP identity comes with this answer).
TStartAnswer readStartAnswer(const std::string& received, const std::string& remote);
