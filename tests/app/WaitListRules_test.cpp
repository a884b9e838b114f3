// The wait list follows the visitors: call sequences through the real admission and wait list,
// with a stream control that only remembers what is watched.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "signalling/CallAdmission.h"
#include "tests/support/QtTestSupport.h"
#include "video/WaitList.h"

namespace {

class TWatchedStreams final : public IStreamControl {
 public:
  bool wanted = false;
  TStreamTarget current;
  bool StreamWanted() const override { return wanted; }
  TStreamTarget target() const override { return current; }
  void setTarget(const TStreamTarget& target) override { current = target; }
  void launchStream() override { wanted = true; }
  void stopStream() override { wanted = false; }
  void clearSnapDone() override {}
};

class TRules {
 public:
  TRules() {
    settings.warningOnCall = 1;
    settings.showNextWaiting = 1;
  }
  // A panel rings: "start" with its caller's identity.
  void ring(const std::string& panel) {
    admission.admitCall({"start", "admin", "pw", "8080", "100@host", "Visitor " + panel}, panel);
  }
  // The panel's "stop", as the listener hands it on.
  void hangUp(const std::string& panel) {
    const bool watched = panel == streams.current.Address;
    if (watched) streams.stopStream();
    list.callEnded(panel, watched, settings.showNextWaiting == 1);
  }
  // The favourite button's stream: watched, but not a call.
  void favourite(const std::string& panel) {
    streams.stopStream();
    streams.setTarget({panel, panel, "admin", "pw", "8080"});
    streams.launchStream();
  }
  std::string watched() const { return streams.wanted ? streams.current.Address : "-"; }
  std::vector<std::string> waiting() const {
    std::vector<std::string> out;
    for (const TStreamTarget& t : list.WaitList()) out.push_back(t.Address);
    return out;
  }

  TCapturedLog log;
  TAppSettings settings;
  TWatchedStreams streams;
  TWaitList list{streams};
  TCallAdmission admission{settings, streams, list, "."};
};

TEST(WaitListRules, CallSequences) {
  using TStep = std::function<void(TRules&)>;
  const auto ring = [](std::string p) { return TStep([p](TRules& r) { r.ring(p); }); };
  const auto hangUp = [](std::string p) { return TStep([p](TRules& r) { r.hangUp(p); }); };
  const auto pick = [](int row) { return TStep([row](TRules& r) { r.list.pickWaitItem(row); }); };
  const auto favourite = [](std::string p) { return TStep([p](TRules& r) { r.favourite(p); }); };
  const TStep userStop = [](TRules& r) { r.streams.stopStream(); };
  const TStep nextOff = [](TRules& r) { r.settings.showNextWaiting = 0; };
  struct TCase {
    const char* name;  // and the fault it guards against
    std::vector<TStep> steps;
    std::string watched;
    std::vector<std::string> waiting;
  };
  const TCase cases[] = {
      {"a waiting caller who hangs up leaves the list",
       {ring("A"), ring("B"), ring("C"), hangUp("B")},
       "A",
       {"C"}},
      {"a caller who rang twice leaves with both entries",
       {ring("A"), ring("B"), ring("B"), ring("C"), hangUp("B")},
       "A",
       {"C"}},
      {"when the watched call ends, the oldest waiting caller is shown and leaves the list",
       {ring("A"), ring("B"), ring("C"), hangUp("A")},
       "B",
       {"C"}},
      {"with the setting off the end of a call shows nobody",
       {nextOff, ring("A"), ring("B"), hangUp("A")},
       "-",
       {"B"}},
      {"the end of a call with nobody waiting leaves the idle picture",
       {ring("A"), hangUp("A")},
       "-",
       {}},
      {"switching to a waiting caller puts the watched one back while their call lasts",
       {ring("A"), ring("B"), ring("C"), pick(1)},
       "C",
       {"B", "A"}},
      {"the caller put back leaves the list when they hang up",
       {ring("A"), ring("B"), pick(0), hangUp("A")},
       "B",
       {}},
      {"the picked caller's end brings back the one put back",
       {ring("A"), ring("B"), pick(0), hangUp("B")},
       "A",
       {}},
      {"a favourite stream is not a call: it is not put back",
       {favourite("F"), ring("B"), pick(0)},
       "B",
       {}},
      {"a call's end after the user stopped watching still shows who waits",
       {ring("A"), ring("B"), userStop, hangUp("A")},
       "B",
       {}},
      {"a stop from a panel nobody knows changes nothing",
       {ring("A"), ring("B"), hangUp("Z")},
       "A",
       {"B"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRules rules;
    for (const TStep& step : c.steps) step(rules);
    EXPECT_EQ(rules.watched(), c.watched);
    EXPECT_EQ(rules.waiting(), c.waiting);
  }
}

// Beside the address the list shows who is calling.
TEST(WaitListRules, EntriesShowTheCallersName) {
  struct TCase {
    TStreamTarget entry;
    std::string text;
  };
  for (const TCase& c : {
           TCase{{"10.0.0.2", "Hall", "", "", "80"}, "1: 10.0.0.2 - Hall"},
           TCase{{"10.0.0.2", "", "", "", "80"}, "1: 10.0.0.2"},
           TCase{{"10.0.0.2", "10.0.0.2", "", "", "80"}, "1: 10.0.0.2"},
       })
    EXPECT_EQ(TWaitList::entryText(0, c.entry), c.text);
}

}  // namespace
