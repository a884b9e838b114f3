#pragma once

#include <string>
#include <vector>

#include "core/AppSettings.h"
#include "core/StreamControl.h"
#include "core/WaitQueue.h"

// Decides what to do with one "start" notification: ignore it (it comes from the panel being
// watched), reject it (the called or calling SIP identity does not match the settings), put it
// on the wait list (another stream is shown), or watch it now. Keeps no state between calls:
// every notification is judged afresh. The settings, the stream control and the wait list are
// not owned and must outlive this object. UI thread only.
class TCallAdmission {
 public:
  TCallAdmission(const TAppSettings& settings, IStreamControl& streams, IWaitList& waitList);

  // fields: the unscrambled "start" message from field 0 on, "+" already turned into "@" in
  // fields 4 and 5; at least 4 fields (fewer are ignored). panelAddress: the remote address of
  // the connection that carried it.
  void admitCall(const std::vector<std::string>& fields, const std::string& panelAddress);

 private:
  bool calledMatches(const std::string& called) const;
  bool callingMatches(const std::string& calling) const;

  const TAppSettings& m_settings;
  IStreamControl& m_streams;
  IWaitList& m_waitList;
};

// Compares a configured SIP identity with a received one, ignoring letter case and a "sip:"
// prefix (with the port after it). Also logs a similarity score, which only helps an installer
// spot a mistyped identity; it never decides the result.
bool matchIdentity(const std::string& configured, const std::string& received);
