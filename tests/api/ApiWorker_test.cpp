#include "api/ApiWorker.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "api/RelayCommand.h"
#include "base/Vigenere.h"
#include "tests/api/HttpPeerSupport.h"
#include "tests/support/QtTestSupport.h"

namespace {

TApiRequest requestTo(const std::string& address, const std::string& payload) {
  TApiRequest r;
  r.address = address;
  r.command = "remote";
  r.payload = payload;
  r.settings.method = "GET";
  r.settings.authType = "None";
  return r;
}

class ApiWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { ensureQtApplication(); }
  TCapturedLog log;
};

TEST_F(ApiWorkerTest, RequestsRunOneAfterTheOtherAndResultsReturnInOrderOnTheUiThread) {
  std::atomic<int> inFlight{0};
  std::atomic<int> maxInFlight{0};
  THttpPeer peer([&](const THttpPeer::TRequest& req, int) {
    int now = ++inFlight;
    maxInFlight = std::max(maxInFlight.load(), now);
    QThread::msleep(30);  // long enough for an overlapping request to show
    --inFlight;
    return THttpPeer::reply(200, "OK", req.target.substr(req.target.find("pl=") + 3, 1));
  });
  TApiWorker worker;
  std::vector<std::string> answers;
  std::vector<bool> onUiThread;
  for (char c : std::string("abcde")) {
    worker.request(requestTo(peer.address(), std::string(1, c)), [&](const TApiResult& r) {
      answers.push_back(r.response);
      onUiThread.push_back(QThread::currentThread() == qApp->thread());
    });
  }
  ASSERT_TRUE(waitUntil([&] { return answers.size() == 5; }, std::chrono::seconds(60)));
  EXPECT_EQ(answers, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(onUiThread, std::vector<bool>(5, true));
  EXPECT_EQ(maxInFlight.load(), 1);
}

TEST_F(ApiWorkerTest, ShutdownCutsOffARequestWaitingOnASilentPanel) {
  TSilentPeer silent;
  THttpPeer peer([](const THttpPeer::TRequest&, int) { return THttpPeer::reply(200, "OK", ""); });
  bool called = false;
  auto worker = std::make_unique<TApiWorker>();
  worker->request(requestTo(silent.address(), "x"), [&](const TApiResult&) { called = true; });
  worker->request(requestTo(peer.address(), "y"), [&](const TApiResult&) { called = true; });
  pumpEvents(std::chrono::milliseconds(300));  // the first request is now waiting
  QElapsedTimer timer;
  timer.start();
  worker.reset();
  // Well below the 5 s read time-out (twice over two attempts) that a join would wait for.
  EXPECT_LT(timer.elapsed(), 4000);
  pumpEvents(std::chrono::milliseconds(100));
  EXPECT_FALSE(called) << "no result comes after shutdown";
  EXPECT_EQ(peer.requestCount(), 0u) << "queued requests are dropped";
}

// The relay command on a real worker against a loopback panel.
class RelayCommandTest : public ApiWorkerTest {
 protected:
  void SetUp() override {
    ApiWorkerTest::SetUp();
    loadCipherTable();
    texts.msgNoPriorityAddress = "No priority address found.";
    settings.APIMethod = "GET";
    settings.APIAuthtype = "None";
    settings.APIUsername = "admin";
    settings.APIPassword = "pass";
    settings.codeGache = cipherString("1234");
    relay.setOnOutcome([this](const TRelayOutcome& o) { outcomes.push_back(o); });
  }
  void TearDown() override { worker.shutdown(); }

  TAppSettings settings;
  TUiTexts texts;
  TRecordingDialogs dialogs;
  TApiWorker worker;
  TRelayCommand relay{worker, dialogs};
  std::vector<TRelayOutcome> outcomes;
};

TEST_F(RelayCommandTest, TargetRules) {
  struct TCase {
    const char* why;
    std::string platines;
    int priority;
    bool streamWanted;
    std::string watched;
    TRelayPlan::EKind kind;
    std::string target;
  };
  const TCase cases[] = {
      {"watching a panel not in an empty list: the watched panel", "", 0, true, "10.0.0.9",
       TRelayPlan::EKind::Send, "10.0.0.9"},
      {"watching wins over the favourite", "192.168.1.10", 0, true, "10.0.0.9",
       TRelayPlan::EKind::Send, "10.0.0.9"},
      {"not watching: entry priority of platines", "192.168.1.10;192.168.1.11", 1, false, "",
       TRelayPlan::EKind::Send, "192.168.1.11"},
      {"nothing stored, nothing watched", "", 0, false, "", TRelayPlan::EKind::NoAddress, ""},
      {"priority beyond the list", "192.168.1.10", 1, false, "",
       TRelayPlan::EKind::NoPriorityAddress, ""},
      {"negative priority", "192.168.1.10", -1, false, "", TRelayPlan::EKind::NoPriorityAddress,
       ""},
      {"priority on an empty entry", "192.168.1.10;", 1, false, "",
       TRelayPlan::EKind::NoPriorityAddress, ""},
  };
  for (const auto& c : cases) {
    settings.platines = c.platines;
    settings.priority = c.priority;
    TRelayPlan plan = planRelay(settings, true, c.streamWanted, c.watched, texts);
    EXPECT_EQ(plan.kind, c.kind) << c.why;
    EXPECT_EQ(plan.request.address, c.target) << c.why;
    if (c.kind == TRelayPlan::EKind::NoAddress) {
      EXPECT_EQ(plan.message,
                "Aucune adresse de pr\xE9"
                "dilection n'est enregistr\xE9"
                "e.");
    }
    if (c.kind == TRelayPlan::EKind::NoPriorityAddress) {
      EXPECT_EQ(plan.message, texts.msgNoPriorityAddress) << c.why;
    }
  }
}

TEST_F(RelayCommandTest, PayloadCarriesTheStrikeCodeEvenWhenEmpty) {
  settings.platines = "p";
  EXPECT_EQ(planRelay(settings, true, false, "", texts).request.payload, "{\"code\":\"1234\"}");
  settings.codeGache = "";
  TRelayPlan plan = planRelay(settings, true, false, "", texts);
  EXPECT_EQ(plan.kind, TRelayPlan::EKind::Send);
  EXPECT_EQ(plan.request.payload, "{\"code\":\"\"}");
  EXPECT_EQ(buildJsonObject({"a", "b"}, {"1", "x\"y"}), "{\"a\":\"1\",\"b\":\"x\"y\"}");
}

TEST_F(RelayCommandTest, HttpsOnlyWhenTlsIsAvailable) {
  settings.platines = "p";
  settings.APISSL = true;
  EXPECT_TRUE(planRelay(settings, true, false, "", texts).request.settings.ssl);
  EXPECT_FALSE(planRelay(settings, false, false, "", texts).request.settings.ssl);
}

TEST_F(RelayCommandTest, NoTargetShowsTheWarningAndSendsNothing) {
  relay.click(settings, true, false, "", texts);
  settings.platines = "1.2.3.4";
  settings.priority = 3;
  relay.click(settings, true, false, "", texts);
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].text, kNoStoredAddress);
  EXPECT_EQ(dialogs.shown[1].text, texts.msgNoPriorityAddress);
  EXPECT_EQ(dialogs.shown[1].icon, EDialogIcon::Warning);
  EXPECT_TRUE(outcomes.empty());
}

