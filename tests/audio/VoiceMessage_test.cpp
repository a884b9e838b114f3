// The voice-message toggle against a null recorder driven by a fake clock, a real temporary
// folder and the real API worker posting to a loopback panel.
#include "audio/VoiceMessage.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>

#include "api/ApiWorker.h"
#include "audio/VoiceMessageBody.h"
#include "platform/NullRecorder.h"
#include "platform/WavFile.h"
#include "tests/api/HttpPeerSupport.h"
#include "tests/support/QtTestSupport.h"

namespace {

using namespace std::chrono_literals;

class TRecordingVoiceView final : public IVoiceMessageView {
 public:
  std::vector<TVoiceMessageLook> looks;
  void showVoiceMessage(const TVoiceMessageLook& look) override { looks.push_back(look); }
  std::vector<EVoiceState> states() const {
    std::vector<EVoiceState> out;
    for (const auto& l : looks) out.push_back(l.state);
    return out;
  }
};

// The JSON text a POST carried: its "pl" field (the first) undone from both encodings.
std::string postedPayload(const std::string& body) {
  if (body.rfind("pl=", 0) != 0) return {};
  QByteArray text = QByteArray::fromStdString(body.substr(3, body.find('&') - 3));
  text = QByteArray::fromPercentEncoding(QByteArray::fromPercentEncoding(text));
  return text.toStdString();
}

class VoiceMessageTest : public ::testing::Test {
 protected:
  VoiceMessageTest() {
    ensureQtApplication();
    auto recorder = std::make_unique<TNullRecorder>(clock);
    nullRecorder = recorder.get();
    makeVoice(std::move(recorder), temp.path().toStdString());
    settings.APIMethod = "POST";
    settings.APIAuthtype = "None";
    settings.priority = 0;
    texts.msgNoPriorityAddress = "No priority address found.";
  }
  ~VoiceMessageTest() override { worker.shutdown(); }

  void makeVoice(std::unique_ptr<IRecorder> recorder, std::optional<std::string> folder) {
    voice = std::make_unique<TVoiceMessage>(worker, dialogs, clock, view, std::move(recorder),
                                            [folder] { return folder; });
  }
  TVoiceContext context() const { return {settings, false, streamWanted, watched, texts}; }
  void press() { voice->click(context()); }
  void record(std::chrono::steady_clock::duration length) {
    press();
    clock.advance(length);
    press();
  }
  std::string messageFile() const { return (temp.path() + "/ostrel-output.wav").toStdString(); }

  TCapturedLog log;
  TFakeClock clock;
  TRecordingDialogs dialogs;
  TRecordingVoiceView view;
  QTemporaryDir temp;
  TAppSettings settings;
  TUiTexts texts;
  bool streamWanted = false;
  std::string watched;
  TApiWorker worker;
  TNullRecorder* nullRecorder = nullptr;
  std::unique_ptr<TVoiceMessage> voice;
};

}  // namespace

// Two seconds make 16,000 data bytes behind the header; the Base64 text is four thirds of the
// file rounded up to 4; the body adds 35 characters and reaches /api/audio/ by POST; the button
// goes recording, plain, uploading, then shows the panel's answer.
TEST_F(VoiceMessageTest, TwoSecondsReachThePanelAsAWavInsideTheJsonBody) {
  THttpPeer peer([](const THttpPeer::TRequest&, int) { return THttpPeer::reply(200, "OK", "ok"); });
  settings.platines = peer.address();
  nullRecorder->setSamples("\x10\x80\xf0");
  record(2s);

  const std::string file = readFileBytes(messageFile());
  ASSERT_EQ(file.size(), kWavHeaderSize + 16000);
  EXPECT_EQ(file, wavFileBytes(nullRecorder->pcm()));
  EXPECT_EQ(voice->encoded().size(), (file.size() + 2) / 3 * 4);
  EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(voice->encoded())).toStdString(),
            file);
  const std::vector<std::string> entries = log.texts();
  auto encoding = std::find(entries.begin(), entries.end(), "Encoding file...");
  ASSERT_NE(encoding, entries.end());
  EXPECT_NE(std::find(encoding, entries.end(), "File encoded successfully"), entries.end());

  ASSERT_TRUE(waitUntil([&] { return view.looks.back().state == EVoiceState::Success; }, 60s));
  ASSERT_EQ(peer.requestCount(), 1u);
  const THttpPeer::TRequest request = peer.requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/api/audio/");
  const std::string json = postedPayload(request.body);
  EXPECT_TRUE(json == voiceMessageBody(voice->encoded())) << json.substr(0, 80);
  EXPECT_EQ(json.size(), voice->encoded().size() + 35);
  EXPECT_TRUE(log.contains("LENGTH:" + std::to_string(json.size() + 3)));
  EXPECT_NE(request.body.find("&login=&password="), std::string::npos) << "None credentials";

  EXPECT_EQ(view.states(),
            (std::vector<EVoiceState>{EVoiceState::Recording, EVoiceState::Idle,
                                      EVoiceState::Uploading, EVoiceState::Success}));
  EXPECT_EQ(view.looks.back().detail, "ok");
  for (const auto& look : view.looks) EXPECT_EQ(look.clock, "") << "no tick ran";
}

