#pragma once

#include <string>
#include <vector>

#include "core/AppSettings.h"
#include "core/StreamControl.h"
#include "core/WaitQueue.h"

// The decimal separator of the user's numeric locale (LC_NUMERIC), in Windows-1252.
std::string systemDecimalSeparator();

// What became of one "start".
enum class EAdmission {
  Ignored,          // too short, or from the panel being watched: the same call going on
  RejectedCalled,   // the called identity did not match
  RejectedCalling,  // the calling identity did not match
  Waited,           // put on the wait list
  DroppedWaitOff,   // another stream is shown and the wait list is off
  DroppedWaitFull,  // another stream is shown and the wait list is full
  Shown,            // its stream was launched
  NotStarted,       // admitted, but the stream refused to start
};

// Decides what to do with one "start" notification: ignore it (it comes from the panel being
// watched), reject it (the called or calling SIP identity does not match the settings), put it
// on the wait list (another stream is shown), or watch it now. Keeps no state between calls:
// every notification is judged afresh. The settings, the stream control and the wait list are
// not owned and must outlive this object. UI thread only.
class TCallAdmission {
 public:
  // decimalSeparator: how the logged concordance writes its fraction (the user's locale).
  TCallAdmission(const TAppSettings& settings, IStreamControl& streams, IWaitList& waitList,
                 std::string decimalSeparator = systemDecimalSeparator());

  // fields: the unscrambled "start" message from field 0 on, "+" already turned into "@" in
  // fields 4 and 5; at least 4 fields (fewer are ignored). panelAddress: the remote address of
  // the connection that carried it.
  EAdmission admitCall(const std::vector<std::string>& fields, const std::string& panelAddress);

 private:
  bool calledMatches(const std::string& called) const;
  bool callingMatches(const std::string& calling) const;

  const TAppSettings& m_settings;
  IStreamControl& m_streams;
  IWaitList& m_waitList;
  std::string m_decimalSeparator;
};

// Compares a configured SIP identity with a received one, ignoring letter case and a "sip:"
// prefix (with the port after it). Also logs a similarity score, which only helps an installer
// spot a mistyped identity; it never decides the result.
// The score is logged with decimalSeparator between its whole and fractional parts.
bool matchIdentity(const std::string& configured, const std::string& received,
                   const std::string& decimalSeparator = systemDecimalSeparator());
