#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What became of a call when it arrived. The stored names (journalOutcomeName) never change:
// old journals and exported files keep meaning the same.
enum class EJournalOutcome {
  Shown,            // its video was opened at once
  Waited,           // put on the wait list while another panel was shown
  RejectedCalled,   // the called identity did not match
  RejectedCalling,  // the calling identity did not match
  DroppedWaitOff,   // another panel was shown and the wait list is off
  DroppedWaitFull,  // another panel was shown and the wait list was full
  NotStarted,       // admitted, but the stream could not start (no interface configured)
};

const char* journalOutcomeName(EJournalOutcome outcome);
std::optional<EJournalOutcome> journalOutcomeFromName(const std::string& name);

// One call as it is first written.
struct TJournalEntry {
  std::int64_t ringTimeMs = 0;  // milliseconds since the epoch, UTC
  std::string day;              // the local day of the ring, "YYYY-MM-DD"
  std::string panel;            // the panel's address
  std::string calling;
  std::string called;
  EJournalOutcome outcome = EJournalOutcome::Shown;
};

// What a call learns later; unset fields stay as they are.
struct TJournalUpdate {
  std::optional<std::int64_t> watchedMs;
  // A door command during the call: whether the panel opened it, and what it answered.
  std::optional<bool> doorOpened;
  std::optional<std::string> relayResult;
  std::optional<bool> voiceSent;
  std::optional<bool> missed;
};

// One row as the journal window and the export read it; no pictures.
struct TJournalRow {
  std::int64_t id = 0;
  TJournalEntry entry;
  std::int64_t watchedMs = 0;
  bool doorOpened = false;
  std::string relayResult;
  bool voiceSent = false;
  bool missed = false;
  bool hasPicture = false;
};

using TJournalBytes = std::shared_ptr<const std::vector<unsigned char>>;
