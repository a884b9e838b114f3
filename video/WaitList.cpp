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
  m_streams.setTarget(m_waitList[static_cast<std::size_t>(index)]);
  m_streams.launchStream();
}

void TWaitList::onGridCellClicked(int col, int row) {
  if (col == 2) {
    removeWaitItem(row);
  } else if (col == 1 && m_view != nullptr && !m_view->entryText(row).empty()) {
    streamWItem(row);
    // Removed even when the panel can no longer be reached: launchStream reports that itself.
    removeWaitItem(row);
  }
}

std::string TWaitList::entryText(int row, const TStreamTarget& entry) {
  return std::to_string(row + 1) + ": " + entry.Address;
}
