#include "core/TrayState.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using TStep = std::function<void(TTrayState&)>;

TStep shownWhileDown(const std::string& panel) {
  return [panel](TTrayState& s) {
    s.callAdmitted(panel, "caller@" + panel, ECallAdmitted::Shown, false);
    s.setWatchedPanel(panel);
  };
}
TStep shownWhileUp(const std::string& panel) {
  return [panel](TTrayState& s) {
    s.callAdmitted(panel, "caller@" + panel, ECallAdmitted::Shown, true);
    s.setWatchedPanel(panel);
  };
}
TStep waitedWhileDown(const std::string& panel) {
  return [panel](TTrayState& s) {
    s.callAdmitted(panel, "caller@" + panel, ECallAdmitted::Waited, false);
  };
}
// The panel's "stop": the stream of a watched panel ends with it.
TStep ended(const std::string& panel) {
  return [panel](TTrayState& s) {
    s.callEnded(panel);
    s.setWatchedPanel("");
  };
}
TStep endedWhileWatching(const std::string& panel, const std::string& stillWatched) {
  return [panel, stillWatched](TTrayState& s) {
    s.callEnded(panel);
    s.setWatchedPanel(stillWatched);
  };
}
const TStep broughtUp = [](TTrayState& s) { s.windowBroughtUp(); };
const TStep journal = [](TTrayState& s) { s.journalOpened(); };
const TStep detected = [](TTrayState& s) { s.setPanelDetected(true); };
const TStep userStopped = [](TTrayState& s) { s.setWatchedPanel(""); };

struct TCase {
  const char* name;
  std::vector<TStep> steps;
  ETrayPicture picture;
  int missed;
};

// The case's name in ctest's list instead of its bytes.
void PrintTo(const TCase& c, std::ostream* out) { *out << c.name; }

class TrayStateSequences : public ::testing::TestWithParam<TCase> {};

TEST_P(TrayStateSequences, EndsInTheExpectedPictureAndCount) {
  TTrayState state;
  for (const TStep& step : GetParam().steps) step(state);
  EXPECT_EQ(state.picture(), GetParam().picture);
  EXPECT_EQ(state.missedCount(), GetParam().missed);
}

const TCase kCases[] = {
    {"NothingHappened", {}, ETrayPicture::Idle, 0},
    {"PanelDetected", {detected}, ETrayPicture::PanelDetected, 0},
    {"CallShownWhileDownIsInProgress",
     {detected, shownWhileDown("a")},
     ETrayPicture::CallInProgress,
     0},
    {"CallShownWhileDownEndsUnseen",
     {shownWhileDown("a"), ended("a")},
     ETrayPicture::MissedCalls,
     1},
    {"CallShownWhileDownSeenBeforeItEnds",
     {shownWhileDown("a"), broughtUp, ended("a")},
     ETrayPicture::Idle,
     0},
    {"CallShownWhileUpIsNeverMissed", {shownWhileUp("a"), ended("a")}, ETrayPicture::Idle, 0},
    {"BroughtUpOnlyAfterTheEndStaysMissed",
     {shownWhileDown("a"), ended("a"), broughtUp},
     ETrayPicture::MissedCalls,
     1},
    {"WaitedWhileDownEndsUnseen",
     {shownWhileUp("a"), waitedWhileDown("b"), endedWhileWatching("b", "a")},
     ETrayPicture::CallInProgress,
     1},
    {"WaitedCallSeenWhenTheWindowComesUp",
     {shownWhileDown("a"), waitedWhileDown("b"), broughtUp, endedWhileWatching("b", "a"),
      ended("a")},
     ETrayPicture::Idle,
     0},
    {"TwoMissedCallsCount",
     {shownWhileDown("a"), ended("a"), shownWhileDown("b"), ended("b")},
     ETrayPicture::MissedCalls,
     2},
    {"MissedOutranksDetectedButNotACall",
     {detected, shownWhileDown("a"), ended("a"), shownWhileDown("b")},
     ETrayPicture::CallInProgress,
     1},
    {"JournalClearsTheCount",
     {detected, shownWhileDown("a"), ended("a"), journal},
     ETrayPicture::PanelDetected,
     0},
    {"JournalDoesNotForgiveACallStillUnderWay",
     {shownWhileDown("a"), journal, ended("a")},
     ETrayPicture::MissedCalls,
     1},
    {"StopFromAPanelWithoutACallCountsNothing", {ended("z")}, ETrayPicture::Idle, 0},
    {"SecondStopOfTheSameCallCountsOnce",
     {shownWhileDown("a"), ended("a"), ended("a")},
     ETrayPicture::MissedCalls,
     1},
    {"NewCallFromTheSamePanelReplacesTheOld",
     {shownWhileDown("a"), shownWhileDown("a"), ended("a")},
     ETrayPicture::MissedCalls,
     1},
    {"UserStoppedTheStreamWhileTheCallGoesOn",
     {shownWhileUp("a"), userStopped},
     ETrayPicture::Idle,
     0},
};

INSTANTIATE_TEST_SUITE_P(Calls, TrayStateSequences, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TrayToolTip, NamesTheLastCallerAndTheMissedCountOnlyWhenThereIsOne) {
  TTrayState state;
  EXPECT_EQ(trayToolTip(state, "Last:", "Missed:"), "Ostrel Stream");
  state.callAdmitted("a", "hall@sip", ECallAdmitted::Shown, true);
  state.callEnded("a");
  EXPECT_EQ(trayToolTip(state, "Last:", "Missed:"), "Ostrel Stream\nLast: hall@sip");
  state.callAdmitted("b", "gate@sip", ECallAdmitted::Waited, false);
  state.callEnded("b");
  EXPECT_EQ(trayToolTip(state, "Last:", "Missed:"), "Ostrel Stream\nLast: gate@sip\nMissed: 1");
}

}  // namespace
