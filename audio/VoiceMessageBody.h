#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/AppSettings.h"

// Standard Base64 ("=" padding, no line breaks) of the whole content.
std::string encodeBase64(const std::string& bytes);

// The body the panel plays: {"type":"wav","data":"<base64>","loop":"1"}, without white space.
std::string voiceMessageBody(const std::string& base64);

// The elapsed recording time as the label shows it: two decimals, a point whatever the
// locale, and "s" ("3.27s").
std::string recordingClockText(std::chrono::steady_clock::duration elapsed);

// The panel a message goes to: the watched one while a stream is wanted, else the entry
// `priority` of `platines`; nothing when neither designates an address.
std::optional<std::string> voiceMessageTarget(const TAppSettings& settings, bool streamWanted,
                                              const std::string& watchedAddress);
