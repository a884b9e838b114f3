#include "signalling/CallAdmission.h"

#include <QLocale>
#include <algorithm>
#include <charconv>

#include "base/Text.h"
#include "core/DebugLog.h"

namespace {

// Texts of the log, Windows-1252.
const char* const CalledMatch = "+++ Identit\xE9 appel\xE9 match";
const char* const CalledMismatch = "*** Identit\xE9 appel\xE9 mismatch";
const char* const CalledNotConfigured =
    "+++ Identit\xE9 appel\xE9 non configur\xE9"
    "e";
const char* const CallingMatch = "+++ Identit\xE9 appelant match";
const char* const CallingMismatch = "*** Identit\xE9 appelant mismatch";
const char* const CallingNotConfigured =
    "+++ Identit\xE9 appelant non configur\xE9"
    "e";

const std::string& fieldOrEmpty(const std::vector<std::string>& fields, std::size_t index) {
  static const std::string empty;
  return index < fields.size() ? fields[index] : empty;
}

// Lower case, and "sip:user@host:port" reduced to "user@host". Other prefixes (sips:),
// parameters and display names stay: the comparison is meant to be exact apart from these.
std::string comparable(const std::string& identity) {
  std::string text = lowerAscii(identity);
  if (startsWith(text, "sip:")) {
    std::size_t second = text.find(':', 4);
    text = text.substr(4, second == std::string::npos ? std::string::npos : second - 4);
  }
  return text;
}

bool nearPair(char c, char d) {
  auto pair = [c, d](char a, char b) { return (c == a && d == b) || (c == b && d == a); };
  return pair('.', ',') || pair(':', ';') || pair('0', 'o');
}

// General format, up to 15 significant digits, with the given separator (to_chars ignores the
// C locale and always writes ".").
std::string formatConcordance(float concordance, const std::string& decimalSeparator) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(concordance),
                              std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  if (std::size_t point = text.find('.'); point != std::string::npos)
    text.replace(point, 1, decimalSeparator);
  return text;
}

// The score as a percentage of the longer text. Every step is rounded to single precision (the
// score, the quotient, the product), as the installers' figures are: 3 of 5 logs 60.0000038...
float identityConcordance(const std::string& configured, const std::string& received) {
  std::size_t shorter = std::min(configured.size(), received.size());
  std::size_t longer = std::max(configured.size(), received.size());
  // Two empty texts are equal: a perfect match, not a division by zero.
  if (longer == 0) return 100.0f;
  float score = 0;
  for (std::size_t i = 0; i < shorter; ++i) {
    char c = configured[i];
    char d = received[i];
    if (c >= '1' && c <= '9') {
      // A wrong digit weighs heavily: 100 and 101 are different extensions.
      score += d == c ? 1.0f : -5.0f;
    } else if (d == c) {
      score += 1.0f;
    } else if (nearPair(c, d)) {
      score += 0.75f;
    }
  }
  const float ratio = score / static_cast<float>(longer);
  return ratio * 100.0f;
}

}  // namespace

std::string systemDecimalSeparator() {
  return utf8ToCp1252(QLocale::system().decimalPoint().toStdString());
}

bool matchIdentity(const std::string& configured, const std::string& received,
                   const std::string& decimalSeparator) {
  std::string mine = comparable(configured);
  std::string theirs = comparable(received);
  float concordance = identityConcordance(mine, theirs);
  debugLog("****** Match concordance: " + formatConcordance(concordance, decimalSeparator));
  bool equal = mine == theirs;
  if (!equal && concordance >= 90.0f)
    debugLog("****** Near match identity, are you sure you typed it correctly ?");
  return equal;
}

TCallAdmission::TCallAdmission(const TAppSettings& settings, IStreamControl& streams,
                               IWaitList& waitList, std::string decimalSeparator)
    : m_settings(settings),
      m_streams(streams),
      m_waitList(waitList),
      m_decimalSeparator(std::move(decimalSeparator)) {}

EAdmission TCallAdmission::admitCall(const std::vector<std::string>& fields,
                                     const std::string& panelAddress) {
  if (fields.size() < 4) return EAdmission::Ignored;
  // Re-armed for every start, also one that is then ignored or rejected.
  m_streams.clearSnapDone();

  const bool streamWanted = m_streams.StreamWanted();
  if (streamWanted && panelAddress == m_streams.target().Address) return EAdmission::Ignored;

  const std::string& called = fieldOrEmpty(fields, 4);
  const std::string& calling = fieldOrEmpty(fields, 5);
  debugLog("Called ID: " + called);
  debugLog("Param  ID: " + m_settings.SIPID);
  debugLog("Caller ID: " + calling);

  if (!calledMatches(called)) return EAdmission::RejectedCalled;
  if (!callingMatches(calling)) return EAdmission::RejectedCalling;

  TStreamTarget target;
  target.Address = panelAddress;
  target.DisplayName = calling;
  target.Login = fields[1];
  target.Password = fields[2];
  target.Port = fields[3];

  if (streamWanted) {
    // Never switch away from the stream being watched: the user picks the caller later.
    if (m_settings.warningOnCall != 1) return EAdmission::DroppedWaitOff;
    if (m_waitList.WaitCount() >= IWaitList::MaxWaitCount) return EAdmission::DroppedWaitFull;
    m_waitList.addWaitItem(target);
    m_waitList.showWaitList();
    return EAdmission::Waited;
  }
  m_streams.stopStream();
  m_streams.setTarget(target);
  debugLog("Streaming Address: " + panelAddress);
  m_streams.launchStream();
  if (!m_streams.StreamWanted()) return EAdmission::NotStarted;
  m_waitList.callWatched(target);
  return EAdmission::Shown;
}

bool TCallAdmission::calledMatches(const std::string& called) const {
  if (m_settings.SIPID.empty()) {
    debugLog(CalledNotConfigured);
    return true;
  }
  if (matchIdentity(m_settings.SIPID, called, m_decimalSeparator)) {
    debugLog(CalledMatch);
    return true;
  }
  debugLog(CalledMismatch);
  return false;
}

bool TCallAdmission::callingMatches(const std::string& calling) const {
  if (m_settings.CallingList.empty()) {
    debugLog(CallingNotConfigured);
    return true;
  }
  bool matched = false;
  // Every entry is compared and logged, also after a match, so the log shows each score.
  for (const std::string& entry : splitFields(m_settings.CallingList, ';')) {
    if (matchIdentity(entry, calling, m_decimalSeparator)) {
      debugLog(CallingMatch);
      matched = true;
    }
  }
  if (!matched) debugLog(CallingMismatch);
  return matched;
}