// The label follows the steady clock, not the number of ticks: a window too busy to tick for a
// second still shows the right time. The second press empties it.
TEST_F(VoiceMessageTest, ClockShowsTheRealElapsedTimeAndEmptiesAtTheSecondPress) {
  settings.platines = closedLoopbackAddress();
  press();
  struct TStep {
    std::chrono::milliseconds advance;
    const char* shown;
  } steps[] = {{10ms, "0.01s"}, {10ms, "0.02s"}, {1000ms, "1.02s"}, {2250ms, "3.27s"}};
  for (const TStep& s : steps) {
    clock.advance(s.advance);
    voice->tick(context());
    ASSERT_FALSE(view.looks.empty());
    EXPECT_EQ(view.looks.back().clock, s.shown);
    EXPECT_EQ(view.looks.back().state, EVoiceState::Recording);
  }
  press();
  EXPECT_EQ(view.looks[view.looks.size() - 2].clock, "") << "emptied at the second press";
  voice->tick(context());
  EXPECT_EQ(view.looks.back().clock, "") << "a late tick shows nothing any more";
}

TEST(RecordingClockTextTest, TwoDecimalsAndAPointWhateverTheLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  const char* locales[] = {"C", "fr_FR.UTF-8", "de_DE.UTF-8"};
  for (const char* locale : locales) {
    if (std::setlocale(LC_NUMERIC, locale) == nullptr) continue;
    SCOPED_TRACE(locale);
    EXPECT_EQ(recordingClockText(std::chrono::milliseconds(3270)), "3.27s");
    EXPECT_EQ(recordingClockText(std::chrono::milliseconds(0)), "0.00s");
    EXPECT_EQ(recordingClockText(std::chrono::seconds(120)), "120.00s");
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
}

// GET: only the box, every time; nothing recorded, nothing shown on the button.
TEST_F(VoiceMessageTest, WithGetEveryPressOnlyShowsThePostOnlyBox) {
  settings.APIMethod = "GET";
  settings.platines = closedLoopbackAddress();
  for (int i = 0; i < 3; ++i) {
    press();
    clock.advance(1s);
  }
  ASSERT_EQ(dialogs.shown.size(), 3u);
  for (const auto& shown : dialogs.shown) EXPECT_EQ(shown.text, "API POST Method only");
  EXPECT_EQ(nullRecorder->starts(), 0);
  EXPECT_FALSE(voice->recording());
  EXPECT_TRUE(view.looks.empty());
  EXPECT_TRUE(readFileBytes(messageFile()).empty());
}

TEST(VoiceMessageTargetTest, WatchedPanelElsePriorityEntryElseNothing) {
  struct TCase {
    const char* why;
    const char* platines;
    int priority;
    bool streamWanted;
    const char* watched;
    std::optional<std::string> expected;
  } cases[] = {
      {"the watched panel wins over the priority one", "10.0.0.1;10.0.0.2", 0, true, "10.0.0.9",
       "10.0.0.9"},
      {"watched even with nothing stored", "", 0, true, "10.0.0.9", "10.0.0.9"},
      {"not watching: the entry at priority", "10.0.0.1;10.0.0.2", 1, false, "10.0.0.9",
       "10.0.0.2"},
      {"nothing stored", "", 0, false, "", std::nullopt},
      {"priority past the end", "10.0.0.1", 1, false, "", std::nullopt},
      {"negative priority", "10.0.0.1", -1, false, "", std::nullopt},
      {"empty entry at priority", "10.0.0.1;", 1, false, "", std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.why);
    TAppSettings s;
    s.platines = c.platines;
    s.priority = c.priority;
    EXPECT_EQ(voiceMessageTarget(s, c.streamWanted, c.watched), c.expected);
  }
}

// While a stream is watched the message goes to that panel, not to the priority one.
TEST_F(VoiceMessageTest, AWatchedStreamsPanelGetsTheMessage) {
  THttpPeer watchedPanel(
      [](const THttpPeer::TRequest&, int) { return THttpPeer::reply(200, "OK", "played"); });
  THttpPeer priorityPanel(
      [](const THttpPeer::TRequest&, int) { return THttpPeer::reply(200, "OK", "wrong"); });
  settings.platines = priorityPanel.address();
  streamWanted = true;
  watched = watchedPanel.address();
  record(100ms);
  ASSERT_TRUE(waitUntil([&] { return voice->pending() == 0; }, 60s));
  EXPECT_EQ(watchedPanel.requestCount(), 1u);
  EXPECT_EQ(priorityPanel.requestCount(), 0u);
}

// No target: the message is saved and encoded, the localized box says why, nothing is sent.
TEST_F(VoiceMessageTest, NoPriorityAddressSavesAndEncodesButSendsNothing) {
  settings.platines = "10.0.0.1";
  settings.priority = 3;
  record(1s);
  EXPECT_EQ(readFileBytes(messageFile()).size(), kWavHeaderSize + 8000);
  EXPECT_FALSE(voice->encoded().empty());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "No priority address found.");
  EXPECT_EQ(voice->pending(), 0);
  EXPECT_EQ(view.states(), (std::vector<EVoiceState>{EVoiceState::Recording, EVoiceState::Idle}));
}

