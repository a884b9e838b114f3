#pragma once

#include <string>
#include <vector>

// The texts a panel sends, in clear, before scrambling. Identities are given with "@" and
// written with "+", since "@" does not survive the scrambling.

// "start;LOGIN;PASSWORD;VIDEOPORT", then the identities given (called, then calling), each
// with "+" for "@". At most two identities.
std::string startMessage(const std::string& login, const std::string& password,
                         const std::string& videoPort, const std::vector<std::string>& identities);

// "ntmy;IP".
std::string ntmyMessage(const std::string& address);

inline constexpr const char* StopMessage = "stop";

// The distinct characters of `text` that the scrambling cannot map (they pass unchanged and
// the workstation reads them back wrongly), in order of first appearance.
std::string charactersOutsideAlphabet(const std::string& text);
