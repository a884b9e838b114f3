#include "signalling/CallAdmission.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/QtTestSupport.h"

namespace {

// Log texts in Windows-1252, as the program writes them.
const std::string CalledMatch = "+++ Identit\xE9 appel\xE9 match";
const std::string CalledMismatch = "*** Identit\xE9 appel\xE9 mismatch";
const std::string CalledNotConfigured =
    "+++ Identit\xE9 appel\xE9 non configur\xE9"
    "e";
const std::string CallingMatch = "+++ Identit\xE9 appelant match";
const std::string CallingMismatch = "*** Identit\xE9 appelant mismatch";
const std::string CallingNotConfigured =
    "+++ Identit\xE9 appelant non configur\xE9"
    "e";
const std::string NearMatch = "****** Near match identity, are you sure you typed it correctly ?";

// Records what admission asks of the stream controller, in order; wanted follows
// launchStream/stopStream as the real controller's does.
class TFakeStreams : public IStreamControl {
 public:
  bool wanted = false;
  // launchStream refuses, as the real one does without a configured interface.
  bool refuses = false;
  TStreamTarget current;
  std::vector<std::string> calls;

  bool StreamWanted() const override { return wanted; }
  TStreamTarget target() const override { return current; }
  void setTarget(const TStreamTarget& target) override {
    calls.push_back("setTarget");
    current = target;
  }
  void launchStream() override {
    calls.push_back("launchStream");
    wanted = !refuses;
  }
  void stopStream() override {
    calls.push_back("stopStream");
    wanted = false;
  }
  void clearSnapDone() override { calls.push_back("clearSnapDone"); }
};

class TFakeWaitList : public IWaitList {
 public:
  std::vector<TStreamTarget> items;
  int shows = 0;