// A forgotten recording stops by itself at 120 s as if pressed again; the upload holds exactly
// 120 s even when the tick came late; a box it leads to waits until the tick has returned.
TEST_F(VoiceMessageTest, RecordingStopsByItselfAfterTwoMinutes) {
  settings.platines = "";
  press();
  clock.advance(119990ms);
  voice->tick(context());
  EXPECT_TRUE(voice->recording());
  EXPECT_EQ(view.looks.back().clock, "119.99s");
  clock.advance(1500ms);
  voice->tick(context());
  EXPECT_FALSE(voice->recording());
  EXPECT_EQ(view.looks.back().clock, "");
  EXPECT_EQ(readFileBytes(messageFile()).size(), kWavHeaderSize + 120u * 8000u);
  EXPECT_TRUE(dialogs.shown.empty()) << "no box from inside a timer handler";
  ASSERT_TRUE(waitUntil([&] { return dialogs.shown.size() == 1; }));
  EXPECT_EQ(dialogs.shown[0].text, "No priority address found.");
  // The next press starts a new recording rather than ending one.
  press();
  EXPECT_TRUE(voice->recording());
}

// No sound input (a backend that refuses, or no backend at all): each press logs and shows one
// error, nothing is recorded, written or sent.
TEST_F(VoiceMessageTest, NoInputDeviceShowsOneErrorAndSendsNothing) {
  THttpPeer peer([](const THttpPeer::TRequest&, int) { return THttpPeer::reply(200, "OK", ""); });
  settings.platines = peer.address();
  for (bool haveBackend : {true, false}) {
    SCOPED_TRACE(haveBackend ? "the input refuses" : "no recording backend");
    dialogs.shown.clear();
    if (haveBackend) {
      nullRecorder->setUnavailable("no sound input device");
    } else {
      makeVoice(nullptr, temp.path().toStdString());
    }
    press();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
    EXPECT_NE(dialogs.shown[0].text.find("no sound input device"), std::string::npos);
    EXPECT_TRUE(log.contains("**** Voice message: cannot record: no sound input device"));
    EXPECT_FALSE(voice->recording());
    press();
    EXPECT_EQ(dialogs.shown.size(), 2u) << "the second press tries again, it saves nothing";
  }
  pumpEvents(200ms);
  EXPECT_EQ(peer.requestCount(), 0u);
  EXPECT_TRUE(readFileBytes(messageFile()).empty());
  EXPECT_TRUE(view.looks.empty());
}

// A message that cannot be written or read back: one error box with the reason, nothing sent.
TEST_F(VoiceMessageTest, AFileThatCannotBeWrittenOrReadIsReportedAndNotSent) {
  THttpPeer peer([](const THttpPeer::TRequest&, int) { return THttpPeer::reply(200, "OK", ""); });
  settings.platines = peer.address();
  struct TCase {
    const char* why;
    std::optional<std::string> folder;
    const char* reason;
  } cases[] = {
      {"no temporary folder at all", std::nullopt, "no temporary folder"},
      {"a folder that is gone", temp.path().toStdString() + "/gone", "No such file"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.why);
    dialogs.shown.clear();
    auto recorder = std::make_unique<TNullRecorder>(clock);
    makeVoice(std::move(recorder), c.folder);
    record(1s);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
    EXPECT_NE(dialogs.shown[0].text.find(c.reason), std::string::npos) << dialogs.shown[0].text;
    EXPECT_EQ(voice->pending(), 0);
  }
  pumpEvents(200ms);
  EXPECT_EQ(peer.requestCount(), 0u);
}

// A panel that refuses shows a failure with its status line, then the button is plain again.
TEST_F(VoiceMessageTest, AFailedUploadShowsWhyForAWhile) {
  THttpPeer peer(
      [](const THttpPeer::TRequest&, int) { return THttpPeer::reply(500, "Boom", "broken"); });
  settings.platines = peer.address();
  record(200ms);
  ASSERT_TRUE(waitUntil([&] { return view.looks.back().state == EVoiceState::Failure; }, 60s));
  EXPECT_NE(view.looks.back().detail.find("500"), std::string::npos) << view.looks.back().detail;
  EXPECT_EQ(peer.requestCount(), 2u) << "the request and its retry";
  ASSERT_TRUE(waitUntil([&] { return view.looks.back().state == EVoiceState::Idle; }, 20s));
}

TEST(VoiceMessageBodyTest, Base64AndTheJsonBodyByteForByte) {
  struct TCase {
    std::string in, out;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {std::string("\xff\xfe\x00\x80", 4), "//4AgA=="}};
  for (const TCase& c : cases) EXPECT_EQ(encodeBase64(c.in), c.out) << c.out;
  EXPECT_EQ(voiceMessageBody("UklGRg=="), R"({"type":"wav","data":"UklGRg==","loop":"1"})");
  EXPECT_EQ(voiceMessageBody("").size(), 35u);
}
