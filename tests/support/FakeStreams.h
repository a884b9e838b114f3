#pragma once

#include <string>
#include <vector>

#include "core/StreamControl.h"

// A stream control that records what the wait list and its window ask of it.
class TFakeStreams : public IStreamControl {
 public:
  bool wanted = true;
  TStreamTarget current;
  std::vector<std::string> calls;

  bool StreamWanted() const override { return wanted; }
  TStreamTarget target() const override { return current; }
  void setTarget(const TStreamTarget& target) override {
    calls.push_back("setTarget " + target.Address);
    current = target;
  }
  void launchStream() override { calls.push_back("launchStream"); }
  void stopStream() override { calls.push_back("stopStream"); }
  void clearSnapDone() override {}
};