TEST_F(RelayCommandTest, ButtonShowsBusyThenTheOutcome) {
  struct TCase {
    const char* why;
    int status;
    std::string body;
    ERelayState state;
    std::string detail;
  };
  const TCase cases[] = {
      {"2xx: success with the panel's answer", 200, "{\"result\":\"ok\"}", ERelayState::Success,
       "{\"result\":\"ok\"}"},
      {"a panel answering 200 with an error text is a success showing that text", 200,
       "error: bad code", ERelayState::Success, "error: bad code"},
      {"500: failure with the status line", 500, "broken", ERelayState::Failure,
       "HTTP/1.1 500 Boom"},
  };
  for (const auto& c : cases) {
    outcomes.clear();
    TCapturedLog caseLog;
    THttpPeer peer([&](const THttpPeer::TRequest&, int) {
      return THttpPeer::reply(c.status, c.status == 200 ? "OK" : "Boom", c.body);
    });
    settings.platines = peer.address();
    relay.click(settings, true, false, "", texts);
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 2; }, std::chrono::seconds(60))) << c.why;
    EXPECT_EQ(outcomes[0].state, ERelayState::Busy) << c.why;
    EXPECT_EQ(outcomes[1].state, c.state) << c.why;
    EXPECT_EQ(outcomes[1].detail, c.detail) << c.why;
    if (c.state == ERelayState::Success) {
      auto texts = caseLog.texts();
      EXPECT_EQ(std::count(texts.begin(), texts.end(), c.body), 2) << "logged twice: " << c.why;
    }
  }
}

TEST_F(RelayCommandTest, UnreachablePanelNeverLooksLikeASuccess) {
  settings.platines = closedLoopbackAddress();
  relay.click(settings, true, false, "", texts);
  ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 2; }, std::chrono::seconds(60)));
  EXPECT_EQ(outcomes[1].state, ERelayState::Failure);
  EXPECT_FALSE(outcomes[1].detail.empty());
}

TEST_F(RelayCommandTest, ASecondClickWhileBusyIsQueuedWithTheSettingsOfItsClick) {
  std::atomic<bool> release{false};
  THttpPeer peer([&](const THttpPeer::TRequest&, int index) {
    while (index == 0 && !release.load()) QThread::msleep(5);
    return THttpPeer::reply(200, "OK", "ok");
  });
  settings.platines = peer.address();
  relay.click(settings, true, false, "", texts);
  ASSERT_TRUE(waitUntil([&] { return peer.requestCount() == 1; }));
  relay.click(settings, true, false, "", texts);
  settings.APIUsername = "changed-by-apply";  // an Apply while the second click waits
  pumpEvents(std::chrono::milliseconds(50));
  EXPECT_EQ(relay.pending(), 2);
  release.store(true);
  ASSERT_TRUE(waitUntil([&] { return relay.pending() == 0; }, std::chrono::seconds(60)));
  auto reqs = peer.requests();
  ASSERT_EQ(reqs.size(), 2u) << "the second click is not lost";
  EXPECT_NE(reqs[1].target.find("login=admin"), std::string::npos) << reqs[1].target;
  ASSERT_FALSE(outcomes.empty());
  EXPECT_EQ(outcomes.back().state, ERelayState::Success);
  EXPECT_EQ(std::count_if(outcomes.begin(), outcomes.end(),
                          [](const TRelayOutcome& o) { return o.state != ERelayState::Busy; }),
            1)
      << "busy until the last queued click has answered";
}

}  // namespace
