#include "video/WaitList.h"

#include <algorithm>

#include "core/DebugLog.h"

TWaitList::TWaitList(IStreamControl& streams) : m_streams(streams) {}

void TWaitList::attachView(IWaitListView* view) {
  m_view = view;
  refreshWaitList();
}

int TWaitList::WaitCount() const { return static_cast<int>(m_waitList.size()); }

void TWaitList::addWaitItem(const TStreamTarget& target) {
  // Callers check the bound too; this keeps the list within it whoever calls.
  if (WaitCount() >= MaxWaitCount) return;
  // No duplicate test: a panel that calls twice while waiting is listed twice.
  m_waitList.push_back(target);
}

void TWaitList::showWaitList() {
  if (m_view != nullptr) m_view->showWindow();
  refreshWaitList();
}

void TWaitList::removeWaitItem(int index) {
  if (index >= 0 && index < WaitCount()) m_waitList.erase(m_waitList.begin() + index);
  refreshWaitList();
}

void TWaitList::refreshWaitList() {
  if (m_view == nullptr) return;
  m_view->clearEntryTexts();
  m_view->setRowCount(std::max(1, WaitCount()));
  for (int row = 0; row < WaitCount(); ++row) {
    const TStreamTarget& entry = m_waitList[static_cast<std::size_t>(row)];
    debugLog(entry.Address + " added to waitList");
    m_view->setEntryText(row, entryText(row, entry));
  }
}

void TWaitList::streamWItem(int index) {
  // The grid and the list agree after every refresh, but a stale row must never read past
  // the list.
  if (index < 0 || index >= WaitCount()) return;
  const TStreamTarget picked = m_waitList[static_cast<std::size_t>(index)];
  m_watchedCall = picked;
  m_streams.setTarget(picked);
  m_streams.launchStream();
}

void TWaitList::pickWaitItem(int index) {
  if (index < 0 || index >= WaitCount()) return;
  // Still ringing: the caller being watched must not be forgotten by switching away.
  std::optional<TStreamTarget> putBack;
  if (m_watchedCall && m_streams.StreamWanted() &&
      m_streams.target().Address == m_watchedCall->Address &&
      m_watchedCall->Address != m_waitList[static_cast<std::size_t>(index)].Address)
    putBack = m_watchedCall;
  streamWItem(index);
  // Removed even when the panel can no longer be reached: launchStream reports that itself.
  m_waitList.erase(m_waitList.begin() + index);
  // The picked entry has left, so there is room.
  if (putBack) m_waitList.push_back(*putBack);
  refreshWaitList();
}

void TWaitList::callWatched(const TStreamTarget& target) { m_watchedCall = target; }

void TWaitList::callEnded(const std::string& address, bool wasWatched, bool showNext) {
  const auto from = [&address](const TStreamTarget& t) { return t.Address == address; };
  const bool listed = std::any_of(m_waitList.begin(), m_waitList.end(), from);
  m_waitList.erase(std::remove_if(m_waitList.begin(), m_waitList.end(), from), m_waitList.end());
  if (m_watchedCall && m_watchedCall->Address == address) m_watchedCall.reset();
  if (wasWatched && showNext && !m_waitList.empty() && !m_streams.StreamWanted()) {
    pickWaitItem(0);
  } else if (listed) {
    refreshWaitList();
  }
}

void TWaitList::onGridCellClicked(int col, int row) {
  if (col == 2) {
    removeWaitItem(row);
  } else if (col == 1 && m_view != nullptr && !m_view->entryText(row).empty()) {
    pickWaitItem(row);
  }
}

std::string TWaitList::entryText(int row, const TStreamTarget& entry) {
  std::string text = std::to_string(row + 1) + ": " + entry.Address;
  if (!entry.DisplayName.empty() && entry.DisplayName != entry.Address)
    text += " - " + entry.DisplayName;
  return text;
}
