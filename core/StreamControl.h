#pragma once

#include "core/StreamTarget.h"

// What call admission, the outgoing client and the wait list use to start and stop streams.
// Implemented by the stream controller. UI thread only.
class IStreamControl {
 public:
  virtual ~IStreamControl() = default;
  // True from launchStream until stopStream.
  virtual bool StreamWanted() const = 0;
  // The current decoder's five target texts, and replacing them (nothing else changes).
  virtual TStreamTarget target() const = 0;
  virtual void setTarget(const TStreamTarget& target) = 0;
  // Starts watching the current target, or switches to it when another stream runs.
  virtual void launchStream() = 0;
  // Stops watching and returns the window to its idle look.
  virtual void stopStream() = 0;
  // Re-arms the automatic snapshot for the next frame shown.
  virtual void clearSnapDone() = 0;
};
