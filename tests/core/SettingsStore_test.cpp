#include "core/SettingsStore.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "base/Text.h"
#include "base/Vigenere.h"
#include "core/DebugLog.h"
#include "platform/Clock.h"
#include "platform/RegStore.h"
#include "tests/support/QtTestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kHead = std::string(TRegStore::Header) + "\n\n[" + TRegStore::KeyName + "]\n";

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loadCipherTable();
    log.startUp();
    installDebugLog(&log);
  }
  void TearDown() override { installDebugLog(nullptr); }

  // The store file made of these value lines.
  void writeStore(const std::string& valueLines) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << kHead << valueLines;
  }

  std::vector<std::string> fileNames() const {
    std::vector<std::string> names;
    for (const auto& v : TRegStore::parse(readFileBytes(path)).values) names.push_back(v.name);
    return names;
  }

  std::vector<std::string> logTexts() const {
    std::vector<std::string> texts;
    for (const auto& line : log.entriesFrom(0).lines)
      texts.push_back(line.substr(line.find("> ") + 2));
    return texts;
  }

  QTemporaryDir dir;
  std::string path = dir.path().toStdString() + "/config/Halvex/HalvexStream.reg";
  TFakeClock clock;
  TDebugLog log{clock, [this] { return std::optional<std::string>(dir.path().toStdString()); }};
  TAppSettings settings;
  bool ssl = true;
  TSettingsStore store{path, settings, ssl};
};

TEST_F(SettingsStoreTest, FirstStartCreatesTheTwentyDefaultsInTableOrder) {
  store.loadSettings();
  EXPECT_EQ(readFileBytes(path), kHead +
                                     "\"platines\"=\"\"\n"
                                     "\"priority\"=dword:00000000\n"
                                     "\"priocheck\"=dword:00000000\n"
                                     "\"autoSnap\"=dword:00000000\n"
                                     "\"autoFullScreen\"=dword:00000000\n"
                                     "\"startMinimized\"=dword:00000000\n"
                                     "\"warningOnCall\"=dword:00000000\n"
                                     "\"SIPID\"=\"\"\n"
                                     "\"autoFocus\"=dword:00000000\n"
                                     "\"interfaceSelected\"=\"\"\n"
                                     "\"language\"=\"FR\"\n"
                                     "\"codeGache\"=\"\"\n"
                                     "\"APIUsername\"=\"\"\n"
                                     "\"APIPassword\"=\"\"\n"
                                     "\"APIAuthtype\"=dword:00000000\n"
                                     "\"APISSL\"=dword:00000000\n"
                                     "\"APIMethod\"=dword:00000000\n"
                                     "\"ONTop\"=dword:00000000\n"
                                     "\"SysButtons\"=dword:00000000\n"
                                     "\"CallingList\"=\"\"\n"
                                     "\n");
  EXPECT_EQ(settings.APIAuthtype, "None");
  EXPECT_EQ(settings.APIMethod, "GET");
  EXPECT_FALSE(settings.APISSL);
  EXPECT_EQ(settings.language, "FR");
  EXPECT_EQ(logTexts().back(), "Registry keys successfully loaded");
}

// Stored values next to defaults for the rest; each case names the fault it guards against.
struct TLoadCase {
  const char* why;
  std::string lines;
  bool ssl;
  std::function<void(const TAppSettings&)> check;
};

