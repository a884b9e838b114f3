#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/JournalRecord.h"

enum class EJournalOpen {
  Opened,
  Recovered,  // the file was damaged: moved aside, a new one started
  Failed,     // no journal this run (see lastError)
};

// Which rows the journal window lists; empty texts match everything.
struct TJournalFilter {
  std::string day;
  std::string panel;
};

// What one retention pass removed.
struct TJournalRetention {
  int rowsRemoved = 0;
  int picturesRemoved = 0;
};

// The visitor journal's SQLite file: one row per call, with the first picture of the call and a
// thumbnail of it. Texts are UTF-8. The file is written in WAL mode, so a reader on another
// connection never waits for the writer and a process killed mid-write leaves the last whole
// transaction.
//
// Thread contract: one object per thread; every call on the thread that called open().
// Ownership: owns its database connection (named after the object, so several may coexist).
class TJournalStore {
 public:
  // Thumbnails are at most this wide and high.
  static constexpr int ThumbnailSide = 160;

  explicit TJournalStore(std::string path);
  ~TJournalStore();
  TJournalStore(const TJournalStore&) = delete;
  TJournalStore& operator=(const TJournalStore&) = delete;

  // Opens or creates the file (mode 0600, its folder made 0700). A damaged file is renamed
  // beside itself (movedAsideTo) and a new one started.
  EJournalOpen open();
  // Another connection to a journal a writer keeps: no creation, no check, no recovery.
  bool openForReading();
  bool isOpen() const { return m_open; }
  const std::string& lastError() const { return m_lastError; }
  const std::string& movedAsideTo() const { return m_movedAside; }
  const std::string& path() const { return m_path; }

  // The new row's id, or nothing when it could not be written.
  std::optional<std::int64_t> insert(const TJournalEntry& entry);
  bool update(std::int64_t id, const TJournalUpdate& changes);
  // Keeps the JPEG as received and a thumbnail made from it; an undecodable JPEG is kept
  // without a thumbnail.
  bool setPicture(std::int64_t id, const std::vector<unsigned char>& jpeg);

  // Newest first.
  std::vector<TJournalRow> rows(const TJournalFilter& filter = {}) const;
  // The days and the panels that have rows, newest day first, panels sorted.
  std::vector<std::string> days() const;
  std::vector<std::string> panels() const;
  std::vector<unsigned char> picture(std::int64_t id) const;
  std::vector<unsigned char> thumbnail(std::int64_t id) const;
  // The bytes of every picture and thumbnail kept.
  std::int64_t pictureBytes() const;

  // Removes the rows rung before nowMs less maxAgeDays, then the pictures of the oldest rows
  // until the pictures take at most maxPictureBytes.
  TJournalRetention applyRetention(std::int64_t nowMs, int maxAgeDays,
                                   std::int64_t maxPictureBytes);

  // Writes one day's rows as "journal-<day>.csv" in folder, with each picture beside it as
  // "<day>-<hhmmss>-<id>.jpg"; the CSV's last column names it. False (and lastError) when a
  // file could not be written.
  bool exportDay(const std::string& day, const std::string& folder);

 private:
  enum class EAttempt { Ok, Damaged, Failed };
  EAttempt attemptOpen();
  EAttempt checkReadOnly();
  bool moveAside();
  void close();
  bool fail(const std::string& what, const class QSqlError& error);

  std::string m_path;
  QString m_connection;
  bool m_open = false;
  std::string m_lastError;
  std::string m_movedAside;
};

// A thumbnail of at most side by side pixels as JPEG; empty when the picture does not decode.
std::vector<unsigned char> makeThumbnail(const std::vector<unsigned char>& jpeg, int side);

// One CSV field: quoted, quotes doubled, and a leading = + - @ neutralised so a spreadsheet
// never runs a caller's identity as a formula.
std::string csvField(const std::string& text);
