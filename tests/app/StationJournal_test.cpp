// The station writes one journal row per call it judged, from real notifications on its
// listener, and keeps the first frame of a watched call's real MJPEG stream.
#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>
#include <functional>

#include "app/Station.h"
#include "base/Vigenere.h"
#include "tests/app/RecordingStationWindow.h"
#include "tests/app/StationTestSupport.h"
#include "tests/video/MJPEGTestSupport.h"

namespace {

using namespace std::chrono_literals;

class StationJournalTest : public ::testing::Test, public TStationFixture {
 protected:
  std::unique_ptr<TStation> start() {
    auto station = std::make_unique<TStation>(services(0), window);
    station->runStartUp();
    loadCipherTable();
    return station;
  }
  // A panel at `from` sends one scrambled notification and hangs up.
  void notify(TStation& station, const std::string& from, const std::string& clear) {
    QTcpSocket socket;
    socket.bind(QHostAddress(QString::fromStdString(from)));
    socket.connectToHost(QHostAddress::LocalHost, station.listener()->port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    const std::string scrambled = cipherPass(clear);
    socket.write(scrambled.data(), static_cast<qint64>(scrambled.size()));
    ASSERT_TRUE(socket.waitForBytesWritten(5000));
    pumpEvents(std::chrono::milliseconds(50));
    socket.disconnectFromHost();
  }
  std::vector<TJournalRow> rows(TStation& station) {
    station.journal()->flush();
    TJournalStore reader(station.journalFile());
    EXPECT_TRUE(reader.openForReading()) << reader.lastError();
    return reader.rows();
  }
  // Waits until the journal holds `count` rows.
  std::vector<TJournalRow> rowsOnceThere(TStation& station, std::size_t count) {
    std::vector<TJournalRow> list;
    waitUntil([&] { return (list = rows(station)).size() >= count; }, 30s);
    return list;
  }

  TRecordingStationWindow window;
};

struct TOutcomeCase {
  const char* what;
  std::string settingsLines;
  // What the station is doing when the call comes.
  std::function<void(TStation&)> before;
  std::string called, calling;
  std::optional<EJournalOutcome> row;  // nothing: no row
};

const std::string kSipId = "\"SIPID\"=\"100@host\"\r\n";
const std::string kCallingList = "\"CallingList\"=\"200@host\"\r\n";
const std::string kWaitListOn = "\"warningOnCall\"=dword:00000001\r\n";

// Another panel is watched (its port refuses: the stream stays wanted, connecting).
void watchOther(TStation& station) {
  station.streams().setTarget({"127.0.0.77", "Other", "admin", "pw", "1"});
  station.launchStream();
  ASSERT_TRUE(station.StreamWanted());
}

TEST_F(StationJournalTest, EveryAdmissionOutcomeIsOneRow) {
  const TOutcomeCase cases[] = {
      {"nothing shown: watched at once", "", nullptr, "100@host", "200@host",
       EJournalOutcome::Shown},
      {"wrong called identity", kSipId, nullptr, "101@host", "200@host",
       EJournalOutcome::RejectedCalled},
      {"unknown caller", kCallingList, nullptr, "100@host", "300@host",
       EJournalOutcome::RejectedCalling},
      {"another panel shown: waits", kWaitListOn, watchOther, "100@host", "200@host",
       EJournalOutcome::Waited},
      {"another panel shown, wait list off: dropped", "", watchOther, "100@host", "200@host",
       EJournalOutcome::DroppedWaitOff},
      {"another panel shown, wait list full: dropped", kWaitListOn,
       [](TStation& station) {
         watchOther(station);
         for (int i = 0; i < IWaitList::MaxWaitCount; ++i)
           station.waitList().addWaitItem({"127.0.0." + std::to_string(100 + i), "w", "", "", "1"});
       },
       "100@host", "200@host", EJournalOutcome::DroppedWaitFull},
      {"no interface chosen: the stream cannot start", "",
       [](TStation& station) { station.refreshInterfaces(); }, "100@host", "200@host",
       EJournalOutcome::NotStarted},
      {"the watched panel rings again: the same call, no row", "",
       [](TStation& station) {
         station.streams().setTarget({"127.0.0.21", "Same", "admin", "pw", "1"});
         station.launchStream();
       },
       "100@host", "200@host", std::nullopt},
  };
  for (const TOutcomeCase& c : cases) {
    SCOPED_TRACE(c.what);
    dialogs.shown.clear();
    QDir(dir.path() + "/data").removeRecursively();
    chooseInterface("192.168.1.10", c.settingsLines);
    auto station = start();
    ASSERT_NE(station->listener(), nullptr);
    if (c.before) c.before(*station);
    notify(*station, "127.0.0.21", "start;admin;pw;1;" + c.called + ";" + c.calling);
    if (!c.row) {
      // A marker call from elsewhere proves the first was judged before it.
      station->stopStream();
      notify(*station, "127.0.0.22", "start;admin;pw;1;x;marker");
      const std::vector<TJournalRow> list = rowsOnceThere(*station, 1);
      ASSERT_EQ(list.size(), 1u);
      EXPECT_EQ(list[0].entry.calling, "marker");
      continue;
    }
    const std::vector<TJournalRow> list = rowsOnceThere(*station, 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].entry.outcome, *c.row);
    EXPECT_EQ(list[0].entry.panel, "127.0.0.21");
    EXPECT_EQ(list[0].entry.called, c.called);
    EXPECT_EQ(list[0].entry.calling, c.calling);
    EXPECT_FALSE(list[0].hasPicture);
    EXPECT_TRUE(dialogs.shown.empty() || c.row == EJournalOutcome::NotStarted)
        << "the journal itself tells the user nothing when it works";
  }
}

// A watched call keeps the first frame its panel sent, byte for byte, and how long it was
// watched once the panel's "stop" ends it.
TEST_F(StationJournalTest, AWatchedCallKeepsItsFirstFrameAndItsDuration) {
  chooseInterface("192.168.1.10");
  auto station = start();
  const TBytes first =
      makeJpeg(320, 240, [](int x, int) { return x < 160 ? 0xff0000u : 0x0000ffu; });
  const TBytes second = makeJpeg(320, 240);
  auto part = [](const TBytes& jpeg) {
    return "--b\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(jpeg.size()) +
           "\r\n\r\n" + asText(jpeg) + "\r\n";
  };
  TScriptedServer panel(
      "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=b"
      "\r\n\r\n" +
      part(first) + part(second));
  notify(*station, "127.0.0.1",
         "start;admin;pw;" + std::to_string(panel.port()) + ";100@host;Visitor");
  std::vector<TJournalRow> list;
  ASSERT_TRUE(waitUntil(
      [&] {
        list = rows(*station);
        return !list.empty() && list[0].hasPicture;
      },
      30s));
  clock.advance(4s);
  notify(*station, "127.0.0.1", "stop");
  ASSERT_TRUE(waitUntil(
      [&] {
        list = rows(*station);
        return list[0].watchedMs > 0;
      },
      30s));
  EXPECT_EQ(list[0].watchedMs, 4000);
  EXPECT_EQ(list[0].entry.outcome, EJournalOutcome::Shown);
  TJournalStore reader(station->journalFile());
  ASSERT_TRUE(reader.openForReading());
  EXPECT_EQ(reader.picture(list[0].id), first);
  EXPECT_FALSE(reader.thumbnail(list[0].id).empty());
}

// A journal that cannot be opened is told once, later, and calls are shown all the same.
TEST_F(StationJournalTest, AnUnopenableJournalIsToldOnceAndCallsGoOn) {
  chooseInterface("192.168.1.10");
  // The journal's place is taken by a folder.
  auto station = std::make_unique<TStation>(services(0), window);
  QDir().mkpath(QString::fromStdString(station->journalFile()));
  station->runStartUp();
  loadCipherTable();
  ASSERT_TRUE(waitUntil([&] { return !dialogs.shown.empty(); }, 30s));
  notify(*station, "127.0.0.21", "start;admin;pw;1;100@host;Visitor");
  EXPECT_TRUE(station->StreamWanted()) << "the call is shown";
  EXPECT_EQ(station->streams().target().Address, "127.0.0.21");
  station->journal()->flush();
  pumpEvents(std::chrono::milliseconds(100));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, UiTexts.msgJournalUnavailable);
  const std::vector<std::string> lines = captured.texts();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.rfind("**** Journal unavailable: ", 0) == 0;
                          }),
            1);
}

}  // namespace
