#include "core/CallJournal.h"

#include <QDateTime>
#include <algorithm>

#include "core/WaitQueue.h"

TCallJournal::TCallJournal(TJournal& journal, const IClock& clock, TWallClock wallClock)
    : m_journal(journal), m_clock(clock), m_wallClock(std::move(wallClock)) {
  if (!m_wallClock) m_wallClock = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

TCallJournal::TToken TCallJournal::callArrived(const std::string& panel, const std::string& calling,
                                               const std::string& called, EJournalOutcome outcome) {
  TJournalEntry entry;
  entry.ringTimeMs = m_wallClock();
  entry.day = QDateTime::fromMSecsSinceEpoch(entry.ringTimeMs)
                  .toString(QStringLiteral("yyyy-MM-dd"))
                  .toStdString();
  entry.panel = panel;
  entry.calling = calling;
  entry.called = called;
  entry.outcome = outcome;
  const TToken token = m_journal.record(entry);
  if (outcome == EJournalOutcome::Shown) {
    finishWatched();
    m_watched = TWatched{token, panel, m_clock.steadyNow(), false};
  } else if (outcome == EJournalOutcome::Waited) {
    m_waiting.push_back({token, panel});
    // The wait list drops what it cannot hold; so does this.
    if (m_waiting.size() > static_cast<std::size_t>(IWaitList::MaxWaitCount))
      m_waiting.erase(m_waiting.begin());
  }
  return token;
}

void TCallJournal::followStream(bool streamWanted, const std::string& address) {
  if (m_watched && (!streamWanted || address != m_watched->address)) finishWatched();
  if (m_watched || !streamWanted) return;
  // The newest waiting call from that panel is the one the user picked.
  const auto picked = std::find_if(m_waiting.rbegin(), m_waiting.rend(),
                                   [&](const TWaiting& w) { return w.address == address; });
  if (picked == m_waiting.rend()) return;
  m_watched = TWatched{picked->token, address, m_clock.steadyNow(), false};
  m_waiting.erase(std::next(picked).base());
}

void TCallJournal::finishWatched() {
  if (!m_watched) return;
  TJournalUpdate changes;
  changes.watchedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.steadyNow() - m_watched->since)
          .count();
  m_journal.update(m_watched->token, changes);
  m_watched.reset();
}

void TCallJournal::frameShown(const std::string& address, const TJournalBytes& jpeg) {
  if (!m_watched || m_watched->hasPicture || !jpeg || jpeg->empty()) return;
  if (address != m_watched->address) return;
  m_watched->hasPicture = true;
  m_journal.setPicture(m_watched->token, jpeg);
}

std::optional<TCallJournal::TToken> TCallJournal::watchedCall() const {
  if (!m_watched) return std::nullopt;
  return m_watched->token;
}

void TCallJournal::doorCommand(TToken call, bool opened, const std::string& relayResult) {
  TJournalUpdate changes;
  changes.doorOpened = opened;
  changes.relayResult = relayResult;
  m_journal.update(call, changes);
}

void TCallJournal::voiceMessageSent(TToken call) {
  TJournalUpdate changes;
  changes.voiceSent = true;
  m_journal.update(call, changes);
}

void TCallJournal::setMissed(TToken call, bool missed) {
  TJournalUpdate changes;
  changes.missed = missed;
  m_journal.update(call, changes);
}