TEST_F(SettingsStoreTest, LoadAppliesEveryConversionAndFallback) {
  const std::vector<TLoadCase> cases = {
      {"HTTPS stays off without TLS even when stored on", "\"APISSL\"=dword:00000001\n", false,
       [](const TAppSettings& s) { EXPECT_FALSE(s.APISSL); }},
      {"HTTPS on when stored on and TLS works", "\"APISSL\"=dword:00000001\n", true,
       [](const TAppSettings& s) { EXPECT_TRUE(s.APISSL); }},
      {"2 is kept for a switch (off for readers) but is on for ONTop and SysButtons",
       "\"startMinimized\"=dword:00000002\n\"ONTop\"=dword:00000002\n"
       "\"SysButtons\"=dword:ffffffff\n",
       true,
       [](const TAppSettings& s) {
         EXPECT_EQ(s.startMinimized, 2);
         EXPECT_TRUE(s.ONTop);
         EXPECT_TRUE(s.SysButtons);
       }},
      {"a string where a number belongs falls back",
       "\"APIAuthtype\"=\"2\"\n\"priority\"=\"3\"\n\"APIMethod\"=\"1\"\n", true,
       [](const TAppSettings& s) {
         EXPECT_EQ(s.APIAuthtype, "None");
         EXPECT_EQ(s.priority, 0);
         EXPECT_EQ(s.APIMethod, "GET");
       }},
      {"a number where a string belongs falls back", "\"language\"=dword:00000001\n", true,
       [](const TAppSettings& s) { EXPECT_EQ(s.language, "FR"); }},
      {"a lower-case language is kept as read", "\"language\"=\"en\"\n", true,
       [](const TAppSettings& s) { EXPECT_EQ(s.language, "en"); }},
      {"a language without texts is kept", "\"language\"=\"DE\"\n", true,
       [](const TAppSettings& s) { EXPECT_EQ(s.language, "DE"); }},
      {"out-of-range choices leave the fields as they were",
       "\"APIMethod\"=dword:00000007\n\"APIAuthtype\"=dword:00000003\n"
       "\"APISSL\"=dword:00000002\n",
       true,
       [](const TAppSettings& s) {
         EXPECT_EQ(s.APIMethod, "");
         EXPECT_EQ(s.APIAuthtype, "");
         EXPECT_FALSE(s.APISSL);
       }},
      {"choices in range", "\"APIMethod\"=dword:00000001\n\"APIAuthtype\"=dword:00000002\n", true,
       [](const TAppSettings& s) {
         EXPECT_EQ(s.APIMethod, "POST");
         EXPECT_EQ(s.APIAuthtype, "Digest");
       }},
      {"the saving spelling of the API names is the same value; the password is unscrambled, "
       "the strike code is not",
       "\"APIusername\"=\"bob\"\n\"APIpassword\"=\"" + cipherString("s3cret") +
           "\"\n\"codeGache\"=\"" + cipherString("1234") + "\"\n",
       true,
       [](const TAppSettings& s) {
         EXPECT_EQ(s.APIUsername, "bob");
         EXPECT_EQ(s.APIPassword, "s3cret");
         EXPECT_EQ(s.codeGache, cipherString("1234"));
       }},
      {"texts come through in Windows-1252",
       "\"SIPID\"=\"entr\xC3\xA9"
       "e\"\n\"platines\"=\"10.0.0.1;10.0.0.2\"\n"
       "\"priority\"=dword:00000001\n",
       true,
       [](const TAppSettings& s) {
         EXPECT_EQ(s.SIPID,
                   "entr\xE9"
                   "e");
         EXPECT_EQ(s.platines, "10.0.0.1;10.0.0.2");
         EXPECT_EQ(s.priority, 1);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    fs::remove_all(dir.path().toStdString() + "/config");
    writeStore(c.lines);
    settings = TAppSettings{};
    ssl = c.ssl;
    store.loadSettings();
    c.check(settings);
    // Loading adds the missing defaults and never touches a stored value or duplicates a name.
    const std::string after = readFileBytes(path);
    EXPECT_TRUE(after.starts_with(kHead + c.lines));
    std::set<std::string> unique;
    for (const auto& name : fileNames()) unique.insert(lowerAscii(name));
    EXPECT_EQ(fileNames().size(), 20u);
    EXPECT_EQ(unique.size(), 20u);
  }
}

TEST_F(SettingsStoreTest, SaveWritesInItsOrderAndLoadReadsItBack) {
  TAppSettings values;
  values.platines = "192.168.1.10;192.168.1.11";
  values.priority = 1;
  values.priocheck = 1;
  values.autoSnap = 1;
  values.autoFullScreen = 1;
  values.startMinimized = 1;
  values.warningOnCall = 1;
  values.SIPID = "door+example.com";
  values.autoFocus = 1;
  values.interfaceSelected = "192.168.1.2";
  values.language = "EN";
  values.APIUsername = "admin";
  values.APIPassword = "pa ss";
  values.APIAuthtype = "Digest";
  values.APISSL = true;
  values.APIMethod = "POST";
  values.ONTop = true;
  values.SysButtons = true;
  values.CallingList = "\"a b\";c";
  values.snapshotFolder =
      "/srv/porte d'entr\xE9"
      "e";
  values.showNextWaiting = 0;
  values.closeToTray = false;
  values.ring = false;
  values.journalDays = 30;
  values.journalMaxMB = 1000;
  settings.codeGache = "before";

  ASSERT_TRUE(store.saveSettings(values, "1234"));
  EXPECT_EQ(settings.codeGache, cipherString("1234"));
  EXPECT_EQ(fileNames(), (std::vector<std::string>{
                             "platines",          "priority",        "priocheck",   "autoSnap",
                             "startMinimized",    "autoFullScreen",  "autoFocus",   "warningOnCall",
                             "interfaceSelected", "codeGache",       "APIusername", "APIpassword",
                             "SysButtons",        "ONTop",           "CallingList", "APISSL",
                             "APIAuthtype",       "APIMethod",       "language",    "SIPID",
                             "snapshotFolder",    "showNextWaiting", "closeToTray", "ring",
                             "journalDays",       "journalMaxMB"}));
  const std::string saved = readFileBytes(path);
  // The password never reaches the disk in clear.
  EXPECT_EQ(saved.find("pa ss"), std::string::npos);

  TAppSettings loaded;
  bool tls = true;
  TSettingsStore(path, loaded, tls).loadSettings();
  EXPECT_EQ(readFileBytes(path), saved);  // nothing was missing, nothing added
  TAppSettings expected = values;
  expected.codeGache = cipherString("1234");
  EXPECT_EQ(loaded.platines, expected.platines);
  EXPECT_EQ(loaded.priority, expected.priority);
  EXPECT_EQ(loaded.priocheck, 1);
  EXPECT_EQ(loaded.autoSnap, 1);
  EXPECT_EQ(loaded.autoFullScreen, 1);
  EXPECT_EQ(loaded.startMinimized, 1);
  EXPECT_EQ(loaded.warningOnCall, 1);
  EXPECT_EQ(loaded.autoFocus, 1);
  EXPECT_EQ(loaded.SIPID, expected.SIPID);
  EXPECT_EQ(loaded.interfaceSelected, expected.interfaceSelected);
  EXPECT_EQ(loaded.language, "EN");
  EXPECT_EQ(loaded.codeGache, expected.codeGache);
  EXPECT_EQ(loaded.APIUsername, "admin");
  EXPECT_EQ(loaded.APIPassword, "pa ss");
  EXPECT_EQ(loaded.APIAuthtype, "Digest");
  EXPECT_TRUE(loaded.APISSL);
  EXPECT_EQ(loaded.APIMethod, "POST");
  EXPECT_TRUE(loaded.ONTop);
  EXPECT_TRUE(loaded.SysButtons);
  EXPECT_EQ(loaded.CallingList, expected.CallingList);
  EXPECT_EQ(loaded.snapshotFolder, values.snapshotFolder);
  EXPECT_EQ(loaded.showNextWaiting, 0);
  EXPECT_FALSE(loaded.closeToTray);
  EXPECT_FALSE(loaded.ring);
  EXPECT_EQ(loaded.journalDays, 30);
  EXPECT_EQ(loaded.journalMaxMB, 1000);
}

// The journal's limits read as their defaults when missing or outside what the settings window
// allows: a 0 would empty the journal at every start.
TEST_F(SettingsStoreTest, JournalLimitsOutOfRangeReadAsTheirDefaults) {
  struct TCase {
    const char* lines;
    int days, megabytes;
  };
  const TCase cases[] = {
      {"", 90, 500},
      {"\"journalDays\"=dword:00000007\n\"journalMaxMB\"=dword:00000001\n", 7, 1},
      {"\"journalDays\"=dword:00000000\n\"journalMaxMB\"=dword:00000000\n", 90, 500},
      {"\"journalDays\"=dword:00000e43\n\"journalMaxMB\"=dword:000186a1\n", 90, 500},
      {"\"journalDays\"=dword:ffffffff\n\"journalMaxMB\"=\"12\"\n", 90, 500},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.lines);
    writeStore(c.lines);
    TAppSettings loaded;
    TSettingsStore(path, loaded, ssl).loadSettings();
    EXPECT_EQ(loaded.journalDays, c.days);
    EXPECT_EQ(loaded.journalMaxMB, c.megabytes);
  }
}

// The values added later are not created on first start (the twenty stay as they were), and a
// file without them reads as their defaults: the next waiting caller is shown.
TEST_F(SettingsStoreTest, LaterValuesMissingReadAsTheirDefaults) {
  settings.showNextWaiting = 0;
  settings.snapshotFolder = "stale";
  settings.closeToTray = settings.ring = false;
  store.loadSettings();
  EXPECT_EQ(settings.showNextWaiting, 1);
  EXPECT_EQ(settings.snapshotFolder, "");
  EXPECT_TRUE(settings.closeToTray);
  EXPECT_TRUE(settings.ring);
  EXPECT_EQ(fileNames().size(), static_cast<std::size_t>(TSettingsStore::ValueCount));
}

// The first start's own interface choice is written alone; everything else stays as stored.
TEST_F(SettingsStoreTest, InterfaceChoiceIsSavedAlone) {
  writeStore("\"platines\"=\"10.0.0.2\"\n\"interfaceSelected\"=\"\"\n");
  ASSERT_TRUE(store.saveInterfaceSelected("192.168.1.10"));
  TRegStore check(path);
  ASSERT_TRUE(check.open());
  EXPECT_EQ(check.readString("interfaceSelected"), "192.168.1.10");
  EXPECT_EQ(check.readString("platines"), "10.0.0.2");
  EXPECT_EQ(fileNames().size(), 2u);
}

TEST_F(SettingsStoreTest, SaveAfterFirstStartKeepsOneValuePerNameAndUnknownValues) {
  writeStore("\"Extra\"=\"from a newer version\"\n");
  store.loadSettings();
  TAppSettings values = settings;
  values.APIUsername = "u";
  values.startMinimized = 2;  // only 0 or 1 is ever stored for a switch
  ASSERT_TRUE(store.saveSettings(values, ""));
  auto names = fileNames();
  // The twenty, the extra one, the two later ones, the two notification switches and the
  // journal's two limits.
  EXPECT_EQ(names.size(), 27u);
  EXPECT_EQ(names[0], "Extra");
  EXPECT_EQ(names[13], "APIUsername");  // first spelling kept, no "APIusername" beside it
  TRegStore check(path);
  ASSERT_TRUE(check.open());
  EXPECT_EQ(check.readString("APIUsername"), "u");
  EXPECT_EQ(check.readDword("startMinimized"), 0u);
}

TEST_F(SettingsStoreTest, AnUnreadableLineCostsOnlyItsValueAndTheFileIsLeftAlone) {
  writeStore("\"platines\"=\"10.0.0.1\"\n\"SIPID\"=\"unterminated\n\"language\"=\"EN\"\n");
  const std::string before = readFileBytes(path);
  store.loadSettings();
  EXPECT_EQ(settings.platines, "10.0.0.1");
  EXPECT_EQ(settings.SIPID, "");
  EXPECT_EQ(settings.language, "EN");
  EXPECT_EQ(settings.APIMethod, "GET");  // missing values still take their defaults
  EXPECT_EQ(readFileBytes(path), before);
  EXPECT_EQ(logTexts().back(), "Registry keys successfully loaded");

  TAppSettings values = settings;
  values.SIPID = "mended";
  ASSERT_TRUE(store.saveSettings(values, ""));
  TRegStore check(path);
  ASSERT_TRUE(check.open());
  EXPECT_FALSE(check.damaged());
  EXPECT_EQ(check.readString("SIPID"), "mended");
  EXPECT_EQ(check.readString("platines"), "10.0.0.1");
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeOpenedChangesNothingAndStillLogsTheLoad) {
  fs::create_directories(path);  // a folder where the file belongs
  settings.SIPID = "kept";
  settings.codeGache = "kept";
  store.loadSettings();
  EXPECT_EQ(settings.SIPID, "kept");
  EXPECT_EQ(settings.APIAuthtype, "");
  EXPECT_EQ(settings.APIMethod, "");
  EXPECT_EQ(logTexts().back(), "Registry keys successfully loaded");

  EXPECT_FALSE(store.saveSettings(settings, "1234"));
  EXPECT_EQ(settings.codeGache, "kept");
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(SettingsStoreTest, ASaveThatCannotBeWrittenIsAnErrorNotASuccess) {
  // /proc/self exists and reads as an empty store, but nobody can create files in it.
  TSettingsStore unwritable("/proc/self/HalvexStream.reg", settings, ssl);
  settings.codeGache = "kept";
  EXPECT_THROW(unwritable.saveSettings(settings, "1234"), ESettingsSaveError);
  EXPECT_EQ(settings.codeGache, "kept");
}

}  // namespace
