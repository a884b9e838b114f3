#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Journal.h"
#include "platform/Clock.h"

// Turns what happens to calls into journal rows: one row when a call arrives, then how long
// its video was watched, its first picture, the door and the voice message. The call being
// watched is the one whose panel the stream shows; a waiting call becomes it when the user
// picks it from the wait list.
//
// Thread contract: UI thread only. Ownership: borrows the journal and the clock.
class TCallJournal {
 public:
  using TToken = TJournal::TToken;
  // Milliseconds since the epoch, UTC.
  using TWallClock = std::function<std::int64_t()>;

  TCallJournal(TJournal& journal, const IClock& clock, TWallClock wallClock = {});

  // A call was judged; texts are UTF-8. A shown call becomes the watched one.
  TToken callArrived(const std::string& panel, const std::string& calling,
                     const std::string& called, EJournalOutcome outcome);
  // What the stream shows now (after every command and on the status tick): the watched call
  // ends when the stream stops or moves to another panel; a waiting call from the panel now
  // shown becomes the watched one.
  void followStream(bool streamWanted, const std::string& address);
  // A frame of the stream of that panel; the watched call keeps its first one.
  void frameShown(const std::string& address, const TJournalBytes& jpeg);
  // The call the door and the voice message belong to: the watched one, if any.
  std::optional<TToken> watchedCall() const;
  // A door command for the call ended: opened or not, and what the panel answered.
  void doorCommand(TToken call, bool opened, const std::string& relayResult);
  void voiceMessageSent(TToken call);
  void setMissed(TToken call, bool missed);

 private:
  struct TWatched {
    TToken token = 0;
    std::string address;
    std::chrono::steady_clock::time_point since;
    bool hasPicture = false;
  };
  struct TWaiting {
    TToken token = 0;
    std::string address;
  };
  void finishWatched();

  TJournal& m_journal;
  const IClock& m_clock;
  TWallClock m_wallClock;
  std::optional<TWatched> m_watched;
  // Calls on the wait list, oldest first; at most the list's own size is ever kept.
  std::vector<TWaiting> m_waiting;
};
