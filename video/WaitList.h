#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/StreamControl.h"
#include "core/StreamTarget.h"
#include "core/WaitQueue.h"

// The wait-list window as the logic sees it: column 0 of its grid and its visibility.
// Implemented by TWaitListWindow and by test fakes. UI thread only.
class IWaitListView {
 public:
  virtual ~IWaitListView() = default;
  virtual void showWindow() = 0;
  // Empties column 0 of every row.
  virtual void clearEntryTexts() = 0;
  // At least 1: the grid keeps one (empty) row when the list is empty.
  virtual void setRowCount(int rows) = 0;
  virtual void setEntryText(int row, const std::string& text) = 0;
  // Empty for a row that does not exist.
  virtual std::string entryText(int row) const = 0;
};

// The calls that wait while another panel is watched, oldest first, in memory only. Owned by
// the main window; the window TWaitListWindow attaches itself as the view while it exists. Starts
// streams through IStreamControl, which must outlive this object. UI thread only.
class TWaitList final : public IWaitList {
 public:
  explicit TWaitList(IStreamControl& streams);

  // Attaches the window (and rebuilds its grid) or detaches it with nullptr. Not owned; the
  // window detaches itself before it goes away.
  void attachView(IWaitListView* view);

  const std::vector<TStreamTarget>& WaitList() const { return m_waitList; }
  int WaitCount() const override;
  void addWaitItem(const TStreamTarget& target) override;
  void showWaitList() override;

  // Removes the entry at index (from 0) and rebuilds the grid; any other index only rebuilds.
  void removeWaitItem(int index);
  // Rebuilds the grid from the list, logging every entry; does nothing without a window.
  void refreshWaitList();
  // Watches the entry at index: sets it as the stream target and launches the stream.
  void streamWItem(int index);
  // The user's pick: watches the entry and takes it off the list; the call being watched, if
  // any, goes back to the end of the list, since it still rings.
  void pickWaitItem(int index);
  void callWatched(const TStreamTarget& target) override;
  // A panel's "stop": its waiting entries go; when it was the call watched and showNext (the
  // setting showNextWaiting) is on, the oldest waiting caller is watched and leaves the list.
  // Call after the stream of that panel has been stopped.
  void callEnded(const std::string& address, bool wasWatched, bool showNext);
  // A click on a grid cell: column 1 watches and removes the row's entry, column 2 removes it.
  void onGridCellClicked(int col, int row);

  // "1: 192.168.1.21" for the first entry of that panel, "1: 192.168.1.21 - Hall" when it has a
  // display name.
  static std::string entryText(int row, const TStreamTarget& entry);

 private:
  IStreamControl& m_streams;
  IWaitListView* m_view = nullptr;
  std::vector<TStreamTarget> m_waitList;
  // The call on screen, as it was admitted or picked; nothing for a favourite or manual stream.
  std::optional<TStreamTarget> m_watchedCall;
};