  int WaitCount() const override { return static_cast<int>(items.size()); }
  void addWaitItem(const TStreamTarget& target) override { items.push_back(target); }
  void showWaitList() override { ++shows; }
  void callWatched(const TStreamTarget& target) override { watched.push_back(target); }
  std::vector<TStreamTarget> watched;
};

std::size_t countOf(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
}

// ---------------------------------------------------------------------------------------------
// matchIdentity

struct TMatchCase {
  const char* why;
  std::string configured;
  std::string received;
  bool matches;
  std::string concordance;  // as logged
  bool nearMatchWarning;
};

void PrintTo(const TMatchCase& c, std::ostream* os) { *os << c.why; }

class MatchIdentityTest : public ::testing::TestWithParam<TMatchCase> {};

TEST_P(MatchIdentityTest, ResultAndLoggedScore) {
  const TMatchCase& c = GetParam();
  TCapturedLog log;
  EXPECT_EQ(matchIdentity(c.configured, c.received, "."), c.matches);
  std::vector<std::string> expected{"****** Match concordance: " + c.concordance};
  if (c.nearMatchWarning) expected.push_back(NearMatch);
  EXPECT_EQ(log.texts(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchIdentityTest,
    ::testing::Values(
        TMatchCase{"a sip: prefix and its port are removed", "sip:100@192.168.1.10",
                   "100@192.168.1.10", true, "100", false},
        TMatchCase{"the prefix is removed from the received side too", "100@192.168.1.10",
                   "sip:100@192.168.1.10:5060", true, "100", false},
        TMatchCase{"a port is removed only after sip: (16 of 21 positions, single precision)",
                   "100@192.168.1.10", "100@192.168.1.10:5060", false, "76.1904754638672", false},
        TMatchCase{"letter case is ignored on both sides", "SIP:Door@Panel.LAN", "door@PANEL.lan",
                   true, "100", false},
        TMatchCase{"a wrong digit weighs -5: (15 - 5) / 16", "101@192.168.1.10", "100@192.168.1.10",
                   false, "62.5", false},
        TMatchCase{"'.' against ',' weighs 0.75 and warns: (15 + 0.75) / 16", "100@192.168.1.10",
                   "100@192,168.1.10", false, "98.4375", true},
        TMatchCase{"'0' against 'o' weighs 0.75; exactly 90 warns", "100@a", "1oo@a", false, "90",
                   true},
        TMatchCase{"':' against ';' weighs 0.75 both ways round (2.75 / 3, each step in single "
                   "precision)",
                   "a;b", "a:b", false, "91.6666717529297", true},
        TMatchCase{"sips: is not a sip: prefix (10 / 15 rounded before the product)", "sips:100@h",
                   "sips:100@h:5060", false, "66.6666717529297", false},
        TMatchCase{"the quotient is rounded to single precision before the product: 3 / 5 is "
                   "not 60",
                   "100", "100@h", false, "60.0000038146973", false},
        TMatchCase{"sip: without a second ':' keeps the rest", "sip:100@h", "100@h", true, "100",
                   false},
        TMatchCase{"a score can go below zero", "9", "8", false, "-500", false},
        TMatchCase{"empty against text scores 0", "", "100@h", false, "0", false},
        TMatchCase{"two empty texts match without dividing by zero", "", "", true, "100", false}),
    [](const ::testing::TestParamInfo<TMatchCase>& info) {
      return "Case" + std::to_string(info.index);
    });

struct TSeparatorCase {
  const char* fault;
  std::string separator;
  std::string configured;
  std::string received;
  std::string concordance;
};

// The concordance is written with the user's decimal separator, through admission too; whole
// numbers have none.
TEST(ConcordanceText, UsesTheInjectedDecimalSeparator) {
  const TSeparatorCase cases[] = {
      {"a comma locale writes a comma", ",", "100@192.168.1.10", "100@192,168.1.10", "98,4375"},
      {"a point locale writes a point", ".", "100@192.168.1.10", "100@192,168.1.10", "98.4375"},
      {"a negative fraction keeps its sign", ",", "1@a", "2@b", "-133,333343505859"},
      {"a whole number has no separator", ",", "100@h", "100@h", "100"},
  };
  for (const TSeparatorCase& c : cases) {
    SCOPED_TRACE(c.fault);
    {
      TCapturedLog log;
      matchIdentity(c.configured, c.received, c.separator);
      EXPECT_TRUE(log.contains("****** Match concordance: " + c.concordance));
    }
    TCapturedLog log;
    TAppSettings settings;
    settings.SIPID = c.configured;
    TFakeStreams streams;
    TFakeWaitList waitList;
    TCallAdmission admission(settings, streams, waitList, c.separator);
    admission.admitCall({"start", "admin", "secret", "8080", c.received}, "192.168.1.50");
    EXPECT_TRUE(log.contains("****** Match concordance: " + c.concordance));
  }
}

// ---------------------------------------------------------------------------------------------
// admitCall

enum class EOutcome { Ignored, Rejected, Watched, Queued, Dropped };

struct TAdmitCase {
  const char* why;
  std::string SIPID;
  std::string CallingList;
  int warningOnCall;
  bool wanted;
  std::string watched;  // Address of the current target
  int waiting;          // entries already on the wait list
  std::vector<std::string> fields;
  std::string panel;
  EOutcome outcome;
  std::vector<std::string> mustLog;
  std::vector<std::string> mustNotLog;
};

std::vector<std::string> start(std::string called, std::string calling) {
  return {"start", "admin", "secret", "8080", std::move(called), std::move(calling)};
}
const std::vector<std::string> FourFields{"start", "admin", "secret", "8080"};

void PrintTo(const TAdmitCase& c, std::ostream* os) { *os << c.why; }

class AdmitCallTest : public ::testing::TestWithParam<TAdmitCase> {};

TEST_P(AdmitCallTest, Decision) {
  const TAdmitCase& c = GetParam();
  TCapturedLog log;
  TAppSettings settings;
  settings.SIPID = c.SIPID;
  settings.CallingList = c.CallingList;
  settings.warningOnCall = c.warningOnCall;
  TFakeStreams streams;
  streams.wanted = c.wanted;
  streams.current.Address = c.watched;
  TFakeWaitList waitList;
  waitList.items.resize(static_cast<std::size_t>(c.waiting));
  TCallAdmission admission(settings, streams, waitList);

  const EAdmission admitted = admission.admitCall(c.fields, c.panel);

  // What the caller is told, so the call can be recorded as it happened.
  const bool calledRejected = countOf(c.mustLog, CalledMismatch) == 1;
  const EAdmission expected[] = {
      EAdmission::Ignored,
      calledRejected ? EAdmission::RejectedCalled : EAdmission::RejectedCalling,
      EAdmission::Shown,
      EAdmission::Waited,
      c.warningOnCall == 1 ? EAdmission::DroppedWaitFull : EAdmission::DroppedWaitOff,
  };
  EXPECT_EQ(admitted, expected[static_cast<int>(c.outcome)]);

  TStreamTarget expectedTarget;
  expectedTarget.Address = c.panel;
  expectedTarget.Login = "admin";
  expectedTarget.Password = "secret";
  expectedTarget.Port = "8080";
  expectedTarget.DisplayName = c.fields.size() > 5 ? c.fields[5] : "";

  std::vector<std::string> calls{"clearSnapDone"};  // for every start, whatever follows
  const std::vector<std::string> texts = log.texts();
  switch (c.outcome) {
    case EOutcome::Ignored:
      EXPECT_TRUE(texts.empty()) << "the watched panel's own call is ignored without a log";
      break;
    case EOutcome::Watched:
      calls = {"clearSnapDone", "stopStream", "setTarget", "launchStream"};
      EXPECT_EQ(streams.current, expectedTarget);
      ASSERT_FALSE(texts.empty());
      EXPECT_EQ(texts.back(), "Streaming Address: " + c.panel);
      break;
    case EOutcome::Queued:
      ASSERT_EQ(waitList.WaitCount(), c.waiting + 1);
      EXPECT_EQ(waitList.items.back(), expectedTarget);
      EXPECT_EQ(waitList.shows, 1) << "the window comes up and is refreshed";
      break;
    case EOutcome::Rejected:
    case EOutcome::Dropped:
      break;
  }
  EXPECT_EQ(streams.calls, calls);
  if (c.outcome != EOutcome::Queued) {
    EXPECT_EQ(waitList.WaitCount(), c.waiting);
    EXPECT_EQ(waitList.shows, 0);
  }
  for (const std::string& line : c.mustLog) EXPECT_EQ(countOf(texts, line), 1u) << line;
  for (const std::string& line : c.mustNotLog) EXPECT_EQ(countOf(texts, line), 0u) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdmitCallTest,
    ::testing::Values(
        TAdmitCase{"nothing configured: a 4-field start is watched",
                   "",
                   "",
                   0,
                   false,
                   "",
                   0,
                   FourFields,
                   "192.168.1.21",
                   EOutcome::Watched,
                   {"Called ID: ", "Param  ID: ", "Caller ID: ", CalledNotConfigured,
                    CallingNotConfigured},
                   {}},
        TAdmitCase{"called identity matches SIPID after sip: is removed",
                   "sip:100@192.168.1.10",
                   "",
                   0,
                   false,
                   "",
                   0,
                   start("100@192.168.1.10", "200@192.168.1.21"),
                   "192.168.1.21",
                   EOutcome::Watched,
                   {"Param  ID: sip:100@192.168.1.10", CalledMatch, CallingNotConfigured},
                   {}},
        TAdmitCase{"wrong called identity: rejected, the caller is not even checked",
                   "100@192.168.1.10",
                   "200@192.168.1.21",
                   0,
                   false,
                   "",
                   0,
                   start("101@192.168.1.10", "200@192.168.1.21"),
                   "192.168.1.21",
                   EOutcome::Rejected,
                   {CalledMismatch},
                   {CallingMatch, CallingMismatch, "Streaming Address: 192.168.1.21"}},
        TAdmitCase{"an empty called identity fails a configured SIPID",
                   "100@192.168.1.10",
                   "",
                   0,
                   false,
                   "",
                   0,
                   FourFields,
                   "192.168.1.21",
                   EOutcome::Rejected,
                   {CalledMismatch},
                   {}},
        TAdmitCase{"the second of two CallingList entries matches: one match line",
                   "",
                   "200@192.168.1.21;300@192.168.1.22",
                   0,
                   false,
                   "",
                   0,
                   start("100@h", "300@192.168.1.22"),
                   "192.168.1.22",
                   EOutcome::Watched,
                   {CalledNotConfigured, CallingMatch},
                   {CallingMismatch}},
        TAdmitCase{"no CallingList entry matches",
                   "",
                   "200@192.168.1.21;300@192.168.1.22",
                   0,
                   false,
                   "",
                   0,
                   start("100@h", "400@192.168.1.23"),
                   "192.168.1.23",
                   EOutcome::Rejected,
                   {CallingMismatch},
                   {CallingMatch}},
        TAdmitCase{"an empty caller fails a CallingList without an empty entry",
                   "",
                   "200@192.168.1.21",
                   0,
                   false,
                   "",
                   0,
                   start("100@h", ""),
                   "192.168.1.21",
                   EOutcome::Rejected,
                   {CallingMismatch},
                   {}},
        TAdmitCase{"a trailing ';' is an empty entry that an empty caller matches",
                   "",
                   "200@192.168.1.21;",
                   0,
                   false,
                   "",
                   0,
                   FourFields,
                   "192.168.1.21",
                   EOutcome::Watched,
                   {CallingMatch},
                   {CallingMismatch}},
        TAdmitCase{"the watched panel calling again is ignored without a log",
                   "",
                   "",
                   1,
                   true,
                   "192.168.1.21",
                   0,
                   start("100@h", "200@h"),
                   "192.168.1.21",
                   EOutcome::Ignored,
                   {},
                   {}},
        TAdmitCase{"the last watched panel, stream stopped, is watched again",
                   "",
                   "",
                   1,
                   false,
                   "192.168.1.21",
                   0,
                   start("100@h", "200@h"),
                   "192.168.1.21",
                   EOutcome::Watched,
                   {},
                   {}},
        TAdmitCase{"another panel while watching, warningOnCall 1: wait list",
                   "",
                   "",
                   1,
                   true,
                   "192.168.1.21",
                   3,
                   start("100@h", "200@h"),
                   "192.168.1.22",
                   EOutcome::Queued,
                   {},
                   {"Streaming Address: 192.168.1.22"}},
        TAdmitCase{"another panel while watching, warningOnCall 0: dropped silently",
                   "",
                   "",
                   0,
                   true,
                   "192.168.1.21",
                   0,
                   start("100@h", "200@h"),
                   "192.168.1.22",
                   EOutcome::Dropped,
                   {},
                   {"Streaming Address: 192.168.1.22"}},
        TAdmitCase{"wait list full: the eleventh caller is dropped",
                   "",
                   "",
                   1,
                   true,
                   "192.168.1.21",
                   10,
                   start("100@h", "200@h"),
                   "192.168.1.22",
                   EOutcome::Dropped,
                   {},
                   {}},
        TAdmitCase{"a rejected caller is not queued either",
                   "",
                   "200@h",
                   1,
                   true,
                   "192.168.1.21",
                   0,
                   start("100@h", "999@h"),
                   "192.168.1.22",
                   EOutcome::Rejected,
                   {CallingMismatch},
                   {}}),
    [](const ::testing::TestParamInfo<TAdmitCase>& info) {
      return "Case" + std::to_string(info.index);
    });

class AdmissionFixture : public ::testing::Test {
 protected:
  TCapturedLog log;
  TAppSettings settings;
  TFakeStreams streams;
  TFakeWaitList waitList;
  TCallAdmission admission{settings, streams, waitList};
};

TEST_F(AdmissionFixture, EveryLogLineInOrderForAnAdmittedCall) {
  settings.SIPID = "SIP:100@192.168.1.10:5060";
  settings.CallingList = "200@b;300@b";
  admission.admitCall(start("100@192.168.1.10", "300@b"), "192.168.1.22");
  EXPECT_EQ(log.texts(), (std::vector<std::string>{
                             "Called ID: 100@192.168.1.10",
                             "Param  ID: SIP:100@192.168.1.10:5060",
                             "Caller ID: 300@b",
                             "****** Match concordance: 100",
                             CalledMatch,
                             "****** Match concordance: -20",
                             "****** Match concordance: 100",
                             CallingMatch,
                             "Streaming Address: 192.168.1.22",
                         }));
}

TEST_F(AdmissionFixture, AnAdmittedCallDoesNotLetTheNextCallerThrough) {
  settings.CallingList = "200@a";
  settings.warningOnCall = 1;
  admission.admitCall(start("", "200@a"), "10.0.0.1");
  ASSERT_TRUE(streams.wanted);
  admission.admitCall(start("", "999@b"), "10.0.0.2");
  EXPECT_TRUE(waitList.items.empty());
  EXPECT_EQ(streams.current.Address, "10.0.0.1");
  EXPECT_EQ(countOf(log.texts(), CallingMismatch), 1u);
}

TEST_F(AdmissionFixture, ARejectedCallDoesNotRejectTheNextOne) {
  settings.CallingList = "200@a";
  admission.admitCall(start("", "999@b"), "10.0.0.2");
  ASSERT_FALSE(streams.wanted);
  admission.admitCall(start("", "200@a"), "10.0.0.1");
  EXPECT_TRUE(streams.wanted);
  EXPECT_EQ(streams.current.Address, "10.0.0.1");
}

TEST_F(AdmissionFixture, AStreamThatRefusesToStartIsReportedAsNotStarted) {
  streams.refuses = true;
  EXPECT_EQ(admission.admitCall(start("", "200@a"), "10.0.0.1"), EAdmission::NotStarted);
  EXPECT_TRUE(waitList.watched.empty());
}

TEST_F(AdmissionFixture, FewerThanFourFieldsChangeNothing) {
  EXPECT_EQ(admission.admitCall({"start", "admin", "secret"}, "10.0.0.1"), EAdmission::Ignored);
  EXPECT_TRUE(streams.calls.empty());
  EXPECT_TRUE(log.texts().empty());
}

}  // namespace
