#pragma once

#include "core/StreamTarget.h"

// What call admission needs from the wait list. UI thread only.
class IWaitList {
 public:
  virtual ~IWaitList() = default;
  // The list never holds more than this; further callers are not queued.
  static constexpr int MaxWaitCount = 10;
  virtual int WaitCount() const = 0;
  // Appends a target; ignored once the list is full.
  virtual void addWaitItem(const TStreamTarget& target) = 0;
  // Brings up the wait-list window, also after the user closed it, and rebuilds its grid.
  virtual void showWaitList() = 0;
  // The call from this target is now the one watched (nothing kept by default).
  virtual void callWatched(const TStreamTarget& target) { (void)target; }
};
